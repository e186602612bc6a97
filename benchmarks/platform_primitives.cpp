// The platform layer's object opens, as the messaging code uses them: a
// reopen of an object that someone still holds (what every message does for
// its peer's events and memories), and an open of a name that does not exist
// (a liveness test of a dead identity).
#include <cstring>
#include <memory>

#include "benchmarks/harness.h"
#include "benchmarks/primitives.h"
#include "platform/code_page.h"
#include "platform/event.h"
#include "platform/shared_memory.h"

namespace ztn::bench {
namespace {

constexpr size_t kQueueBytes = 10372;  // one send queue

std::u16string ObjectName(const std::string& stem) {
  return platform::AnsiToWideText(UniqueToken(stem));
}

}  // namespace

std::vector<Primitive> PlatformPrimitives() {
  return {
      {"platform_event_reopen", "platform Event::Open + close, object held",
       [](std::string& error) -> std::function<bool()> {
         const std::u16string name = ObjectName("prim_event");
         auto held = platform::Event::Create(name, false, false);
         if (!held.ok()) {
           error = "cannot create an event";
           return {};
         }
         auto keep = std::make_shared<platform::Event>(std::move(held).value());
         return [keep, name] { return platform::Event::Open(name).ok(); };
       }},
      {"platform_event_open_missing", "platform Event::Open of a missing name",
       [](std::string&) -> std::function<bool()> {
         const std::u16string name = ObjectName("prim_missing");
         return [name] { return !platform::Event::Open(name).ok(); };
       }},
      {"platform_shm_reopen_map", "platform SharedMemory::Open + Map 10 KB + close, held",
       [](std::string& error) -> std::function<bool()> {
         const std::u16string name = ObjectName("prim_memory");
         auto held = platform::SharedMemory::Create(name, kQueueBytes);
         if (!held.ok()) {
           error = "cannot create a shared memory";
           return {};
         }
         auto keep = std::make_shared<platform::SharedMemory>(std::move(held).value());
         return [keep, name] {
           auto memory = platform::SharedMemory::Open(name);
           if (!memory.ok()) return false;
           auto view = memory->Map(kQueueBytes);
           if (!view.ok()) return false;
           std::memset(view->Data(), 0x5A, kQueueBytes);
           return true;
         };
       }},
  };
}

}  // namespace ztn::bench

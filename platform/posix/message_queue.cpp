// POSIX backend: may use POSIX and Linux names.
//
// Thread message queues. One service object per process keeps every thread's
// queue, handlers and translator, and every message target, under one mutex;
// handlers are copied out and called with the mutex released. A thread's
// queue is removed by a thread-local guard whose destructor runs when the
// thread ends.
//
// Sharing across modules: every copy of this file exports the C function
// ZtnMessageQueueServiceV1, which returns a table of entry points into that
// copy's service. On first use a copy asks the dynamic linker for that symbol
// in the process's global scope; the main program's export (when it has one)
// wins, so all copies drive the program's service. A copy that finds none
// uses its own. The table is plain C with a size field, so copies built from
// the same header agree on it.
#include "platform/message_queue.h"

#include <dlfcn.h>
#include <unistd.h>

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/system_info.h"

namespace ztn::platform {
namespace {

struct HandlerEntry {
  MessageHandler handler = nullptr;
  void* context = nullptr;
};

struct ThreadQueue {
  std::deque<Message> messages;
  std::map<uint32_t, HandlerEntry> handlers;
  MessageTranslator translator = nullptr;
  void* translatorContext = nullptr;
};

struct TargetRecord {
  ThreadId owner = 0;
  HandlerEntry entry;
};

class QueueService {
 public:
  static QueueService& Instance() {
    // Never destroyed: threads may still end after static destruction.
    static QueueService* service = new QueueService;
    return *service;
  }

  void EnsureQueue(ThreadId self);

  bool PostToThread(ThreadId thread, const Message& message) {
    std::lock_guard lock(mutex_);
    auto it = queues_.find(thread);
    if (it == queues_.end()) return false;
    it->second->messages.push_back(message);
    return true;
  }

  bool PostToTarget(Message message) {
    std::lock_guard lock(mutex_);
    auto target = targets_.find(message.target);
    if (target == targets_.end()) return false;
    auto queue = queues_.find(target->second.owner);
    if (queue == queues_.end()) return false;
    queue->second->messages.push_back(message);
    return true;
  }

  MessageTarget CreateTarget(ThreadId self, MessageHandler handler, void* context) {
    EnsureQueue(self);
    std::lock_guard lock(mutex_);
    MessageTarget id = nextTarget_++;
    targets_[id] = TargetRecord{self, HandlerEntry{handler, context}};
    return id;
  }

  bool DestroyTarget(MessageTarget target) {
    std::lock_guard lock(mutex_);
    return targets_.erase(target) != 0;
  }

  bool Peek(ThreadId self, Message& message, bool remove) {
    EnsureQueue(self);
    std::lock_guard lock(mutex_);
    auto& queue = *queues_.at(self);
    if (queue.messages.empty()) return false;
    message = queue.messages.front();
    if (remove) queue.messages.pop_front();
    return true;
  }

  bool Translate(ThreadId self, const Message& message) {
    void* context = nullptr;
    MessageTranslator translator = nullptr;
    {
      std::lock_guard lock(mutex_);
      auto it = queues_.find(self);
      if (it == queues_.end()) return false;
      translator = it->second->translator;
      context = it->second->translatorContext;
    }
    return translator != nullptr && translator(context, message);
  }

  void SetTranslator(ThreadId self, MessageTranslator translator, void* context) {
    EnsureQueue(self);
    std::lock_guard lock(mutex_);
    auto& queue = *queues_.at(self);
    queue.translator = translator;
    queue.translatorContext = context;
  }

  int64_t Dispatch(ThreadId self, const Message& message) {
    HandlerEntry entry;
    {
      std::lock_guard lock(mutex_);
      if (message.target != 0) {
        auto it = targets_.find(message.target);
        if (it == targets_.end() || it->second.owner != self) return 0;
        entry = it->second.entry;
      } else {
        auto queue = queues_.find(self);
        if (queue == queues_.end()) return 0;
        auto it = queue->second->handlers.find(message.message);
        if (it == queue->second->handlers.end()) return 0;
        entry = it->second;
      }
    }
    return entry.handler != nullptr ? entry.handler(entry.context, message) : 0;
  }

  void SetHandler(ThreadId self, uint32_t code, MessageHandler handler, void* context) {
    EnsureQueue(self);
    std::lock_guard lock(mutex_);
    auto& handlers = queues_.at(self)->handlers;
    if (handler == nullptr)
      handlers.erase(code);
    else
      handlers[code] = HandlerEntry{handler, context};
  }

  // The thread's end: its queue, the messages in it and its targets go.
  void RemoveThread(ThreadId thread) {
    std::unique_ptr<ThreadQueue> gone;
    std::lock_guard lock(mutex_);
    auto it = queues_.find(thread);
    if (it != queues_.end()) {
      gone = std::move(it->second);
      queues_.erase(it);
    }
    for (auto target = targets_.begin(); target != targets_.end();) {
      if (target->second.owner == thread)
        target = targets_.erase(target);
      else
        ++target;
    }
  }

 private:
  std::mutex mutex_;
  std::unordered_map<ThreadId, std::unique_ptr<ThreadQueue>> queues_;
  std::unordered_map<MessageTarget, TargetRecord> targets_;
  MessageTarget nextTarget_ = 1;
};

// Lives in the thread that owns a queue; removes the queue when it ends.
struct QueueOwnerGuard {
  ThreadId owner = 0;
  ~QueueOwnerGuard() {
    if (owner != 0) QueueService::Instance().RemoveThread(owner);
  }
};

void QueueService::EnsureQueue(ThreadId self) {
  thread_local QueueOwnerGuard guard;
  if (guard.owner != 0) return;
  {
    std::lock_guard lock(mutex_);
    // A dead thread's id may have been reused: start afresh.
    queues_[self] = std::make_unique<ThreadQueue>();
  }
  guard.owner = self;
}

ThreadId CurrentThread() {
  thread_local ThreadId self = static_cast<ThreadId>(::gettid());
  return self;
}

}  // namespace
}  // namespace ztn::platform

// The C table shared between copies of this layer in one process.
extern "C" {
struct ZtnMessageQueueServiceTableV1 {
  uint32_t size;
  void (*ensureQueue)(uint32_t self);
  int (*postToThread)(uint32_t thread, const ztn::platform::Message* message);
  int (*postToTarget)(const ztn::platform::Message* message);
  uint64_t (*createTarget)(uint32_t self, ztn::platform::MessageHandler handler, void* context);
  int (*destroyTarget)(uint64_t target);
  int (*peek)(uint32_t self, ztn::platform::Message* message, int remove);
  int (*translate)(uint32_t self, const ztn::platform::Message* message);
  void (*setTranslator)(uint32_t self, ztn::platform::MessageTranslator translator, void* context);
  int64_t (*dispatch)(uint32_t self, const ztn::platform::Message* message);
  void (*setHandler)(uint32_t self, uint32_t code, ztn::platform::MessageHandler handler,
                     void* context);
};

__attribute__((visibility("default"))) const ZtnMessageQueueServiceTableV1* ZtnMessageQueueServiceV1();
}

namespace ztn::platform {
namespace {

using Table = ZtnMessageQueueServiceTableV1;

QueueService& S() { return QueueService::Instance(); }

const Table kOwnTable = {
    sizeof(Table),
    [](uint32_t self) { S().EnsureQueue(self); },
    [](uint32_t thread, const Message* m) { return S().PostToThread(thread, *m) ? 1 : 0; },
    [](const Message* m) { return S().PostToTarget(*m) ? 1 : 0; },
    [](uint32_t self, MessageHandler h, void* c) { return S().CreateTarget(self, h, c); },
    [](uint64_t target) { return S().DestroyTarget(target) ? 1 : 0; },
    [](uint32_t self, Message* m, int remove) { return S().Peek(self, *m, remove != 0) ? 1 : 0; },
    [](uint32_t self, const Message* m) { return S().Translate(self, *m) ? 1 : 0; },
    [](uint32_t self, MessageTranslator t, void* c) { S().SetTranslator(self, t, c); },
    [](uint32_t self, const Message* m) { return S().Dispatch(self, *m); },
    [](uint32_t self, uint32_t code, MessageHandler h, void* c) { S().SetHandler(self, code, h, c); },
};

// The process's service: the program's exported one, else this copy's.
const Table& Service() {
  static const Table* table = [] {
    using Getter = const Table* (*)();
    auto getter = reinterpret_cast<Getter>(::dlsym(RTLD_DEFAULT, "ZtnMessageQueueServiceV1"));
    const Table* found = getter != nullptr ? getter() : nullptr;
    if (found == nullptr || found->size < sizeof(Table)) found = &kOwnTable;
    return found;
  }();
  return *table;
}

}  // namespace

ThreadId GetCurrentThreadId() { return CurrentThread(); }

void EnsureMessageQueue() { Service().ensureQueue(CurrentThread()); }

bool PostThreadMessage(ThreadId thread, uint32_t message, uint64_t wParam, int64_t lParam) {
  Message m{0, message, wParam, lParam, GetTickCount()};
  return Service().postToThread(thread, &m) != 0;
}

MessageTarget CreateMessageTarget(MessageHandler handler, void* context) {
  return Service().createTarget(CurrentThread(), handler, context);
}

bool DestroyMessageTarget(MessageTarget target) { return Service().destroyTarget(target) != 0; }

bool PostMessage(MessageTarget target, uint32_t message, uint64_t wParam, int64_t lParam) {
  if (target == 0) return false;
  Message m{target, message, wParam, lParam, GetTickCount()};
  return Service().postToTarget(&m) != 0;
}

bool PeekMessage(Message& message, bool remove) {
  Message taken;
  if (Service().peek(CurrentThread(), &taken, remove ? 1 : 0) == 0) return false;
  message = taken;
  return true;
}

bool TranslateMessage(const Message& message) {
  return Service().translate(CurrentThread(), &message) != 0;
}

void SetMessageTranslator(MessageTranslator translator, void* context) {
  Service().setTranslator(CurrentThread(), translator, context);
}

int64_t DispatchMessage(const Message& message) {
  return Service().dispatch(CurrentThread(), &message);
}

void SetThreadMessageHandler(uint32_t message, MessageHandler handler, void* context) {
  Service().setHandler(CurrentThread(), message, handler, context);
}

}  // namespace ztn::platform

const ZtnMessageQueueServiceTableV1* ZtnMessageQueueServiceV1() {
  return &ztn::platform::kOwnTable;
}

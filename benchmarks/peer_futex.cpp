// Linux names allowed: this peer measures the floor of any shared-memory
// handshake between two processes, a futex ping-pong on a word in shared
// memory, with the payload copied in and out of the same mapping.
//
// The word says whose turn it is: kIdle (client may write), kRequest (the
// server may read), kAnswer (the server has taken the request). Each side
// sleeps in FUTEX_WAIT while the word does not let it go on and wakes the
// other after changing it: two wakes and up to two sleeps per round trip.
#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <time.h>

#include <atomic>
#include <vector>

#include "benchmarks/peers.h"
#include "benchmarks/posix_io.h"

namespace ztn::bench {
namespace {

using posix::ErrnoText;
using posix::Fd;

constexpr uint32_t kIdle = 0;
constexpr uint32_t kRequest = 1;
constexpr uint32_t kAnswer = 2;
constexpr uint32_t kStop = 0xFFFFFFFFu;  // as the size: the server ends

struct Channel {
  std::atomic<uint32_t> turn;
  uint32_t size;
  uint8_t data[10240];
};
static_assert(std::atomic<uint32_t>::is_always_lock_free);

void Wake(std::atomic<uint32_t>& word) {
  ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE, 1, nullptr, nullptr, 0);
}

// Sleeps until the word equals `wanted`; false after kPeerWaitMs without it.
bool WaitFor(std::atomic<uint32_t>& word, uint32_t wanted) {
  timespec limit{kPeerWaitMs / 1000, 0};
  for (;;) {
    uint32_t seen = word.load(std::memory_order_acquire);
    if (seen == wanted) return true;
    long r = ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT, seen, &limit,
                       nullptr, 0);
    if (r != 0 && errno == ETIMEDOUT) return word.load(std::memory_order_acquire) == wanted;
  }
}

// A mapping of the channel file, unmapped at scope end.
class Mapping {
 public:
  Mapping(const std::string& path, bool create) {
    Fd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0), 0600));
    if (!fd.ok()) return;
    if (create && ::ftruncate(fd.get(), sizeof(Channel)) != 0) return;
    void* p = ::mmap(nullptr, sizeof(Channel), PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (p != MAP_FAILED) channel_ = static_cast<Channel*>(p);
  }
  ~Mapping() {
    if (channel_ != nullptr) ::munmap(channel_, sizeof(Channel));
  }
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  Channel* get() const { return channel_; }

 private:
  Channel* channel_ = nullptr;
};

int Serve(const std::string& endpoint, int payload, const std::function<void()>& ready) {
  const std::string path = endpoint + ".futex";
  ::unlink(path.c_str());
  Mapping mapping(path, true);  // a new file is zero: turn == kIdle
  Channel* channel = mapping.get();
  if (channel == nullptr) return 10;
  ready();
  std::vector<uint8_t> buffer(static_cast<size_t>(payload));
  int result = 0;
  for (;;) {
    if (!WaitFor(channel->turn, kRequest)) {
      result = 11;
      break;
    }
    if (channel->size == kStop) break;
    if (channel->size != static_cast<uint32_t>(payload)) {
      result = 12;
      break;
    }
    std::memcpy(buffer.data(), channel->data, channel->size);
    channel->turn.store(kAnswer, std::memory_order_release);
    Wake(channel->turn);
  }
  ::unlink(path.c_str());
  return result;
}

bool Client(const std::string& endpoint, int payload, const MeasureLoop& loop, std::string& error) {
  Mapping mapping(endpoint + ".futex", false);
  Channel* channel = mapping.get();
  if (channel == nullptr) {
    error = ErrnoText("map channel");
    return false;
  }
  std::vector<uint8_t> request(static_cast<size_t>(payload), 0x5A);
  auto post = [&](uint32_t size, const void* data) {
    channel->size = size;
    if (data != nullptr) std::memcpy(channel->data, data, size);
    channel->turn.store(kRequest, std::memory_order_release);
    Wake(channel->turn);
  };
  const bool ok = loop([&] {
    post(static_cast<uint32_t>(payload), request.data());
    if (!WaitFor(channel->turn, kAnswer)) return false;
    channel->turn.store(kIdle, std::memory_order_relaxed);
    return true;
  });
  if (!ok) error = "round trip timed out";
  post(kStop, nullptr);
  return ok;
}

std::string Always(int) { return {}; }

}  // namespace

const PeerTransport kFutexPeer{"futex", "futex ping-pong (floor)", &Serve, &Client, &Always};

}  // namespace ztn::bench

// POSIX names allowed: this peer measures the OS's own IPC, POSIX message
// queues: one queue for requests, one for the one-byte answers.
//
// A queue message may hold at most fs.mqueue.msgsize_max bytes (8192 by
// default); the benchmark raises that limit for its run when it may (see
// os_probe.h) and reports the 10240-byte case as unsupported otherwise. An
// empty request stops the server.
#include <fcntl.h>
#include <mqueue.h>
#include <time.h>

#include <cstdio>
#include <vector>

#include "benchmarks/os_probe.h"
#include "benchmarks/peers.h"
#include "benchmarks/posix_io.h"

namespace ztn::bench {
namespace {

using posix::ErrnoText;

std::string QueueName(const std::string& endpoint, const char* suffix) {
  return "/" + posix::BaseName(endpoint) + suffix;
}

timespec DeadlineFromNow() {
  timespec at{};
  ::clock_gettime(CLOCK_REALTIME, &at);  // mq_timed* take the realtime clock
  at.tv_sec += kPeerWaitMs / 1000;
  return at;
}

ssize_t ReceiveWithLimit(mqd_t queue, void* buffer, size_t size) {
  for (;;) {
    timespec deadline = DeadlineFromNow();
    ssize_t n = ::mq_timedreceive(queue, static_cast<char*>(buffer), size, nullptr, &deadline);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

// Closes (and, for the owner, removes) a queue at scope end.
class Queue {
 public:
  Queue(mqd_t queue, std::string name, bool owner) : queue_(queue), name_(std::move(name)), owner_(owner) {}
  ~Queue() {
    if (queue_ != static_cast<mqd_t>(-1)) ::mq_close(queue_);
    if (owner_) ::mq_unlink(name_.c_str());
  }
  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;
  mqd_t get() const { return queue_; }
  bool ok() const { return queue_ != static_cast<mqd_t>(-1); }

 private:
  mqd_t queue_;
  std::string name_;
  bool owner_;
};

int Serve(const std::string& endpoint, int payload, const std::function<void()>& ready) {
  const std::string requestName = QueueName(endpoint, ".req");
  const std::string answerName = QueueName(endpoint, ".ans");
  mq_attr requestAttr{};
  requestAttr.mq_maxmsg = 4;
  requestAttr.mq_msgsize = payload > 0 ? payload : 1;
  mq_attr answerAttr{};
  answerAttr.mq_maxmsg = 4;
  answerAttr.mq_msgsize = 1;
  ::mq_unlink(requestName.c_str());
  ::mq_unlink(answerName.c_str());
  Queue requests(::mq_open(requestName.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600, &requestAttr),
                 requestName, true);
  Queue answers(::mq_open(answerName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600, &answerAttr),
                answerName, true);
  if (!requests.ok() || !answers.ok()) {
    std::fprintf(stderr, "%s\n", ErrnoText("mq_open").c_str());
    return 10;
  }
  ready();
  std::vector<char> buffer(static_cast<size_t>(requestAttr.mq_msgsize));
  const char answer = 1;
  for (;;) {
    ssize_t n = ReceiveWithLimit(requests.get(), buffer.data(), buffer.size());
    if (n < 0) return 11;
    if (n == 0) return 0;  // the stop request
    if (n != payload) return 12;
    if (::mq_send(answers.get(), &answer, 1, 0) != 0) return 13;
  }
}

bool Client(const std::string& endpoint, int payload, const MeasureLoop& loop, std::string& error) {
  Queue requests(::mq_open(QueueName(endpoint, ".req").c_str(), O_WRONLY | O_CLOEXEC), {}, false);
  Queue answers(::mq_open(QueueName(endpoint, ".ans").c_str(), O_RDONLY | O_CLOEXEC), {}, false);
  if (!requests.ok() || !answers.ok()) {
    error = ErrnoText("mq_open");
    return false;
  }
  std::vector<char> request(static_cast<size_t>(payload), 0x5A);
  const bool ok = loop([&] {
    if (::mq_send(requests.get(), request.data(), request.size(), 0) != 0) return false;
    char answer = 0;
    return ReceiveWithLimit(answers.get(), &answer, 1) == 1 && answer == 1;
  });
  if (!ok) error = ErrnoText("round trip");
  ::mq_send(requests.get(), "", 0, 0);
  return ok;
}

std::string Unsupported(int payload) {
  long limit = MqueueMessageSizeLimit();
  if (limit >= payload) return {};
  return "fs.mqueue.msgsize_max is " + std::to_string(limit) + " and could not be raised";
}

}  // namespace

const PeerTransport kPosixQueuePeer{"posix_mq", "POSIX message queue", &Serve, &Client,
                                    &Unsupported};

}  // namespace ztn::bench

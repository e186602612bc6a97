// Boost.Interprocess message_queue as a peer: the library a C++ user would
// pick for queues between processes (shared memory with process-shared
// mutexes and condition variables). One queue for requests, one for the
// one-byte answers; an empty request stops the server.
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/interprocess/ipc/message_queue.hpp>

#include <cstdio>
#include <memory>
#include <vector>

#include "benchmarks/peers.h"

namespace ztn::bench {
namespace {

namespace bip = boost::interprocess;

std::string QueueName(const std::string& endpoint, const char* suffix) {
  size_t slash = endpoint.rfind('/');
  return (slash == std::string::npos ? endpoint : endpoint.substr(slash + 1)) + suffix;
}

boost::posix_time::ptime Deadline() {
  // Boost's timed waits take universal time.
  return boost::posix_time::microsec_clock::universal_time() +
         boost::posix_time::milliseconds(kPeerWaitMs);
}

// Removes the named queues when the server ends, however it ends.
struct QueueRemover {
  std::string requestName, answerName;
  ~QueueRemover() {
    bip::message_queue::remove(requestName.c_str());
    bip::message_queue::remove(answerName.c_str());
  }
};

int Serve(const std::string& endpoint, int payload, const std::function<void()>& ready) {
  QueueRemover remover{QueueName(endpoint, ".req"), QueueName(endpoint, ".ans")};
  bip::message_queue::remove(remover.requestName.c_str());
  bip::message_queue::remove(remover.answerName.c_str());
  try {
    const size_t requestSize = payload > 0 ? static_cast<size_t>(payload) : 1;
    bip::message_queue requests(bip::create_only, remover.requestName.c_str(), 4, requestSize);
    bip::message_queue answers(bip::create_only, remover.answerName.c_str(), 4, 1);
    ready();
    std::vector<char> buffer(requestSize);
    const char answer = 1;
    for (;;) {
      size_t received = 0;
      unsigned int priority = 0;
      if (!requests.timed_receive(buffer.data(), buffer.size(), received, priority, Deadline())) return 11;
      if (received == 0) return 0;
      if (received != static_cast<size_t>(payload)) return 12;
      if (!answers.timed_send(&answer, 1, 0, Deadline())) return 13;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "boost message_queue: %s\n", e.what());
    return 10;
  }
}

bool Client(const std::string& endpoint, int payload, const MeasureLoop& loop, std::string& error) {
  try {
    bip::message_queue requests(bip::open_only, QueueName(endpoint, ".req").c_str());
    bip::message_queue answers(bip::open_only, QueueName(endpoint, ".ans").c_str());
    std::vector<char> request(static_cast<size_t>(payload), 0x5A);
    const bool ok = loop([&] {
      if (!requests.timed_send(request.data(), request.size(), 0, Deadline())) return false;
      char answer = 0;
      size_t received = 0;
      unsigned int priority = 0;
      return answers.timed_receive(&answer, 1, received, priority, Deadline()) && received == 1 &&
             answer == 1;
    });
    if (!ok) error = "round trip failed or timed out";
    requests.timed_send("", 0, 0, Deadline());
    return ok;
  } catch (const std::exception& e) {
    error = std::string("boost message_queue: ") + e.what();
    return false;
  }
}

std::string Always(int) { return {}; }

}  // namespace

const PeerTransport kBoostQueuePeer{"boost_mq", "Boost.Interprocess message_queue", &Serve, &Client,
                                    &Always};

}  // namespace ztn::bench

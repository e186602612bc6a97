// ZeroMQ as a peer: request/reply sockets over ipc://, the library a user
// would pick for messages between local processes. The reply is one byte;
// an empty request stops the server.
#include <zmq.h>

#include <cstdio>
#include <vector>

#include "benchmarks/peers.h"

namespace ztn::bench {
namespace {

// Context and socket, closed without lingering at scope end.
class ZmqSocket {
 public:
  explicit ZmqSocket(int type) : context_(zmq_ctx_new()) {
    if (context_ != nullptr) socket_ = zmq_socket(context_, type);
    if (socket_ != nullptr) {
      int linger = 0;
      int limit = kPeerWaitMs;
      zmq_setsockopt(socket_, ZMQ_LINGER, &linger, sizeof(linger));
      zmq_setsockopt(socket_, ZMQ_RCVTIMEO, &limit, sizeof(limit));
      zmq_setsockopt(socket_, ZMQ_SNDTIMEO, &limit, sizeof(limit));
    }
  }
  ~ZmqSocket() {
    if (socket_ != nullptr) zmq_close(socket_);
    if (context_ != nullptr) zmq_ctx_term(context_);
  }
  ZmqSocket(const ZmqSocket&) = delete;
  ZmqSocket& operator=(const ZmqSocket&) = delete;
  void* get() const { return socket_; }

 private:
  void* context_ = nullptr;
  void* socket_ = nullptr;
};

std::string Address(const std::string& endpoint) { return "ipc://" + endpoint + ".zmq"; }

int Serve(const std::string& endpoint, int payload, const std::function<void()>& ready) {
  ZmqSocket socket(ZMQ_REP);
  if (socket.get() == nullptr) return 10;
  if (zmq_bind(socket.get(), Address(endpoint).c_str()) != 0) {
    std::fprintf(stderr, "zmq_bind: %s\n", zmq_strerror(zmq_errno()));
    return 11;
  }
  ready();
  // One spare byte shows a request longer than announced.
  std::vector<char> buffer(static_cast<size_t>(payload) + 1);
  const char answer = 1;
  for (;;) {
    int n = zmq_recv(socket.get(), buffer.data(), buffer.size(), 0);
    if (n < 0) return 12;
    if (zmq_send(socket.get(), &answer, 1, 0) != 1) return 13;
    if (n == 0) return 0;
    if (n != payload) return 14;
  }
}

bool Client(const std::string& endpoint, int payload, const MeasureLoop& loop, std::string& error) {
  ZmqSocket socket(ZMQ_REQ);
  if (socket.get() == nullptr || zmq_connect(socket.get(), Address(endpoint).c_str()) != 0) {
    error = std::string("zmq_connect: ") + zmq_strerror(zmq_errno());
    return false;
  }
  std::vector<char> request(static_cast<size_t>(payload), 0x5A);
  const bool ok = loop([&] {
    if (zmq_send(socket.get(), request.data(), request.size(), 0) != payload) return false;
    char answer = 0;
    return zmq_recv(socket.get(), &answer, 1, 0) == 1 && answer == 1;
  });
  if (!ok) {
    error = std::string("round trip: ") + zmq_strerror(zmq_errno());
    return false;
  }
  char answer = 0;
  return zmq_send(socket.get(), "", 0, 0) == 0 && zmq_recv(socket.get(), &answer, 1, 0) == 1;
}

std::string Always(int) { return {}; }

}  // namespace

const PeerTransport kZeroMqPeer{"zeromq", "ZeroMQ REQ/REP over ipc://", &Serve, &Client, &Always};

}  // namespace ztn::bench

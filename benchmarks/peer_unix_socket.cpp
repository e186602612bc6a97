// POSIX names allowed: this peer measures the OS's own IPC, Unix domain
// sockets, as stream and as sequenced-packet connections.
//
// Stream: the request is `payload` bytes read whole on the other side.
// Seqpacket: the request is one packet. The answer is one byte. The client
// closing its end stops the server.
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>

#include <vector>

#include "benchmarks/peers.h"
#include "benchmarks/posix_io.h"

namespace ztn::bench {
namespace {

using posix::ErrnoText;
using posix::Fd;

bool MakeAddress(const std::string& endpoint, sockaddr_un& address) {
  std::string path = endpoint + ".sock";
  address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

void SetReceiveTimeout(int fd) {
  timeval limit{kPeerWaitMs / 1000, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
}

int Serve(int type, const std::string& endpoint, int payload, const std::function<void()>& ready) {
  sockaddr_un address;
  if (!MakeAddress(endpoint, address)) return 10;
  Fd listener(::socket(AF_UNIX, type | SOCK_CLOEXEC, 0));
  if (!listener.ok()) return 11;
  ::unlink(address.sun_path);
  if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) return 12;
  if (::listen(listener.get(), 1) != 0) return 13;
  ready();
  pollfd waiting{listener.get(), POLLIN, 0};
  if (::poll(&waiting, 1, kPeerWaitMs) != 1) return 14;
  Fd connection(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
  ::unlink(address.sun_path);
  if (!connection.ok()) return 15;
  SetReceiveTimeout(connection.get());
  // One spare byte, so that a seqpacket longer than announced is noticed.
  std::vector<uint8_t> buffer(static_cast<size_t>(payload) + 1);
  const uint8_t answer = 1;
  for (;;) {
    ssize_t n;
    if (type == SOCK_STREAM) {
      n = posix::ReadFull(connection.get(), buffer.data(), static_cast<size_t>(payload));
    } else {
      do {
        n = ::recv(connection.get(), buffer.data(), buffer.size(), 0);
      } while (n < 0 && errno == EINTR);
    }
    if (n == 0) return 0;  // the client closed: done
    if (n != payload) return 16;
    if (!posix::WriteFull(connection.get(), &answer, 1)) return 17;
  }
}

bool Client(int type, const std::string& endpoint, int payload, const MeasureLoop& loop,
            std::string& error) {
  sockaddr_un address;
  if (!MakeAddress(endpoint, address)) {
    error = "socket path too long";
    return false;
  }
  Fd fd(::socket(AF_UNIX, type | SOCK_CLOEXEC, 0));
  if (!fd.ok() || ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    error = ErrnoText("connect");
    return false;
  }
  SetReceiveTimeout(fd.get());
  std::vector<uint8_t> request(static_cast<size_t>(payload), 0x5A);
  const bool ok = loop([&] {
    if (type == SOCK_STREAM) {
      if (!posix::WriteFull(fd.get(), request.data(), request.size())) return false;
    } else if (::send(fd.get(), request.data(), request.size(), 0) !=
               static_cast<ssize_t>(request.size())) {
      return false;
    }
    uint8_t answer = 0;
    return posix::ReadFull(fd.get(), &answer, 1) == 1 && answer == 1;
  });
  if (!ok) error = ErrnoText("round trip");
  return ok;
}

int ServeStream(const std::string& e, int p, const std::function<void()>& r) {
  return Serve(SOCK_STREAM, e, p, r);
}
int ServeSeqpacket(const std::string& e, int p, const std::function<void()>& r) {
  return Serve(SOCK_SEQPACKET, e, p, r);
}
bool ClientStream(const std::string& e, int p, const MeasureLoop& l, std::string& err) {
  return Client(SOCK_STREAM, e, p, l, err);
}
bool ClientSeqpacket(const std::string& e, int p, const MeasureLoop& l, std::string& err) {
  return Client(SOCK_SEQPACKET, e, p, l, err);
}
std::string Always(int) { return {}; }

}  // namespace

const PeerTransport kUnixStreamPeer{"uds_stream", "Unix socket, stream", &ServeStream,
                                    &ClientStream, &Always};
const PeerTransport kUnixSeqpacketPeer{"uds_seqpacket", "Unix socket, seqpacket", &ServeSeqpacket,
                                       &ClientSeqpacket, &Always};

}  // namespace ztn::bench

// POSIX names allowed: this peer measures the OS's own IPC, a pair of pipes
// (named FIFOs, since the two processes are not parent and forked child).
//
// The request goes down one pipe and is read whole; the one-byte answer
// comes back on the other. The client closing its end stops the server.
#include <fcntl.h>
#include <sys/stat.h>

#include <vector>

#include "benchmarks/peers.h"
#include "benchmarks/posix_io.h"

namespace ztn::bench {
namespace {

using posix::ErrnoText;
using posix::Fd;

int Serve(const std::string& endpoint, int payload, const std::function<void()>& ready) {
  const std::string requestPath = endpoint + ".req";
  const std::string answerPath = endpoint + ".ans";
  ::unlink(requestPath.c_str());
  ::unlink(answerPath.c_str());
  if (::mkfifo(requestPath.c_str(), 0600) != 0 || ::mkfifo(answerPath.c_str(), 0600) != 0) return 10;
  ready();
  // Opening a FIFO blocks until the other end opens it too; the client opens
  // in the same order.
  Fd requests(::open(requestPath.c_str(), O_RDONLY | O_CLOEXEC));
  Fd answers(::open(answerPath.c_str(), O_WRONLY | O_CLOEXEC));
  ::unlink(requestPath.c_str());
  ::unlink(answerPath.c_str());
  if (!requests.ok() || !answers.ok()) return 11;
  std::vector<uint8_t> buffer(static_cast<size_t>(payload));
  const uint8_t answer = 1;
  for (;;) {
    ssize_t n = posix::ReadFull(requests.get(), buffer.data(), buffer.size());
    if (n == 0) return 0;
    if (n != payload) return 12;
    if (!posix::WriteFull(answers.get(), &answer, 1)) return 13;
  }
}

bool Client(const std::string& endpoint, int payload, const MeasureLoop& loop, std::string& error) {
  Fd requests(::open((endpoint + ".req").c_str(), O_WRONLY | O_CLOEXEC));
  Fd answers(::open((endpoint + ".ans").c_str(), O_RDONLY | O_CLOEXEC));
  if (!requests.ok() || !answers.ok()) {
    error = ErrnoText("open fifo");
    return false;
  }
  std::vector<uint8_t> request(static_cast<size_t>(payload), 0x5A);
  const bool ok = loop([&] {
    if (!posix::WriteFull(requests.get(), request.data(), request.size())) return false;
    uint8_t answer = 0;
    return posix::ReadFull(answers.get(), &answer, 1) == 1 && answer == 1;
  });
  if (!ok) error = ErrnoText("round trip");
  return ok;
}

std::string Always(int) { return {}; }

}  // namespace

const PeerTransport kPipePeer{"pipe", "pipe pair", &Serve, &Client, &Always};

}  // namespace ztn::bench

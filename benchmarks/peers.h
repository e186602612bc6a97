// The transports measured beside linkmod: the OS's own IPC and two libraries
// a user would pick instead. Each peer has a server side, run in a child
// process, and a client side, run in the timing parent.
//
// A round trip is the same for every peer and for linkmod: the client hands
// `payload` bytes to the server process, the server takes all of them into
// its own memory, and the client waits for the server's one-byte answer.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ztn::bench {

// Runs the timed loop over one round trip (see Measure in harness.h).
using MeasureLoop = std::function<bool(const std::function<bool()>& roundTrip)>;

struct PeerTransport {
  const char* key;    // short name used in JSON and on the command line
  const char* label;  // what the table shows
  // Child side: makes the endpoint named by `endpoint` (a path prefix in the
  // run's scratch folder), calls ready(), then answers requests of `payload`
  // bytes until the client stops or goes away. 0 on success.
  int (*serve)(const std::string& endpoint, int payload, const std::function<void()>& ready);
  // Parent side: connects to the endpoint, runs the loop, tells the server to
  // stop. False with `error` set on any failure.
  bool (*client)(const std::string& endpoint, int payload, const MeasureLoop& loop,
                 std::string& error);
  // Empty when the peer can carry `payload` bytes here, else why not.
  std::string (*unsupported)(int payload);
};

const std::vector<PeerTransport>& PeerTransports();
const PeerTransport* FindPeer(const std::string& key);

// One measured run of `peer`: its server in a child process, the client
// here. Samples in microseconds are appended to samplesUs.
bool RunPeer(const PeerTransport& peer, int payload, int warmup, int iterations,
             std::vector<double>& samplesUs, std::string& error);

// Every peer gives up a wait after this long without an answer.
inline constexpr int kPeerWaitMs = 10000;

// The peers, one per file.
extern const PeerTransport kUnixStreamPeer;
extern const PeerTransport kUnixSeqpacketPeer;
extern const PeerTransport kPipePeer;
extern const PeerTransport kPosixQueuePeer;
extern const PeerTransport kBoostQueuePeer;
extern const PeerTransport kZeroMqPeer;
extern const PeerTransport kFutexPeer;

}  // namespace ztn::bench

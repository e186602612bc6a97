#include "benchmarks/peers.h"

namespace ztn::bench {

const std::vector<PeerTransport>& PeerTransports() {
  static const std::vector<PeerTransport> peers = {
      kUnixSeqpacketPeer, kUnixStreamPeer, kPipePeer,  kPosixQueuePeer,
      kBoostQueuePeer,    kZeroMqPeer,     kFutexPeer,
  };
  return peers;
}

const PeerTransport* FindPeer(const std::string& key) {
  for (const auto& peer : PeerTransports()) {
    if (key == peer.key) return &peer;
  }
  return nullptr;
}

}  // namespace ztn::bench

#include "benchmarks/harness.h"

namespace ztn::bench {

// args: peer-key endpoint payload ready-signal
ZTN_BENCH_ROLE(peer) {
  long long payload = 0;
  if (args.size() != 4 || !ParseInt(args[2], payload) || payload < 0) return kBadRoleArguments;
  const PeerTransport* peer = FindPeer(args[0]);
  if (peer == nullptr) return kBadRoleArguments;
  const std::string& ready = args[3];
  return peer->serve(args[1], static_cast<int>(payload), [&] { Signal::Set(ready); });
}

bool RunPeer(const PeerTransport& peer, int payload, int warmup, int iterations,
             std::vector<double>& samplesUs, std::string& error) {
  Signal ready("bench_ready");
  const std::string endpoint = ScratchPath(peer.key);
  Child child = Child::Start("peer", {peer.key, endpoint, std::to_string(payload), ready.Name()});
  if (!child.IsValid() || !ready.Wait(10000)) {
    error = "server did not start: exit code " + std::to_string(child.Wait(0));
    return false;
  }
  MeasureLoop loop = [&](const std::function<bool()>& roundTrip) {
    return Measure(warmup, iterations, roundTrip, samplesUs);
  };
  const bool ok = peer.client(endpoint, payload, loop, error);
  const int code = child.Wait(kPeerWaitMs);
  if (code != 0) {
    if (!error.empty()) error += "; ";
    error += "server exit code " + std::to_string(code);
    return false;
  }
  return ok;
}

}  // namespace ztn::bench

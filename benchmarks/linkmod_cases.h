// The linkmod side of the benchmark, through the library's public header
// only: one registration in this process sends, receivers run in child
// processes.
#pragma once

#include <string>
#include <vector>

namespace ztn::bench {

// How a receiver takes messages.
enum class ReceiveMode {
  Accept,       // Accept then Recv on the receiver's own thread
  ThreadWait0,  // receive thread, wait mode 0: sender released before the callback
  ThreadWait1,  // receive thread, wait mode 1: sender released after the callback
};

// This process's sending registration (module type kSenderType).
class LinkmodSender {
 public:
  LinkmodSender() = default;
  ~LinkmodSender();
  LinkmodSender(const LinkmodSender&) = delete;
  LinkmodSender& operator=(const LinkmodSender&) = delete;
  bool Start(std::string& error);
  void End();
  const std::u16string& Id() const { return id_; }

 private:
  std::u16string id_;
};

// SendToId of `payload` bytes to one receiver in a child process, until the
// receiver has released it. The receiver checks every message and the count.
bool RunLinkmodSend(const LinkmodSender& sender, ReceiveMode mode, int payload, int warmup,
                    int iterations, std::vector<double>& samplesUs, std::string& error);

// SendToModuleType of 8 bytes to `receivers` registrations of one module type
// in a child process (each in Accept on its own thread); one sample per call.
bool RunLinkmodModuleType(const LinkmodSender& sender, int receivers, int warmup, int calls,
                          std::vector<double>& samplesUs, std::string& error);

// IsAliveId of a live registration of another process, and of an identity
// that never registered.
bool RunLinkmodIsAlive(const LinkmodSender& sender, int warmup, int iterations,
                       std::vector<double>& aliveUs, std::vector<double>& deadUs,
                       std::string& error);

// `live` registrations held by a child process, for the registration cases.
class LinkmodHolders {
 public:
  LinkmodHolders() = default;
  ~LinkmodHolders();
  LinkmodHolders(const LinkmodHolders&) = delete;
  LinkmodHolders& operator=(const LinkmodHolders&) = delete;
  bool Start(int live, std::string& error);
  bool Stop(std::string& error);

 private:
  struct State;
  State* state_ = nullptr;
};

// Initialize and UnInitialize of one registration (one send queue), timed
// apart, `iterations` times or until `budgetSeconds` has passed (at least
// `minimum` times).
bool RunLinkmodRegistration(int warmup, int iterations, int minimum, double budgetSeconds,
                            std::vector<double>& initializeUs, std::vector<double>& uninitializeUs,
                            std::string& error);

// CPU time of an idle receiver over `seconds`, as a fraction of one CPU: one
// child waits in Accept, another runs a receive thread; both at once.
bool RunLinkmodIdle(int seconds, double& acceptFraction, double& threadFraction,
                    std::string& error);

}  // namespace ztn::bench

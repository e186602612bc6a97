// Facts the benchmark reads from the OS: the CPU time of this process, what
// machine the figures come from, and the POSIX message queue size limit.
#pragma once

#include <cstdint>
#include <string>

namespace ztn::bench {

// User plus system CPU time used by every thread of this process, seconds.
double ProcessCpuSeconds();

struct MachineFacts {
  std::string cpuModel;
  unsigned logicalCpus = 0;
  uint64_t memoryBytes = 0;
  std::string kernel;  // system name and release
  std::string os;      // distribution's pretty name
};
MachineFacts ReadMachineFacts();

// fs.mqueue.msgsize_max, or -1 when it cannot be read.
long MqueueMessageSizeLimit();

// Raises fs.mqueue.msgsize_max to at least `wanted` for this object's life
// and puts the old value back when destroyed. Does nothing when the limit is
// high enough already, or when this process may not change it.
class MqueueSizeRaise {
 public:
  explicit MqueueSizeRaise(long wanted);
  ~MqueueSizeRaise();
  MqueueSizeRaise(const MqueueSizeRaise&) = delete;
  MqueueSizeRaise& operator=(const MqueueSizeRaise&) = delete;
  bool Raised() const { return raised_; }
  long Before() const { return before_; }

 private:
  long before_ = -1;
  bool raised_ = false;
};

}  // namespace ztn::bench

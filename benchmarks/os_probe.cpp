// POSIX and Linux names allowed: the benchmark's instruments read the OS
// directly (getrusage, uname, /proc), as its peers use the OS's own IPC.
#include "benchmarks/os_probe.h"

#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace ztn::bench {
namespace {

constexpr const char* kMsgsizeMaxPath = "/proc/sys/fs/mqueue/msgsize_max";

bool WriteLimit(long value) {
  std::ofstream out(kMsgsizeMaxPath);
  out << value << "\n";
  out.close();
  return static_cast<bool>(out) && MqueueMessageSizeLimit() == value;
}

std::string Unquote(std::string text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
  return text;
}

}  // namespace

double ProcessCpuSeconds() {
  rusage usage{};
  if (::getrusage(RUSAGE_SELF, &usage) != 0) return -1;
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

MachineFacts ReadMachineFacts() {
  MachineFacts facts;
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind("model name", 0) == 0) {
      size_t colon = line.find(':');
      if (colon != std::string::npos) facts.cpuModel = line.substr(line.find_first_not_of(' ', colon + 1));
      break;
    }
  }
  long cpus = ::sysconf(_SC_NPROCESSORS_ONLN);
  facts.logicalCpus = cpus > 0 ? static_cast<unsigned>(cpus) : 0;
  long pages = ::sysconf(_SC_PHYS_PAGES);
  long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0) facts.memoryBytes = static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
  utsname names{};
  if (::uname(&names) == 0) facts.kernel = std::string(names.sysname) + " " + names.release;
  std::ifstream osRelease("/etc/os-release");
  for (std::string line; std::getline(osRelease, line);) {
    if (line.rfind("PRETTY_NAME=", 0) == 0) facts.os = Unquote(line.substr(12));
  }
  return facts;
}

long MqueueMessageSizeLimit() {
  std::ifstream in(kMsgsizeMaxPath);
  long value = -1;
  if (!(in >> value)) return -1;
  return value;
}

MqueueSizeRaise::MqueueSizeRaise(long wanted) {
  before_ = MqueueMessageSizeLimit();
  if (before_ < 0 || before_ >= wanted) return;
  raised_ = WriteLimit(wanted);
}

MqueueSizeRaise::~MqueueSizeRaise() {
  if (raised_) WriteLimit(before_);
}

}  // namespace ztn::bench

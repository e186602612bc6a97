// Everything one run measured, and the reports made from it: the terminal
// table, the JSON file and the chart's data file.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "benchmarks/os_probe.h"
#include "benchmarks/stats.h"

namespace ztn::bench {

struct Series {
  std::string group;  // "roundtrip", "module_type", "is_alive", "registration"
  std::string key;    // transport or operation, e.g. "linkmod", "uds_seqpacket", "initialize"
  std::string label;
  int payload = -1;   // bytes per message; -1 when no message is sent
  int param = -1;     // receivers (module_type) or live registrations (registration)
  std::vector<std::vector<double>> reps;  // microseconds, one vector per repetition
  std::string error;    // why the case failed
  std::string skipped;  // why it was not run
  Summary summary;      // made by Finish()
};

struct IdleFigure {
  std::string key;
  std::string label;
  int seconds = 0;
  double cpuFraction = -1;  // CPU seconds per wall second; -1 when not measured
  std::string error;
};

struct TargetCheck {
  std::string name;
  double measured = 0;
  double limit = 0;
  std::string unit;
  bool holds = false;
  bool goal = false;  // a goal beyond the target
  bool measuredOk = false;
};

struct RunConfig {
  bool quick = false;
  int repetitions = 0;
  int iterations = 0;
  int warmup = 0;
  int idleSeconds = 0;
  std::vector<int> payloads;
  std::vector<int> groupSizes;
  std::vector<int> liveCounts;
  long mqueueLimitBefore = -1;
  bool mqueueRaised = false;
};

struct Results {
  MachineFacts machine;
  RunConfig config;
  std::string startedUtc;
  std::vector<Series> series;
  std::vector<IdleFigure> idle;
  std::vector<TargetCheck> targets;

  Series* Find(const std::string& group, const std::string& key, int payload, int param);
  // Summaries, ratios and target checks.
  void Finish();
  // Median of a round-trip series relative to the Unix seqpacket one of the
  // same payload; 0 when either is missing.
  double RatioToSeqpacket(const Series& s) const;
  bool AnyFailed() const;
};

void PrintTable(const Results& results, std::FILE* out);
bool WriteJson(const Results& results, const std::string& path);
// Round-trip medians by payload, one column per transport (for gnuplot).
bool WriteChartData(const Results& results, const std::string& path);

}  // namespace ztn::bench

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "benchmarks/results.h"

namespace ztn::bench {
namespace {

constexpr const char* kReference = "uds_seqpacket";

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof(buf), "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char buf[32];
  std::snprintf(buf, sizeof(buf), "%.4f", value);
  return buf;
}

std::string Figure(double us) {
  char buf[32];
  if (us >= 1000) {
    std::snprintf(buf, sizeof(buf), "%.0f", us);
  } else if (us >= 10) {
    std::snprintf(buf, sizeof(buf), "%.1f", us);
  } else {
    std::snprintf(buf, sizeof(buf), "%.2f", us);
  }
  return buf;
}

const char* GroupTitle(const std::string& group) {
  if (group == "roundtrip") return "Round trip: one message there, released back (µs)";
  if (group == "module_type") return "SendToModuleType, 8 bytes, per call (µs)";
  if (group == "is_alive") return "IsAliveId (µs)";
  if (group == "registration") return "Registration with live entries in the table (µs)";
  if (group == "primitives") return "Building blocks, in one process (µs)";
  return group.c_str();
}

}  // namespace

Series* Results::Find(const std::string& group, const std::string& key, int payload, int param) {
  for (auto& s : series) {
    if (s.group == group && s.key == key && s.payload == payload && s.param == param) return &s;
  }
  return nullptr;
}

bool Results::AnyFailed() const {
  for (const auto& s : series) {
    if (!s.error.empty()) return true;
  }
  for (const auto& i : idle) {
    if (!i.error.empty()) return true;
  }
  return false;
}

double Results::RatioToSeqpacket(const Series& s) const {
  if (s.group != "roundtrip") return 0;
  for (const auto& ref : series) {
    if (ref.group == "roundtrip" && ref.key == kReference && ref.payload == s.payload &&
        ref.summary.count > 0 && s.summary.count > 0) {
      return s.summary.median / ref.summary.median;
    }
  }
  return 0;
}

void Results::Finish() {
  for (auto& s : series) s.summary = Summarize(s.reps);
  targets.clear();
  auto add = [&](std::string name, const Series* s, double measured, double limit,
                 std::string unit, bool goal) {
    TargetCheck t;
    t.name = std::move(name);
    t.measuredOk = (s == nullptr || s->summary.count > 0) && measured > 0;
    t.measured = measured;
    t.limit = limit;
    t.unit = std::move(unit);
    t.holds = t.measuredOk && measured <= limit;
    t.goal = goal;
    targets.push_back(t);
  };
  for (int payload : {8, 10240}) {
    const Series* s = Find("roundtrip", "linkmod", payload, -1);
    if (s == nullptr) continue;
    const std::string size = std::to_string(payload) + " B";
    add("linkmod SendToId / Unix seqpacket, " + size, s, RatioToSeqpacket(*s), 1.0, "x", false);
    add("linkmod SendToId p99 / own median, " + size, s,
        s->summary.median > 0 ? s->summary.p99 / s->summary.median : 0, 2.0, "x", false);
    if (payload == 8) {
      add("goal: linkmod SendToId / Unix seqpacket, " + size, s, RatioToSeqpacket(*s), 0.5, "x", true);
    }
  }
  if (const Series* s = Find("is_alive", "is_alive_live", -1, -1)) {
    add("IsAliveId median", s, s->summary.median, 3.0, "µs", false);
  }
  if (const Series* s = Find("registration", "initialize", -1, 1000)) {
    add("Initialize with 1,000 live entries, median", s, s->summary.median, 200.0, "µs", false);
  }
  for (const auto& i : idle) {
    TargetCheck t;
    t.name = "idle receiver CPU, " + i.label;
    t.measuredOk = i.cpuFraction >= 0;
    t.measured = i.cpuFraction * 100.0;
    t.limit = 0.1;
    t.unit = "% of a CPU";
    t.holds = t.measuredOk && t.measured < t.limit;
    targets.push_back(t);
  }
}

void PrintTable(const Results& results, std::FILE* out) {
  const auto& m = results.machine;
  std::fprintf(out, "Machine: %s, %u logical CPUs, %.1f GiB, %s, %s\n", m.cpuModel.c_str(),
               m.logicalCpus, static_cast<double>(m.memoryBytes) / (1024.0 * 1024 * 1024),
               m.kernel.c_str(), m.os.c_str());
  std::fprintf(out, "Run: %d repetitions of %d round trips after %d warm-up%s\n",
               results.config.repetitions, results.config.iterations, results.config.warmup,
               results.config.quick ? " (quick mode: figures are not meaningful)" : "");
  std::string group;
  for (const auto& s : results.series) {
    if (s.group != group) {
      group = s.group;
      std::fprintf(out, "\n%s\n", GroupTitle(group));
      std::fprintf(out, "  %-56s %8s %9s %9s %7s %7s\n", "case", "payload", "median", "p99",
                   "spread", s.group == "roundtrip" ? "vs seq" : "");
    }
    std::string label = s.label;
    if (s.param >= 0) label += " (" + std::to_string(s.param) + ")";
    std::string payload = s.payload >= 0 ? std::to_string(s.payload) : "-";
    if (!s.skipped.empty()) {
      std::fprintf(out, "  %-56s %8s   skipped: %s\n", label.c_str(), payload.c_str(), s.skipped.c_str());
      continue;
    }
    if (!s.error.empty()) {
      std::fprintf(out, "  %-56s %8s   FAILED: %s\n", label.c_str(), payload.c_str(), s.error.c_str());
      continue;
    }
    std::string ratio;
    if (s.group == "roundtrip") {
      char buf[16];
      std::snprintf(buf, sizeof(buf), "%.2fx", results.RatioToSeqpacket(s));
      ratio = buf;
    }
    std::fprintf(out, "  %-56s %8s %9s %9s %6.0f%% %7s\n", label.c_str(), payload.c_str(),
                 Figure(s.summary.median).c_str(), Figure(s.summary.p99).c_str(),
                 s.summary.spread * 100.0, ratio.c_str());
  }
  if (!results.idle.empty()) {
    std::fprintf(out, "\nIdle receiver, CPU used\n");
    for (const auto& i : results.idle) {
      if (!i.error.empty()) {
        std::fprintf(out, "  %-56s FAILED: %s\n", i.label.c_str(), i.error.c_str());
      } else {
        std::fprintf(out, "  %-56s %.4f%% of a CPU over %d s\n", i.label.c_str(),
                     i.cpuFraction * 100.0, i.seconds);
      }
    }
  }
  if (!results.targets.empty()) {
    std::fprintf(out, "\nTargets\n");
    for (const auto& t : results.targets) {
      const char* verdict = !t.measuredOk ? "not measured" : t.holds ? "holds" : "MISSED";
      std::fprintf(out, "  %-58s %10.3f %-10s limit %-8.3g %s\n", t.name.c_str(), t.measured,
                   t.unit.c_str(), t.limit, verdict);
    }
  }
}

bool WriteJson(const Results& results, const std::string& path) {
  std::ostringstream j;
  const auto& m = results.machine;
  const auto& c = results.config;
  j << "{\n  \"machine\": {\"cpu\": " << JsonString(m.cpuModel) << ", \"logical_cpus\": "
    << m.logicalCpus << ", \"memory_bytes\": " << m.memoryBytes
    << ", \"kernel\": " << JsonString(m.kernel) << ", \"os\": " << JsonString(m.os) << "},\n";
  j << "  \"started_utc\": " << JsonString(results.startedUtc) << ",\n";
  j << "  \"config\": {\"quick\": " << (c.quick ? "true" : "false")
    << ", \"repetitions\": " << c.repetitions << ", \"iterations\": " << c.iterations
    << ", \"warmup\": " << c.warmup << ", \"idle_seconds\": " << c.idleSeconds
    << ", \"mqueue_msgsize_max_before\": " << c.mqueueLimitBefore
    << ", \"mqueue_msgsize_max_raised\": " << (c.mqueueRaised ? "true" : "false") << "},\n";
  j << "  \"unit\": \"microseconds\",\n  \"series\": [\n";
  for (size_t i = 0; i < results.series.size(); ++i) {
    const Series& s = results.series[i];
    const Summary& sum = s.summary;
    j << "    {\"group\": " << JsonString(s.group) << ", \"key\": " << JsonString(s.key)
      << ", \"label\": " << JsonString(s.label);
    if (s.payload >= 0) j << ", \"payload\": " << s.payload;
    if (s.param >= 0) j << ", \"param\": " << s.param;
    j << ", \"status\": " << JsonString(!s.skipped.empty() ? "skipped" : !s.error.empty() ? "failed" : "ok");
    if (!s.skipped.empty()) j << ", \"reason\": " << JsonString(s.skipped);
    if (!s.error.empty()) j << ", \"reason\": " << JsonString(s.error);
    j << ", \"count\": " << sum.count << ", \"median\": " << JsonNumber(sum.median)
      << ", \"p99\": " << JsonNumber(sum.p99) << ", \"mean\": " << JsonNumber(sum.mean)
      << ", \"min\": " << JsonNumber(sum.min) << ", \"max\": " << JsonNumber(sum.max)
      << ", \"spread\": " << JsonNumber(sum.spread) << ", \"rep_medians\": [";
    for (size_t r = 0; r < sum.repMedians.size(); ++r) {
      j << (r ? ", " : "") << JsonNumber(sum.repMedians[r]);
    }
    j << "]";
    if (s.group == "roundtrip") j << ", \"ratio_to_uds_seqpacket\": " << JsonNumber(results.RatioToSeqpacket(s));
    if (s.group == "module_type" && s.param > 0) {
      j << ", \"median_per_receiver\": " << JsonNumber(sum.median / s.param);
    }
    j << "}" << (i + 1 < results.series.size() ? "," : "") << "\n";
  }
  j << "  ],\n  \"idle\": [\n";
  for (size_t i = 0; i < results.idle.size(); ++i) {
    const IdleFigure& f = results.idle[i];
    j << "    {\"key\": " << JsonString(f.key) << ", \"label\": " << JsonString(f.label)
      << ", \"seconds\": " << f.seconds << ", \"cpu_fraction\": "
      << (f.cpuFraction >= 0 ? JsonNumber(f.cpuFraction * 1.0) : "null");
    if (!f.error.empty()) j << ", \"reason\": " << JsonString(f.error);
    j << "}" << (i + 1 < results.idle.size() ? "," : "") << "\n";
  }
  j << "  ],\n  \"targets\": [\n";
  for (size_t i = 0; i < results.targets.size(); ++i) {
    const TargetCheck& t = results.targets[i];
    j << "    {\"name\": " << JsonString(t.name) << ", \"measured\": "
      << (t.measuredOk ? JsonNumber(t.measured) : "null") << ", \"limit\": " << JsonNumber(t.limit)
      << ", \"unit\": " << JsonString(t.unit) << ", \"goal\": " << (t.goal ? "true" : "false")
      << ", \"holds\": " << (t.holds ? "true" : "false") << "}"
      << (i + 1 < results.targets.size() ? "," : "") << "\n";
  }
  j << "  ]\n}\n";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << j.str();
  out.close();
  return static_cast<bool>(out);
}

bool WriteChartData(const Results& results, const std::string& path) {
  std::vector<std::pair<std::string, std::string>> columns;  // key, label
  std::vector<int> payloads;
  std::map<std::pair<std::string, int>, double> medians;
  for (const auto& s : results.series) {
    if (s.group != "roundtrip") continue;
    if (std::none_of(columns.begin(), columns.end(), [&](const auto& c) { return c.first == s.key; })) {
      columns.emplace_back(s.key, s.label);
    }
    if (std::find(payloads.begin(), payloads.end(), s.payload) == payloads.end()) payloads.push_back(s.payload);
    if (s.summary.count > 0) medians[{s.key, s.payload}] = s.summary.median;
  }
  std::sort(payloads.begin(), payloads.end());
  std::ostringstream t;
  t << "payload";
  for (const auto& c : columns) t << "\t\"" << c.second << "\"";
  t << "\n";
  for (int p : payloads) {
    t << p;
    for (const auto& c : columns) {
      auto it = medians.find({c.first, p});
      t << "\t";
      if (it == medians.end()) {
        t << "NaN";  // gnuplot leaves a gap
      } else {
        t << JsonNumber(it->second);
      }
    }
    t << "\n";
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << t.str();
  out.close();
  return static_cast<bool>(out);
}

}  // namespace ztn::bench

#include "benchmarks/stats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace ztn::bench {

double Percentile(std::vector<double>& values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  // Nearest rank: the smallest value with at least p% of the samples at or below it.
  size_t rank = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(values.size())));
  rank = std::clamp<size_t>(rank, 1, values.size());
  return values[rank - 1];
}

Summary Summarize(const std::vector<std::vector<double>>& repetitions) {
  Summary summary;
  std::vector<double> all;
  for (const auto& rep : repetitions) {
    if (rep.empty()) continue;
    std::vector<double> copy = rep;
    summary.repMedians.push_back(Percentile(copy, 50));
    all.insert(all.end(), rep.begin(), rep.end());
  }
  if (all.empty()) return summary;
  summary.count = all.size();
  summary.mean = std::accumulate(all.begin(), all.end(), 0.0) / static_cast<double>(all.size());
  summary.median = Percentile(all, 50);
  summary.p99 = Percentile(all, 99);
  summary.min = all.front();
  summary.max = all.back();
  auto [lo, hi] = std::minmax_element(summary.repMedians.begin(), summary.repMedians.end());
  summary.spread = summary.median > 0 ? (*hi - *lo) / summary.median : 0;
  return summary;
}

}  // namespace ztn::bench

// Figures made from timed samples: median, p99 and the spread between
// repetitions.
#pragma once

#include <cstddef>
#include <vector>

namespace ztn::bench {

struct Summary {
  size_t count = 0;  // samples over all repetitions
  double median = 0;
  double p99 = 0;
  double mean = 0;
  double min = 0;
  double max = 0;
  std::vector<double> repMedians;  // one median per repetition
  // (largest - smallest repetition median) / overall median: how far the
  // repetitions of this run disagree.
  double spread = 0;
};

// Nearest-rank percentile (0 < p <= 100) of `values`, which it sorts.
double Percentile(std::vector<double>& values, double p);

// Summary of the samples of every repetition together; empty repetitions are
// left out. A Summary with count 0 when there is no sample at all.
Summary Summarize(const std::vector<std::vector<double>>& repetitions);

}  // namespace ztn::bench

// The benchmark's figures: nearest-rank percentiles and the spread between
// repetitions, which the reports and the target checks rest on.
#include <gtest/gtest.h>

#include <vector>

#include "benchmarks/stats.h"

namespace ztn::bench {
namespace {

TEST(BenchStats, PercentileIsTheNearestRank) {
  struct Case {
    std::vector<double> values;
    double p;
    double expected;
  };
  const Case cases[] = {
      {{5}, 50, 5},
      {{5}, 99, 5},
      {{4, 1, 3, 2}, 50, 2},  // rank ceil(0.5 * 4) = 2
      {{4, 1, 3, 2}, 100, 4},
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 99, 10},
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 90, 9},
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 1, 1},
      {{}, 50, 0},
  };
  for (const auto& c : cases) {
    std::vector<double> values = c.values;
    EXPECT_EQ(Percentile(values, c.p), c.expected) << "p" << c.p << " of " << c.values.size();
  }
}

TEST(BenchStats, P99SeesTheTailOfAHundredSamples) {
  std::vector<double> values(100, 10.0);
  values[37] = 500.0;  // one slow sample in a hundred: p99 is the fast value
  EXPECT_EQ(Percentile(values, 99), 10.0);
  std::vector<double> two(100, 10.0);
  two[3] = 500.0;
  two[80] = 400.0;  // two slow samples: p99 is the faster of them
  EXPECT_EQ(Percentile(two, 99), 400.0);
}

TEST(BenchStats, SummaryPoolsRepetitionsAndMeasuresTheirSpread) {
  const std::vector<std::vector<double>> reps = {{10, 10, 10}, {12, 12, 12}, {}, {11, 11, 11}};
  Summary s = Summarize(reps);
  EXPECT_EQ(s.count, 9u);
  ASSERT_EQ(s.repMedians.size(), 3u);  // the empty repetition is left out
  EXPECT_EQ(s.repMedians[0], 10);
  EXPECT_EQ(s.repMedians[1], 12);
  EXPECT_EQ(s.median, 11);
  EXPECT_EQ(s.min, 10);
  EXPECT_EQ(s.max, 12);
  EXPECT_DOUBLE_EQ(s.mean, 11);
  EXPECT_DOUBLE_EQ(s.spread, 2.0 / 11.0);
}

TEST(BenchStats, NoSamplesGiveAnEmptySummary) {
  Summary s = Summarize({{}, {}});
  EXPECT_EQ(s.count, 0u);
  EXPECT_EQ(s.median, 0);
  EXPECT_EQ(s.spread, 0);
  EXPECT_TRUE(s.repMedians.empty());
}

}  // namespace
}  // namespace ztn::bench

// The goals a benchmark program measures itself against: each run records
// its measure (a time per frame or a ratio to a peer) with the goal beside
// it, and the program prints them all as one table when it ends, so that a
// reader of a loaded machine's run sees at once what was met.
#pragma once

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench_goals {

struct Row {
  std::string measure;  // "ms" or "ratio"
  double value = 0, goal = 0;
};

// Rows by name; a benchmark that runs more than once keeps its last figures.
inline std::map<std::string, Row>& Rows() {
  static std::map<std::string, Row> rows;
  return rows;
}

// Records a measure that must stay at or below its goal.
inline void Record(const std::string& name, const std::string& measure, double value, double goal) {
  Rows()[name + " " + measure] = Row{measure, value, goal};
}

// The median of a list of samples (the list is reordered). A loaded
// machine stretches some samples far more than others; the median stays
// with the typical run.
inline double Median(std::vector<double>& samples) {
  if (samples.empty()) return 0;
  const size_t mid = samples.size() / 2;
  std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(mid), samples.end());
  return samples[mid];
}

inline void Print() {
  if (Rows().empty()) return;
  std::printf("\n%-40s %12s %12s  %s\n", "goal", "measured", "at most", "");
  int missed = 0;
  for (const auto& [name, row] : Rows()) {
    const bool met = row.value <= row.goal;
    missed += met ? 0 : 1;
    std::printf("%-40s %12.3f %12.3f  %s\n", name.c_str(), row.value, row.goal, met ? "met" : "MISSED");
  }
  std::printf("%d of %zu goals met\n", static_cast<int>(Rows().size()) - missed, Rows().size());
}

}  // namespace bench_goals

#pragma once

#include "base/problems.h"

#include <algorithm>
#include <vector>

namespace korvane::test {

// Collects the problems reported while it lives, in order.
struct ReportedProblems {
  std::vector<Report> reports;

  ReportedProblems() {
    setProblemSink([this](const Report &report) { reports.push_back(report); });
  }
  ~ReportedProblems() { setProblemSink({}); }
  ReportedProblems(const ReportedProblems &) = delete;
  ReportedProblems &operator=(const ReportedProblems &) = delete;

  long count(Problem id) const {
    return std::count_if(reports.begin(), reports.end(),
                         [id](const Report &r) { return r.id == id; });
  }
  bool has(Problem id) const { return count(id) > 0; }
  // The first report of `id`; a default report when there is none.
  Report first(Problem id) const {
    for (const Report &report : reports)
      if (report.id == id)
        return report;
    return {};
  }
  std::vector<Problem> ids() const {
    std::vector<Problem> out;
    for (const Report &report : reports)
      out.push_back(report.id);
    return out;
  }
};

} // namespace korvane::test

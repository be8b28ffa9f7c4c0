#pragma once

#include "base/problems.h"

#include <algorithm>
#include <string>
#include <vector>

namespace korvane::test {

// A logger that writes the debug log, as the programs' does, and collects
// every report, in order, instead of telling standard error.
struct ReportedProblems {
  std::vector<Report> reports;
  Logger logger;

  ReportedProblems() {
    logger.add(debugLogSink(), true);
    logger.add([this](const Report &report) { reports.push_back(report); });
  }
  ReportedProblems(const ReportedProblems &) = delete;
  ReportedProblems &operator=(const ReportedProblems &) = delete;
  operator const Logger &() const { return logger; }

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
  // What the message box would have shown, in order.
  std::vector<std::string> boxes() const {
    std::vector<std::string> out;
    for (const Report &report : reports)
      if (!report.box.empty())
        out.push_back(report.box);
    return out;
  }
  std::vector<Problem> ids() const {
    std::vector<Problem> out;
    for (const Report &report : reports)
      out.push_back(report.id);
    return out;
  }
};

} // namespace korvane::test

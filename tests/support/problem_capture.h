#pragma once

#include "base/problems.h"

#include <algorithm>
#include <string>
#include <vector>

namespace korvane::test {

// A logger whose debug.log lines go to `lines` alone.
inline Logger linesInto(std::vector<std::string> &lines) {
  Logger logger;
  logger.addLines([&lines](const std::string &line) { lines.push_back(line); });
  return logger;
}

// A logger that collects the debug log's lines, as the programs' writes
// them, and every report, in order, instead of telling standard error.
struct ReportedProblems {
  std::vector<Report> reports;
  std::vector<std::string> lines;
  Logger logger = linesInto(lines);

  ReportedProblems() {
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

#include "base/problems.h"

#include "base/debuglog.h"

#include <cctype>
#include <cstdio>
#include <vector>

namespace korvane {
namespace {

struct Entry {
  const char *name;
  ProblemKind kind;
  const char *logline;
  const char *text;
  const char *box;
};

const Entry entries[] = {
#define KORVANE_PROBLEM_ENTRY(id, kind, logline, text, box)                    \
  {#id, ProblemKind::kind, logline, text, box},
    KORVANE_PROBLEMS(KORVANE_PROBLEM_ENTRY)
#undef KORVANE_PROBLEM_ENTRY
};

const Entry &entryOf(Problem id) { return entries[static_cast<int>(id)]; }

// The text with {n} replaced by the n-th argument; a placeholder without
// its argument stays as it is.
std::string fill(const char *format,
                 std::initializer_list<std::string_view> arguments) {
  std::string out;
  for (const char *p = format; *p; ++p) {
    if (p[0] == '{' && p[1] >= '0' && p[1] <= '9' && p[2] == '}' &&
        std::size_t(p[1] - '0') < arguments.size()) {
      out += arguments.begin()[p[1] - '0'];
      p += 2;
    } else {
      out += *p;
    }
  }
  return out;
}

ProblemSink sink;
std::function<void(const std::string &)> messageBox;

} // namespace

const char *problemName(Problem id) { return entryOf(id).name; }

std::string problemId(Problem id) {
  std::string out;
  for (const char *c = problemName(id); *c; ++c) {
    if (std::isupper(static_cast<unsigned char>(*c))) {
      if (!out.empty())
        out += '-';
      out += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    } else {
      out += *c;
    }
  }
  return out;
}

std::string describe(const Report &report) {
  // The other kinds' texts name their file themselves.
  if (report.file.empty() || report.kind != ProblemKind::Script)
    return report.text;
  if (report.line > 0)
    return report.file + ":" + std::to_string(report.line) + ": " + report.text;
  return report.file + ": " + report.text;
}

std::string problemText(Problem id,
                        std::initializer_list<std::string_view> arguments) {
  return fill(entryOf(id).text, arguments);
}

void logProblem(Problem id) {
  if (const char *line = entryOf(id).logline)
    writeLog("%s", line);
}

void report(Problem id, std::string_view file, int line,
            std::initializer_list<std::string_view> arguments) {
  const Entry &entry = entryOf(id);
  logProblem(id);
  const Report made{id, entry.kind, std::string(file), line,
                    fill(entry.text, arguments)};
  if (sink)
    sink(made);
  else
    std::fprintf(stderr, "korvane: %s: %s\n", problemId(id).c_str(),
                 describe(made).c_str());
  if (entry.box && messageBox)
    messageBox(fill(entry.box, arguments));
}

void setProblemSink(ProblemSink replacement) { sink = std::move(replacement); }

void setMessageBox(std::function<void(const std::string &)> box) {
  messageBox = std::move(box);
}

} // namespace korvane

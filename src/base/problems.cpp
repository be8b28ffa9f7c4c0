#include "base/problems.h"

#include <cctype>
#include <cstdarg>
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

Report makeReport(Problem id, std::string_view file, int line,
                  std::initializer_list<std::string_view> arguments) {
  const Entry &entry = entryOf(id);
  return {id,
          entry.kind,
          std::string(file),
          line,
          fill(entry.text, arguments),
          entry.logline,
          entry.box ? fill(entry.box, arguments) : std::string()};
}

void Logger::add(ProblemSink sink, bool hearsQuiet) {
  sinks.push_back({std::move(sink), hearsQuiet});
}

void Logger::addLines(LineSink sink) { lineSinks.push_back(std::move(sink)); }

void Logger::report(Problem id, std::string_view file, int line,
                    std::initializer_list<std::string_view> arguments) const {
  const Report made = makeReport(id, file, line, arguments);
  if (made.logline)
    write(made.logline);
  for (const Sink &sink : sinks)
    sink.take(made);
}

void Logger::quietly(Problem id, std::string_view file, int line,
                     std::initializer_list<std::string_view> arguments) const {
  const Report made = makeReport(id, file, line, arguments);
  if (made.logline)
    write(made.logline);
  for (const Sink &sink : sinks)
    if (sink.hearsQuiet)
      sink.take(made);
}

void Logger::line(const char *format, ...) const {
  if (lineSinks.empty())
    return;
  // vsnprintf always terminates: an over-long line loses its tail.
  char text[1024];
  va_list args;
  va_start(args, format);
  if (std::vsnprintf(text, sizeof text, format, args) < 0)
    text[0] = '\0';
  va_end(args);
  write(text);
}

void Logger::write(const std::string &text) const {
  for (const LineSink &sink : lineSinks)
    sink(text);
}

ProblemSink standardErrorSink() {
  return [](const Report &report) {
    std::fprintf(stderr, "korvane: %s: %s\n", problemId(report.id).c_str(),
                 describe(report).c_str());
  };
}

ProblemSink messageBoxSink(std::function<void(const std::string &)> show) {
  return [show = std::move(show)](const Report &report) {
    if (!report.box.empty())
      show(report.box);
  };
}

Logger standardLogger() {
  Logger logger;
  logger.add(standardErrorSink());
  return logger;
}

} // namespace korvane

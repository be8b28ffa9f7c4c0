#pragma once

// Every problem Korvane can report, in one list: an id, the debug.log line
// a Part defines for it (tools read that file and rely on its lines), what
// people are told (naming the file and the reason), and, where a Part asks
// for one, the text of a message box. A logger, handed to whoever may
// report or write the debug log, passes each report to its sinks: standard
// error, the message box, a capture for tests and for korvane-inspect
// --check; and each debug.log line (a problem's own among them) to its line
// sinks: the log file (debuglog.h), a capture.
// Texts take their arguments as {0}, {1}, ...

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// What a problem is about: the author's script, a file it names, or the
// running of the show.
enum class ProblemKind { Script, Media, Run };

// Each entry: id, kind, debug.log line, text for people, message box.
#define KORVANE_PROBLEMS(X)                                                    \
  X(ScriptUnreadable, Script, nullptr,                                         \
    "cannot open script file \"{0}\" ({1})", nullptr)                          \
  X(CommentNotClosed, Script, "Unexpected end of file found in comment!",      \
    "comment opened here is never closed", nullptr)                            \
  X(TokenCut, Script, nullptr, "token of {0} characters cut to {1}", nullptr)  \
  X(ScriptNotDemo, Script, "Scriptfile is wrong!",                             \
    "the script must begin with <demo>, not '{0}'", nullptr)                   \
  X(ScriptEmpty, Script, nullptr,                                              \
    "the script is empty: it must begin with <demo>", nullptr)                 \
  X(UnknownToken, Script, nullptr, "unrecognised token '{0}' in {1}", nullptr) \
  X(BlockNotClosed, Script, nullptr,                                           \
    "{0} is not closed before the end of the text", nullptr)                   \
  X(UnknownValue, Script, nullptr, "unknown value '{0}' for {1}", nullptr)     \
  X(ValueMissing, Script, nullptr,                                             \
    "value for {0} is missing at the end of the text", nullptr)                \
  X(NotAWholeNumber, Script, nullptr, "'{0}' is not a whole number ({1})",     \
    nullptr)                                                                   \
  X(NotANumber, Script, nullptr, "'{0}' is not a number ({1})", nullptr)       \
  X(NameCut, Script, nullptr, "{0} of {1} characters cut to {2}", nullptr)     \
  X(PartWithoutLength, Script, nullptr,                                        \
    "the part has no length: it never plays", nullptr)                         \
  X(PartLengthNotPositive, Script, nullptr,                                    \
    "length {0}: a part's length must be above 0 ms", nullptr)                 \
  X(PartDropped, Script, nullptr,                                              \
    "part dropped: a show holds at most {0} parts", nullptr)                   \
  X(LayerDropped, Script, nullptr,                                             \
    "layer dropped: a part holds at most {0} layers", nullptr)                 \
  X(ShadowDropped, Script, nullptr,                                            \
    "shadow dropped: a layer holds at most {0} shadows", nullptr)              \
  X(BlobEntriesDropped, Script, nullptr,                                       \
    "{0} {1} entries dropped: a layer holds at most {2} blobs", nullptr)       \
  X(KeysDropped, Script, nullptr,                                              \
    "{0} {1} keys dropped: a channel holds at most {2}", nullptr)              \
  X(KeyOutOfOrder, Script, nullptr,                                            \
    "{0} key at {1} ms comes before the previous one at {2} ms", nullptr)      \
  X(NotAKeyTime, Script, nullptr, "'{0}' is not a key time", nullptr)          \
  X(UnknownChannel, Script, nullptr, "unknown channel '{0}' in <timeline>",    \
    nullptr)                                                                   \
  X(LoopReplaced, Script, nullptr,                                             \
    "<loop> replaces the loop opened at line {0}, which was never closed",     \
    nullptr)                                                                   \
  X(LoopEndWithoutLoop, Script, nullptr,                                       \
    "</loop> without <loop> before it in the timeline", nullptr)               \
  X(LoopEndRepeatsLoop, Script, nullptr,                                       \
    "</loop> without a <loop> of its own repeats the previous loop again",     \
    nullptr)                                                                   \
  X(LoopOutOfOrder, Script, nullptr,                                           \
    "the loop's {0} keys do not fit in one period: their copies are out of "   \
    "time order",                                                              \
    nullptr)                                                                   \
  X(LoopNotClosed, Script, nullptr,                                            \
    "<loop> is never closed: its keys are not repeated", nullptr)              \
  X(PictureNotLoaded, Media, "TEXTURE LOAD ERROR!", "Picture file {0} {1}",    \
    nullptr)                                                                   \
  X(ShadowPictureNotLoaded, Media, "TEXTURE LOAD ERROR! - SHADOW",             \
    "Picture file {0} {1}", nullptr)                                           \
  X(MaterialPictureNotLoaded, Media, nullptr, "Picture file {0} {1}", nullptr) \
  X(VideoTextureNotMade, Media, "TEXTURE LOAD ERROR!",                         \
    "Video file {0} has no texture to play into", nullptr)                     \
  X(VideoNotPlayed, Media, nullptr, "Video file {0} cannot be played: {1}",    \
    "{1}")                                                                     \
  X(MeshNotLoaded, Media, "D3DXLoadMeshFromX failed!",                         \
    "Mesh file {0} cannot be loaded: {1}", nullptr)                            \
  X(KtrUnreadable, Media, nullptr, "KTR file {0} cannot be read", nullptr)     \
  X(KtrCutShort, Media, nullptr, "KTR file {0} ends before its last record",   \
    nullptr)                                                                   \
  X(BlobCountCut, Media, nullptr, "Blob count {0} cut to {1}", nullptr)        \
  X(MusicSilent, Run, nullptr, "Music: {0}; the show plays in silence",        \
    nullptr)                                                                   \
  X(StartFailed, Run, nullptr, "cannot play the show: {0}", nullptr)           \
  X(MusicNotSought, Run, nullptr,                                              \
    "Music: \"mirl .mp3\" cannot be moved to {0} ms ({1})", nullptr)           \
  X(VsyncRefused, Run, nullptr,                                                \
    "no wait for the display's refresh here ({0}); frames are shown as soon "  \
    "as they are drawn",                                                       \
    nullptr)                                                                   \
  X(NotWatched, Run, nullptr, "{0}: changes there are not seen", nullptr)      \
  X(ReloadRejected, Run, nullptr,                                              \
    "{0} not reloaded: {1}; the show plays on as it was", nullptr)             \
  X(NothingToPlay, Run, nullptr,                                               \
    "{0} cannot be played: {1}; waiting for it to be saved", nullptr)          \
  X(VideoNotWritten, Run, nullptr, "cannot write the video {0}: {1}", nullptr) \
  X(StillNotWritten, Run, nullptr, "cannot write the still {0}: {1}", nullptr) \
  X(LogNotWritten, Run, nullptr, "the log {0} is not written: {1}", nullptr)   \
  X(VideoSilent, Run, nullptr, "Music: {0}; the video has no sound", nullptr)  \
  X(NoHardwareEncoder, Run, nullptr, "{0}; x264 encodes the video", nullptr)   \
  X(ArchiveUnreadable, Media, nullptr, "the archive {0} cannot be read: {1}",  \
    nullptr)                                                                   \
  X(ArchiveEntryRefused, Media, nullptr,                                       \
    "the archive {0}: {1} is refused ({2}); the show goes on without it",      \
    nullptr)                                                                   \
  X(ShowFolderMissing, Run, nullptr, "cannot open the show folder {0}",        \
    nullptr)                                                                   \
  X(ScriptMissing, Run, nullptr, "no script at {0}", nullptr)                  \
  X(StillPastEnd, Run, nullptr,                                                \
    "--at {0} is past the show's end ({1} ms): no at_{0}.png", nullptr)        \
  X(TraceNotWritten, Run, nullptr, "{0}", nullptr)                             \
  X(GlStateWrong, Run, nullptr, "GL state check: {0}", nullptr)                \
  X(GlesStateWrong, Run, nullptr, "GLES state check: {0}", nullptr)            \
  X(GlesProgramFailed, Run, nullptr, "a GLES program failed: {0}", nullptr)

enum class Problem {
#define KORVANE_PROBLEM_ID(id, kind, logline, text, box) id,
  KORVANE_PROBLEMS(KORVANE_PROBLEM_ID)
#undef KORVANE_PROBLEM_ID
};

// One problem as reported: where (a file, and a line of it when the file is
// the script), the text for people, and what the log and the box get.
struct Report {
  Problem id;
  ProblemKind kind;
  std::string file;
  int line = 0; // 0: no line
  std::string text;
  const char *logline = nullptr; // the debug.log line; null for none
  std::string box;               // the message box text; empty for none
};

// The problem's name, as the list spells it ("PictureNotLoaded").
const char *problemName(Problem id);
// The same as standard error shows it: "MeshNotLoaded" as "mesh-not-loaded".
std::string problemId(Problem id);
// The text for people alone, with its arguments filled in.
std::string problemText(Problem id,
                        std::initializer_list<std::string_view> arguments);
// The report the list makes of a problem.
Report makeReport(Problem id, std::string_view file, int line,
                  std::initializer_list<std::string_view> arguments);

using ProblemSink = std::function<void(const Report &)>;
// Takes one debug.log line, without its line feed.
using LineSink = std::function<void(const std::string &)>;

// Hands each report to its sinks, in the order they were added, and each
// debug.log line to its line sinks. A quiet report (from a pass whose
// reading the next pass repeats) reaches only the sinks that keep a record;
// its debug.log line is written all the same.
class Logger {
public:
  void add(ProblemSink sink, bool hearsQuiet = false);
  void addLines(LineSink sink);
  void report(Problem id, std::string_view file, int line,
              std::initializer_list<std::string_view> arguments) const;
  void quietly(Problem id, std::string_view file, int line,
               std::initializer_list<std::string_view> arguments) const;
  // printf-style; one debug.log line. A line longer than the log's 1024-byte
  // line buffer is cut, never overflowed.
  void line(const char *format, ...) const
      __attribute__((format(printf, 2, 3)));

private:
  struct Sink {
    ProblemSink take;
    bool hearsQuiet;
  };
  void write(const std::string &text) const;
  std::vector<Sink> sinks;
  std::vector<LineSink> lineSinks;
};

// "korvane: mesh-not-loaded: Mesh file ...".
ProblemSink standardErrorSink();
// The box text of a problem a Part shows in a message box.
ProblemSink messageBoxSink(std::function<void(const std::string &)> show);
// What every program starts with: standard error. The debug log's file is
// added by whoever opens it.
Logger standardLogger();

// A script's problem as "FILE:LINE: text" (or "FILE: text"), any other as
// its text, which names its file.
std::string describe(const Report &report);

} // namespace korvane

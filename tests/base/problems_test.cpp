// The one list of problems: what each report carries, where it goes, and
// the lines it leaves in debug.log.

#include "base/problems.h"
#include "problem_capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

using namespace korvane;

TEST(Problems, ReportsCarryIdPlaceAndText) {
  test::ReportedProblems problems;
  const Logger &logger = problems;
  logger.report(Problem::NotANumber, "mirl .script", 12, {"x", "scale"});
  logger.report(Problem::MeshNotLoaded, "ship.x", 0,
                {"ship.x", "no triangles"});
  // An argument missing for a placeholder leaves the placeholder.
  logger.report(Problem::BlobCountCut, "", 0, {"40"});
  ASSERT_EQ(problems.reports.size(), 3u);
  const Report &script = problems.reports[0];
  EXPECT_EQ(script.kind, ProblemKind::Script);
  EXPECT_EQ(describe(script), "mirl .script:12: 'x' is not a number (scale)");
  // Other problems name their file in their text.
  EXPECT_EQ(describe(problems.reports[1]),
            "Mesh file ship.x cannot be loaded: no triangles");
  EXPECT_EQ(problems.reports[2].text, "Blob count 40 cut to {1}");
  // Only a problem a Part gives a line logs one.
  EXPECT_EQ(problems.lines,
            std::vector<std::string>{"D3DXLoadMeshFromX failed!"});
  EXPECT_STREQ(problemName(Problem::MeshNotLoaded), "MeshNotLoaded");
  EXPECT_EQ(problemId(Problem::MeshNotLoaded), "mesh-not-loaded");
  EXPECT_EQ(problemId(Problem::NotAWholeNumber), "not-a-whole-number");
}

TEST(Problems, EachSinkGetsWhatItTakes) {
  std::vector<std::string> log, boxes, heard;
  Logger logger = standardLogger();
  logger.add(messageBoxSink(
      [&boxes](const std::string &text) { boxes.push_back(text); }));
  logger.add([&heard](const Report &r) { heard.push_back(problemId(r.id)); });
  logger.addLines([&log](const std::string &line) { log.push_back(line); });
  // Quiet reports reach the log alone.
  logger.quietly(Problem::ScriptNotDemo, "s", 1, {"x"});
  logger.quietly(Problem::UnknownToken, "s", 2, {"x", "<demo>"});
  testing::internal::CaptureStderr();
  logger.report(Problem::VideoNotPlayed, "a.avi", 0, {"a.avi", "AVIFileOpen"});
  logger.report(Problem::PictureNotLoaded, "b.png", 0,
                {"b.png", "cannot be opened"});
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(log, (std::vector<std::string>{"Scriptfile is wrong!",
                                           "TEXTURE LOAD ERROR!"}));
  EXPECT_EQ(heard, (std::vector<std::string>{"video-not-played",
                                             "picture-not-loaded"}));
  EXPECT_EQ(err, "korvane: video-not-played: Video file a.avi cannot be "
                 "played: AVIFileOpen\n"
                 "korvane: picture-not-loaded: Picture file b.png cannot be "
                 "opened\n");
  // The video's box says the step alone, as the Part has it.
  EXPECT_EQ(boxes, std::vector<std::string>{"AVIFileOpen"});
}

TEST(Problems, EveryNameIsUnique) {
  std::set<std::string> names;
  for (int id = 0; id <= static_cast<int>(Problem::StartFailed); ++id)
    EXPECT_TRUE(names.insert(problemName(static_cast<Problem>(id))).second)
        << id;
  EXPECT_GT(names.size(), 30u);
}

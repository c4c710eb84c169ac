// PELMORA_TRACE, the frame trace of a real run, where it cannot be written:
// the report log names it and says why, in one line however many frames
// the game goes on to show, and the game plays on.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/harness.h"
#include "support/sandbox.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kFrames = 30;

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(RunTraceTest, ATraceThatCannotBeWrittenIsNamedOnceWithWhyAndTheGamePlaysOn) {
  TempFolder elsewhere("run-trace");
  fs::create_directories(elsewhere / "a folder");
  const struct {
    const char* name;
    std::string trace;
    const char* why;
  } rows[] = {
      // Opens, and takes no byte: the first frame's write fails.
      {"a full device", "/dev/full", "No space left on device"},
      {"a folder that is not there", elsewhere / "missing/trace.jsonl", "No such file or directory"},
      {"a folder", elsewhere / "a folder", "Is a directory"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ScopedEnv env;
    env.Set("PELMORA_TRACE", row.trace);
    GameHarness game;
    ASSERT_TRUE(game.Start());
    // Said at the first frame that could not be written, not at the end:
    // a script watching the trace would otherwise wait for nothing. (The
    // first frame's line is done once the second frame is shown.)
    ASSERT_TRUE(game.StepFrames(2));
    EXPECT_NE(game.ReadFile("Report_Game.txt").find("PELMORA_TRACE : " + row.trace + " cannot be written ("),
              std::string::npos)
        << game.ReadFile("Report_Game.txt");
    EXPECT_TRUE(game.StepFrames(kFrames)) << "the game ended";
    EXPECT_EQ(game.Close(), 0);
    const std::string report = game.ReadFile("Report_Game.txt");
    EXPECT_EQ(Count(report, "\nPELMORA_TRACE : " + row.trace + " cannot be written (" + row.why + ")\n"), 1u)
        << report;
    EXPECT_EQ(Count(report, "PELMORA_TRACE"), 1u) << report;
  }
  EXPECT_TRUE(fs::is_directory(elsewhere / "a folder"));
}

// A trace that can be written: a line a frame, and no word in the log.
TEST(RunTraceTest, ATraceWrittenWholeHasALineAFrameAndNoWord) {
  TempFolder elsewhere("run-trace");
  ScopedEnv env;
  env.Set("PELMORA_TRACE", elsewhere / "trace.jsonl");
  GameHarness game;
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(game.StepFrames(kFrames));
  EXPECT_EQ(game.Close(), 0);
  const std::string trace = elsewhere.Read("trace.jsonl");
  EXPECT_EQ(Count(trace, "\n"), game.Run().FramesPresented()) << trace.substr(0, 200);
  EXPECT_GE(Count(trace, "\n"), kFrames);
  EXPECT_EQ(Count(game.ReadFile("Report_Game.txt"), "PELMORA_TRACE"), 0u) << game.ReadFile("Report_Game.txt");
}

}  // namespace

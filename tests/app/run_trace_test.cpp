// PELMORA_TRACE, the frame trace of a real run, where it cannot be written
// (a full device, a missing folder, a named pipe nobody reads or whose
// reader stops): the report log names it and says why, in one line however
// many frames the game goes on to show, and the game plays on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/harness.h"
#include "support/pipe_hang_guard.h"
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
      // Its open would wait for a reader: it is refused at once instead.
      {"a named pipe that nobody reads", elsewhere / "pipe", "a named pipe that nobody reads"},
  };
  ASSERT_EQ(mkfifo((elsewhere / "pipe").c_str(), 0600), 0);
  PipeHangGuard guard(elsewhere / "pipe");
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
  EXPECT_TRUE(fs::is_fifo(elsewhere / "pipe"));
}

// A named pipe whose reader holds it open and reads nothing: the frames go
// into it until it is full, and the write that finds no room for two
// seconds ends the trace with its line in the log; the game plays on.
TEST(RunTraceTest, ATraceWhoseReaderStopsReadingIsNamedOnceAndTheGamePlaysOn) {
  TempFolder elsewhere("run-trace");
  const std::string pipe = elsewhere / "pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  PipeHangGuard guard(pipe);
  ScopedEnv env;
  env.Set("PELMORA_TRACE", pipe);
  GameHarness game;
  ASSERT_TRUE(game.Start());
  const std::string line = "\nPELMORA_TRACE : " + pipe + " cannot be written (nothing was read from it for 2 seconds)\n";
  // A frame's line is some hundred bytes: the pipe's 64 KiB are full within
  // a few thousand frames.
  for (int i = 0; i < 400 && game.ReadFile("Report_Game.txt").find(line) == std::string::npos; ++i)
    ASSERT_TRUE(game.StepFrames(20)) << "the game ended";
  EXPECT_TRUE(game.StepFrames(kFrames)) << "the game ended";
  EXPECT_EQ(game.Close(), 0);
  close(reader);
  EXPECT_EQ(Count(game.ReadFile("Report_Game.txt"), "PELMORA_TRACE"), 1u) << game.ReadFile("Report_Game.txt");
  EXPECT_EQ(Count(game.ReadFile("Report_Game.txt"), line), 1u) << game.ReadFile("Report_Game.txt");
}

// A trace that can be written: a line a frame, and no word in the log; the
// null device takes it as well.
TEST(RunTraceTest, ATraceWrittenWholeHasALineAFrameAndNoWord) {
  TempFolder elsewhere("run-trace");
  for (const std::string& path : {elsewhere / "trace.jsonl", std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    ScopedEnv env;
    env.Set("PELMORA_TRACE", path);
    GameHarness game;
    ASSERT_TRUE(game.Start());
    ASSERT_TRUE(game.StepFrames(kFrames));
    EXPECT_EQ(game.Close(), 0);
    if (path != "/dev/null") {
      const std::string trace = elsewhere.Read("trace.jsonl");
      EXPECT_EQ(Count(trace, "\n"), game.Run().FramesPresented()) << trace.substr(0, 200);
      EXPECT_GE(Count(trace, "\n"), kFrames);
    }
    EXPECT_EQ(Count(game.ReadFile("Report_Game.txt"), "PELMORA_TRACE"), 0u) << game.ReadFile("Report_Game.txt");
  }
}

}  // namespace

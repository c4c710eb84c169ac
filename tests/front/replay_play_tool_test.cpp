// Replays saved with F2 in a scripted test play of the demo's stage and
// watched through the title's replay command, both with `pelmora-tool play`:
// the frames of the attempt come back as they were played, frame for frame
// (the frame trace's lines, without their frame numbers).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "support/sandbox.h"
#include "support/test_files.h"
#include "support/trace_lines.h"

namespace {

int RunPlayTool(const std::string& environment, const std::string& args, const std::string& errorFile) {
  const std::string command =
      environment + " " + PELMORA_TOOL + " " + args + " > /dev/null 2> '" + errorFile + "'";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The trace's lines without their frame number.
std::vector<std::string> StateLines(const std::string& text) {
  std::vector<std::string> lines = trace::Lines(text);
  for (std::string& line : lines) {
    const size_t comma = line.find(',');
    if (comma != std::string::npos) line.erase(0, comma + 1);
  }
  return lines;
}

// A line's stage mode (0 for null, -100 when the line has none).
int Mode(const std::string& line) {
  const std::string mode = trace::Value(line, "mode");
  return mode.empty() ? -100 : std::atoi(mode.c_str());
}

// The index of the first line at or after `from` in mode `mode` (the size
// when none).
size_t FindMode(const std::vector<std::string>& lines, int mode, size_t from = 0) {
  while (from < lines.size() && Mode(lines[from]) != mode) ++from;
  return from;
}

class ReplayPlayToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunPlayTool("", "make-demo '" + project_ + "'", errors_), 0) << Slurp(errors_);
  }

  // A test play of the demo stage with `keys` (the save dialog keeps the
  // offered name); the trace's lines.
  std::vector<std::string> Record(const std::string& keys, uint32_t frames) {
    sandbox_.Write("record.txt", keys);
    EXPECT_EQ(RunPlayTool("PELMORA_DIALOG_ANSWERS=ok",
                          "play '" + project_ + "' 'data\\stg4\\demo.stg4_1' --frames " + std::to_string(frames) +
                              " --input '" + (sandbox_ / "record.txt") + "' --trace '" + (sandbox_ / "record.jsonl") +
                              "'",
                          errors_),
              0)
        << Slurp(errors_);
    return StateLines(Slurp(sandbox_ / "record.jsonl"));
  }

  // The replay saved, chosen with the title's replay command; the trace's
  // lines from the first frame of the stage.
  std::vector<std::string> Watch(uint32_t frames) {
    std::string name;
    for (const auto& entry : std::filesystem::directory_iterator(project_ + "/user_data/rpl4"))
      name = entry.path().filename().string();
    EXPECT_FALSE(name.empty());
    // The title fades in; its fifth row is the replay command.
    sandbox_.Write("watch.txt", "100 DOWN\n104 DOWN\n108 DOWN\n112 DOWN\n116 B1\n");
    EXPECT_EQ(RunPlayTool("PELMORA_DIALOG_ANSWERS='file:" + name + "'",
                          "play '" + project_ + "' --frames " + std::to_string(frames) + " --input '" +
                              (sandbox_ / "watch.txt") + "' --trace '" + (sandbox_ / "watch.jsonl") + "'",
                          errors_),
              0)
        << Slurp(errors_);
    return StateLines(Slurp(sandbox_ / "watch.jsonl"));
  }

  // The recorded lines [first, end) come back in the watched ones from
  // their first frame of play on. The play-record box of the result screen
  // is left out: the test play keeps rankings and shows it, a replay keeps
  // none and does not.
  static void ExpectPlayedBack(const std::vector<std::string>& recorded, size_t first, size_t end,
                               const std::vector<std::string>& watched) {
    ASSERT_LT(first, end);
    const size_t start = FindMode(watched, 2);
    ASSERT_LE(start + (end - first), watched.size());
    auto withoutBox = [](const std::string& line) { return line.substr(0, line.rfind(",\"result\":")); };
    for (size_t i = 0; i < end - first; ++i)
      ASSERT_EQ(withoutBox(watched[start + i]), withoutBox(recorded[first + i])) << "frame " << i << " of the attempt";
  }

  Sandbox sandbox_;
  const std::string project_ = sandbox_ / "project";
  const std::string errors_ = sandbox_ / "errors.txt";
};

// The first attempt walks into the pit; F2 in the second saves it. Watched,
// it falls the same way, and when its death sequence is over the replay
// starts again, as the test play started its next attempt.
TEST_F(ReplayPlayToolTest, AnAttemptEndedByADeathPlaysBack) {
  const std::vector<std::string> recorded = Record("130-131 RIGHT\n140 B4\n340 F2\n", 350);
  const size_t first = FindMode(recorded, 2), end = FindMode(recorded, 1, first);
  ASSERT_LT(end, recorded.size());
  ASSERT_NE(recorded[end - 1].find("\"dying\":1"), std::string::npos) << "the attempt ends in its death";
  const std::vector<std::string> watched = Watch(420);
  ExpectPlayedBack(recorded, first, end, watched);
  EXPECT_EQ(Mode(watched[FindMode(watched, 2) + (end - first)]), 1);
}

// The first attempt is left by the pause menu's retry; F2 in the second
// saves it. Its log ends where the pause began: watched, its frames of play
// come back, then the replay starts again.
TEST_F(ReplayPlayToolTest, AnAttemptEndedByThePauseMenusRetryPlaysBack) {
  const std::vector<std::string> recorded = Record("100-120 RIGHT\n110 B1\n150 SPACE\n160 DOWN\n170 B1\n260 F2\n", 270);
  const size_t first = FindMode(recorded, 2), end = FindMode(recorded, 3, first);
  ASSERT_LT(end, recorded.size());
  const std::vector<std::string> watched = Watch(300);
  ExpectPlayedBack(recorded, first, end, watched);
  EXPECT_EQ(Mode(watched[FindMode(watched, 2) + (end - first)]), 1);
}

// A death, a retry from the pause menu, then the attempt that clears the
// stage: its goal message waits for decide, which the player gives 50 frames
// late. F2 after the stage has started again saves the clearing attempt.
// Watched, it waits at the message as long, clears and shows the result
// screen as it was played, up to the decide that left it.
TEST_F(ReplayPlayToolTest, TheClearingAttemptWaitsAtItsMessageAsThePlayerDid) {
  const std::vector<std::string> recorded = Record(
      "130-131 RIGHT\n140 B4\n"                        // the pit
      "360 SPACE\n370 DOWN\n380 B1\n"                  // retry
      "500-550 RIGHT\n560 B4\n600 B4\n610-650 RIGHT\n" // to the goal
      "690 B1\n820 B1\n950 F2\n",                      // the message, the result, the save
      960);
  const size_t retry = FindMode(recorded, 3);
  const size_t first = FindMode(recorded, 2, retry), end = FindMode(recorded, 7, first);
  ASSERT_LT(end, recorded.size());
  size_t waiting = 0;  // frames the goal message stood
  for (size_t i = first; i < end; ++i) waiting += recorded[i].find("GOAL!") != std::string::npos;
  ASSERT_GT(waiting, 40u);
  ASSERT_EQ(Mode(recorded[end - 1]), 4) << "the result screen";
  const std::vector<std::string> watched = Watch(680);
  ExpectPlayedBack(recorded, first, end, watched);
}

}  // namespace

// Replays saved with F2 in a scripted test play of the demo's stage and
// watched through the title's replay command, both with `pelmora-tool play`:
// the frames of the attempt come back as they were played, frame for frame
// (the frame trace's lines, without their frame numbers).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "data/database.h"
#include "data/labels.h"
#include "platform/text.h"
#include "support/game_data.h"
#include "support/sandbox.h"
#include "support/stage_builder.h"
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

  // A test play of the demo stage (or `stage`) with `keys` (the save dialog
  // keeps the offered name); the trace's lines.
  std::vector<std::string> Record(const std::string& keys, uint32_t frames,
                                  const std::string& stage = "data\\stg4\\demo.stg4_1") {
    sandbox_.Write("record.txt", keys);
    EXPECT_EQ(RunPlayTool("PELMORA_DIALOG_ANSWERS=ok",
                          "play '" + project_ + "' '" + stage + "' --frames " + std::to_string(frames) +
                              " --input '" + (sandbox_ / "record.txt") + "' --trace '" + (sandbox_ / "record.jsonl") +
                              "'",
                          errors_),
              0)
        << Slurp(errors_);
    return StateLines(Slurp(sandbox_ / "record.jsonl"));
  }

  // The replay saved, chosen with the title's replay command, the viewer
  // giving `viewerKeys` (script lines) too; the trace's lines.
  std::vector<std::string> Watch(uint32_t frames, const std::string& viewerKeys = "") {
    std::string name;
    for (const auto& entry : std::filesystem::directory_iterator(project_ + "/user_data/rpl4"))
      name = entry.path().filename().string();
    EXPECT_FALSE(name.empty());
    // The title fades in; its fifth row is the replay command.
    sandbox_.Write("watch.txt", "100 DOWN\n104 DOWN\n108 DOWN\n112 DOWN\n116 B1\n" + viewerKeys);
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

  // The lines [from, from + count) of `lines`, the result screen's box left
  // out (see ExpectPlayedBack), without those that show `text`; and how many
  // did.
  static std::vector<std::string> Without(const std::vector<std::string>& lines, size_t from, size_t count,
                                          const std::string& text, size_t& showing) {
    std::vector<std::string> rest;
    showing = 0;
    for (size_t i = from; i < from + count && i < lines.size(); ++i) {
      if (lines[i].find(text) != std::string::npos)
        ++showing;
      else
        rest.push_back(lines[i].substr(0, lines[i].rfind(",\"result\":")));
    }
    return rest;
  }

  // The index of the first line at or after `from` that shows `text`.
  static size_t FindText(const std::vector<std::string>& lines, const std::string& text, size_t from = 0) {
    while (from < lines.size() && lines[from].find(text) == std::string::npos) ++from;
    return from;
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

// A death, a retry from the pause menu, the goal, its message left with
// decide fifty frames late, the result screen, and F2 to save the attempt.
const char* const kDeathRetryAndClear =
    "130-131 RIGHT\n140 B4\n"                        // the pit
    "360 SPACE\n370 DOWN\n380 B1\n"                  // retry
    "500-550 RIGHT\n560 B4\n600 B4\n610-650 RIGHT\n" // to the goal
    "690 B1\n820 B1\n950 F2\n";                      // the message, the result, the save

// A death, a retry from the pause menu, then the attempt that clears the
// stage: its goal message waits for decide, which the player gives 50 frames
// late. F2 after the stage has started again saves the clearing attempt.
// Watched, it waits at the message as long, clears and shows the result
// screen as it was played, up to the decide that left it.
TEST_F(ReplayPlayToolTest, TheClearingAttemptWaitsAtItsMessageAsThePlayerDid) {
  const std::vector<std::string> recorded = Record(kDeathRetryAndClear, 960);
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


// A replay watched while a wait for decide stands: the viewer's fresh decide
// ends it at once, as the player's did; the rest of the wait's recorded
// frames are skipped, and the attempt goes on as it was played. With no
// press it waits as long as the player did.
TEST_F(ReplayPlayToolTest, TheViewersDecideEndsTheWaitAtTheMessageAndTheAttemptGoesOnInStep) {
  const std::vector<std::string> recorded = Record(kDeathRetryAndClear, 960);
  const size_t first = FindMode(recorded, 2, FindMode(recorded, 3));
  const size_t end = FindMode(recorded, 7, first);
  ASSERT_LT(end, recorded.size());
  size_t recordedWait = 0;
  const std::vector<std::string> attempt = Without(recorded, first, end - first, "GOAL!", recordedWait);
  ASSERT_GT(recordedWait, 40u);

  // No press: the whole recorded wait, then the attempt in step.
  const std::vector<std::string> idle = Watch(680);
  const size_t idleStart = FindMode(idle, 2);
  size_t idleWait = 0;
  EXPECT_EQ(Without(idle, idleStart, end - first, "GOAL!", idleWait), attempt);
  EXPECT_EQ(idleWait, recordedWait);

  // Decide held from before the message, then let go, and pressed again
  // twenty frames after the message came up (its ten frames of delay have
  // passed): the held one does nothing, the fresh one ends the wait.
  const size_t shown = FindText(idle, "GOAL!");
  ASSERT_LT(shown, idle.size());
  const uint32_t frame = static_cast<uint32_t>(shown) + 1;  // lines count frames from 1
  const std::vector<std::string> pressed =
      Watch(680, std::to_string(frame - 5) + "-" + std::to_string(frame + 12) + " B1\n" + std::to_string(frame + 20) +
                     " B1\n");
  const size_t pressedStart = FindMode(pressed, 2);
  ASSERT_EQ(pressedStart, idleStart);
  size_t pressedWait = 0;
  EXPECT_EQ(Without(pressed, pressedStart, end - first - recordedWait + 20, "GOAL!", pressedWait), attempt);
  EXPECT_EQ(pressedWait, 20u) << "the message stood until the viewer's fresh decide";
}

// Two messages one after the other, each waiting for decide, in a stage of
// its own: the viewer ends the first one early; the second still waits as
// long as the player let it, and the walk after them plays in step.
TEST_F(ReplayPlayToolTest, AWaitTheViewerEndsLeavesTheNextWaitItsOwnFrames) {
  StageBuilder stage(20, 15);
  stage.Floor(10, 0, 19).Hero(2, 9);
  auto message = [](const char* text) {
    cEdCmd c;
    c.m_nKind = kCmdMessage;
    c.m_vParams.assign(18, 0);
    c.m_vParams[6] = 0;  // shown until decide
    c.m_vParams[8] = 1;  // the game waits for it
    c.m_strText = text;
    return c;
  };
  cEdCmd wait;
  wait.m_nKind = kCmdWait;
  wait.m_nDuration = 6000;
  cEdFlow flow;
  flow.m_nTrigger = kTriggerAlways;
  flow.m_vCmds = {message("HELLO"), message("AGAIN"), wait};
  stage.Data().m_PlacedCharacters.front().m_vFlows = {flow};
  {
    // The writer checks the stage against the project's lists.
    ScopedWorkingFolder working(project_);
    ScopedGameData data;
    ASSERT_TRUE(LoadDatabase());
    sandbox_.Write("project/data/stg4/waits.stg4", stage.Bytes());
  }
  // The first message answered 40 frames after it came up, the second 50;
  // a walk, and F1 saves the attempt.
  std::vector<std::string> probe = Record("length 60\n", 60, "data\\stg4\\waits.stg4");
  const size_t up = FindText(probe, "HELLO");
  ASSERT_LT(up, probe.size()) << "the first message comes up in the first second";
  const uint32_t firstUp = static_cast<uint32_t>(up) + 1;
  const std::string keys = std::to_string(firstUp + 40) + " B1\n" + std::to_string(firstUp + 91) + " B1\n" +
                           std::to_string(firstUp + 100) + "-" + std::to_string(firstUp + 130) + " RIGHT\n" +
                           std::to_string(firstUp + 150) + " F1\n";
  std::filesystem::remove_all(project_ + "/user_data/rpl4");
  const std::vector<std::string> recorded = Record(keys, firstUp + 160, "data\\stg4\\waits.stg4");
  const size_t first = FindMode(recorded, 2);
  const size_t saved = firstUp + 149;  // the line of the frame F1 was pressed on
  size_t firstWait = 0, secondWait = 0;
  const std::vector<std::string> attempt = Without(recorded, first, saved - first, "HELLO", firstWait);
  Without(recorded, first, saved - first, "AGAIN", secondWait);
  ASSERT_GT(firstWait, 30u);
  ASSERT_GT(secondWait, 40u);

  const std::vector<std::string> idle = Watch(firstUp + 400);
  const size_t shown = FindText(idle, "HELLO");
  ASSERT_LT(shown, idle.size());
  const uint32_t frame = static_cast<uint32_t>(shown) + 1;
  const std::vector<std::string> pressed = Watch(firstUp + 400, std::to_string(frame + 15) + " B1\n");
  const size_t start = FindMode(pressed, 2);
  size_t pressedFirst = 0, pressedSecond = 0;
  EXPECT_EQ(Without(pressed, start, saved - first - firstWait + 15, "HELLO", pressedFirst), attempt);
  EXPECT_EQ(pressedFirst, 15u);
  Without(pressed, start, saved - first - firstWait + 15, "AGAIN", pressedSecond);
  EXPECT_EQ(pressedSecond, secondWait) << "the second message keeps its recorded frames";
  // The replay's log ran out where F1 saved it: the attempt starts again.
  EXPECT_EQ(Mode(pressed[start + saved - first - firstWait + 15]), 1);
}

}  // namespace

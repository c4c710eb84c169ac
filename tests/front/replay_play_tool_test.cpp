// Replays saved with F2 in a scripted test play of the demo's stage and
// watched through the title's replay command, both with `pelmora-tool play`:
// the frames of the attempt come back as they were played, frame for frame
// (the frame trace's lines, without their frame numbers). One watch runs in
// this process instead, to read the input record the frames leave behind.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "app/play_script.h"
#include "data/database.h"
#include "data/key_config.h"
#include "data/labels.h"
#include "platform/text.h"
#include "play/world/stage_scene.h"
#include "scene/frame_trace.h"
#include "scene/input.h"
#include "scene/scene.h"
#include "support/game_data.h"
#include "support/harness.h"
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

  // "data\\stg4\\waits.stg4": the hero's flow shows HELLO and then AGAIN,
  // each waiting for decide, then waits past any test's end. AGAIN opens as
  // HELLO's window goes on, so it takes decide at once: only a message that
  // opens a window waits ten frames first. With `withAgain` false the
  // stage is "data\\stg4\\hello.stg4", HELLO alone.
  void WriteWaitsStage(bool withAgain = true) {
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
    if (!withAgain) flow.m_vCmds = {message("HELLO"), wait};
    stage.Data().m_PlacedCharacters.front().m_vFlows = {flow};
    // The writer checks the stage against the project's lists.
    ScopedWorkingFolder working(project_);
    ScopedGameData data;
    ASSERT_TRUE(LoadDatabase());
    sandbox_.Write(withAgain ? "project/data/stg4/waits.stg4" : "project/data/stg4/hello.stg4", stage.Bytes());
  }

  // The frame (counted from 1) on which HELLO comes up in a test play of
  // `stage` without keys.
  uint32_t FirstHelloFrame(const std::string& stage = "data\\stg4\\waits.stg4") {
    const std::vector<std::string> probe = Record("length 60\n", 60, stage);
    const size_t up = FindText(probe, "HELLO");
    EXPECT_LT(up, probe.size()) << "the first message comes up in the first second";
    return static_cast<uint32_t>(up) + 1;
  }

  Sandbox sandbox_;
  const std::string project_ = sandbox_ / "project";
  const std::string errors_ = sandbox_ / "errors.txt";
};

// A watch of the replay saved in `project` in this process, through the
// title's replay command as ReplayPlayToolTest::Watch chooses it, the
// viewer giving `viewerKeys` (script lines) too. Keys change between frames,
// as `pelmora-tool play` changes them. It notes the frame HELLO came up on
// and the key history of the first input record as it stood on the first
// frame after HELLO's wait.
struct HistoryAfterWait {
  uint32_t helloFrame = 0;  // 0: HELLO never came up
  uint32_t afterFrame = 0;  // 0: its wait never ended
  std::array<std::array<KeyHistoryEntry, kHistoryLength>, 2> rings{};
  std::array<uint32_t, 2> positions{};
  bool Holds(uint16_t direction) const {
    for (const KeyHistoryEntry& entry : rings[kHistoryDirections])
      if (entry.m_nFrames > 0 && (entry.m_wState & direction) != 0) return true;
    return false;
  }
};

HistoryAfterWait WatchForHistory(const std::string& project, const std::string& replay, uint32_t frames,
                                 const std::string& viewerKeys) {
  PlayScript script;
  std::string error;
  EXPECT_TRUE(script.Parse("100 DOWN\n104 DOWN\n108 DOWN\n112 DOWN\n116 B1\n" + viewerKeys, error)) << error;
  GameHarness::Options options;
  options.dialogAnswers = "file:" + replay;
  options.writeProject = false;
  GameHarness game(options);
  std::filesystem::copy(project, game.Folder(), std::filesystem::copy_options::recursive);
  cKeyConfig keys;
  SetDefaultKeys(keys);
  HistoryAfterWait result;
  PlayKeySet held = 0;
  uint32_t presented = 0;
  auto hold = [&](uint32_t frame) {
    const PlayKeySet wanted = script.KeysAt(frame);
    for (int k = 0; k < kPlayKeyCount; ++k) {
      const PlayKeySet bit = PlayKeySet{1} << k;
      if ((wanted & bit) == (held & bit)) continue;
      (wanted & bit) ? game.PressKey(PlayKeyCode(k, keys)) : game.ReleaseKey(PlayKeyCode(k, keys));
    }
    held = wanted;
  };
  hold(1);
  // On the presenting thread, right after each frame: the game thread's own
  // records, read where it stands still.
  SetFramePresentedObserver([&] {
    const uint32_t frame = ++presented;
    const auto* stage = dynamic_cast<const cStageScene*>(SceneManager.Scene(kSceneStage));
    const bool shown = stage != nullptr && !stage->m_MessageWindows.empty();
    if (shown && result.helloFrame == 0) result.helloFrame = frame;
    if (!shown && result.helloFrame != 0 && result.afterFrame == 0) {
      result.afterFrame = frame;
      result.rings = InputRecords.At(0).m_History;
      result.positions = InputRecords.At(0).m_nHistoryPos;
    }
    hold(frame + 1);
  });
  EXPECT_TRUE(game.Start());
  while (presented < frames && result.afterFrame == 0 && game.StepFrames(1)) continue;
  EXPECT_EQ(game.Close(), 0);
  SetFramePresentedObserver(nullptr);
  return result;
}

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
  WriteWaitsStage();
  const uint32_t firstUp = FirstHelloFrame();
  // The first message answered 40 frames after it came up, the second 50;
  // a walk, and F1 saves the attempt.
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

// The player holds decide from HELLO's third frame to its thirtieth and
// presses it afresh on its 45th, which ends HELLO; AGAIN is answered on its
// 55th frame, a walk follows and F1 saves the attempt. Watching the replay,
// the viewer presses decide on HELLO's fifteenth frame, while the player's
// recorded decide is still held. The skip over the rest of HELLO's recorded
// frames goes past that held decide to the fresh one that ended HELLO in
// the recording: AGAIN then waits its own recorded frames and the walk
// plays in step.
TEST_F(ReplayPlayToolTest, TheSkipOfAWaitGoesPastARecordedDecideThatIsStillHeld) {
  WriteWaitsStage();
  const uint32_t firstUp = FirstHelloFrame();
  const std::string keys = std::to_string(firstUp + 2) + "-" + std::to_string(firstUp + 30) + " B1\n" +
                           std::to_string(firstUp + 45) + " B1\n" + std::to_string(firstUp + 100) + " B1\n" +
                           std::to_string(firstUp + 110) + "-" + std::to_string(firstUp + 140) + " RIGHT\n" +
                           std::to_string(firstUp + 160) + " F1\n";
  std::filesystem::remove_all(project_ + "/user_data/rpl4");
  const std::vector<std::string> recorded = Record(keys, firstUp + 170, "data\\stg4\\waits.stg4");
  const size_t first = FindMode(recorded, 2);
  const size_t saved = firstUp + 159;  // the line of the frame F1 was pressed on
  size_t helloWait = 0, againWait = 0;
  const std::vector<std::string> attempt = Without(recorded, first, saved - first, "HELLO", helloWait);
  Without(recorded, first, saved - first, "AGAIN", againWait);
  ASSERT_EQ(helloWait, 45u) << "the held decide did not end HELLO, the fresh one did";
  ASSERT_GT(againWait, 40u);

  const std::vector<std::string> idle = Watch(firstUp + 400);
  const size_t shown = FindText(idle, "HELLO");
  ASSERT_LT(shown, idle.size());
  const uint32_t frame = static_cast<uint32_t>(shown) + 1;
  const std::vector<std::string> pressed = Watch(firstUp + 400, std::to_string(frame + 15) + " B1\n");
  const size_t start = FindMode(pressed, 2);
  const size_t length = saved - first - helloWait + 15;
  size_t pressedHello = 0, pressedAgain = 0;
  EXPECT_EQ(Without(pressed, start, length, "HELLO", pressedHello), attempt);
  EXPECT_EQ(pressedHello, 15u);
  Without(pressed, start, length, "AGAIN", pressedAgain);
  EXPECT_EQ(pressedAgain, againWait) << "AGAIN keeps its own recorded frames";
  EXPECT_EQ(Mode(pressed[start + length]), 1) << "the log ran out where F1 saved it";
}

// AGAIN takes decide from its first frame. A viewer who still holds the
// decide that ended HELLO when AGAIN comes up does not end it; a fresh press
// does: holding decide from HELLO's fifteenth frame to its thirtieth and
// pressing it again on its fiftieth plays as tapping it on both.
TEST_F(ReplayPlayToolTest, ADecideTheViewerHoldsWhenAWaitWithoutDelayBeginsDoesNotEndIt) {
  WriteWaitsStage();
  const uint32_t firstUp = FirstHelloFrame();
  const std::string keys = std::to_string(firstUp + 40) + " B1\n" + std::to_string(firstUp + 100) + " B1\n" +
                           std::to_string(firstUp + 110) + "-" + std::to_string(firstUp + 140) + " RIGHT\n" +
                           std::to_string(firstUp + 160) + " F1\n";
  std::filesystem::remove_all(project_ + "/user_data/rpl4");
  const std::vector<std::string> recorded = Record(keys, firstUp + 170, "data\\stg4\\waits.stg4");
  size_t recordedAgain = 0;
  Without(recorded, 0, recorded.size(), "AGAIN", recordedAgain);
  ASSERT_GT(recordedAgain, 50u);

  const std::vector<std::string> idle = Watch(firstUp + 400);
  const size_t shown = FindText(idle, "HELLO");
  ASSERT_LT(shown, idle.size());
  const uint32_t frame = static_cast<uint32_t>(shown) + 1;
  const std::string fresh = std::to_string(frame + 50) + " B1\n";
  const std::vector<std::string> tapped = Watch(firstUp + 400, std::to_string(frame + 15) + " B1\n" + fresh);
  size_t tappedAgain = 0;
  Without(tapped, 0, tapped.size(), "AGAIN", tappedAgain);
  ASSERT_GT(tappedAgain, 30u);
  ASSERT_LT(tappedAgain, recordedAgain) << "the viewer's fresh decide ended AGAIN";
  const std::vector<std::string> held =
      Watch(firstUp + 400, std::to_string(frame + 15) + "-" + std::to_string(frame + 30) + " B1\n" + fresh);
  EXPECT_EQ(held, tapped);
}

// HELLO alone; the player presses DOWN from its 25th frame to its 30th and
// decide on its 40th. Watching the replay, the viewer's decide on HELLO's
// fifteenth frame ends it there: the rest of its recorded frames are read
// as the wait would have read them, and the key history of the first input
// record on the first frame after the wait holds them, as it holds them
// after a watch that waits the whole recorded wait.
TEST_F(ReplayPlayToolTest, TheSkippedFramesOfAWaitGoIntoTheKeyHistory) {
  WriteWaitsStage(false);
  const uint32_t firstUp = FirstHelloFrame("data\\stg4\\hello.stg4");
  const std::string keys = std::to_string(firstUp + 25) + "-" + std::to_string(firstUp + 30) + " DOWN\n" +
                           std::to_string(firstUp + 40) + " B1\n" + std::to_string(firstUp + 60) + " F1\n";
  std::filesystem::remove_all(project_ + "/user_data/rpl4");
  Record(keys, firstUp + 70, "data\\stg4\\hello.stg4");
  std::string replay;
  for (const auto& entry : std::filesystem::directory_iterator(project_ + "/user_data/rpl4"))
    replay = entry.path().filename().string();
  ASSERT_FALSE(replay.empty());

  const HistoryAfterWait idle = WatchForHistory(project_, replay, 600, "");
  ASSERT_NE(idle.afterFrame, 0u);
  ASSERT_TRUE(idle.Holds(kDirDown)) << "the recorded DOWN is in the history after the wait";
  const HistoryAfterWait pressed =
      WatchForHistory(project_, replay, 600, std::to_string(idle.helloFrame + 15) + " B1\n");
  ASSERT_EQ(pressed.helloFrame, idle.helloFrame);
  ASSERT_EQ(pressed.afterFrame, idle.helloFrame + 15) << "the viewer's decide ended the wait";
  for (int ring : {kHistoryDirections, kHistoryButtons}) {
    SCOPED_TRACE(ring);
    EXPECT_EQ(pressed.positions[ring], idle.positions[ring]);
    for (int i = 0; i < kHistoryLength; ++i) {
      EXPECT_EQ(pressed.rings[ring][i].m_wState, idle.rings[ring][i].m_wState) << i;
      EXPECT_EQ(pressed.rings[ring][i].m_nFrames, idle.rings[ring][i].m_nFrames) << i;
    }
  }
}

}  // namespace

// Scripted plays: the key script, the frame trace's JSON lines, and
// `pelmora-tool play` on the demo project's play stage (the hero falls and
// lands, SPACE pauses and resumes, the same run twice gives the same bytes).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <limits>
#include <set>

#include "app/game_process.h"
#include "app/headless_play.h"
#include "app/play_script.h"
#include "data/key_config.h"
#include "platform/keys.h"
#include "platform/text.h"
#include "scene/frame_trace.h"
#include "support/captured_mix.h"
#include "support/sandbox.h"
#include "support/sdl_pixels.h"
#include "support/test_files.h"
#include "support/trace_lines.h"

namespace {

PlayKeySet Keys(std::initializer_list<PlayKey> keys) {
  PlayKeySet set = 0;
  for (PlayKey k : keys) set |= PlayKeySet{1} << k;
  return set;
}

TEST(PlayScriptTest, SpansHoldTheirKeysThroughTheirFramesAndOverlapsAddUp) {
  PlayScript script;
  std::string error;
  ASSERT_TRUE(script.Parse("# a comment line\n"
                           "3-5 LEFT+B1   # trailing comment\n"
                           "\n"
                           "  5 SPACE\r\n"
                           "7-7 B8+F3+ESC+ENTER+F1+F2+UP+DOWN+RIGHT+B2+B3+B4+B5+B6+B7",
                           error))
      << error;
  struct Case {
    uint32_t frame;
    PlayKeySet keys;
  };
  const Case cases[] = {
      {1, 0},
      {2, 0},
      {3, Keys({kPlayLeft, kPlayB1})},
      {4, Keys({kPlayLeft, kPlayB1})},
      {5, Keys({kPlayLeft, kPlayB1, kPlaySpace})},
      {6, 0},
      {7, Keys({kPlayB8, kPlayF3, kPlayEsc, kPlayEnter, kPlayF1, kPlayF2, kPlayUp, kPlayDown, kPlayRight, kPlayB2,
                kPlayB3, kPlayB4, kPlayB5, kPlayB6, kPlayB7})},
      {8, 0},
      {std::numeric_limits<uint32_t>::max(), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(script.KeysAt(c.frame), c.keys) << "frame " << c.frame;
}

TEST(PlayScriptTest, BadLinesAreRefusedWithTheirLineNumberAndNothingIsKept) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"1 LEFT\nx RIGHT", "line 2: bad frame range"},
      {"0 LEFT", "line 1: frames count from 1"},
      {"5-3 LEFT", "line 1: frames count from 1"},
      {"1-2", "line 1: no keys"},
      {"1-2 LEFT+", "line 1: unknown key \"\""},
      {"1 left", "line 1: unknown key \"left\""},
      {"1 B9", "line 1: unknown key \"B9\""},
      {"1-2-3 UP", "line 1: bad frame range"},
      {"-1 UP", "line 1: bad frame range"},
      {"99999999999 UP", "line 1: bad frame range"},
      {"length 5\nlength 6", "line 2: one \"length N\" a script"},
      {"length five", "line 1: one \"length N\" a script"},
      {"2-9 UP\nlength 8", "line 2: a span ends at frame 9, after the script's length"},
  };
  for (const Case& c : cases) {
    PlayScript script;
    std::string good;
    ASSERT_TRUE(script.Parse("1-9 UP", good));
    std::string error;
    EXPECT_FALSE(script.Parse(c.text, error)) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " -> " << error;
    EXPECT_EQ(script.KeysAt(1), Keys({kPlayUp})) << "a refused text leaves the script as it was";
  }
}

// Scripts played one after another (the --input files of a play): each
// counts its frames on from the end of the one before, which is its
// "length" line, or else its last span's last frame.
TEST(PlayScriptTest, AppendedScriptsCountOnFromTheLengthOfTheOneBefore) {
  PlayScript whole, title, stage, idle;
  std::string error;
  ASSERT_TRUE(title.Parse("3 B1\nlength 10", error)) << error;
  ASSERT_TRUE(stage.Parse("# play\n2-4 RIGHT\n4 B2", error)) << error;
  ASSERT_TRUE(idle.Parse("length 100", error)) << error;
  EXPECT_EQ(title.Length(), 10u);
  EXPECT_EQ(stage.Length(), 4u);
  for (const PlayScript* part : {&title, &stage, &idle, &title}) ASSERT_TRUE(whole.Append(*part));
  EXPECT_EQ(whole.Length(), 124u);
  struct Case {
    uint32_t frame;
    PlayKeySet keys;
  };
  const Case cases[] = {
      {3, Keys({kPlayB1})},  {10, 0}, {11, 0}, {12, Keys({kPlayRight})}, {14, Keys({kPlayRight, kPlayB2})},
      {15, 0},              {114, 0}, {117, Keys({kPlayB1})},            {124, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(whole.KeysAt(c.frame), c.keys) << "frame " << c.frame;
  PlayScript longest;
  ASSERT_TRUE(longest.Parse("length 4294967290", error)) << error;
  EXPECT_FALSE(longest.Append(idle)) << "the frames would not fit";
  EXPECT_EQ(longest.Length(), 4294967290u);
}

TEST(PlayScriptTest, KeysFollowTheKeyConfigurationWhenItsOwnModeIsOn) {
  cKeyConfig fixed;
  SetDefaultKeys(fixed);
  fixed.m_Bindings[kBindFirstButton].m_wCode = 'Q';  // ignored: the fixed keys are polled
  cKeyConfig own = fixed;
  own.m_nMode = 1;
  own.m_Bindings[kBindLeft] = {kKeyboardDevice, 'J', 0};
  own.m_Bindings[kBindFirstButton + 2] = {kKeyboardDevice, 'K', 0};
  own.m_Bindings[kBindFirstButton + 3] = {0, 4, 0};  // joystick 0's button: no key gives it
  struct Case {
    int key;
    int withFixed;
    int withOwn;
  };
  const Case cases[] = {
      {kPlayLeft, plat::VK_LEFT, 'J'}, {kPlayRight, plat::VK_RIGHT, plat::VK_RIGHT},
      {kPlayB1, 'Z', 'Q'},             {kPlayB3, 'C', 'K'},
      {kPlayB4, 'V', 'V'},             {kPlayB8, 'F', 'F'},
      {kPlaySpace, plat::VK_SPACE, plat::VK_SPACE}, {kPlayEsc, plat::VK_ESCAPE, plat::VK_ESCAPE},
      {kPlayF3, plat::VK_F3, plat::VK_F3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlayKeyCode(c.key, fixed), c.withFixed) << c.key;
    EXPECT_EQ(PlayKeyCode(c.key, own), c.withOwn) << c.key;
  }
  EXPECT_EQ(PlayKeyCode(kPlayKeyCount, own), 0);
}

TEST(FrameTraceTest, OneLineHoldsEveryFieldInItsFixedOrder) {
  FrameTrace t;
  t.frame = 12;
  t.scene = 4;
  t.mode = 2;
  t.hero.push_back({1, 96.5, 0.1 + 0.2, -1.25, 0, 3, 0, 1, 0, 6});
  t.chars.push_back({2, 2, 224, 384, 1, 1, 0});
  t.chars.push_back({3, 5, -32, 1e300, 0, 0, 12});
  t.items.push_back({4, 1, 288, 352});
  t.shots.push_back({10.75, 20, 1});
  t.vars = {{"C3", 5}, {"ch0.v8", -999999}};
  t.lives = 3;
  t.score = 1200;
  t.time = 299;
  t.music = 1;
  t.sounds = {4, 8};
  t.messages = {plat::Sjis("はい\n\"OK\"\\")};
  t.effects.push_back({2, 100.5, -8, 3});
  t.pictures.push_back({1, 240, -20, 1});
  t.pictures.push_back({7, 0, 0, 0});
  t.screen = FrameTraceScreen{2, 2, 1.0 / 3.0};
  t.result = {{180, 281, 2046, 3, -1}};
  t.hint = 27;
  EXPECT_EQ(FrameTraceJson(t),
            "{\"frame\":12,\"scene\":4,\"mode\":2,"
            "\"hero\":[{\"id\":1,\"x\":96.5,\"y\":0.30000000000000004,\"vx\":-1.25,\"vy\":0,\"hp\":3,\"sp\":0,"
            "\"facing\":1,\"dying\":0,\"effect\":6}],"
            "\"chars\":[{\"id\":2,\"def\":2,\"x\":224,\"y\":384,\"hp\":1,\"present\":1,\"effect\":0},"
            "{\"id\":3,\"def\":5,\"x\":-32,\"y\":1e+300,\"hp\":0,\"present\":0,\"effect\":12}],"
            "\"items\":[{\"id\":4,\"def\":1,\"x\":288,\"y\":352}],"
            "\"shots\":[{\"x\":10.75,\"y\":20,\"owner\":1}],"
            "\"vars\":{\"C3\":5,\"ch0.v8\":-999999},\"lives\":3,\"score\":1200,\"time\":299,\"music\":1,"
            "\"sounds\":[4,8],\"messages\":[\"はい\\n\\\"OK\\\"\\\\\"],"
            "\"effects\":[{\"number\":2,\"x\":100.5,\"y\":-8,\"frame\":3}],"
            "\"pictures\":[{\"number\":1,\"x\":240,\"y\":-20,\"shown\":1},{\"number\":7,\"x\":0,\"y\":0,\"shown\":0}],"
            "\"screen\":{\"number\":2,\"kind\":2,\"value\":0.3333333333333333},\"end\":null,"
            "\"result\":[180,281,2046,3,-1],\"hint\":27}");

  FrameTrace empty;
  EXPECT_EQ(FrameTraceJson(empty),
            "{\"frame\":0,\"scene\":0,\"mode\":null,\"hero\":[],\"chars\":[],\"items\":[],\"shots\":[],\"vars\":{},"
            "\"lives\":0,\"score\":0,\"time\":0,\"music\":null,\"sounds\":[],\"messages\":[],\"effects\":[],"
            "\"pictures\":[],\"screen\":null,\"end\":null,\"result\":null,\"hint\":null}");
}

TEST(FrameTraceTest, NumbersReadBackToTheSameDouble) {
  const double values[] = {0.0, -0.0, 1.0 / 3.0, 0.1 + 0.2, 4.9e-324, 1.7976931348623157e308, -123456.789,
                           16.0 / 100.0, 0.4 / 4.0};
  for (double v : values) {
    const std::string text = FrameTraceNumber(v);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), v) << text;
    EXPECT_EQ(std::signbit(std::strtod(text.c_str(), nullptr)), std::signbit(v)) << text;
  }
  EXPECT_EQ(FrameTraceNumber(std::numeric_limits<double>::quiet_NaN()), "null");
  EXPECT_EQ(FrameTraceNumber(-std::numeric_limits<double>::infinity()), "null");
}

TEST(FrameTraceTest, SoundsBelongToTheFrameThatAskedAndMusicLastsUntilItStops) {
  SetFramePresentedObserver([] {});  // a run that watched the frames, then the reset after it
  ResetFrameTraceForTest();
  NoteTraceSound(3);  // nobody watches the frames: not kept
  SetFramePresentedObserver([] {});
  NoteTraceSound(4);
  NoteTraceMusic(1);
  NoteTraceSound(8);
  FrameTrace first = CaptureFrameTrace(1);
  FrameTrace second = CaptureFrameTrace(2);
  NoteTraceMusic(std::nullopt);
  FrameTrace third = CaptureFrameTrace(3);
  EXPECT_EQ(first.sounds, (std::vector<int32_t>{4, 8}));
  EXPECT_EQ(first.music, 1);
  EXPECT_TRUE(second.sounds.empty());
  EXPECT_EQ(second.music, 1);
  EXPECT_EQ(third.music, std::nullopt);
  EXPECT_EQ(third.frame, 3u);
  SetFramePresentedObserver(nullptr);
  ResetFrameTraceForTest();
}

// What a frame draws once (the result's box, the hint line) belongs to the
// frame being drawn: taken with it, gone once it is presented, and not kept
// at all while nobody watches.
TEST(FrameTraceTest, TheBoxAndHintLineBelongToTheFrameThatDrewThem) {
  ResetFrameTraceForTest();
  SetFramePresentedObserver(nullptr);
  NoteTraceHint(26);
  NoteTraceResult({1, 2, 3, 4, 5});
  EXPECT_EQ(CaptureFrameTrace(1).hint, std::nullopt) << "nobody watches";
  int presented = 0;
  SetFramePresentedObserver([&presented] { ++presented; });
  NoteTraceHint(27);
  NoteTraceResult({1, 2, 3, 4, 5});
  const FrameTrace drawn = CaptureFrameTrace(2);
  EXPECT_EQ(drawn.hint, 27);
  EXPECT_EQ(drawn.result, (std::array<int32_t, 5>{1, 2, 3, 4, 5}));
  NotifyFramePresented();
  EXPECT_EQ(presented, 1);
  const FrameTrace next = CaptureFrameTrace(3);
  EXPECT_EQ(next.hint, std::nullopt);
  EXPECT_EQ(next.result, std::nullopt);
  SetFramePresentedObserver(nullptr);
  ResetFrameTraceForTest();
}

// ---- pelmora-tool play on the demo project ----

int RunTool(const std::string& args, const std::string& errorFile) {
  const int status = std::system((std::string(PELMORA_TOOL) + " " + args + " > /dev/null 2> '" + errorFile + "'").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

using trace::Lines;
using trace::Number;
using trace::Value;

// The number after "key": in the first object of the list `list` of a trace
// line (NaN when missing).
double FirstOf(const std::string& line, const std::string& list, const std::string& key) {
  const size_t at = line.find("\"" + list + "\":[{");
  if (at == std::string::npos) return std::nan("");
  const size_t end = line.find('}', at);
  const size_t k = line.find("\"" + key + "\":", at);
  if (k == std::string::npos || k > end) return std::nan("");
  return std::strtod(line.c_str() + k + key.size() + 3, nullptr);
}

class PlayToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunTool("make-demo '" + project_ + "'", errors_), 0) << Slurp(errors_);
    // The hero falls from the start; the game pauses at frame 150 and the
    // pause menu's row it opens on (go on) is taken at frame 200.
    sandbox_.Write("keys.txt", "# pause, then go on\n150 SPACE\n200 B1\n");
  }
  int Play(const std::string& tag, uint32_t frames, const std::string& extra = "") {
    return RunTool("play '" + project_ + "' 'data\\stg4\\demo.stg4_1' --frames " + std::to_string(frames) +
                       " --input '" + (sandbox_ / "keys.txt") + "' --trace '" + (sandbox_ / (tag + ".jsonl")) + "'" +
                       extra,
                   errors_);
  }
  Sandbox sandbox_;
  const std::string project_ = sandbox_ / "project";
  const std::string errors_ = sandbox_ / "errors.txt";
};

TEST_F(PlayToolTest, TheHeroFallsLandsAndStandsAndSpacePausesTheStage) {
  ASSERT_EQ(Play("a", 260, " --shots '" + (sandbox_ / "shots") + "' --every 100"), 0) << Slurp(errors_);
  const std::vector<std::string> lines = Lines(Slurp(sandbox_ / "a.jsonl"));
  ASSERT_EQ(lines.size(), 260u);
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(Value(lines[i], "frame"), std::to_string(i + 1));

  // Playing frames: the hero's height grows while it falls, then stays put
  // with no vertical speed on the ground.
  std::vector<double> ys;
  int firstPlay = -1;
  for (size_t i = 0; i < 149; ++i)
    if (Value(lines[i], "mode") == "2") {
      if (firstPlay < 0) firstPlay = static_cast<int>(i);
      ys.push_back(FirstOf(lines[i], "hero", "y"));
    }
  ASSERT_GE(firstPlay, 0) << "the stage never reached play mode";
  ASSERT_GE(ys.size(), 40u);
  EXPECT_GT(ys.back(), ys.front()) << "the hero did not fall";
  const double ground = ys.back();
  EXPECT_EQ(FirstOf(lines[148], "hero", "vy"), 0.0);
  // Once landed it stays landed: the last 20 playing frames hold one whole
  // dot of height (a standing character's fraction of a dot follows the
  // floor's pull and is taken back every whole dot), with the hero's top in
  // the row above the ground (row 13 of the stage, whose top is 736 dots
  // down the map with its ten-block margin).
  for (size_t i = ys.size() - 20; i < ys.size(); ++i) EXPECT_EQ(std::trunc(ys[i]), std::trunc(ground)) << i;
  EXPECT_GE(ground, 736.0 - 32);
  EXPECT_LT(ground, 736.0);

  EXPECT_EQ(Value(lines[148], "mode"), "2");
  EXPECT_EQ(Value(lines[149], "mode"), "3") << "SPACE in frame 150 pauses in that frame";
  EXPECT_EQ(Value(lines[149], "sounds"), "[4]");
  EXPECT_EQ(Value(lines[198], "mode"), "3");
  EXPECT_EQ(Value(lines[199], "mode"), "2") << "B1 on the pause menu's first row goes on in that frame";
  EXPECT_EQ(std::trunc(FirstOf(lines.back(), "hero", "y")), std::trunc(ground));
  EXPECT_EQ(Value(lines.back(), "scene"), "4");

  for (uint32_t frame : {100u, 200u}) {
    const std::string png = Slurp(sandbox_ / ("shots/" + ScreenshotName(frame)));
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n") << frame;
  }
  EXPECT_FALSE(std::filesystem::exists(sandbox_ / ("shots/" + ScreenshotName(150))));
}

// The second run inherits PELMORA_TRACE, as from a shell that traces real
// runs: the scripted run keeps its own trace and writes none there.
TEST_F(PlayToolTest, TheSameRunTwiceGivesTheSameTraceAndScreenshots) {
  ASSERT_EQ(Play("a", 120, " --shots '" + (sandbox_ / "a") + "' --every 40"), 0) << Slurp(errors_);
  const std::string inherited = sandbox_ / "inherited.jsonl";
  ::setenv("PELMORA_TRACE", inherited.c_str(), 1);
  const int second = Play("b", 120, " --shots '" + (sandbox_ / "b") + "' --every 40");
  ::unsetenv("PELMORA_TRACE");
  ASSERT_EQ(second, 0) << Slurp(errors_);
  EXPECT_FALSE(std::filesystem::exists(inherited));
  const std::string a = Slurp(sandbox_ / "a.jsonl");
  EXPECT_EQ(Lines(a).size(), 120u);
  EXPECT_EQ(a, Slurp(sandbox_ / "b.jsonl"));
  for (uint32_t frame : {40u, 80u, 120u}) {
    const std::string name = ScreenshotName(frame);
    const std::string shot = Slurp(sandbox_ / ("a/" + name));
    EXPECT_FALSE(shot.empty()) << name;
    EXPECT_EQ(shot, Slurp(sandbox_ / ("b/" + name))) << name;
  }
}

// The demo hero moves by its own flows: RIGHT held walks it right, B1 makes
// it jump, higher for a long press than for a short one; the characters move
// by theirs (the slime patrols), DOWN then UP makes the frog jump and count
// in C1, and the slime counts half seconds in S0 and its v1. Two runs give
// the same trace.
TEST_F(PlayToolTest, FlowsMoveTheHeroByKeysAndTheCharactersByThemselves) {
  sandbox_.Write("keys.txt", "130-150 RIGHT\n160-162 B1\n220-235 B1\n280-282 DOWN\n284-286 UP\n");
  ASSERT_EQ(Play("a", 340), 0) << Slurp(errors_);
  ASSERT_EQ(Play("b", 340), 0) << Slurp(errors_);
  const std::string trace = Slurp(sandbox_ / "a.jsonl");
  EXPECT_EQ(trace, Slurp(sandbox_ / "b.jsonl"));
  const std::vector<std::string> lines = Lines(trace);
  ASSERT_EQ(lines.size(), 340u);
  auto hero = [&](int frame, const char* key) { return FirstOf(lines[frame - 1], "hero", key); };
  ASSERT_EQ(Value(lines[128], "mode"), "2");
  const double ground = hero(129, "y");
  EXPECT_EQ(hero(129, "vy"), 0.0) << "the hero has landed before the keys";

  for (int f = 132; f <= 150; ++f) EXPECT_GT(hero(f, "x"), hero(f - 1, "x")) << "frame " << f;
  EXPECT_EQ(hero(150, "facing"), 1.0);
  for (int f = 153; f <= 340; ++f) EXPECT_EQ(hero(f, "x"), hero(152, "x")) << "frame " << f;

  auto rise = [&](int from, int to) {
    double top = ground;
    for (int f = from; f <= to; ++f) top = std::min(top, hero(f, "y"));
    return ground - top;
  };
  const double hop = rise(160, 215), leap = rise(220, 279);
  EXPECT_GT(hop, 16.0);
  EXPECT_GT(leap, hop + 32.0) << "a long press jumps higher";
  EXPECT_EQ(std::trunc(hero(340, "y")), std::trunc(ground));

  EXPECT_NE(FirstOf(lines[299], "chars", "x"), FirstOf(lines[99], "chars", "x")) << "the slime patrols";
  EXPECT_EQ(lines[279].find("\"C1\""), std::string::npos);
  EXPECT_NE(lines.back().find("\"C1\":1"), std::string::npos) << "the frog jumped once";
  EXPECT_NE(lines.back().find("\"S0\":"), std::string::npos);
  EXPECT_NE(lines.back().find("\"ch0.v1\":"), std::string::npos);
}

// The demo stage's end: B4 warps the hero thirteen and a half blocks
// forward. Warped from the start it lands over the gap and falls out of
// the stage: the death sequence runs and the stage starts again with the
// hero at its start (test play of one stage keeps its lives). Walked to
// the stairs and warped twice it lands past the shooter and walks into the
// goal: its message waits for B1, the game holds still for half a second, then the result screen
// shows, and B1 there goes on to the next stage (the same one again).
TEST_F(PlayToolTest, TheGoalClearsTheStageAndThePitCostsTheAttempt) {
  // Modes: 0/1 banner, 2 play, 4 result.
  auto modes = [](const std::vector<std::string>& lines) {
    std::string seen;
    for (const std::string& line : lines) {
      const std::string m = Value(line, "mode");
      if (seen.empty() || seen.substr(seen.rfind(' ') + 1) != m) seen += " " + m;
    }
    return seen;
  };
  sandbox_.Write("keys.txt", "130-131 RIGHT\n140 B4\n");
  ASSERT_EQ(Play("pit", 370), 0) << Slurp(errors_);
  std::vector<std::string> lines = Lines(Slurp(sandbox_ / "pit.jsonl"));
  ASSERT_EQ(lines.size(), 370u);
  const double startX = FirstOf(lines[0], "hero", "x"), startY = FirstOf(lines[0], "hero", "y");
  EXPECT_GT(FirstOf(lines[144], "hero", "x"), startX + 13 * 32) << "the warp";
  int died = 0;
  for (const std::string& line : lines) died += FirstOf(line, "hero", "dying") == 1.0;
  EXPECT_GT(died, 0);
  EXPECT_EQ(modes(lines), " 0 1 2 1 2");
  EXPECT_EQ(FirstOf(lines.back(), "hero", "x"), startX);
  EXPECT_GT(FirstOf(lines.back(), "hero", "y"), startY) << "falling from its start again";
  EXPECT_EQ(FirstOf(lines.back(), "hero", "hp"), 3.0);
  EXPECT_EQ(Value(lines.back(), "lives"), Value(lines[0], "lives"));

  sandbox_.Write("keys.txt", "130-180 RIGHT\n190 B4\n230 B4\n240-280 RIGHT\n270 B1\n400 B1\n");
  ASSERT_EQ(Play("goal", 440, " --shots '" + (sandbox_ / "shots") + "' --every 100"), 0) << Slurp(errors_);
  lines = Lines(Slurp(sandbox_ / "goal.jsonl"));
  ASSERT_EQ(lines.size(), 440u);
  EXPECT_EQ(modes(lines), " 0 1 2 4 7 -1 0 1");
  for (const std::string& line : lines) EXPECT_NE(FirstOf(line, "hero", "dying"), 1.0);
  EXPECT_EQ(Value(lines[299], "mode"), "4");
  EXPECT_EQ(Value(lines[399], "mode"), "7") << "B1 on the result screen goes on";
  for (uint32_t frame : {200u, 300u, 400u})
    EXPECT_EQ(Slurp(sandbox_ / ("shots/" + ScreenshotName(frame))).substr(0, 8), "\x89PNG\r\n\x1a\n") << frame;
}

// The game's first stage, the meadow: B1 tapped for one frame makes the
// hero hop, B1 held through the rise makes it jump its four blocks. The
// hero stands on the meadow's floor before each press and lands there
// again.
TEST_F(PlayToolTest, InTheFirstStageATappedJumpRisesFarLowerThanAHeldOne) {
  sandbox_.Write("keys.txt", "250 B1\n400-440 B1\n");
  ASSERT_EQ(RunTool("play '" + project_ + "' 'data\\stg4\\c01-1.stg4_001' --frames 520 --input '" +
                        (sandbox_ / "keys.txt") + "' --trace '" + (sandbox_ / "meadow.jsonl") + "'",
                    errors_),
            0)
      << Slurp(errors_);
  const std::vector<std::string> lines = Lines(Slurp(sandbox_ / "meadow.jsonl"));
  ASSERT_EQ(lines.size(), 520u);
  auto y = [&](int frame) { return FirstOf(lines[frame - 1], "hero", "y"); };
  ASSERT_EQ(Value(lines[248], "mode"), "2");
  auto rise = [&](int press, int until) {
    EXPECT_EQ(FirstOf(lines[press - 2], "hero", "vy"), 0.0) << "standing before frame " << press;
    double top = y(press - 1);
    for (int f = press; f <= until; ++f) top = std::min(top, y(f));
    EXPECT_EQ(std::trunc(y(until)), std::trunc(y(press - 1))) << "landed again by frame " << until;
    return y(press - 1) - top;
  };
  const double tap = rise(250, 330), held = rise(400, 500);
  EXPECT_GT(tap, 4.0);
  EXPECT_GT(held, 4 * 32 - 8.0) << "four blocks";
  EXPECT_LT(tap, held * 0.25) << "a tap only hops";
}

// The object of list `list` whose "def" is `def` ("" when none).
std::string ObjectWithDef(const std::string& line, const std::string& list, int32_t def) {
  const std::string all = Value(line, list), tag = "\"def\":" + std::to_string(def) + ",";
  const size_t at = all.find(tag);
  if (at == std::string::npos) return "";
  const size_t open = all.rfind('{', at);
  return all.substr(open, all.find('}', at) + 1 - open);
}

// A run that fires, swings, warps, summons, operates flows, sets targets,
// changes states and looks, takes an item and clears the stage: the hero
// shoots the slime, the frog's jump gets a coin, the sword beats the bat
// (it drops a coin and a block, turns see-through, pauses its chase), the
// shooter hit by a shot calls its shots back and summons a slime, and the
// goal ends the stage. Two runs give the same trace.
// The keys of the run through every command of the demo stage.
std::string EveryCommandKeys() {
  std::string keys = "130-131 RIGHT\n150 B2\n280-282 DOWN\n284-286 UP\n";
  for (int f = 500; f < 740; f += 10) keys += std::to_string(f) + "-" + std::to_string(f + 1) + " B3\n";
  keys += "760-800 RIGHT\n810 B4\n850 B4\n860-861 LEFT\n870 B2\n890 B2\n910-950 RIGHT\n945 B1\n";  // B1 closes the goal message
  return keys;
}

TEST_F(PlayToolTest, ARunThroughEveryCommandOfTheStageIsTheSameTwice) {
  sandbox_.Write("keys.txt", EveryCommandKeys());
  ASSERT_EQ(Play("a", 1000), 0) << Slurp(errors_);
  ASSERT_EQ(Play("b", 1000), 0) << Slurp(errors_);
  const std::string trace = Slurp(sandbox_ / "a.jsonl");
  EXPECT_EQ(trace, Slurp(sandbox_ / "b.jsonl"));
  const std::vector<std::string> lines = Lines(trace);
  ASSERT_EQ(lines.size(), 1000u);
  // How often `key` shows in the list `list` of a trace line.
  auto count = [](const std::string& line, const std::string& list, const std::string& key) {
    const size_t from = line.find("\"" + list + "\":["), to = line.find(']', from);
    size_t n = 0;
    for (size_t at = line.find(key, from); at < to; at = line.find(key, at + 1)) ++n;
    return n;
  };
  const std::string slime = "\"def\":100002", bat = "\"def\":100004", any = "\"def\":";
  EXPECT_EQ(count(lines[100], "chars", slime), 1u);
  EXPECT_EQ(count(lines[300], "chars", slime), 0u) << "the slime was shot";
  EXPECT_EQ(count(lines[300], "chars", bat), 1u);
  EXPECT_EQ(count(lines[800], "chars", bat), 0u) << "the bat was beaten";
  EXPECT_EQ(Value(lines[800], "score"), "50");
  // The bat's coin shows up, or the hero standing on it takes it on the
  // frame it appears: the coin's reaction sound and its sound command then
  // play together (sound list entry 22).
  bool dropped = false;
  for (size_t f = 600; f <= 800; ++f)
    dropped |= count(lines[f], "items", any) > count(lines[600], "items", any) ||
               lines[f].find("\"sounds\":[22,22]") != std::string::npos;
  EXPECT_TRUE(dropped) << "the bat's coin";
  // Every coin taken raises its icon over the hero on that frame.
  size_t taken = 0;
  for (const std::string& line : lines)
    if (line.find("\"sounds\":[22,22]") != std::string::npos || line.find(",22,22]") != std::string::npos) {
      ++taken;
      EXPECT_NE(Value(line, "messages").find("\"icon 2 6 0\""), std::string::npos) << line;
    }
  EXPECT_GE(taken, 2u) << "coins taken";
  EXPECT_EQ(count(lines[900], "chars", any), count(lines[860], "chars", any) + 1) << "the shooter's slime";
  EXPECT_EQ(Value(lines.back(), "mode"), "4") << "the goal cleared the stage";
}


// The sword beats the bat: its hit flow places the explosion (effect entry
// 2) on it, which plays its four cells (a tenth each, the last two tenths)
// and goes; the picture shows a second at the top of the screen; the shake
// (screen effect 2, kind 2) runs its half second. Stage objects carry their
// ids and their running graphic effects (the frog's looping wave, kind 4).
TEST_F(PlayToolTest, TheTraceFollowsTheBatsExplosionPictureAndShake) {
  std::string keys = "130-131 RIGHT\n150 B2\n";
  for (int f = 500; f < 740; f += 10) keys += std::to_string(f) + "-" + std::to_string(f + 1) + " B3\n";
  sandbox_.Write("keys.txt", keys);
  ASSERT_EQ(Play("fx", 770), 0) << Slurp(errors_);
  const std::vector<std::string> lines = Lines(Slurp(sandbox_ / "fx.jsonl"));
  ASSERT_EQ(lines.size(), 770u);
  constexpr int32_t kBat = 100004, kFrog = 100005;
  size_t hit = 0;
  while (hit < lines.size() && Value(lines[hit], "effects") == "[]") ++hit;
  ASSERT_LT(hit, lines.size()) << "no effect object";
  const std::string bat = ObjectWithDef(lines[hit], "chars", kBat);
  ASSERT_FALSE(bat.empty());
  const std::string effect = Value(lines[hit], "effects");
  EXPECT_EQ(Number(effect, "number"), 2.0);
  EXPECT_LE(std::abs(Number(effect, "x") - Number(bat, "x")), 16.0) << effect << " " << bat;
  EXPECT_LE(std::abs(Number(effect, "y") - Number(bat, "y")), 16.0) << effect << " " << bat;
  EXPECT_EQ(Number(bat, "effect"), 0.0) << "its blink from the start is over";
  EXPECT_EQ(Number(ObjectWithDef(lines[hit], "chars", kFrog), "effect"), 4.0) << "the frog's wave loops";

  // The animation's frame, frame by frame, until the object goes.
  std::string frames;
  size_t f = hit;
  for (; f < lines.size() && Value(lines[f], "effects") != "[]"; ++f) {
    EXPECT_EQ(Value(lines[f], "effects").find("},{"), std::string::npos) << "one object";
    frames += Value(Value(lines[f], "effects"), "frame");
  }
  EXPECT_EQ(frames, "00000" "111111" "222222" "333333333333");

  EXPECT_EQ(Value(lines[hit], "pictures"), "[{\"number\":1,\"x\":240,\"y\":20,\"shown\":1}]");
  size_t picture = hit;
  while (picture < lines.size() && Value(lines[picture], "pictures") != "[]") ++picture;
  EXPECT_EQ(picture - hit, 60u) << "ten tenths of a second";

  // The shake starts with the next drawn frame and moves its value by a
  // sixth a frame until it passes its five tenths.
  EXPECT_EQ(Value(lines[hit], "screen"), "null");
  EXPECT_EQ(Value(lines[hit + 1], "screen"), "{\"number\":2,\"kind\":2,\"value\":0.16666666666666666}");
  size_t shake = hit + 1;
  while (shake < lines.size() && Value(lines[shake], "screen") != "null") ++shake;
  EXPECT_EQ(shake - (hit + 1), 35u);
  EXPECT_NEAR(Number(Value(lines[shake - 1], "screen"), "value"), 35.0 / 6.0, 1e-9);

  // Every object of the stage carries its own id: the hero takes the first
  // object id (0), the placed and summoned characters the ones after it;
  // items count their own ids. None is given twice.
  auto ids = [&](const std::string& line, std::initializer_list<const char*> lists) {
    std::vector<double> found;
    for (const char* list : lists) {
      const std::string objects = Value(line, list);
      for (size_t at = objects.find("\"id\":"); at != std::string::npos; at = objects.find("\"id\":", at + 1))
        found.push_back(std::strtod(objects.c_str() + at + 5, nullptr));
    }
    return found;
  };
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(FirstOf(lines[i], "hero", "id"), 0.0) << "frame " << i + 1;
    for (std::vector<double> found : {ids(lines[i], {"hero", "chars"}), ids(lines[i], {"items"})}) {
      ASSERT_GE(found.size(), 3u) << i;
      std::sort(found.begin(), found.end());
      EXPECT_EQ(std::adjacent_find(found.begin(), found.end()), found.end()) << "a shared id in frame " << i + 1;
    }
  }
}

// The same run, looked at: the HUD of the demo's pictures (its icons and HP
// gauge), and the screen shake that the bat's beating starts, frame by
// frame: the whole picture moves, leaving only a band of the shake's width
// at one side, in the demo's display mode (Direct3D).
TEST_F(PlayToolTest, TheDemosHudAndScreenShakeShowInEveryFrame) {
  sandbox_.Write("keys.txt", EveryCommandKeys());
  const std::string shots = sandbox_ / "shots";
  ASSERT_EQ(Play("shake", 740, " --shots '" + shots + "' --every 1"), 0) << Slurp(errors_);
  auto read = [&](uint32_t frame, int& w, int& h) {
    std::vector<uint32_t> p;
    LoadSdlPixels(shots + "/" + ScreenshotName(frame), w, h, p);
    for (uint32_t& v : p) v &= 0xFFFFFF;
    return p;
  };
  int w = 0, h = 0;
  // Frame 200: the HP item's heart icon at (372, 3) and its full gauge's
  // green bar right of it (the HUD's four items, the demo showing no SP
  // gauge, share the strip's 638 dots with equal gaps of 76).
  std::vector<uint32_t> px = read(200, w, h);
  ASSERT_EQ(std::pair(w, h), std::pair(640, 480));
  EXPECT_EQ(px[11 * 640 + 380], 0xE03030u) << "the heart";
  EXPECT_EQ(px[12 * 640 + 392], 0x30A040u) << "the HP bar";
  EXPECT_EQ(px[12 * 640 + 412], 0x30A040u) << "the HP bar";
  // Columns of the left part that are black from row 100 to row 400.
  auto blackColumns = [](const std::vector<uint32_t>& p, int from, int to) {
    int n = 0;
    for (int x = from; x < to; ++x) {
      bool black = true;
      for (int y = 100; y <= 400 && black; y += 10) black = p[static_cast<size_t>(y) * 640 + x] == 0;
      n += black;
    }
    return n;
  };
  int shaken = 0;
  for (uint32_t frame = 690; frame <= 740; ++frame) {
    px = read(frame, w, h);
    ASSERT_EQ(px.size(), 640u * 480u) << frame;
    // A shake to one side leaves a band of its width on the other.
    const int left = blackColumns(px, 0, 256), right = blackColumns(px, 256, 640);
    EXPECT_LE(left, 8) << "frame " << frame << ": the left part is black";
    EXPECT_LE(right, 8) << "frame " << frame << ": the right part is black";
    shaken += left > 0 || right > 0;
  }
  EXPECT_GT(shaken, 4) << "the shake moved the picture";
}

// A story game played from the title with the demo's five lives: new game
// in save slot 1, two steps right on the world map onto the first world,
// whose box is answered "ステージに挑む"; in the stage (its play begins at
// frame 439) the hero walks right, shoots the first blob, jumps the wall,
// cuts the second blob and walks on into the first pit. Each fall costs a
// life and opens the continue menu, whose first row (retry, taken by B1)
// starts the stage again, 600 frames after the attempt before; the fall
// with no life left is game over, and B1 there goes back to the title. Two
// runs (the second with the first one's user data) give the same trace.
TEST_F(PlayToolTest, FromTheTitleAStoryGameLosesItsLivesInThePitAndEndsInGameOver) {
  std::string keys = "100 B1\n140 B1\n200 RIGHT\n210 RIGHT\n250 UP\n260 B1\n";
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int play = 439 + 600 * attempt;
    auto at = [&](int frame) { return std::to_string(play + frame - 1); };
    // The jump over the wall holds B1 through its rise.
    keys += at(1) + "-" + at(400) + " RIGHT\n" + at(20) + " B2\n" + at(200) + "-" + at(229) + " B1\n" + at(257) +
            " B3\n" + at(442) + " B1\n";
  }
  sandbox_.Write("keys.txt", keys);
  // Two runs side by side, each on a project of its own (a run writes into
  // its project), give the same trace.
  const std::string other = sandbox_ / "other";
  std::filesystem::copy(project_, other, std::filesystem::copy_options::recursive);
  auto play = [&](const std::string& project, const std::string& tag) {
    return RunTool("play '" + project + "' --frames 3400 --input '" + (sandbox_ / "keys.txt") + "' --trace '" +
                       (sandbox_ / (tag + ".jsonl")) + "'",
                   sandbox_ / (tag + ".err"));
  };
  std::future<int> second = std::async(std::launch::async, play, other, "b");
  ASSERT_EQ(play(project_, "a"), 0) << Slurp(sandbox_ / "a.err");
  ASSERT_EQ(second.get(), 0) << Slurp(sandbox_ / "b.err");
  const std::string trace = Slurp(sandbox_ / "a.jsonl");
  EXPECT_EQ(trace, Slurp(sandbox_ / "b.jsonl"));
  const std::vector<std::string> lines = Lines(trace);
  ASSERT_EQ(lines.size(), 3400u);

  // What the run went through, each change once: scene, stage mode, lives.
  std::vector<std::string> seen;
  for (const std::string& line : lines) {
    const std::string now = Value(line, "scene") + "/" + Value(line, "mode") + "/" + Value(line, "lives");
    if (seen.empty() || seen.back() != now) seen.push_back(now);
  }
  const std::vector<std::string> expected = {
      "0/null/0",                                   // the title
      "0/null/4", "1/null/4",                       // new game: five lives, one already given to the first attempt
      "4/null/4", "4/0/4", "4/1/4", "4/2/4",        // the stage: fade-in, banner, play
      "4/5/3", "4/1/3", "4/2/3",                    // the pit, the continue menu, retry
      "4/5/2", "4/1/2", "4/2/2",                    //
      "4/5/1", "4/1/1", "4/2/1",                    //
      "4/5/0", "4/1/0", "4/2/0",                    //
      "4/6/0", "4/7/0", "0/-1/0", "0/null/0"};      // no life left: game over, then the title
  EXPECT_EQ(seen, expected);

  // Each lost life is a fall into the pit: the hero dies below the ground.
  int deaths = 0;
  for (size_t i = 1; i < lines.size(); ++i)
    if (FirstOf(lines[i], "hero", "dying") == 1.0 && FirstOf(lines[i - 1], "hero", "dying") == 0.0) {
      ++deaths;
      EXPECT_GT(FirstOf(lines[i], "hero", "y"), 736.0) << "frame " << i + 1;
      EXPECT_EQ(Value(lines[i], "sounds"), "[8]") << "frame " << i + 1;
    }
  EXPECT_EQ(deaths, 5);
}

TEST_F(PlayToolTest, EscClosesTheGameAndTheRunEndsWithItsFrame) {
  sandbox_.Write("keys.txt", "40 ESC\n");
  ASSERT_EQ(Play("esc", 500), 0) << Slurp(errors_);
  const std::vector<std::string> lines = Lines(Slurp(sandbox_ / "esc.jsonl"));
  ASSERT_EQ(lines.size(), 40u);
  EXPECT_EQ(Value(lines.back(), "frame"), "40");
}

TEST_F(PlayToolTest, StartUpFailureAndBadArgumentsAreTold) {
  EXPECT_EQ(RunTool("play '" + project_ + "' --frames", errors_), 2);
  EXPECT_EQ(RunTool("play '" + project_ + "' --frames 10 --every 0 --shots x", errors_), 2);
  sandbox_.Write("bad.txt", "1 JUMP\n");
  EXPECT_EQ(RunTool("play '" + project_ + "' --frames 10 --input '" + (sandbox_ / "bad.txt") + "'", errors_), 2);
  EXPECT_NE(Slurp(errors_).find("line 1"), std::string::npos);
  // A folder without a project: start-up stops at its first missing file.
  std::filesystem::create_directories(sandbox_ / "empty");
  EXPECT_EQ(RunTool("play '" + (sandbox_ / "empty") + "' --frames 10 --trace '" + (sandbox_ / "e.jsonl") + "'", errors_),
            1);
  EXPECT_EQ(Slurp(sandbox_ / "e.jsonl"), "");
}

// Every option but --input takes one value: given twice, the second would
// silently take the place of the first, so the run is refused as a usage
// error (exit 2) naming the option, and nothing is written.
TEST_F(PlayToolTest, AnOptionGivenTwiceIsRefused) {
  const std::string a = sandbox_ / "a", b = sandbox_ / "b";
  const struct {
    std::string words;
    const char* option;
  } cases[] = {
      {"--frames 10 --frames 20", "--frames"},
      {"--frames 10 --trace '" + a + "' --trace '" + b + "'", "--trace"},
      {"--sound '" + a + "' --frames 10 --sound '" + b + "'", "--sound"},
      {"--frames 10 --shots '" + a + "' --shots '" + b + "'", "--shots"},
      {"--frames 10 --shots '" + a + "' --every 2 --every 2", "--every"},
      {"--show-command=5 --frames 10 --show-command=1", "--show-command"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words);
    EXPECT_EQ(RunTool("play '" + project_ + "' " + c.words, errors_), 2);
    EXPECT_NE(Slurp(errors_).find(std::string("play: ") + c.option + " is given more than once"), std::string::npos)
        << Slurp(errors_);
    EXPECT_FALSE(std::filesystem::exists(a));
    EXPECT_FALSE(std::filesystem::exists(b));
  }
  // --input is a list: both files are played.
  sandbox_.Write("first.txt", "length 5\n");
  sandbox_.Write("second.txt", "2 SPACE\n");
  EXPECT_EQ(RunTool("play '" + project_ + "' 'data\\stg4\\demo.stg4_1' --frames 10 --input '" + (sandbox_ / "first.txt") +
                        "' --input '" + (sandbox_ / "second.txt") + "'",
                    errors_),
            0)
      << Slurp(errors_);
}

// Two outputs named by one path would leave one file and lose the other
// (or mix them in one stream): refused as a usage error (exit 2) before
// anything is written, however the path is spelt: the same words, another
// spelling of them, a link or a second hard link to the file, two names of
// the standard output; so the screenshot folder named as a file, or a file
// in it named as one of the run's screenshots. A file there with a name no
// screenshot of the run takes is written.
TEST_F(PlayToolTest, TwoOutputsOnOneFileAreRefused) {
  const std::string out = sandbox_ / "out", shots = out + "/shots";
  const std::string there = sandbox_.Write("out/there", "the bytes that were there");
  std::filesystem::create_symlink(there, out + "/link");
  std::filesystem::create_hard_link(there, out + "/hard");
  auto entries = [&] {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out)) names.insert(entry.path().string());
    return names;
  };
  const std::set<std::string> before = entries();
  const struct {
    const char* what;
    std::string outputs;
  } refused[] = {
      {"one path", "--trace '" + out + "/x' --sound '" + out + "/x'"},
      {"two spellings", "--sound '" + out + "/x' --trace '" + out + "/../out/./x'"},
      {"a link", "--trace '" + there + "' --sound '" + out + "/link'"},
      {"a hard link", "--sound '" + out + "/hard' --trace '" + there + "'"},
      {"the standard output", "--trace /dev/stdout --sound /proc/self/fd/1"},
      {"the screenshot folder", "--shots '" + shots + "' --trace '" + shots + "'"},
      {"a screenshot", "--shots '" + shots + "' --every 10 --sound '" + shots + "/frame-000020.png'"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(RunTool("play '" + project_ + "' --frames 30 " + c.outputs, errors_), 2) << Slurp(errors_);
    EXPECT_NE(Slurp(errors_).find("play: --"), std::string::npos) << Slurp(errors_);
    EXPECT_NE(Slurp(errors_).find("usage: "), std::string::npos) << Slurp(errors_);
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(Slurp(there), "the bytes that were there");
  }
  for (const std::string& name : {shots + "/frame-000020.png", shots + "/trace.jsonl"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(RunTool("play '" + project_ + "' --frames 30 --shots '" + shots + "' --every 3 --trace '" + name + "'",
                      errors_),
              0)
        << Slurp(errors_);
    EXPECT_EQ(Lines(Slurp(name)).size(), 30u);
  }
}

// A game that cannot start for a missing or broken start file: `play` says
// why as `pelmora` says it, each reason naming the file ("play: " where
// `pelmora` says "pelmora: "), then that the game did not start, pointing
// to the log. A start that fails leaves no trace: none is made, and one
// that stood at its path stays as it was. Where the log itself cannot be
// made (a folder stands at its name), that is the reason, and the run does
// not point to it.
TEST_F(PlayToolTest, AStartThatFailsIsToldWithItsReasonsAsPelmoraTellsThem) {
  const char* const files[] = {"bmp/plt/Palette.bmp", "bmp/Title.bmp",          "data/System.dat",
                               "data/WorldMap.dat",   "data/database/Anime.dat", "data/database/Sound.dat",
                               "data/database/Picture.dat", "data/CommonPalette.cplt4"};
  const std::string kept = sandbox_.Write("kept.jsonl", "the trace that was there\n");
  const std::string fresh = sandbox_ / "fresh.jsonl";
  // The reason lines of a run's standard error, told by `program`.
  auto reasons = [](const std::string& err, const std::string& program) {
    std::string lines;
    bool inReason = false;
    for (const std::string& line : Lines(err)) {
      inReason = line.rfind(program + ": ", 0) == 0 || (inReason && line.rfind("  ", 0) == 0);
      if (inReason) lines += line.substr(line.rfind(program + ": ", 0) == 0 ? program.size() + 2 : 0) + "\n";
    }
    return lines;
  };
  auto pelmora = [&] {
    GameProcess game({PELMORA_EXE, project_, {}, {"PELMORA_RUNTIME_DIR=" + (sandbox_ / "run")},
                      sandbox_ / "game.out", sandbox_ / "game.err"});
    EXPECT_EQ(game.Wait(), 1) << game.Err();
    return reasons(game.Err(), "pelmora");
  };
  auto play = [&](const std::string& trace) {
    EXPECT_EQ(RunTool("play '" + project_ + "' --frames 10 --trace '" + trace + "'", errors_), 1) << Slurp(errors_);
    return Slurp(errors_);
  };
  for (const char* file : files) {
    const std::string path = project_ + "/" + file, bytes = Slurp(path);
    ASSERT_FALSE(bytes.empty()) << file;
    std::string named = file;
    std::replace(named.begin(), named.end(), '/', '\\');
    for (const bool broken : {false, true}) {
      SCOPED_TRACE(std::string(file) + (broken ? " broken" : " missing"));
      if (broken)
        sandbox_.Write("project/" + std::string(file), "BM not what it should be");
      else
        std::filesystem::remove(path);
      const std::string told = pelmora();
      EXPECT_NE(told.find(named), std::string::npos) << told;
      for (const std::string& trace : {kept, fresh}) {
        const std::string err = play(trace);
        EXPECT_EQ(reasons(err, "play").find(told), 0u) << err;
        EXPECT_NE(err.find("play: the game did not start (see Report_Game.txt in the project folder)\n"),
                  std::string::npos)
            << err;
      }
      EXPECT_EQ(Slurp(kept), "the trace that was there\n");
      EXPECT_FALSE(std::filesystem::exists(fresh));
    }
    sandbox_.Write("project/" + std::string(file), bytes);
  }

  std::filesystem::remove(project_ + "/Report_Game.txt");
  std::filesystem::create_directory(project_ + "/Report_Game.txt");
  const std::string cannot = "cannot create Report_Game.txt in this folder (Is a directory)\n";
  EXPECT_EQ(pelmora(), cannot);
  const std::string err = play(fresh);
  EXPECT_EQ(reasons(err, "play").find(cannot), 0u) << err;
  EXPECT_NE(err.find("play: the game did not start\n"), std::string::npos) << err;
  EXPECT_EQ(err.find("see Report_Game.txt"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(fresh));
}

// A run the game ends before its last frame (ESC in frame 40 of 500): the
// sound holds the 40 frames played, and its header says so (its sizes are
// written once the run is over).
TEST_F(PlayToolTest, TheSoundOfAGameThatEndedEarlyHoldsTheFramesPlayed) {
  sandbox_.Write("keys.txt", "40 ESC\n");
  ASSERT_EQ(Play("esc", 500, " --sound '" + (sandbox_ / "esc.wav") + "'"), 0) << Slurp(errors_);
  const CapturedMix mix = ReadCapturedMix(sandbox_ / "esc.wav");
  ASSERT_TRUE(mix.read);
  EXPECT_EQ(mix.samples.size(), 40u * kMixFramesPerGameFrame * 2);
  EXPECT_EQ(mix.dataSize, 40u * kMixFramesPerGameFrame * 4);
  EXPECT_EQ(mix.riffSize, 36 + mix.dataSize);
}

// Files named on play's command line by relative paths are taken from the
// folder the tool was started in, not from the project it plays in: the
// key script read (its pause shows in the trace), and the trace, the
// screenshots and the sound written there; none of them lands in the
// project.
TEST_F(PlayToolTest, RelativePathsAreTakenFromTheFolderTheToolStartedIn) {
  const std::string elsewhere = sandbox_ / "elsewhere";
  sandbox_.Write("elsewhere/keys.txt", "# pause\n150 SPACE\n");
  const std::string command = "cd '" + elsewhere + "' && " + PELMORA_TOOL + " play '" + project_ +
                              "' 'data\\stg4\\demo.stg4_1' --frames 160 --input keys.txt --trace run.jsonl "
                              "--shots shots --every 80 --sound run.wav > /dev/null 2> '" + errors_ + "'";
  const int status = std::system(command.c_str());
  ASSERT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << Slurp(errors_);
  const std::vector<std::string> lines = Lines(Slurp(elsewhere + "/run.jsonl"));
  ASSERT_EQ(lines.size(), 160u);
  EXPECT_EQ(Value(lines[148], "mode"), "2");
  EXPECT_EQ(Value(lines[149], "mode"), "3") << "the key script's SPACE did not pause the stage";
  EXPECT_TRUE(std::filesystem::is_regular_file(elsewhere + "/shots/" + ScreenshotName(80)));
  EXPECT_TRUE(std::filesystem::is_regular_file(elsewhere + "/shots/" + ScreenshotName(160)));
  EXPECT_EQ(std::filesystem::file_size(elsewhere + "/run.wav"), 44u + 160u * 735 * 4);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(project_)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name != "run.jsonl" && name != "shots" && name != "run.wav") << entry.path() << " in the project";
  }
}

// A stage file that is not there is logged and forgotten, and the game
// starts at its title, as the game does; the run says so on its standard
// error with the log's line (a stage that is there says nothing of it). The
// line shows the control characters of the name as the game got it, not
// sent to the terminal, and keeps the backslashes of its path.
TEST_F(PlayToolTest, AStageFileThatIsNotThereIsToldAndTheTitleComesFirst) {
  struct Case {
    const char* stage;
    const char* shown;  // as the told line names it
    bool told;
  };
  for (const Case& c : {Case{"data\\stg4\\nowhere.stg4_1", "data\\stg4\\nowhere.stg4_1", true},
                        Case{"data\\stg4\\no\x1b[31mwhere.stg4_1", "data\\stg4\\no\\x1b[31mwhere.stg4_1", true},
                        Case{"data\\stg4\\demo.stg4_1", "", false}}) {
    SCOPED_TRACE(c.stage);
    ASSERT_EQ(RunTool("play '" + project_ + "' '" + c.stage + "' --frames 20 --trace '" + (sandbox_ / "m.jsonl") + "'",
                      errors_),
              0)
        << Slurp(errors_);
    const std::string told = std::string("play: Report_Game.txt: 「") + c.shown + "」の読み込みに失敗しました！";
    EXPECT_EQ(Slurp(errors_).find(told) != std::string::npos, c.told) << Slurp(errors_);
    EXPECT_EQ(Slurp(errors_).find('\x1b'), std::string::npos) << "a raw escape reached the terminal";
    const std::vector<std::string> lines = Lines(Slurp(sandbox_ / "m.jsonl"));
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(Value(lines.back(), "scene"), c.told ? "0" : "4");
  }
}

// A title picture that is missing or damaged fails the start, as a damaged
// data file does: no frame, exit 1. So it does for a stage played on its
// own, whose scene loads the title picture too.
TEST_F(PlayToolTest, AMissingOrDamagedTitlePictureFailsTheStart) {
  struct Case {
    const char* name;
    bool damaged;
    const char* stage;
  };
  const Case cases[] = {{"missing", false, ""},
                        {"damaged", true, ""},
                        {"damaged, a stage of its own", true, " 'data\\stg4\\demo.stg4_1'"},
                        {"missing, a stage of its own", false, " 'data\\stg4\\demo.stg4_1'"}};
  const std::string title = project_ + "/bmp/Title.bmp";
  const std::string picture = Slurp(title);
  ASSERT_FALSE(picture.empty());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.damaged)
      sandbox_.Write("project/bmp/Title.bmp", "BM not a picture");
    else
      std::filesystem::remove(title);
    EXPECT_EQ(RunTool("play '" + project_ + "'" + c.stage + " --frames 10 --trace '" + (sandbox_ / "t.jsonl") + "'",
                      errors_),
              1)
        << Slurp(errors_);
    EXPECT_EQ(Slurp(sandbox_ / "t.jsonl"), "");
    EXPECT_NE(Slurp(errors_).find("the game did not start"), std::string::npos) << Slurp(errors_);
  }
  // With the picture back, the same runs play.
  sandbox_.Write("project/bmp/Title.bmp", picture);
  for (const char* stage : {"", " 'data\\stg4\\demo.stg4_1'"}) {
    SCOPED_TRACE(stage);
    EXPECT_EQ(RunTool("play '" + project_ + "'" + stage + " --frames 10 --trace '" + (sandbox_ / "t.jsonl") + "'",
                      errors_),
              0)
        << Slurp(errors_);
    EXPECT_EQ(Lines(Slurp(sandbox_ / "t.jsonl")).size(), 10u);
  }
}

// A fault after start-up ends the game after its message with a failure
// status, never as a game that ended: a stage picture that will not load
// (the first stage, entered from the map), and the world map's picture,
// missing when a new game goes from the title to the map. With the file
// back, the same run plays on.
TEST_F(PlayToolTest, AFaultAfterStartUpEndsTheGameWithAFailureStatus) {
  const std::string route = std::string(PELMORA_SOURCE_DIR) + "/tests/routes/demo/01-title.txt";
  const struct {
    const char* name;
    const char* removed;  // from the project
    std::string play;     // what pelmora-tool play is given after the project
  } cases[] = {
      {"a stage picture", "bmp/Block.bmp", " --frames 400 --input '" + route + "'"},
      {"the world map's picture", "bmp/WorldEvent.bmp", " --frames 400 --input '" + route + "'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = project_ + "/" + c.removed;
    const std::string bytes = Slurp(file);
    ASSERT_FALSE(bytes.empty());
    const std::string args = "play '" + project_ + "'" + c.play + " --trace '" + (sandbox_ / "t.jsonl") + "'";
    std::filesystem::remove(file);
    EXPECT_EQ(RunTool(args, errors_), 1) << Slurp(errors_);
    EXPECT_NE(Slurp(errors_).find("a fault ended the game"), std::string::npos) << Slurp(errors_);
    EXPECT_FALSE(Lines(Slurp(sandbox_ / "t.jsonl")).empty()) << "the game had started";
    sandbox_.Write(std::string("project/") + c.removed, bytes);
    EXPECT_EQ(RunTool(args, errors_), 0) << Slurp(errors_);
  }
}

}  // namespace

// The demo game's screens as a player meets them, in real runs of
// `pelmora-tool play` from its title (the whole-game routes of
// tests/routes/demo, then a few keys of the test's own): the pause menu of
// a story stage and the stage under it, the boxes of the world map and its
// menu with the text in them, a head-up display and a result without
// special points, the signs of 1-1; and, in this process, the story played
// as the tool plays it (from the title, or from a save near the stage
// looked at): the continue and pause menus over every stage, the timer over
// 1-2, the castle's result and ranking with no sign's text over them; and
// each stage played on its own: every sign's text high over the sky, the
// castle's clear and the ending's stage.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <numeric>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/play_script.h"
#include "data/key_config.h"
#include "platform/text.h"
#include "play/objects/hero.h"
#include "play/objects/message_window.h"
#include "play/objects/shot.h"
#include "play/objects/stage_character.h"
#include "play/objects/stage_item.h"
#include "play/world/stage_draw.h"
#include "play/world/stage_scene.h"
#include "scene/play_record.h"
#include "scene/ranking_draw.h"
#include "scene/scene.h"
#include "support/demo_routes.h"
#include "support/demo_story.h"
#include "support/harness.h"
#include "support/sandbox.h"
#include "support/sdl_pixels.h"
#include "support/test_files.h"
#include "support/trace_lines.h"

namespace {

namespace fs = std::filesystem;
using trace::Number;
using trace::Value;

// The contrast of two colours as the eye weighs their light (1 to 21).
double Contrast(uint32_t a, uint32_t b) {
  auto light = [](uint32_t c) {
    auto channel = [](uint32_t v) {
      const double s = v / 255.0;
      return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c >> 16 & 255) + 0.7152 * channel(c >> 8 & 255) + 0.0722 * channel(c & 255);
  };
  const double la = light(a), lb = light(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A frame as a screenshot reads.
Shot ShotOf(const plat::Frame& frame) {
  Shot shot;
  shot.w = frame.width, shot.h = frame.height;
  shot.px.assign(frame.pixels.begin(), frame.pixels.end());
  for (uint32_t& p : shot.px) p &= 0xFFFFFF;
  return shot;
}

// A made demo, played afresh for each run, from its title: the named
// routes, then the test's keys.
class DemoScreensTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(std::system((std::string(PELMORA_TOOL) + " make-demo '" + (folder_ / "demo") + "' > /dev/null").c_str()), 0);
    // The text colour (palette 241) and the frame line's (240), from the
    // palette picture (its rows 8..23 hold the palette numbers in order),
    // and the colours of the box picture inside its edges (a line the
    // picture draws along its edges is no ground for text).
    Shot palette, window;
    ASSERT_TRUE(LoadShot(folder_ / "demo/bmp/plt/Palette.bmp", palette));
    text_ = PaletteColour(palette, 241);
    frame_ = PaletteColour(palette, 240);
    ASSERT_TRUE(LoadShot(folder_ / "demo/bmp/Window.bmp", window));
    for (int y = 4; y < window.h - 4; ++y)
      for (int x = 4; x < window.w - 4; ++x) fill_.insert(window.At(x, y));
    ASSERT_FALSE(fill_.count(text_) || fill_.count(frame_));
  }

  // Plays the routes, then `keys` (a script with its length line), with the
  // dialogs answered by `answers`; the screenshots of `shots` (frames of the
  // whole run) are kept in shots_. The trace lines.
  std::vector<std::string> Play(const std::vector<const char*>& routes, const std::string& keys,
                                const std::vector<uint32_t>& shots = {}, const std::string& answers = "") {
    const std::string run = folder_ / ("run" + std::to_string(++runs_));
    fs::copy(folder_ / "demo", run, fs::copy_options::recursive);
    const DemoRouteChain chain = Routes(routes);
    EXPECT_TRUE(chain.complete);
    const std::string script = folder_.Write("keys" + std::to_string(runs_) + ".txt", keys);
    PlayScript parsed;
    std::string error;
    EXPECT_TRUE(parsed.Parse(keys, error)) << error;
    const uint32_t frames = chain.frames + parsed.Length();
    // One picture every so many frames: the greatest common divisor of the
    // frames asked for.
    uint32_t every = 0;
    for (uint32_t f : shots) every = std::gcd(every, f);
    std::string command = std::string(PELMORA_TOOL) + " play '" + run + "' --frames " + std::to_string(frames) +
                          chain.Inputs() + " --input '" + script + "' --trace '" + run + "/trace.jsonl'";
    if (every != 0) command += " --shots '" + run + "/shots' --every " + std::to_string(every);
    command += " > /dev/null 2> '" + run + "/errors.txt'";
    if (!answers.empty()) command = "PELMORA_DIALOG_ANSWERS='" + answers + "' " + command;
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Slurp(run + "/errors.txt");
    shots_.clear();
    for (uint32_t f : shots) {
      char name[32];
      std::snprintf(name, sizeof name, "/shots/frame-%06u.png", f);
      EXPECT_TRUE(LoadShot(run + name, shots_[f])) << name;
    }
    std::vector<std::string> lines = trace::Lines(Slurp(run + "/trace.jsonl"));
    EXPECT_EQ(lines.size(), frames);
    return lines;
  }
  // The named routes of tests/routes/demo, chained.
  static DemoRouteChain Routes(const std::vector<const char*>& names) {
    DemoRouteChain chain;
    for (const char* name : names) {
      const DemoRouteChain one = DemoRoutes({name});
      chain.paths.insert(chain.paths.end(), one.paths.begin(), one.paths.end());
      chain.frames += one.frames;
      chain.complete = chain.complete && one.complete;
    }
    return chain;
  }
  static uint32_t RoutesLength(const std::vector<const char*>& names) { return Routes(names).frames; }

  // Plays the story in this process (support/demo_story.h) to the end of
  // its scripts: the trace's lines from the scripts' first frame on (line
  // i: their frame i + 1); the pictures of their frames `shots` go into
  // shots_.
  std::vector<std::string> PlayStory(const DemoStoryStart& start, const std::vector<uint32_t>& shots = {}) {
    constexpr uint32_t kLead = 1000;  // frames enough for the title (and the map) before the scripts
    DemoStory story(start);
    EXPECT_TRUE(story.Ready());
    shots_.clear();
    const std::set<uint32_t> wanted(shots.begin(), shots.end());
    const bool played = story.Play(kLead + story.ScriptsLength(), [&](uint32_t frame) {
      if (story.ScriptsBegan() == 0 || frame < story.ScriptsBegan()) return false;
      const uint32_t at = frame - story.ScriptsBegan() + 1;
      if (wanted.count(at) != 0) {
        plat::Frame picture;
        EXPECT_TRUE(story.Game().LastFrame(picture));
        shots_[at] = ShotOf(picture);
      }
      return at >= story.ScriptsLength();
    });
    EXPECT_TRUE(played) << "the game ended before the scripts did";
    // The frames played, taken while the game stands still (a close
    // presents more).
    const std::vector<std::string>& trace = story.Trace();
    std::vector<std::string> lines;
    if (story.ScriptsBegan() != 0 && trace.size() >= story.ScriptsBegan())
      lines.assign(trace.begin() + (story.ScriptsBegan() - 1), trace.end());
    EXPECT_EQ(lines.size(), story.ScriptsLength());
    EXPECT_EQ(story.Game().Close(), 0);
    return lines;
  }

  TempFolder folder_{"demo-screens"};
  int runs_ = 0;
  uint32_t text_ = 0, frame_ = 0;
  std::set<uint32_t> fill_;
  std::map<uint32_t, Shot> shots_;
};

// The stage modes a trace goes through from frame `from` (1-based) on, each
// change once, with the scene: "scene/mode".
std::vector<std::string> ModesFrom(const std::vector<std::string>& lines, uint32_t from) {
  std::vector<std::string> seen;
  for (size_t i = from - 1; i < lines.size(); ++i) {
    const std::string now = Value(lines[i], "scene") + "/" + Value(lines[i], "mode");
    if (seen.empty() || seen.back() != now) seen.push_back(now);
  }
  return seen;
}

// The menu rows under the stage's pause and continue menus (from y 272, 16
// dots a row) that hold text.
int MenuRowsWithText(const Shot& shot, uint32_t text) {
  int rows = 0;
  for (int row = 0; row < 6; ++row) {
    bool has = false;
    for (int y = 272 + 16 * row; y < 288 + 16 * row; ++y)
      for (int x = 0; x < shot.w && !has; ++x) has = shot.At(x, y) == text;
    rows += has ? 1 : 0;
  }
  return rows;
}

// ---- the pause menu of a story stage ----

// The pause menu of a story stage offers retry and back to the map in a
// world the player has cleared (its rows then read "リトライ" and
// "マップへ戻る"): back to the map keeps the game (its lives, the world
// cleared: its next world opens from the map) and retry starts the stage
// again. In a world not yet cleared it offers quit and resume only: two
// steps down from resume come back to resume. A world cleared is entered
// again from the map by decide on it and "ステージに挑む". Runs: 1-1 from
// the title's new game; a game saved with world 1 cleared, its hero on it,
// continued from the title, and world 1 entered again.
TEST_F(DemoScreensTest, TheStoryPauseOffersRetryAndBackToTheMapInAClearedWorld) {
  constexpr const char* kAgain = "250 B1\n290 UP\n300 B1\n";  // decide on world 1, "ステージに挑む"
  constexpr uint32_t kPaused = 185;                          // the frame of the keys that pauses
  auto start = [&](bool cleared, const std::string& keys) {
    DemoStoryStart s;
    if (cleared) s.clearedWorlds = 1, s.standOn = 1, s.mapKeys = kAgain;
    s.scripts = {std::to_string(kPaused) + "-" + std::to_string(kPaused + 2) + " SPACE\n" + keys};
    return s;
  };
  const struct {
    const char* what;
    bool cleared;
    const char* keys;  // from the pause on
    int rows;
    std::vector<std::string> after;  // scene/mode from the pause on
  } cases[] = {
      {"a world not cleared yet, two steps down", false, "200 DOWN\n210 DOWN\n220 B1\nlength 320\n", 2,
       {"4/3", "4/2"}},
      {"a cleared world, retry", true, "210 DOWN\n230 B1\nlength 450\n", 4, {"4/3", "4/1", "4/2"}},
      {"a cleared world, back to the map", true, "210 DOWN\n220 DOWN\n230 B1\nlength 270\n", 4,
       {"4/3", "4/7", "1/-1", "1/null"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> lines;
    ASSERT_NO_FATAL_FAILURE(lines = PlayStory(start(c.cleared, c.keys), {kPaused + 10}));
    ASSERT_GT(lines.size(), kPaused + 10);
    ASSERT_EQ(Value(lines[kPaused - 2], "mode"), "2") << "the stage plays as the pause key goes down";
    EXPECT_EQ(ModesFrom(lines, kPaused), c.after);
    EXPECT_EQ(MenuRowsWithText(shots_[kPaused + 10], text_), c.rows);
    // Neither retry nor the way back to the map costs a life.
    EXPECT_EQ(Value(lines.back(), "lives"), Value(lines[kPaused - 1], "lives"));
  }
  // Back on the map with the game kept: world 1 stays cleared, so the way
  // east to world 2 is open (four steps, as the route to the sky goes),
  // and its first stage, 2-1, starts.
  std::vector<std::string> lines;
  ASSERT_NO_FATAL_FAILURE(lines = PlayStory(start(true, "210 DOWN\n220 DOWN\n230 B1\n"
                                                        "370 RIGHT\n380 RIGHT\n390 RIGHT\n400 RIGHT\n440 UP\n450 B1\n"
                                                        "length 510\n")));
  ASSERT_GT(lines.size(), kPaused);
  EXPECT_EQ(ModesFrom(lines, kPaused),
            (std::vector<std::string>{"4/3", "4/7", "1/-1", "1/null", "4/null", "4/0", "4/1"}));
  EXPECT_EQ(Value(lines.back(), "lives"), Value(lines[kPaused - 1], "lives"));
  EXPECT_NE(Value(lines.back(), "music"), Value(lines[kPaused - 1], "music")) << "2-1's tune, not 1-1's";
}

// ---- the continue and pause menus over every stage ----

// The continue menu (after a death) and the pause menu, white text drawn
// over the still stage (the pause: over the whole stage as it stood), read over
// every stage of the demo: every dot under their rows (the continue
// menu's two from y 272, the four the pause menu has in a cleared world),
// from two dots before the rows' first text to two dots past their last
// (the cursor's cell before them is the cursor's own), that is not text
// itself differs from the text's white by a contrast of 3 or more. In each
// stage, played in the story (the worlds' first stages from the title's
// new game, the later ones from a save with the worlds before them
// cleared, continued from the title): the pause key a moment after play
// begins, resume, then the keys of a death (1-1: into its first pit; 1-2:
// up to the turret's ledge and stand in its fire; 2-1, 2-2, 3-1: held
// still, hit by the UFOs, pushed into a wall by the screen, hit by the
// master under it).
constexpr const char* kPause = "185-187 SPACE\n230 B2\n";  // play begins at frame 179 of a stage's run
constexpr uint32_t kPaused = 210;                          // a frame of the keys in the pause menu
// 1-2: the tower's route up to the second lift's stop, the jump off onto
// the turret's ledge, and the hero stays there.
constexpr const char* kTowerClimb =
    "180-275 RIGHT\n350-379 B1\n356-378 RIGHT\n495-524 B1\n495-520 RIGHT\n548-590 RIGHT\n591-630 LEFT\n"
    "657 B3\n726-785 LEFT\n900-919 LEFT\n1050-1079 B1\n1050-1085 RIGHT\n1095-1124 B1\n1095-1135 LEFT\n1140-1169 B1\n"
    "1140-1180 RIGHT\n1185-1214 B1\n1185-1310 RIGHT\n1488-1517 B1\n1496-1515 LEFT\n1605-1634 B1\n1605-1626 LEFT\n";
struct MenuCase {
  const char* stage;
  int clearedWorlds;                // the story's start (DemoStoryStart)
  std::vector<const char*> routes;  // the stages' routes before it
  std::string keys;
  uint32_t dead;  // a frame (of the stage's keys) by which the continue menu shows
};
const MenuCase kMenuCases[] = {
    {"1-1", 0, {}, std::string(kPause) + "240-660 RIGHT\n386-415 B1\n", 590},
    {"1-2", 0, {"02-meadow.txt"}, kTowerClimb, 2120},
    {"2-1", 1, {}, kPause, 1620},
    {"2-2", 1, {"05-sky.txt"}, kPause, 1040},
    {"3-1", 2, {}, std::string(kPause) + "240-320 LEFT\n", 1290},
};

// One case a stage, so that the stages run side by side.
class DemoMenusTest : public DemoScreensTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(DemoMenusTest, TheContinueAndPauseMenusReadOverTheStage) {
  constexpr double kLeast = 3.0;
  const MenuCase& c = kMenuCases[GetParam()];
  const bool pauses = c.keys.find("SPACE") != std::string::npos;
  DemoStoryStart start;
  start.clearedWorlds = c.clearedWorlds;
  for (const char* route : c.routes) start.scripts.push_back(DemoRoute(route));
  // The keys may run on past the frame (the play stops there).
  start.scripts.push_back(c.keys + "length " + std::to_string(c.dead + 300) + "\n");
  const uint32_t routes = DemoRoutes(c.routes).frames;
  DemoStory story(start);
  ASSERT_TRUE(story.Ready());
  // The pictures of the pause and of the continue menu, by the frame of the
  // stage's keys.
  std::map<uint32_t, Shot> shots;
  ASSERT_TRUE(story.Play(400 + routes + c.dead, [&](uint32_t frame) {
    if (story.ScriptsBegan() == 0 || frame < story.ScriptsBegan() + routes) return false;
    const uint32_t key = frame - (story.ScriptsBegan() + routes) + 1;
    if (key != c.dead && !(pauses && key == kPaused)) return false;
    const auto* scene = dynamic_cast<const cStageScene*>(SceneManager.Scene(kSceneStage));
    EXPECT_TRUE(scene && scene->m_nMode == (key == c.dead ? kStageModeContinue : kStageModePause))
        << (key == c.dead ? "the continue menu" : "the pause menu") << " at frame " << key << " of the keys";
    plat::Frame picture;
    EXPECT_TRUE(story.Game().LastFrame(picture));
    shots[key] = ShotOf(picture);
    return key == c.dead;
  })) << "the game ended, or the continue menu was not reached";
  EXPECT_EQ(story.Game().Close(), 0);
  for (const auto& [at, shot] : shots) {
    const int rows = at == c.dead ? 2 : 4;
    SCOPED_TRACE(at == c.dead ? "the continue menu" : "the pause menu");
    int left = shot.w, right = -1;
    for (int y = 272; y < 272 + 16 * rows; ++y)
      for (int x = 0; x < shot.w; ++x)
        if (shot.At(x, y) == text_) left = std::min(left, x), right = std::max(right, x);
    ASSERT_LT(left, right) << "no menu drawn";
    int counted = 0;
    double least = 21;
    int atX = 0, atY = 0;
    for (int y = 272; y < 272 + 16 * rows; ++y)
      for (int x = left - 2; x <= right + 2; ++x) {
        const uint32_t dot = shot.At(x, y);
        if (dot == text_) continue;
        ++counted;
        if (Contrast(dot, text_) < least) least = Contrast(dot, text_), atX = x, atY = y;
      }
    ASSERT_GT(counted, 16 * 16 * rows);
    EXPECT_GE(least, kLeast) << "at (" << atX << ", " << atY << ")";
  }
  EXPECT_EQ(shots.size(), pauses ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(EveryStage, DemoMenusTest, ::testing::Range<size_t>(0, std::size(kMenuCases)),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           std::string name = std::string("Stage") + kMenuCases[info.param].stage;
                           name[name.find('-')] = '_';
                           return name;
                         });

// ---- the boxes of the world map and its menu, and the text in them ----

// Text stands on its own box's ground: in each box a player sees on the
// world map, its menu and the ranking, every dot next to a text dot is
// text or the box picture's own colour, never a frame line (the box's own
// or another box's, cutting through the text) nor a line of the picture.
// The ranking's box picture has its corner one dot right of and below the
// heading's corner: its frame line's inner row and column are the
// heading's first, which the heading's letters may touch; nothing is drawn
// over the line, and the pointer at the new entry keeps off it. The save list's rows keep off its top
// line (the lines between its rows run at each row's last dot, where the
// slashes of a row's date end). The signs of 1-1 and 1-2 keep a
// character's room round their text: no frame line within 8 dots of it.
// Run (the story in this process, from the title's new game): world 1
// (its signs on the way) to 1-2's result, F3 and the name "ABC" for the
// ranking, on the map C (the world's ranking), X (the menu), down to
// "タイトルへ" and its question, back, up to "オートセーブ" and its
// question, back, up to "セーブ", its slot list and its question.
TEST_F(DemoScreensTest, TextStandsOnItsOwnBoxsGround) {
  // 1-2's route to its result screen (without the decide that leaves it).
  std::string tower = Slurp(PELMORA_SOURCE_DIR "/tests/routes/demo/03-tower.txt");
  tower = tower.substr(0, tower.rfind(" B1\n"));
  tower = tower.substr(0, tower.rfind('\n') + 1);
  PlayScript climb;
  std::string error;
  ASSERT_TRUE(climb.Parse(tower, error)) << error;
  const uint32_t result = climb.Length() + 60;  // on the result screen
  const uint32_t base = RoutesLength({"01-title.txt", "02-meadow.txt"});
  const struct {
    uint32_t frame;  // after `result`
    const char* keys;
  } steps[] = {{0, "F3"},   {100, "B1"},   {160, "B1"}, {300, "B3"}, {360, "B2"},  {460, "DOWN"}, {470, "DOWN"},
               {480, "DOWN"}, {520, "B1"}, {580, "B2"}, {600, "UP"}, {610, "UP"}, {640, "B1"}, {700, "B2"},
               {720, "UP"}, {760, "B1"}, {820, "B1"}};
  std::string keys = tower;
  for (const auto& step : steps) keys += std::to_string(result + step.frame) + " " + step.keys + "\n";
  keys += "length " + std::to_string(result + 900) + "\n";
  // A picture in each screen's stretch, on one of its frames that 40 divides.
  constexpr uint32_t kEvery = 40;
  const struct {
    const char* what;
    uint32_t from, to;  // frames of the run
    const char* scene;
    int rankingX;       // the ranking box's x (its y is 64), or -1
    int listY;          // the save list's y, or -1
  } screens[] = {
      {"1-1's first sign", 440, 600, "4", -1, -1},
      {"1-1's second sign", 680, 840, "4", -1, -1},
      {"1-1's third sign", 1120, 1280, "4", -1, -1},
      {"1-2's sign", base + 180, base + 340, "4", -1, -1},
      {"the ranking after the entry", base + result + 10, base + result + 95, "4", 184, -1},
      {"the world's ranking on the map", base + result + 305, base + result + 355, "1", 367, -1},
      {"the menu and its total score", base + result + 400, base + result + 455, "2", -1, -1},
      {"the question of back to the title", base + result + 525, base + result + 575, "2", -1, -1},
      {"the question of auto-save", base + result + 645, base + result + 695, "2", -1, -1},
      {"the save list", base + result + 765, base + result + 815, "2", -1, 160},
      {"the save list's question", base + result + 825, base + result + 895, "2", -1, 160},
  };
  // The story played in this process: the frames after the title's route
  // are the scripts' (1-1's route, then 1-2's with the keys above).
  const uint32_t title = RoutesLength({"01-title.txt"});
  std::vector<uint32_t> frames;
  for (const auto& s : screens) {
    frames.push_back((s.from + kEvery - 1) / kEvery * kEvery - title);
    ASSERT_LE(frames.back(), s.to - title) << s.what;
  }
  DemoStoryStart start;
  start.scripts = {DemoRoute("02-meadow.txt"), keys};
  start.dialogAnswers = "text:ABC";
  std::vector<std::string> lines;
  ASSERT_NO_FATAL_FAILURE(lines = PlayStory(start, frames));
  ASSERT_EQ(lines.size(), base - title + result + 900);
  for (size_t i = 0; i < std::size(screens); ++i) {
    const auto& s = screens[i];
    SCOPED_TRACE(s.what);
    ASSERT_EQ(Value(lines[frames[i] - 1], "scene"), s.scene);
    const Shot& shot = shots_[frames[i]];
    const bool sign = s.rankingX < 0 && std::string(s.scene) == "4";
    const int room = sign ? 8 : 1;  // dots round the text clear of frame lines
    int texts = 0;
    for (int y = 20; y < shot.h; ++y)  // below the head-up display's strip and the lives box's line
      for (int x = 0; x < shot.w; ++x) {
        if (shot.At(x, y) != text_) continue;
        ++texts;
        for (int dy = -room; dy <= room; ++dy)
          for (int dx = -room; dx <= room; ++dx) {
            if (!shot.Inside(x + dx, y + dy)) continue;
            const uint32_t n = shot.At(x + dx, y + dy);
            const bool next = std::abs(dx) <= 1 && std::abs(dy) <= 1;
            const bool between = s.listY >= 0 && y + dy > s.listY && (y + dy - s.listY) % 16 == 15;  // rows' lines
            // The ranking's frame line runs along its heading's first row
            // and column (the box picture starts one dot right and below).
            const bool rankingCorner = s.rankingX >= 0 && ((y + dy == 64 && x + dx >= s.rankingX) ||
                                                           (x + dx == s.rankingX && y + dy >= 64));
            const bool ground = n == text_ || fill_.count(n) || (n == frame_ && (between || rankingCorner)) ||
                                (!next && n != frame_);
            ASSERT_TRUE(ground) << "text at (" << x << ", " << y << ") near " << std::hex << n << " at ("
                                << std::dec << x + dx << ", " << y + dy << ")";
          }
      }
    EXPECT_GT(texts, 100);
    if (s.rankingX < 0) continue;
    // The frame line along the box's left and top, by the heading and the
    // first place, whole: nothing drawn over it.
    const int left = s.rankingX, top = 64;  // the line's inner column and row
    for (int y = top; y < 64 + 32; ++y) ASSERT_EQ(shot.At(left, y), frame_) << "left line at y " << y;
    for (int x = left; x <= s.rankingX + 271; ++x) ASSERT_EQ(shot.At(x, top), frame_) << "top line at x " << x;
  }
  // The pointer at the new entry (the first place, on the line below the
  // heading): its dots, neither text nor the box's, three dots or more
  // right of the list's x.
  const Shot& ranking = shots_[frames[4]];
  int pointer = 0;
  for (int y = 80; y < 96; ++y)
    for (int x = 185; x < 200; ++x) {
      const uint32_t dot = ranking.At(x, y);
      if (dot == text_ || fill_.count(dot)) continue;
      ++pointer;
      EXPECT_GE(x, 184 + 3) << "the pointer at (" << x << ", " << y << ")";
    }
  EXPECT_GT(pointer, 20) << "the pointer is drawn";
}

// ---- the stage under the pause menu ----

// The pause menu stands over the whole stage as it stood when the game
// paused: the head-up display, the timer's digits, the ground and the hero
// are drawn as on the last frame of play (its rows show between them).
// Run: the title's route, the pause key a moment into 1-1.
TEST_F(DemoScreensTest, ThePauseMenuStandsOverTheWholeStage) {
  const uint32_t base = RoutesLength({"01-title.txt"}), played = base + 184, paused = base + 200;
  std::vector<std::string> lines;
  ASSERT_NO_FATAL_FAILURE(lines = Play({"01-title.txt"}, "185-187 SPACE\nlength 230\n", {played, paused}));
  ASSERT_EQ(Value(lines[played - 1], "mode"), "2");
  ASSERT_EQ(Value(lines[paused - 1], "mode"), "3");
  const Shot& play = shots_[played];
  const Shot& pause = shots_[paused];
  EXPECT_EQ(MenuRowsWithText(pause, text_), 2);
  int differing = 0;
  for (int y = 0; y < play.h; ++y) {
    if (y >= 56 && y < 400) continue;  // the head-up display and the digits; the ground and the hero
    for (int x = 0; x < play.w; ++x) differing += play.At(x, y) != pause.At(x, y);
  }
  EXPECT_EQ(differing, 0);
}

// ---- what the demo does not use: special points ----

// The game's heroes have no special points, and nothing shows them: the
// head-up display of a stage has no SP gauge (its icon, the fourth of the
// icon row of Mark.bmp, is nowhere in the strip, where the HP gauge's, the
// third, is), and the result box lists four values (the score, the time
// left, the clear time and the HP left), not the SP left. Run: 1-1 from
// the title to its result.
TEST_F(DemoScreensTest, NeitherTheHeadUpDisplayNorTheResultShowsSpecialPoints) {
  const uint32_t base = RoutesLength({"01-title.txt"});
  const uint32_t playing = base + 240, result = RoutesLength({"01-title.txt", "02-meadow.txt"}) - 12;
  std::vector<std::string> lines;
  ASSERT_NO_FATAL_FAILURE(lines = Play({"01-title.txt", "02-meadow.txt"}, "length 1\n", {playing, result}));
  ASSERT_EQ(Value(lines[playing - 1], "mode"), "2");
  ASSERT_EQ(Value(lines[result - 1], "mode"), "4");
  ASSERT_NE(Value(lines[result - 1], "result"), "null") << "the result box shows";
  Shot marks;
  ASSERT_TRUE(LoadShot(folder_ / "demo/bmp/Mark.bmp", marks));
  // Where the 16 x 16 icon at (iconX, 32) of the mark picture stands in the
  // head-up display's strip (its transparent dots aside): its x, or -1.
  auto iconAt = [&](const Shot& shot, int iconX) {
    const uint32_t key = marks.At(0, 0);
    for (int y = 0; y + 16 <= 20; ++y)
      for (int x = 0; x + 16 <= shot.w; ++x) {
        bool same = true;
        for (int dy = 0; dy < 16 && same; ++dy)
          for (int dx = 0; dx < 16 && same; ++dx) {
            const uint32_t icon = marks.At(iconX + dx, 32 + dy);
            same = icon == key || icon == shot.At(x + dx, y + dy);
          }
        if (same) return x;
      }
    return -1;
  };
  EXPECT_GE(iconAt(shots_[playing], 32), 0) << "the HP gauge's icon";
  EXPECT_EQ(iconAt(shots_[playing], 48), -1) << "an SP gauge's icon";
  // The box's rows (16 dots each from its top at y 224, right of x 336)
  // that hold text.
  const Shot& box = shots_[result];
  int rows = 0;
  for (int row = 0; row < 8; ++row) {
    bool has = false;
    for (int y = 224 + 16 * row; y < 240 + 16 * row && y < box.h; ++y)
      for (int x = 336; x < box.w && !has; ++x) has = box.At(x, y) == text_;
    rows += has ? 1 : 0;
  }
  EXPECT_EQ(rows, 4);
}

// ---- the timer's digits over 1-2 ----

// On the tower's first screen, while the hero waits for the first lift and
// rides it, and up the tower's top, from the turret's ledge to the flag
// and the result, the timer's digits (three of 32 x 32 at (272, 24)) stand
// on open sky: no dot under them has a colour of the tower's bricks or
// crystal (the colours of their pictures that the sky's picture does not
// have), every tenth frame. Run: the routes of 1-1 and 1-2 from the title.
TEST_F(DemoScreensTest, TheTimerStandsOnOpenSkyOverTheTowersFirstScreenAndTop) {
  Shot blocks, crystal, sky;
  ASSERT_TRUE(LoadShot(folder_ / "demo/bmp/Block.bmp", blocks));
  ASSERT_TRUE(LoadShot(folder_ / "demo/bmp/Crystal.bmp", crystal));
  ASSERT_TRUE(LoadShot(folder_ / "demo/bmp/StageSky.bmp", sky));
  // The tower's bricks are block 4 of the block picture (15 a row), its
  // crystal the first cell of its own picture.
  std::set<uint32_t> solid;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      if (blocks.At(4 * 32 + x, y) != blocks.At(0, 0)) solid.insert(blocks.At(4 * 32 + x, y));
      if (crystal.At(x, y) != crystal.At(0, 0)) solid.insert(crystal.At(x, y));
    }
  for (uint32_t dot : sky.px) solid.erase(dot);
  ASSERT_GE(solid.size(), 3u);
  DemoStoryStart start;
  start.scripts = {DemoRoute("02-meadow.txt"), DemoRoute("03-tower.txt")};
  DemoStory story(start);
  ASSERT_TRUE(story.Ready());
  const uint32_t meadow = RoutesLength({"02-meadow.txt"}), tower = RoutesLength({"03-tower.txt"});
  // The frames of the tower's route looked at.
  auto looked = [&](uint32_t f) { return f % 10 == 0 && ((f > 180 && f < 1000) || (f >= 1250 && f < tower - 10)); };
  int seen = 0;
  ASSERT_TRUE(story.Play(400 + meadow + tower, [&](uint32_t frame) {
    if (story.ScriptsBegan() == 0 || frame < story.ScriptsBegan() + meadow) return false;
    const uint32_t f = frame - (story.ScriptsBegan() + meadow) + 1;
    if (f >= tower - 10) return true;
    if (!looked(f)) return false;
    ++seen;
    EXPECT_EQ(SceneManager.m_nCurrent.load(), kSceneStage) << f;
    plat::Frame picture;
    EXPECT_TRUE(story.Game().LastFrame(picture));
    const Shot shot = ShotOf(picture);
    for (int y = 24; y < 56; ++y)
      for (int x = 272; x < 368; ++x)
        if (solid.count(shot.At(x, y))) {
          ADD_FAILURE() << "a block under the digits at (" << x << ", " << y << "), frame " << f << " of 1-2's route";
          return true;
        }
    return false;
  }));
  int frames = 0;
  for (uint32_t f = 1; f < tower - 10; ++f) frames += looked(f) ? 1 : 0;
  EXPECT_EQ(seen, frames) << "the route was not played to its end";
  EXPECT_EQ(story.Game().Close(), 0);
}

// ---- the timer's digits over 2-1 ----

// Over the whole of 2-1, as its sky scrolls by, the timer's digits (three
// of 32 x 32 at (272, 24)) stand on clear sky: on every frame of play no
// cloud lies in their rectangle, neither one of the sky picture's (its
// grey-white dots, from the place the stage draws the picture from on that
// frame: its drift and the view's scroll) nor a cloud block (雲) of the
// stage's map (the cell under each dot as the view stands). Run: the story
// from a save with world 1 cleared, 2-1's route.
TEST_F(DemoScreensTest, TheTimerStandsClearOfTheSkysCloudsOverTheUfoSky) {
  constexpr int kLeft = 272, kTop = 24, kRight = 272 + 3 * 32 - 1, kBottom = 24 + 31;
  Shot sky;
  ASSERT_TRUE(LoadShot(folder_ / "demo/bmp/StageSky.bmp", sky));
  auto cloud = [](uint32_t c) {
    const uint32_t r = c >> 16 & 255, g = c >> 8 & 255, b = c & 255;
    return r == g && g == b && r >= 160;
  };
  ASSERT_GT(std::count_if(sky.px.begin(), sky.px.end(), cloud), 1000) << "the sky picture's clouds";
  const std::string cloudBlock = plat::Sjis("雲");
  DemoStoryStart start;
  start.clearedWorlds = 1;
  start.scripts = {DemoRoute("05-sky.txt")};
  DemoStory story(start);
  ASSERT_TRUE(story.Ready());
  int played = 0, cloudBlocksSeen = 0;
  ASSERT_TRUE(story.Play(1000 + story.ScriptsLength(), [&](uint32_t frame) {
    if (story.ScriptsBegan() == 0 || frame < story.ScriptsBegan()) return false;
    const uint32_t f = frame - story.ScriptsBegan() + 1;
    if (f >= story.ScriptsLength()) return true;
    auto* scene = dynamic_cast<cStageScene*>(SceneManager.Scene(kSceneStage));
    if (SceneManager.m_nCurrent.load() != kSceneStage || !scene || scene->m_nMode != kStageModePlay) return false;
    ++played;
    // The sky picture, the stage's one background.
    if (StageData.m_Backgrounds.size() != 1 ||
        StageData.m_Backgrounds[0].m_strFile != plat::Sjis("bmp\\StageSky.bmp")) {
      ADD_FAILURE() << "2-1's background is not the sky picture alone";
      return true;
    }
    const cStageBackground& b = StageData.m_Backgrounds[0];
    const cBackgroundView view = scene->BackgroundView();
    auto wrap = [](int32_t v, int32_t size) { return (v % size + size) % size; };
    const int32_t ox = wrap(BackgroundSourceOffset(b.m_bAutoScrollX != 0, b.m_dScrollX, b.m_dScrollSpeedX,
                                                   view.scrollX, view.columnOffset),
                            sky.w);
    const int32_t oy = wrap(BackgroundSourceOffset(b.m_bAutoScrollY != 0, b.m_dScrollY, b.m_dScrollSpeedY,
                                                   view.scrollY, view.rowOffset),
                            sky.h);
    const int32_t sx = static_cast<int32_t>(std::trunc(scene->m_ScrollX.position));
    const int32_t sy = static_cast<int32_t>(std::trunc(scene->m_ScrollY.position));
    for (int y = kTop; y <= kBottom; ++y)
      for (int x = kLeft; x <= kRight; ++x) {
        if (cloud(sky.At((ox + x) % sky.w, (oy + y) % sky.h))) {
          ADD_FAILURE() << "a cloud of the sky under the digits at (" << x << ", " << y << "), frame " << f
                        << " of 2-1's route";
          return true;
        }
        const int index = scene->m_BlockMap.CellIndex((sx + x) >> 5, (sy + y) >> 5);
        if (index >= 0 && scene->m_BlockMap.HasBlock(index) && scene->m_BlockMap.Block(index).m_strName == cloudBlock) {
          ADD_FAILURE() << "a cloud block under the digits at (" << x << ", " << y << "), frame " << f
                        << " of 2-1's route";
          return true;
        }
      }
    // The cloud blocks the view shows (the check above can see them).
    for (int y = 0; y < 480; y += 32)
      for (int x = 0; x < 640; x += 32) {
        const int index = scene->m_BlockMap.CellIndex((sx + x) >> 5, (sy + y) >> 5);
        cloudBlocksSeen += index >= 0 && scene->m_BlockMap.HasBlock(index) &&
                           scene->m_BlockMap.Block(index).m_strName == cloudBlock;
      }
    return false;
  })) << "the game ended before the route did";
  EXPECT_EQ(story.Game().Close(), 0);
  EXPECT_GT(played, 2500) << "frames of play looked at";
  EXPECT_GT(cloudBlocksSeen, 0) << "no cloud block in view on the way";
}

// ---- the title's key panels and the save slots' list ----

// The title picture's two key panels stand where the save slots' list,
// drawn over the title for a new game and for continue, does not reach:
// no dot of either panel lies in the list's rectangle. The list's rectangle
// is where its frame line (palette 240) stands on the screen once the
// title's first decide has opened it, and the title picture has none of
// that colour there. A panel is found in the title picture by its words
// (the text colour, which only the key help has in it: those left of the
// middle and those right of it) and its frame: outward from the words, the
// first columns each way that are one colour all down the words' height,
// and the rows above and below that are one of those colours all across
// between them (the frame's two lines).
TEST_F(DemoScreensTest, TheTitlesKeyPanelsStandClearOfTheSaveSlotsList) {
  Shot title;
  ASSERT_TRUE(LoadShot(folder_ / "demo/bmp/Title.bmp", title));
  std::vector<std::string> lines;
  ASSERT_NO_FATAL_FAILURE(lines = Play({}, "100 B1\nlength 130\n", {130}));
  const Shot& listed = shots_[130];
  ASSERT_EQ(listed.px.size(), title.px.size());
  int listLeft = listed.w, listTop = listed.h, listRight = -1, listBottom = -1;
  for (int y = 0; y < listed.h; ++y)
    for (int x = 0; x < listed.w; ++x)
      if (listed.At(x, y) == frame_ && title.At(x, y) != frame_)
        listLeft = std::min(listLeft, x), listRight = std::max(listRight, x), listTop = std::min(listTop, y),
        listBottom = std::max(listBottom, y);
  ASSERT_GT(listRight - listLeft, 200) << "no slot list drawn";
  ASSERT_GT(listBottom - listTop, 100) << "no slot list drawn";

  for (const bool right : {false, true}) {
    SCOPED_TRACE(right ? "the right-hand panel" : "the left-hand panel");
    int x0 = title.w, y0 = title.h, x1 = -1, y1 = -1;
    std::set<int> wordRows;
    for (int y = 0; y < title.h; ++y)
      for (int x = right ? title.w / 2 : 0; x < (right ? title.w : title.w / 2); ++x)
        if (title.At(x, y) == text_)
          x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y), wordRows.insert(y);
    ASSERT_LE(x0, x1) << "no key help";
    int wordLines = 0;
    for (auto it = wordRows.begin(); it != wordRows.end(); ++it)
      wordLines += it == wordRows.begin() || !wordRows.count(*it - 1);
    EXPECT_EQ(wordLines, 7) << "lines of key help";
    // One colour along a column over [y0, y1], or along a row over [a, b].
    auto column = [&](int x, uint32_t& c) {
      c = title.At(x, y0);
      for (int y = y0; y <= y1; ++y)
        if (title.At(x, y) != c) return false;
      return true;
    };
    auto row = [&](int y, int a, int b, uint32_t& c) {
      c = title.At(a, y);
      for (int x = a; x <= b; ++x)
        if (title.At(x, y) != c) return false;
      return true;
    };
    std::set<uint32_t> frameColours;
    // The frame's columns each way: the first one-colour column, and the
    // next while they are one colour too.
    auto edge = [&](int from, int step) {
      uint32_t c = 0;
      int x = from;
      while (x >= 0 && x < title.w && !column(x, c)) x += step;
      if (x < 0 || x >= title.w) return -1;
      frameColours.insert(c);
      while (x + step >= 0 && x + step < title.w && column(x + step, c)) frameColours.insert(c), x += step;
      return x;
    };
    const int left = edge(x0 - 1, -1), rightEdge = edge(x1 + 1, 1);
    ASSERT_GE(left, 0) << "no frame left of the words";
    ASSERT_GE(rightEdge, 0) << "no frame right of the words";
    auto across = [&](int from, int step) {
      uint32_t c = 0;
      int y = from;
      while (y >= 0 && y < title.h && !(row(y, left, rightEdge, c) && frameColours.count(c))) y += step;
      if (y < 0 || y >= title.h) return -1;
      while (y + step >= 0 && y + step < title.h && row(y + step, left, rightEdge, c) && frameColours.count(c))
        y += step;
      return y;
    };
    const int top = across(y0 - 1, -1), bottom = across(y1 + 1, 1);
    ASSERT_GE(top, 0) << "no frame over the words";
    ASSERT_GE(bottom, 0) << "no frame under the words";
    EXPECT_FALSE(left <= listRight && listLeft <= rightEdge && top <= listBottom && listTop <= bottom)
        << "the panel (" << left << ", " << top << ")-(" << rightEdge << ", " << bottom << ") under the list ("
        << listLeft << ", " << listTop << ")-(" << listRight << ", " << listBottom << ")";
  }
}

// ---- the signs' boxes ----

// The first sign's text, shown while the hero stands by it at 1-1's start,
// hides no gold: the box (the frame line's dots below the head-up display)
// and the gold in view (the items of the trace, 32 x 32 each) do not meet.
// Run: the title's route and the first moments of 1-1.
TEST_F(DemoScreensTest, TheFirstSignsBoxHidesNoGold) {
  const uint32_t base = RoutesLength({"01-title.txt"}), at = base + 200;
  std::vector<std::string> lines;
  ASSERT_NO_FATAL_FAILURE(lines = Play({"01-title.txt"}, "length 230\n", {at}));
  ASSERT_NE(Value(lines[at - 1], "messages").find("Zでジャンプ"), std::string::npos) << "the first sign's text shows";
  const Shot& shot = shots_[at];
  int left = shot.w, right = -1, top = shot.h, bottom = -1;
  for (int y = 20; y < shot.h; ++y)
    for (int x = 0; x < shot.w; ++x)
      if (shot.At(x, y) == frame_) left = std::min(left, x), right = std::max(right, x), top = std::min(top, y),
                                   bottom = std::max(bottom, y);
  ASSERT_LT(left, right) << "no box";
  int gold = 0;
  for (const std::string& item : trace::Objects(Value(lines[at - 1], "items"))) {
    // The stage begins ten blocks in; the view stands at its left edge.
    const int x = static_cast<int>(Number(item, "x")) - 320, y = static_cast<int>(Number(item, "y")) - 320;
    if (x >= shot.w) continue;
    ++gold;
    EXPECT_FALSE(x < right && x + 32 > left && y < bottom && y + 32 > top)
        << "an item at (" << x << ", " << y << ") under the box (" << left << ", " << top << ")-(" << right << ", "
        << bottom << ")";
  }
  EXPECT_GE(gold, 3) << "the first screen's gold";
}

// Every sign of 1-1 reads as written, without a gap of two blanks between
// its words (each blank a character's room). Run: 1-1 from the title.
TEST_F(DemoScreensTest, TheMeadowsSignsHaveNoWideGaps) {
  std::vector<std::string> lines;
  ASSERT_NO_FATAL_FAILURE(lines = Play({"01-title.txt", "02-meadow.txt"}, "length 1\n"));
  std::set<std::string> signs;
  for (const std::string& line : lines) {
    const std::string messages = Value(line, "messages");  // the windows' texts
    if (Value(line, "scene") == "4" && messages.find("\\n") != std::string::npos) signs.insert(messages);
  }
  EXPECT_GE(signs.size(), 3u) << "the three signs read";
  for (const std::string& sign : signs) {
    EXPECT_EQ(sign.find("  "), std::string::npos) << sign;
    EXPECT_EQ(sign.find("\u3000"), std::string::npos) << sign;
  }
}

// ---- the third sign of 1-1 ----

// The third sign of 1-1 tells where the gold of the coin blocks goes, and
// it goes there: the score, ten a piece (the head-up display shows the
// score by its cup). Run: the route of 1-1 from the title.
TEST_F(DemoScreensTest, TheThirdSignSaysTheGoldGoesToTheScore) {
  std::vector<std::string> lines;
  ASSERT_NO_FATAL_FAILURE(lines = Play({"01-title.txt", "02-meadow.txt"}, "length 1\n"));
  const std::string coinBlocks = std::string("コインブロック");
  bool signed_ = false;
  int gold = 0;
  size_t popUps = 0;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string messages = Value(lines[i], "messages");
    if (messages.find(coinBlocks) != std::string::npos) {
      signed_ = true;
      EXPECT_NE(messages.find("スコアが10ふえる"), std::string::npos) << messages;
    }
    // A gold piece taken shows its coin rising over the hero ("icon 2 6 0").
    size_t now = 0;
    for (size_t at = messages.find("icon 2 6 0"); at != std::string::npos; at = messages.find("icon 2 6 0", at + 1))
      ++now;
    if (now > popUps && Value(lines[i], "scene") == "4") {
      ++gold;
      EXPECT_EQ(Number(lines[i], "score") - Number(lines[i - 1], "score"), 10.0 * static_cast<double>(now - popUps))
          << "frame " << Value(lines[i], "frame");
    }
    popUps = now;
  }
  EXPECT_TRUE(signed_) << "the third sign was read";
  EXPECT_GE(gold, 5) << "gold taken on the way";
}

// ---- the castle's result and ranking ----

// The castle's result and its ranking list stand over no sign's text. The
// hero fights the master from the inner end of the right-hand ledge, a
// step nearer the hall's sign than the route stands (its text shows as the
// master falls, and would show on); from the castle's clear on, through
// its result, the name entered for the ranking (F3, "ABC") and the
// ranking list, no frame shows the sign's text. Run: a game saved with
// worlds 1 and 2 cleared, continued from the title onto the castle, then
// the master's route with that step, F3 on the result and decide on the
// ranking.
TEST_F(DemoScreensTest, TheCastlesResultAndRankingShowNoSignText) {
  std::string master = Slurp(PELMORA_SOURCE_DIR "/tests/routes/demo/08-master.txt");
  master = master.substr(0, master.rfind("940 B1"));  // up to the result's decide
  DemoStoryStart start;
  start.clearedWorlds = 2;
  start.scripts = {master + "600-604 LEFT\n920 F3\n1100 B1\nlength 1200\n"};
  start.dialogAnswers = "text:ABC";
  DemoStory story(start);
  ASSERT_TRUE(story.Ready());
  const std::string sign = plat::Utf8ToCp932("魔王がほえたら");
  auto scene = [] { return dynamic_cast<const cStageScene*>(SceneManager.Scene(kSceneStage)); };
  auto signShown = [&] {
    const cStageScene* s = scene();
    if (s == nullptr) return false;
    for (const auto& window : s->m_MessageWindows)
      if (window->m_Settings.style == kMessageText && window->m_strShown.find(sign) != std::string::npos) return true;
    return false;
  };
  // Frames counted as the master's keys count them.
  uint32_t lastShown = 0, result = 0, last = 0;
  ASSERT_TRUE(story.Play(2000, [&](uint32_t frame) {
    if (story.ScriptsBegan() == 0) return false;
    const uint32_t key = frame - story.ScriptsBegan() + 1;
    const cStageScene* s = scene();
    if (result == 0) {
      if (s != nullptr && s->m_nMode == kStageModeResult) result = key;
      else if (signShown()) lastShown = key;
      return false;
    }
    if (SceneManager.m_nCurrent.load() != kSceneStage) return true;  // the result and the ranking are left
    EXPECT_FALSE(signShown()) << "the sign's text at frame " << key << " (mode " << s->m_nMode << ")";
    last = key;
    return key >= 1200;
  })) << "the game ended, or the run stopped first";
  ASSERT_NE(result, 0u) << "the castle was never cleared";
  EXPECT_GT(lastShown + 120, result) << "the sign's text did not show as the castle was cleared";
  EXPECT_GT(last, 920u) << "the result was left before F3";
  EXPECT_TRUE(fs::exists(story.Game().PathOf("user_data/story/c03.rkg")))
      << "the name was not entered in the castle's ranking";
  EXPECT_EQ(story.Game().Close(), 0);
}

// ---- the castle's clear and the ending ----

// Plays a stage file of the made demo on its own (the game's test play of
// it) with the key script `route`, whose frames count from the world map's
// choice (play begins at its frame `playBegins`), for at most `frames`
// frames of it or until `done` holds. `each` is called after every frame of
// play.
void PlayStageAlone(GameHarness& game, const std::string& route, uint32_t frames,
                    const std::function<bool()>& done, const std::function<void(uint32_t)>& each,
                    uint32_t playBegins = 179) {
  ASSERT_EQ(std::system((std::string(PELMORA_TOOL) + " make-demo --force '" + game.Folder() + "' > /dev/null").c_str()), 0);
  PlayScript script;
  std::string error;
  ASSERT_TRUE(script.Parse(route, error)) << error;
  cKeyConfig config;
  SetDefaultKeys(config);
  ASSERT_TRUE(game.Start());
  auto scene = [] { return dynamic_cast<const cStageScene*>(SceneManager.Scene(kSceneStage)); };
  for (int i = 0; i < 3000 && !(scene() && scene()->m_nMode == kStageModePlay); ++i) ASSERT_TRUE(game.StepFrames(1));
  ASSERT_TRUE(scene() && scene()->m_nMode == kStageModePlay);
  PlayKeySet held = 0;
  for (uint32_t frame = playBegins + 1; frame <= frames && !done(); ++frame) {
    const PlayKeySet wanted = script.KeysAt(frame);
    for (int k = 0; k < kPlayKeyCount; ++k) {
      const PlayKeySet bit = PlayKeySet{1} << k;
      if ((wanted & bit) == (held & bit)) continue;
      if (wanted & bit)
        game.PressKey(PlayKeyCode(k, config));
      else
        game.ReleaseKey(PlayKeyCode(k, config));
    }
    held = wanted;
    ASSERT_TRUE(game.StepFrames(1));
    each(frame);
  }
}

// Every sign's text stands high on the screen, over the sky, clear of the
// hero's way. Each stage with signs is played on its own by its route; the
// window of a sign's text, where the game draws it, stands below the
// head-up display and the timer's digits (from y 56) with its foot in the
// screen's top third (above y 160). In each frame it shows, it covers no
// block, no lift and no item (the gold, a heart, the flag) on the screen;
// and wherever the hero is drawn from the text's first showing to five
// seconds after its last (1-2: waiting for its first lift and riding it
// up), the hero stays clear of every place the window stood. Nor does an
// enemy walk or fly under it: in each frame it shows, no character but the
// lifts and the signs is drawn where the window stands.
TEST(DemoSignsTest, EverySignsTextStandsHighOverTheSkyClearOfTheHerosWay) {
  struct Box {
    int left, top, right, bottom;  // screen dots, edges included
    bool Meets(const Box& o) const { return left <= o.right && right >= o.left && top <= o.bottom && bottom >= o.top; }
  };
  const struct {
    const char* stage;
    const char* route;
    uint32_t playBegins;
    size_t signs;  // its signs' texts
  } stages[] = {
      {"c01-1", "02-meadow.txt", 179, 3},
      {"c01-2", "03-tower.txt", 177, 1},
      {"c02-2", "06-wind.txt", 177, 1},
      {"c03-1", "08-master.txt", 179, 1},
  };
  for (const auto& st : stages) {
    SCOPED_TRACE(st.stage);
    GameHarness::Options options;
    options.commandLine = std::string("data\\stg4\\") + st.stage + ".stg4_001";
    options.writeProject = false;
    GameHarness game(options);
    auto scene = [] { return dynamic_cast<cStageScene*>(SceneManager.Scene(kSceneStage)); };
    const std::string sign = plat::Utf8ToCp932("看板");  // the signs' type
    std::map<std::string, std::set<std::tuple<int, int, int, int>>> stood;  // each text's window places
    std::vector<std::pair<uint32_t, Box>> hero;                            // where the hero was drawn
    uint32_t firstShown = 0, lastShown = 0;
    ASSERT_NO_FATAL_FAILURE(PlayStageAlone(
        game, Slurp(std::string(PELMORA_SOURCE_DIR "/tests/routes/demo/") + st.route), 4000,
        [&] { return lastShown != 0 && hero.size() > 0 && hero.back().first > lastShown + 300; },
        [&](uint32_t frame) {
          cStageScene& s = *scene();
          const int vx = static_cast<int>(StageViewX().position), vy = static_cast<int>(StageViewY().position);
          auto at = [&](double x, double y, int w, int h) {
            const int left = static_cast<int>(x) - vx, top = static_cast<int>(y) - vy;
            return Box{left, top, left + w - 1, top + h - 1};
          };
          const cHero& h = s.Hero();
          hero.push_back({frame, at(h.m_dX - h.m_nMarginX, h.m_dY - h.m_nMarginY, h.m_nDrawWidth, h.m_nDrawHeight)});
          for (const auto& window : s.m_MessageWindows) {
            // A window is drawn first in the frame after it opens (its
            // drawn place is 0, 0 until then).
            if (window->m_Settings.style != kMessageText || window->m_strShown.empty()) continue;
            if (window->m_nDrawnX == 0 && window->m_nDrawnY == 0) continue;
            if (firstShown == 0) firstShown = frame;
            lastShown = frame;
            const Box box{window->m_nDrawnX, window->m_nDrawnY, window->m_nDrawnX + window->m_nWidth - 1,
                          window->m_nDrawnY + window->m_nHeight - 1};
            const std::string text = plat::Cp932ToUtf8(window->m_strShown);
            stood[text].insert({box.left, box.top, box.right, box.bottom});
            const std::string where = text + "'s window at (" + std::to_string(box.left) + ", " +
                                      std::to_string(box.top) + ")-(" + std::to_string(box.right) + ", " +
                                      std::to_string(box.bottom) + "), frame " + std::to_string(frame);
            EXPECT_GE(box.top, 56) << where;
            EXPECT_LT(box.bottom, 160) << where;
            for (size_t i = 0; i < StageData.m_PlacedBlocks.size(); ++i) {
              const cEdBlock& b = StageData.m_PlacedBlocks[i];
              EXPECT_FALSE(box.Meets(at(320 + b.m_nWord1 * 32, 320 + b.m_nWord2 * 32, 32, 32)))
                  << where << " over the block at column " << b.m_nWord1 << ", row " << b.m_nWord2;
            }
            for (const cStageCharacter& c : s.m_CharacterList) {
              if (c.m_byBlockCharacter == 0) continue;
              EXPECT_FALSE(box.Meets(at(c.m_dX, c.m_dY, 32, 32)))
                  << where << " over a lift at (" << c.m_dX << ", " << c.m_dY << ")";
            }
            // No enemy is drawn under it: every character but the lifts
            // and the signs, where it is drawn in this frame.
            for (const cStageCharacter& c : s.m_CharacterList) {
              if (c.m_byBlockCharacter != 0 || c.Definition().m_strName == sign || !c.m_bPresent || c.m_bRemoved)
                continue;
              const Box drawn = at(c.m_dX - c.m_nMarginX, c.m_dY - c.m_nMarginY, c.m_nDrawWidth, c.m_nDrawHeight);
              EXPECT_FALSE(box.Meets(drawn)) << where << " over " << plat::Cp932ToUtf8(c.Definition().m_strName)
                                             << " drawn at (" << drawn.left << ", " << drawn.top << ")-("
                                             << drawn.right << ", " << drawn.bottom << ")";
            }
            for (const cStageItem& item : s.m_ItemList)
              EXPECT_FALSE(box.Meets(at(item.m_dX, item.m_dY, 32, 32)))
                  << where << " over an item at (" << item.m_dX << ", " << item.m_dY << ")";
          }
        },
        st.playBegins));
    EXPECT_EQ(stood.size(), st.signs);
    ASSERT_GT(lastShown, 0u) << "no sign's text showed";
    for (const auto& [text, places] : stood)
      for (const auto& [left, top, right, bottom] : places)
        for (const auto& [frame, drawn] : hero) {
          if (frame < firstShown || frame > lastShown + 300) continue;
          EXPECT_FALSE(drawn.Meets({left, top, right, bottom}))
              << "the hero drawn at (" << drawn.left << ", " << drawn.top << "), frame " << frame << ", under "
              << text << "'s window at (" << left << ", " << top << ")";
        }
    EXPECT_EQ(game.Close(), 0);
  }
}

// 3-1 played on its own with the master's route: the master beaten, its
// light clears the castle, and from the clear on no shot is in the hall:
// the result screen holds the game still, and a shot then would hang in
// the air over it. The hero fires four shots across the hall just before
// the clear comes, to be cleared with the master's.
TEST(DemoEndingTest, NoShotHangsOverTheCastlesResult) {
  GameHarness::Options options;
  options.commandLine = "data\\stg4\\c03-1.stg4_001";
  options.writeProject = false;
  GameHarness game(options);
  std::string route = Slurp(PELMORA_SOURCE_DIR "/tests/routes/demo/08-master.txt");
  route.insert(route.rfind("length"), "765 B2\n771 B2\n777 B2\n783 B2\n");
  auto scene = [] { return dynamic_cast<const cStageScene*>(SceneManager.Scene(kSceneStage)); };
  int resultFrames = 0;
  bool fired = false;
  ASSERT_NO_FATAL_FAILURE(PlayStageAlone(
      game, route, 2000, [&] { return resultFrames >= 60; },
      [&](uint32_t frame) {
        if (scene()->m_nMode == kStageModePlay && frame >= 765)  // the hero's shots
          for (const auto& shot : scene()->m_ShotList) fired = fired || !shot->m_bRemove;
        if (scene()->m_nMode != kStageModeResult) return;
        ++resultFrames;
        // Shots marked for removal are neither moved nor drawn again.
        for (const auto& shot : scene()->m_ShotList)
          ASSERT_TRUE(shot->m_bRemove) << "a shot over the result, frame " << frame;
      }));
  EXPECT_TRUE(fired) << "the hero's shots flew before the clear";
  EXPECT_EQ(resultFrames, 60) << "the master beaten and the castle cleared";
  EXPECT_EQ(game.Close(), 0);
}

// The ending's stage played on its own: its tune, the ending's, is asked for
// looping (the keep value the music player is handed with it), so that it
// plays on through the picture to the title; the ending picture shows and
// waits for decide, and decide clears the stage.
TEST(DemoEndingTest, TheEndingsTuneLoopsUnderItsPictureUntilDecide) {
  constexpr int32_t kEndingTune = 8;  // the demo's music list: the ending's
  GameHarness::Options options;
  options.commandLine = "data\\stg4\\c04-1.stg4_001";
  options.writeProject = false;
  GameHarness game(options);
  auto scene = [] { return dynamic_cast<const cStageScene*>(SceneManager.Scene(kSceneStage)); };
  uint32_t shown = 0, cleared = 0;
  ASSERT_NO_FATAL_FAILURE(PlayStageAlone(
      game, "600 B1\nlength 800\n", 800, [&] { return cleared != 0; },
      [&](uint32_t frame) {
        EXPECT_EQ(SaveData.m_nTrackPlaying, kEndingTune) << frame;
        if (shown == 0 && !scene()->m_Pictures.empty()) shown = frame;
        if (scene()->m_nMode == kStageModeResult || scene()->m_nMode == kStageModeFadeOut) cleared = frame;
      }));
  EXPECT_GT(shown, 0u) << "the ending picture";
  EXPECT_LT(shown, 600u);
  EXPECT_GE(cleared, 600u) << "the picture waits for decide";
  EXPECT_EQ(SceneManager.m_nLastMusicKeep, 1) << "the ending's tune loops";
  EXPECT_EQ(game.Close(), 0);
}

}  // namespace

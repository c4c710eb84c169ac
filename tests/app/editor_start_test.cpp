// A game started as the editor starts it (show command 5), played through
// `pelmora-tool play --show-command=5` on the demo project beside the same
// run started as a player starts it. Its test play of a stage starts
// without the stage's banner, takes no ranking places (F3 on the result
// screen writes no ranking), starts every attempt's result sums from zero
// and shows the ranges of the distance conditions marked for the editor's
// test play. Outside a test play its stages show the editor's key hint. Any
// test play, the editor's or a player's, draws the play-record box with the
// stage's own genres, whatever the play mode keeps.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "app/headless_play.h"
#include "data/conditions.h"
#include "data/labels.h"
#include "data/system_data.h"
#include "flow/conditions.h"
#include "play/world/stage_scene.h"
#include "scene/scene.h"
#include "support/demo_routes.h"
#include "support/flow_commands.h"
#include "support/game_data.h"
#include "support/sandbox.h"
#include "support/sdl_pixels.h"
#include "support/stage_builder.h"
#include "support/test_files.h"
#include "support/trace_lines.h"

namespace {

namespace fs = std::filesystem;

constexpr int kEditorStart = 5;   // the show command the editor starts the game with
constexpr int kPlayerStart = 1;   // a player's start
constexpr const char* kStage = "data\\stg4\\editor.stg4";

using trace::Lines;

// The five numbers of a trace line's "result" list.
std::vector<int64_t> Values(const std::string& list) {
  std::vector<int64_t> values;
  std::istringstream in(list.substr(1, list.size() - 2));
  for (std::string n; std::getline(in, n, ',');) values.push_back(std::stoll(n));
  return values;
}

// A demo route's key lines ("FIRST[-LAST] KEYS"; comments and its length
// line left out) moved `by` frames; `first` is the earliest frame they name
// (where the route's stage begins to be played) and `last` the first frame
// of the last line (the key that leaves the stage's result screen), both
// moved too.
struct MovedRoute {
  std::string keys;
  int first = INT32_MAX, last = 0;
};
MovedRoute MoveRoute(const std::string& route, int by) {
  MovedRoute moved;
  std::istringstream in(route);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string frames, keys;
    if (!(words >> frames >> keys) || frames[0] == '#' || frames == "length") continue;
    const size_t dash = frames.find('-');
    const int first = std::stoi(frames.substr(0, dash)) + by;
    const int last = dash == std::string::npos ? first : std::stoi(frames.substr(dash + 1)) + by;
    moved.keys += std::to_string(first) + "-" + std::to_string(last) + " " + keys + "\n";
    moved.first = std::min(moved.first, first);
    moved.last = first;
  }
  return moved;
}

using flowcmd::Wait;

cEdCmd Clear() {
  cEdCmd c;
  c.m_nKind = kCmdStageClear;
  c.m_vParams.assign(9, 0);
  return c;
}

// A stage whose hero clears it a second after play begins, with a
// character at column 10 beside it; no banners unless asked for.
StageBuilder ClearingStage() {
  StageBuilder builder(20, 15);
  builder.Floor(10, 0, 19).Hero(2, 9).Character(10, 9);
  cEdFlow flow;
  flow.m_nTrigger = kTriggerAlways;
  flow.m_vCmds = {Wait(10), Clear()};
  builder.Data().m_PlacedCharacters.front().m_vFlows = {flow};
  return builder;
}

// Gives `character` a flow (never started) with a distance condition whose
// range is shown by display mode `display` (0 never, 1 always, 2 in the
// editor's test play only): both sides across, 4 half blocks, colour 3.
void GiveRange(cEdCharacter& character, uint8_t display) {
  cCond range;
  range.m_nKind = kCondDistance;
  range.m_nField = 0;       // both sides, across
  range.m_nVarNumber = 4;   // 4 half blocks
  range.m_nLeftKind = display;
  range.m_nVarScope = 3;    // colour 3
  cEdFlow flow;
  flow.m_nTrigger = kTriggerOnlyByFlowControl;
  flow.m_vConds = {range};
  character.m_vFlows = {flow};
}

// The columns in which two pictures of `width` dots a row differ, with the
// number of rows that differ in each.
std::map<int, int> DifferingColumns(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int width) {
  std::map<int, int> columns;
  for (size_t at = 0; at < a.size() && at < b.size(); ++at)
    if ((a[at] & 0xFFFFFF) != (b[at] & 0xFFFFFF)) ++columns[static_cast<int>(at % static_cast<size_t>(width))];
  return columns;
}

class EditorStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Tool("make-demo '" + project_ + "'"), 0) << Slurp(errors_);
  }

  int Tool(const std::string& args, const std::string& env = "") {
    const std::string command =
        env + " " + PELMORA_TOOL + " " + args + " > /dev/null 2> '" + errors_ + "'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // A copy of the demo project for one run, with `stage` (its bytes) as
  // kStage when given.
  std::string Copy(const std::string& tag, const std::string& stage) {
    const std::string copy = sandbox_ / tag;
    fs::copy(project_, copy, fs::copy_options::recursive);
    if (!stage.empty()) std::ofstream(copy + "/data/stg4/editor.stg4", std::ios::binary) << stage;
    return copy;
  }

  // Plays `copy` (the stage file named when `testPlay`) with the show
  // command for `frames` frames; the trace's lines.
  std::vector<std::string> Play(const std::string& copy, int show, bool testPlay, uint32_t frames,
                                const std::string& more = "") {
    return PlayStage(copy, show, testPlay ? kStage : "", frames, more);
  }
  // The same with `stage` named for a test play (none when empty).
  std::vector<std::string> PlayStage(const std::string& copy, int show, const std::string& stage, uint32_t frames,
                                     const std::string& more = "") {
    const std::string trace = copy + ".jsonl";
    const std::string args = "play '" + copy + "' " + (stage.empty() ? "" : "'" + stage + "' ") +
                             "--show-command=" + std::to_string(show) + " --frames " + std::to_string(frames) +
                             " --trace '" + trace + "' " + more;
    EXPECT_EQ(Tool(args, "PELMORA_DIALOG_ANSWERS='text:abc'"), 0) << Slurp(errors_);
    return Lines(Slurp(trace));
  }

  std::string Keys(const std::string& tag, const std::string& text) { return sandbox_.Write(tag + ".keys", text); }

  // Makes play mode `mode` of `copy` keep the ranking genres `genres`.
  static void KeepGenres(const std::string& copy, int mode, std::initializer_list<uint8_t> genres) {
    ScopedGameData data;
    cSystemData system;
    ASSERT_EQ(system.LoadFromFile(copy + "/data/System.dat"), 1);
    system.m_Ranking.At(mode).m_Genres.assign(genres);
    ASSERT_EQ(system.SaveToFile(copy + "/data/System.dat"), 1);
  }

  Sandbox sandbox_;
  const std::string project_ = sandbox_ / "demo";
  const std::string errors_ = sandbox_ / "errors.txt";
};

// Two attempts of a test play: the first clear's result screen takes F3
// (the ranking's registration) and is left with decide, the stage starts
// again and is cleared again. Started by the editor, the stage starts at
// once, the result screen has no places to register (its hint line stays
// the test play's key hint, F3 writes no ranking file), and the second
// clear's play record holds that clear alone. Started by a player, the
// banner shows first, F3 registers the first clear's places, and the second
// clear adds to the first's sums.
TEST_F(EditorStartTest, AnEditorsTestPlayStartsAtOnceRanksNothingAndCountsEachAttemptAlone) {
  StageBuilder builder = ClearingStage();
  builder.Banners(true, false);
  builder.Data().m_RankingSwitches = {1, 1, 1, 1, 1};
  const std::string stage = builder.Bytes();
  const std::string keys = Keys("attempts", "400-402 F3\n430 B1\n460 B1\n");
  for (int show : {kEditorStart, kPlayerStart}) {
    SCOPED_TRACE(show);
    const bool editor = show == kEditorStart;
    const std::string copy = Copy("attempts" + std::to_string(show), stage);
    const std::vector<std::string> lines = Play(copy, show, true, 800, "--input '" + keys + "'");
    ASSERT_EQ(lines.size(), 800u);

    // The first attempt: banner frames before play.
    int bannerFrames = 0, firstPlay = -1;
    for (size_t i = 0; i < lines.size() && firstPlay < 0; ++i) {
      const std::string mode = trace::Value(lines[i], "mode");
      bannerFrames += mode == std::to_string(kStageModeBanner);
      if (mode == std::to_string(kStageModePlay)) firstPlay = static_cast<int>(i);
    }
    ASSERT_GE(firstPlay, 0) << "play never began";
    if (editor)
      EXPECT_LE(bannerFrames, 1) << "the editor's test play starts at once (the frame that ends the fade-in)";
    else
      EXPECT_GE(bannerFrames, 70) << "a player's test play shows the stage's banner";

    // The result screens, each by its first frame and the box it draws.
    std::vector<size_t> results;
    for (size_t i = 1; i < lines.size(); ++i)
      if (trace::Value(lines[i], "mode") == std::to_string(kStageModeResult) &&
          trace::Value(lines[i - 1], "mode") != std::to_string(kStageModeResult))
        results.push_back(i);
    ASSERT_EQ(results.size(), 2u) << "two clears";
    ASSERT_LT(results[0], 400u) << "F3 comes on the first result screen";
    EXPECT_EQ(trace::Value(lines[results[0] + 2], "hint"), editor ? "27" : "28")
        << "the ranking's hint shows only where the clear took places";
    EXPECT_EQ(fs::exists(copy + "/user_data/free/editor.rkg"), !editor);

    std::string first, second;
    for (size_t i = results[0]; i < lines.size() && first.empty(); ++i)
      if (trace::Value(lines[i], "result") != "null") first = trace::Value(lines[i], "result");
    second = trace::Value(lines.back(), "result");
    ASSERT_NE(first, "") << "the first result screen draws its box";
    ASSERT_NE(second, "null") << "the second result screen draws its box";
    const std::vector<int64_t> once = Values(first), now = Values(second);
    ASSERT_EQ(once.size(), 5u);
    ASSERT_EQ(now.size(), 5u);
    ASSERT_GT(once[2], 0) << "a clear takes time";
    ASSERT_GT(once[3], 0) << "the hero has HP left";
    if (editor) {
      EXPECT_EQ(now, once) << "each attempt starts from zero";
    } else {
      EXPECT_EQ(now[2], 2 * once[2]) << "the clear times add up";
      EXPECT_EQ(now[3], 2 * once[3]) << "the HP left adds up";
    }
  }
}

// A test play whose stage ranks a genre that the play mode does not keep:
// the ranges of a distance condition marked for the editor's test play are
// drawn over the stage (two lines, 480 dots high, the whole difference
// between the two runs' pictures), which a player's test play does not
// draw; the result screen's play-record box shows the stage's genre in
// both.
TEST_F(EditorStartTest, AnEditorsTestPlayShowsItsRangesAndTheStagesOwnGenres) {
  StageBuilder builder = ClearingStage();
  builder.Data().m_RankingSwitches = {1, 0, 0, 0, 0};
  GiveRange(builder.Data().m_PlacedCharacters.back(), 2);  // shown in the editor's test play only
  const std::string stage = builder.Bytes();

  std::vector<std::string> traces[2];
  std::vector<uint32_t> pictures[2];
  int width = 0, height = 0;
  for (int k : {0, 1}) {
    const int show = k == 0 ? kEditorStart : kPlayerStart;
    SCOPED_TRACE(show);
    const std::string copy = Copy("genres" + std::to_string(show), stage);
    // Free play keeps every genre but the score.
    ASSERT_NO_FATAL_FAILURE(KeepGenres(copy, kPlayFree, {0, 1, 1, 1, 1}));
    traces[k] = Play(copy, show, true, 150, "--shots '" + copy + ".shots' --every 50");
    ASSERT_EQ(traces[k].size(), 150u);
    ASSERT_EQ(trace::Value(traces[k][49], "mode"), std::to_string(kStageModePlay)) << "frame 50 is played";
    ASSERT_TRUE(LoadSdlPixels(copy + ".shots/" + ScreenshotName(50), width, height, pictures[k]));
  }

  // The ranges: the frames differ in two whole columns, and only there.
  ASSERT_EQ(pictures[0].size(), pictures[1].size());
  const std::map<int, int> columns = DifferingColumns(pictures[0], pictures[1], width);  // x -> rows that differ
  ASSERT_EQ(columns.size(), 2u) << "two lines";
  for (const auto& [x, rows] : columns) EXPECT_GE(rows, height * 3 / 4) << "the line at " << x;
  EXPECT_GT(columns.rbegin()->first - columns.begin()->first, 2 * 4 * 16) << "both sides, 4 half blocks out";

  // The box: the stage's score, which free play does not keep.
  auto boxes = [](const std::vector<std::string>& lines) {
    int n = 0;
    for (const std::string& line : lines) n += trace::Value(line, "result") != "null";
    return n;
  };
  EXPECT_GT(boxes(traces[0]), 0) << "the editor's test play shows the stage's genres";
  EXPECT_GT(boxes(traces[1]), 0) << "a player's test play shows them too";
}

// The demo's 1-1 (which ranks every genre but the SP left) played to its result
// screen in a project whose play mode keeps none: a test play of it, a
// player's as well as the editor's, draws the play-record box with the
// stage's genres all the same. A story game, whose play mode's settings
// count as well, draws the box on the same stage only while its mode keeps
// a genre.
TEST_F(EditorStartTest, ATestPlayListsTheStagesOwnGenresWhateverThePlayModeKeeps) {
  constexpr const char* kMeadow = "data\\stg4\\c01-1.stg4_001";
  const struct {
    const char* what;
    int show;
    bool testPlay;
    bool modeKeepsAll;  // every genre, or none
    bool box;
  } cases[] = {
      {"a player's test play", kPlayerStart, true, false, true},
      {"the editor's test play", kEditorStart, true, false, true},
      {"a story game", kPlayerStart, false, true, true},
      {"a story game whose mode keeps no genre", kPlayerStart, false, false, false},
  };
  const DemoRouteChain story = DemoRoutes({"01-title.txt", "02-meadow.txt"});
  const DemoRouteChain title = DemoRoutes({"01-title.txt"});
  ASSERT_TRUE(story.complete);
  const std::string meadow = Slurp(story.paths[1]);
  // Each run ends on the result screen, the frame before the key that
  // leaves it.
  const MovedRoute asPlayed = MoveRoute(meadow, 0);
  size_t boxAfter = 0;  // result frames before the box came, at most
  for (size_t k = 0; k < std::size(cases); ++k) {
    const auto& c = cases[k];
    SCOPED_TRACE(c.what);
    const std::string copy = Copy("meadow" + std::to_string(k), "");
    ASSERT_NO_FATAL_FAILURE(KeepGenres(copy, c.testPlay ? kPlayFree : kPlayStory,
                                       c.modeKeepsAll ? std::initializer_list<uint8_t>{1, 1, 1, 1, 1}
                                                      : std::initializer_list<uint8_t>{0, 0, 0, 0, 0}));
    std::vector<std::string> lines;
    uint32_t frames = 0;
    if (c.testPlay) {
      // The meadow's route from where this test play's play begins (the
      // editor's shows no banner first).
      const std::vector<std::string> untouched = PlayStage(copy, c.show, kMeadow, 300);
      const auto play = std::find_if(untouched.begin(), untouched.end(), [](const std::string& line) {
        return trace::Value(line, "mode") == std::to_string(kStageModePlay);
      });
      ASSERT_NE(play, untouched.end()) << "play never began";
      const MovedRoute route = MoveRoute(meadow, static_cast<int>(play - untouched.begin()) + 1 - asPlayed.first);
      frames = static_cast<uint32_t>(route.last - 1);
      const std::string keys = Keys("meadow" + std::to_string(k), route.keys);
      lines = PlayStage(copy, c.show, kMeadow, frames, "--input '" + keys + "'");
    } else {
      frames = title.frames + static_cast<uint32_t>(asPlayed.last - 1);
      lines = PlayStage(copy, c.show, "", frames, story.Inputs());
    }
    ASSERT_EQ(lines.size(), frames);
    size_t results = 0, boxes = 0;
    for (const std::string& line : lines) {
      if (trace::Value(line, "mode") != std::to_string(kStageModeResult)) continue;
      ++results;
      if (trace::Value(line, "result") == "null") continue;
      if (boxes++ == 0) boxAfter = std::max(boxAfter, results - 1);
    }
    ASSERT_GT(results, 0u) << "the meadow is cleared";
    if (c.box) {
      EXPECT_GT(boxes, 0u) << "the box shows the stage's genres";
    } else {
      ASSERT_GT(results, boxAfter) << "the result screen lasts as long as it takes the box to come";
      EXPECT_EQ(boxes, 0u) << "nothing to show: no box";
    }
  }
}

// A whole game the editor started is no test play: the ranges marked for
// the editor's test play are not drawn on its stages. The demo's first
// stage, replaced by one whose character shows its range by each display
// mode in turn, is reached from the title: at the same frame of play the
// picture with display 2 is the one with display 0, while display 1 adds
// the range's two lines, 480 dots high.
TEST_F(EditorStartTest, AGameTheEditorStartedDrawsNoRangesMarkedForItsTestPlay) {
  const std::string route = std::string(PELMORA_SOURCE_DIR) + "/tests/routes/demo/01-title.txt";
  constexpr uint32_t kFrames = 330;
  std::vector<uint32_t> pictures[3];
  int width = 0, height = 0;
  for (uint8_t display : {0, 1, 2}) {
    SCOPED_TRACE(static_cast<int>(display));
    StageBuilder builder(20, 15);
    builder.Floor(10, 0, 19).Hero(2, 9).Character(10, 9);
    GiveRange(builder.Data().m_PlacedCharacters.back(), display);
    const std::string copy = Copy("game" + std::to_string(display), "");
    std::ofstream(copy + "/data/stg4/c01-1.stg4_001", std::ios::binary | std::ios::trunc) << builder.Bytes();
    const std::vector<std::string> lines =
        Play(copy, kEditorStart, false, kFrames,
             "--input '" + route + "' --shots '" + copy + ".shots' --every " + std::to_string(kFrames));
    ASSERT_EQ(lines.size(), kFrames);
    ASSERT_EQ(trace::Value(lines.back(), "mode"), std::to_string(kStageModePlay)) << "the stage is played";
    ASSERT_EQ(trace::Value(lines.back(), "hint"), "26") << "in a game the editor started";
    ASSERT_TRUE(LoadSdlPixels(copy + ".shots/" + ScreenshotName(kFrames), width, height, pictures[display]));
  }
  const std::map<int, int> shown = DifferingColumns(pictures[0], pictures[1], width);
  ASSERT_EQ(shown.size(), 2u) << "display 1 draws two lines";
  for (const auto& [x, rows] : shown) EXPECT_GE(rows, height * 3 / 4) << "the line at " << x;
  EXPECT_EQ(DifferingColumns(pictures[0], pictures[2], width).size(), 0u) << "display 2 draws nothing";
}

// Outside a test play, a game the editor started shows the editor's key
// hint on its stages (a player's game shows none), its banner still shows,
// and the title and world map are played as a player's.
TEST_F(EditorStartTest, AGameTheEditorStartedShowsItsKeyHintOnItsStages) {
  const std::string route = std::string(PELMORA_SOURCE_DIR) + "/tests/routes/demo/01-title.txt";
  for (int show : {kEditorStart, kPlayerStart}) {
    SCOPED_TRACE(show);
    const std::vector<std::string> lines =
        Play(Copy("story" + std::to_string(show), ""), show, false, 520, "--input '" + route + "'");
    ASSERT_EQ(lines.size(), 520u);
    std::set<std::string> hints;
    int bannerFrames = 0, playFrames = 0;
    for (const std::string& line : lines) {
      const std::string mode = trace::Value(line, "mode");
      if (mode == "null") {  // before the stage scene's first frame
        EXPECT_EQ(trace::Value(line, "hint"), "null") << line;
        continue;
      }
      hints.insert(trace::Value(line, "hint"));
      bannerFrames += mode == std::to_string(kStageModeBanner);
      playFrames += mode == std::to_string(kStageModePlay);
    }
    EXPECT_GT(playFrames, 0) << "the first stage is played";
    EXPECT_GE(bannerFrames, 70) << "a stage outside a test play shows its banner";
    EXPECT_EQ(hints, std::set<std::string>{show == kEditorStart ? "26" : "null"});
  }
}

// The tool takes the show command as the game does, and nothing else.
TEST_F(EditorStartTest, TheToolRefusesABadShowCommand) {
  for (const char* bad : {"--show-command=", "--show-command=12", "--show-command=-1", "--show-command=5x"})
    EXPECT_EQ(Tool("play '" + project_ + "' --frames 1 " + bad), 2) << bad;
}

}  // namespace

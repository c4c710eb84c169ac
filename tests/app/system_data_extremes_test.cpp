// Every number of "data\System.dat" that the game computes with, at the
// ends of what its file can hold (0, -1, the highest and the lowest 32-bit
// word; a byte at 0 and 255), taken through the title, the world map, a
// stage and its result, the world-map menu, the world select and the
// options: the sanitizer build stops the test at the first undefined
// operation (it halts on each). One game runs for each part of a table:
// for each case the demo's System.dat is written with the one number changed and
// read again through the game's reader, and the scenes are started
// directly, a few frames each. The numbers that start-up reads (the fonts,
// the display, the colour key, the "System.ini" keys) start a game each.
// Then the limit on the number of worlds, and the sums the ends reach: the
// colour cycle's levels and the extra lives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/tool_run.h"
#include "data/data_paths.h"
#include "data/system_data.h"
#include "front/front_scenes.h"
#include "gfx/colour_cycle.h"
#include "gfx/dd.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"
#include "scene/play_record.h"
#include "scene/scene.h"
#include "support/game_data.h"
#include "support/harness.h"
#include "support/project_files.h"
#include "support/sandbox.h"
#include "support/stage_builder.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kWords[] = {0, -1, INT32_MAX, INT32_MIN};
constexpr int32_t kBytes[] = {0, 255};

// The demo's first world on its map (tools/demo_game_map.cpp): a new game's
// hero put there, on a world never entered, starts its stage at once.
constexpr int32_t kFirstWorldColumn = 5, kFirstWorldRow = 7;
constexpr int kDecide = 'Z';
// The result screen's count when decide may end it.
constexpr int32_t kResultCounted = 200;

// One number of the system data, by where it is kept.
struct SystemNumber {
  std::string name;
  std::function<void(cSystemData&, int32_t)> set;
  bool byte = false;  // a byte of the file: 0 and 255 are its ends
  // Above this the reader refuses the file, naming the number.
  int32_t most = INT32_MAX;
  std::vector<int32_t> more = {};  // values played besides the ends
};

template <class List>
void Put(List& list, size_t i, int32_t v) {
  if (list.size() <= i) list.resize(i + 1);
  list[i] = static_cast<typename List::value_type>(v);
}

// Every flag of a byte list at once (each is read as on or off).
void All(cSafeVector<uint8_t>& flags, int32_t v) {
  for (uint8_t& flag : flags) flag = static_cast<uint8_t>(v);
}

// #1..#80 as the file of this version holds them (#33 only older files).
std::vector<SystemNumber> DeclaredNumbers() {
  std::vector<SystemNumber> numbers;
  for (int k = 1; k <= 80; ++k) {
    if (k == kSysDroppedNumber) continue;
    const bool byte = k >= kSysColourKeyRed && k <= kSysColourKeyBlue;
    SystemNumber number{"#" + std::to_string(k), [k](cSystemData& s, int32_t v) { s.SetNum(k, v); }, byte};
    if (k == kSysWorldCount) {
      number.most = kSysMaxWorldCount;
      number.more = {kSysMaxWorldCount, kSysMaxWorldCount + 1};
    }
    numbers.push_back(std::move(number));
  }
  return numbers;
}

// The numbers of the counted lists: the HUD items, lives and rankings per
// play mode, the menus' enabled flags, and the lists of byte flags (each
// list's flags all at once).
std::vector<SystemNumber> ListNumbers() {
  std::vector<SystemNumber> numbers;
  const auto add = [&](std::string name, std::function<void(cSystemData&, int32_t)> set, bool byte = false) {
    numbers.push_back({std::move(name), std::move(set), byte});
  };
  for (size_t i = 0; i < 5; ++i) {
    const std::string hud = "HUD item " + std::to_string(i) + " ";
    add(hud + "shown", [i](cSystemData& s, int32_t v) { s.m_Hud.At(i).m_bShown = v; });
    add(hud + "icon", [i](cSystemData& s, int32_t v) { s.m_Hud.At(i).m_bIcon = v; });
    add(hud + "digits", [i](cSystemData& s, int32_t v) { s.m_Hud.At(i).m_nDigits = v; });
    add(hud + "gauge number", [i](cSystemData& s, int32_t v) { s.m_Hud.At(i).m_bGaugeNumber = v; });
    add(hud + "limit", [i](cSystemData& s, int32_t v) { s.m_Hud.At(i).m_nLimit = v; });
    add(hud + "percent", [i](cSystemData& s, int32_t v) { s.m_Hud.At(i).m_bPercent = v; });
  }
  for (size_t mode = 0; mode < 4; ++mode) {
    const std::string m = " of play mode " + std::to_string(mode);
    add("start lives" + m, [mode](cSystemData& s, int32_t v) { Put(s.m_StartLives, mode, v); });
    add("unlimited lives" + m, [mode](cSystemData& s, int32_t v) { Put(s.m_UnlimitedLives, mode, v); });
    add("ranking" + m, [mode](cSystemData& s, int32_t v) { s.m_Ranking.At(mode).m_bOn = v; });
    add("ranking genres" + m, [mode](cSystemData& s, int32_t v) { All(s.m_Ranking.At(mode).m_Genres, v); }, true);
  }
  const struct {
    const char* name;
    cSafeVector<cCmd> cSystemData::*list;
  } menus[] = {{"title", &cSystemData::m_TitleCmds},
               {"world-map menu", &cSystemData::m_WorldMapCmds},
               {"options", &cSystemData::m_OptionCmds}};
  const cSystemData defaults;
  for (const auto& menu : menus) {
    for (size_t i = 0; i < (defaults.*menu.list).size(); ++i)
      add(std::string(menu.name) + " command " + std::to_string(i),
          [list = menu.list, i](cSystemData& s, int32_t v) { (s.*list).At(i).m_bEnabled = static_cast<uint32_t>(v); });
  }
  add("carry-over flags", [](cSystemData& s, int32_t v) { All(s.m_CarryOver, v); }, true);
  add("reset flags", [](cSystemData& s, int32_t v) { All(s.m_ResetFlags, v); }, true);
  add("screen music flags", [](cSystemData& s, int32_t v) { All(s.m_ScreenMusicLoop, v); }, true);
  return numbers;
}

std::vector<int32_t> EndsOf(const SystemNumber& number) {
  std::vector<int32_t> values = number.byte ? std::vector<int32_t>(std::begin(kBytes), std::end(kBytes))
                                            : std::vector<int32_t>(std::begin(kWords), std::end(kWords));
  values.insert(values.end(), number.more.begin(), number.more.end());
  return values;
}

// The demo project, made once for the tests that start a game of their own.
const std::string& DemoProject() {
  static TempFolder folder("system-extremes-demo");
  static const std::string path = [] {
    const std::string p = folder / "demo";
    if (std::system((std::string(PELMORA_TOOL) + " make-demo --force '" + p + "' > /dev/null").c_str()) != 0)
      std::abort();
    return p;
  }();
  return path;
}

// A game on a copy of the demo whose System.dat has one number changed,
// with these "System.ini" lines; not started yet.
std::unique_ptr<GameHarness> DemoGameWith(const SystemNumber& number, int32_t value, const std::string& ini) {
  GameHarness::Options options;
  options.writeProject = false;
  options.dialogAnswers = "ok;ok";  // the start dialog, and a failed start's box
  auto game = std::make_unique<GameHarness>(options);
  fs::copy(DemoProject(), game->Folder(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  std::ofstream(game->PathOf("System.ini"), std::ios::trunc) << ini << "Exit\n";
  cSystemData changed;
  EXPECT_TRUE(changed.LoadFromFile(game->PathOf("data/System.dat")));
  number.set(changed, value);
  EXPECT_TRUE(changed.SaveToFile(game->PathOf("data/System.dat")));
  return game;
}

// A table is played in this many parts, each its own test: a part is a
// few hundred scene starts, within a test's time on a busy machine.
constexpr int kParts = 16;

// One game of the demo for one part of a table (the numbers whose place in
// it leaves that part when divided by kParts).
class SystemDataExtremesTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    GameHarness::Options options;
    options.dialogAnswers = "ok";
    game_ = std::make_unique<GameHarness>(options);
    ASSERT_TRUE(game_->Start());
    ASSERT_TRUE(game_->StepFrames(1));
    demo_.CopyFrom(SystemData);
  }

  // The demo's System.dat written with one change and read by the game as
  // start-up reads it; then its scenes.
  void PlayWith(const SystemNumber& number, int32_t value) {
    cSystemData changed;
    changed.CopyFrom(demo_);
    number.set(changed, value);
    const std::string& path = DataPaths.At(kPathSystemData);
    ASSERT_TRUE(changed.SaveToFile(path));
    if (value > number.most) {
      EXPECT_FALSE(SystemData.LoadFromFile(path));
      EXPECT_NE(LastSystemDataLimitProblem().find("(" + number.name + ")"), std::string::npos)
          << LastSystemDataLimitProblem();
      return;
    }
    ASSERT_TRUE(SystemData.LoadFromFile(path)) << LastSystemDataLimitProblem();
    PlayScenes();
  }

  // The title's first frames, a new story game's map starting the first
  // world's stage, a few frames of play, the stage's clear and its result
  // tallied (back to the map); then the world-map menu, the world select
  // and the options.
  void PlayScenes() {
    GoTo(kSceneTitle);
    ASSERT_TRUE(game_->StepFrames(3));
    ResetGameProgress();
    SaveData.m_nMapX = kFirstWorldColumn;
    SaveData.m_nMapY = kFirstWorldRow;
    GoTo(kSceneWorldMap);
    ASSERT_TRUE(StepUntil([] { return SceneManager.m_nCurrent.load() == kSceneStage; }));
    ASSERT_TRUE(game_->StepFrames(1));
    cStageScene* stage = Stage();
    ASSERT_NE(stage, nullptr);
    // The start banner has shown.
    stage->m_nBannerCounter = stage->m_nBanner2Counter = kBannerFrames;
    ASSERT_TRUE(StepUntil([stage] { return stage->m_nMode == kStageModePlay; }));
    ASSERT_TRUE(game_->StepFrames(3));
    stage->m_nEndRequest = kEndClear;
    ASSERT_TRUE(StepUntil([stage] { return stage->m_nMode == kStageModeResult; }));
    ASSERT_TRUE(game_->StepFrames(2));
    stage->m_nResultCounter = kResultCounted;  // the tally has counted up
    game_->PressKey(kDecide);
    ASSERT_TRUE(StepUntil([stage] { return stage->m_nMode != kStageModeResult; }));
    game_->ReleaseKey(kDecide);
    ASSERT_TRUE(game_->StepFrames(1));
    // The world-map menu, the world select and the options draw their
    // lines and lists.
    for (int32_t menu : {kSceneWorldMapMenu, kSceneWorldSelect, kSceneOptions}) {
      GoTo(menu);
      ASSERT_TRUE(game_->StepFrames(2));
    }
  }

  void GoTo(int32_t scene) {
    SceneManager.m_nCurrent = scene;
    SceneManager.m_nNext = scene;
  }

  static cStageScene* Stage() { return dynamic_cast<cStageScene*>(SceneManager.Scene(kSceneStage)); }

  // Frame by frame until `done`, at most 200 frames.
  bool StepUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 200; ++i) {
      if (done()) return true;
      if (!game_->StepFrames(1)) return false;
    }
    return done();
  }

  void PlayEach(const std::vector<SystemNumber>& numbers) {
    for (size_t i = 0; i < numbers.size(); ++i) {
      if (static_cast<int>(i % kParts) != GetParam()) continue;
      const SystemNumber& number = numbers[i];
      for (int32_t value : EndsOf(number)) {
        SCOPED_TRACE(number.name + " = " + std::to_string(value));
        PlayWith(number, value);
        if (HasFatalFailure()) return;
      }
    }
  }

  ScopedGameData data_;  // the settings the cases leave go with the test
  std::unique_ptr<GameHarness> game_;
  cSystemData demo_;
};

TEST_P(SystemDataExtremesTest, EachDeclaredNumber) { PlayEach(DeclaredNumbers()); }

TEST_P(SystemDataExtremesTest, EachNumberOfTheLists) { PlayEach(ListNumbers()); }

INSTANTIATE_TEST_SUITE_P(Part, SystemDataExtremesTest, ::testing::Range(0, kParts));

// The numbers start-up reads, each in a game started with it: the game
// fonts' face and letters, the display's depth and colour key (in the
// displays that read them), and the "System.ini" keys' defaults (no
// "System.ini" line sets them). A start may fail with the display's box
// (a depth no display has); it fails cleanly.
TEST(SystemDataStartUpExtremesTest, EachNumberStartUpReads) {
  struct Row {
    SystemNumber number;
    const char* ini;  // "System.ini" lines before "Exit"
  };
  constexpr const char* kFullScreenDirectDraw = "Direct3D=0\nWindowMode=0\nBpp=0\n";
  constexpr const char* kFullScreenDirect3D = "Direct3D=1\nWindowMode=0\nBpp=0\n";
  const auto declared = [](int k) {
    return SystemNumber{"#" + std::to_string(k), [k](cSystemData& s, int32_t v) { s.SetNum(k, v); },
                        k >= kSysColourKeyRed && k <= kSysColourKeyBlue};
  };
  std::vector<Row> rows = {{declared(kSysPictureLetters), ""},
                           {declared(kSysFontFace), ""},
                           {declared(kSysCentredLetters), ""},
                           {declared(kSysFixedColourKey), kFullScreenDirectDraw},
                           {declared(kSysColourKeyRed), kFullScreenDirectDraw},
                           {declared(kSysColourKeyGreen), kFullScreenDirectDraw},
                           {declared(kSysColourKeyBlue), kFullScreenDirectDraw},
                           {declared(kSysD3DDepth), kFullScreenDirect3D},
                           {declared(kSysDDDepth), kFullScreenDirectDraw}};
  const cSystemData defaults;
  for (size_t i = 0; i < defaults.m_Keys.size(); ++i) {
    if (defaults.m_Keys[i].m_nKind != 0) continue;  // a text key
    rows.push_back({{"the default of key " + defaults.m_Keys[i].m_strKey,
                     [i](cSystemData& s, int32_t v) { s.m_Keys.At(i).m_nDefault = v; }},
                    ""});
  }
  ScopedGameData data;  // the settings the last game read go with the test
  for (const Row& row : rows) {
    for (int32_t value : EndsOf(row.number)) {
      SCOPED_TRACE(row.number.name + " = " + std::to_string(value));
      std::unique_ptr<GameHarness> game = DemoGameWith(row.number, value, row.ini);
      if (!game->Start()) {
        EXPECT_EQ(game->WaitForExit(), 1);
        EXPECT_NE(game->DialogLog().find("画面モードが不正です"), std::string::npos) << game->DialogLog();
        continue;
      }
      ASSERT_TRUE(game->StepFrames(3));
      EXPECT_EQ(game->Close(), 0);
    }
  }
}

// More worlds than the play record can keep an entry for: the start fails
// with the reader's box, naming the file and under it the number.
TEST(SystemDataLimitsTest, MoreWorldsThanAGameCanHoldFailTheStart) {
  ScopedGameData data;
  const SystemNumber worlds{"#16", [](cSystemData& s, int32_t v) { s.SetNum(kSysWorldCount, v); }};
  std::unique_ptr<GameHarness> game = DemoGameWith(worlds, kSysMaxWorldCount + 1, "");
  EXPECT_FALSE(game->Start());
  EXPECT_EQ(game->WaitForExit(), 1);
  const std::string failed = "data\\System.dat の読み込みに失敗しました！";
  const std::string why = "its number of worlds (#16) is 1048577, more than 1048576";
  // The dialog log writes a line break as "\n" and a backslash as itself.
  EXPECT_NE(game->DialogLog().find(failed + "\\n" + why), std::string::npos) << game->DialogLog();
  const std::string report = Slurp(game->PathOf("Report_Game.txt"));
  EXPECT_NE(report.find(failed + "\n" + why + "\n"), std::string::npos) << report;
}

// pelmora-tool check takes the most worlds a game may have and refuses one
// more as the game's reader does, saying why after the file's name.
TEST(SystemDataLimitsTest, CheckRefusesMoreWorldsThanAGameCanHoldSayingWhy) {
  TempFolder folder("system-worlds");
  WriteDefaultProject(folder.Path());
  for (int32_t worlds : {kSysMaxWorldCount, kSysMaxWorldCount + 1, INT32_MAX}) {
    SCOPED_TRACE(worlds);
    cSystemData system;
    system.SetNum(kSysWorldCount, worlds);
    const std::string path = folder.Write("data/System.dat", system.SaveToBytes());
    const ToolRunResult ran = RunToolIn(folder, {"check", path});
    if (worlds <= kSysMaxWorldCount) {
      EXPECT_EQ(ran.status, 0) << ran.err;
      EXPECT_EQ(ran.err, "");
      continue;
    }
    EXPECT_EQ(ran.status, 1) << ran.out;
    EXPECT_EQ(ran.err, path + ": not a readable system file: its number of worlds (#16) is " + std::to_string(worlds) +
                           ", more than 1048576\n");
  }
}

// The colour cycle's levels move by the step as 32-bit words add: a step
// at the lowest word, or one word above it, wraps where the sum passes the
// word's range, and the tints take the low byte of where the level is.
TEST(SystemDataExtremesUnitTest, ColourCycleStepsWrapAsWordsAdd) {
  ScopedGameData data;
  DTCONTEXT context;
  DTCONTEXT* saved = lpDTCon;
  lpDTCon = &context;  // the Direct3D display, where the step counts
  struct Row {
    int32_t step;
    std::vector<uint32_t> greys;  // tint 1's grey, call by call
  };
  const Row rows[] = {
      {16, {0, 16, 32, 48}},
      {0, {0, 0, 0, 0}},
      {-1, {0, 255, 254, 253}},                // 0, -1, -2, -3
      {INT32_MIN, {0, 0, 0, 0}},               // 0, -2^31, 0 (wrapped), -2^31
      {INT32_MIN + 1, {0, 1, 2, 3}},           // 0, -2^31 + 1, 2 (wrapped), -2^31 + 3
      {INT32_MAX, {0, 0, 0, 0}},               // turns at once, each way
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.step);
    SystemData.SetNum(kSysColourCycleStep, row.step);
    ResetColourCycleForTest();
    for (size_t call = 0; call < row.greys.size(); ++call) {
      StepColourCycle();
      const uint32_t g = row.greys[call];
      EXPECT_EQ(g_FlashTints[1].colour, 0xFF000000u | g << 16 | g << 8 | g) << "call " << call + 1;
    }
  }
  lpDTCon = saved;
}

// Extra lives at a clear, by the points per life (#2) at the ends of its
// word: the multiples passed are counted without overflow (a step of -1
// under the lowest points, points that ran across the whole range), and
// however many they are the lives stop at 99 at once.
TEST(SystemDataExtremesUnitTest, PointsPerLifeAtTheEndsOfItsWord) {
  struct Row {
    int32_t perLife, pointsBefore, score, livesAfter;
  };
  const Row rows[] = {
      {-1, INT32_MIN, 0, 3},
      {-1, 0, -5, 8},
      {1, INT32_MIN, INT32_MAX, 99},
      {INT32_MIN, 0, INT32_MAX, 3},
      {INT32_MAX, 0, INT32_MAX, 4},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "points per life " << r.perLife << ", points " << r.pointsBefore << " + "
                                    << r.score);
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(2, 9);
    void (*pacer)() = cStageScene::s_pWaitPacer;
    cStageScene::s_pWaitPacer = [] {};  // the extra lives' messages do not sleep
    {
      StageSession session(b);
      ASSERT_TRUE(session.Loaded());
      SystemData.SetNum(ProjectRuleRow(kRuleExtraLives).field, 1);
      SystemData.SetNum(ProjectRuleRow(kRulePointsPerLife).field, r.perLife);
      SaveData.m_nLives = 3;
      SaveData.m_nStagePoints = r.pointsBefore;
      SaveData.m_nScore = r.score;
      session.Scene().AwardStageClear();
      EXPECT_EQ(SaveData.m_nLives, r.livesAfter);
    }
    cStageScene::s_pWaitPacer = pacer;
  }
}

}  // namespace

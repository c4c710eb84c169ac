// The fault road, seen from outside: a fault found while the game runs (a
// picture that will not load, a world's stage that cannot be read) shows its
// box and then ends the game in order, without the quit question whatever a
// player would answer it, and the program exits with status 1. The real
// program in a window (the demo is windowed, where a player's close is
// asked) and `pelmora-tool play`, on the demo project.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/game_process.h"
#include "base/errors.h"
#include "base/logs.h"
#include "base/program.h"
#include "base/safe_containers.h"
#include "data/world_map.h"
#include "scene/scene.h"
#include "support/harness.h"
#include "support/sandbox.h"
#include "support/test_files.h"
#include "support/trace_lines.h"

namespace {

namespace fs = std::filesystem;

// A game that has shown its fault and still makes this many frames has gone
// on without what it lost.
constexpr size_t kFramesOfAGameGoneOn = 300;

class FaultRoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder_ / "run");
    ASSERT_EQ(MakeDemoProject(folder_, project_), "");
  }

  // `program` with `args` in the project folder; its boxes answered by
  // `answers` and written to the transcript (emptied first). The game writes
  // its frame trace to trace_ (the tool is given its own --trace).
  GameProcess::Spec Run(const std::string& program, std::vector<std::string> args, const std::string& answers) {
    fs::remove(dialogs_);
    fs::remove(trace_);
    return GameProcess::Scripted(program, project_, std::move(args), answers, folder_, dialogs_, trace_);
  }

  TempFolder folder_{"fault-road"};
  const std::string project_ = folder_ / "project";
  const std::string dialogs_ = folder_ / "dialogs.log";
  const std::string trace_ = folder_ / "trace.jsonl";
};

// The real program test-plays the demo's stage in its window with the
// stage's block picture empty (which that start loads, as the title's
// pictures): the picture's box, then the end, exit 1 (the number itself:
// what a script or the editor reads), and no quit question, whether a
// player would have answered it yes or no.
TEST_F(FaultRoadTest, AFaultInAWindowEndsTheGameWithoutAskingAndExitsOne) {
  std::ofstream(project_ + "/bmp/Block.bmp", std::ios::trunc).close();
  for (const char* answers : {"ok;no", "ok;yes"}) {
    SCOPED_TRACE(answers);
    GameProcess game(Run(PELMORA_EXE, {"data\\stg4\\demo.stg4_1"}, answers));
    ASSERT_TRUE(game.Started());
    ASSERT_TRUE(WaitFor([&] { return game.Ended() || CountLines(Slurp(trace_)) >= kFramesOfAGameGoneOn; }));
    EXPECT_TRUE(game.Ended()) << "the game plays on after its fault";
    EXPECT_EQ(game.Terminate(), 1) << game.Err();
    const std::string log = Slurp(dialogs_);
    EXPECT_NE(log.find("エラー\tbmp\\Block.bmp の読み込みに失敗！\tok"), std::string::npos) << log;
    EXPECT_EQ(log.find("終了確認"), std::string::npos) << log;
  }
}

// Headless, a player's "no" would leave nothing to answer either: the run
// ends before the frames it was given, says a fault ended the game, and
// exits 1. Its trace ends with the frame the fault happened in (the first
// of the scene that could not load its picture; the frame before it may
// already name that scene), however soon the window's thread gets to the
// close, so the same run gives the same trace every time. A stage picture
// (the first stage, entered from the map), and the world map's picture
// when a new game goes from the title to the map.
TEST_F(FaultRoadTest, HeadlessAFaultEndsTheRunWithItsFrameWithoutAsking) {
  const std::string route = std::string(PELMORA_SOURCE_DIR) + "/tests/routes/demo/01-title.txt";
  const struct {
    const char* name;
    const char* emptied;  // in the project
    std::vector<std::string> play;
    const char* box;    // the fault's box in the transcript
    const char* scene;  // whose picture it is
  } cases[] = {
      {"a stage picture", "bmp/Block.bmp", {"--input", route}, "エラー\tbmp\\Block.bmp の読み込みに失敗！\tok", "4"},
      {"the world map's picture", "bmp/WorldEvent.bmp", {"--input", route},
       "エラー\tbmp\\WorldEvent.bmp の読み込みに失敗！\tok", "1"},
  };
  constexpr int kFrames = 400;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string picture = project_ + "/" + c.emptied;
    const std::string bytes = Slurp(picture);
    std::ofstream(picture, std::ios::trunc).close();
    std::vector<std::string> args{"play", project_, "--frames", std::to_string(kFrames), "--trace", trace_};
    args.insert(args.end(), c.play.begin(), c.play.end());
    std::string first;
    for (int run = 0; run < 3; ++run) {
      fs::remove_all(project_ + "/user_data");  // each run starts from the same files
      GameProcess tool(Run(PELMORA_TOOL, args, "ok;no"));
      EXPECT_EQ(tool.Wait(), 1) << tool.Err();
      EXPECT_NE(tool.Err().find("a fault ended the game"), std::string::npos) << tool.Err();
      const std::string log = Slurp(dialogs_);
      EXPECT_NE(log.find(c.box), std::string::npos) << log;
      EXPECT_EQ(log.find("終了確認"), std::string::npos) << log;
      const std::string trace = Slurp(trace_);
      const std::vector<std::string> lines = trace::Lines(trace);
      ASSERT_FALSE(lines.empty()) << "the game had started";
      ASSERT_LT(lines.size(), static_cast<size_t>(kFrames)) << "the game played on after its fault";
      EXPECT_EQ(trace::Value(lines.back(), "scene"), c.scene);
      size_t inScene = 0;
      for (const std::string& line : lines) inScene += trace::Value(line, "scene") == c.scene;
      EXPECT_LE(inScene, 2u) << "frames after the fault";
      if (run == 0) first = trace;
      EXPECT_EQ(trace, first) << "run " << run;
    }
    std::ofstream(picture, std::ios::binary | std::ios::trunc) << bytes;
  }
}

// A new game whose map starts the hero on the first world, never opened:
// the map loads the world's stage at once as it fades in. With the world's
// stage files gone that load fails: its message, then the fault ends the
// game (the map must not go on as if the stage had started).
TEST_F(FaultRoadTest, TheMapsAutomaticStartOfAStageThatCannotLoadIsAFault) {
  cWorldMap map;
  ASSERT_TRUE(map.LoadFromFile(project_ + "/data/WorldMap.dat"));
  map.StartX() = 5;  // the first world
  map.StartY() = 7;
  ASSERT_TRUE(map.SaveToFile(project_ + "/data/WorldMap.dat"));
  for (const auto& entry : fs::directory_iterator(project_ + "/data/stg4"))
    if (entry.is_regular_file()) fs::remove(entry.path());

  const std::string route = std::string(PELMORA_SOURCE_DIR) + "/tests/routes/demo/01-title.txt";
  for (const char* answers : {"ok", "ok;no"}) {
    SCOPED_TRACE(answers);
    GameProcess tool(Run(PELMORA_TOOL, {"play", project_, "--frames", "400", "--input", route, "--trace", trace_},
                         answers));
    EXPECT_EQ(tool.Wait(), 1) << tool.Err();
    EXPECT_NE(tool.Err().find("a fault ended the game"), std::string::npos) << tool.Err();
    const std::string log = Slurp(dialogs_);
    EXPECT_NE(log.find("が読み込めません！\tok"), std::string::npos) << log;
    EXPECT_EQ(log.find("終了確認"), std::string::npos) << log;
    EXPECT_LT(CountLines(Slurp(trace_)), 400u);
  }
}

// Whichever part of the program reports the fault, on the game thread of a
// windowed game away from its title (where a player's close is asked): a
// bad index, memory that ran out, a fatal error-check line. Each ends the
// game in order without the quit question; the entry point returns 1.
TEST(FaultRoadInProcessTest, EveryKindOfFaultEndsAWindowedGameWithoutAsking) {
  const struct {
    const char* name;
    void (*fault)();
    const char* box;  // the fault's own box ("" none)
  } cases[] = {
      {"a bad index", [] { cSafeVector<int32_t>(3).At(3) = 7; }, ""},
      {"out of memory", [] { ShowOutOfMemory(); }, "エラー\tメモリが不足しています！\tok"},
      {"a fatal line", [] { WriteECLogAndClose(g_hMainWnd.load(), "fatal"); }, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GameHarness::Options options;
    // The start dialog, the fault's box when it has one, then what a player
    // would answer the quit question if it came.
    options.dialogAnswers = std::string("ok;") + (c.box[0] != '\0' ? "ok;" : "") + "no";
    options.iniLines = "WindowMode=1\n";
    GameHarness game(options);
    auto fault = c.fault;
    RegisterSceneFactory(kSceneOptions, [fault] {
      return new TestScene([fault](TestScene& scene) {
        if (scene.runs == 3) fault();
      });
    });
    SceneManager.m_nCurrent = kSceneOptions;
    ASSERT_TRUE(game.Start());
    EXPECT_EQ(game.WaitForExit(), 1);
    const std::string log = game.DialogLog();
    EXPECT_EQ(log.find("終了確認"), std::string::npos) << log;
    if (c.box[0] != '\0') {
      EXPECT_NE(log.find(c.box), std::string::npos) << log;
    }
  }
}

}  // namespace

// A stage file the player chooses that will not load, on the two roads a
// player chooses one (the world map's enter box, free play's file dialog),
// in runs of `pelmora-tool play` on the demo: one that cannot be read (here
// a named pipe in its place, which nothing may wait on) costs that choice
// only, its boxes shown (each once: the file is read once) and the game
// going on where it was (exit 0); one damaged at its end ends the game
// after its box (exit 1), and so does one the map starts by itself.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/game_process.h"
#include "data/world_map.h"
#include "support/sandbox.h"
#include "support/test_files.h"
#include "support/trace_lines.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kStage = "data/stg4/c01-1.stg4_001";  // the first world's
constexpr const char* kRead = "エラー\tステージファイル data\\stg4\\c01-1.stg4_001 の読み込みに失敗しました！\t";
constexpr const char* kMapsOwn = "エラー\tステージファイル data\\stg4\\c01-1.stg4_001 が読み込めません！\t";
constexpr const char* kDamaged = "エラー\tステージファイル data\\stg4\\c01-1.stg4_001 が破損しています！\t";

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

struct Road {
  const char* name;
  std::string input;    // the key script's text; empty: the demo's route to the map
  const char* answers;  // the dialogs' answers
  int frames;
  const char* scene;  // where the game goes on
};

class StageChoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder_ / "run");
    ASSERT_EQ(MakeDemoProject(folder_, project_), "");
  }
  // One run of the road: its exit status.
  int Play(const Road& road) {
    fs::remove(dialogs_);
    fs::remove(trace_);
    const std::string input = road.input.empty()
                                  ? std::string(PELMORA_SOURCE_DIR) + "/tests/routes/demo/01-title.txt"
                                  : folder_.Write("keys.txt", road.input);
    GameProcess play(GameProcess::Scripted(
        PELMORA_TOOL, folder_.Path(),
        {"play", project_, "--frames", std::to_string(road.frames), "--input", input, "--trace", trace_},
        road.answers, folder_, dialogs_, trace_));
    const int status = play.Wait();
    err_ = play.Err();
    return status;
  }

  TempFolder folder_{"stage-choice"};
  const std::string project_ = folder_ / "project";
  const std::string dialogs_ = folder_ / "dialogs.log";
  const std::string trace_ = folder_ / "trace.jsonl";
  std::string err_;
};

// The map's box opens by itself as the hero arrives on the first world; the
// title's fourth row is free play, whose dialog is answered with the file.
const Road kRoads[] = {
    {"the world map's enter box", "", "", 400, "1"},
    {"free play's file dialog", "100 DOWN\n104 DOWN\n108 DOWN\n112 B1\n", "file:data\\stg4\\c01-1.stg4_001", 300, "0"},
};

TEST_F(StageChoiceTest, AStageThatCannotBeReadCostsThatChoiceOnly) {
  ASSERT_TRUE(fs::remove(project_ + "/" + kStage));
  ASSERT_EQ(mkfifo((project_ + "/" + kStage).c_str(), 0600), 0);
  for (const Road& road : kRoads) {
    SCOPED_TRACE(road.name);
    EXPECT_EQ(Play(road), 0) << "-1: the run waits on the file\n" << err_;
    const std::vector<std::string> lines = trace::Lines(Slurp(trace_));
    ASSERT_EQ(lines.size(), static_cast<size_t>(road.frames));
    EXPECT_EQ(trace::Value(lines.back(), "scene"), road.scene);
    const std::string boxes = Slurp(dialogs_);
    EXPECT_EQ(Count(boxes, kRead), 1u) << "the file is read once\n" << boxes;
    EXPECT_EQ(Count(boxes, kMapsOwn), road.scene == std::string("1") ? 1u : 0u) << boxes;
  }
}

// The map starts the stage of a world the hero stands on, never entered, as
// it fades in: a new game whose map starts the hero on the first world.
// That stage cannot be read: its box once, the map's own once, and the
// game ends (exit 1), the map not going on as if the stage had started.
TEST_F(StageChoiceTest, AStageTheMapStartsByItselfThatCannotBeReadIsReadOnce) {
  cWorldMap map;
  ASSERT_TRUE(map.LoadFromFile(project_ + "/data/WorldMap.dat"));
  map.StartX() = 5;  // the first world
  map.StartY() = 7;
  ASSERT_TRUE(map.SaveToFile(project_ + "/data/WorldMap.dat"));
  ASSERT_TRUE(fs::remove(project_ + "/" + kStage));
  ASSERT_EQ(mkfifo((project_ + "/" + kStage).c_str(), 0600), 0);
  EXPECT_EQ(Play(Road{"the map's start", "", "ok;ok", 400, "1"}), 1) << err_;
  EXPECT_LT(trace::Lines(Slurp(trace_)).size(), 400u) << "the game went on";
  const std::string boxes = Slurp(dialogs_);
  EXPECT_EQ(Count(boxes, kRead), 1u) << "the file is read once\n" << boxes;
  EXPECT_EQ(Count(boxes, kMapsOwn), 1u) << boxes;
  EXPECT_LT(boxes.find(kRead), boxes.find(kMapsOwn)) << boxes;
}

TEST_F(StageChoiceTest, AStageDamagedAtItsEndEndsTheGame) {
  const std::string bytes = Slurp(project_ + "/" + kStage);
  ASSERT_GT(bytes.size(), 4u);
  std::ofstream(project_ + "/" + kStage, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() - 4);
  for (const Road& road : kRoads) {
    SCOPED_TRACE(road.name);
    EXPECT_EQ(Play(road), 1) << err_;
    EXPECT_LT(trace::Lines(Slurp(trace_)).size(), static_cast<size_t>(road.frames)) << "the game went on";
    const std::string boxes = Slurp(dialogs_);
    EXPECT_NE(boxes.find(kDamaged), std::string::npos) << boxes;
    EXPECT_EQ(boxes.find(kMapsOwn), std::string::npos) << boxes;
  }
}

}  // namespace

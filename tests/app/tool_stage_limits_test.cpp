// pelmora-tool over stages at the limits of what the game lays out, run as
// processes: `check` takes the stages the game plays ("ok stage") and
// refuses those its set-up would not lay out (exit 1), giving the set-up
// check's reason after the file's name; `resave` and `dump` read any stage
// the reader takes, a refused one and a stage of its defaults among them,
// and a resave is the same file. A stage whose 2,000 characters take a
// type's 4,000 flows (half a megabyte of file, gigabytes of flow states) is
// refused by `check` and by the game alike, each saying why; so is a replay
// of a stage the game would not lay out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "app/tool_run.h"
#include "data/replay_file.h"
#include "data/stage_data.h"
#include "play/world/stage_limits.h"
#include "scene/play_record.h"
#include "support/project_files.h"
#include "support/sandbox.h"
#include "support/stage_limit_cases.h"

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

TEST(ToolStageLimitsTest, CheckTakesAndRefusesWhatTheGameDoesSayingWhy) {
  TempFolder folder("stagelimits");
  WriteDefaultProject(folder.Path());
  int n = 0;
  for (const StageLimitCase& c : StageLimitCases()) {
    SCOPED_TRACE(c.what);
    cStageData stage = StageWithinLimits();
    c.change(stage);
    const std::string path = folder.Write("data/stg4/limit" + std::to_string(n++) + ".stg4_1", stage.SaveToBytes());
    const ToolRunResult ran = RunToolIn(folder, {"check", path});
    if (!c.refusal) {
      EXPECT_EQ(ran.status, 0) << ran.err;
      EXPECT_EQ(ran.out.rfind("ok stage: ", 0), 0u) << ran.out;
      EXPECT_EQ(ran.err, "");
      continue;
    }
    EXPECT_EQ(ran.status, 1) << ran.out;
    EXPECT_EQ(ran.err, path + ": the game would not play it: " + StageSetUpProblem(stage) + "\n");
    EXPECT_NE(ran.err.find(c.refusal), std::string::npos) << ran.err;
    EXPECT_EQ(ran.out, "");
  }
}

// A stage of its defaults (as a new record holds it: 0 x 0 blocks), and one
// whose width no stage may have: read, dumped and resaved as they are.
TEST(ToolStageLimitsTest, ResaveAndDumpTakeWhatTheSetUpRefuses) {
  TempFolder folder("stagedefaults");
  WriteDefaultProject(folder.Path());
  cStageData wide = StageWithinLimits();
  wide.Int(kStageWidth) = INT32_MAX;
  const struct {
    const char* what;
    std::string bytes;
    const char* width;  // in the dump
  } rows[] = {{"defaults", cStageData().SaveToBytes(), "{\"name\":\"#1\",\"value\":0}"},
              {"widest word", wide.SaveToBytes(), "{\"name\":\"#1\",\"value\":2147483647}"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string in = folder.Write(std::string("data/stg4/") + row.what + ".stg4_1", row.bytes);
    const std::string out = folder / "data/stg4/again.stg4_1";
    const ToolRunResult resaved = RunToolIn(folder, {"resave", in, out});
    EXPECT_EQ(resaved.status, 0) << resaved.err;
    EXPECT_TRUE(Slurp(out) == row.bytes) << "the resave differs";
    const ToolRunResult dumped = RunToolIn(folder, {"dump", in});
    EXPECT_EQ(dumped.status, 0) << dumped.err;
    EXPECT_NE(dumped.out.find(row.width), std::string::npos) << dumped.out.substr(0, 400);
    EXPECT_EQ(RunToolIn(folder, {"check", in}).status, 1);
  }
}

// A replay holds the stage it plays: `check` says the game would not play a
// replay whose stage its set-up would not lay out; `dump` reads it.
TEST(ToolStageLimitsTest, CheckHoldsAReplaysStageToTheSameLimits) {
  TempFolder folder("replaylimits");
  WriteDefaultProject(folder.Path());
  for (const int32_t width : {40, 0}) {
    SCOPED_TRACE(width);
    cKeyLog log;
    log.AddFrame(0, 0);
    cStageData stage = StageWithinLimits(), settings = StageWithinLimits();
    settings.Int(kStageWidth) = width;
    cSaveData record;
    const std::string path =
        folder.Write("user_data/rpl4/w" + std::to_string(width) + ".rpl4_873", MakeReplayBytes(log, stage, settings, record));
    const ToolRunResult checked = RunToolIn(folder, {"check", path});
    EXPECT_EQ(checked.status, width ? 0 : 1) << checked.err;
    EXPECT_EQ(checked.err, width ? "" : path + ": the game would not play it: its width (0 blocks) is not 1 to 32768\n");
    EXPECT_EQ(RunToolIn(folder, {"dump", path}).status, 0);
  }
}

TEST(ToolStageLimitsTest, AStageOfManyCharactersTakingManyFlowsIsRefusedByCheckAndTheGame) {
  TempFolder folder("stageheirs");
  ASSERT_EQ(RunToolIn(folder, {"make-demo", folder / "game"}).status, 0);
  const std::string write = "python3 " PELMORA_SOURCE_DIR "/tests/data/project_writer.py '" + (folder / "game") +
                            "' --heirs 4000 2000";
  ASSERT_EQ(std::system(write.c_str()), 0);
  const std::string stage = folder / "game/data/stg4/heirs.stg4_1";
  ASSERT_LT(Slurp(stage).size(), 500000u);

  const ToolRunResult checked = RunToolIn(folder, {"check", stage});
  EXPECT_EQ(checked.status, 1);
  const std::string why = "its set-up would take ";
  EXPECT_NE(checked.err.find(stage + ": the game would not play it: " + why), std::string::npos) << checked.err;
  for (const char* part : {" MB, more than the 1024 MB a stage may take", "2001 characters", "8000000 flow states"})
    EXPECT_NE(checked.err.find(part), std::string::npos) << part << "\n" << checked.err;

  const ToolRunResult played = RunToolIn(folder, {"play", folder / "game", "data\\stg4\\heirs.stg4_1", "--frames", "5"});
  EXPECT_EQ(played.status, 1);
  EXPECT_NE(played.err.find("play: Report_Game.txt: data\\stg4\\heirs.stg4_1 : the stage cannot be played: " + why),
            std::string::npos)
      << played.err;
  EXPECT_NE(played.err.find("ステージファイル data\\stg4\\heirs.stg4_1 の読み込みに失敗しました！"), std::string::npos)
      << played.err;
}

}  // namespace

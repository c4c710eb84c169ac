// pelmora-tool check of stage files at the limits of what a stage holds,
// run as a process over the loader's cases: the tool takes the files the
// game takes ("ok stage"), and refuses the files the game refuses (exit 1),
// giving the same reason the game's reader found, after the file's name.
#include <gtest/gtest.h>

#include <string>

#include "app/tool_run.h"
#include "data/stage_data.h"
#include "support/project_files.h"
#include "support/sandbox.h"
#include "support/stage_limit_cases.h"

namespace {

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
    EXPECT_EQ(ran.err, path + ": not a readable stage file: " + StageLimitProblem(stage) + "\n");
    EXPECT_NE(ran.err.find(c.refusal), std::string::npos) << ran.err;
    EXPECT_EQ(ran.out, "");
  }
}

}  // namespace

// A stage file that holds more than any stage can (a side past 32768
// blocks, more than 2^23 blocks in all, a scroll end below -32768, more
// than 65536 placed characters or items, a gravity that is no number) is a
// broken file: its read fails, saying why, and leaves the record as it was.
// The values at the limits load.
#include <gtest/gtest.h>

#include "data/record.h"
#include "data/stage_data.h"
#include "support/stage_limit_cases.h"

namespace {

TEST(StageLimitsTest, TheReadRefusesWhatNoStageHoldsAndTakesTheEdges) {
  for (const StageLimitCase& c : StageLimitCases()) {
    SCOPED_TRACE(c.what);
    cStageData stage = StageWithinLimits();
    c.change(stage);
    const std::string bytes = stage.SaveToBytes();
    cStageData loaded;
    loaded.m_strName = "before";
    const bool ok = loaded.LoadFromBytes(bytes);
    if (!c.refusal) {
      ASSERT_TRUE(ok) << LastStageLimitProblem();
      EXPECT_EQ(LastStageLimitProblem(), "");
      EXPECT_EQ(std::pair(loaded.Int(kStageWidth), loaded.Int(kStageHeight)),
                std::pair(stage.Int(kStageWidth), stage.Int(kStageHeight)));
      EXPECT_EQ(std::pair(loaded.m_PlacedCharacters.size(), loaded.m_PlacedItems.size()),
                std::pair(stage.m_PlacedCharacters.size(), stage.m_PlacedItems.size()));
      continue;
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(nLastLoadFailure, LoadFailure::kBroken);
    EXPECT_NE(LastStageLimitProblem().find(c.refusal), std::string::npos) << LastStageLimitProblem();
    EXPECT_EQ(StageLimitProblem(stage), LastStageLimitProblem());
    EXPECT_EQ(loaded.m_strName, "before");
    // The next read that passes forgets the reason.
    ASSERT_TRUE(loaded.LoadFromBytes(StageWithinLimits().SaveToBytes()));
    EXPECT_EQ(LastStageLimitProblem(), "");
  }
}

// A replay holds the stage it was played on: one past a limit is refused
// the same way, whichever record the settings came from.
TEST(StageLimitsTest, AReplaysStageIsHeldToTheSameLimits) {
  for (const int32_t width : {32768, 32769}) {
    SCOPED_TRACE(width);
    cStageData stage = StageWithinLimits(), settings = StageWithinLimits();
    settings.Int(kStageWidth) = width;
    settings.Int(kStageHeight) = 16;
    cDataWriter out;
    out.WriteU32(static_cast<uint32_t>(kDataVersion));
    stage.WriteForReplay(out, settings);
    cStageData loaded;
    EXPECT_EQ(loaded.LoadFromBytes(out.Bytes()), width == 32768);
  }
}

}  // namespace

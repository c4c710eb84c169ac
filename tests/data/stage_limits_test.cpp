// The reader takes a stage file as it is: every number as the file gives
// it, whatever the set-up would make of it (the limits are the set-up's,
// play/world/stage_limits.h), and a resave writes the file back byte for
// byte. A stage of its defaults (0 x 0 blocks) among them.
#include <gtest/gtest.h>

#include "data/record.h"
#include "data/stage_data.h"
#include "support/stage_limit_cases.h"

namespace {

TEST(StageLimitsTest, TheReaderKeepsEveryNumberAndAResaveIsTheSameFile) {
  std::vector<StageLimitCase> cases = StageLimitCases();
  cases.push_back({"its defaults", [](cStageData& s) { s = cStageData(); }, "its width (0 blocks)"});
  for (const StageLimitCase& c : cases) {
    SCOPED_TRACE(c.what);
    cStageData stage = StageWithinLimits();
    c.change(stage);
    const std::string bytes = stage.SaveToBytes();
    cStageData loaded;
    ASSERT_TRUE(loaded.LoadFromBytes(bytes));
    EXPECT_EQ(nLastLoadFailure, LoadFailure::kNone);
    for (int k = 1; k <= kStageFieldCount; ++k) {
      if (IsStageDoubleField(k))
        EXPECT_EQ(std::isnan(loaded.Dbl(k)) ? 0 : loaded.Dbl(k), std::isnan(stage.Dbl(k)) ? 0 : stage.Dbl(k)) << k;
      else
        EXPECT_EQ(loaded.Int(k), stage.Int(k)) << k;
    }
    EXPECT_EQ(std::pair(loaded.m_PlacedCharacters.size(), loaded.m_PlacedItems.size()),
              std::pair(stage.m_PlacedCharacters.size(), stage.m_PlacedItems.size()));
    EXPECT_TRUE(loaded.SaveToBytes() == bytes) << "the resave differs";
  }
}

// A replay holds the stage it was played on: its settings from the master
// copy and its objects from the working stage, read back as they are.
TEST(StageLimitsTest, AReplaysStageIsReadAsItIs) {
  for (const int32_t width : {0, 32768, 32769}) {
    SCOPED_TRACE(width);
    cStageData stage = StageWithinLimits(), settings = StageWithinLimits();
    settings.Int(kStageWidth) = width;
    settings.Int(kStageHeight) = 16;
    cDataWriter out;
    out.WriteU32(static_cast<uint32_t>(kDataVersion));
    stage.WriteForReplay(out, settings);
    cStageData loaded;
    ASSERT_TRUE(loaded.LoadFromBytes(out.Bytes()));
    EXPECT_EQ(std::pair(loaded.Int(kStageWidth), loaded.Int(kStageHeight)), std::pair(width, 16));
    EXPECT_EQ(loaded.m_PlacedCharacters.size(), 1u);
  }
}

}  // namespace

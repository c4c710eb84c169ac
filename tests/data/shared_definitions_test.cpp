// Types that inherit flows and commands hold their base's list until they
// change it: what each type sees is what a deep copy would have given it,
// the checks copy a shared list once per pass, and loading a stage never
// changes the common palette's lists.
#include <gtest/gtest.h>

#include <utility>

#include "data/common_palette.h"
#include "data/stage_data.h"
#include "records_support.h"

namespace records_test {
namespace {

// A flow whose one command summons stage block `block` (a summon of palette
// 1, the stage's).
cEdFlow SummonFlow(int16_t block) {
  cEdCmd summon;
  summon.m_nKind = 13;
  cEdShot::Create(summon.m_pShot);
  summon.m_pShot->m_nSummonPalette = 1;
  summon.m_pShot->m_nSummonIndex = block;
  cEdFlow flow;
  flow.m_nTrigger = 2;
  flow.m_vCmds = {summon};
  return flow;
}

// Stage characters 2.. take the flows (group 36) of stage character 1.
cStageData StageOfHeirs(int heirs, int16_t summoned) {
  cStageData s;
  s.Int(kStageWidth) = 20;
  s.Int(kStageHeight) = 15;
  s.m_PaletteBlocks.resize(4);
  s.m_PaletteCharacters.resize(2 + static_cast<size_t>(heirs));
  s.m_PaletteCharacters[1].m_vFlows = {SummonFlow(summoned), SummonFlow(2)};
  for (int i = 0; i < heirs; ++i) {
    cEdCharacter& heir = s.m_PaletteCharacters[2 + static_cast<size_t>(i)];
    heir.m_nBaseKind = kPaletteStage;
    heir.m_nBaseIndex = 1;
    heir.m_vInherit[cEdCharacter::kFlowGroup] = 1;
  }
  return s;
}

class SharedDefinitionsTest : public RecordsTest {
 protected:
  void SetUp() override {
    RecordsTest::SetUp();
    savedCommon_ = CommonPalette;
  }
  void TearDown() override {
    CommonPalette = savedCommon_;
    RecordsTest::TearDown();
  }
  cCommonPalette savedCommon_;
};

TEST_F(SharedDefinitionsTest, HeirsShareTheBaseListUntilOneChangesIt) {
  cStageData loaded;
  ASSERT_TRUE(loaded.LoadFromBytes(StageOfHeirs(3, 9).SaveToBytes()));
  const auto& types = loaded.m_PaletteCharacters;
  // Block 9 is past the stage's four: the palette check made it 1, once,
  // and every heir holds that same checked list.
  EXPECT_EQ(types[1].m_vFlows[0].m_vCmds[0].m_pShot->m_nSummonIndex, 1);
  for (size_t i = 2; i <= 4; ++i) EXPECT_TRUE(types[i].m_vFlows.IsSharedWith(types[1].m_vFlows)) << i;

  // A change through one heir's list changes that heir alone.
  cEdCharacter& changed = loaded.m_PaletteCharacters[3];
  changed.m_vFlows[0].m_nTrigger = 9;
  EXPECT_FALSE(changed.m_vFlows.IsSharedWith(types[1].m_vFlows));
  EXPECT_EQ(types[1].m_vFlows[0].m_nTrigger, 2);
  EXPECT_EQ(types[4].m_vFlows[0].m_nTrigger, 2);
  EXPECT_NE(changed.m_vFlows[0].m_vCmds[0].m_pShot, types[1].m_vFlows[0].m_vCmds[0].m_pShot);

  // Written, every heir holds the flows as the format stores them.
  cStageData again;
  ASSERT_TRUE(again.LoadFromBytes(loaded.SaveToBytes()));
  EXPECT_EQ(again.m_PaletteCharacters[3].m_vFlows.size(), 2u);
  // Its own flows were written, and replaced by the base's again on reading.
  EXPECT_EQ(again.m_PaletteCharacters[3].m_vFlows[0].m_nTrigger, 2);
}

TEST_F(SharedDefinitionsTest, AStageLoadLeavesTheCommonPaletteAlone) {
  CommonPalette = cCommonPalette();
  CommonPalette.m_Characters.resize(2);
  CommonPalette.m_Characters[1].m_vFlows = {SummonFlow(3)};
  CommonPalette.m_Items.resize(2);
  CommonPalette.m_Items[1].m_vCmds = {SummonFlow(3).m_vCmds[0]};
  CommonPalette.m_Items[1].m_vCmds[0].m_nKind = 14;
  // A stage of two blocks whose types take the common lists: its palette
  // check resets their block 3, the common palette keeps it.
  cStageData s;
  s.Int(kStageWidth) = 20;
  s.Int(kStageHeight) = 15;
  s.m_PaletteCharacters.resize(3);
  s.m_PaletteCharacters[2].m_nBaseKind = kPaletteCommon;
  s.m_PaletteCharacters[2].m_nBaseIndex = 1;
  s.m_PaletteCharacters[2].m_vInherit[cEdCharacter::kFlowGroup] = 1;
  s.m_PaletteItems.resize(3);
  s.m_PaletteItems[2].m_nBaseKind = kPaletteCommon;
  s.m_PaletteItems[2].m_nBaseIndex = 1;
  s.m_PaletteItems[2].m_vInherit[cEdItem::kCommandGroup] = 1;
  cStageData loaded;
  ASSERT_TRUE(loaded.LoadFromBytes(s.SaveToBytes()));
  EXPECT_EQ(loaded.m_PaletteCharacters[2].m_vFlows[0].m_vCmds[0].m_pShot->m_nSummonIndex, 1);
  EXPECT_EQ(loaded.m_PaletteItems[2].m_vCmds[0].m_pShot->m_nSummonIndex, 1);
  const cCommonPalette& common = CommonPalette;
  EXPECT_EQ(common.m_Characters[1].m_vFlows[0].m_vCmds[0].m_pShot->m_nSummonIndex, 3);
  EXPECT_EQ(common.m_Items[1].m_vCmds[0].m_pShot->m_nSummonIndex, 3);
}

TEST_F(SharedDefinitionsTest, ChecksCopyASharedListOnlyForAChange) {
  cEdCharacter base;
  base.m_vFlows = {SummonFlow(2)};
  cEdCharacter heir = base;
  ASSERT_TRUE(heir.m_vFlows.IsSharedWith(base.m_vFlows));
  std::vector<cEdBlock> blocks(4);
  cPaletteScope scope(kPaletteStage, {&blocks, nullptr, nullptr});
  heir.ValidateReferences();
  heir.ValidatePaletteReferences();
  EXPECT_TRUE(heir.m_vFlows.IsSharedWith(base.m_vFlows));  // nothing to change
  blocks.resize(2);
  heir.ValidatePaletteReferences();
  EXPECT_FALSE(heir.m_vFlows.IsSharedWith(base.m_vFlows));
  EXPECT_EQ(heir.m_vFlows[0].m_vCmds[0].m_pShot->m_nSummonIndex, 1);
  EXPECT_EQ(std::as_const(base).m_vFlows[0].m_vCmds[0].m_pShot->m_nSummonIndex, 2);
}

}  // namespace
}  // namespace records_test

// Block, character and item types: byte layouts from the file format, the
// migrations of older files, palette inheritance group by group, the
// reference checks and hostile input.
#include "data/block.h"
#include "data/character.h"
#include "data/inheritance.h"
#include "data/item.h"
#include "records_support.h"

namespace records_test {
namespace {

// Character fields (the name is the one string, after field 2).
const std::vector<F> kCharacterFields = {
    {1, 1, 0},   {2, 2, 0},   {4, 1, 0},   {5, 1, 0},   {6, 1, 0},   {7, 1, 0},     {8, 2, 0},   {9, 2, 0},
    {10, 2, 0},  {11, 2, 0},  {12, 1, 0},  {13, 1, 0},  {14, 2, 0},  {15, 1, 0},    {16, 2, 0},  {17, 2, 0},
    {18, 1, 0},  {19, 1, 0},  {20, 2, 0},  {21, 1, 196}, {22, 1, 0}, {23, 2, 0},    {24, 1, 196}, {25, 1, 0},
    {26, 2, 0},  {27, 1, 0},  {28, 1, 0},  {29, 1, 0},  {30, 1, 0},  {31, 1, 0},    {32, 1, 0},  {33, 1, 0},
    {34, 1, 285}, {35, 1, 0}, {36, 1, 0},  {37, 1, 210}, {38, 1, 0}, {39, 1, 0},    {40, 4, 0},  {41, 4, 0},
    {42, 2, 0},  {43, 1, 201}, {44, 4, 0}, {45, 1, 0},  {46, 2, 0},  {47, 4, 168},  {48, 1, 0},  {49, 4, 0},
    {50, 1, 0},  {51, 1, 0},  {52, 2, 0},  {53, 1, 0},  {54, 1, 0}};
const std::map<int, double> kNewCharacter = {{15, 1}, {18, 3}, {22, 1}, {27, 1}, {29, 1}, {32, 1},
                                             {36, 1}, {40, 10}, {42, 10}, {50, 1}};

// A character body: fields, the name, the tail words, flags, conditions and
// flows (the flows given as bytes).
Bytes Character(int version, std::map<int, double> values, const std::vector<uint8_t>& flags,
                const std::string& flows = "", int flowCount = 0) {
  Bytes body = Body(kCharacterFields, version, values);
  std::string s = body.s();
  s.resize(s.size() - 4);  // the field part; the string count follows
  Bytes b;
  b.add(s).u32(1).str("").u16(0).u16(0).u32(0).u32(static_cast<int64_t>(flags.size()));
  for (uint8_t f : flags) b.u8(f);
  return b.u32(0).u32(flowCount).add(flows);
}

// A flow of 873 (trigger t), optionally with one command of kind `kind`.
Bytes Flow(int trigger, const std::string& commands = "", int commandCount = 0) {
  return Bytes().u32(10).u8(0).u8(0).u8(0).u8(0).u8(0).u8(trigger).u8(0).u8(0).u8(0).u8(0).u32(1).str("")
      .u32(0).u32(0).u32(commandCount).add(commands);
}

using DefinitionRecordsTest = RecordsTest;

// The migrations at each version threshold are checked on the independent
// writer's files (project_writer_versions_test); here the layouts this
// program writes, the checks, and hostile input.
TEST_F(DefinitionRecordsTest, BlockLayout) {
  cEdBlock block;
  // Written: option seven goes with a graphic number of 0; option three -1.
  Bytes expected = Bytes().u32(18).u8(0).u16(0).u8(0).u8(0).u16(0).u8(0).u16(0).u8(0).u8(0).u8(0).u16(0).u8(0)
                       .u8(0xFF).u8(0).u32(0).u8(0).u16(0).u8(0).u32(1).str("").u16(0).u16(0).u32(11).zeros(11)
                       .u32(0);
  EXPECT_EQ(expected.size(), 61u);
  EXPECT_EQ(block.SaveToBytes(), File(873, expected));
}

TEST_F(DefinitionRecordsTest, CharacterLayoutChecksAndSteps) {
  cEdCharacter c;
  std::string newBody = Character(873, kNewCharacter, std::vector<uint8_t>(37, 0)).s();
  EXPECT_EQ(newBody.size(), 151u);
  EXPECT_EQ(c.SaveToBytes(), File(873, Bytes().add(newBody)));

  // A player character loses parameters 35 and 7; database indices past
  // their lists are reset.
  ASSERT_TRUE(c.LoadFromBytes(File(873, Character(873, {{27, 0}, {35, 5}, {7, 6}, {15, 4}, {14, 4}, {17, -1},
                                                       {20, 4}, {23, 3}, {46, 4}, {36, 1}}, {}))));
  EXPECT_EQ(std::vector<int>({c.m_nParam35, c.m_nParam7, c.m_nGraphic, c.m_nAnimeSet, c.m_nCharaEffectA,
                              c.m_nCharaEffectB, c.m_nEffect}),
            std::vector<int>({0, 0, 1, 0, 0, 3, 0}));

  // A single blank flow is written as no flows; a flow with a trigger stays.
  cEdCharacter flows;
  flows.m_vFlows.resize(1);
  cEdCharacter back;
  ASSERT_TRUE(back.LoadFromBytes(flows.SaveToBytes()));
  EXPECT_TRUE(back.m_vFlows.empty());
  EXPECT_TRUE(flows.m_vFlows.empty());
  ASSERT_TRUE(back.LoadFromBytes(File(873, Character(873, kNewCharacter, {}, Flow(3).s(), 1))));
  ASSERT_EQ(back.m_vFlows.size(), 1u);
  EXPECT_EQ(back.m_vFlows[0].m_nTrigger, 3);

  std::tie(c.m_nStepStartX, c.m_nStepX, c.m_nMirrorX, c.m_nStepY) = std::tuple(10, -4, 1, 32767);
  EXPECT_EQ(std::pair(c.GetStepOffsetX(3, 1), c.GetStepOffsetX(3, 0)), std::pair(2.0, -2.0));
  EXPECT_EQ(c.GetStepOffsetY(1 << 30, 0), 32767.0 * (1 << 30));  // no 32-bit overflow
}

TEST_F(DefinitionRecordsTest, ItemChecksAndPaletteLookups) {
  cEdItem item;
  item.m_nSound = 4;
  item.m_nParam17 = 0;
  cEdItem back;
  ASSERT_TRUE(back.LoadFromBytes(item.SaveToBytes()));
  EXPECT_EQ(back.m_nSound, 0);
  EXPECT_EQ(back.m_nParam17, 1);
  EXPECT_EQ(back.SaveToBytes().size(), 4u + 65u);

  std::vector<cEdItem> common(2), stage(3);
  {
    cPaletteScope commonScope(kPaletteCommon, {nullptr, nullptr, &common});
    cPaletteScope scope(kPaletteStage, {nullptr, nullptr, &stage});
    EXPECT_EQ(GetPaletteItem(2, 2), &stage[2]);
    EXPECT_EQ(GetPaletteItem(2, 3), nullptr);
    EXPECT_EQ(GetPaletteItem(1, 1), &common[1]);
    EXPECT_EQ(GetPaletteItem(3, 0), nullptr);
  }
  EXPECT_NE(GetPaletteItem(2, 0), &stage[0]);  // outside the scope: the registered stage
}

TEST_F(DefinitionRecordsTest, InheritanceOfItselfAndOfFlows) {
  // (Group by group: inheritance_groups_test.)
  std::vector<cEdBlock> blocks(2);
  blocks[1].m_strName = "base";
  cPaletteScope scope(kPaletteStage, {&blocks, nullptr, nullptr});
  // A type naming itself as its base is left alone.
  blocks[1].m_nBaseKind = 2;
  blocks[1].m_nBaseIndex = 1;
  blocks[1].m_vInherit.assign(11, 1);
  blocks[1].ApplyInheritance();
  EXPECT_EQ(blocks[1].m_strName, "base");

  // Characters: flows deep-copied; a base without flows leaves one blank
  // flow of key tolerance 3.
  std::vector<cEdCharacter> chars(2);
  chars[1].m_vFlows.resize(1);
  chars[1].m_vFlows[0].m_nTrigger = 5;
  chars[1].m_vFlows[0].m_vCmds.resize(1);
  cEdShot::Create(chars[1].m_vFlows[0].m_vCmds[0].m_pShot);
  cPaletteScope charScope(kPaletteCommon, {nullptr, &chars, nullptr});
  cEdCharacter c;
  c.m_nBaseKind = 1;
  c.m_nBaseIndex = 1;
  c.m_vInherit[cEdCharacter::kFlowGroup] = 1;
  c.ApplyInheritance();
  ASSERT_EQ(c.m_vFlows.size(), 1u);
  EXPECT_NE(c.m_vFlows[0].m_vCmds[0].m_pShot, chars[1].m_vFlows[0].m_vCmds[0].m_pShot);
  chars[1].m_vFlows.clear();
  c.ApplyInheritance();
  ASSERT_EQ(c.m_vFlows.size(), 1u);
  EXPECT_EQ(c.m_vFlows[0].m_nKeyTolerance, 3);
  EXPECT_TRUE(c.m_vFlows[0].IsEmpty());
}

TEST_F(DefinitionRecordsTest, SecondPassResetsPaletteReferences) {
  std::vector<cEdBlock> stageBlocks(4);
  std::vector<cEdItem> commonItems(3);
  cPaletteScope commonScope(kPaletteCommon, {nullptr, nullptr, &commonItems});
  cPaletteScope scope(kPaletteStage, {&stageBlocks, nullptr, nullptr});
  cEdCmd summon;
  summon.m_nKind = 13;
  cEdShot::Create(summon.m_pShot);
  summon.m_pShot->m_nSummonPalette = 1;
  summon.m_pShot->m_nSummonIndex = 9;
  cEdCmd drop;
  drop.m_nKind = 11;
  cEdShot::Create(drop.m_pShot);
  drop.m_pShot->m_nItemPalette = 1;
  drop.m_pShot->m_nItemIndex = 3;
  cEdCmd itemGet;
  itemGet.m_nFamily = 1;
  itemGet.m_nKind = 10;
  itemGet.m_vParams = {0, 2};
  // Nested two flows deep inside a character.
  cEdCharacter c;
  c.m_vFlows.resize(1);
  c.m_vFlows[0].m_vCmds = {summon, drop};
  c.m_vFlows[0].m_vCmds[0].m_vFlows.resize(1);
  c.m_vFlows[0].m_vCmds[0].m_vFlows[0].m_vCmds = {summon};
  c.ValidatePaletteReferences();
  EXPECT_EQ(c.m_vFlows[0].m_vCmds[0].m_pShot->m_nSummonIndex, 1);
  EXPECT_EQ(c.m_vFlows[0].m_vCmds[1].m_pShot->m_nItemPalette, 0);
  EXPECT_EQ(c.m_vFlows[0].m_vCmds[1].m_pShot->m_nItemIndex, 0);
  EXPECT_EQ(c.m_vFlows[0].m_vCmds[0].m_vFlows[0].m_vCmds[0].m_pShot->m_nSummonIndex, 1);
  cEdItem item;
  item.m_vCmds = {itemGet};
  item.ValidatePaletteReferences();
  EXPECT_EQ(item.m_vCmds[0].m_vParams[1], 2u);  // 2 < 3 common items
  item.m_vCmds[0].m_vParams = {1, 0};           // the stage has no items
  item.ValidatePaletteReferences();
  EXPECT_EQ(item.m_vCmds[0].m_vParams[1], 1u);
}

TEST_F(DefinitionRecordsTest, BrokenCharacterFilesFailCleanly) {
  // A character with a flow holding a command with objects and a nested flow.
  cEdCharacter c;
  c.m_vConds.resize(1);
  c.m_vFlows.resize(1);
  c.m_vFlows[0].m_nTrigger = 1;
  c.m_vFlows[0].m_vKeys.resize(1);
  c.m_vFlows[0].m_vCmds.resize(1);
  cEdCmd& cmd = c.m_vFlows[0].m_vCmds[0];
  cmd.m_nKind = 16;
  cEdMove::Create(cmd.m_pMove);
  cEdShot::Create(cmd.m_pShot);
  cCondList::Create(cmd.m_pCondList);
  cmd.m_pCondList->m_vConds.resize(1);
  cmd.m_vFlows.resize(1);
  cmd.m_vFlows[0].m_nTrigger = 2;
  std::string good = c.SaveToBytes();
  cEdCharacter r;
  r.m_strName = "kept";
  for (size_t cut = 0; cut < good.size(); ++cut) ASSERT_FALSE(r.LoadFromBytes(good.substr(0, cut))) << cut;
  EXPECT_EQ(r.m_strName, "kept");
  ASSERT_TRUE(r.LoadFromBytes(good));
  EXPECT_EQ(r.SaveToBytes(), good);
  // Every count in the file replaced by a huge one fails without a huge
  // allocation.
  for (size_t at = 4; at + 4 <= good.size(); ++at) {
    std::string bad = good;
    uint32_t huge = 0x7FFFFFFF;
    std::memcpy(&bad[at], &huge, 4);
    cEdCharacter x;
    x.LoadFromBytes(bad);
  }
  // Flows nested past the reader's depth are refused.
  auto nested = [](int levels) {
    std::string flow = Flow(1).s();
    for (int depth = 0; depth < levels; ++depth) {
      std::string cmdBytes = Bytes().u32(8).u8(0).u8(16).u16(0).u16(0).u8(0).u16(0).u8(1).u16(0).u32(1).str("")
                                 .u32(0).u32(0).u32(0).u32(1).add(flow).u32(0).s();
      flow = Flow(1, cmdBytes, 1).s();
    }
    return File(873, Character(873, kNewCharacter, {}, flow, 1));
  };
  EXPECT_TRUE(r.LoadFromBytes(nested(5)));
  EXPECT_FALSE(r.LoadFromBytes(nested(40)));
}

}  // namespace
}  // namespace records_test

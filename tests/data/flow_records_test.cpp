// Conditions, commands, flows, movement and shot objects and the two-integer
// record: byte layouts written from the file format, every migration the
// formats name, and the database checks.
#include <cmath>
#include <vector>

#include "data/conditions.h"
#include "data/flow.h"
#include "data/int_pair.h"
#include "data/move_shot.h"
#include "records_support.h"

namespace records_test {
namespace {

const std::vector<F> kMoveFields = {
    {1, 1, 0},  {2, 1, 0},  {3, 2, 0},  {4, 2, 0},  {5, 1, 158},  {6, 1, 0},  {7, 1, 0},  {8, 2, 0},  {9, 2, 0},
    {10, 2, 0}, {11, 2, 0}, {12, 1, 0}, {13, 1, 0}, {14, 1, 0},   {15, 1, 0}, {16, 1, 0}, {17, 1, 0}, {18, 1, 0},
    {19, 1, 0}, {20, 1, 162}, {21, 1, 0}, {22, 2, 0}, {23, 2, 0}, {24, 2, 0}, {25, 2, 0}, {26, 1, 159}, {27, 2, 0},
    {28, 2, 0}, {29, 1, 0}, {30, 2, 0}, {31, 8, 0}, {32, 1, 162}, {33, 1, 767}};
const std::vector<F> kShotFields = {
    {1, 1, 0},    {2, 1, 0},    {3, 2, 0},    {4, 1, 671},  {5, 1, 0},   {6, 1, 0},   {7, 1, 767},  {8, 2, 0},
    {9, 2, 0},    {10, 1, 158}, {11, 2, 0},   {12, 1, 0},   {13, 1, 0},  {14, 2, 0},  {15, 2, 0},   {16, 2, 0},
    {17, 2, 0},   {18, 1, 0},   {19, 1, 0},   {20, 2, 0},   {21, 1, 0},  {22, 1, 0},  {23, 1, 0},   {24, 1, 0},
    {25, 1, 0},   {26, 1, 0},   {27, 1, 0},   {28, 1, 0},   {29, 2, 0},  {30, 1, 767}, {31, 1, 211}, {32, 2, 0},
    {33, 2, 0},   {34, 1, 213}, {35, 2, 213}, {36, 2, 213}, {37, 2, 0},  {38, 1, 0},  {39, 2, 0},   {40, 1, 0},
    {41, 1, 0},   {42, 2, 0},   {43, 2, 0},   {44, 1, 0},   {45, 1, 0},  {46, 1, 636}, {47, 1, 0},  {48, 1, 0},
    {49, 4, 0},   {50, 2, 0},   {51, 1, 0},   {52, 2, 0},   {53, 1, 0},  {54, 2, 0},  {55, 1, 0},   {56, 1, 0},
    {57, 1, 197}, {58, 1, 0},   {59, 2, 0},   {60, 1, 0},   {61, 1, 0},  {62, 1, 0},  {63, 1, 762}, {64, 1, 762}};

// A command body: fields, text, objects, nested flows, parameter words.
Bytes Command(int version, int family, int kind, const std::vector<uint32_t>& words, int sound = 0,
              const std::string& objects = "") {
  Bytes b;
  b.u32(8).u8(family).u8(kind).u16(0).u16(0).u8(0).u16(sound).u8(1).u16(0).u32(1).str("");
  if (objects.empty()) {
    b.u32(0).u32(0);
    if (version >= 764) b.u32(0);
  } else {
    b.add(objects);
  }
  b.u32(0).u32(static_cast<int64_t>(words.size()));
  for (uint32_t w : words) b.u32(w);
  return b;
}

using FlowRecordsTest = RecordsTest;

TEST_F(FlowRecordsTest, IntPairBodyAndListDefaults) {
  cIntPair p(5, -1);
  EXPECT_EQ(p.SaveToBytes(), Bytes().u32(873).u32(2).u32(5).u32(-1).u32(0).s());
  cIntPair back;
  ASSERT_TRUE(back.LoadFromBytes(Bytes().u32(873).u32(2).u32(-7).u32(9).u32(0).s()));
  EXPECT_EQ(back.m_nFirst, -7);
  EXPECT_EQ(back.m_nSecond, 9);
  std::vector<cIntPair> list(3);
  const std::string noneBytes = Bytes().u32(0).s();
  cDataReader none(noneBytes);
  ASSERT_TRUE(cIntPair::ReadList(none, list));
  EXPECT_TRUE(list.empty());
  // A pair whose body declares only the first value keeps the list default 1.
  const std::string oneBytes = Bytes().u32(1).u32(1).u32(4).u32(0).s();
  cDataReader one(oneBytes);
  ASSERT_TRUE(cIntPair::ReadList(one, list));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].m_nFirst, 4);
  EXPECT_EQ(list[0].m_nSecond, 1);
}

TEST_F(FlowRecordsTest, ConditionLayoutsAndRenumbering) {
  cCond c;
  EXPECT_EQ(c.SaveToBytes(), Bytes().u32(873).u32(17).zeros(28).u32(0).s());
  // Version 100: kind, constant, two dropped words, operator, percent, last.
  ASSERT_TRUE(c.LoadFromBytes(
      File(100, Bytes().u32(7).u8(3).u32(-5).u16(7).u16(8).u8(2).u8(1).u8(9).u32(0))));
  EXPECT_EQ(c.m_nKind, 3);
  EXPECT_EQ(c.m_nConstant, -5);
  EXPECT_EQ(c.m_nOperator, 2);
  EXPECT_EQ(c.m_nPercent, 1);
  EXPECT_EQ(c.m_nLastOption, 9);
  EXPECT_EQ(c.m_nRandomMax, 0);
  EXPECT_EQ(c.m_nSubject, 0);
  // Before 43 there is no percent byte.
  ASSERT_TRUE(c.LoadFromBytes(File(42, Bytes().u32(6).u8(1).u32(0).u16(0).u16(0).u8(4).u8(6).u32(0))));
  EXPECT_EQ(c.m_nOperator, 4);
  EXPECT_EQ(c.m_nLastOption, 6);

  // The 873 layout: kind, constant, random min/max, subject, field, left
  // kind, scope, variable, right source, subject, field, kind, variable,
  // operator, percent, last.
  auto cond = [](int version, int kind, int subject, int field, int leftKind, int rightSource, int rightSubject,
                 int rightField, int op) {
    return File(version, Bytes().u32(17).u8(kind).u32(0).u32(0).u32(0).u8(subject).u8(field).u8(leftKind).u8(0)
                             .u16(0).u8(rightSource).u8(rightSubject).u8(rightField).u8(0).u16(0).u8(op).u8(0)
                             .u8(0).u32(0));
  };
  // 150: stored kind 5 is today's distance condition, with its later fix-ups.
  ASSERT_TRUE(c.LoadFromBytes(cond(150, 5, 3, 0, 4, 0, 0, 0, 0)));
  EXPECT_EQ(c.m_nKind, 7);
  EXPECT_EQ(c.m_nSubject, 0);
  EXPECT_EQ(c.m_nLeftKind, 0);
  EXPECT_EQ(c.m_nRightSource, 1);
  EXPECT_EQ(c.m_nRightSubject, 1);
  // 700: status condition subjects 2 and up moved past the four targets.
  ASSERT_TRUE(c.LoadFromBytes(cond(700, 4, 2, 0, 0, 2, 3, 0, 0)));
  EXPECT_EQ(c.m_nSubject, 5);
  EXPECT_EQ(c.m_nRightSubject, 6);
  ASSERT_TRUE(c.LoadFromBytes(cond(767, 4, 2, 0, 0, 0, 0, 0, 0)));
  EXPECT_EQ(c.m_nSubject, 2);
  // 160: kind 6 with field 2 flips the operator; 161 does not.
  ASSERT_TRUE(c.LoadFromBytes(cond(160, 6, 0, 2, 0, 0, 0, 0, 2)));
  EXPECT_EQ(c.m_nOperator, 3);
  ASSERT_TRUE(c.LoadFromBytes(cond(161, 6, 0, 2, 0, 0, 0, 0, 2)));
  EXPECT_EQ(c.m_nOperator, 2);
  // Status fields: below 168 fields from 10 move up, then below 203 those
  // from 5 (so 10 becomes 12 in a 167 file, 5 becomes 6 in a 202 file).
  ASSERT_TRUE(c.LoadFromBytes(cond(167, 4, 0, 10, 0, 2, 0, 10, 0)));
  EXPECT_EQ(c.m_nField, 12);
  EXPECT_EQ(c.m_nRightField, 12);
  ASSERT_TRUE(c.LoadFromBytes(cond(202, 4, 0, 5, 0, 2, 2, 5, 0)));
  EXPECT_EQ(c.m_nField, 6);
  EXPECT_EQ(c.m_nRightField, 5);  // right subject 2 (system) keeps its fields
  ASSERT_TRUE(c.LoadFromBytes(cond(203, 4, 0, 5, 0, 0, 0, 0, 0)));
  EXPECT_EQ(c.m_nField, 5);
  ASSERT_TRUE(c.LoadFromBytes(cond(209, 5, 0, 6, 0, 0, 0, 0, 0)));
  EXPECT_EQ(c.m_nField, 7);
}

TEST_F(FlowRecordsTest, ConditionListsFrom766) {
  cCondList list;
  list.m_vConds.resize(1);
  ASSERT_TRUE(list.LoadFromBytes(File(765, Bytes().u32(2).u8(1).u8(0).u32(0))));
  EXPECT_EQ(list.m_nMode, 1);
  EXPECT_EQ(list.m_vConds.size(), 1u);  // no list in the file: the old one stays
  std::string two = File(873, Bytes().u32(2).u8(0).u8(1).u32(0).u32(2)
                                  .add(Bytes().u32(17).zeros(28).u32(0).s())
                                  .add(Bytes().u32(17).u8(2).zeros(27).u32(0).s()));
  ASSERT_TRUE(list.LoadFromBytes(two));
  ASSERT_EQ(list.m_vConds.size(), 2u);
  EXPECT_EQ(list.m_vConds[1].m_nKind, 2);
  EXPECT_EQ(list.SaveToBytes(), two);
}

TEST_F(FlowRecordsTest, MovementAndShotObjects) {
  cEdMove move;
  cEdShot shot;
  EXPECT_EQ(move.SaveToBytes(),
            File(873, Body(kMoveFields, 873, {{5, 1}, {6, 1}, {7, 1}, {13, 1}, {16, 1}, {18, 1}, {22, 10}, {31, 1.0}})));
  EXPECT_EQ(shot.SaveToBytes(), File(873, Body(kShotFields, 873, {{10, 1}, {18, 1}, {23, 1}, {26, 1}})));
  ASSERT_TRUE(move.LoadFromBytes(File(820, Body(kMoveFields, 820, {{32, 1}, {31, -0.0}}))));
  EXPECT_EQ(move.m_f32, 2);
  EXPECT_TRUE(std::signbit(move.m_f31));
  ASSERT_TRUE(move.LoadFromBytes(File(820, Body(kMoveFields, 820, {{32, 0}}))));
  EXPECT_EQ(move.m_f32, 0);
  ASSERT_TRUE(move.LoadFromBytes(File(157, Body(kMoveFields, 157, {{6, 3}, {22, 4}}))));
  EXPECT_EQ(move.m_f5, 0);
  EXPECT_EQ(move.m_f6, 3);
  EXPECT_EQ(move.m_f22, 4);
  EXPECT_EQ(move.m_f33, 0);

  ASSERT_TRUE(shot.LoadFromBytes(File(190, Body(kShotFields, 190, {{28, 5}, {56, 9}, {45, 4}, {26, 0}}))));
  EXPECT_EQ(shot.m_f31, 1);
  EXPECT_EQ(shot.m_f57, 9);
  EXPECT_EQ(shot.m_f46, 4);
  EXPECT_EQ(shot.m_f26, 1);  // at least 1
  ASSERT_TRUE(shot.LoadFromBytes(File(211, Body(kShotFields, 211, {{28, 3}, {31, 1}}))));
  EXPECT_EQ(shot.m_f31, 0);  // below 212 it follows the type
  // An effect index equal to the Effect list's size is written as 0.
  shot.m_nEffect = 4;
  cEdShot back;
  ASSERT_TRUE(back.LoadFromBytes(shot.SaveToBytes()));
  EXPECT_EQ(back.m_nEffect, 0);
}

TEST_F(FlowRecordsTest, MessageCommandWordsThroughEveryVersion) {
  std::vector<uint32_t> ten = {7, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  cEdCmd c;
  ASSERT_TRUE(c.LoadFromBytes(File(540, Command(540, 0, 19, ten))));
  std::vector<uint32_t> expected = {7, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 0, 0, 0, 1, 0, 1, 0};
  EXPECT_EQ(c.m_vParams, expected);
  ten[0] = 3;
  ASSERT_TRUE(c.LoadFromBytes(File(540, Command(540, 0, 19, ten))));
  EXPECT_EQ(c.m_vParams[10], 0u);
  ASSERT_TRUE(c.LoadFromBytes(File(700, Command(700, 0, 19, ten))));
  EXPECT_EQ(c.m_vParams.size(), 18u);
  for (int i = 10; i < 18; ++i) EXPECT_EQ(c.m_vParams[i], 0u) << i;
  // The same steps for the item command of the same operation (19 - 15).
  ASSERT_TRUE(c.LoadFromBytes(File(540, Command(540, 1, 4, ten))));
  EXPECT_EQ(c.m_vParams.size(), 18u);
  EXPECT_EQ(c.m_vParams[14], 1u);
}

TEST_F(FlowRecordsTest, CommandMigrationsByKind) {
  cEdCmd c;
  auto load = [&](int version, int family, int kind, std::vector<uint32_t> words) {
    EXPECT_TRUE(c.LoadFromBytes(File(version, Command(version, family, kind, words))));
    return c.m_vParams;
  };
  // 733: kinds above 23 move up; the arrange command's operation code too.
  load(733, 0, 24, {1, 2, 3});
  EXPECT_EQ(c.m_nKind, 25);
  load(733, 0, 23, {0, 0, 0, 0, 0});
  EXPECT_EQ(c.m_nKind, 23);
  EXPECT_EQ(load(733, 0, 37, {24, 0, 0, 0, 0})[0], 25u);
  EXPECT_EQ(c.m_nKind, 38);
  load(733, 1, 9, {1, 2, 3});
  EXPECT_EQ(c.m_nKind, 10);
  // 725: arrange commands get operation 11 and its operand renumbered (727).
  EXPECT_EQ(load(725, 0, 37, {0, 3}), (std::vector<uint32_t>{11, 6, 0, 0, 0}));
  EXPECT_EQ(load(726, 0, 37, {11, 14, 0, 0, 0})[1], 21u);  // 14 passes all seven in turn
  // Target setting: 766 shifts every word up one.
  EXPECT_EQ(load(766, 0, 21, {5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}),
            (std::vector<uint32_t>{0, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
  // 188: shift from 2 (then 746 and 766 rework the words further).
  EXPECT_EQ(load(188, 0, 21, {1, 2, 3, 4}), (std::vector<uint32_t>{0, 1, 2, 0, 3, 4, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
  // Facing changes (flow only): codes above 3 move up six at 767.
  EXPECT_EQ(load(766, 0, 9, {4})[0], 10u);
  EXPECT_EQ(load(767, 0, 9, {4})[0], 4u);
  // Status operation 2: below 820 (and 767) ...
  EXPECT_EQ(load(766, 0, 23, {2, 0, 0, 0, 0, 9})[0], 5u);
  // Graphic change to shot pictures: +1 below 219, at most 119.
  EXPECT_EQ(load(218, 0, 25, {3, 119, 0})[1], 119u);
  EXPECT_EQ(load(218, 0, 25, {3, 7, 0})[1], 8u);
  // Stage clear destination codes above 1 moved up at 722.
  EXPECT_EQ(load(721, 0, 17, {2, 0, 0, 0, 0, 0, 0, 0, 0})[0], 3u);
  EXPECT_EQ(load(721, 1, 2, {2, 0, 0, 0, 0, 0, 0, 0, 0})[0], 3u);
  // Summons lost their words at 203 (flow only); the count then comes from
  // the kind table.
  EXPECT_TRUE(load(202, 0, 14, {1, 2, 3}).empty());
  // A kind outside its table has no words.
  EXPECT_TRUE(load(873, 0, 200, {1, 2, 3}).empty());
  EXPECT_TRUE(load(873, 1, 25, {1, 2, 3}).empty());
}

TEST_F(FlowRecordsTest, CommandObjectsAndPresenceWords) {
  cEdCmd c;
  // 763: a flow operation command gets a condition list; a summon does not.
  ASSERT_TRUE(c.LoadFromBytes(File(763, Command(763, 0, 16, {1, 2, 3, 4}))));
  ASSERT_TRUE(c.m_pCondList);
  EXPECT_EQ(c.m_pCondList->m_nMode, 0);
  EXPECT_EQ(c.m_vParams[3], 4u);  // cleared below 760 only
  ASSERT_TRUE(c.LoadFromBytes(File(763, Command(763, 0, 15, {}))));
  EXPECT_FALSE(c.m_pCondList);
  // Written, every presence word is there; the shot comes after the move's 0.
  cEdCmd shot;
  shot.m_nKind = 11;
  cEdShot::Create(shot.m_pShot);
  std::string bytes = shot.SaveToBytes();
  std::string expected = File(873, Command(873, 0, 11, {}, 0,
                                           Bytes().u32(0).u32(1)
                                               .add(Body(kShotFields, 873, {{10, 1}, {18, 1}, {23, 1}, {26, 1}}).s())
                                               .u32(0).s()));
  EXPECT_EQ(bytes, expected);
  // 219: shot graphic numbers of shot commands move up, at most 119 (flow only).
  std::string objects = Bytes().u32(0).u32(1).add(Body(kShotFields, 219, {{20, 5}}).s()).s();
  ASSERT_TRUE(c.LoadFromBytes(File(219, Command(219, 0, 11, {}, 0, objects))));
  EXPECT_EQ(c.m_pShot->m_nGraphic, 6);
  // Copies own their objects.
  cEdCmd copy = c;
  copy.m_pShot->m_nGraphic = 50;
  EXPECT_EQ(c.m_pShot->m_nGraphic, 6);
  cEdCmd& alias = copy;
  copy = alias;
  EXPECT_EQ(copy.m_pShot->m_nGraphic, 50);
}

TEST_F(FlowRecordsTest, DatabaseChecksOfCommands) {
  cEdCmd c;
  // A Sound index equal to the list's size is written as 0.
  c.m_nKind = 35;
  c.m_nSound = 4;
  c.m_vParams = {4};
  cEdCmd back;
  ASSERT_TRUE(back.LoadFromBytes(c.SaveToBytes()));
  EXPECT_EQ(back.m_nSound, 0);
  EXPECT_EQ(back.m_vParams, std::vector<uint32_t>{1});
  // Sword duration: the 16-bit running sum of value 10, capped at 9999.
  Database.m_SwordTypes[2].m_Entries.resize(2);
  Database.m_SwordTypes[2].m_Entries[0].m_nValues[9] = 5000;
  Database.m_SwordTypes[2].m_Entries[1].m_nValues[9] = 6000;
  cEdCmd sword;
  sword.m_nKind = 12;
  cEdShot::Create(sword.m_pShot);
  sword.m_pShot->m_nType = 2;
  sword.ValidateDatabaseIndices();
  EXPECT_EQ(sword.m_nDuration, 9999);
  Database.m_SwordTypes[2].m_Entries[0].m_nValues[9] = 10;
  Database.m_SwordTypes[2].m_Entries[1].m_nValues[9] = 20;
  sword.ValidateDatabaseIndices();
  EXPECT_EQ(sword.m_nDuration, 30);
  sword.m_pShot->m_nType = 4;  // past the four sword types
  sword.ValidateDatabaseIndices();
  EXPECT_EQ(sword.m_pShot->m_nType, 0);
  EXPECT_EQ(sword.m_nDuration, 1);  // type 0 has its one entry of 1
  // A sword command without a shot object is left alone.
  cEdCmd bare;
  bare.m_nKind = 12;
  bare.m_nDuration = 77;
  bare.ValidateDatabaseIndices();
  EXPECT_EQ(bare.m_nDuration, 77);
  // Graphic change to a special bitmap: 1 when past the list.
  cEdCmd graphic;
  graphic.m_nKind = 26;
  graphic.m_vParams = {4, 4, 0};
  graphic.ValidateDatabaseIndices();
  EXPECT_EQ(graphic.m_vParams[1], 1u);
}

TEST_F(FlowRecordsTest, FlowTriggersNamesAndTestPlayFlows) {
  // Version 700: name, eight fields (no target bytes), three empty lists.
  auto flow = [](int version, int trigger, int testPlay) {
    Bytes b;
    int fields = 8 + (version >= 762) + (version >= 767);
    b.u32(fields).u8(0).u8(5).u8(testPlay).u8(0).u8(0).u8(trigger);
    if (version >= 762) b.u8(0);
    if (version >= 767) b.u8(0);
    b.u8(0).u8(0);
    if (version >= 676) b.u32(1).str("名前"); else b.u32(0);
    return b.u32(0).u32(0).u32(0);
  };
  cEdFlow f;
  ASSERT_TRUE(f.LoadFromBytes(File(700, flow(700, 18, 0))));
  EXPECT_TRUE(f.m_strName.empty());
  EXPECT_EQ(f.m_nTrigger, 21);
  ASSERT_TRUE(f.LoadFromBytes(File(131, flow(131, 11, 0))));
  EXPECT_EQ(f.m_nTrigger, 14);  // 12 (131), then 14 (164)
  EXPECT_EQ(f.m_nExclusive, 0);
  ASSERT_TRUE(f.LoadFromBytes(File(873, flow(873, 18, 0))));
  EXPECT_EQ(f.m_nTrigger, 18);
  EXPECT_EQ(f.m_nExclusive, 5);

  // Nested test-play flows go unless the editor runs the game or the
  // system data keeps them.
  Bytes nested = Bytes().u32(8).u8(0).u8(16).u16(0).u16(0).u8(0).u16(0).u8(1).u16(0).u32(1).str("")
                     .u32(0).u32(0).u32(0).u32(2)
                     .add(flow(873, 1, 1).s()).add(flow(873, 2, 0).s()).u32(0);
  cEdCmd c;
  ASSERT_TRUE(c.LoadFromBytes(File(873, nested)));
  ASSERT_EQ(c.m_vFlows.size(), 1u);
  EXPECT_EQ(c.m_vFlows[0].m_nTrigger, 2);
  SystemData.SetNum(kSysKeepTestFlows, 1);
  ASSERT_TRUE(c.LoadFromBytes(File(873, nested)));
  EXPECT_EQ(c.m_vFlows.size(), 2u);
  SystemData.SetNum(kSysKeepTestFlows, 0);
  g_bEditor = 1;
  ASSERT_TRUE(c.LoadFromBytes(File(873, nested)));
  EXPECT_EQ(c.m_vFlows.size(), 2u);
}

}  // namespace
}  // namespace records_test

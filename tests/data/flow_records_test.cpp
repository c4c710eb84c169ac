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

// The migrations at each version threshold are checked on the independent
// writer's files (project_writer_versions_test); here the layouts this
// program writes, and the rules the writer's files do not reach.
TEST_F(FlowRecordsTest, ConditionLayoutAndTheSystemSubjectsFields) {
  cCond c;
  EXPECT_EQ(c.SaveToBytes(), Bytes().u32(873).u32(17).zeros(28).u32(0).s());
  // Version 100: kind, constant, two dropped words, operator, percent, last.
  ASSERT_TRUE(c.LoadFromBytes(File(100, Bytes().u32(7).u8(3).u32(-5).u16(7).u16(8).u8(2).u8(1).u8(9).u32(0))));
  EXPECT_EQ(std::vector<int>({c.m_nKind, c.m_nConstant, c.m_nOperator, c.m_nPercent, c.m_nLastOption}),
            std::vector<int>({3, -5, 2, 1, 9}));
  // Below 203 status fields from 5 move up, but not those of the right
  // subject 2 (the system's fields).
  ASSERT_TRUE(c.LoadFromBytes(File(202, Bytes().u32(17).u8(4).u32(0).u32(0).u32(0).u8(0).u8(5).u8(0).u8(0).u16(0)
                                            .u8(2).u8(2).u8(5).u8(0).u16(0).u8(0).u8(0).u8(0).u32(0))));
  EXPECT_EQ(c.m_nField, 6);
  EXPECT_EQ(c.m_nRightField, 5);

  // A list read over an old one: no list in a 765 file keeps the old one.
  cCondList list;
  list.m_vConds.resize(1);
  ASSERT_TRUE(list.LoadFromBytes(File(765, Bytes().u32(2).u8(1).u8(0).u32(0))));
  EXPECT_EQ(list.m_nMode, 1);
  EXPECT_EQ(list.m_vConds.size(), 1u);
  std::string two = File(873, Bytes().u32(2).u8(0).u8(1).u32(0).u32(2).add(Bytes().u32(17).zeros(28).u32(0).s())
                                  .add(Bytes().u32(17).u8(2).zeros(27).u32(0).s()));
  ASSERT_TRUE(list.LoadFromBytes(two));
  ASSERT_EQ(list.m_vConds.size(), 2u);
  EXPECT_EQ(list.SaveToBytes(), two);
}

// A distance condition keeps its range display in the fields its kind
// leaves free: display mode in the left kind, colour in the variable scope,
// shown while absent in the right source, shown while hidden in the right
// subject. Stored as they stand in a current file; below 745 the display is
// off and below 746 both show-while bytes are on, as the versions left them.
TEST_F(FlowRecordsTest, DistanceConditionsKeepTheirDisplayInTheFieldsTheirKindLeavesFree) {
  // Kind 7, 5 dots, the hero, relation 1, display 2, colour 4, 3 half
  // blocks, not shown while absent, shown while hidden, "outside".
  const Bytes body = Bytes().u32(17).u8(7).u32(5).u32(0).u32(0).u8(0).u8(1).u8(2).u8(4).u16(3).u8(0).u8(1).u8(0)
                         .u8(0).u16(0).u8(1).u8(0).u8(0).u32(0);
  const struct {
    int version;
    int display, colour;
    bool absent, hidden;
  } cases[] = {{873, 2, 4, false, true}, {746, 2, 4, false, true}, {745, 2, 4, true, true}, {744, 0, 4, true, true}};
  for (const auto& c : cases) {
    cCond cond;
    ASSERT_TRUE(cond.LoadFromBytes(File(c.version, body))) << c.version;
    EXPECT_EQ(std::vector<int>({cond.DisplayMode(), cond.DisplayColour(), cond.ShownWhileAbsent(),
                                cond.ShownWhileHidden(), cond.DistanceRelation(), cond.Distance(),
                                cond.DistanceOutside()}),
              std::vector<int>({c.display, c.colour, c.absent, c.hidden, 1, 3 * 16 + 5, 1}))
        << c.version;
  }
  cCond current;
  ASSERT_TRUE(current.LoadFromBytes(File(873, body)));
  EXPECT_EQ(current.SaveToBytes(), File(873, body));
}

TEST_F(FlowRecordsTest, MovementAndShotLayouts) {
  cEdMove move;
  cEdShot shot;
  EXPECT_EQ(move.SaveToBytes(),
            File(873, Body(kMoveFields, 873, {{5, 1}, {6, 1}, {7, 1}, {13, 1}, {16, 1}, {18, 1}, {22, 10}, {31, 1.0}})));
  EXPECT_EQ(shot.SaveToBytes(), File(873, Body(kShotFields, 873, {{10, 1}, {18, 1}, {23, 1}, {26, 1}})));
  ASSERT_TRUE(move.LoadFromBytes(File(820, Body(kMoveFields, 820, {{32, 1}, {31, -0.0}}))));
  EXPECT_TRUE(std::signbit(move.m_f31));  // the double is kept bit for bit
  // An effect index equal to the Effect list's size is written as 0.
  shot.m_nEffect = 4;
  cEdShot back;
  ASSERT_TRUE(back.LoadFromBytes(shot.SaveToBytes()));
  EXPECT_EQ(back.m_nEffect, 0);
}

TEST_F(FlowRecordsTest, CommandWordsObjectsAndCopies) {
  cEdCmd c;
  auto load = [&](int version, int family, int kind, std::vector<uint32_t> words) {
    EXPECT_TRUE(c.LoadFromBytes(File(version, Command(version, family, kind, words))));
    return c.m_vParams;
  };
  // The message command's words through 540 and 700, for the item command
  // of the same operation (19 - 15) too.
  EXPECT_EQ(load(540, 0, 19, {7, 1, 2, 3, 4, 5, 6, 7, 8, 9}),
            (std::vector<uint32_t>{7, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 0, 0, 0, 1, 0, 1, 0}));
  EXPECT_EQ(load(540, 1, 4, {7, 1, 2, 3, 4, 5, 6, 7, 8, 9})[14], 1u);
  // Summons lost their words at 203 (flow only); kinds outside their table have none.
  EXPECT_TRUE(load(202, 0, 14, {1, 2, 3}).empty());
  EXPECT_TRUE(load(873, 0, 200, {1, 2, 3}).empty());
  EXPECT_TRUE(load(873, 1, 25, {1, 2, 3}).empty());
  EXPECT_EQ(load(763, 0, 16, {1, 2, 3, 4})[3], 4u);  // cleared below 760 only

  // Written, every presence word is there; the shot comes after the move's 0.
  cEdCmd shot;
  shot.m_nKind = 11;
  cEdShot::Create(shot.m_pShot);
  EXPECT_EQ(shot.SaveToBytes(),
            File(873, Command(873, 0, 11, {}, 0,
                              Bytes().u32(0).u32(1).add(Body(kShotFields, 873, {{10, 1}, {18, 1}, {23, 1}, {26, 1}}).s())
                                  .u32(0).s())));
  // Copies own their objects.
  cEdCmd copy = shot;
  copy.m_pShot->m_nGraphic = 50;
  EXPECT_EQ(shot.m_pShot->m_nGraphic, 0);
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

TEST_F(FlowRecordsTest, TestPlayFlowsGoUnlessTheEditorOrTheSystemDataKeepsThem) {
  // A flow of 873 (flag 2: test play), name "名前", three empty lists.
  auto flow = [](int trigger, int testPlay) {
    return Bytes().u32(10).u8(0).u8(5).u8(testPlay).u8(0).u8(0).u8(trigger).u8(0).u8(0).u8(0).u8(0).u32(1)
        .str("名前").u32(0).u32(0).u32(0);
  };
  // Nested test-play flows go unless the editor runs the game or the
  // system data keeps them.
  Bytes nested = Bytes().u32(8).u8(0).u8(16).u16(0).u16(0).u8(0).u16(0).u8(1).u16(0).u32(1).str("")
                     .u32(0).u32(0).u32(0).u32(2)
                     .add(flow(1, 1).s()).add(flow(2, 0).s()).u32(0);
  cEdCmd c;
  ASSERT_TRUE(c.LoadFromBytes(File(873, nested)));
  ASSERT_EQ(c.m_vFlows.size(), 1u);
  EXPECT_EQ(c.m_vFlows[0].m_nTrigger, 2);
  SystemData.SetNum(kSysKeepTestFlows, 1);
  ASSERT_TRUE(c.LoadFromBytes(File(873, nested)));
  EXPECT_EQ(c.m_vFlows.size(), 2u);
  SystemData.SetNum(kSysKeepTestFlows, 0);
  bFromEditor = 1;
  ASSERT_TRUE(c.LoadFromBytes(File(873, nested)));
  EXPECT_EQ(c.m_vFlows.size(), 2u);
}

}  // namespace
}  // namespace records_test

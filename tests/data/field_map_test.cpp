// The numbered fields stage play reads by meaning: bodies written from the
// file layout with a distinct value in every field read back through the
// named accessors, and the project switches stage set-up copies.
#include <functional>
#include <vector>

#include "data/character.h"
#include "data/move_shot.h"
#include "data/stage_data.h"
#include "play/commands/commands.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/character.h"
#include "play/objects/shot.h"
#include "play/world/block_map.h"
#include "play/world/stage_object.h"
#include "play/world/system_switches.h"
#include "records_support.h"

namespace records_test {
namespace {

// Widths of the fields in file order (all present in a version-873 body).
std::vector<F> Table(const std::vector<int>& widths) {
  std::vector<F> table;
  for (size_t i = 0; i < widths.size(); ++i) table.push_back({static_cast<int>(i) + 1, widths[i], 0});
  return table;
}
const std::vector<F> kShot = Table({1, 1, 2, 1, 1, 1, 1, 2, 2, 1, 2, 1, 1, 2, 2, 2, 2, 1, 1, 2, 1, 1,
                                    1, 1, 1, 1, 1, 1, 2, 1, 1, 2, 2, 1, 2, 2, 2, 1, 2, 1, 1, 2, 2, 1,
                                    1, 1, 1, 1, 4, 2, 1, 2, 1, 2, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1});
const std::vector<F> kMove = Table({1, 1, 2, 2, 1, 1, 1, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1,
                                    1, 1, 1, 1, 2, 2, 2, 2, 1, 2, 2, 1, 2, 8, 1, 1});

template <class R>
struct Row {
  int field;
  double value;
  std::function<double(const R&)> read;
};

// Loads a body whose pinned fields hold their row's value (the others 0)
// and checks every accessor.
template <class R>
void CheckRows(const std::vector<F>& table, const std::vector<Row<R>>& rows) {
  std::map<int, double> values;
  for (const auto& row : rows) values[row.field] = row.value;
  R record;
  ASSERT_TRUE(record.LoadFromBytes(File(873, Body(table, 873, values))));
  for (const auto& row : rows) EXPECT_EQ(row.read(record), row.value) << "field " << row.field;
}

class FieldMapTest : public RecordsTest {};

TEST_F(FieldMapTest, ShotAccessorsReadTheirFields) {
  using S = cEdShot;
  CheckRows<S>(kShot, {
                          {1, 3, [](const S& s) { return s.Pattern(); }},
                          {2, 7, [](const S& s) { return s.DirectionChoice(); }},
                          {8, -45, [](const S& s) { return s.BaseAngle(); }},
                          {9, 15, [](const S& s) { return s.AngleStep(); }},
                          {10, 1, [](const S& s) { return s.MirrorAngle(); }},
                          {11, 30, [](const S& s) { return s.RandomSpread(); }},
                          {12, 4, [](const S& s) { return s.ExtraCount(); }},
                          {14, -8, [](const S& s) { return s.StartX(); }},
                          {17, 6, [](const S& s) { return s.StepY(); }},
                          {20, 12, [](const S& s) { return s.Graphic(); }},
                          {26, 3, [](const S& s) { return s.ScaleValue(); }},
                          {28, 5, [](const S& s) { return s.MoveKind(); }},
                          {31, 1, [](const S& s) { return s.MovesWithScroll(); }},
                          {32, -25, [](const S& s) { return s.Speed(); }},
                          {34, 1, [](const S& s) { return s.Accelerate(); }},
                          {35, 11, [](const S& s) { return s.Acceleration(); }},
                          {36, -2, [](const S& s) { return s.AccelerationStep(); }},
                          {45, 2, [](const S& s) { return s.RangeStep(); }},
                          {46, 9, [](const S& s) { return s.LifetimeStep(); }},
                          {49, 1234567, [](const S& s) { return s.Power(); }},
                          {52, 2, [](const S& s) { return s.m_nEffect; }},
                          {53, 2, [](const S& s) { return s.m_nItemPalette; }},
                          {54, 17, [](const S& s) { return s.m_nItemIndex; }},
                          {58, 1, [](const S& s) { return s.m_nSummonPalette; }},
                          {59, 21, [](const S& s) { return s.m_nSummonIndex; }},
                      });
}

TEST_F(FieldMapTest, MoveAccessorsReadTheirFields) {
  using M = cEdMove;
  CheckRows<M>(kMove, {
                          {1, 5, [](const M& m) { return m.Displacement(); }},
                          {2, 12, [](const M& m) { return m.DirectionChoice(); }},
                          {3, -7, [](const M& m) { return m.DistanceStart(); }},
                          {5, 1, [](const M& m) { return m.DistanceInDots() ? 1 : 0; }},
                          {22, 40, [](const M& m) { return m.SpeedStart(); }},
                          {24, -90, [](const M& m) { return m.AngleStart(); }},
                          {26, 2, [](const M& m) { return m.TimingChoice(); }},
                          {29, 3, [](const M& m) { return m.CircleSense(); }},
                          {31, 0.75, [](const M& m) { return m.AccelerationFactor(); }},
                          {32, 2, [](const M& m) { return m.MoveAnime(); }},
                          {33, 3, [](const M& m) { return m.TargetSlot(); }},
                      });
}

TEST_F(FieldMapTest, CharacterAccessorsReadTheirFields) {
  // Character fields after the two base fields and the name: widths of
  // fields 4..54; the reference check leaves these values alone.
  std::vector<F> table = {{1, 1, 0}, {2, 2, 0}};
  const std::vector<int> widths = {1, 1, 1, 1, 2, 2, 2, 2, 1, 1, 2, 1, 2, 2, 1, 1, 2, 1, 1, 2, 1, 1, 2,
                                   1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 4, 4, 2, 1, 4, 1, 2, 4, 1, 4, 1, 1, 2, 1, 1};
  for (size_t i = 0; i < widths.size(); ++i) table.push_back({static_cast<int>(i) + 4, widths[i], 0});
  std::map<int, double> values = {{14, 9}, {15, 1}, {27, 1}, {33, 2}, {35, 1}, {36, 4}, {39, 6},
                                  {40, 300}, {41, 50}, {44, 70}, {47, 25}, {49, 900}, {53, 3}};
  Bytes body = Body(table, 873, values);
  std::string s = body.s();
  s.resize(s.size() - 4);  // the name replaces the empty string list
  Bytes full;
  full.add(s).u32(1).str("").u16(0).u16(0).u32(0).u32(0).u32(0).u32(0);
  cEdCharacter c;
  ASSERT_TRUE(c.LoadFromBytes(File(873, full)));
  const std::vector<std::pair<int, int32_t>> got = {
      {14, c.GraphicNumber()}, {15, c.GraphicKind()},   {27, c.ControlKind()}, {33, c.FreeVertical()},
      {35, c.Invincibility()}, {36, c.Scale()},         {39, c.Sight()},       {40, c.MaxHp()},
      {41, c.MaxSp()},         {44, c.ContactPower()},  {47, c.Defence()},     {49, c.DefeatScore()},
      {53, c.ActivationAxes()}};
  for (const auto& [field, value] : got) EXPECT_EQ(value, values[field]) << "field " << field;
}

// Stage set-up's copy of the project switches into stage play's records.
TEST_F(FieldMapTest, ProjectSwitchesReachStagePlay) {
  const cMotionSwitches motion = g_MotionSwitches;
  const cMoveSwitches moves = g_MoveSwitches;
  const cFlowSwitches flows = g_FlowSwitches;
  const cCombatSwitches combat = g_CombatSwitches;
  const cCharacterSwitches characters = g_CharacterSwitches;
  cSystemData system;
  cStageData stage;
  cBlockRules rules;
  // A new project has every switch off and the stage's 16-dot shot boxes.
  ApplyProjectSwitches(system, stage, rules);
  EXPECT_EQ(g_MotionSwitches.scrollRelativeAim + g_MotionSwitches.scaleAnchor + g_MotionSwitches.scaleAnchor2 +
                g_MotionSwitches.range + g_MoveSwitches.angleFromVertical + g_FlowSwitches.moveTimeKeepsSign +
                g_FlowSwitches.livesUnlimitedFalse + g_CharacterSwitches.steadyColour,
            0);
  EXPECT_EQ(g_CombatSwitches.shotHitWidth[0], 16);
  EXPECT_EQ(g_CombatSwitches.shotHitHeight[1], 16);
  for (eProjectRule r : {kRuleScrollRelativeAim, kRuleScaleAnchor, kRuleMoveTimeKeepsSign, kRuleAngleFromVertical,
                         kRuleRange, kRuleScaleAnchor2, kRuleSteadyColour})
    system.SetNum(ProjectRuleRow(r).field, 1);
  system.SetNum(ProjectRuleRow(kRuleUnlimitedLivesZero).field, -1);  // not above 0: unlimited lives still read as 100
  stage.Int(kStageHeroHitKind2Width) = 10;
  stage.Int(kStageCharHit2Height) = 99999;
  ApplyProjectSwitches(system, stage, rules);
  EXPECT_EQ(g_MotionSwitches.scrollRelativeAim + g_MotionSwitches.scaleAnchor + g_MotionSwitches.scaleAnchor2 +
                g_MotionSwitches.range + g_MoveSwitches.angleFromVertical + g_FlowSwitches.moveTimeKeepsSign +
                g_CharacterSwitches.steadyColour,
            7);
  EXPECT_EQ(g_FlowSwitches.livesUnlimitedFalse, 0);
  EXPECT_EQ(g_CombatSwitches.shotHitWidth[0], 10);
  EXPECT_EQ(g_CombatSwitches.shotHitHeight[1], 4096);
  g_MotionSwitches = motion;
  g_MoveSwitches = moves;
  g_FlowSwitches = flows;
  g_CombatSwitches = combat;
  g_CharacterSwitches = characters;
}

}  // namespace
}  // namespace records_test

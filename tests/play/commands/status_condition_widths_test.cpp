// Status conditions asked by characters in a running stage: each status
// field is compared at its own width, both sides read as signed values of
// that width (the emblem number at 16 bits, the character id at 8).
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "data/conditions.h"
#include "data/labels.h"
#include "flow/conditions.h"
#include "flow/flow_host.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"
#include "support/flow_commands.h"
#include "support/stage_builder.h"

namespace {

// "ステータス条件": the character's own status `field` against `constant`
// by operator `op`.
cCond OwnStatus(int8_t field, uint8_t op, int32_t constant) {
  cCond c;
  c.m_nKind = kCondStatus;
  c.m_nLeftKind = 0;
  c.m_nSubject = 0;
  c.m_nField = field;
  c.m_nRightSource = 0;
  c.m_nConstant = constant;
  c.m_nOperator = op;
  return c;
}

// One character a row, its emblem number and character id set in its
// definition, runs an "always" flow under the row's condition that notes
// in its variable v1 that the condition held.
TEST(StatusConditionWidths, EachFieldComparesAtItsOwnWidth) {
  enum : uint8_t { kEq = 0, kLt = 5 };
  const struct {
    const char* what;
    uint16_t emblem;
    uint8_t id;
    cCond condition;
    bool holds;
  } rows[] = {
      {"emblem 5 < 200 (16 bits hold 200)", 5, 0, OwnStatus(kStatusEmblem, kLt, 200), true},
      {"emblem 119 < 200", 119, 0, OwnStatus(kStatusEmblem, kLt, 200), true},
      {"emblem 5 = 65541 (wraps to 5 at 16 bits)", 5, 0, OwnStatus(kStatusEmblem, kEq, 65541), true},
      {"emblem 5 = 261 (no wrap at 16 bits)", 5, 0, OwnStatus(kStatusEmblem, kEq, 261), false},
      {"character id 5 < 200 (8 bits: 200 reads -56)", 0, 5, OwnStatus(kStatusCharacterId, kLt, 200), false},
      {"character id 5 = 261 (wraps to 5 at 8 bits)", 0, 5, OwnStatus(kStatusCharacterId, kEq, 261), true},
  };
  StageFlowsInstalled flows;
  StageBuilder builder;
  builder.Floor(10, 0, 19).Hero(1, 9);
  int32_t column = 4;
  for (const auto& row : rows) {
    builder.Character(column, 9);
    column += 3;
    cEdCharacter& d = builder.Data().m_PlacedCharacters.back();
    d.m_nParam16 = row.emblem;
    d.m_nParam50 = row.id;
    cEdFlow f = flowcmd::Flow(kTriggerAlways, {flowcmd::Code("my.v1 = 1")});
    f.m_vConds = {row.condition};
    d.m_vFlows = {f};
  }
  StageSession session(builder);
  ASSERT_TRUE(session.Loaded());
  session.Frames(2);
  auto character = session.Scene().m_CharacterList.begin();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_NE(character, session.Scene().m_CharacterList.end());
    ASSERT_EQ(StageFlowHost().ReadStatus(&*character, kStatusEmblem, 0), row.emblem) << "the definition's emblem";
    EXPECT_EQ(StageFlowHost().CharacterVariable(&*character, 0), row.holds ? 1 : 0);
    ++character;
  }
}

}  // namespace

// The status operation run by a flow on a built stage: a change of HP goes
// through the character's own HP rules.
#include <gtest/gtest.h>

#include <vector>

#include "data/labels.h"
#include "flow/status_ops.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"
#include "support/stage_builder.h"

namespace {

// A character of 20 HP runs, once, a status operation on its own HP: the
// operation with the constant 5, the HP gauge word and the
// skip-while-invincible word. A character defined as invincible (either
// kind) loses no HP to it, whatever the gauge word says (a status
// operation never forces the change); a character that is not, loses them
// and shows its gauge when the word asks. Adding to full HP changes
// nothing.
TEST(StatusCommands, AnOperationOnHpFollowsTheCharactersInvincibility) {
  StageFlowsInstalled flows;
  constexpr uint32_t kAdd = 1, kSubtract = 2, kSet = 0;
  struct Row {
    uint8_t invincibility;
    uint32_t operation, gauge, skip;
    int32_t hp;
    bool gaugeShown;
  };
  const Row rows[] = {
      {0, kSubtract, 0, 0, 15, false}, {0, kSubtract, 1, 0, 15, true}, {0, kSubtract, 0, 1, 15, false},
      {0, kSet, 1, 0, 5, true},        {1, kSubtract, 0, 0, 20, false}, {1, kSubtract, 1, 0, 20, false},
      {2, kSubtract, 1, 0, 20, false}, {1, kSet, 1, 0, 20, false},      {1, kAdd, 1, 0, 20, false},
      {1, kSubtract, 1, 1, 20, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "invincibility " << int(r.invincibility) << ", operation " << r.operation
                                    << ", gauge " << r.gauge << ", skip " << r.skip);
    std::vector<uint32_t> words(18, 0);
    words[kSoTargetClass] = 0;  // a status
    words[kSoSubject] = 0;      // of the character itself
    words[kSoField] = kStatusHp;
    words[kSoOperation] = r.operation;
    words[kSoSource] = 0;  // a constant
    words[kSoConstant] = 5;
    words[kSoGauge] = r.gauge;
    words[kSoSkipInvincible] = r.skip;
    cEdCmd operation;
    operation.m_nKind = kCmdStatus;
    operation.m_vParams = words;
    cEdCmd rest;
    rest.m_nKind = kCmdWait;
    rest.m_nDuration = 1000;
    cEdFlow f;
    f.m_nTrigger = kTriggerAlways;
    f.m_vCmds = std::vector<cEdCmd>{operation, rest};
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(2, 9).Character(12, 9);
    cEdCharacter& d = b.Data().m_PlacedCharacters[1];
    d.m_nParam40 = 20;
    d.m_nParam35 = r.invincibility;
    d.m_vFlows = {f};
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    cStageCharacter& c = s.Scene().m_CharacterList.front();
    ASSERT_EQ(c.m_nHp, 20);
    s.Frames(1);
    EXPECT_EQ(c.m_nHp, r.hp);
    EXPECT_EQ(c.m_HpGauge.timer > 0, r.gaugeShown);
  }
}

}  // namespace

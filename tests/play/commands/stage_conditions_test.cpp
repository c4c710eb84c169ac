// Distance conditions and status conditions 2 asked of a running stage: the
// stage's own flow host answers them from the characters, the hero and the
// target slots as they stand.
#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "data/conditions.h"
#include "data/labels.h"
#include "flow/conditions.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/hero.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"
#include "support/stage_builder.h"

namespace {

// The judge at column 10 and a second character at column 14 on one floor,
// the hero far off at column 1. Every body is 16 x 24 dots in a drawn cell of
// 32 x 32 (8 dots of margin on the left and on top).
class StageConditions : public ::testing::Test {
 protected:
  void SetUp() override {
    builder_.Floor(10, 0, 19).Hero(1, 9).Character(10, 9).Character(14, 9);
    session_ = std::make_unique<StageSession>(builder_);
    ASSERT_TRUE(session_->Loaded());
  }

  cStageScene& Scene() { return session_->Scene(); }
  cCharacter& Judge() { return Scene().m_CharacterList.front(); }
  cCharacter& Other() { return *std::next(Scene().m_CharacterList.begin()); }
  // Puts `who` (dx, dy) dots off the judge.
  void PlaceBeside(cCharacter& who, double dx, double dy) {
    who.m_dX = Judge().m_dX + dx;
    who.m_dY = Judge().m_dY + dy;
    who.UpdateX();
    who.UpdateY();
  }

  StageFlowsInstalled flows_;
  StageBuilder builder_;
  std::unique_ptr<StageSession> session_;
};

cCond Distance(int8_t relation, uint16_t halfBlocks, int32_t dots, bool outside = false, int8_t target = 0) {
  cCond c;
  c.m_nKind = kCondDistance;
  c.m_nSubject = target;
  c.m_nField = relation;
  c.m_nVarNumber = halfBlocks;
  c.m_nConstant = dots;
  c.m_nOperator = outside ? 1 : 0;
  return c;
}

// The judge's range against the hero's body, one relation and facing at a
// time. Across (relations 0..2) the judge's range runs from its drawn left
// less the distance to its drawn right plus the distance, or from its
// centre to one side only (1 in front, 2 behind: right while it faces
// right); up and down (3..5) the same from its drawn top, 4 reaching above
// while it faces left and below while it faces right, 5 the reverse. With
// the hero 64 dots to the right its body begins 40 dots past the judge's
// range, 64 dots to the left it ends 41 dots before it, 64 dots above 33,
// 64 dots below 40. The circle (6) measures between the bodies' centres.
TEST_F(StageConditions, DistanceConditionsMeasureTheJudgesRangeAgainstTheHero) {
  struct Case {
    const char* what;
    int8_t relation;
    int32_t facing;
    double dx, dy;
    uint16_t halfBlocks;
    int32_t dots;
    bool outside;
    bool holds;
  };
  const Case cases[] = {
      {"both sides, right, reached", 0, 0, 64, 0, 2, 8, false, true},
      {"both sides, right, a dot short", 0, 1, 64, 0, 2, 7, false, false},
      {"both sides, left, reached", 0, 1, -64, 0, 2, 9, false, true},
      {"both sides, left, a dot short", 0, 0, -64, 0, 2, 8, false, false},
      {"in front facing right", 1, 1, 64, 0, 2, 8, false, true},
      {"in front facing right, a dot short", 1, 1, 64, 0, 2, 7, false, false},
      {"in front facing left, hero behind", 1, 0, 64, 0, 12, 8, false, false},
      {"in front facing left", 1, 0, -64, 0, 2, 9, false, true},
      {"in front facing right, hero behind on the left", 1, 1, -64, 0, 12, 8, false, false},
      {"behind facing left", 2, 0, 64, 0, 2, 8, false, true},
      {"behind facing right, hero in front", 2, 1, 64, 0, 12, 8, false, false},
      {"behind facing right", 2, 1, -64, 0, 2, 9, false, true},
      {"behind facing left, hero in front on the left", 2, 0, -64, 0, 12, 8, false, false},
      {"across only: far below counts", 0, 0, 64, 200, 2, 8, false, true},
      {"up and down, above, reached", 3, 0, 0, -64, 2, 1, false, true},
      {"up and down, above, a dot short", 3, 1, 0, -64, 2, 0, false, false},
      {"up and down, below, reached", 3, 1, 0, 64, 2, 8, false, true},
      {"up and down, below, a dot short", 3, 0, 0, 64, 2, 7, false, false},
      {"above-or-below facing left reaches above", 4, 0, 0, -64, 2, 1, false, true},
      {"above-or-below facing right looks below", 4, 1, 0, -64, 12, 8, false, false},
      {"above-or-below facing right reaches below", 4, 1, 0, 64, 2, 8, false, true},
      {"above-or-below facing left looks above", 4, 0, 0, 64, 12, 8, false, false},
      {"below-or-above facing right reaches above", 5, 1, 0, -64, 2, 1, false, true},
      {"below-or-above facing left looks below", 5, 0, 0, -64, 12, 8, false, false},
      {"below-or-above facing left reaches below", 5, 0, 0, 64, 2, 8, false, true},
      {"below-or-above facing right looks above", 5, 1, 0, 64, 12, 8, false, false},
      {"up and down only: far to the side counts", 3, 0, 300, -64, 2, 1, false, true},
      {"circle of 160 round centres 160 apart", 6, 0, 96, -128, 10, 0, false, true},
      {"circle of 159", 6, 1, 96, -128, 9, 15, false, false},
      {"circle, the other way", 6, 1, -96, 128, 10, 0, false, true},
      {"outside: reached is false", 0, 0, 64, 0, 2, 8, true, false},
      {"outside: a dot short is true", 0, 0, 64, 0, 2, 7, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Judge().m_nFacing = c.facing;
    PlaceBeside(Scene().Hero(), c.dx, c.dy);
    EXPECT_EQ(EvaluateCondition(Distance(c.relation, c.halfBlocks, c.dots, c.outside), &Judge()), c.holds);
  }
}

// The other object is the first hero (target 0) or the object in a target
// slot (1..4); an empty slot makes the condition false, outside or not.
TEST_F(StageConditions, DistanceConditionsNameTheHeroOrATargetSlot) {
  PlaceBeside(Scene().Hero(), -300, 0);
  PlaceBeside(Other(), 64, 0);
  StageFlowHost().SetTarget(&Judge(), 0, &Other());
  struct Case {
    const char* what;
    int8_t target;
    bool outside;
    bool holds;
  };
  const Case cases[] = {
      {"the hero, far off", 0, false, false},
      {"the hero, far off, outside", 0, true, true},
      {"slot 1 holds the character beside", 1, false, true},
      {"slot 1, outside", 1, true, false},
      {"slot 2 is empty", 2, false, false},
      {"slot 2 is empty, outside", 2, true, false},
      {"slot 4 is empty", 4, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(EvaluateCondition(Distance(0, 2, 8, c.outside, c.target), &Judge()), c.holds);
  }
}

// Projects kept with the older rule refresh only the judge's screen
// rectangle: the other object is judged where its rectangle was last made
// (here, before it moved out of reach); otherwise where it stands.
TEST_F(StageConditions, TheOlderRuleJudgesTheOtherObjectWhereItWasLastShown) {
  const int rule = ProjectRuleRow(kRulePositionRefresh).field;
  PlaceBeside(Scene().Hero(), 64, 0);
  ASSERT_TRUE(EvaluateCondition(Distance(0, 2, 8), &Judge()));
  PlaceBeside(Scene().Hero(), 200, 0);
  session_->System().SetNum(rule, 1);
  EXPECT_TRUE(EvaluateCondition(Distance(0, 2, 8), &Judge()));
  session_->System().SetNum(rule, 0);
  EXPECT_FALSE(EvaluateCondition(Distance(0, 2, 8), &Judge()));
}

cCond Status2(int8_t subject, int8_t field, uint8_t op, int16_t value) {
  cCond c;
  c.m_nKind = kCondStatus2;
  c.m_nSubject = subject;
  c.m_nField = field;
  c.m_nOperator = op;
  c.m_nVarNumber = static_cast<uint16_t>(value);
  return c;
}

// Status condition 2 reads bytes of a character's definition (1 transparent,
// 2 fixed facing as a signed byte, 3 flying, 4 invincibility, 5 scale, 6
// follows the forced scroll) or, for the stage, two of its values, and
// compares them with the condition's number under the operator.
TEST_F(StageConditions, StatusCondition2ReadsTheDefinitionOrTheStage) {
  cEdCharacter& d = Other().Definition();
  d.m_nParam19 = 1;     // transparent
  d.m_nParam31 = 0xFF;  // fixed facing -1
  d.m_nParam33 = 2;     // flying
  d.m_nParam35 = 2;     // invincibility 2
  d.m_nParam36 = 3;     // scale 3
  d.m_nParam37 = 1;     // follows the forced scroll
  StageFlowHost().SetTarget(&Judge(), 0, &Other());
  enum : uint8_t { kEq, kNe, kGe, kLe, kGt, kLt, kDivisible, kNotDivisible, kUnknown };
  const struct {
    const char* what;
    bool askOther;  // asked by the character with the bytes, else by the judge
    cCond condition;
    bool holds;
  } cases[] = {
      {"transparent = 1", true, Status2(0, 1, kEq, 1), true},
      {"transparent != 1", true, Status2(0, 1, kNe, 1), false},
      {"fixed facing < 0 (signed)", true, Status2(0, 2, kLt, 0), true},
      {"fixed facing = -1", true, Status2(0, 2, kEq, -1), true},
      {"flying >= 2", true, Status2(0, 3, kGe, 2), true},
      {"flying > 2", true, Status2(0, 3, kGt, 2), false},
      {"invincibility divisible by 2", true, Status2(0, 4, kDivisible, 2), true},
      {"invincibility not divisible by 2", true, Status2(0, 4, kNotDivisible, 2), false},
      {"invincibility divisible by 0", true, Status2(0, 4, kDivisible, 0), true},
      {"invincibility not divisible by 0", true, Status2(0, 4, kNotDivisible, 0), false},
      {"scale <= 3", true, Status2(0, 5, kLe, 3), true},
      {"scale < 3", true, Status2(0, 5, kLt, 3), false},
      {"follows the scroll = 1", true, Status2(0, 6, kEq, 1), true},
      {"the judge is not transparent", false, Status2(0, 1, kEq, 0), true},
      {"the judge's slot 1 is transparent", false, Status2(1, 1, kEq, 1), true},
      {"the judge's slot 1 is not flying 0", false, Status2(1, 3, kEq, 0), false},
      {"an empty slot is false", false, Status2(2, 1, kNe, 5), false},
      {"field 0 of a character is false", true, Status2(0, 0, kNe, 12345), false},
      {"field 7 of a character is false", true, Status2(0, 7, kNe, 12345), false},
      {"an unknown operator is false", true, Status2(0, 1, kUnknown, 1), false},
      {"the stage's first value", false, Status2(5, 0, kEq, 0), true},
      {"the stage's second value", false, Status2(5, 1, kEq, 0), true},
      {"the stage's second value is not 1", false, Status2(5, 1, kEq, 1), false},
      {"the stage has no third value", false, Status2(5, 2, kNe, 12345), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    cCharacter* asker = c.askOther ? &Other() : &Judge();
    EXPECT_EQ(EvaluateCondition(c.condition, asker), c.holds);
  }
}

// A status condition on a narrow field compares both sides as signed values
// of the field's width: a negative constant reads as written on every kind of
// field, a constant beyond the width wraps, and the 32-bit fields take the
// constant whole.
TEST_F(StageConditions, NarrowStatusFieldsCompareAsSignedValuesOfTheirWidth) {
  enum : uint8_t { kEq, kNe, kGe, kLe, kGt, kLt };
  const struct {
    const char* what;
    int8_t field;
    int32_t value;  // the judge's field
    uint8_t op;
    int32_t constant;
    bool holds;
  } cases[] = {
      {"character id (8 bits) >= -1", kStatusCharacterId, 3, kGe, -1, true},
      {"character id > -128", kStatusCharacterId, 0, kGt, -128, true},
      {"character id = 259 wraps to 3", kStatusCharacterId, 3, kEq, 259, true},
      {"character id < 200 reads -56", kStatusCharacterId, 3, kLt, 200, false},
      {"drawing layer (8 bits) != -1", kStatusLayer, 7, kNe, -1, true},
      {"sight (8 bits) > -3", kStatusSight, 0, kGt, -3, true},
      {"impact resistance (8 bits) >= -20", kStatusImpactResistance, 20, kGe, -20, true},
      {"body impact (signed 8 bits) < -1", kStatusBodyImpact, -5, kLt, -1, true},
      {"body impact = -5", kStatusBodyImpact, -5, kEq, -5, true},
      {"body impact = 251 wraps to -5", kStatusBodyImpact, -5, kEq, 251, true},
      {"emblem (16 bits) >= -1", kStatusEmblem, 5, kGe, -1, true},
      {"emblem = 65541 wraps to 5", kStatusEmblem, 5, kEq, 65541, true},
      {"stopping ease (16 bits) > -200", kStatusStoppingEase, 150, kGt, -200, true},
      {"HP (32 bits) >= -1", kStatusHp, 4, kGe, -1, true},
      {"HP = 260 does not wrap", kStatusHp, 4, kEq, 260, false},
      {"score (32 bits) < 65536", kStatusScore, 100, kLt, 65536, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StageFlowHost().WriteStatus(&Judge(), c.field, 0, c.value);
    ASSERT_EQ(StageFlowHost().ReadStatus(&Judge(), c.field, 0), c.value) << "the field holds the value";
    cCond condition;
    condition.m_nKind = kCondStatus;
    condition.m_nField = c.field;
    condition.m_nOperator = c.op;
    condition.m_nConstant = c.constant;
    EXPECT_EQ(EvaluateCondition(condition, &Judge()), c.holds);
  }
}

// Status condition 2 reads the flying byte (field 3) and the invincibility
// byte (field 4) each from its own place: characters defined with the two
// bytes different run, for each byte, one flow per value 0..3 whose
// condition asks for that value, and the flow that starts notes it (in
// character variable v1 for flying, v2 for invincibility).
TEST(StageConditionsStatus2, FlyingAndInvincibilityAreReadEachFromItsOwnByte) {
  StageFlowsInstalled flows;
  struct Row {
    uint8_t flying, invincibility;
  };
  const Row rows[] = {{1, 2}, {2, 0}, {0, 1}, {3, 1}};
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(1, 9);
  int32_t column = 5;
  for (const Row& r : rows) {
    b.Character(column, 5);
    column += 3;
    cEdCharacter& d = b.Data().m_PlacedCharacters.back();
    d.m_nParam33 = r.flying;
    d.m_nParam35 = r.invincibility;
    for (int8_t field : {3, 4}) {
      for (int16_t value = 0; value <= 3; ++value) {
        cEdCmd note;
        note.m_nKind = kCmdRunCode;
        note.m_nTogether = 1;
        note.m_strText = "my.v" + std::to_string(field - 2) + " = " + std::to_string(value + 10);
        cEdFlow f;
        f.m_nTrigger = kTriggerAlways;
        f.m_vCmds = std::vector<cEdCmd>{note};
        f.m_vConds = {Status2(0, field, 0, value)};
        d.m_vFlows.push_back(f);
      }
    }
  }
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  s.Frames(2);
  auto c = s.Scene().m_CharacterList.begin();
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "flying " << int(r.flying) << ", invincibility " << int(r.invincibility));
    ASSERT_NE(c, s.Scene().m_CharacterList.end());
    EXPECT_EQ(StageFlowHost().CharacterVariable(&*c, 0), r.flying + 10) << "v1";
    EXPECT_EQ(StageFlowHost().CharacterVariable(&*c, 1), r.invincibility + 10) << "v2";
    ++c;
  }
}

}  // namespace

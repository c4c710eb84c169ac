#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <list>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "data/labels.h"
#include "flow/fake_flow_host.h"
#include "flow/flow_state.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/character.h"
#include "play/objects/hero.h"
#include "play/objects/shot.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"
#include "scene/play_record.h"
#include "support/stage_builder.h"

namespace {

// Records what the characters ask of their flows: triggers with context and
// group, and the death-mode steps.
class RecordingHooks : public cFlowHooks {
 public:
  struct Call {
    const cCharacter* who;
    std::string what;
    int32_t kind;
    const cCharacter* context;
    int32_t group;
    bool operator==(const Call&) const = default;
  };
  void TriggerFlowsOfKind(cCharacter& c, int32_t kind) override { calls.push_back({&c, "trigger", kind, nullptr, 0}); }
  void TriggerFlows(cCharacter& c, int32_t kind, cCharacter* context, int32_t group) override {
    calls.push_back({&c, "trigger", kind, context, group});
  }
  int StepFlows(cCharacter& c, int32_t deathMode) override {
    calls.push_back({&c, "step", deathMode, nullptr, 0});
    return 0;
  }
  std::vector<Call> calls;
};

class CombatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Previous = &FlowHooks();
    SetFlowHooks(&m_Hooks);
    StageData.Int(kStageHeroInvincibility) = 10;
    StageData.Int(kStageEnemyInvincibility) = 3;
    StageData.Int(kStageHeroInvincibilityPer) = 20;
    StageData.Int(kStageEnemyInvincibilityPer) = 5;
    ScopedStageRunning::SetLevel(1, 0.0);
  }
  void TearDown() override {
    SetFlowHooks(m_Previous);
    SaveData.m_nScore = m_SavedScore;
  }
  static cEdCharacter Definition(int32_t hp, int32_t defence, int32_t contactPower, int32_t strength) {
    cEdCharacter d;
    d.m_nParam40 = hp;
    d.m_nParam47 = defence;
    d.m_nParam44 = contactPower;
    d.m_nParam45 = static_cast<uint8_t>(strength);
    return d;
  }
  static void Make(cCharacter& c, int32_t id, int32_t kind, const cEdCharacter& d) {
    c.Init(&d, nullptr, 0, 0);
    c.m_nId = id;
    c.m_nKind = kind;
  }

  ScopedStageRunning m_Stage;
  RecordingHooks m_Hooks;
  cFlowHooks* m_Previous = nullptr;
  int32_t m_SavedScore = SaveData.m_nScore;
};

TEST_F(CombatTest, InvincibilityLastsTheStageTimeInSubSteps) {
  // Level, kind, then the timer and the per-attacker time in sub-steps. The
  // stage's times named after the hero (10 / 20 frames) go to characters of
  // a non-zero kind, those named after the enemies (3 / 5) to kind 0; both
  // times the sub-steps.
  const std::array<int32_t, 4> rows[] = {{1, 0, 3, 5}, {2, 0, 6, 10}, {1, 1, 10, 20}, {2, 1, 20, 40}, {1, 2, 10, 20}};
  for (const auto& [level, kind, timer, perAttacker] : rows) {
    ScopedStageRunning::SetLevel(level, 0.0);
    cCharacter c;
    Make(c, 1, kind, Definition(10, 0, 0, 0));
    c.StartInvincibilityFrom(42);
    EXPECT_EQ(c.m_nInvincibleTimer, timer);
    int32_t steps = 0;
    while (c.IsInvincible()) {
      c.CountDownInvincibility();
      ++steps;
    }
    EXPECT_EQ(steps, timer) << level << " " << kind;
    // The attacker alone stays kept off until its own time runs out.
    EXPECT_TRUE(c.IsInvincibleTo(42));
    EXPECT_FALSE(c.IsInvincibleTo(43));
    while (c.IsInvincibleTo(42)) {
      c.CountDownInvincibility();
      ++steps;
    }
    EXPECT_EQ(steps, perAttacker) << level << " " << kind;
  }
}

TEST_F(CombatTest, AttackDamageLosesTheDefenceAndStaysInRange) {
  struct Row { int32_t power, defence, hp, out; bool damageTrigger; };
  const Row rows[] = {
      {30, 10, 80, 0, true},
      {5, 10, 100, 0, true},  // below the defence: no damage, still trigger 1
      {0, 0, 100, 0, false},
      {2000000, 0, 0, 1, true},
  };
  for (const Row& r : rows) {
    cCharacter victim, owner;
    Make(victim, 1, 1, Definition(100, r.defence, 0, 0));
    Make(owner, 2, 0, Definition(10, 0, 0, 0));
    cShot shot;
    shot.m_Definition.SetPower(r.power);
    shot.m_pOwner = &owner;
    m_Hooks.calls.clear();
    EXPECT_EQ(victim.TakeAttackHit(shot), r.out) << r.power;
    victim.RaiseAttackHitTriggers(shot);
    EXPECT_EQ(victim.m_nHp, r.hp) << r.power;
    const bool raised = std::count(m_Hooks.calls.begin(), m_Hooks.calls.end(),
                                   RecordingHooks::Call{&victim, "trigger", 1, &owner, 0}) == 1;
    EXPECT_EQ(raised, r.damageTrigger) << r.power;
    shot.m_pOwner = nullptr;
  }
}

TEST_F(CombatTest, HitTriggersNameTheOtherSideAndTheReportingOwner) {
  cCharacter victim, attacker, parent;
  Make(victim, 1, 1, Definition(100, 0, 0, 0));
  Make(parent, 3, 1, Definition(100, 0, 0, 0));
  using Call = RecordingHooks::Call;
  struct Row { const char* name; int32_t power, strength; bool report; std::vector<Call> calls; };
  const Row rows[] = {
      {"power", 5, 0, false, {{&victim, "trigger", 1, &attacker, 0}}},
      {"impact only", 0, 2, false, {{&victim, "trigger", 2, &attacker, 0}}},
      {"reported to the parent", 5, 2, true,
       {{&victim, "trigger", 1, &parent, 0},
        {&parent, "trigger", 18, &victim, 4},
        {&victim, "trigger", 2, &parent, 0},
        {&parent, "trigger", 19, &victim, 4}}},
  };
  for (const Row& r : rows) {
    Make(attacker, 2, 1, Definition(100, 0, r.power, r.strength));
    attacker.LinkInitialTargets(nullptr, &parent);
    attacker.m_bReportToParent = r.report;
    attacker.m_byParentFlowGroup = 4;
    m_Hooks.calls.clear();
    victim.RaiseBodyHitTriggers(attacker);
    EXPECT_EQ(m_Hooks.calls, r.calls) << r.name;
  }
}

TEST_F(CombatTest, DefeatRunsDeathFlowsPaysTheScoreCappedAndLeavesNoLinks) {
  cEdCharacter d = Definition(0, 0, 0, 0);
  d.m_nParam49 = 50;  // score when defeated
  std::list<cCharacter> characters(2);
  cCharacter& victim = characters.front();
  cCharacter& holder = characters.back();
  Make(victim, 1, 1, d);
  Make(holder, 2, 1, Definition(10, 0, 0, 0));
  holder.LinkInitialTargets(&victim, &victim);
  SaveData.m_nScore = 999990;
  m_Hooks.calls.clear();
  EXPECT_EQ(victim.Defeat(), 0);
  ASSERT_GE(m_Hooks.calls.size(), 2u);
  EXPECT_EQ(m_Hooks.calls[0], (RecordingHooks::Call{&victim, "trigger", 3, nullptr, 0}));
  EXPECT_EQ(m_Hooks.calls[1], (RecordingHooks::Call{&victim, "step", 1, nullptr, 0}));
  EXPECT_EQ(SaveData.m_nScore, 999999);
  EXPECT_EQ(victim.m_bDying, 1);
  EXPECT_EQ(holder.m_Targets[0], nullptr);
  EXPECT_EQ(holder.m_pParent, nullptr);
  EXPECT_TRUE(victim.m_TargetedBy.empty());
}

// Targets, parents and a shot's target and owner never point at a character
// that has gone, whichever side goes first.
TEST_F(CombatTest, LinksNeverDangleWhenEitherSideGoes) {
  for (const bool targetGoes : {true, false}) {
    auto owner = std::make_unique<cCharacter>();
    auto target = std::make_unique<cCharacter>();
    Make(*owner, 1, 1, Definition(10, 0, 0, 0));
    Make(*target, 2, 1, Definition(10, 0, 0, 0));
    owner->LinkInitialTargets(target.get(), nullptr);  // target slot 0
    target->LinkInitialTargets(owner.get(), owner.get());  // slot 0 and parent
    auto shot = std::make_unique<cShot>();
    shot->m_Definition.m_nType = 6;  // homing on the target
    shot->m_pTarget = target.get();
    shot->m_pOwner = owner.get();
    shot->Register();
    ASSERT_EQ(target->m_Links.size(), 1u);
    ASSERT_EQ(owner->m_Links.size(), 1u);
    if (targetGoes) {
      target.reset();
      EXPECT_EQ(owner->m_Targets[0], nullptr);
      EXPECT_TRUE(owner->m_TargetedBy.empty());
      EXPECT_EQ(shot->m_pTarget, nullptr);
      EXPECT_EQ(shot->m_pOwner, owner.get());
    } else {
      owner.reset();
      EXPECT_EQ(target->m_Targets[0], nullptr);
      EXPECT_EQ(target->m_pParent, nullptr);
      EXPECT_EQ(shot->m_pOwner, nullptr);
      EXPECT_EQ(shot->m_pTarget, target.get());
    }
    // The shot goes last; it leaves no entry behind in the survivor.
    shot.reset();
    const cCharacter* survivor = owner ? owner.get() : target.get();
    EXPECT_TRUE(survivor->m_Links.empty());
  }
}

// ---- scenarios on built stages ----

cEdShot StillShot(int32_t power) {
  cEdShot d;
  d.m_f2 = 3;   // right
  d.m_f26 = 1;  // scale
  d.SetObjectCount(1);
  d.SetPower(power);
  d.SetVanishOnHit(1);
  return d;
}

StageBuilder Arena(int32_t level, int32_t enemyHp) {
  StageBuilder b(20, 15);
  b.SpeedLevel(level).Floor(10, 0, 19).Hero(2, 9).Character(10, 9);
  auto& placed = b.Data().m_PlacedCharacters;
  placed[0].m_nParam40 = 10;       // the hero's HP
  placed[1].m_nParam40 = enemyHp;  // the enemy's
  placed[1].m_nParam50 = 2;        // its group (the hero's is 1)
  placed[1].m_nParam49 = 100;      // its score
  b.Data().Int(kStageHeroInvincibility) = 5;  // the enemy's time (its kind is 1)
  return b;
}

// HP of `c` after each of `frames` frames.
std::vector<int32_t> HpByFrame(StageSession& s, const cCharacter& c, int frames) {
  std::vector<int32_t> hp;
  for (int frame = 0; frame < frames; ++frame) {
    s.Frames(1);
    hp.push_back(c.m_nHp);
  }
  return hp;
}

// Three shots lie on the enemy at once: the first hits, the others wait
// while it is invincible and hit one after the other as its timer ends,
// every 5 frames whatever the sub-step count.
TEST(CombatStage, AnInvincibleCharacterIsNotHurtAgainBeforeItsTimerEnds) {
  for (const int32_t level : {1, 2}) {
    StageBuilder b = Arena(level, 100);
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    cStageScene& scene = s.Scene();
    cStageCharacter& enemy = scene.m_CharacterList.front();
    for (int i = 0; i < 3; ++i) FireShots(scene, scene.Hero(), StillShot(10));
    for (auto& shot : scene.m_ShotList) {
      shot->m_dX = enemy.m_dX;
      shot->m_dY = enemy.m_dY;
      shot->ClampX();
      shot->ClampY(2);
    }
    EXPECT_EQ(HpByFrame(s, enemy, 12), (std::vector<int32_t>{90, 90, 90, 90, 90, 80, 80, 80, 80, 80, 70, 70}))
        << level;
  }
}

// Cancelling shots mark the cancellable shots of other groups they overlap;
// the hit checks find them after others were fired and flushed, and stop
// cancelling once the last canceller is gone.
TEST(CombatStage, CancellingShotsRemoveOverlappingShotsOfOtherGroupsWhileTheyLast) {
  StageBuilder b = Arena(1, 10);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  // Group `group`, away from the characters, at (300, 60).
  auto fire = [&](int32_t group, bool cancels, bool cancellable) {
    cEdShot d = StillShot(0);
    d.m_f27 = static_cast<uint8_t>(group);
    d.m_f55 = cancels ? 1 : 0;
    d.m_f60 = cancellable ? 1 : 0;
    FireShots(scene, scene.Hero(), d);
    cShot& shot = *scene.m_ShotList.back();
    shot.m_dX = 300;
    shot.m_dY = 60;
    shot.ClampX();
    shot.ClampY(2);
    return std::weak_ptr<cShot>(scene.m_ShotList.back());
  };
  const auto canceller = fire(3, true, false);
  const auto other = fire(4, false, true);
  const auto sameGroup = fire(3, false, true);
  const auto uncancellable = fire(5, false, false);
  ASSERT_EQ(scene.CheckHits(), kCheckGoOn);
  EXPECT_FALSE(canceller.expired());
  EXPECT_TRUE(other.expired());
  EXPECT_FALSE(sameGroup.expired());
  EXPECT_FALSE(uncancellable.expired());
  // A shot fired later is found as well.
  const auto later = fire(6, false, true);
  ASSERT_EQ(scene.CheckHits(), kCheckGoOn);
  EXPECT_TRUE(later.expired());
  // Without the canceller nothing is cancelled; a new one cancels again.
  MarkShotForRemoval(scene, *canceller.lock());
  FlushShots(scene);
  EXPECT_TRUE(canceller.expired());
  const auto spared = fire(4, false, true);
  ASSERT_EQ(scene.CheckHits(), kCheckGoOn);
  EXPECT_FALSE(spared.expired());
  fire(2, true, false);
  ASSERT_EQ(scene.CheckHits(), kCheckGoOn);
  EXPECT_TRUE(spared.expired());
  EXPECT_FALSE(uncancellable.expired());
}

TEST(CombatStage, AShotDefeatsACharacterWhereItsRectanglesMeet) {
  StageBuilder b = Arena(1, 10);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  cStageCharacter& enemy = scene.m_CharacterList.front();
  ASSERT_EQ(enemy.m_Targets[0], &scene.Hero());
  cEdShot d = StillShot(10);
  d.SetSpeed(40);  // 4 dots a frame to the right
  const int32_t score = SaveData.m_nScore;
  FireShots(scene, scene.Hero(), d);
  ASSERT_EQ(scene.m_ShotList.size(), 1u);
  int frames = 0;
  while (enemy.m_nHp == 10 && frames < 200) {
    // Until the hit, the shot's rectangle has not reached the enemy's
    // attack rectangle.
    ASSERT_EQ(scene.m_ShotList.size(), 1u);
    EXPECT_LT(scene.m_ShotList.front()->m_Hit.right, enemy.m_Hit2.left);
    s.Frames(1);
    ++frames;
  }
  EXPECT_EQ(enemy.m_nHp, 0);
  EXPECT_EQ(enemy.m_bDying, 1);
  EXPECT_EQ(SaveData.m_nScore, score + 100);
  EXPECT_TRUE(scene.m_ShotList.empty());
  EXPECT_NE(std::find(s.Sounds().begin(), s.Sounds().end(), kSoundEnemyDeath), s.Sounds().end());
  // The defeated character is gone from every other object's links.
  for (const cTargetedBy& e : scene.Hero().m_TargetedBy) EXPECT_NE(e.holder, &enemy);
  EXPECT_EQ(enemy.m_Targets[0], nullptr);
  SaveData.m_nScore = score;
}

// An enemy standing in the hero's place with contact power 3: the hero
// loses 3 HP, then is invincible for its 4 frames (whatever the sub-step
// count) before the touch hurts again.
TEST(CombatStage, BodyContactsHurtOncePerInvincibility) {
  for (const int32_t level : {1, 2}) {
    StageBuilder b = Arena(level, 100);
    auto& enemy = b.Data().m_PlacedCharacters[1];
    enemy.m_nWord1 = 2;     // on the hero's block
    enemy.m_nParam44 = 3;   // contact power
    b.Data().Int(kStageEnemyInvincibility) = 4;  // the hero's time (its kind is 0)
    b.Data().Int(kStageEnemyInvincibilityPer) = 0;
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    EXPECT_EQ(HpByFrame(s, s.Scene().Hero(), 6), (std::vector<int32_t>{7, 7, 7, 7, 4, 4})) << level;
    EXPECT_EQ(s.Scene().m_CharacterList.front().m_nHp, 100) << "the hero has no contact power";
  }
}

// Without invincibility a touch hurts once in every sub-step that resolves
// hits: each touching pair of characters of different groups is met once,
// whichever of the two groups comes first.
TEST(CombatStage, WithoutInvincibilityATouchHurtsOncePerSubStep) {
  for (const int32_t level : {1, 2}) {
    StageBuilder b = Arena(level, 100);
    auto& enemy = b.Data().m_PlacedCharacters[1];
    enemy.m_nWord1 = 2;    // on the hero's block
    enemy.m_nParam44 = 1;  // contact power
    b.Data().m_PlacedCharacters[0].m_nParam40 = 20;
    b.Data().Int(kStageEnemyInvincibility) = 0;  // the hero's times
    b.Data().Int(kStageEnemyInvincibilityPer) = 0;
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    const std::vector<int32_t> hp = HpByFrame(s, s.Scene().Hero(), 3);
    EXPECT_EQ(hp, (std::vector<int32_t>{20 - level, 20 - 2 * level, 20 - 3 * level})) << level;
  }
}

// A touching pair of characters of two groups is one contact a sub-step,
// resolved both ways at once: each hurts the other once and the touch
// sounds once, whichever group comes first in the group list.
TEST(CombatStage, ATouchingPairIsMetOncePerSubStepWhicheverGroupComesFirst) {
  const std::pair<uint8_t, uint8_t> orders[] = {{1, 2}, {2, 1}};  // hero's group, enemy's group
  for (const auto& [heroGroup, enemyGroup] : orders) {
    SCOPED_TRACE(testing::Message() << "hero group " << int(heroGroup) << ", enemy group " << int(enemyGroup));
    StageBuilder b = Arena(2, 20);
    auto& placed = b.Data().m_PlacedCharacters;
    placed[0].m_nParam40 = 20;
    placed[0].m_nParam50 = heroGroup;
    placed[0].m_nParam44 = 1;  // contact power, both ways
    placed[1].m_nParam50 = enemyGroup;
    placed[1].m_nParam44 = 1;
    placed[1].m_nWord1 = 2;  // on the hero's block
    for (int field : {kStageHeroInvincibility, kStageEnemyInvincibility, kStageHeroInvincibilityPer,
                      kStageEnemyInvincibilityPer})
      b.Data().Int(field) = 0;
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    const size_t soundsBefore = s.Sounds().size();
    const std::vector<int32_t> hp = HpByFrame(s, s.Scene().Hero(), 3);
    EXPECT_EQ(hp, (std::vector<int32_t>{18, 16, 14}));
    EXPECT_EQ(s.Scene().m_CharacterList.front().m_nHp, 14);
    EXPECT_EQ(std::count(s.Sounds().begin() + static_cast<std::ptrdiff_t>(soundsBefore), s.Sounds().end(), kSoundHit), 6);
  }
}

// Items under the hero: taken once (and gone), taken once per touch, or
// never; the reaction's sound (database sound 1: effect 17) tells. Each item
// has a command (one that does nothing): without one an item reacts not at
// all.
TEST(CombatStage, ItemsAreTakenByTheirTakeMode) {
  struct Row {
    int32_t mode;
    long reactions;  // standing on it, then after stepping off and back
    size_t left;     // items left
  };
  const Row rows[] = {{0, 1, 0}, {1, 2, 1}, {2, 0, 1}};
  for (const Row& r : rows) {
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(4, 9).Item(4, 9);
    b.Data().m_PlacedCharacters[0].m_nParam40 = 10;
    b.Data().m_PlacedItems[0].m_nParam15 = static_cast<uint8_t>(r.mode);
    b.Data().m_PlacedItems[0].m_nSound = 1;
    cEdCmd nothing;
    nothing.m_nFamily = 1;
    b.Data().m_PlacedItems[0].m_vCmds = std::vector<cEdCmd>{nothing};
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    s.Frames(10);
    cHero& hero = s.Scene().Hero();
    const double x = hero.m_dX;
    hero.m_dX = x + 96;  // off the item
    hero.UpdateX();
    s.Frames(2);
    hero.m_dX = x;
    hero.UpdateX();
    s.Frames(2);
    EXPECT_EQ(std::count(s.Sounds().begin(), s.Sounds().end(), 17), r.reactions) << r.mode;
    EXPECT_EQ(s.Scene().m_ItemList.size(), r.left) << r.mode;
  }
}

// On a long stage, a shot that does not vanish lies over two enemies in
// neighbouring cells; the others (a step further, and far along the stage)
// are untouched. The hits come in the order of the enemies' list, not of
// their places.
TEST(CombatStage, AShotHitsWhatItOverlapsAnywhereInListOrder) {
  StageBuilder b(400, 15);
  b.SpeedLevel(1).Floor(10, 0, 399).Hero(2, 9);
  for (const int32_t column : {12, 300, 11, 14}) b.Character(column, 9);
  auto& placed = b.Data().m_PlacedCharacters;
  for (size_t k = 1; k < placed.size(); ++k) {
    placed[k].m_nParam40 = 100;  // HP
    placed[k].m_nParam50 = 2;    // group (the hero's is 1)
  }
  cFlowHooks* previous = &FlowHooks();
  {
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    RecordingHooks hooks;
    SetFlowHooks(&hooks);
    cStageScene& scene = s.Scene();
    std::vector<cStageCharacter*> enemies;
    for (cStageCharacter& c : scene.m_CharacterList) enemies.push_back(&c);
    ASSERT_EQ(enemies.size(), 4u);
    cEdShot d = StillShot(10);
    d.SetVanishOnHit(0);
    FireShots(scene, scene.Hero(), d);
    ASSERT_EQ(scene.m_ShotList.size(), 1u);
    cShot& shot = *scene.m_ShotList.front();
    shot.m_dX = enemies[2]->m_dX + 16;  // from the middle of column 11 into column 12
    shot.m_dY = enemies[2]->m_dY;
    shot.ClampX();
    shot.ClampY(2);
    ASSERT_LT(shot.m_Hit.right, enemies[3]->m_Hit2.left);
    s.Frames(1);
    std::vector<const cCharacter*> hit;
    for (const auto& call : hooks.calls)
      if (call.what == "trigger" && call.kind == 7) hit.push_back(call.who);
    EXPECT_EQ(hit, (std::vector<const cCharacter*>{enemies[0], enemies[2]}));
    EXPECT_EQ(enemies[0]->m_nHp, 90);
    EXPECT_EQ(enemies[2]->m_nHp, 90);
    EXPECT_EQ(enemies[1]->m_nHp, 100);
    EXPECT_EQ(enemies[3]->m_nHp, 100);
  }
  SetFlowHooks(previous);
}

// ---- where two rectangles meet ----

// The enemy of Arena flying where it is placed (column 10, row 5: in the
// air, clear of every block), so that it stays exactly where a test puts it.
StageBuilder AirArena() {
  StageBuilder b = Arena(1, 100);
  auto& enemy = b.Data().m_PlacedCharacters[1];
  enemy.m_nWord2 = 5;
  enemy.m_nParam33 = 1;  // flies, through blocks
  return b;
}

// Moves `shot` so that its hit rectangle's left and top edges lie at
// (left, top).
void LayHitRectangle(cShot& shot, double left, double top) {
  shot.m_dX = left - shot.m_Hit.offsetX;
  shot.m_dY = top - shot.m_Hit.offsetY;
  shot.ClampX();
  shot.ClampY(2);
}

// A shot hits what its right (bottom) edge reaches, down to a single
// shared column (row); its left (top) edge has to pass the other's right
// (bottom) edge: a shot that shares only the enemy's last column or row
// misses. The hero's still shot is laid `shared` columns (rows) over the
// flying enemy's attack rectangle from one side, level with it.
TEST(CombatStage, AShotHitsFromTheOneColumnItsRightOrBottomEdgeShares) {
  enum Side { kFromLeft, kFromRight, kFromAbove, kFromBelow };
  struct Row {
    const char* what;
    Side side;
    int32_t shared;  // columns (rows) the two rectangles have in common
    bool hits;
  };
  const Row rows[] = {
      {"right edge one column short", kFromLeft, 0, false},
      {"right edge on its first column", kFromLeft, 1, true},
      {"left edge one column past", kFromRight, 0, false},
      {"left edge on its last column", kFromRight, 1, false},
      {"left edge a column into it", kFromRight, 2, true},
      {"bottom edge one row short", kFromAbove, 0, false},
      {"bottom edge on its first row", kFromAbove, 1, true},
      {"top edge on its last row", kFromBelow, 1, false},
      {"top edge a row into it", kFromBelow, 2, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    StageBuilder b = AirArena();
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    cStageScene& scene = s.Scene();
    cStageCharacter& enemy = scene.m_CharacterList.front();
    FireShots(scene, scene.Hero(), StillShot(10));
    ASSERT_EQ(scene.m_ShotList.size(), 1u);
    cShot& shot = *scene.m_ShotList.front();
    const cHitRect& c = enemy.m_Hit2;
    const double w = shot.m_Hit.width, h = shot.m_Hit.height;
    switch (r.side) {
      case kFromLeft: LayHitRectangle(shot, c.left + r.shared - w, c.top); break;
      case kFromRight: LayHitRectangle(shot, c.right - r.shared + 1, c.top); break;
      case kFromAbove: LayHitRectangle(shot, c.left, c.top + r.shared - h); break;
      case kFromBelow: LayHitRectangle(shot, c.left, c.bottom - r.shared + 1); break;
    }
    const double overX = std::min(shot.m_Hit.right, c.right) - std::max(shot.m_Hit.left, c.left) + 1;
    const double overY = std::min(shot.m_Hit.bottom, c.bottom) - std::max(shot.m_Hit.top, c.top) + 1;
    ASSERT_EQ(r.side == kFromLeft || r.side == kFromRight ? overX : overY, r.shared);
    s.Frames(1);
    EXPECT_EQ(enemy.m_nHp, r.hits ? 90 : 100);
    EXPECT_EQ(scene.m_ShotList.size(), r.hits ? 0u : 1u);
  }
}

// Bodies that share one column touch, and those a column apart do not,
// whichever of the two stands on the left and whichever group comes first:
// the enemy (contact power 3) flies level with the standing hero, its body
// rectangle laid `shared` columns over the hero's.
TEST(CombatStage, BodiesSharingOneColumnTouchWhicheverSideAndGroup) {
  for (const bool heroOnLeft : {true, false}) {
    for (const auto& [heroGroup, enemyGroup] : {std::pair<uint8_t, uint8_t>{1, 2}, {2, 1}}) {
      for (const int32_t shared : {0, 1, 2}) {
        SCOPED_TRACE(testing::Message() << (heroOnLeft ? "hero on the left" : "hero on the right") << ", hero group "
                                        << int(heroGroup) << ", shared columns " << shared);
        StageBuilder b = AirArena();
        auto& placed = b.Data().m_PlacedCharacters;
        placed[0].m_nParam50 = heroGroup;
        placed[1].m_nParam50 = enemyGroup;
        placed[1].m_nParam44 = 3;
        StageSession s(b);
        ASSERT_TRUE(s.Loaded());
        s.Frames(10);  // the hero has landed
        cHero& hero = s.Scene().Hero();
        cStageCharacter& enemy = s.Scene().m_CharacterList.front();
        ASSERT_EQ(hero.m_nHp, 10);
        const cHitRect& mine = hero.m_Hit1;
        const double left = heroOnLeft ? mine.right - shared + 1 : mine.left + shared - enemy.m_Hit1.width;
        enemy.m_dX = left - enemy.m_Hit1.offsetX;
        enemy.m_dY = hero.m_dY;
        enemy.UpdateX();
        enemy.UpdateY();
        ASSERT_EQ(std::min(mine.right, enemy.m_Hit1.right) - std::max(mine.left, enemy.m_Hit1.left) + 1, shared);
        s.Frames(1);
        EXPECT_EQ(hero.m_nHp, shared > 0 ? 7 : 10);
      }
    }
  }
}

// A character whose body is its whole cell has, at scale 1, no body
// rectangle: it touches no other body (the hero it lies on, its cell's
// corner within the hero's body, is not hurt by its contact power) and
// counts as without contacts for a shot, which then pierces it by its
// second pass-through byte. At scale 2 its body is its whole 64 x 64 cell
// and it is an ordinary victim.
TEST(CombatStage, WholeCellCharactersAtScale1TouchNoBody) {
  struct Row {
    uint8_t wholeCell;
    int8_t scale;
    bool touches;
  };
  const Row rows[] = {{0, 1, true}, {1, 1, false}, {1, 2, true}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "whole cell " << int(r.wholeCell) << ", scale " << int(r.scale));
    StageBuilder b = AirArena();
    auto& enemy = b.Data().m_PlacedCharacters[1];
    enemy.m_nParam44 = 3;
    enemy.m_nParam6 = r.wholeCell;
    enemy.m_nParam36 = r.scale;
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    s.Frames(10);  // the hero has landed
    cStageScene& scene = s.Scene();
    cHero& hero = scene.Hero();
    cStageCharacter& c = scene.m_CharacterList.front();
    ASSERT_EQ(c.m_Hit1.width > 0, r.touches);
    c.m_dX = hero.m_Hit1.left + 4 - c.m_Hit1.offsetX;
    c.m_dY = hero.m_Hit1.top + 4 - c.m_Hit1.offsetY;
    c.UpdateX();
    c.UpdateY();
    // A shot of the hero's group lying on the enemy that flies on after a
    // victim without contacts and stops at any other.
    cEdShot d = StillShot(10);
    d.m_f27 = 1;
    d.m_f56 = 0;
    d.m_f57 = 1;
    FireShots(scene, hero, d);
    ASSERT_EQ(scene.m_ShotList.size(), 1u);
    LayHitRectangle(*scene.m_ShotList.front(), c.m_Hit2.left, c.m_Hit2.top);
    s.Frames(1);
    EXPECT_EQ(hero.m_nHp, r.touches ? 7 : 10);
    EXPECT_EQ(c.m_nHp, 90);
    EXPECT_EQ(scene.m_ShotList.size(), r.touches ? 0u : 1u) << "pierces only a character without contacts";
  }
}

// The road of one event through the flows: the enemy's "always" flow fires
// a shot at the hero (one volley, then a wait); the hit raises the hero's
// damage flow and the enemy's dealt-damage flow, which count in variables.
TEST(CombatStage, AFlowFiredShotRaisesTheDamageFlowsOfBothSides) {
  cFlowHost* host = FlowHost();
  cFlowHooks* hooks = &FlowHooks();
  InstallStageFlows();
  {
    StageBuilder b = Arena(1, 100);
    auto& placed = b.Data().m_PlacedCharacters;
    auto code = [](const char* text) {
      cEdCmd c = Cmd(kCmdRunCode, 0, true);
      c.m_strText = text;
      return c;
    };
    cEdCmd shot = Cmd(kCmdShot, 1);
    shot.m_pShot = std::make_shared<cEdShot>(StillShot(2));
    shot.m_pShot->m_f2 = 2;  // to the left, at the hero
    shot.m_pShot->SetSpeed(40);
    shot.m_pShot->SetFactionNumber(2);
    shot.m_pShot->m_f23 = 1;  // hits are reported to the shooter
    placed[1].m_vFlows = {MakeFlow(kTriggerAlways, {shot, Cmd(kCmdWait, 600)}),
                          MakeFlow(kTriggerAttackDamaged, {code("C2 = C2 + 1")})};
    placed[0].m_vFlows = {MakeFlow(kTriggerDamaged, {code("C1 = C1 + 1")})};
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    for (int frames = 0; s.Scene().Hero().m_nHp == 10 && frames < 300; ++frames) s.Frames(1);
    s.Frames(2);
    EXPECT_EQ(s.Scene().Hero().m_nHp, 8);
    EXPECT_EQ(SaveData.m_CommonVariables[1], 1);
    EXPECT_EQ(SaveData.m_CommonVariables[2], 1);
    EXPECT_TRUE(s.Scene().m_ShotList.empty());
  }
  SetFlowHost(host);
  SetFlowHooks(hooks);
}

}  // namespace

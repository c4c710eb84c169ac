// The objects of a running stage as set-up, summons and the life check make
// them: object ids, the hero's carried HP and SP, the ranking read on entry,
// the summon command's options, and characters already dying at the life
// check.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "data/block.h"
#include "data/common_palette.h"
#include "data/conditions.h"
#include "data/rankings.h"
#include "data/system_data.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/hero.h"
#include "play/objects/shot.h"
#include "play/objects/stage_character.h"
#include "play/objects/stage_item.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"
#include "scene/play_record.h"
#include "scene/scene.h"
#include "support/stage_builder.h"

namespace {

// A summon record: one object in front of the shooter, from the stage palette.
cEdShot SummonRecord(int16_t index) {
  cEdShot d;
  d.m_f2 = 0;  // in front
  d.m_f26 = 1;
  d.SetObjectCount(1);
  d.m_nSummonPalette = 1;
  d.m_nSummonIndex = index;
  return d;
}

}  // namespace

// The hero takes id 0, then the placed characters the next ids in list
// order (the copies of a repeated record one after the other), and a
// summoned character the next one: no two share an id. The items the copies
// of one record carry share one item id, which no placed item takes.
TEST(StageObjects, IdsGoHeroFirstThenEachPlacedObjectInListOrder) {
  StageBuilder b(30, 15);
  b.Floor(10, 0, 29).Hero(2, 9).Character(6, 9).Character(12, 9).Item(20, 9).Item(22, 9).Item(24, 9);
  cEdCharacter& repeated = b.Data().m_PlacedCharacters[1];
  repeated.m_nParam7 = 2;  // two more copies, a block apart
  repeated.m_nStepX = 32;
  repeated.m_nPlacedItem = 0;  // carries placed item 0
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  EXPECT_EQ(scene.Hero().m_nId, 0);
  std::vector<int32_t> ids;
  for (const cStageCharacter& c : scene.m_CharacterList) ids.push_back(c.m_nId);
  EXPECT_EQ(ids, (std::vector<int32_t>{1, 2, 3, 4}));
  std::vector<int32_t> carried, items;
  for (const cStageCharacter& c : scene.m_CharacterList)
    if (c.m_Item.IsHeld()) carried.push_back(c.m_Item.m_nId);
  for (const cStageItem& item : scene.m_ItemList) items.push_back(item.m_nId);
  EXPECT_EQ(carried, (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(items, (std::vector<int32_t>{1, 2}));
  const cStageCharacter* summoned =
      scene.SummonCharacter(scene.m_CharacterList.back().Definition(), 600, 600, 0, 1, &scene.Hero(), {});
  ASSERT_NE(summoned, nullptr);
  EXPECT_EQ(summoned->m_nId, 5);
  EXPECT_EQ(FindObjectById(1), &scene.m_CharacterList.front()) << "id 1 is the first character, not the hero";
}

// With hero carry-over on, the hero's HP and SP kept by the tally of the
// stage before replace those its set-up gives, held to this hero's maxima
// (HP at least 1); without it, or without them kept, the hero starts full.
TEST(StageObjects, CarriedHpAndSpComeBackWithHeroCarryOver) {
  struct Row { int32_t carryOver, keptHp, keptSp, hp, sp; };
  const Row rows[] = {{1, 5, 7, 5, 7}, {0, 5, 7, 10, 8}, {1, 0, 99, 1, 8}, {1, 40, -3, 10, 0}};
  for (const Row& r : rows) {
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(2, 9);
    b.Data().m_PlacedCharacters[0].m_nParam40 = 10;  // max HP
    b.Data().m_PlacedCharacters[0].m_nParam41 = 8;   // max SP
    b.Data().Int(kStageHeroCarryOver) = r.carryOver;
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    SystemData.m_CarryOver.assign(kCarryPartCount, 0);
    SystemData.m_CarryOver[kCarryCounterA] = SystemData.m_CarryOver[kCarryCounterB] = 1;
    cHeroCarryValues values;
    values.nCounterA = r.keptHp;
    values.nCounterB = r.keptSp;
    SaveData.StoreHeroState(0, StageData.m_PlacedCharacters.At(0), values);
    s.Scene().SetStage(1, 0);
    EXPECT_EQ(s.Scene().Hero().m_nHp, r.hp) << r.carryOver << " " << r.keptHp;
    EXPECT_EQ(s.Scene().Hero().m_nSp, r.sp) << r.carryOver << " " << r.keptSp;
  }
}

// The tally of a stage that stores the hero keeps its HP and SP as the two
// carried counters.
TEST(StageObjects, TheTallyKeepsTheHerosHpAndSp) {
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(2, 9);
  b.Data().m_PlacedCharacters[0].m_nParam40 = 10;
  b.Data().m_PlacedCharacters[0].m_nParam41 = 8;
  b.Data().Int(kStageStoreHero) = 1;
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  SystemData.m_CarryOver.assign(kCarryPartCount, 0);
  SystemData.m_CarryOver[kCarryCounterA] = SystemData.m_CarryOver[kCarryCounterB] = 1;
  s.Scene().Hero().m_nHp = 4;
  s.Scene().Hero().m_nSp = 3;
  s.Scene().Tally();
  int32_t hp = -1, sp = -1;
  SaveData.RestoreHeroCounters(0, hp, sp);
  EXPECT_EQ(hp, 4);
  EXPECT_EQ(sp, 3);
}

// Entering the stage scene with rankings on reads the stage's ranking file:
// the place a clear takes is found against what the file holds.
TEST(StageObjects, TheRankingFileIsReadOnEntry) {
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(2, 9);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  const std::string path = MakeRankingFileName(kPlayFree, StageData.m_strLoadedPath, 0, 0, 0);
  cRankingFile written;
  written.List(0).InsertScore("top", 5000);
  ASSERT_TRUE(written.SaveFile(path));
  RankingFile = cRankingFile();
  bRankingOn = 1;
  s.Scene().ResetPlayCounters();
  EXPECT_EQ(RankingFile.List(0).m_Entries[0].m_nScore, 5000);
  EXPECT_EQ(RankingFile.List(0).FindRank(4000), 1) << "behind the entry read";
  bRankingOn = 0;
  RankingFile = cRankingFile();
}

// The summon command's options for characters: the place check (refused
// where a solid block takes every place tried, placed there without it) and
// the timed option (the character leaves after its time: tenths x 6 x the
// sub-steps).
TEST(StageObjects, SummonedCharactersFollowThePlaceCheckAndTimedOptions) {
  struct Row { int32_t placeCheck, timed, time; size_t added; int32_t countdown; };
  const Row rows[] = {{1, 0, 0, 0, 0}, {0, 0, 0, 1, kNoLifeCountdown}, {0, 1, 5, 1, 60}, {0, 1, -4, 1, 0}};
  for (const Row& r : rows) {
    StageBuilder b(20, 15);
    b.SpeedLevel(2).Floor(10, 0, 19).Hero(4, 9).Block(5, 9);
    cEdCharacter summoned;
    summoned.m_nControl = 1;
    summoned.m_nParam40 = 5;
    b.Data().m_PaletteCharacters = {cEdCharacter(), summoned};
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    RegisterProjectPalettes();
    cStageScene& scene = s.Scene();
    cHero& hero = scene.Hero();
    hero.m_nFacing = 1;
    cEdShot d = SummonRecord(1);
    d.m_f55 = static_cast<uint8_t>(r.placeCheck);
    d.m_f41 = static_cast<uint8_t>(r.timed);
    d.SetLifetime(r.time);
    const size_t before = scene.m_CharacterList.size();
    SummonCharacters(scene, hero, d);
    ASSERT_EQ(scene.m_CharacterList.size(), before + r.added) << r.placeCheck << " " << r.timed;
    if (r.added) {
      EXPECT_EQ(scene.m_CharacterList.back().m_nLifeCountdown, r.countdown) << r.time;
    }
  }
}

// Block summons: do-not-squeeze-characters takes back a block placed over
// an acting character (which still counts as squeezed); the
// summon-over-conditional-blocks rule lets a protected block keep its cell
// even while its appearance conditions do not hold.
TEST(StageObjects, BlockSummonsKeepCharactersFreeAndProtectedBlocks) {
  StageFlowsInstalled flows;
  struct Row { bool overCharacter; int32_t keepCharacters, overConditional; bool placed; };
  const Row rows[] = {{true, 1, 0, false}, {true, 0, 0, true}, {false, 0, 0, true}, {false, 0, 1, false}};
  for (const Row& r : rows) {
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(4, 9);
    if (r.overCharacter) {
      b.Character(5, 9);
    } else {
      // A protected block that shows only while stage variable 1 is 5.
      b.Block(5, 9);
      cEdBlock& guarded = b.Data().m_PlacedBlocks.back();
      guarded.m_nOption5 = 1;
      cCond wanted;
      wanted.m_nKind = 2;
      wanted.m_nVarNumber = 1;
      wanted.m_nConstant = 5;
      guarded.m_vConds = {wanted};
    }
    cEdBlock summonedBlock;
    summonedBlock.m_nGraphic = 7;
    summonedBlock.m_nOption7 = 1;  // solid
    b.Data().m_PaletteBlocks = {cEdBlock(), summonedBlock};
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    RegisterProjectPalettes();
    s.Frames(1);  // the character acts
    cStageScene& scene = s.Scene();
    scene.BlockMap().Rules().summonOverConditional = r.overConditional != 0;
    scene.Hero().m_nFacing = 1;
    cEdShot d = SummonRecord(1);
    d.m_f60 = static_cast<uint8_t>(r.keepCharacters);
    SummonBlocks(scene, scene.Hero(), d);
    const int32_t cell = scene.BlockMap().CellIndexAtDots((5 + kStageMarginBlocks) * 32 + 16,
                                                          (9 + kStageMarginBlocks) * 32 + 16);
    EXPECT_EQ(scene.BlockMap().Block(cell).m_nGraphic == 7, r.placed) << r.overCharacter << r.keepCharacters
                                                                       << r.overConditional;
    if (r.overCharacter) {
      EXPECT_EQ(scene.m_CharacterList.front().m_nStateCounter, 2);
    }
  }
}

// The life check hands on characters at 0 HP that are already dying (their
// defeat came from a hit): without death displays they go now; with them
// they stay for their display and sound the death sound, a character that
// was already dying as well as one that falls now.
TEST(StageObjects, TheLifeCheckHandsOnCharactersAlreadyDying) {
  struct Row { int32_t deathDisplays; bool dying; size_t left; long deathSounds; };
  const Row rows[] = {{0, true, 0, 0}, {1, true, 1, 1}, {1, false, 1, 1}, {0, false, 0, 0}};
  for (const Row& r : rows) {
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(2, 9).Character(12, 9);
    b.Data().m_PlacedCharacters[0].m_nParam40 = 10;
    b.Data().m_PlacedCharacters[1].m_nParam40 = 5;
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    s.System().SetNum(ProjectRuleRow(kRuleDeathDisplays).field, r.deathDisplays);
    cStageScene& scene = s.Scene();
    cStageCharacter& c = scene.m_CharacterList.front();
    c.m_nHp = 0;
    c.m_bDying = r.dying ? 1 : 0;
    EXPECT_EQ(scene.CheckLifePoints(), 0);
    scene.FlushRemovals();
    EXPECT_EQ(scene.m_CharacterList.size(), r.left) << r.deathDisplays << r.dying;
    EXPECT_EQ(std::count(s.Sounds().begin(), s.Sounds().end(), kSoundEnemyDeath), r.deathSounds)
        << r.deathDisplays << r.dying;
  }
}

// A removal mark belongs to the object marked: a copy of a marked character
// starts unmarked (and stays when the character it was copied from goes),
// assigning a character
// over a marked one leaves the mark, marking twice counts once, and the
// flush takes the marked objects out of the character list, their group's
// list and the item list, keeping the others in their order.
TEST(StageObjects, RemovalMarksStayWithTheObjectMarked) {
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(2, 9).Character(6, 9).Character(9, 9).Character(12, 9).Item(15, 9).Item(17, 9);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  ASSERT_EQ(scene.m_CharacterList.size(), 3u);
  ASSERT_EQ(scene.m_ItemList.size(), 2u);
  auto it = scene.m_CharacterList.begin();
  cStageCharacter& first = *it++;
  cStageCharacter& middle = *it++;
  cStageCharacter& last = *it;
  const int32_t firstId = first.m_nId, lastId = last.m_nId;

  const uint32_t before = scene.m_nRemovalCount;
  scene.RemoveCharacter(middle);
  scene.RemoveCharacter(middle);
  EXPECT_EQ(scene.m_nRemovalCount, before + 1) << "a second mark adds nothing";
  EXPECT_TRUE(scene.IsDoomed(middle));
  const cStageCharacter copy(middle);
  EXPECT_FALSE(scene.IsDoomed(copy)) << "a copy starts unmarked";
  first = middle;
  EXPECT_FALSE(scene.IsDoomed(first)) << "assignment keeps the target's own (absent) mark";
  first.m_nId = firstId;
  scene.RemoveItem(scene.m_ItemList.front());
  const int32_t keptItem = scene.m_ItemList.back().m_nId;

  size_t inGroups = 0;
  for (const auto& group : scene.m_CharacterGroups) inGroups += group.size();
  scene.FlushRemovals();
  std::vector<int32_t> ids;
  for (const cStageCharacter& c : scene.m_CharacterList) ids.push_back(c.m_nId);
  EXPECT_EQ(ids, (std::vector<int32_t>{firstId, lastId}));
  size_t inGroupsAfter = 0;
  for (const auto& group : scene.m_CharacterGroups) {
    inGroupsAfter += group.size();
    for (const cCharacter* c : group) EXPECT_FALSE(scene.IsDoomed(*c));
  }
  EXPECT_EQ(inGroupsAfter + 1, inGroups);
  ASSERT_EQ(scene.m_ItemList.size(), 1u);
  EXPECT_EQ(scene.m_ItemList.front().m_nId, keptItem);
  for (const cStageCharacter& c : scene.m_CharacterList) EXPECT_FALSE(scene.IsDoomed(c));
  EXPECT_EQ(scene.m_nRemovalCount, before + 2) << "the flush counts too";
}

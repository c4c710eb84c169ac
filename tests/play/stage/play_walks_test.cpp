// The walks over the stage's characters: which characters the look-ahead
// names ahead of a walk (the list itself for the near places, the scene's
// list-order vector for the far one) as the list grows during a walk; the
// scene's list-order vector as characters come and go; and the sub-step
// whose acting decisions and bookkeeping share one walk when no item has
// appearance conditions, against the separate walks.
#include <gtest/gtest.h>

#include <iterator>
#include <list>
#include <vector>

#include "data/conditions.h"
#include "play/objects/character_look_ahead.h"
#include "play/objects/hero.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"
#include "support/stage_builder.h"

namespace {

std::vector<cStageCharacter*> AddressesOf(std::list<cStageCharacter>& list) {
  std::vector<cStageCharacter*> order;
  for (cStageCharacter& c : list) order.push_back(&c);
  return order;
}

// Walks of lists of several lengths (shorter and longer than the near and
// far places), with characters appended at a place during the walk (as a
// summon does): each near place names the character that many places on in
// the list as it stands when the place was reached, or none past the end;
// the far place names the order vector's entry.
TEST(CharacterLookAhead, NamesTheCharactersAheadOfTheWalk) {
  struct Row {
    size_t count;
    size_t appendAt;  // index at which characters are appended (count: never)
    size_t appended;
  };
  const Row rows[] = {{0, 0, 0},  {1, 1, 0},  {2, 2, 0},  {5, 5, 0},   {10, 10, 0}, {11, 11, 0},
                      {17, 17, 0}, {40, 40, 0}, {3, 1, 2}, {12, 4, 3}, {30, 25, 10}, {30, 29, 1}};
  for (const Row& row : rows) {
    std::list<cStageCharacter> list(row.count);
    int32_t id = 0;
    for (cStageCharacter& c : list) c.m_nId = id++;
    const std::vector<cStageCharacter*> order = AddressesOf(list);
    cCharacterLookAhead ahead(list, order);
    size_t index = 0;
    for (cStageCharacter& c : list) {
      ahead.Next();
      if (index == row.appendAt)
        for (size_t k = 0; k < row.appended; ++k) list.emplace_back().m_nId = id++;
      EXPECT_EQ(c.m_nId, static_cast<int32_t>(index));
      for (int d = 1; d <= cCharacterLookAhead::kNear; ++d) {
        const cStageCharacter* near = ahead.Near(d);
        const size_t at = index + static_cast<size_t>(d);
        if (near) {
          EXPECT_EQ(near->m_nId, static_cast<int32_t>(at)) << row.count << " at " << index << " +" << d;
        } else {
          // Only past the list's end as the look-ahead last saw it.
          EXPECT_GE(at, row.count) << row.count << " at " << index << " +" << d;
        }
      }
      const size_t far = index + cCharacterLookAhead::kFar;
      EXPECT_EQ(ahead.Far(), far < order.size() ? order[far] : nullptr) << row.count << " at " << index;
      ++index;
    }
    EXPECT_EQ(index, row.count + row.appended);
  }
}

// A stale order vector (of another list) changes only what the far place
// names; the near places follow the walked list.
TEST(CharacterLookAhead, AStaleOrderLeavesTheNearPlacesAlone) {
  std::list<cStageCharacter> walked(20), other(30);
  int32_t id = 0;
  for (cStageCharacter& c : walked) c.m_nId = id++;
  const std::vector<cStageCharacter*> stale = AddressesOf(other);
  cCharacterLookAhead ahead(walked, stale);
  size_t index = 0;
  for (cStageCharacter& c : walked) {
    ahead.Next();
    EXPECT_EQ(c.m_nId, static_cast<int32_t>(index));
    if (const cStageCharacter* near = ahead.Near(1)) {
      EXPECT_EQ(near->m_nId, static_cast<int32_t>(index + 1));
    }
    const size_t far = index + cCharacterLookAhead::kFar;
    EXPECT_EQ(ahead.Far(), far < stale.size() ? stale[far] : nullptr);
    ++index;
  }
}

// The scene's order vector is the list's nodes in list order after the list
// grows, after a flush takes characters out (also one in the middle, the
// size and both ends unchanged), and after it is emptied and refilled.
TEST(CharacterLookAhead, TheSceneOrderFollowsTheCharacterList) {
  StageBuilder b(30, 15);
  b.Floor(10, 0, 29).Hero(2, 9).Character(6, 9).Character(9, 9).Character(12, 9).Character(15, 9);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  ASSERT_EQ(scene.m_CharacterList.size(), 4u);
  EXPECT_EQ(scene.CharacterOrder(), AddressesOf(scene.m_CharacterList));

  scene.m_CharacterList.emplace_back().m_nId = 1000;
  EXPECT_EQ(scene.CharacterOrder(), AddressesOf(scene.m_CharacterList));

  // Out of the middle, and one more added: same size, same first node.
  scene.RemoveCharacter(*std::next(scene.m_CharacterList.begin(), 2));
  scene.FlushRemovals();
  scene.m_CharacterList.emplace_back().m_nId = 1001;
  ASSERT_EQ(scene.m_CharacterList.size(), 5u);
  EXPECT_EQ(scene.CharacterOrder(), AddressesOf(scene.m_CharacterList));

  s.Frames(2);
  EXPECT_EQ(scene.CharacterOrder(), AddressesOf(scene.m_CharacterList));

  // A character that wakes a group joins (as from a summon) and goes: the
  // characters activate alone only while none is in the list.
  EXPECT_TRUE(scene.CharactersActivateAlone());
  cStageCharacter& waker = scene.m_CharacterList.emplace_back();
  waker.m_Definition.m_nParam51 = 1;
  EXPECT_FALSE(scene.CharactersActivateAlone());
  scene.RemoveCharacter(waker);
  scene.FlushRemovals();
  EXPECT_TRUE(scene.CharactersActivateAlone());
  scene.m_CharacterList.emplace_back().m_Definition.m_vConds = {cCond()};
  EXPECT_FALSE(scene.CharactersActivateAlone());
}

// What a sub-step leaves in each character that the activation and the
// bookkeeping decide.
struct cWalkState {
  int32_t id, present, onScreen, acting, hasActed, lifeCountdown, invincible, contactDown, pinned;
  double x, y, savedX, savedY;
  bool operator==(const cWalkState&) const = default;
};

std::vector<cWalkState> WalkStates(cStageScene& scene) {
  std::vector<cWalkState> states;
  for (const cStageCharacter& c : scene.m_CharacterList)
    states.push_back({c.m_nId, c.m_bPresent, c.m_bOnScreen, c.m_bActing, c.m_bHasActed, c.m_nLifeCountdown,
                      c.m_nInvincibleTimer, c.m_bContactDown, c.m_bPinnedX, c.m_dX, c.m_dY, c.m_dSavedX, c.m_dSavedY});
  return states;
}

// The same stage played with an item that has appearance conditions (the
// separate walks), without (one walk for the acting decisions and the
// bookkeeping; the block characters' walk passed over when there is none),
// and without but with a character that wakes a group no other character
// is in (the activation's own walk first; with no character like that, it
// joins the one walk): every character ends each frame the same, through
// life countdowns that remove characters, characters beyond the screen that
// do not act, and with or without a block character, over several
// sub-steps a frame, and as the view moves on.
TEST(StagePlayWalks, OneWalkForActingAndBookkeepingMatchesTheSeparateWalks) {
  struct Row {
    int32_t speedLevel;
    bool blockCharacter;
  };
  for (const Row row : {Row{1, false}, Row{3, false}, Row{1, true}, Row{3, true}}) {
    std::vector<std::vector<cWalkState>> frames[3];
    std::vector<size_t> counts[3];
    for (int variant = 0; variant < 3; ++variant) {
      const bool conditions = variant == 1, waker = variant == 2;
      StageBuilder b(60, 15);
      b.SpeedLevel(row.speedLevel).Floor(10, 0, 59).Hero(2, 9);
      for (int column : {5, 7, 9, 11, 13, 40, 50}) b.Character(column, 4);
      b.Item(55, 9);
      if (row.blockCharacter) b.Data().m_PlacedCharacters[3].m_nParam25 = 1;
      if (conditions) b.Data().m_PlacedItems[0].m_vConds = {cCond()};
      if (waker) {
        b.Data().m_PlacedCharacters[6].m_nParam51 = 1;  // the one at column 40
        b.Data().m_PlacedCharacters[6].m_nParam52 = 3;
      }
      StageSession s(b);
      ASSERT_TRUE(s.Loaded());
      cStageScene& scene = s.Scene();
      ASSERT_EQ(scene.ItemsTestNoConditions(), !conditions);
      ASSERT_EQ(scene.CharactersActivateAlone(), !waker);
      int32_t countdown = 2;
      for (cStageCharacter& c : scene.m_CharacterList) c.m_nLifeCountdown = countdown++;
      for (int frame = 0; frame < 8; ++frame) {
        if (frame == 3) {
          // The hero leaps on: the view follows, bringing the far
          // characters into it and leaving the near ones behind.
          cHero& hero = scene.Hero();
          hero.m_dX += 30 * 32;
          hero.m_dRight += 30 * 32;
          hero.OnMovedX();
        }
        s.Frames(1);
        frames[variant].push_back(WalkStates(scene));
        counts[variant].push_back(scene.m_CharacterList.size());
      }
    }
    EXPECT_LT(counts[0].back(), 7u) << "some life countdowns ran out";
    for (int variant : {1, 2}) {
      EXPECT_EQ(counts[0], counts[variant]) << row.speedLevel << row.blockCharacter << variant;
      EXPECT_TRUE(frames[0] == frames[variant]) << row.speedLevel << row.blockCharacter << variant;
    }
  }
}

}  // namespace

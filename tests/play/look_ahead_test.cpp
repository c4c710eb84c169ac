// The look-ahead of the character walks: which characters it names ahead of
// the walk (the list itself for the near places, the scene's list-order
// vector for the far one) as the list grows during a walk, and the scene's
// list-order vector as characters come and go.
#include <gtest/gtest.h>

#include <iterator>
#include <list>
#include <vector>

#include "play/character_look_ahead.h"
#include "play/stage_character.h"
#include "play/stage_scene.h"
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
}

}  // namespace

// Bringing the characters a walk will visit next into the caches while it
// works on the current one. With thousands of characters their objects lie
// a few kilobytes apart and no longer stay cached from one walk to the next;
// a walk that only follows the list's links waits for each next node in
// turn. A look-ahead takes the nodes' addresses from the scene's list-order
// vector (cStageScene::CharacterOrder) for the far places, whose lines it
// asks for without reading them, and follows the list itself a few places
// ahead for what must be read to find (a character's flows). It changes
// nothing the walk sees: it only asks the processor for lines.
//
// Game thread only; the list may grow at its end during the walk (a
// summon), which the walk and the near places see as they always do.
#pragma once

#include <array>
#include <cstddef>
#include <list>
#include <vector>

#include "base/prefetch.h"
#include "play/objects/stage_character.h"

class cCharacterLookAhead {
 public:
  // Places followed through the list (Near(1..kNear)).
  static constexpr int kNear = 10;
  // The place whose lines are asked for by address alone (Far()).
  static constexpr size_t kFar = 16;

  // `order`: the list's nodes in list order; a stale vector only makes the
  // far places miss (its entries are never read through).
  cCharacterLookAhead(std::list<cStageCharacter>& list, const std::vector<cStageCharacter*>& order)
      : m_End(list.end()), m_Order(order) {
    auto it = list.begin();
    for (int d = 0; d <= kNear; ++d) {
      m_Ring[static_cast<size_t>(d)] = it;
      if (it != m_End) ++it;
    }
  }

  // Moves to the next character of the walk. Call once for each character
  // the walk visits, before working on it (the first call moves to the first).
  void Next() {
    if (m_bStarted) {
      ++m_nIndex;
      const auto last = m_Ring[Slot(kNear - 1)];
      auto lead = last;
      if (lead != m_End) ++lead;
      m_Ring[Slot(kNear)] = lead;
    }
    m_bStarted = true;
  }

  // The character `d` (1..kNear) places after the current one, or null
  // after the list's end.
  cStageCharacter* Near(int d) const {
    const auto it = m_Ring[Slot(d)];
    return it == m_End ? nullptr : &*it;
  }

  // The address of the character kFar places after the current one in the
  // list-order vector (not to be read through), or null.
  const cStageCharacter* Far() const {
    const size_t at = m_nIndex + kFar;
    return at < m_Order.size() ? m_Order[at] : nullptr;
  }

 private:
  size_t Slot(int d) const { return (m_nIndex + static_cast<size_t>(d)) % (kNear + 1); }

  std::list<cStageCharacter>::iterator m_End;
  const std::vector<cStageCharacter*>& m_Order;
  std::array<std::list<cStageCharacter>::iterator, kNear + 1> m_Ring{};
  size_t m_nIndex = 0;
  bool m_bStarted = false;
};

// Asks for the line of the list node's links (just before the object).
inline void PrefetchListNode(const cStageCharacter* c) {
  PrefetchLine(reinterpret_cast<const char*>(c) - 2 * sizeof(void*));
}

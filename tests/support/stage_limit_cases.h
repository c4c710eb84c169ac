// The limits of what the game lays out for play, as cases at their edges:
// the last value a stage may have, and the first it may not. Every case is
// a stage the reader takes as it is (and a resave writes back byte for
// byte); the set-up's check (play/world/stage_limits.h) takes or refuses
// it, and the game, replays and `pelmora-tool check` apply that check.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "data/labels.h"
#include "data/stage_data.h"

struct StageLimitCase {
  const char* what;
  std::function<void(cStageData&)> change;
  const char* refusal;  // in the reason given; nullptr: the set-up takes it
};

// A playable stage of 40 x 15 blocks with its hero at (3, 4).
inline cStageData StageWithinLimits() {
  cStageData s;
  s.Int(kStageWidth) = 40;
  s.Int(kStageHeight) = 15;
  cEdCharacter hero;
  hero.m_nGraphic = 5;
  hero.m_nControl = 0;
  hero.m_nWord1 = 3;
  hero.m_nWord2 = 4;
  hero.m_nPlacedItem = -1;
  s.m_PlacedCharacters = {hero};
  return s;
}

inline std::vector<StageLimitCase> StageLimitCases() {
  const auto size = [](int32_t width, int32_t height) {
    return [=](cStageData& s) {
      s.Int(kStageWidth) = width;
      s.Int(kStageHeight) = height;
    };
  };
  const auto field = [](int k, int32_t value) { return [=](cStageData& s) { s.Int(k) = value; }; };
  // `n` placed characters in all (the hero and n - 1 others), or n items.
  const auto characters = [](size_t n) {
    return [=](cStageData& s) {
      cEdCharacter other = s.m_PlacedCharacters.at(0);
      other.m_nControl = 1;
      s.m_PlacedCharacters.resize(n, other);
    };
  };
  const auto items = [](size_t n) { return [=](cStageData& s) { s.m_PlacedItems.resize(n); }; };
  // One computer character placed with `extra` copies more, each of whose
  // `flows` flows is a loop that unrolls into 65,535 waits: each copy holds
  // a command state for each of them (about 4.7 MB a flow).
  const auto looping = [](uint8_t extra, size_t flows) {
    return [=](cStageData& s) {
      cEdCmd loop, wait;
      loop.m_nKind = kCmdLoop;
      loop.m_vParams = {65535, 1};
      wait.m_nKind = kCmdWait;
      wait.m_nDuration = 1;
      cEdFlow flow;
      flow.m_nTrigger = kTriggerOnlyByFlowControl;
      flow.m_vCmds = {loop, wait};
      cEdCharacter c = s.m_PlacedCharacters.at(0);
      c.m_nControl = 1;
      c.m_nParam7 = extra;
      c.m_vFlows = std::vector<cEdFlow>(flows, flow);
      s.m_PlacedCharacters.push_back(c);
    };
  };
  const auto gravity = [](double g) { return [=](cStageData& s) { s.Dbl(kStageGravity) = g; }; };
  constexpr int32_t kMax = INT32_MAX, kMin = INT32_MIN;
  return {
      {"as it is", [](cStageData&) {}, nullptr},
      // Sides: 1 to 32768 blocks each.
      {"1 x 1 blocks", size(1, 1), nullptr},
      {"32768 wide", size(32768, 256), nullptr},
      {"32768 high", size(256, 32768), nullptr},
      {"32769 wide", size(32769, 15), "its width (32769 blocks) is not 1 to 32768"},
      {"32769 high", size(40, 32769), "its height (32769 blocks) is not 1 to 32768"},
      {"0 wide", size(0, 15), "its width (0 blocks) is not 1 to 32768"},
      {"0 high", size(40, 0), "its height (0 blocks) is not 1 to 32768"},
      {"-1 wide", size(-1, 15), "its width (-1 blocks)"},
      {"widest word", size(kMax, 15), "its width (2147483647 blocks)"},
      {"lowest word wide", size(kMin, 15), "its width (-2147483648 blocks)"},
      {"highest word", size(40, kMax), "its height (2147483647 blocks)"},
      // The block map: rows of a power-of-two stride within 32-bit indexes,
      // four bytes a cell within the budget (a row of 65536 cells for a
      // stage 32768 wide: 4095 rows at most).
      {"3000 x 3000", size(3000, 3000), nullptr},
      {"32768 x 4075", size(32768, 4075), nullptr},
      {"32768 x 4076", size(32768, 4076), "its set-up would take 1025 MB, more than the 1024 MB a stage may take (block map 1025 MB;"},
      {"32768 x 32747", size(32768, 32747), "its set-up would take 8192 MB, more than the 1024 MB a stage may take (block map 8192 MB; 1 character"},
      {"32768 x 32748", size(32768, 32748), "its block map would be 2147483648 cells (32768 rows of 65536), more than its indexes reach (2147483647)"},
      {"32768 x 32768", size(32768, 32768), "its block map would be 2148794368 cells"},
      // Scroll ranges: no end below -32768; above the stage they are pulled in.
      {"first column -32768", field(kStageScrollLeft, -32768), nullptr},
      {"first column -32769", field(kStageScrollLeft, -32769), "the first column of its scroll range (-32769)"},
      {"last column -32769", field(kStageScrollRight, -32769), "the last column of its scroll range (-32769)"},
      {"first row -32769", field(kStageScrollTop, -32769), "the first row of its scroll range (-32769)"},
      {"last row lowest word", field(kStageScrollBottom, kMin), "the last row of its scroll range (-2147483648)"},
      {"last column highest word", field(kStageScrollRight, kMax), nullptr},
      // Placed characters and items: no count of their own, only memory.
      {"65537 characters", characters(65537), nullptr},
      {"100000 items", items(100000), nullptr},
      {"a looping flow in 100 copies", looping(99, 1), nullptr},
      {"a looping flow in 256 copies", looping(255, 1), "with 256 flow states and 16776960 command states"},
      // One character's flows alone past the budget: counting stops there.
      {"a character of 300 looping flows", looping(0, 300),
       "its set-up would take more than the 1024 MB a stage may take (counted before the flows of a character passed "
       "it: block map 1 MB; 1 character 1 MB"},
      // Gravity: any finite number.
      {"gravity 1e300", gravity(1e300), nullptr},
      {"gravity not a number", gravity(std::numeric_limits<double>::quiet_NaN()), "its gravity is not a finite number"},
      {"gravity infinite", gravity(INFINITY), "its gravity is not a finite number"},
      {"gravity -infinite", gravity(-INFINITY), "its gravity is not a finite number"},
  };
}

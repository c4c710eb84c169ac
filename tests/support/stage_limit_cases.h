// The limits of what a stage file may hold, as cases at their edges: the
// last value a stage may have, and the first it may not. The loader's tests
// and the inspection tool's run the same cases (what the game refuses, the
// tool refuses, saying why).
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "data/stage_data.h"

struct StageLimitCase {
  const char* what;
  std::function<void(cStageData&)> change;
  const char* refusal;  // in the reason given; nullptr: the stage loads
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
      // Area: 2^23 blocks.
      {"2^23 blocks", size(4096, 2048), nullptr},
      {"2^23 + 2048 blocks", size(4097, 2048), "it is 8390656 blocks (4097 x 2048), more than 8388608"},
      {"32768 x 257", size(32768, 257), "it is 8421376 blocks"},
      {"32768 x 32768", size(32768, 32768), "it is 1073741824 blocks"},
      // Scroll ranges: no end below -32768; above the stage they are pulled in.
      {"first column -32768", field(kStageScrollLeft, -32768), nullptr},
      {"first column -32769", field(kStageScrollLeft, -32769), "the first column of its scroll range (-32769)"},
      {"last column -32769", field(kStageScrollRight, -32769), "the last column of its scroll range (-32769)"},
      {"first row -32769", field(kStageScrollTop, -32769), "the first row of its scroll range (-32769)"},
      {"last row lowest word", field(kStageScrollBottom, kMin), "the last row of its scroll range (-2147483648)"},
      {"last column highest word", field(kStageScrollRight, kMax), nullptr},
      // Placed characters (the hero among them) and items: 65536 each.
      {"65536 characters", characters(65536), nullptr},
      {"65537 characters", characters(65537), "it places 65537 characters, more than 65536"},
      {"65536 items", items(65536), nullptr},
      {"65537 items", items(65537), "it places 65537 items, more than 65536"},
      // Gravity: any finite number.
      {"gravity 1e300", gravity(1e300), nullptr},
      {"gravity not a number", gravity(std::numeric_limits<double>::quiet_NaN()), "its gravity is not a finite number"},
      {"gravity infinite", gravity(INFINITY), "its gravity is not a finite number"},
      {"gravity -infinite", gravity(-INFINITY), "its gravity is not a finite number"},
  };
}

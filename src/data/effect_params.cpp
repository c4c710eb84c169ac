#include "data/effect_params.h"

#include <array>

#include "platform/text.h"

namespace {

struct Row {
  const char* label;  // UTF-8 in the source; null for an absent parameter
  int16_t minimum, maximum, defaultValue;
};

constexpr Row kNone{nullptr, 0, 0, 0};
constexpr const char* kTime = "実行時間(1/10s)";

// Graphic effects of characters, kinds 1..16, parameters 1..5.
constexpr Row kChara[kCharaEffectKinds][kEffectParams] = {
    // 1 burst
    {{kTime, 1, 9999, 5}, {"開始位置(dot)", 0, 999, 0}, {"終了位置(dot)", 0, 999, 32}, kNone, kNone},
    // 2, 3 split
    {{kTime, 1, 9999, 5}, {"開始位置(dot)", 0, 999, 0}, {"終了位置(dot)", 0, 999, 32}, {"分割数", 2, 16, 4}, kNone},
    {{kTime, 1, 9999, 5}, {"開始位置(dot)", 0, 999, 0}, {"終了位置(dot)", 0, 999, 32}, {"分割数", 2, 16, 4}, kNone},
    // 4, 5 waves
    {{kTime, 1, 9999, 5},
     {"開始幅(dot)", 0, 999, 0},
     {"終了幅(dot)", 0, 999, 32},
     {"波の数", 2, 16, 2},
     {"波の粗さ(dot)", 1, 4, 2}},
    {{kTime, 1, 9999, 5},
     {"開始幅(dot)", 0, 999, 0},
     {"終了幅(dot)", 0, 999, 32},
     {"波の数", 2, 16, 2},
     {"波の粗さ(dot)", 1, 4, 2}},
    // 6 blink
    {{kTime, 1, 9999, 10}, {"点滅間隔(1/60s)", 1, 9999, 2}, kNone, kNone, kNone},
    // 7, 8 rotation
    {{kTime, 1, 9999, 10}, {"開始角度", 0, 9999, 0}, {"終了角度", 0, 9999, 1440}, kNone, kNone},
    {{kTime, 1, 9999, 10}, {"開始角度", 0, 9999, 0}, {"終了角度", 0, 9999, 1440}, kNone, kNone},
    // 9 rotation in depth
    {{kTime, 1, 9999, 10}, {"開始位置(dot)", 0, 9999, 0}, {"終了位置(dot)", 0, 9999, 256}, kNone, kNone},
    // 10 circle
    {{kTime, 1, 9999, 5}, {"開始半径(dot)", 0, 32, 32}, {"終了半径(dot)", 0, 32, 0}, {"円の粗さ(dot)", 1, 4, 2}, kNone},
    // 11 zoom
    {{kTime, 1, 9999, 10}, {"開始幅(dot)", 0, 320, 32}, {"終了幅(dot)", 0, 320, 64}, kNone, kNone},
    // 12 lens
    {{kTime, 1, 9999, 10},
     {"開始距離", 0, 100, 100},
     {"終了距離", 0, 100, 5},
     {"ズレX(dot)", -16, 16, 0},
     {"ズレY(dot)", -16, 16, 0}},
    // 13 colour change
    {{kTime, 1, 9999, 10}, {"開始合成度", 1, 4, 1}, {"終了合成度", 1, 4, 1}, {"色", 16, 207, 16}, kNone},
    // 14 translucency
    {{kTime, 1, 9999, 10}, {"点滅間隔(1/60s)", 1, 9999, 9999}, kNone, kNone, kNone},
    // 15 mosaic
    {{kTime, 1, 9999, 10}, {"開始強度", 1, 16, 1}, {"終了強度", 1, 16, 8}, kNone, kNone},
    // 16 blur
    {{kTime, 1, 9999, 10}, {"開始強度", 1, 4, 1}, {"終了強度", 1, 4, 4}, kNone, kNone},
};

// Screen effects, kinds 1..13.
constexpr Row kScr[kScrEffectKinds][kEffectParams] = {
    // 1 move
    {{kTime, 1, 9999, 10},
     {"開始座標X(dot)", -640, 640, 0},
     {"開始座標Y(dot)", -480, 480, 0},
     {"終了座標X(dot)", -640, 640, 640},
     {"終了座標Y(dot)", -480, 480, 0}},
    // 2, 3 vibration
    {{kTime, 1, 9999, 10}, {"振動幅(dot)", 1, 640, 4}, {"振動回数", 1, 9999, 4}, kNone, kNone},
    {{kTime, 1, 9999, 10}, {"振動幅(dot)", 1, 480, 4}, {"振動回数", 1, 9999, 4}, kNone, kNone},
    // 4, 5 split
    {{kTime, 1, 9999, 10}, {"開始位置(dot)", 0, 640, 0}, {"終了位置(dot)", 0, 640, 640}, {"分割数", 2, 240, 15}, kNone},
    {{kTime, 1, 9999, 10}, {"開始位置(dot)", 0, 480, 0}, {"終了位置(dot)", 0, 480, 480}, {"分割数", 2, 320, 20}, kNone},
    // 6, 7 waves
    {{kTime, 1, 9999, 10},
     {"開始幅(dot)", 0, 640, 0},
     {"終了幅(dot)", 0, 640, 640},
     {"波の数", 2, 240, 4},
     {"波の粗さ(dot)", 1, 48, 8}},
    {{kTime, 1, 9999, 10},
     {"開始幅(dot)", 0, 480, 0},
     {"終了幅(dot)", 0, 480, 480},
     {"波の数", 2, 320, 4},
     {"波の粗さ(dot)", 1, 64, 10}},
    // 8 blink
    {{kTime, 1, 9999, 10}, {"点滅間隔(1/60s)", 1, 9999, 10}, kNone, kNone, kNone},
    // 9 rotation
    {{kTime, 1, 9999, 10}, {"開始角度", 0, 9999, 0}, {"終了角度", 0, 9999, 1440}, kNone, kNone},
    // 10 circle
    {{kTime, 1, 9999, 10},
     {"開始半径(dot)", 0, 640, 640},
     {"終了半径(dot)", 0, 640, 0},
     {"円の粗さ(dot)", 1, 48, 8},
     kNone},
    // 11 zoom
    {{kTime, 1, 9999, 10}, {"開始幅(dot)", 0, 6400, 640}, {"終了幅(dot)", 0, 6400, 1280}, kNone, kNone},
    // 12 lens
    {{kTime, 1, 9999, 10},
     {"開始距離", 0, 1500, 1500},
     {"終了距離", 0, 1500, 5},
     {"ズレX(dot)", -320, 320, 0},
     {"ズレY(dot)", -240, 240, 0}},
    // 13 mosaic
    {{kTime, 1, 9999, 10}, {"開始強度", 1, 240, 1}, {"終了強度", 1, 240, 60}, kNone, kNone},
};

template <int Kinds>
std::array<EffectParamEntry, Kinds * kEffectParams> Build(const Row (&rows)[Kinds][kEffectParams]) {
  std::array<EffectParamEntry, Kinds * kEffectParams> table;
  for (int k = 0; k < Kinds; ++k) {
    for (int p = 0; p < kEffectParams; ++p) {
      const Row& row = rows[k][p];
      EffectParamEntry& e = table[static_cast<size_t>(k * kEffectParams + p)];
      e.label = row.label ? plat::Sjis(row.label) : std::string();
      e.minimum = row.minimum;
      e.maximum = row.maximum;
      e.defaultValue = row.defaultValue;
    }
  }
  return table;
}

const EffectParamEntry& Empty() {
  static const EffectParamEntry empty;
  return empty;
}

}  // namespace

const EffectParamEntry& CharaEffectParamTable(int kind, int param) {
  static const auto table = Build(kChara);
  if (kind < 1 || kind > kCharaEffectKinds || param < 1 || param > kEffectParams) return Empty();
  return table[static_cast<size_t>((kind - 1) * kEffectParams + (param - 1))];
}

const EffectParamEntry& ScrEffectParamTable(int kind, int param) {
  static const auto table = Build(kScr);
  if (kind < 1 || kind > kScrEffectKinds || param < 1 || param > kEffectParams) return Empty();
  return table[static_cast<size_t>((kind - 1) * kEffectParams + (param - 1))];
}

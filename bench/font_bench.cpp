// The game's text as a player meets it: a frame of 2,000 characters of
// mixed Japanese text (kana, kanji, full-width and half-width letters and
// digits) in the middle font, in every mode and depth, with and without the
// glyph sheets (target: under 1 ms a frame); and making the game's three
// fonts with their sheets and digit strips at start-up (target: under 30 ms;
// the first creation of the process, which also starts fontconfig, is
// reported as first_ms).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>

#include "gfx/dd.h"
#include "gfx/game_fonts.h"
#include "platform/text.h"
#include "platform/window_host.h"

namespace {

bool FreshDisplay(uint32_t direct3D, int bpp) {
  plat::SetWindowHost(plat::MakeHeadlessWindowHost());
  plat::SetVerticalBlankWait(false);
  plat::DrawFaultInjection() = plat::DrawFaults{};
  plat::DeviceConfiguration() = plat::DeviceConfig{};
  DDResetForTest();
  if (!DDInit(direct3D, 0, 640, 480, bpp, 1, 0, 1, 60, 0, nullptr, nullptr, 0)) return false;
  for (int i = 0; i < 256; ++i) {
    const uint8_t v = static_cast<uint8_t>(bpp == 16 && !direct3D ? i >> 3 : i);
    DDState.DDPalette[i] = PALETTEENTRY{v, v, v, 0};
  }
  std::memcpy(DDState.DDPaletteWork, DDState.DDPalette, sizeof DDState.DDPalette);
  if (bpp != 8) DDSetTransmit(0, 0, 0);
  return true;
}

GameFontOptions Options(uint32_t direct3D, int32_t glyphSheets) {
  GameFontOptions o;
  o.nFontIndex = 59;  // "ＭＳ ゴシック"
  o.bDirect3D = direct3D;
  o.nD3DFontCache = glyphSheets;
  o.nDDFontCache = glyphSheets;
  return o;
}

// 40 characters a line: kanji outside the fixed set, kana, full-width and
// half-width letters, digits and half-width katakana.
// The first creation of the process (fontconfig starts then), in ms.
double g_firstCreationMs = -1;

bool CreateTimed(const GameFontOptions& options) {
  const auto t0 = std::chrono::steady_clock::now();
  const bool made = CreateGameFonts(options);
  if (g_firstCreationMs < 0)
    g_firstCreationMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  return made;
}

const std::string& Line(int i) {
  static const char* const kLines[] = {
      "冒険の始まりだ！ＨＰ１２０／ＭＰ３０ Lv.12 ｽﾃｰｼﾞ3-2 宝箱を開けた。",
      "敵が現れた：スライム×３　ゴールド+250G 経験値 1,024 ポイント獲得",
      "次のステージへ進みますか？　はい／いいえ Press Z key ﾀｲﾑ 03:21",
  };
  return plat::Sjis(kLines[i % 3]);
}

void BM_DrawMixedText2000(benchmark::State& state) {
  const uint32_t direct3D = static_cast<uint32_t>(state.range(0));
  const int bpp = static_cast<int>(state.range(1));
  const int32_t sheets = static_cast<int32_t>(state.range(2));
  if (!FreshDisplay(direct3D, bpp) || !CreateTimed(Options(direct3D, sheets))) {
    state.SkipWithError("display or fonts");
    return;
  }
  cFont& font = GameFonts[1];
  int characters = 0;
  for (int i = 0; i < 50; ++i) characters += static_cast<int>(font.MeasureText(Line(i).c_str()).cx / 16);
  for (auto _ : state) {
    for (int i = 0; i < 50; ++i) font.DrawText(DDBackBuffer(), 0, (i % 30) * 16, Line(i).c_str());
    benchmark::ClobberMemory();
  }
  state.counters["characters"] = characters;
  ReleaseGameFonts();
  DDResetForTest();
}
BENCHMARK(BM_DrawMixedText2000)
    ->ArgNames({"d3d", "bpp", "sheets"})
    ->Args({0, 8, 1})
    ->Args({0, 16, 1})
    ->Args({0, 32, 1})
    ->Args({0, 32, 0})
    ->Args({1, 16, 0})
    ->Args({1, 32, 0})
    ->Args({1, 32, 1})
    ->Unit(benchmark::kMillisecond);

void BM_CreateGameFonts(benchmark::State& state) {
  const uint32_t direct3D = static_cast<uint32_t>(state.range(0));
  const int bpp = static_cast<int>(state.range(1));
  const int32_t sheets = static_cast<int32_t>(state.range(2));
  if (!FreshDisplay(direct3D, bpp)) {
    state.SkipWithError("display");
    return;
  }
  state.counters["first_ms"] = g_firstCreationMs;
  for (auto _ : state) {
    if (!CreateTimed(Options(direct3D, sheets))) {
      state.SkipWithError("fonts");
      break;
    }
    ReleaseGameFonts();
  }
  DDResetForTest();
}
BENCHMARK(BM_CreateGameFonts)
    ->ArgNames({"d3d", "bpp", "sheets"})
    ->Args({0, 32, 1})
    ->Args({0, 16, 1})
    ->Args({1, 32, 0})
    ->Args({1, 32, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

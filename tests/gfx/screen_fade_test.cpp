// The screen's palette through the real game on the demo project: the
// first frames of the title and of a stage fading in with an 8-bit DirectDraw
// display, and one colour for a palette number (fills and text) in
// DirectDraw and Direct3D frames, whatever the palette picture's pixels hold.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "front/front_scenes.h"
#include "gfx/dd.h"
#include "platform/keys.h"
#include "platform/text.h"
#include "platform/window_host.h"
#include "scene/frame_trace.h"
#include "scene/scene.h"
#include "support/bmp_writer.h"
#include "support/harness.h"

namespace {

constexpr const char* kEightBit = "Direct3D=0\nWindowMode=0\nBpp=8\nShowFps=0\n";

uint32_t Channel(uint32_t argb, int shift) { return (argb >> shift) & 0xFF; }

// A fade in at the demo's fade speed (10 degrees a frame) from black: the
// picture's share of frame k is trunc(sin(10 (k - 1) degrees) x 256), each
// channel of the frame (channel x share) >> 8.
constexpr int kShares[10] = {0, 44, 87, 127, 164, 196, 221, 240, 252, 256};

// The frames of the first `count` frame steps, each taken on the game
// thread as it is presented (so that no step is missed however the threads
// are scheduled). The window may show a frame again (when it is first
// activated): a repeat of the same picture is not a step.
std::vector<plat::Frame> FirstFrames(GameHarness& game, int count) {
  // Shared with the observer, which the game thread may still be running
  // when this function has taken it away.
  struct Taken {
    std::mutex mutex;
    std::vector<plat::Frame> frames;
  };
  auto taken = std::make_shared<Taken>();
  SetFramePresentedObserver([taken, &game] {
    plat::Frame f;
    if (!game.LastFrame(f)) return;
    std::lock_guard lock(taken->mutex);
    if (taken->frames.empty() || taken->frames.back().pixels != f.pixels) taken->frames.push_back(std::move(f));
  });
  for (int i = 0; i < count + 4; ++i) {
    {
      std::lock_guard lock(taken->mutex);
      if (static_cast<int>(taken->frames.size()) >= count) break;
    }
    if (!game.StepFrames(1)) break;
  }
  SetFramePresentedObserver(nullptr);
  std::lock_guard lock(taken->mutex);
  std::vector<plat::Frame> frames = taken->frames;
  if (static_cast<int>(frames.size()) > count) frames.resize(static_cast<size_t>(count));
  return frames;
}

// Which share of kShares a frame shows, told by a dot that is white at the
// end of the fade (each share gives white another value); -1 for none.
int ShareOf(const plat::Frame& f, size_t white) {
  for (int k = 0; k < 10; ++k)
    if ((f.pixels.at(white) & 0xFF) == static_cast<uint32_t>((255 * kShares[k]) >> 8)) return k;
  return -1;
}

// The fade of `frames` (the first frames of a scene): the shares shown,
// frame by frame, in order from the start of the fade (the game thread may
// have shown its first frame while start-up handed over) to the whole
// picture, every one of them. Returns the index of the frame that ends the
// fade and the white dot used (or -1).
int ExpectFadeIn(const std::vector<plat::Frame>& frames, size_t& white) {
  EXPECT_GE(frames.size(), 10u);
  if (frames.size() < 10) return -1;
  const auto& after = frames.back().pixels;
  white = 0;
  while (white < after.size() && (after[white] & 0xFFFFFF) != 0xFFFFFF) ++white;
  EXPECT_LT(white, after.size()) << "a white dot on the screen";
  if (white >= after.size()) return -1;
  std::vector<int> shares;
  for (const plat::Frame& f : frames) shares.push_back(ShareOf(f, white));
  const int first = shares[0];
  EXPECT_TRUE(first == 0 || first == 1) << "the first frames show the start of the fade: " << first;
  for (int k = first; k < 10; ++k)
    EXPECT_EQ(shares.at(k - first), k) << "frame " << k - first + 1 << " shows share " << kShares[k];
  return 9 - first;
}

TEST(ScreenFadeTest, TheTitleFadesInThroughThePaletteAtEightBits) {
  GameHarness::Options options;
  options.iniLines = kEightBit;
  GameHarness game(options);
  ASSERT_TRUE(game.Start());
  const std::vector<plat::Frame> frames = FirstFrames(game, 11);
  EXPECT_EQ(SceneManager.m_nCurrent.load(), kSceneTitle);
  size_t white = 0;
  const int end = ExpectFadeIn(frames, white);
  EXPECT_GE(end, 0);
  // The title stands still while it fades: every dot of every frame is its
  // colour at the end of the fade times the frame's share.
  for (int n = 0; n < end; ++n) {
    const int share = kShares[ShareOf(frames[n], white)];
    size_t wrong = 0;
    for (size_t p = 0; p < frames[end].pixels.size(); ++p)
      for (int shift : {16, 8, 0})
        wrong += Channel(frames[n].pixels[p], shift) != (Channel(frames[end].pixels[p], shift) * share) >> 8;
    EXPECT_EQ(wrong, 0u) << "share " << share;
  }
  EXPECT_EQ(game.Close(), 0);
}

TEST(ScreenFadeTest, AStageFadesInThroughThePaletteAtEightBits) {
  GameHarness::Options options;
  options.iniLines = kEightBit;
  options.commandLine = plat::Sjis("data\\stg4\\demo.stg4_1");
  GameHarness game(options);
  ASSERT_TRUE(game.Start());
  const std::vector<plat::Frame> frames = FirstFrames(game, 11);
  EXPECT_EQ(SceneManager.m_nCurrent.load(), kSceneStage);
  size_t white = 0;
  EXPECT_GE(ExpectFadeIn(frames, white), 0);
  EXPECT_EQ(game.Close(), 0);
}

// ---- one colour per palette number ----

// Palette pictures another writer may save: the layout the game reads (16 x
// 24, transparent colour on top, the 16 x 16 grid of entries at rows 8..23)
// and a bare 16 x 16 grid. Entry 16 and entry 241 (the fonts' colour) are
// set apart from the rest.
enum class PaletteLayout { kGridBelowKey, kBareGrid };
constexpr uint32_t kEntry16 = 0x305070, kEntry241 = 0xF0E020;

std::vector<uint32_t> FixturePalette() {
  std::vector<uint32_t> table(256);
  for (uint32_t i = 0; i < 256; ++i) table[i] = ((i * 37) & 0xFF) << 16 | (255 - i) << 8 | ((i * 91 + 13) & 0xFF);
  table[0] = 0xFF00FF;
  table[16] = kEntry16;
  table[241] = kEntry241;
  return table;
}

std::string PalettePicture(PaletteLayout layout) {
  const int top = layout == PaletteLayout::kGridBelowKey ? 8 : 0;
  std::vector<uint32_t> indices(static_cast<size_t>(16) * (top + 16), 0);
  for (uint32_t e = 0; e < 256; ++e) indices[static_cast<size_t>(top + e / 16) * 16 + e % 16] = e;
  return testbmp::AsString(testbmp::Indexed8(16, top + 16, FixturePalette(), indices));
}

struct DisplayMode {
  const char* name;
  const char* ini;
};
constexpr DisplayMode kD3D32{"d3d32", "Direct3D=1\nWindowMode=0\nBpp=32\nShowFps=0\n"},
    kDD32{"dd32", "Direct3D=0\nWindowMode=0\nBpp=32\nShowFps=0\n"},
    kDD8{"dd8", "Direct3D=0\nWindowMode=0\nBpp=8\nShowFps=0\n"},
    kD3D16{"d3d16", "Direct3D=1\nWindowMode=0\nBpp=16\nShowFps=0\n"},
    kDD16{"dd16", "Direct3D=0\nWindowMode=0\nBpp=16\nShowFps=0\n"};

// The options screen (the whole screen filled with entry 16, its texts in
// entry 241) as the given mode shows it, with the palette picture replaced
// and a box picture all of the transparent colour (the panel's frame box
// then leaves the fill to be seen).
plat::Frame OptionsScreen(const DisplayMode& mode, PaletteLayout layout) {
  GameHarness::Options options;
  options.iniLines = mode.ini;
  GameHarness game(options);
  plat::Frame frame;
  if (!testing::Test::HasFailure()) {
    std::ofstream(game.PathOf("bmp/plt/Palette.bmp"), std::ios::binary | std::ios::trunc) << PalettePicture(layout);
    std::ofstream(game.PathOf("bmp/Window.bmp"), std::ios::binary | std::ios::trunc)
        << testbmp::AsString(testbmp::Indexed8(640, 480, FixturePalette(), std::vector<uint32_t>(640 * 480, 0)));
    EXPECT_TRUE(game.Start()) << mode.name;
    EXPECT_TRUE(game.StepFrames(14));
    auto tap = [&](int key) {
      game.PressKey(key);
      game.StepFrames(2);
      game.ReleaseKey(key);
      game.StepFrames(2);
    };
    for (int i = 0; i < 5; ++i) tap(plat::VK_DOWN);  // down to the options
    tap('Z');
    game.StepFrames(20);
    EXPECT_EQ(SceneManager.m_nCurrent.load(), kSceneOptions) << mode.name;
    EXPECT_TRUE(game.LastFrame(frame));
    EXPECT_EQ(game.Close(), 0);
  }
  return frame;
}

class PaletteColourTest : public ::testing::TestWithParam<PaletteLayout> {};

TEST_P(PaletteColourTest, FillsAndTextShowTheEntrysColourInEveryMode) {
  std::map<std::string, plat::Frame> frames;
  for (const DisplayMode& mode : {kD3D32, kDD32, kDD8, kD3D16, kDD16})
    frames[mode.name] = OptionsScreen(mode, GetParam());
  const auto& reference = frames["d3d32"].pixels;
  ASSERT_EQ(reference.size(), 640u * 480u);
  size_t fill = 0, text = 0;
  for (size_t p = 0; p < reference.size(); ++p) {
    const uint32_t rgb = reference[p] & 0xFFFFFF;
    if (rgb != kEntry16 && rgb != kEntry241) continue;
    (rgb == kEntry16 ? fill : text) += 1;
    for (const char* name : {"dd32", "dd8"}) ASSERT_EQ(frames[name].pixels.at(p) & 0xFFFFFF, rgb) << name << " " << p;
    // 16 bits: the same value in both back ends, one step of 5 or 6 bits
    // at most below the colour.
    const uint32_t d3d16 = frames["d3d16"].pixels.at(p) & 0xFFFFFF;
    ASSERT_EQ(frames["dd16"].pixels.at(p) & 0xFFFFFF, d3d16) << p;
    for (int shift : {16, 8, 0}) {
      ASSERT_LE(Channel(d3d16, shift), Channel(rgb, shift) + 1) << p;
      ASSERT_GE(Channel(d3d16, shift) + 8, Channel(rgb, shift)) << p;
    }
  }
  EXPECT_GT(fill, 200000u) << "the screen is filled with entry 16";
  EXPECT_GT(text, 500u) << "the texts are in entry 241";
}

INSTANTIATE_TEST_SUITE_P(Layouts, PaletteColourTest,
                         ::testing::Values(PaletteLayout::kGridBelowKey, PaletteLayout::kBareGrid),
                         [](const ::testing::TestParamInfo<PaletteLayout>& info) {
                           return std::string(info.param == PaletteLayout::kGridBelowKey ? "GridBelowKey"
                                                                                          : "BareGrid");
                         });

}  // namespace

// The demo's pictures where the game reads them: every cell that the menus,
// the world map, the rankings and the stage cut from the system picture and
// the HUD's icon picture holds a picture of its own (drawn, and not a piece
// of a larger one crossing the cell's edge); the gauges over characters sit
// in the rows the game reads for a picture of that height; the banner words
// are ringed in dark so that they read over any stage; the sky is dark
// under the result screen's last line; and the HUD's score icon is nothing
// like the gold coin.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/image_decode.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

class DemoPicturesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::make_unique<TempFolder>("demo-pictures");
    const std::string command = std::string(PELMORA_TOOL) + " make-demo '" + (*folder_ / "demo") + "' > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  static void TearDownTestSuite() { folder_.reset(); }

  // A picture of the demo (an 8-bit bitmap; index 0 is the transparent
  // colour).
  static plat::DecodedImage Picture(const std::string& name) {
    const std::string bytes = Slurp(*folder_ / ("demo/bmp/" + name));
    plat::DecodedImage image;
    std::string error;
    EXPECT_TRUE(plat::DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), image, error))
        << name << ": " << error;
    EXPECT_EQ(image.fileBitsPerPixel, 8) << name;
    return image;
  }

  static std::unique_ptr<TempFolder> folder_;
};
std::unique_ptr<TempFolder> DemoPicturesTest::folder_;

bool Drawn(const plat::DecodedImage& p, int x, int y) {
  return x >= 0 && y >= 0 && x < p.width && y < p.height && p.indices[static_cast<size_t>(y) * p.width + x] != 0;
}
uint32_t Colour(const plat::DecodedImage& p, int x, int y) { return p.argb[static_cast<size_t>(y) * p.width + x] & 0xFFFFFF; }
int Luminance(uint32_t rgb) { return ((rgb >> 16 & 255) * 3 + (rgb >> 8 & 255) * 6 + (rgb & 255)) / 10; }

struct Cell {
  const char* picture;
  const char* what;
  int x, y, w, h;
};

// The cells the game cuts, with the places that read them (the map's hero
// has two steps a facing: down and up at y 64, right and left at y 96).
constexpr Cell kCells[] = {
    {"Accessory.bmp", "the title's and the world-map menu's cursor", 0, 0, 32, 32},
    {"Accessory.bmp", "the small cursor of the options, the slots and the pause menu", 64, 0, 16, 16},
    {"Accessory.bmp", "the pointer at the row being edited or the slot chosen", 80, 0, 16, 16},
    {"Accessory.bmp", "the world select's clear sign", 96, 0, 32, 32},
    {"Accessory.bmp", "the life icon of the map and of the extra-life pop-up", 0, 48, 16, 16},
    {"Accessory.bmp", "the ranking's pointer at the new entry", 16, 48, 16, 16},
    {"Accessory.bmp", "the map's hero", 0, 64, 32, 32},      {"Accessory.bmp", "the map's hero", 32, 64, 32, 32},
    {"Accessory.bmp", "the map's hero", 64, 64, 32, 32},     {"Accessory.bmp", "the map's hero", 96, 64, 32, 32},
    {"Accessory.bmp", "the map's hero", 0, 96, 32, 32},      {"Accessory.bmp", "the map's hero", 32, 96, 32, 32},
    {"Accessory.bmp", "the map's hero", 64, 96, 32, 32},     {"Accessory.bmp", "the map's hero", 96, 96, 32, 32},
    {"Accessory.bmp", "the time digit 0", 0, 160, 32, 32},   {"Accessory.bmp", "the time digit 9", 288, 160, 32, 32},
    {"Mark.bmp", "the HUD's stage points", 0, 32, 16, 16},   {"Mark.bmp", "the HUD's score", 16, 32, 16, 16},
    {"Mark.bmp", "the HUD's HP", 32, 32, 16, 16},            {"Mark.bmp", "the HUD's SP", 48, 32, 16, 16},
    {"Mark.bmp", "the HUD's lives", 64, 32, 16, 16},
};

TEST_F(DemoPicturesTest, EveryCellTheGameCutsHoldsAPictureOfItsOwn) {
  for (const Cell& cell : kCells) {
    SCOPED_TRACE(std::string(cell.picture) + ": " + cell.what);
    const plat::DecodedImage p = Picture(cell.picture);
    ASSERT_LE(cell.x + cell.w, p.width);
    ASSERT_LE(cell.y + cell.h, p.height);
    int drawn = 0;
    for (int y = cell.y; y < cell.y + cell.h; ++y)
      for (int x = cell.x; x < cell.x + cell.w; ++x) drawn += Drawn(p, x, y);
    EXPECT_GE(drawn, cell.w * cell.h / 8) << "hardly anything drawn";
    // A drawn dot on an edge with a drawn dot just outside it is a picture
    // running over the edge, cut where the game cuts the cell.
    int crossing = 0;
    for (int y = cell.y; y < cell.y + cell.h; ++y)
      for (int x = cell.x; x < cell.x + cell.w; ++x)
        crossing += Drawn(p, x, y) && ((y == cell.y && Drawn(p, x, y - 1)) || (x == cell.x && Drawn(p, x - 1, y)) ||
                                       (y == cell.y + cell.h - 1 && Drawn(p, x, y + 1)) ||
                                       (x == cell.x + cell.w - 1 && Drawn(p, x + 1, y)));
    EXPECT_EQ(crossing, 0);
  }
}

// The character gauges are cut 2 dots high from rows 208, 210, ... when the
// system picture is more than 208 high (else from rows 128, 144, ..., where
// the time digits stand): frame, bar, low bar, loss and gain, 50 wide, for
// HP at x 0 and SP at x 64.
TEST_F(DemoPicturesTest, TheCharacterGaugesLieInTheThinRowsTheGameReads) {
  const plat::DecodedImage p = Picture("Accessory.bmp");
  ASSERT_GT(p.height, 208);
  for (int gauge : {0, 64}) {
    for (int y = 208; y < 218; ++y)  // each row of one colour all along
      for (int x = gauge; x < gauge + 50; ++x)
        EXPECT_TRUE(Drawn(p, x, y) && Colour(p, x, y) == Colour(p, gauge, y)) << gauge << ": " << x << ", " << y;
    // The bar that runs low is not the bar's own colour, nor is the frame.
    EXPECT_NE(Colour(p, gauge, 210), Colour(p, gauge, 212)) << gauge;
    EXPECT_NE(Colour(p, gauge, 208), Colour(p, gauge, 210)) << gauge;
  }
}

// Each banner strip: its word is there, and every drawn dot within two dots
// of the transparent colour is dark, so the word has a dark rim two dots
// deep over a pale sky or a dark hall alike.
TEST_F(DemoPicturesTest, TheBannerWordsHaveADarkRimTwoDotsDeep) {
  const plat::DecodedImage p = Picture("Word.bmp");
  struct Strip {
    const char* word;
    int x, y, w;
  };
  constexpr Strip kStrips[] = {{"STAGE", 0, 0, 128},  {"START", 160, 0, 80},    {"REPLAY", 0, 32, 128},
                               {"CLEAR!", 0, 64, 128}, {"GAME OVER", 0, 96, 144}, {"digits", 0, 128, 320}};
  for (const Strip& s : kStrips) {
    SCOPED_TRACE(s.word);
    int light = 0, paleRim = 0;
    for (int y = s.y; y < s.y + 32; ++y)
      for (int x = s.x; x < s.x + s.w; ++x) {
        if (!Drawn(p, x, y)) continue;
        const int l = Luminance(Colour(p, x, y));
        light += l >= 128;
        bool nearClear = false;
        for (int dy = -2; dy <= 2; ++dy)
          for (int dx = -2; dx <= 2; ++dx)
            if (std::abs(dx) + std::abs(dy) <= 2 && !Drawn(p, x + dx, y + dy)) nearClear = true;
        paleRim += nearClear && l >= 64;
      }
    EXPECT_GT(light, 40) << "the word is missing";
    EXPECT_EQ(paleRim, 0);
  }
}

// The result screen writes its last line (the ranking hint, in the white
// of the font, 16 dots high at y 456) straight over the stage; where a
// stage shows the sky alone behind its blocks (the tower, the UFO sky), the
// sky picture's last rows are under it: they are dark, so the white reads.
TEST_F(DemoPicturesTest, TheSkysLastRowsAreDarkUnderTheResultScreensWhiteLine) {
  const plat::DecodedImage sky = Picture("StageSky.bmp");
  ASSERT_EQ(std::pair(sky.width, sky.height), std::pair(640, 480));
  for (int y = 452; y < 476; ++y)
    for (int x = 0; x < 640; ++x) ASSERT_LT(Luminance(Colour(sky, x, y)), 96) << x << ", " << y;
}

// Hue in degrees of a colour, or -1 for a grey (saturation below 35 %).
double Hue(uint32_t rgb) {
  const double r = (rgb >> 16 & 255) / 255.0, g = (rgb >> 8 & 255) / 255.0, b = (rgb & 255) / 255.0;
  const double hi = std::max({r, g, b}), lo = std::min({r, g, b});
  if (hi <= 0 || (hi - lo) / hi < 0.35) return -1;
  const double d = hi - lo;
  const double h = hi == r ? std::fmod((g - b) / d + 6, 6) : hi == g ? (b - r) / d + 2 : (r - g) / d + 4;
  return h * 60;
}

// Not one dot of the HUD's score icon is of the gold coin's hue (graphic 6
// of the item picture, which adds to the score as beaten enemies do), so a
// score of ten does not read as ten coins.
TEST_F(DemoPicturesTest, TheHudsScoreIconIsNothingLikeTheGoldCoin) {
  const plat::DecodedImage marks = Picture("Mark.bmp"), items = Picture("Item.bmp");
  double sum = 0;
  int coloured = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 6 * 32; x < 7 * 32; ++x)
      if (Drawn(items, x, y) && Hue(Colour(items, x, y)) >= 0) sum += Hue(Colour(items, x, y)), ++coloured;
  ASSERT_GT(coloured, 100);
  const double coin = sum / coloured;
  for (int y = 32; y < 48; ++y)
    for (int x = 16; x < 32; ++x) {
      const double hue = Drawn(marks, x, y) ? Hue(Colour(marks, x, y)) : -1;
      EXPECT_TRUE(hue < 0 || std::abs(hue - coin) > 15) << x << ", " << y << ": hue " << hue << ", the coin's " << coin;
    }
}

}  // namespace

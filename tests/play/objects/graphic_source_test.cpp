// Where characters, blocks, items and shots take their pictures from, drawn
// in both back ends from sheets written in the layout a game ships: the
// block, character, item and shot sheets of the surface table and the
// special bitmaps of the database ("専用bmp", four surfaces an entry, cells of
// k x 32 dots). Every pixel of a test sheet is unique (red = x, green = y,
// blue = 16 + the high bits), so one pixel read back tells which dot of
// which sheet was drawn. The shot sheet has three columns of 30 graphics
// (96 x 480), and the last dot of each of its 16-dot cells is transparent;
// blocks, characters and items with a shot graphic draw from its copy at
// twice the size on the stage's tile work surfaces. Also: the character's
// fallback graphic, the anime-set graphic offsets, the colour pair of
// invincible characters, the enlarged rotation A, and the end of a defeat
// display.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "../../gfx/surface_pixels.h"
#include "data/database.h"
#include "data/settings.h"
#include "data/system_data.h"
#include "gfx/surface_table.h"
#include "play/objects/chara_effect.h"
#include "play/objects/character.h"
#include "play/objects/message_window.h"
#include "play/objects/stage_character.h"
#include "play/objects/stage_item.h"
#include "play/world/block_map.h"
#include "play/world/stage_draw.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"
#include "support/bmp_writer.h"
#include "support/display.h"
#include "support/game_data.h"
#include "support/project_switches.h"
#include "support/stage_builder.h"

namespace {

struct Mode {
  const char* name;
  uint32_t d3d;
  int bpp = 32;
};

// The dot (x, y) of every test sheet.
uint32_t Dot(int x, int y) {
  return uint32_t(x & 255) << 16 | uint32_t(y & 255) << 8 | uint32_t(16 + (x >> 8) + ((y >> 8) << 2));
}
// The dot (x, y) of a sheet mirrored cell by cell (cells `cell` dots wide).
uint32_t MirroredDot(int x, int y, int cell) { return Dot((x / cell + 1) * cell - x % cell - 1, y); }
// The test shot sheet: 30 graphics a column, three columns; the last dot of
// every 16-dot cell is transparent.
constexpr int kShotSheetWidth = 96, kShotSheetHeight = 480;
bool ShotDotKeyed(int x, int y) { return x % 16 == 15 && y % 16 == 15; }

class GraphicSourceTest : public ::testing::TestWithParam<Mode> {
 protected:
  void SetUp() override {
    WriteSheet("bmp/Block.bmp", 480, 64);
    WriteSheet("bmp/Character1.bmp", 480, 640);  // 15 graphics, 20 cells down
    WriteSheet("bmp/Item.bmp", 480, 128);        // two cells an item
    WriteSheet("bmp/Shot.bmp", kShotSheetWidth, kShotSheetHeight, ShotDotKeyed);
    WriteSheet("bmp/Exc1.bmp", 512, 64);   // cell scale 1: 16 cells of 32 a row
    WriteSheet("bmp/Exc2.bmp", 512, 128);  // cell scale 2: 8 cells of 64 a row
    ASSERT_TRUE(DDInit(GetParam().d3d, 0, 640, 480, 32, 0, 0, 1, 60, 0, GameSurfaces, GameSurfaceInfo,
                       kGameSurfaceCount));
    LinkSurfaceDescriptors();
    DDSetTransmit(255, 0, 255);
    // The sheets, the tile work surfaces (filled as a stage's first frame
    // fills them) and the work surface of effects on resized characters.
    const int sheets[] = {SURF_BLOCK,       SURF_BLOCK_SYSTEM, CharacterSurface(1), CharacterMirrorSurface(1),
                          SURF_SHOT,        SURF_SHOT_MIRROR,  SURF_ITEM,           SURF_ITEM_SYSTEM,
                          kShotWorkSurface, kShotWorkMirrorSurface, SURF_EMPTY_FIRST + 2};
    ASSERT_TRUE(DDLoadSurfaces(GameSurfaces, sheets, static_cast<int>(std::size(sheets))));
    scene_.ClearWorkSurfaces();
    Database.m_BmpCharaExcs.resize(3);
    Database.m_BmpCharaExcs[1].m_strText2 = "bmp\\Exc1.bmp";
    Database.m_BmpCharaExcs[1].m_nValue2 = 1;
    Database.m_BmpCharaExcs[2].m_strText2 = "bmp\\Exc2.bmp";
    Database.m_BmpCharaExcs[2].m_nValue2 = 2;
    g_lpStageScene = &scene_;
    ASSERT_EQ(LoadCharacterBitmaps(scene_.m_Layers.m_Bitmaps), 0);
  }
  void TearDown() override {
    g_lpStageScene = nullptr;
    ReleaseStageBitmaps(scene_.m_Layers.m_Bitmaps);
    for (DDSURFACEDATA& sd : GameSurfaces) DDReleaseSurface(&sd);
    g_CharacterSwitches = cCharacterSwitches{};
  }
  void WriteSheet(const std::string& path, int w, int h, bool (*keyed)(int, int) = nullptr) {
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) px[static_cast<size_t>(y) * w + x] = keyed && keyed(x, y) ? 0xFF00FFu : Dot(x, y);
    sandbox_.Write(path, testbmp::AsString(testbmp::Rgb24(w, h, px)));
  }
  static uint32_t At(int x, int y) { return Pixel(DDBackBuffer(), x, y) & 0xFFFFFF; }
  // The sheet dot that drawn dot i of a cell halved by a stretch shows: the
  // two back ends sample at different places (the left dot of each pair, or
  // under Direct3D's pixel centres the right one).
  static int Halved(int i) { return 2 * i + (GetParam().d3d ? 1 : 0); }
  static void Clear(uint32_t rgb = 0) {
    DDFillRectColor(DDBackBuffer(), 0, 0, 640, 480, (GetParam().d3d ? 0xFF000000u : 0) | rgb);
  }

  DisplaySandbox sandbox_;
  ScopedGameData data_;
  ScopedStageRunning stage_;
  cStageScene scene_;
};

// Each source's cell copied to (0, 0) at its size: the dot (3, 5) and the
// last dot of the cell read back as the sheet dots the source names.
TEST_P(GraphicSourceTest, EachSourceNamesItsCellOnTheSheetAGameShips) {
  cStageCharacter facingRight;
  facingRight.m_nFacing = 1;
  enum Seen { kPicture, kMirrored, kNothing };
  struct Case {
    const char* what;
    int32_t variant, kind, number, row, offset;
    const cStageObject* object;
    Seen seen;
    int sx, sy, scale;
  } const cases[] = {
      {"block 17", 0, kGraphicBlock, 17, 0, 0, nullptr, kPicture, 64, 32, 1},
      {"character 3, cell 3", 1, kGraphicCharacter, 3, 3, 0, nullptr, kPicture, 96, 96, 1},
      {"character facing right", 1, kGraphicCharacter, 3, 2, 1, &facingRight, kMirrored, 96, 96, 1},
      {"character cell 22: the mirrored sheet", 0, kGraphicCharacter, 3, 22, 0, nullptr, kMirrored, 96, 64, 1},
      {"character cell 40: beyond the sheet", 0, kGraphicCharacter, 3, 40, 0, nullptr, kPicture, 0, 0, 1},
      {"character 16: its sheet is missing", 1, kGraphicCharacter, 16, 0, 0, nullptr, kPicture, 0, 0, 1},
      {"item 16, second cell", 2, kGraphicItem, 16, 5, 1, nullptr, kPicture, 32, 96, 1},
      {"item beyond the sheet", 2, kGraphicItem, 31, 0, 0, nullptr, kNothing, 0, 0, 1},
      {"special 1, cell 18", 1, kGraphicSpecialBitmap, 1, 18, 0, nullptr, kPicture, 64, 32, 1},
      {"special 1, cell 16 + 2", 2, kGraphicSpecialBitmap, 1, 16, 2, nullptr, kPicture, 64, 32, 1},
      {"special 1 facing right", 1, kGraphicSpecialBitmap, 1, 18, 0, &facingRight, kMirrored, 64, 32, 1},
      {"special 2 at scale 2, cell 9", 0, kGraphicSpecialBitmap, 2, 9, 0, nullptr, kPicture, 64, 64, 2},
      {"special 1, cell 32: beyond the sheet", 0, kGraphicSpecialBitmap, 1, 32, 0, nullptr, kNothing, 0, 0, 1},
      {"special 0 is none", 0, kGraphicSpecialBitmap, 0, 0, 0, nullptr, kNothing, 0, 0, 1},
      {"special 3 is not in the list", 0, kGraphicSpecialBitmap, 3, 0, 0, nullptr, kNothing, 0, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    cGraphicSource source;
    source.Lookup(c.variant, c.kind, c.number, c.row, c.object, c.offset);
    DDSURFACEDATA* sheet = source.Surface();
    if (c.seen == kNothing) {
      EXPECT_EQ(sheet, nullptr);
      continue;
    }
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(std::tuple(source.x, source.y, source.cellScale), std::tuple(c.sx, c.sy, c.scale));
    const int size = source.CellSize();
    Clear();
    DDBlt(DDBackBuffer(), 0, 0, size, size, sheet, source.x, source.y, 1);
    for (auto [x, y] : {std::pair{3, 5}, std::pair{size - 1, size - 1}}) {
      const int sx = c.sx + x, sy = c.sy + y;
      const uint32_t want = c.seen == kPicture ? Dot(sx, sy) : MirroredDot(sx, sy, 32);
      EXPECT_EQ(At(x, y), want) << x << "," << y;
    }
  }
}

// A character drawn by the stage: from its special bitmap, stretched when
// its scale is not the picture's, and with the colour pair of an invincible
// character under Direct3D, plainly and through a graphic effect.
TEST_P(GraphicSourceTest, CharactersDrawTheirCellWithTheColourPairUnderDirect3D) {
  Database.m_CharaEffects.resize(2);
  Database.m_CharaEffects[1].m_nKind = 11;  // zoom from 32 to 32: the cell at its size
  Database.m_CharaEffects[1].m_nParams[0] = 100;
  Database.m_CharaEffects[1].m_nParams[1] = Database.m_CharaEffects[1].m_nParams[2] = 32;
  PrepareDatabaseTables();
  g_CharacterSwitches.paletteChange = 1;
  g_CharacterSwitches.colourPairs = {DDDRAWSTATE{}, DDDRAWSTATE{}, DDDRAWSTATE{0xFF00FF00u, 4}};  // green, modulate
  cEdCharacter d;
  d.m_nGraphicSource = kGraphicSpecialBitmap;
  d.m_nGraphic = 2;   // cells of 64 dots
  d.m_nParam36 = 1;   // scale 1: drawn at 32 x 32
  d.m_nParam35 = 1;   // invincible
  d.m_nParam32 = 2;   // palette colour index 2
  cStageCharacter c;
  c.Setup(1, d, nullptr, nullptr, 0, 0);
  c.m_rcScreen = cScreenRect{100, 100, 131, 131};
  c.m_nDrawWidth = c.m_nDrawHeight = 32;
  const bool d3d = GetParam().d3d != 0;
  for (int effect : {0, 1}) {
    SCOPED_TRACE(effect);
    if (effect) c.m_Effect.Start(1, kEffectForward, 0);
    Clear();
    c.DrawBody(DDBackBuffer(), 9, 0);  // cell 9: (64, 64) on the sheet, halved
    const uint32_t dot = Dot(64 + Halved(10), 64 + Halved(5));
    EXPECT_EQ(At(110, 105), d3d ? (dot & 0x00FF00u) : dot);
    EXPECT_EQ(At(132, 105), 0u);
  }
  int32_t colourFlag = -1;
  DDDRAWSTATE colour;
  c.GetGraphicNumber(colourFlag, colour);
  EXPECT_EQ(std::pair(colourFlag, colour.dwColor), d3d ? std::pair(1, 0xFF00FF00u) : std::pair(0, 0xFFFFFFFFu));
  // Without the palette change, or with an index the table lacks, no pair.
  for (auto [change, index] : {std::pair{0, 2}, std::pair{1, 3}, std::pair{1, 0}}) {
    g_CharacterSwitches.paletteChange = change;
    c.Definition().m_nParam32 = static_cast<uint8_t>(index);
    c.GetGraphicNumber(colourFlag, colour);
    EXPECT_EQ(colourFlag, 0) << change << " " << index;
  }
}

// The project's palette change (system number #36 on) gives each colour
// index the palette colour of that number, added to the picture: an
// invincible character of colour index 5 is drawn under Direct3D with
// palette colour 5 added to every dot (each channel held at 255); without
// the rule, without invincibility, or under DirectDraw it is drawn plainly.
TEST_P(GraphicSourceTest, InvincibleCharactersAddTheirPaletteColourWhenTheProjectAsks) {
  ScopedProjectSwitches switches;
  const PALETTEENTRY saved = DDState.DDPalette[5];
  DDState.DDPalette[5] = PALETTEENTRY{40, 200, 10, 0};
  const bool d3d = GetParam().d3d != 0;
  for (auto [rule, invincible] : {std::pair{1, 1}, {0, 1}, {1, 0}}) {
    SCOPED_TRACE(std::to_string(rule) + " " + std::to_string(invincible));
    cSystemData system;
    system.SetNum(36, rule);
    cBlockRules blockRules;
    ApplyProjectSwitches(system, cStageData(), blockRules);
    cEdCharacter d;
    d.m_nGraphicSource = kGraphicCharacter;
    d.m_nGraphic = 3;
    d.m_nParam35 = static_cast<uint8_t>(invincible);
    d.m_nParam32 = 5;  // colour index 5
    cStageCharacter c;
    c.Setup(1, d, nullptr, nullptr, 0, 0);
    c.m_rcScreen = cScreenRect{100, 100, 131, 131};
    c.m_nDrawWidth = c.m_nDrawHeight = 32;
    Clear();
    c.DrawBody(DDBackBuffer(), 0, 0);
    const uint32_t dot = Dot(96 + 3, 5);
    uint32_t want = dot;
    if (d3d && rule && invincible)
      want = std::min(255u, (dot >> 16) + 40) << 16 | std::min(255u, ((dot >> 8) & 0xFF) + 200) << 8 |
             std::min(255u, (dot & 0xFF) + 10);
    EXPECT_EQ(At(103, 105), want);
  }
  DDState.DDPalette[5] = saved;
}

// The sheets of the game table have variants 18 entries on (the character
// and shot sheets' system-memory copies): the lookup draws from them unless
// DirectDraw stretches in video memory ("DD_VideoStretch"); a sheet whose
// variant is not loaded, or that has none (the blocks), is drawn itself.
TEST_P(GraphicSourceTest, SheetsAreDrawnFromTheirVariantsUnlessDirectDrawStretchesInVideoMemory) {
  const int variants[] = {CharacterSystemSurface(1), CharacterMirrorSystemSurface(1)};
  ASSERT_TRUE(DDLoadSurfaces(GameSurfaces, variants, 2));
  const int32_t stretch = GameSettings.nDDVideoStretch;
  const bool d3d = GetParam().d3d != 0;
  cStageCharacter facingRight;
  facingRight.m_nFacing = 1;
  const struct {
    const char* what;
    int32_t kind, number;
    const cStageObject* object;
    int video, variant;
  } cases[] = {
      {"character", kGraphicCharacter, 3, nullptr, CharacterSurface(1), CharacterSystemSurface(1)},
      {"character facing right", kGraphicCharacter, 3, &facingRight, CharacterMirrorSurface(1),
       CharacterMirrorSystemSurface(1)},
      {"shot: the work surfaces have no variant", kGraphicShot, 2, nullptr, kShotWorkSurface, kShotWorkSurface},
      {"shot facing right", kGraphicShot, 2, &facingRight, kShotWorkMirrorSurface, kShotWorkMirrorSurface},
      {"block (no variant)", kGraphicBlock, 2, nullptr, SURF_BLOCK, SURF_BLOCK},
  };
  for (const auto& c : cases) {
    for (int32_t videoStretch : {0, 1}) {
      SCOPED_TRACE(std::string(c.what) + (videoStretch ? ", video stretch" : ""));
      GameSettings.nDDVideoStretch = videoStretch;
      cGraphicSource source;
      source.Lookup(1, c.kind, c.number, 0, c.object, 0);
      const int want = videoStretch && !d3d ? c.video : c.variant;
      EXPECT_EQ(source.Surface(), &GameSurfaces[want]);
      EXPECT_EQ(SelectVariantSurface(c.video, 0), c.video);
    }
  }
  GameSettings.nDDVideoStretch = stretch;
  for (int id : variants) DDReleaseSurface(&GameSurfaces[id]);
}

// The stage's two tile work surfaces hold the shot sheet and its mirrored
// twin at twice their size: each 16-dot cell of row r and column k of the
// sheet covers the 32-dot square at (32 k, 32 r); what the sheet does not
// reach stays cleared.
TEST_P(GraphicSourceTest, TheTileWorkSurfacesHoldTheShotSheetsAtTwiceTheirSize) {
  const int works[] = {kShotWorkSurface, kShotWorkMirrorSurface};
  for (int id : works) {
    ASSERT_EQ(std::pair(GameSurfaces[id].nWidth, GameSurfaces[id].nHeight), std::pair(256, 960));
    DDFillSurface(&GameSurfaces[id], 7);
  }
  scene_.ClearWorkSurfaces();
  const struct {
    int row, cell, i, j;
  } dots[] = {{0, 0, 0, 0}, {29, 5, 14, 13}, {3, 2, 5, 9}, {17, 5, 12, 1}};
  for (const auto& d : dots) {
    for (auto [di, dj] : {std::pair{0, 0}, std::pair{1, 1}}) {
      const int x = 32 * d.cell + 2 * d.i + di, y = 32 * d.row + 2 * d.j + dj;
      const int sx = 16 * d.cell + d.i, sy = 16 * d.row + d.j;
      EXPECT_EQ(Pixel(&GameSurfaces[works[0]], x, y) & 0xFFFFFF, Dot(sx, sy)) << x << "," << y;
      EXPECT_EQ(Pixel(&GameSurfaces[works[1]], x, y) & 0xFFFFFF, MirroredDot(sx, sy, 16)) << x << "," << y;
    }
  }
  // The test sheet is 96 dots wide: from x = 192 on the copies are empty.
  for (int id : works) EXPECT_EQ(Pixel(&GameSurfaces[id], 200, 40), Pixel(&GameSurfaces[id], 255, 959));
  EXPECT_NE(Pixel(&GameSurfaces[works[0]], 200, 40), Pixel(&GameSurfaces[works[0]], 40, 40));
}

// A block, a character, an item, a carried item's hint and a message
// window's icon whose picture is shot graphic g show the graphic's first
// 16-dot cell: at twice its size from the tile work surface (the mirrored
// one for a character facing right), and at its own size for the two
// small pictures. Graphic g is the cell at column g / 30 (32 dots a column)
// and row g mod 30 of the sheet; the cell's transparent dot lets the
// background through; a graphic beyond the sheet draws nothing.
TEST_P(GraphicSourceTest, ShotGraphicsDrawTheirCellOfTheShotSheet) {
  enum Drawer { kCharacter, kBlock, kItem, kItemHint, kIcon };
  struct Case {
    const char* what;
    Drawer drawer;
    int32_t graphic;
    int32_t facing;  // a character's facing; a block's graphic word
    bool mirrored, drawn;
  } const cases[] = {
      {"character 3", kCharacter, 3, 0, false, true},
      {"character 33", kCharacter, 33, 0, false, true},
      {"character 3 facing right", kCharacter, 3, 1, true, true},
      {"character 33 facing right", kCharacter, 33, 1, true, true},
      {"character 89: the sheet's last graphic", kCharacter, 89, 0, false, true},
      {"character 90: beyond the sheet", kCharacter, 90, 0, false, false},
      {"block 3", kBlock, 3, 0, false, true},
      {"block 33 of word 1: a block has no facing", kBlock, 33, 1, false, true},
      {"item 3", kItem, 3, 0, false, true},
      {"item 33", kItem, 33, 0, false, true},
      {"hint of item 3", kItemHint, 3, 0, false, true},
      {"hint of item 33", kItemHint, 33, 0, false, true},
      {"icon 33", kIcon, 33, 0, false, true},
      {"icon 95: beyond the sheet", kIcon, 95, 0, false, false},
  };
  constexpr int X = 192, Y = 96;  // where each draws its picture
  constexpr uint32_t kBackground = 0x203040;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Clear(kBackground);
    DDSURFACEDATA* back = DDBackBuffer();
    cEdItem itemDef;
    itemDef.m_nGraphicSource = kGraphicShot;
    itemDef.m_nGraphic = static_cast<uint16_t>(c.graphic);
    int size = 32;
    if (c.drawer == kCharacter || c.drawer == kItemHint) {
      cEdCharacter d;
      d.m_nGraphicSource = kGraphicShot;
      d.m_nGraphic = static_cast<uint16_t>(c.graphic);
      cStageCharacter ch;
      ch.Setup(1, d, nullptr, nullptr, 0, 0);
      ch.m_nFacing = c.facing;
      if (c.drawer == kCharacter) {
        ch.m_rcScreen = cScreenRect{X, Y, X + 31, Y + 31};
        ch.DrawBody(back, 0, 0);
      } else {
        // The hint: a quarter of the item's width left of the centre, half
        // its height above, on the 64th frame of its cycle.
        ch.m_Item.Setup(2, itemDef, 0);
        ch.m_bOnScreen = 1;
        ch.m_rcScreen = cScreenRect{X - 8, Y + 16, X + 23, Y + 47};
        ch.m_nHintCounter = 63;
        ch.DrawItemHint(back);
        size = 16;
      }
    } else if (c.drawer == kBlock) {
      cEdBlock block;
      block.m_nGraphicSource = kGraphicShot;
      block.m_nGraphic = static_cast<uint16_t>(c.graphic);
      block.m_nGraphicWord = static_cast<uint16_t>(c.facing);
      ASSERT_TRUE(scene_.m_BlockMap.Resize(5, 21, 16));
      ASSERT_TRUE(scene_.m_BlockMap.Place(X / 32, Y / 32, block));
      scene_.DrawBlockLayer(back, kLayerBehind);
      scene_.m_BlockMap.Release();
    } else if (c.drawer == kItem) {
      cStageItem item;
      item.Setup(1, itemDef, 0);
      item.m_rcScreen = cScreenRect{X, Y, X + 31, Y + 31};
      item.Draw(back, 0);
    } else {
      cMessageSettings icon;
      icon.style = kMessageIcon;
      icon.iconKind = kGraphicShot;
      icon.iconNumber = c.graphic;
      icon.displayMode = kMessageTimed;
      icon.remainingFrames = kMessagePopUpFrames;  // not risen yet
      cMessageWindow window(icon);
      window.Draw(back, X, Y);
      size = 16;
    }
    // Dots of the picture (the last one, and for the mirrored cell the
    // bottom-left one, is the cell's transparent dot), then its two
    // neighbours outside it.
    const int last = size - 1;
    for (auto [i, j] : {std::pair{0, 0}, std::pair{5, 9}, std::pair{last - 12, 2}, std::pair{last, last},
                        std::pair{0, last}, std::pair{last - 1, last - 2}}) {
      const int scale = size / 16;  // picture dots a sheet dot covers
      const int k = i / scale;
      const int sx = 32 * (c.graphic / 30) + (c.mirrored ? 15 - k : k), sy = 16 * (c.graphic % 30) + j / scale;
      const uint32_t want = !c.drawn || ShotDotKeyed(sx, sy) ? kBackground : Dot(sx, sy);
      EXPECT_EQ(At(X + i, Y + j), want) << i << "," << j;
    }
    EXPECT_EQ(std::pair(At(X + size, Y), At(X, Y + size)), std::pair(kBackground, kBackground));
  }
}

// Items draw from their own graphic source: the sub-number picks the cell
// of a special bitmap and the item animation steps on from it; a special
// bitmap made for the item's scale is copied dot for dot, otherwise the cell
// is stretched.
TEST_P(GraphicSourceTest, ItemsDrawFromTheirSourceAtTheirSubNumberAndScale) {
  struct Case {
    const char* what;
    uint8_t kind;
    uint16_t number, sub;
    int8_t scale;
    int x, y;        // a drawn dot
    int sx, sy;      // the sheet dot it shows
  } const cases[] = {
      {"item sheet: the sub-number counts nothing", kGraphicItem, 16, 7, 1, 3, 5, 32 + 3, 64 + 5},
      {"special 1 at sub-number 3", kGraphicSpecialBitmap, 1, 3, 1, 3, 5, 96 + 3, 5},
      {"special 2 at scale 2: copied", kGraphicSpecialBitmap, 2, 1, 2, 41, 43, 64 + 41, 43},
      {"special 2 at scale 1: halved", kGraphicSpecialBitmap, 2, 1, 1, 10, 11, 64 + Halved(10), Halved(11)},
      {"special 1 at scale 2: doubled", kGraphicSpecialBitmap, 1, 0, 2, 41, 43, 20, 21},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    cEdItem d;
    d.m_nGraphicSource = c.kind;
    d.m_nGraphic = c.number;
    d.m_nGraphicWord = c.sub;
    d.m_nParam17 = static_cast<uint8_t>(c.scale);
    cStageItem item;
    item.Setup(1, d, 0);
    item.m_rcScreen = cScreenRect{200, 200, 200 + item.m_nDrawWidth - 1, 200 + item.m_nDrawHeight - 1};
    Clear();
    item.Draw(DDBackBuffer(), 0);  // the animation's first cell, 0
    EXPECT_EQ(At(200 + c.x, 200 + c.y), Dot(c.sx, c.sy));
  }
  // The second animation cell of a special-bitmap item is the next cell.
  cEdItem d;
  d.m_nGraphicSource = kGraphicSpecialBitmap;
  d.m_nGraphic = 1;
  d.m_nGraphicWord = 3;
  cStageItem item;
  item.Setup(1, d, 0);
  item.m_rcScreen = cScreenRect{200, 200, 231, 231};
  int drawn = 0;
  while (item.m_AnimePlayer.Step() == 0 && ++drawn < 100) {
  }
  Clear();
  item.Draw(DDBackBuffer(), 1);
  EXPECT_EQ(At(203, 205), Dot(128 + 3, 5)) << drawn;
}

// The anime set's graphic offsets count for the options that are on; a set
// without the numbers (a new project's four animations) adds nothing.
TEST_P(GraphicSourceTest, AnimeSetOffsetsAddUpForTheOptionsThatAreOn) {
  Database.m_AnimeSets.resize(2);
  cAnimeSetRecord& set = Database.m_AnimeSets[1];
  const int32_t offsets[kAnimeSetOffsetCount] = {100, 200, 400};
  for (int i = 0; i < kAnimeSetOffsetCount; ++i) {
    const cAnimeSetOffsetSource& source = kAnimeSetGraphicOffsets[i];
    if (source.anime == kOffsetOfSet) {
      set.*source.setField = offsets[i];
    } else {
      if (set.m_Animes.size() <= static_cast<size_t>(source.anime)) set.m_Animes.resize(source.anime + 1u);
      set.m_Animes[static_cast<size_t>(source.anime)].*source.animeField = static_cast<int16_t>(offsets[i]);
    }
  }
  cEdCharacter d;
  d.m_nGraphic = 5;
  d.m_nAnimeSet = 1;
  cStageCharacter c;
  c.Setup(1, d, nullptr, nullptr, 0, 0);
  int32_t colourFlag = 0;
  DDDRAWSTATE colour;
  // Free vertical (any mode), whole cell, invincible (either kind).
  for (int mask = 0; mask < 8; ++mask) {
    cEdCharacter& def = c.Definition();
    def.m_nParam33 = mask & 1 ? 2 : 0;
    def.m_nParam6 = mask & 2 ? 1 : 0;
    def.m_nParam35 = mask & 4 ? 2 : 0;
    int32_t want = 5;
    for (int i = 0; i < kAnimeSetOffsetCount; ++i)
      if ((def.*kAnimeSetGraphicOffsets[i].option)() != 0) want += offsets[i];
    EXPECT_EQ(c.GetGraphicNumber(colourFlag, colour), want) << mask;
    EXPECT_EQ(want, 5 + (mask & 1) * 100 + (mask & 2) * 100 + (mask & 4) * 100) << "each option has its own number";
  }
  c.Definition().m_nAnimeSet = 0;  // a new set
  EXPECT_EQ(c.GetGraphicNumber(colourFlag, colour), 5);
  c.Definition().m_nAnimeSet = 9;  // beyond the list: set 0
  EXPECT_EQ(c.GetGraphicNumber(colourFlag, colour), 5);
}

// Rotation A of an enlarged character turns the cell at its size on the
// sheet, in a square of side trunc(32 x sqrt 2) = 45, then stretches that
// onto trunc(64 x sqrt 2) = 90 dots centred on the character: the 32-dot
// cell lands on dots 99..162 of a character drawn at 100..163, one dot left
// of where rotation B (which turns the enlarged picture) puts it. Under
// Direct3D rotation A is rotation B.
TEST_P(GraphicSourceTest, RotationATurnsAnEnlargedCellAtSheetSize) {
  Database.m_CharaEffects.resize(4);
  const int32_t defs[3][3] = {{7, 0, 0}, {8, 0, 0}, {7, 90, 90}};
  for (int i = 0; i < 3; ++i) {
    Database.m_CharaEffects[i + 1].m_nKind = defs[i][0];
    Database.m_CharaEffects[i + 1].m_nParams[0] = 100;
    Database.m_CharaEffects[i + 1].m_nParams[1] = defs[i][1];
    Database.m_CharaEffects[i + 1].m_nParams[2] = defs[i][2];
  }
  PrepareDatabaseTables();
  // Palette 0, the colour the work surface is cleared to, is the
  // transparent colour, as in a game.
  DDState.DDPalette[0] = PALETTEENTRY{255, 0, 255, 0};
  DDSURFACEDATA cell, work;
  const uint32_t left = 0xC00000u, right = 0x0000C0u;
  ASSERT_TRUE(DDCreateSurface(&cell, 32, 32, 1, 1, DTMEMORYTYPE_SYSTEM, 0, 0));
  ASSERT_TRUE(DDCreateSurface(&work, 256, 256, 1, 1, DTMEMORYTYPE_SYSTEM, 0, 0));
  const uint32_t alpha = GetParam().d3d ? 0xFF000000u : 0;
  DDFillRectColor(&cell, 0, 0, 16, 32, alpha | left);
  DDFillRectColor(&cell, 16, 0, 16, 32, alpha | right);
  const cEffectDraw draw{.sheet = &cell, .x = 100, .y = 100, .w = 64, .h = 64, .work = &work, .colour = {}};
  const bool d3d = GetParam().d3d != 0;
  auto drawn = [&](int n) {
    cGraphicEffectSlot slot;
    slot.Start(n, kEffectForward, 0);
    Clear();
    DrawGraphicEffect(slot, DDBackBuffer(), draw, true, true);
  };
  drawn(1);
  EXPECT_EQ(std::tuple(At(99, 130), At(100, 130), At(162, 130), At(163, 130)),
            d3d ? std::tuple(0u, left, right, right) : std::tuple(left, left, right, 0u));
  EXPECT_EQ(std::pair(At(130, 99), At(130, 163)), d3d ? std::pair(0u, left) : std::pair(left, 0u));
  drawn(2);
  EXPECT_EQ(std::tuple(At(99, 130), At(100, 130), At(163, 130)), std::tuple(0u, left, right));
  // A quarter turn: the halves lie above and below each other.
  drawn(3);
  EXPECT_NE(At(131, 110), At(131, 152));
  EXPECT_EQ(At(110, 131) == left || At(110, 131) == right, true);
  EXPECT_EQ(At(110, 110), At(152, 110));
  for (DDSURFACEDATA* sd : {&cell, &work}) DDReleaseSurface(sd);
}

// The end of a defeat display: a running death effect is drawn to its end;
// then the character stays for the stage's display time, or goes at once
// when it vanishes at once. Still frames count nothing.
TEST_P(GraphicSourceTest, DefeatDisplaysEndByEffectDisplayTimeOrAtOnce) {
  Database.m_CharaEffects.resize(2);
  Database.m_CharaEffects[1].m_nKind = 1;  // a burst of 5 tenths: its 31st step ends it
  Database.m_CharaEffects[1].m_nParams[0] = 5;
  Database.m_CharaEffects[1].m_nParams[2] = 32;
  PrepareDatabaseTables();
  struct Case {
    int32_t effect, vanish, frames;
    int ending;  // the call of DrawDefeated that reports the end (after 50 still ones)
  } const cases[] = {
      {0, 0, 60, 61}, {0, 0, 10, 11}, {0, 0, 0, 1}, {0, 1, 60, 0},
      {1, 0, 10, 42}, {1, 0, 0, 32},  {1, 1, 60, 31},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.effect << " " << k.vanish << " " << k.frames);
    g_CharacterSwitches.vanishAtOnce = k.vanish;
    g_CharacterSwitches.defeatDisplayFrames = k.frames;
    cStageCharacter c;
    c.Setup(1, cEdCharacter{}, nullptr, nullptr, 0, 0);
    c.m_rcScreen = cScreenRect{100, 100, 131, 131};
    c.m_bDying = 1;
    if (k.effect) c.m_Effect.Start(k.effect, 0, 0);
    // Still frames hold the display, except that a character that vanishes
    // at once and has no effect is gone on the first call.
    int stillEnd = 0;
    for (int still = 1; still <= 50 && !stillEnd; ++still)
      if (c.DrawDefeated(DDBackBuffer(), 1)) stillEnd = still;
    EXPECT_EQ(stillEnd, k.effect == 0 && k.vanish ? 1 : 0);
    if (stillEnd) continue;
    int ending = 0;
    for (int call = 1; call <= 200 && !ending; ++call)
      if (c.DrawDefeated(DDBackBuffer(), 0)) ending = call;
    EXPECT_EQ(ending, k.ending);
  }
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, GraphicSourceTest, ::testing::Values(Mode{"DD32", 0}, Mode{"D3D32", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// The tile work surfaces in every display mode: the stage's first frame
// fills them (the entry into the stage asks for it), and so does the first
// frame after the display lost them: a Direct3D device reset makes them
// again, empty and flagged lost; DirectDraw keeps them in system memory and
// brings the sheets back from their files. A character with shot graphic
// 33 then shows, dot for dot, the graphic's cell of the sheet as the same
// display draws it (turned round when it faces right). The palette keeps
// dots 8 apart across and 16 apart down distinct at 8 bits.
class TileWorkSurfaceTest : public ::testing::TestWithParam<Mode> {
 protected:
  void SetUp() override {
    std::vector<uint32_t> px;
    for (int y = 0; y < kShotSheetHeight; ++y)
      for (int x = 0; x < kShotSheetWidth; ++x) px.push_back(Dot(x, y));
    sandbox_.Write("bmp/Shot.bmp", testbmp::AsString(testbmp::Rgb24(kShotSheetWidth, kShotSheetHeight, px)));
    ASSERT_TRUE(DDInit(GetParam().d3d, 0, 640, 480, GetParam().bpp, 0, 0, 1, 60, 0, GameSurfaces, GameSurfaceInfo,
                       kGameSurfaceCount));
    for (int i = 0; i < 256; ++i)
      DDState.DDPalette[i] = PALETTEENTRY{uint8_t(i % 16 * 8), uint8_t(i / 16 * 16), 16, 0};
    LinkSurfaceDescriptors();
    DDSetTransmit(255, 0, 255);
    const int surfaces[] = {SURF_SHOT, SURF_SHOT_MIRROR, kShotWorkSurface, kShotWorkMirrorSurface};
    ASSERT_TRUE(DDLoadSurfaces(GameSurfaces, surfaces, 4));
    g_lpStageScene = &scene_;
  }
  void TearDown() override {
    g_lpStageScene = nullptr;
    for (DDSURFACEDATA& sd : GameSurfaces) DDReleaseSurface(&sd);
  }
  // The dots of the character's cell that differ from the sheet's cell of
  // graphic 33 drawn beside it (turned round for `mirrored`).
  int Mismatches(cStageCharacter& c, bool mirrored) {
    DDSURFACEDATA* back = DDBackBuffer();
    DDFillRect(back, 0, 0, 640, 480, 5);
    DDBlt(back, 0, 0, kShotSheetWidth, kShotSheetHeight, &GameSurfaces[SURF_SHOT], 0, 0, 1);
    c.DrawBody(back, 0, 0);
    int differ = 0;
    for (int j = 0; j < 32; ++j)
      for (int i = 0; i < 32; ++i)
        differ += Pixel(back, 300 + i, 200 + j) != Pixel(back, 32 + (mirrored ? 15 - i / 2 : i / 2), 48 + j / 2);
    return differ;
  }

  DisplaySandbox sandbox_;
  ScopedGameData data_;
  ScopedStageRunning stage_;
  cStageScene scene_;
};

TEST_P(TileWorkSurfaceTest, AreFilledAtTheStageStartAndAfterTheDisplayLostThem) {
  cEdCharacter d;
  d.m_nGraphicSource = kGraphicShot;
  d.m_nGraphic = 33;
  cStageCharacter c;
  c.Setup(1, d, nullptr, nullptr, 0, 0);
  c.m_rcScreen = cScreenRect{300, 200, 331, 231};
  scene_.m_bWorkSurfaceDirty[0] = scene_.m_bWorkSurfaceDirty[1] = 1;
  scene_.DrawFrame(1, 0, 0, 0);
  EXPECT_EQ(std::pair(scene_.m_bWorkSurfaceDirty[0], scene_.m_bWorkSurfaceDirty[1]), std::pair(0, 0));
  for (int facing : {0, 1}) {
    c.m_nFacing = facing;
    EXPECT_EQ(Mismatches(c, facing), 0) << "facing " << facing;
    EXPECT_GT(Mismatches(c, !facing), 0) << "facing " << facing;
  }
  DDSURFACEDATA* work = &GameSurfaces[kShotWorkSurface];
  if (GetParam().d3d) {
    DDState.lpDevice->SimulateDeviceLoss();
    ASSERT_TRUE(DDRestoreSurface());
    EXPECT_EQ(work->bLost, 1u);
  } else {
    DDState.lpDD->SimulateSurfaceLoss();
    ASSERT_TRUE(DDRestore());
  }
  c.m_nFacing = 0;
  scene_.DrawFrame(1, 0, 0, 0);
  EXPECT_EQ(work->bLost, 0u);
  EXPECT_EQ(Mismatches(c, false), 0) << "after the loss";
}

INSTANTIATE_TEST_SUITE_P(EveryMode, TileWorkSurfaceTest,
                         ::testing::Values(Mode{"DD8", 0, 8}, Mode{"DD16", 0, 16}, Mode{"DD32", 0, 32},
                                           Mode{"D3D16", 1, 16}, Mode{"D3D32", 1, 32}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// The game's surface table: its rows checked by the rules the sheets follow
// (not copied row by row), the shared entries, the scene lists, the CP932
// names, and loading through the real graphics layer in both back ends.
#include "gfx/surface_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "platform/image_decode.h"
#include "platform/text.h"
#include "support/bmp_writer.h"
#include "support/display.h"
#include "surface_pixels.h"

namespace {

std::string Name(int i) { return GameSurfaceInfo[i].szFileName; }

TEST(SurfaceTable, SheetsFollowTheirRules) {
  ResetGameSurfaceTablesForTest();
  int shared = 0;
  for (int i = 0; i < kGameSurfaceCount; ++i) {
    SCOPED_TRACE(i);
    const DDSURFACEINFO& info = GameSurfaceInfo[i];
    EXPECT_EQ(info.bShare != 0, SharedSurfaceOf(i) >= 0);
    shared += info.bShare != 0;
    const int partner = SharedSurfaceOf(i);
    if (partner >= 0) {  // shares an image with its own settings
      EXPECT_EQ(SharedSurfaceOf(partner), -1);
      EXPECT_EQ(Name(partner), Name(i));
      EXPECT_EQ(GameSurfaceInfo[partner].bOptional, info.bOptional);
    }
  }
  EXPECT_EQ(shared, 31);
  for (int n = 1; n <= 8; ++n) {
    SCOPED_TRACE(n);
    const std::string file = "bmp\\Character" + std::to_string(n) + ".bmp";
    const int own = CharacterSurface(n);
    for (int e : {own, CharacterMirrorSurface(n), CharacterSystemSurface(n), CharacterMirrorSystemSurface(n)}) {
      EXPECT_EQ(Name(e), file);
      EXPECT_EQ(GameSurfaceInfo[e].bOptional, n == 1 ? 0u : 1u);  // only the hero's sheet is required
      EXPECT_EQ(GameSurfaceInfo[e].bColorKey, 1u);
    }
    EXPECT_EQ(GameSurfaceInfo[CharacterMirrorSystemSurface(n)].nMirrorCellW, 32);
    EXPECT_EQ(GameSurfaceInfo[own].nMirrorCellW, 0);
    EXPECT_EQ(SharedSurfaceOf(CharacterMirrorSystemSurface(n)), own);  // the picture, not the mirror
    EXPECT_EQ(GameSurfaceInfo[CharacterSystemSurface(n)].dwDDMemType, 1u);
  }
  EXPECT_EQ(SharedSurfaceOf(SURF_SHOT_MIRROR_SYSTEM), SURF_SHOT);
  // Opaque pictures: the title, the world background and one empty surface.
  std::vector<int> unkeyed;
  for (int i = 0; i < kGameSurfaceCount; ++i)
    if (!GameSurfaceInfo[i].bColorKey) unkeyed.push_back(i);
  EXPECT_EQ(unkeyed, std::vector<int>({SURF_PALETTE, SURF_TITLE, SURF_WORLD_BACK, 66}));
}

TEST(SurfaceTable, NamesAreCp932AndTheBuilderCutsLongOnes) {
  ResetGameSurfaceTablesForTest();
  // 背 94 77, 景 8C 69, そ 82 BB, の 82 CC (the CP932 code table).
  EXPECT_EQ(Name(BackgroundSurface(8)), "\x94\x77\x8C\x69\x82\xBB\x82\xCC" "8.bmp");
  // ＭＳ ゴシック: full-width M, S, an ASCII space, katakana.
  EXPECT_STREQ(GameFontSettings[0].szFaceName, "\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E");
  const std::string longName(400, 'x');
  const DDSURFACEINFO cut = MakeSurfaceInfo(longName.c_str(), 1, 2, 3, 4, 5, 6, 7, 8, 9, 10);
  EXPECT_EQ(std::strlen(cut.szFileName), 259u);
  EXPECT_EQ(cut.nHeight, 10);
}

TEST(SurfaceTable, SceneLists) {
  const SurfaceList stage = StageSurfaces();
  ASSERT_EQ(stage.count, 64);
  std::set<int> entries(stage.indices, stage.indices + stage.count);
  EXPECT_EQ(entries.size(), 64u);
  // Every shared entry is loaded with the stage (after its partner).
  for (int i = 0; i < kGameSurfaceCount; ++i) {
    if (SharedSurfaceOf(i) < 0) continue;
    EXPECT_TRUE(entries.count(i)) << i;
    EXPECT_LT(std::find(stage.indices, stage.indices + 64, SharedSurfaceOf(i)),
              std::find(stage.indices, stage.indices + 64, i));
  }
  auto list = [](SurfaceList l) { return std::vector<int>(l.indices, l.indices + l.count); };
  EXPECT_EQ(list(StartupSurfaces()), std::vector<int>({SURF_DEBUG, SURF_SYMBOL}));
  EXPECT_EQ(list(WorldMapMenuSurfaces()), std::vector<int>({SURF_WINDOW, SURF_ACCESSORY}));
  EXPECT_EQ(list(StageBackgroundSurfaces()), std::vector<int>({55, 56, 57, 58, 59, 60, 61, 62}));
}

// Loading through the graphics layer, in a project folder of test bitmaps.
class SurfaceTableLoad : public ::testing::Test {
 protected:
  // A sheet whose pixel (x, y) is unique: red = x, green = y, blue = 7.
  void WriteSheet(const std::string& linuxPath, int w, int h) {
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) px[static_cast<size_t>(y) * w + x] = uint32_t(x) << 16 | uint32_t(y) << 8 | 7;
    sandbox_.Write(linuxPath, testbmp::AsString(testbmp::Rgb24(w, h, px)));
  }
  // Every file of the stage list; characters 1..`characters`.
  void WriteStageFiles(int characters, bool block = true) {
    const char* sheets[] = {"Item", "Item_Mini", "Mark", "Window", "StatusWindow", "Title", "Accessory", "Word", "Shot"};
    for (const char* s : sheets) WriteSheet(std::string("bmp/") + s + ".bmp", 64, 32);
    if (block) WriteSheet("bmp/Block.bmp", 64, 32);
    for (int n = 1; n <= characters; ++n) WriteSheet("bmp/Character" + std::to_string(n) + ".bmp", 96, 32);
  }
  bool Init(uint32_t d3d) {
    plat::DrawFaultInjection().desktopBitsOverride = 32;
    if (!DDInit(d3d, 0, 640, 480, 32, 0, 0, 1, 60, 0, GameSurfaces, GameSurfaceInfo, kGameSurfaceCount)) return false;
    LinkSurfaceDescriptors();
    return true;
  }
  bool LoadStage() { return DDLoadSurfaces(GameSurfaces, StageSurfaces().indices, StageSurfaces().count); }
  uint32_t Pixel(DDSURFACEDATA* sd, int x, int y) { return ::Pixel(sd, x, y) & 0xFFFFFF; }
  std::string DialogLog() const { return sandbox_.DialogLog(); }

  DisplaySandbox sandbox_;
};

TEST_F(SurfaceTableLoad, DirectDrawMirrorsByCellAndCopiesToSystemMemory) {
  WriteStageFiles(1);
  ASSERT_TRUE(Init(0));
  ASSERT_TRUE(LoadStage());  // characters 2..8 are optional and missing
  DDSURFACEDATA* pic = &GameSurfaces[CharacterSurface(1)];
  DDSURFACEDATA* mirror = &GameSurfaces[CharacterMirrorSurface(1)];
  DDSURFACEDATA* mirrorSys = &GameSurfaces[CharacterMirrorSystemSurface(1)];
  for (int x : {0, 5, 31, 32, 63, 64, 95}) {
    const int from = (x / 32 + 1) * 32 - x % 32 - 1;
    EXPECT_EQ(Pixel(mirror, x, 3), Pixel(pic, from, 3)) << x;
    EXPECT_EQ(Pixel(mirrorSys, x, 3), Pixel(pic, from, 3)) << x;
  }
  EXPECT_EQ(mirrorSys->dwMemoryType, 1u);
  EXPECT_EQ(GameSurfaces[CharacterSurface(2)].lpDDS, nullptr);  // optional, absent: no surface
  EXPECT_TRUE(DialogLog().empty());
}

TEST_F(SurfaceTableLoad, MissingRequiredSheetStopsTheLoad) {
  WriteStageFiles(1, /*block=*/false);
  ASSERT_TRUE(Init(0));
  EXPECT_FALSE(LoadStage());
  EXPECT_NE(DialogLog().find(plat::Cp932ToUtf8(plat::Sjis("bmp\\Block.bmp の読み込みに失敗！"))), std::string::npos)
      << DialogLog();
}

TEST_F(SurfaceTableLoad, Direct3DSharedEntriesOwnNoTexture) {
  WriteStageFiles(8);
  for (int n = 1; n <= 8; ++n) WriteSheet("背景その" + std::to_string(n) + ".bmp", 64, 48);  // the table's own names
  ASSERT_TRUE(Init(1));
  const size_t before = DDState.textureList.size();
  ASSERT_TRUE(LoadStage());
  EXPECT_EQ(DDState.textureList.size() - before, 33u);  // 64 entries, 31 of them shared
  EXPECT_EQ(GameSurfaces[BackgroundSurface(8)].nWidth, 64);
  for (int i = 0; i < kGameSurfaceCount; ++i) {
    if (SharedSurfaceOf(i) < 0) continue;
    EXPECT_EQ(GameSurfaces[i].lpDT == nullptr || GameSurfaces[i].lpDT->lpTexture == nullptr, true) << i;
  }
  // A mirrored entry draws from its partner's texture.
  DDSURFACEDATA* sd = &GameSurfaces[CharacterMirrorSurface(3)];
  DDSubstituteMirror(&sd);
  EXPECT_EQ(sd, &GameSurfaces[CharacterSurface(3)]);
  DDReleaseSurface(&GameSurfaces[CharacterMirrorSystemSurface(3)]);
  EXPECT_EQ(DDState.textureList.size() - before, 33u);
}

TEST_F(SurfaceTableLoad, BackgroundMemoryTypeFollowsItsSize) {
  ASSERT_TRUE(Init(0));
  WriteSheet("fits.bmp", 640, 480);
  WriteSheet("wide.bmp", 641, 8);
  EXPECT_TRUE(SetBackgroundSurface(1, "wide.bmp"));
  EXPECT_EQ(GameSurfaceInfo[55].dwDDMemType, 1u);
  EXPECT_TRUE(SetBackgroundSurface(1, "fits.bmp"));
  EXPECT_EQ(GameSurfaceInfo[55].dwDDMemType, 0u);
  EXPECT_TRUE(SetBackgroundSurface(8, nullptr));
  EXPECT_STREQ(GameSurfaceInfo[62].szFileName, "");
  EXPECT_FALSE(SetBackgroundSurface(9, "fits.bmp"));
  // Stage backgrounds are optional: missing pictures load as nothing.
  EXPECT_TRUE(SetBackgroundSurface(2, "none.bmp"));
  EXPECT_TRUE(DDLoadSurfaces(GameSurfaces, StageBackgroundSurfaces().indices, StageBackgroundSurfaces().count));
  EXPECT_EQ(GameSurfaces[55].nWidth, 640);
  EXPECT_EQ(GameSurfaces[56].lpDDS, nullptr);
}

// The demo project's bitmaps, as pelmora-tool make-demo writes them: the
// palette sheet holds the grid and the key, and every scene's list loads.
TEST_F(SurfaceTableLoad, DemoBitmapsLoadForEverySceneInEachMode) {
  ASSERT_EQ(std::system((std::string(PELMORA_TOOL) + " make-demo --force . > /dev/null 2>&1").c_str()), 0);
  plat::DecodedImage img;
  std::string error;
  ASSERT_TRUE(plat::LoadImageFile(GameSurfaceInfo[SURF_PALETTE].szFileName, img, error)) << error;
  ASSERT_EQ(img.palette.size(), 256u);
  ASSERT_GE(img.width * 100 + img.height, 16 * 100 + 24);
  for (int r = 0; r < 16; ++r)
    for (int c = 0; c < 16; ++c) ASSERT_EQ(img.indices[(8 + r) * img.width + c], 16 * r + c);
  EXPECT_EQ(img.palette[img.indices[0]], 0xFF00FFu);  // the top-left pixel is the transparent colour

  for (const auto& [d3d, bpp] : {std::pair{0u, 8}, std::pair{0u, 32}, std::pair{1u, 16}}) {
    SCOPED_TRACE(bpp);
    ASSERT_TRUE(DDInit(d3d, 0, 640, 480, bpp, 0, 0, 1, 60, 0, GameSurfaces, GameSurfaceInfo, kGameSurfaceCount));
    LinkSurfaceDescriptors();
    ASSERT_TRUE(DDSetupPaletteAndKey(GameSurfaceInfo[SURF_PALETTE].szFileName, 0, 0, 0, 0));
    for (SurfaceList list : {StartupSurfaces(), TitleSurfaces(), WorldMapSurfaces(), StageSurfaces()})
      ASSERT_TRUE(DDLoadSurfaces(GameSurfaces, list.indices, list.count));
    for (int n = 1; n <= 8; ++n) EXPECT_EQ(GameSurfaces[BackgroundSurface(n)].nWidth, 640) << n;
    if (!d3d) {  // block 0 ("no block") is all transparent colour
      EXPECT_EQ(::Pixel(&GameSurfaces[SURF_BLOCK], 5, 5), bpp == 8 ? 0u : DDState.dwColorKey);
    }
    for (DDSURFACEDATA& sd : GameSurfaces) DDReleaseSurface(&sd);
    DDResetForTest();
  }
}

}  // namespace

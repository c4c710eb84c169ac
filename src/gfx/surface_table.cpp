#include "gfx/surface_table.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "platform/text.h"

DDSURFACEDATA GameSurfaces[kGameSurfaceCount];
DDSURFACEINFO GameSurfaceInfo[kGameSurfaceCount];
FONTSETTING GameFontSettings[kGameFontCount];
DDSURFACEDATA DigitSurfaces[kGameFontCount];
DDSURFACEINFO DigitSurfaceInfo[kGameFontCount];

namespace {

// One row of the table. Memory types: DirectDraw 0 video, 1 system;
// Direct3D 0 video render target, 1 system, 2 video without render target.
struct Row {
  const char* file;  // UTF-8 here, CP932 in the table
  uint8_t key, ddMem, d3dMem;
  int8_t share;      // entry whose image this one uses in Direct3D mode, or -1
  uint8_t optional;
  int16_t mirrorW;
  int16_t emptyW, emptyH;
};

constexpr Row kRows[kGameSurfaceCount] = {
    {"bmp\\plt\\Palette.bmp", 0, 1, 0, -1, 0, 0, 0, 0},
    {"bmp\\Debug.bmp", 1, 0, 0, -1, 0, 0, 0, 0},
    {"bmp\\Block.bmp", 1, 0, 0, -1, 0, 0, 0, 0},
    {"bmp\\Block.bmp", 1, 1, 0, 2, 0, 0, 0, 0},
    {"bmp\\Character1.bmp", 1, 0, 0, -1, 0, 0, 0, 0},
    {"bmp\\Character1.bmp", 1, 0, 0, 4, 0, 32, 0, 0},
    {"bmp\\Character2.bmp", 1, 0, 0, -1, 1, 0, 0, 0},
    {"bmp\\Character2.bmp", 1, 0, 0, 6, 1, 32, 0, 0},
    {"bmp\\Character3.bmp", 1, 0, 0, -1, 1, 0, 0, 0},
    {"bmp\\Character3.bmp", 1, 0, 0, 8, 1, 32, 0, 0},
    {"bmp\\Character4.bmp", 1, 0, 0, -1, 1, 0, 0, 0},
    {"bmp\\Character4.bmp", 1, 0, 0, 10, 1, 32, 0, 0},
    {"bmp\\Character5.bmp", 1, 0, 0, -1, 1, 0, 0, 0},
    {"bmp\\Character5.bmp", 1, 0, 0, 12, 1, 32, 0, 0},
    {"bmp\\Character6.bmp", 1, 0, 0, -1, 1, 0, 0, 0},
    {"bmp\\Character6.bmp", 1, 0, 0, 14, 1, 32, 0, 0},
    {"bmp\\Character7.bmp", 1, 0, 0, -1, 1, 0, 0, 0},
    {"bmp\\Character7.bmp", 1, 0, 0, 16, 1, 32, 0, 0},
    {"bmp\\Character8.bmp", 1, 0, 0, -1, 1, 0, 0, 0},
    {"bmp\\Character8.bmp", 1, 0, 0, 18, 1, 32, 0, 0},
    {"bmp\\Shot.bmp", 1, 0, 0, -1, 0, 0, 0, 0},
    {"bmp\\Shot.bmp", 1, 0, 0, 20, 0, 16, 0, 0},
    {"bmp\\Character1.bmp", 1, 1, 0, 4, 0, 0, 0, 0},
    {"bmp\\Character1.bmp", 1, 1, 0, 4, 0, 32, 0, 0},
    {"bmp\\Character2.bmp", 1, 1, 0, 6, 1, 0, 0, 0},
    {"bmp\\Character2.bmp", 1, 1, 0, 6, 1, 32, 0, 0},
    {"bmp\\Character3.bmp", 1, 1, 0, 8, 1, 0, 0, 0},
    {"bmp\\Character3.bmp", 1, 1, 0, 8, 1, 32, 0, 0},
    {"bmp\\Character4.bmp", 1, 1, 0, 10, 1, 0, 0, 0},
    {"bmp\\Character4.bmp", 1, 1, 0, 10, 1, 32, 0, 0},
    {"bmp\\Character5.bmp", 1, 1, 0, 12, 1, 0, 0, 0},
    {"bmp\\Character5.bmp", 1, 1, 0, 12, 1, 32, 0, 0},
    {"bmp\\Character6.bmp", 1, 1, 0, 14, 1, 0, 0, 0},
    {"bmp\\Character6.bmp", 1, 1, 0, 14, 1, 32, 0, 0},
    {"bmp\\Character7.bmp", 1, 1, 0, 16, 1, 0, 0, 0},
    {"bmp\\Character7.bmp", 1, 1, 0, 16, 1, 32, 0, 0},
    {"bmp\\Character8.bmp", 1, 1, 0, 18, 1, 0, 0, 0},
    {"bmp\\Character8.bmp", 1, 1, 0, 18, 1, 32, 0, 0},
    {"bmp\\Shot.bmp", 1, 1, 0, 20, 0, 0, 0, 0},
    {"bmp\\Shot.bmp", 1, 1, 0, 20, 0, 16, 0, 0},
    {"bmp\\Item.bmp", 1, 0, 0, -1, 0, 0, 0, 0},
    {"bmp\\Item.bmp", 1, 1, 0, 40, 0, 0, 0, 0},
    {"bmp\\Item_Mini.bmp", 1, 0, 0, -1, 0, 0, 0, 0},
    {"bmp\\Mark.bmp", 1, 0, 0, -1, 0, 0, 0, 0},
    {"bmp\\Mark.bmp", 1, 1, 0, 43, 0, 0, 0, 0},
    {"bmp\\Window.bmp", 1, 0, 0, -1, 0, 0, 0, 0},
    {"bmp\\StatusWindow.bmp", 1, 0, 0, -1, 0, 0, 0, 0},
    {"bmp\\Title.bmp", 0, 0, 0, -1, 0, 0, 0, 0},
    {"bmp\\GameMode.bmp", 1, 0, 0, -1, 1, 0, 0, 0},
    {"bmp\\Accessory.bmp", 1, 0, 0, -1, 0, 0, 0, 0},
    {"bmp\\Symbol.bmp", 1, 0, 0, -1, 0, 0, 0, 0},
    {"bmp\\Word.bmp", 1, 0, 0, -1, 0, 0, 0, 0},
    {"bmp\\WorldMapChip.bmp", 1, 0, 0, -1, 0, 0, 0, 0},
    {"bmp\\WorldEvent.bmp", 1, 1, 0, -1, 0, 0, 0, 0},
    {"bmp\\WorldBack.bmp", 0, 1, 0, -1, 1, 0, 0, 0},
    {"背景その1.bmp", 1, 0, 0, -1, 1, 0, 0, 0},
    {"背景その2.bmp", 1, 0, 0, -1, 1, 0, 0, 0},
    {"背景その3.bmp", 1, 0, 0, -1, 1, 0, 0, 0},
    {"背景その4.bmp", 1, 0, 0, -1, 1, 0, 0, 0},
    {"背景その5.bmp", 1, 0, 0, -1, 1, 0, 0, 0},
    {"背景その6.bmp", 1, 0, 0, -1, 1, 0, 0, 0},
    {"背景その7.bmp", 1, 0, 0, -1, 1, 0, 0, 0},
    {"背景その8.bmp", 1, 0, 0, -1, 1, 0, 0, 0},
    {"E", 1, 1, 0, -1, 0, 0, 256, 960},
    {"E", 1, 1, 0, -1, 0, 0, 256, 960},
    {"E", 1, 1, 0, -1, 0, 0, 640, 480},
    {"E", 0, 1, 0, -1, 0, 0, 640, 480},
    {"E", 1, 0, 0, -1, 0, 0, 640, 480},
    {"E", 1, 1, 0, 67, 0, 0, 640, 480},
    {"E", 1, 0, 2, -1, 0, 0, 1024, 1024},
    {"E", 1, 1, 1, -1, 0, 0, 1024, 1024},
};

constexpr int kStartup[] = {1, 50};
constexpr int kMenu[] = {49, 45};
constexpr int kWorldMapMenu[] = {45, 49};
constexpr int kTitle[] = {47, 48, 49, 45};
constexpr int kWorldMap[] = {54, 52, 53, 49, 45, 67};
constexpr int kStageBackgrounds[] = {55, 56, 57, 58, 59, 60, 61, 62};
constexpr int kStage[] = {2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23,
                          24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45,
                          46, 47, 49, 51, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70};
static_assert(std::size(kStage) == 64, "the stage scene loads 64 entries");

template <size_t N>
SurfaceList ListOf(const int (&list)[N]) {
  return SurfaceList{list, static_cast<int>(N)};
}

void CopyName(char (&dst)[260], const char* src) { std::snprintf(dst, sizeof dst, "%s", src ? src : ""); }

FONTSETTING MakeFontSetting(int32_t height, int32_t cell, int32_t glyphMode) {
  FONTSETTING f;
  std::snprintf(f.szFaceName, sizeof f.szFaceName, "%s", plat::Sjis("ＭＳ ゴシック").c_str());
  f.nGdiWidth = 0;
  f.nHeight = height;
  f.nCharWidth = cell;
  f.nLineHeight = cell;
  f.nDefaultColor = 241;
  f.nBoxSurface = SURF_WINDOW;
  f.nFrameSize = 1;
  f.nFrameColor = 240;
  f.nLetterSurface = SURF_SYMBOL;
  f.nGlyphMode = glyphMode;
  return f;
}

void BuildTables() {
  for (int i = 0; i < kGameSurfaceCount; ++i) {
    const Row& r = kRows[i];
    GameSurfaceInfo[i] = MakeSurfaceInfo(plat::Sjis(r.file).c_str(), r.key, r.ddMem, r.d3dMem, r.share >= 0 ? 1 : 0,
                                         0, r.optional, r.mirrorW, 0, r.emptyW, r.emptyH);
  }
  GameFontSettings[0] = MakeFontSetting(9, 10, 2);
  GameFontSettings[1] = MakeFontSetting(16, 16, 2);
  GameFontSettings[2] = MakeFontSetting(30, 32, 0);
  for (DDSURFACEINFO& info : DigitSurfaceInfo) info = MakeSurfaceInfo("", 1, 0, 0, 0, 0, 0, 0, 0, 0, 0);
}

// Built before main, so every thread finds the tables complete.
[[maybe_unused]] const bool kTablesBuilt = (BuildTables(), true);

}  // namespace

DDSURFACEINFO MakeSurfaceInfo(const char* szFileName, uint32_t bColorKey, uint32_t dwDDMemType, uint32_t dwD3DMemType,
                              uint32_t bShare, uint32_t bPalNumMap, uint32_t bOptional, int32_t nMirrorCellW,
                              int32_t nMirrorCellH, int32_t nWidth, int32_t nHeight) {
  DDSURFACEINFO info;
  CopyName(info.szFileName, szFileName);
  info.bColorKey = bColorKey;
  info.dwDDMemType = dwDDMemType;
  info.dwD3DMemType = dwD3DMemType;
  info.bShare = bShare;
  info.bPalNumMap = bPalNumMap;
  info.bOptional = bOptional;
  info.nMirrorCellW = nMirrorCellW;
  info.nMirrorCellH = nMirrorCellH;
  info.nWidth = nWidth;
  info.nHeight = nHeight;
  return info;
}

int CharacterSurface(int n) { return n >= 1 && n <= 8 ? 2 + 2 * n : -1; }
int CharacterMirrorSurface(int n) { return n >= 1 && n <= 8 ? 3 + 2 * n : -1; }
int CharacterSystemSurface(int n) { return n >= 1 && n <= 8 ? 20 + 2 * n : -1; }
int CharacterMirrorSystemSurface(int n) { return n >= 1 && n <= 8 ? 21 + 2 * n : -1; }
int BackgroundSurface(int n) { return n >= 1 && n <= 8 ? SURF_BACKGROUND_FIRST - 1 + n : -1; }

int SharedSurfaceOf(int index) {
  if (index < 0 || index >= kGameSurfaceCount) return -1;
  return kRows[index].share;
}

void LinkSurfaceDescriptors() {
  for (int i = 0; i < kGameSurfaceCount; ++i) {
    const int partner = kRows[i].share;
    GameSurfaces[i].lpShareSD = partner >= 0 ? &GameSurfaces[partner] : nullptr;
  }
}

bool SetBackgroundSurface(int n, const char* szFileName) {
  const int index = BackgroundSurface(n);
  if (index < 0) return false;
  DDSURFACEINFO& info = GameSurfaceInfo[index];
  CopyName(info.szFileName, szFileName);
  uint32_t tooBig = 0;
  if (info.szFileName[0] != '\0') DDBitmapFits(&tooBig, info.szFileName, 640, 480);
  info.dwDDMemType = tooBig ? 1 : 0;
  return true;
}

SurfaceList StartupSurfaces() { return ListOf(kStartup); }
SurfaceList MenuSurfaces() { return ListOf(kMenu); }
SurfaceList WorldMapMenuSurfaces() { return ListOf(kWorldMapMenu); }
SurfaceList TitleSurfaces() { return ListOf(kTitle); }
SurfaceList WorldMapSurfaces() { return ListOf(kWorldMap); }
SurfaceList StageBackgroundSurfaces() { return ListOf(kStageBackgrounds); }
SurfaceList StageSurfaces() { return ListOf(kStage); }

void ResetGameSurfaceTablesForTest() {
  for (DDSURFACEDATA& sd : GameSurfaces) sd = DDSURFACEDATA{};
  for (DDSURFACEDATA& sd : DigitSurfaces) sd = DDSURFACEDATA{};
  BuildTables();
}

// The game's fixed table of 71 surfaces: what each entry is made from (the
// settings table handed to DDInit), which entries share a texture in
// Direct3D mode, the index lists each scene loads, and the settings of the
// three game fonts and their digit surfaces.
//
// The tables are globals built before main; start-up links the shared
// entries (LinkSurfaceDescriptors) before the first load. Stage play
// rewrites the background entries 55..62 when a stage starts.
#pragma once

#include <cstdint>

#include "gfx/dd.h"

inline constexpr int kGameSurfaceCount = 71;

// Entries with a name of their own; the sheets that come in groups are
// reached through the functions below.
enum : int {
  SURF_PALETTE = 0,       // "bmp\plt\Palette.bmp": palette and transparent colour, never loaded as a surface
  SURF_DEBUG = 1,
  SURF_BLOCK = 2,
  SURF_BLOCK_SYSTEM = 3,  // system-memory copy for the pixel effects
  SURF_SHOT = 20,
  SURF_SHOT_MIRROR = 21,
  SURF_SHOT_SYSTEM = 38,
  SURF_SHOT_MIRROR_SYSTEM = 39,
  SURF_ITEM = 40,
  SURF_ITEM_SYSTEM = 41,
  SURF_ITEM_MINI = 42,
  SURF_MARK = 43,
  SURF_MARK_SYSTEM = 44,
  SURF_WINDOW = 45,
  SURF_STATUS_WINDOW = 46,
  SURF_TITLE = 47,
  SURF_GAME_MODE = 48,
  SURF_ACCESSORY = 49,
  SURF_SYMBOL = 50,
  SURF_WORD = 51,
  SURF_WORLD_MAP_CHIP = 52,
  SURF_WORLD_EVENT = 53,
  SURF_WORLD_BACK = 54,
  SURF_BACKGROUND_FIRST = 55,  // eight stage backgrounds, 55..62
  SURF_EMPTY_FIRST = 63,       // empty work surfaces, 63..70
};

// Character sheet n (1..8): its picture, the picture mirrored by 32-dot
// cells, and the system-memory copies of both. 0 < n <= 8; -1 otherwise.
int CharacterSurface(int n);
int CharacterMirrorSurface(int n);
int CharacterSystemSurface(int n);
int CharacterMirrorSystemSurface(int n);
// Stage background n (1..8): entry 54 + n; -1 otherwise.
int BackgroundSurface(int n);

// The tables DDInit receives.
extern DDSURFACEDATA GameSurfaces[kGameSurfaceCount];
extern DDSURFACEINFO GameSurfaceInfo[kGameSurfaceCount];

// The settings-record builder: the file name copied (cut to 259 bytes),
// then the ten fields in record order.
DDSURFACEINFO MakeSurfaceInfo(const char* szFileName, uint32_t bColorKey, uint32_t dwDDMemType, uint32_t dwD3DMemType,
                              uint32_t bShare, uint32_t bPalNumMap, uint32_t bOptional, int32_t nMirrorCellW,
                              int32_t nMirrorCellH, int32_t nWidth, int32_t nHeight);

// The entry whose image a share-flagged entry uses in Direct3D mode, or -1.
int SharedSurfaceOf(int index);

// Start-up, before the first load: each of the 31 share-flagged entries of
// GameSurfaces gets its partner's address in lpShareSD; the others null.
void LinkSurfaceDescriptors();

// Stage play: entry 55 + n - 1 takes the stage's background picture
// `szFileName` (CP932 program path; null or "" when the stage has none);
// its DirectDraw memory type becomes 0 when the picture fits in 640 × 480
// and 1 when it is larger (DDBitmapFits). False when n is not 1..8.
bool SetBackgroundSurface(int n, const char* szFileName);

// The index lists handed to DDLoadSurfaces.
struct SurfaceList {
  const int* indices;
  int count;
};
SurfaceList StartupSurfaces();          // 1, 50
SurfaceList MenuSurfaces();             // options, world select: 49, 45
SurfaceList WorldMapMenuSurfaces();     // 45, 49
SurfaceList TitleSurfaces();            // 47, 48, 49, 45
SurfaceList WorldMapSurfaces();         // 54, 52, 53, 49, 45, 67
SurfaceList StageBackgroundSurfaces();  // 55..62
SurfaceList StageSurfaces();            // 2..47, 49, 51, 55..70: 64 entries

// Settings of one game font: face name, then ten 32-bit fields in this order.
struct FONTSETTING {
  char szFaceName[256] = {};  // CP932; start-up copies the system data's choice in
  int32_t nGdiWidth = 0;      // character width asked of the face (0 = its own)
  int32_t nHeight = 0;        // font height in dots
  int32_t nCharWidth = 0;     // glyph cell width; 0 = proportional text
  int32_t nLineHeight = 0;    // glyph cell height
  int32_t nDefaultColor = 0;  // palette number
  int32_t nBoxSurface = 0;    // GameSurfaces index of the box picture
  int32_t nFrameSize = 0;     // frame thickness in dots
  int32_t nFrameColor = 0;    // palette number
  int32_t nLetterSurface = 0; // GameSurfaces index of the picture-letter strip
  int32_t nGlyphMode = 0;     // 0 no glyph sheets; 2 is replaced at start-up by the configured cache mode
};

inline constexpr int kGameFontCount = 3;
extern FONTSETTING GameFontSettings[kGameFontCount];
// The digit surfaces of the three fonts ("0123456789" drawn once) and their
// settings: file name empty, colour key on, everything else 0.
extern DDSURFACEDATA DigitSurfaces[kGameFontCount];
extern DDSURFACEINFO DigitSurfaceInfo[kGameFontCount];

// Tests: the tables as built before main (surfaces released by the caller).
void ResetGameSurfaceTablesForTest();

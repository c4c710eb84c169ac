// The graphics layer: free DD… functions over plain records and one block of
// module state, with two back ends: a DirectDraw-style one (surfaces, colour
// keys, the blitter) and a Direct3D-style one (textures drawn as quads).
// Which one is active is read from the two context pointers — `lpDTCon`
// non-null means Direct3D, the DirectDraw context non-null means DirectDraw —
// never from an argument. Both back ends are our software objects of
// platform/soft_draw.h and platform/soft_device.h.
//
// Threads: set-up, teardown and the device restore run on the main thread;
// every drawing function on the thread that makes frames. Nothing locks: the
// restore runs while the game thread waits in its SendMessage.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/logs.h"
#include "base/safe_containers.h"
#include "platform/messages.h"
#include "platform/soft_device.h"
#include "platform/soft_draw.h"

using PALETTEENTRY = plat::PaletteEntry;

// Palette entry flags of the 8-bit display palette.
inline constexpr uint8_t PC_RESERVED = 0x01;
inline constexpr uint8_t PC_EXPLICIT = 0x02;

struct RGBTRIPLE {
  uint8_t rgbtBlue = 0, rgbtGreen = 0, rgbtRed = 0;
};

// The DirectDraw record of a surface.
struct DDSURFACERECORD {
  plat::DrawSurface* lpSurface = nullptr;
  std::vector<uint8_t> palNumMap;  // one palette number per pixel (rows of the lock's pitch), or empty
};

// The level description of a texture, eight words.
struct DTSURFACEDESC {
  uint32_t Format = 0, Type = 0, Usage = 0, Pool = 0, MultiSampleType = 0, MultiSampleQuality = 0;
  uint32_t Width = 0, Height = 0;
};

// Memory kinds of a Direct3D surface.
enum : uint32_t { DTMEMORYTYPE_VIDEO_RT = 0, DTMEMORYTYPE_SYSTEM = 1, DTMEMORYTYPE_VIDEO_NORT = 2 };

struct DTDATA {
  uint32_t dwSerial = 0;  // 0 for "BackBuffer"; the texture list finds entries by it
  plat::DeviceSurface* lpSurface = nullptr;        // level 0 (or the device's back buffer)
  plat::DeviceSurface* lpSystemSurface = nullptr;  // processor copy of a video render target
  plat::DeviceBuffer* lpVB = nullptr;              // 112 bytes: the quad of immediate draws
  plat::DeviceTexture* lpTexture = nullptr;
  DTSURFACEDESC desc;
  uint32_t dwMemoryType = 0;  // 0 video, 1 system
  uint32_t bColorKey = 0;
  uint32_t bRenderTarget = 0;
  std::vector<uint8_t> palNumMap;
};

// One drawing surface. Zero-filled when built; tables of them belong to their users.
struct DDSURFACEDATA {
  DTDATA* lpDT = nullptr;             // Direct3D mode
  DDSURFACERECORD* lpDDS = nullptr;   // DirectDraw mode
  char szKind[260] = {};
  int32_t nWidth = 0, nHeight = 0;        // as asked for (the bitmap's size for a file)
  int32_t nTexWidth = 0, nTexHeight = 0;  // as made (rounded up for the device)
  char szFileName[260] = {};              // "E": an empty surface
  uint32_t dwMemoryType = 0;              // DirectDraw: 0 video, 1 system (after the fallback)
  int32_t nMirrorCellW = 0, nMirrorCellH = 0;
  DDSURFACEDATA* lpShareSD = nullptr;     // Direct3D: draws from this surface's texture
  uint32_t bLost = 0;                     // contents gone; the owner redraws and clears it
};

// The settings a table surface is made from.
struct DDSURFACEINFO {
  char szFileName[260] = {};  // "E": empty surface of nWidth × nHeight
  uint32_t bColorKey = 0;
  uint32_t dwDDMemType = 0;
  uint32_t dwD3DMemType = 0;
  uint32_t bShare = 0;
  uint32_t bPalNumMap = 0;
  uint32_t bOptional = 0;
  int32_t nMirrorCellW = 0, nMirrorCellH = 0;
  int32_t nWidth = 0, nHeight = 0;
};

// Sizes the records have in stored data and in the error lines of the
// checked containers (a 32-bit layout).
template <>
struct LegacyElementSize<DDSURFACEDATA> {
  static constexpr int value = 564;
};
template <>
struct LegacyElementSize<DDSURFACEINFO> {
  static constexpr int value = 300;
};

struct DTCONTEXT {
  uint32_t dwBackBufferFormat = 0, dwTextureFormat = 0;
  plat::PresentParameters d3dpp;
  uint32_t nAdapter = 0, dwDeviceType = 1, dwDisplayFormat = 0;
  plat::DeviceCaps caps;
  uint32_t bPow2 = 0, bSquareOnly = 0, bDynamicTextures = 0;
  uint32_t bVirtualBackBuffer = 0;
  DDSURFACEDATA* lpCurrentRT = nullptr;
  uint32_t bCopyVirtualBackBuffer = 0;
  RGBTRIPLE rgbTransmit;
  RGBTRIPLE rgbTransmit8;    // the key at 8-bit precision for a 16-bit display
  uint32_t dwPalZeroColor = 0;
  uint32_t dwTransmitARGB = 0;
  uint16_t wTransmit_16 = 0;
  uint16_t wTransmitPacked16 = 0;
  uint32_t bSceneOpen = 0;
  uint32_t dwDrawColor = 0xFFFFFFFFu;
  uint32_t dwColorOp = 4;
  uint32_t dwAlphaOp = 4;
  uint32_t dwTextureSerial = 1;
  uint32_t dwFontSerial = 0;
  std::string strErrorText;  // CP932; shown when a texture cannot be made
};

struct DDCONTEXT {
  RGBTRIPLE rgbTransmit;
  RGBTRIPLE rgbTransmit8;
  uint32_t dwFontSerial = 0;
};

// The per-draw colour state of the "Ex" blits.
struct DDDRAWSTATE {
  uint32_t dwColor = 0xFFFFFFFFu;  // ARGB
  uint32_t dwColorOp = 4;          // texture-stage colour operation
};

// A font as the restores see it (the font class derives from this).
class cDeviceFontHooks {
 public:
  virtual ~cDeviceFontHooks() = default;
  // Direct3D device lost: drop device objects; 0 or the failing result.
  virtual uint32_t OnLostDevice() = 0;
  // Redraw the glyph sheets after a restore.
  virtual bool Restore() = 0;
};

// Pixel-format blocks: shifts of red, green, blue, alpha, then maxima.
enum { PF_RSHIFT = 0, PF_GSHIFT, PF_BSHIFT, PF_ASHIFT, PF_RMAX, PF_GMAX, PF_BMAX, PF_AMAX };

struct DDMODULESTATE {
  uint32_t dwDirect3D = 0;
  uint32_t bInitialised = 0;
  uint8_t bSetupDone = 0;
  plat::WindowHandle hWnd = 0;
  int32_t nDispWidth = 0, nDispHeight = 0;
  int32_t nBpp = 0, nBytesPerPixel = 0;
  uint32_t bWindowed = 0;
  int32_t nBackBuffers = 1;
  uint32_t bVSync = 0;
  int32_t nRefreshRate = 0;
  uint32_t bSetRefreshRate = 0;
  uint32_t dwColorKey = 0;
  plat::DirectDrawObject* lpDD = nullptr;
  plat::Direct3D* lpD3D = nullptr;
  plat::Device* lpDevice = nullptr;
  uint32_t bClipper = 0;
  plat::DrawPalette* lpDDPalette = nullptr;
  DDSURFACEDATA* lpSDTable = nullptr;
  DDSURFACEINFO* lpSDInfoTable = nullptr;
  int32_t nSDCount = 0;
  std::vector<DDSURFACEDATA*> textureList;
  std::vector<cDeviceFontHooks*> fontList;
  DDSURFACEDATA SDPrimary, SDBackBuffer, SDVirBackBuffer, SDWorkSD, SDScreenCopy;
  uint32_t TexFormat[8] = {};
  uint32_t BackFormat[8] = {};
  PALETTEENTRY DDPalette[256] = {};
  PALETTEENTRY DDPaletteWork[256] = {};
  // Fade angles in degrees, per back end: a fade out runs 90 → 0, a fade in
  // 0 → 90; each goes back to its start value when its fade has ended.
  double dFadeOutAngleDD = 90.0, dFadeInAngleDD = 0.0;
  double dFadeOutAngleD3D = 90.0, dFadeInAngleD3D = 0.0;
};
extern DDMODULESTATE DDState;
// The Direct3D context: non-null exactly in Direct3D mode.
extern DTCONTEXT* lpDTCon;
// The DirectDraw context: non-null exactly in DirectDraw mode.
extern DDCONTEXT* lpDDCon;

// The fixed surfaces.
inline DDSURFACEDATA* DDPrimary() { return &DDState.SDPrimary; }
inline DDSURFACEDATA* DDBackBuffer() { return &DDState.SDBackBuffer; }
inline DDSURFACEDATA* DDVirBackBuffer() { return &DDState.SDVirBackBuffer; }
inline DDSURFACEDATA* DDWorkSD() { return &DDState.SDWorkSD; }
inline DDSURFACEDATA* DDScreenCopy() { return &DDState.SDScreenCopy; }

// ---- records and draw state ----
// Puts every field of the record back to zero: no surface, no file name,
// size 0. It releases nothing: a record that holds a surface is released
// first (DDReleaseSurface). For records a caller keeps and reuses.
void DDInitSurfaceData(DDSURFACEDATA* lpSD);
void DDAllocSurfaceRecord(DDSURFACEDATA* lpSD);
void DDSubstituteMirror(DDSURFACEDATA** lplpSD);
void DDSetDrawColor(uint32_t dwColor);
void DDResetDrawColor();
void DDSetColorOp(uint32_t dwOp);
void DDResetColorOp();
void DDSetAlphaOp(uint32_t dwOp);
void DDResetAlphaOp();
void DDRegisterFont(cDeviceFontHooks* font);
void DDUnregisterFont(cDeviceFontHooks* font);

// ---- set-up and teardown ----
bool DDInit(uint32_t bDirect3D, plat::WindowHandle hWnd, int nWidth, int nHeight, int nBpp, uint32_t bVSync,
            uint32_t bWindowed, int nBackBuffers, int nRefreshRate, uint32_t bSetRefreshRate,
            DDSURFACEDATA* lpSDTable, DDSURFACEINFO* lpSDInfoTable, int nCount);
void DDEnd();
void DDRelease();
void DDSetRenderStates();
// The set-up error codes and their log names.
enum {
  DDINIT_OK = 0, CREATEEX_ERR = 1, SETCOOPLEVEL_ERR = 2, SETDISPLAYMODE_ERR = 3, CREATESURFACE_ERR = 4,
  GETATTACHEDSURFACE_ERR = 5, CREATEPALETTE_ERR = 6, SETPALETTE_ERR = 7, CLIPPER_ERR = 10, SETHWND_ERR = 11,
  SETCLIPPER_ERR = 12
};
void DDReportInitError(int nCode);

// ---- surfaces and textures ----
bool DDCreateSurface(DDSURFACEDATA* lpSD, int nWidth, int nHeight, uint32_t bColorKey, uint32_t dwDDMemType,
                     uint32_t dwD3DMemType, uint32_t bShare, uint32_t bRestore);
// DDCreateSurface for a work surface whose every use fills the area it then
// reads (the fonts' composing surface): a DirectDraw surface is made without
// the clearing fill, so its memory is only touched where it is used.
bool DDCreateWorkSurface(DDSURFACEDATA* lpSD, int nWidth, int nHeight, uint32_t bColorKey, uint32_t dwDDMemType,
                         uint32_t dwD3DMemType);
// 0 success, 1 mirror failed, 4 surface creation failed, 8 image not
// loadable; a Direct3D failure gives the device's result.
uint32_t DDCreateSurfaceFromFile(DDSURFACEDATA* lpSD, const char* szFile, uint32_t bColorKey, int nBpp,
                                 uint32_t dwDDMemType, uint32_t dwD3DMemType, uint32_t bShare, uint32_t bPalNumMap,
                                 int nMirrorCellW, int nMirrorCellH, uint32_t bRestore);
bool DDCheckResult(uint32_t nCode);
bool DDLoadSurfaces(DDSURFACEDATA* lpSDTable, const int* lpIndexList, int nCount);
bool DDAddSurface(cSafeVector<DDSURFACEDATA>& sd, cSafeVector<DDSURFACEINFO>& info, int nWidth, int nHeight,
                  uint32_t bColorKey, uint32_t dwDDMemType, uint32_t dwD3DMemType, uint32_t bShare);
bool DDAddSurfaceToList(cSafeList<DDSURFACEDATA>& sd, cSafeList<DDSURFACEINFO>& info, int nWidth, int nHeight,
                        uint32_t bColorKey, uint32_t dwDDMemType, uint32_t dwD3DMemType, uint32_t bShare);
bool DDInsertSurface(cSafeList<DDSURFACEDATA>& sd, cSafeList<DDSURFACEINFO>& info, int nPos, int nWidth,
                     int nHeight, uint32_t bColorKey, uint32_t dwDDMemType, uint32_t dwD3DMemType, uint32_t bShare);
bool DDDeleteSurface(cSafeList<DDSURFACEDATA>& sd, cSafeList<DDSURFACEINFO>& info, DDSURFACEDATA* lpSD);
void DDReleaseSurface(DDSURFACEDATA* lpSD);
void DDReleaseSurfaceObjects(DDSURFACEDATA* lpSD);
void DDReleaseSurfaces(cSafeVector<DDSURFACEDATA>& sd);
void DDReleaseSurfaceList(cSafeList<DDSURFACEDATA>& sd);
void DDSetTransmit(uint8_t cbRed, uint8_t cbGreen, uint8_t cbBlue);
bool DDSetTransmitFromFile(const char* szFile);
bool DDLoadPaletteFromFile(PALETTEENTRY* lpPalette, const char* szFile);
// Why DDLoadPaletteFromFile takes no palette from `szFile` though the picture
// loads (CP932, for the line under its failure): an 8-bit DirectDraw display
// takes its colours from an 8-bit picture's colour table only. Empty when it
// can take one, and when the picture does not load (its name says it all).
std::string DDPaletteFromFileProblem(const char* szFile);
bool CopyBitmap(DDSURFACEDATA* lpSD, const char* szFile, int nBpp, uint32_t bPalNumMap, int nMirrorCellW,
                int nMirrorCellH);
bool DDRestoreSurfaceFromFile(DDSURFACEDATA* lpSD, int nBpp);
bool CreateMirror(DDSURFACEDATA* lpSD, DDSURFACEDATA* lpSrcSD, int nCellW, int nCellH);
void DDCreatePalNumMap(std::vector<uint8_t>& map, DDSURFACEDATA* lpSD);
void DDRoundTextureSize(int* lpWidth, int* lpHeight);
bool DDCheckTextureSize(int nWidth, int nHeight);
bool DDBitmapFits(uint32_t* lpTooBig, const char* szFile, int nWidth, int nHeight);
// The palette table of a picture (16 × 16 grid at rows 8..23) into `lpPalette`.
bool DDSetPalette_UnPal(PALETTEENTRY* lpPalette, DDSURFACEDATA* lpSD);
void DDFillRect(DDSURFACEDATA* lpSD, int x, int y, int nWidth, int nHeight, uint32_t dwPalNum);
void DDFillSurface(DDSURFACEDATA* lpSD, uint32_t dwPalNum);
void DDFillRectColor(DDSURFACEDATA* lpSD, int x, int y, int nWidth, int nHeight, uint32_t dwColor);
void DDFillSurfaceColor(DDSURFACEDATA* lpSD, uint32_t dwColor);

// The scoped processor lock of a surface: constructing locks, Unlock (also
// run by the destructor) ends the access.
class cSurfaceLock {
 public:
  // A read-only lock (`bReadOnly`) promises not to write through Bits().
  // Every lock hands out the surface's own pixels (a render target's too),
  // so reading and writing locks cost the same.
  explicit cSurfaceLock(DDSURFACEDATA* lpSD, bool bReadOnly = false);
  ~cSurfaceLock() { Unlock(); }
  cSurfaceLock(const cSurfaceLock&) = delete;
  cSurfaceLock& operator=(const cSurfaceLock&) = delete;
  bool Locked() const { return m_lpBits != nullptr; }
  void Unlock();
  uint8_t* Bits() const { return m_lpBits; }
  int Pitch() const { return m_nPitch; }  // bytes
  int Width() const { return m_nWidth; }
  int Height() const { return m_nHeight; }
  DDSURFACEDATA* Surface() const { return m_lpSD; }
  int m_nBitsPerPixel = 32;
  int m_nBytesPerPixel = 4;

 private:
  DDSURFACEDATA* m_lpSD = nullptr;
  uint8_t* m_lpBits = nullptr;
  int m_nPitch = 0;
  int m_nWidth = 0, m_nHeight = 0;
  bool m_bSystemCopy = false;
  bool m_bBackBuffer = false;
};

// ---- present and restore ----
bool DDPresent(int nFps);
// The DirectDraw present of the frame step: full screen flips (or, with the
// no-flip flag or a late frame, blits the back buffer onto the primary);
// windowed waits for the vertical blank unless late, then blits. Then shows
// the primary. False when a surface is lost.
bool DDPresentDirectDraw(uint32_t bNoFlip, uint32_t bLateFrame);
void DDSetVirtualBackBuffer(uint32_t bOn);
bool DDRedirectBackBuffer(DDSURFACEDATA** lplpSD);
void DDCopyVirtualBackBuffer(DDSURFACEDATA* lpDstSD, DDSURFACEDATA* lpSrcSD);
bool DDRestoreSurface();
bool DDRestore();
void DDGetPixelFormat(uint32_t* lpFormatBlock);
uint32_t DDPalToRGB16(const PALETTEENTRY* lpEntry);
// The primary (DirectDraw) reports a loss.
bool DDPrimaryLost();

// ---- blits and fills ----
int DDBlt(DDSURFACEDATA* lpDst, int x, int y, int nWidth, int nHeight, DDSURFACEDATA* lpSrc, int sx, int sy,
          uint32_t dwFlags);
int DDBltEx(DDSURFACEDATA* lpDst, int x, int y, int nWidth, int nHeight, DDSURFACEDATA* lpSrc, int sx, int sy,
            uint32_t dwFlags, const DDDRAWSTATE* lpState);
int DDBltStretch(DDSURFACEDATA* lpDst, int dx, int dy, int dw, int dh, DDSURFACEDATA* lpSrc, int sx, int sy, int sw,
                 int sh, uint32_t dwFlags);
int DDBltStretchEx(DDSURFACEDATA* lpDst, int dx, int dy, int dw, int dh, DDSURFACEDATA* lpSrc, int sx, int sy,
                   int sw, int sh, uint32_t dwFlags, const DDDRAWSTATE* lpState);
int DDClipBlt(DDSURFACEDATA* lpDst, int* x, int* y, int* w, int* h, DDSURFACEDATA* lpSrc, int* sx, int* sy, int* sw,
              int* sh);
void DDMirrorSourceRect(DDSURFACEDATA* lpSD, int* sx, int* sy, int* sw, int* sh);
int DDBeginScene();
void DDEndScene();
int DDSetRenderTarget(uint32_t dwUnused, DDSURFACEDATA* lpSD);
void DDBeginFillBatch();
void DDEndFillBatch();
uint32_t PalNumToRGB(uint32_t dwPalNum);
void DDSetPixel(DDSURFACEDATA* lpSD, int x, int y, uint32_t dwPalNum);
void DDDrawCircle(DDSURFACEDATA* lpSD, int cx, int cy, int r, uint32_t dwPalNum);
bool DDLock(DDSURFACEDATA* lpSD, int* lpPitch, uint8_t** lplpBits, int nBpp);
void DDDrawNumber(DDSURFACEDATA* lpDst, int x, int y, int nDigitW, int nDigitH, DDSURFACEDATA* lpStrip, int sx,
                  int sy, uint32_t dwFlags, int nValue, int nFieldWidth, uint32_t bCentre);
// Transparent-texel test and the 16-bit back-buffer rule of the processor paths.
bool DDIsFlipBackBuffer(DDSURFACEDATA* lpSD);

// ---- sprite batch, debug text, message boxes ----
void DDBeginBatch(uint8_t bSort);
void DDEndBatch();
void DDBatchOff();
void DDBatchOn();
void DDBatchAddTexture(DDSURFACEDATA* lpSD);
void DDBatchAddTextureArea(DDSURFACEDATA* lpSD, int sx, int sy);
// True when a draw was queued into the open batch (called by the stretch blit).
bool DDBatchQueue(DDSURFACEDATA* lpDst, int dx, int dy, int dw, int dh, DDSURFACEDATA* lpSrc, int sx, int sy, int sw,
                  int sh, uint32_t dwFlags);
int DDBatchDepth();
// The transparent colour an unkeyed draw of a keyed picture leaves where
// the picture is transparent (the Direct3D blits fill the rectangle with it
// first), as a raw value of the destination's format.
uint32_t DDKeyClearValue(DDSURFACEDATA* lpDst);
// Releases the buffers the sprite batch keeps for its runs (before the
// device goes).
void DDReleaseBatchBuffers();
void DDDrawDebugText(DDSURFACEDATA* lpDst, int x, int y, int nGlyphW, int nGlyphH, DDSURFACEDATA* lpStrip,
                     const char* szText);
void DDDrawDebugTextF(DDSURFACEDATA* lpDst, int x, int y, int nGlyphW, int nGlyphH, DDSURFACEDATA* lpStrip,
                      const char* szFormat, ...) PELMORA_PRINTF(7, 8);
int DDMesBox(const char* szText, const char* szCaption, uint32_t uType);
int DDSetDialogMode(uint32_t bOn);

// ---- what start-up, the frame step and the window handler call ----
// The display decision of start-up from "System.ini" (D = nDirect3D, W =
// nWindowMode, V = nVSync, Bpp) and the system data's depth choices (#80
// for DirectDraw, #79 for Direct3D) and fixed-colour-key switch (#28).
// Rewrites nVSync and nBpp in `settings`. False after the error box when the
// depth is not allowed.
struct GameSettingsRecord;
struct DDDISPLAYCHOICE {
  uint32_t bWindowed = 0;
  int32_t nBpp = 32;
  uint32_t bSizingBorder = 0;  // Direct3D window with W = 2
};
bool DDDecideDisplay(GameSettingsRecord& settings, int32_t nSysDepthDD, int32_t nSysDepthD3D, uint32_t bFixedKey,
                     int32_t nDesktopBits, DDDISPLAYCHOICE& out);
// Start-up's set-up with the fallback: DDInit in the chosen mode; when
// Direct3D fails, DDRelease, "Direct3D" = 0, the window shown with
// `showCommand` (SW_MAXIMIZE in full screen) and DDInit again in DirectDraw
// mode. Logs "DDInit失敗" and returns false when no mode works. In Direct3D
// mode stores the texture-failure text in the context.
bool DDInitWithFallback(GameSettingsRecord& settings, plat::WindowHandle hWnd, const DDDISPLAYCHOICE& choice,
                        DDSURFACEDATA* lpSDTable, DDSURFACEINFO* lpSDInfoTable, int nCount, int showCommand);
// Palette and colour key of start-up (run when a display was set up): the
// palette from `szPaletteBitmap` (surface 0's file) into DDPalette and the
// working copy, then the key: bFixedKey (#28) 0 reads it from the same
// picture; otherwise 16-bit reads it and then puts #29..#31 (red, green,
// blue) in as the 8-bit-precision key, other depths take #29..#31 as the key.
// False after an error box (and report-log line) naming the picture:
// "DDLoadPaletteFromFile失敗：FILE" (with DDPaletteFromFileProblem's reason
// under it when the picture loads) or "DDSetTransmit失敗：FILE".
bool DDSetupPaletteAndKey(const char* szPaletteBitmap, uint32_t bFixedKey, uint8_t cbRed, uint8_t cbGreen,
                          uint8_t cbBlue);
// The no-flip flag of the DirectDraw present: clear only in full screen with
// VSync on and a monitor at least as fast as the frame rate.
uint32_t DDNoFlipFlag(uint32_t bVSync, uint32_t nFrameRate);
// One element of the surface collections of the frame step's restore:
// restores it when lost and, in video memory, marks it lost and reloads its
// picture. False when the reload fails.
bool DDRestoreLostSurface(DDSURFACEDATA* lpSD);
// WM_PAINT in DirectDraw mode: the back buffer shown again.
void DDRepaint();
// WM_QUERYNEWPALETTE in DirectDraw mode: the palette set on the primary again.
void DDRealizePalette();
// 8-bit mode: the working palette taken back from the base palette and set
// on the display, undoing what fades, screen colours and colour cycling left
// in it (a stage starts on its own colours). Nothing in the other modes.
void DDRestoreBasePalette();
// Tests: throws away every graphics object and context without the release
// messages (a fresh state for the next case).
void DDResetForTest();

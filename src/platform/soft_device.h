// Our software stand-in for the small part of Direct3D 9 (and the D3DX
// texture helpers) the graphics layer uses: textures in pools, render
// targets, vertex and index buffers of pre-transformed quads (28-byte
// vertices: x, y, z, rhw, diffuse, u, v), texture stage 0 colour and alpha
// operations, SRCALPHA/INVSRCALPHA blending on all four channels, point
// sampling with wrap, the D3D9 rasterisation rules (pixel centres at whole
// coordinates, top-left fill rule), Clear, and device loss with the real
// rule that Reset is refused while default-pool resources live.
//
// Numeric choices where graphics hardware differs (fixed here so that
// results are deterministic): texel channels widen to 8 bits as
// c × 255 / max (truncated); results narrow as (v × max + 127) / 255, which
// gives every narrow value back unchanged; MODULATE is (a × b + 127) / 255;
// a 1-bit alpha is set from 128 up; alpha operation DISABLE passes the
// diffuse alpha.
//
// Speed: a quad that is a screen-aligned rectangle on pixel edges (every
// sprite, fill and copy of the layer) is drawn row by row from texel
// columns worked out once and per-channel tables of the stage results,
// giving exactly the general rasteriser's pixels; any other textured
// triangle of one diffuse colour steps its texel coordinates along each
// row in fixed point, again with the rasteriser's pixels; SetDrawFastPaths(false)
// (soft_draw.h) sends every quad through the general rasteriser.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/soft_draw.h"

namespace plat {

inline constexpr uint32_t D3D_OK = 0;
inline constexpr uint32_t D3DERR_OUTOFVIDEOMEMORY = 0x8876017Cu;
inline constexpr uint32_t D3DERR_DEVICELOST = 0x88760868u;
inline constexpr uint32_t D3DERR_DEVICENOTRESET = 0x88760869u;
inline constexpr uint32_t D3DERR_NOTAVAILABLE = 0x8876086Au;
inline constexpr uint32_t D3DERR_INVALIDCALL = 0x8876086Cu;
inline constexpr uint32_t E_OUTOFMEMORY = 0x8007000Eu;

enum : uint32_t { D3DFMT_A8R8G8B8 = 21, D3DFMT_X8R8G8B8 = 22, D3DFMT_R5G6B5 = 23, D3DFMT_A1R5G5B5 = 25 };
enum : uint32_t { D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1, D3DPOOL_SYSTEMMEM = 2 };
enum : uint32_t { D3DUSAGE_RENDERTARGET = 0x1, D3DUSAGE_DYNAMIC = 0x200, D3DUSAGE_WRITEONLY = 0x8 };
// Texture stage operations and arguments.
enum : uint32_t { D3DTOP_DISABLE = 1, D3DTOP_SELECTARG1 = 2, D3DTOP_SELECTARG2 = 3, D3DTOP_MODULATE = 4,
                  D3DTOP_MODULATE2X = 5, D3DTOP_ADD = 7, D3DTOP_SUBTRACT = 10, D3DTOP_BLENDFACTORALPHA = 14 };
enum : uint32_t { D3DTA_DIFFUSE = 0, D3DTA_CURRENT = 1, D3DTA_TEXTURE = 2, D3DTA_TFACTOR = 3 };
// Blend factors.
enum : uint32_t { D3DBLEND_ZERO = 1, D3DBLEND_ONE = 2, D3DBLEND_SRCALPHA = 5, D3DBLEND_INVSRCALPHA = 6 };
// Render states the layer sets (the numbers the drawing code passes).
enum : uint32_t { D3DRS_ZENABLE = 7, D3DRS_SRCBLEND = 19, D3DRS_DESTBLEND = 20, D3DRS_CULLMODE = 22,
                  D3DRS_ALPHABLENDENABLE = 27, D3DRS_COLORVERTEX = 141, D3DRS_DIFFUSEMATERIALSOURCE = 145 };
// Capability bits.
inline constexpr uint32_t D3DPTEXTURECAPS_POW2 = 0x2;
inline constexpr uint32_t D3DPTEXTURECAPS_SQUAREONLY = 0x20;
inline constexpr uint32_t D3DCAPS2_DYNAMICTEXTURES = 0x20000000;
inline constexpr uint32_t D3DCAPS3_ALPHA_FULLSCREEN_FLIP_OR_DISCARD = 0x20;
inline constexpr uint32_t D3DPRESENT_INTERVAL_DEFAULT = 0;
inline constexpr uint32_t D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000u;
inline constexpr uint32_t D3DFVF_QUAD = 0x144;  // XYZRHW | DIFFUSE | TEX1
inline constexpr int kQuadVertexBytes = 28;

PixelFormat D3DFormatPixels(uint32_t format);

struct DeviceCaps {
  uint32_t textureCaps = 0;
  uint32_t caps2 = D3DCAPS2_DYNAMICTEXTURES;
  uint32_t caps3 = D3DCAPS3_ALPHA_FULLSCREEN_FLIP_OR_DISCARD;
  int maxTextureWidth = 4096;
  int maxTextureHeight = 4096;
};

// The fourteen present parameters, in the order the display set-up fills them.
struct PresentParameters {
  uint32_t backBufferWidth = 0, backBufferHeight = 0, backBufferFormat = 0, backBufferCount = 1;
  uint32_t multiSampleType = 0, multiSampleQuality = 0, swapEffect = 1, deviceWindow = 0;
  uint32_t windowed = 1, enableAutoDepthStencil = 0, autoDepthStencilFormat = 0, flags = 0;
  uint32_t fullScreenRefreshRate = 0, presentationInterval = 0;
};

// Device set-up knobs and failures tests can set.
struct DeviceConfig {
  bool available = true;          // false: creating the Direct3D object gives null
  int driverVersion = 9;          // the display driver's interface version
  DeviceCaps caps;
  bool failCaps = false;
  bool failHardwareDevice = false, failSoftwareDevice = false;
  bool outOfVideoMemory = false;  // default-pool textures cannot be made
  bool failManagedTexture = false, failSystemTexture = false;
  int failVertexBuffers = 0;      // the next n vertex-buffer creations fail
  bool failVertexLock = false;
  bool failBeginScene = false;
  int notResetAfterLoss = 0;      // TestCooperativeLevel says DEVICELOST this many times first
};
DeviceConfig& DeviceConfiguration();

class Device;

class DeviceSurface {
 public:
  uint32_t LockRect(uint8_t*& bits, int& pitch);
  uint32_t UnlockRect();
  int Width() const { return image_.Width(); }
  int Height() const { return image_.Height(); }
  uint32_t Format() const { return format_; }
  uint32_t Pool() const { return pool_; }
  bool IsRenderTarget() const { return renderTarget_; }
  // The writable pixels: the surface counts as changed from here on.
  PixelImage& Image() {
    Touch();
    return image_;
  }
  // The pixels to read (the back buffer's with every draw made so far).
  const PixelImage& Image() const;
  void AddRef() { ++refs_; }
  uint32_t Release();

 private:
  friend class Device;
  friend class DeviceTexture;
  DeviceSurface();
  // Its pixels may change from now on: it takes a new version, and what the
  // device keeps of the frame is drawn first where it reads this surface
  // (or, for the back buffer, at all).
  void Touch();
  Device* device_ = nullptr;
  uint64_t version_;        // new whenever the pixels may have changed, never given twice
  uint32_t keptReads_ = 0;  // draws kept for the frame that read it as their texture
  class DeviceTexture* texture_ = nullptr;  // owning texture of a level surface
  PixelImage image_;
  uint32_t format_ = 0, pool_ = 0;
  bool renderTarget_ = false, lockable_ = true, locked_ = false, backBuffer_ = false;
  uint32_t refs_ = 1;
};

class DeviceTexture {
 public:
  // Level 0 (the only level); adds a reference to the surface.
  uint32_t GetSurfaceLevel(int level, DeviceSurface** out);
  DeviceSurface* Level0() { return &level_; }
  uint32_t Usage() const { return usage_; }
  uint32_t Release();

 private:
  friend class Device;
  friend class DeviceSurface;
  DeviceTexture() = default;
  Device* device_ = nullptr;
  DeviceSurface level_;
  uint32_t usage_ = 0;
  uint32_t refs_ = 1;
};

// A vertex or index buffer: plain bytes.
class DeviceBuffer {
 public:
  uint32_t Lock(uint8_t*& bytes);
  uint32_t Unlock();
  size_t Size() const { return bytes_.size(); }
  const uint8_t* Data() const { return bytes_.data(); }
  uint32_t Release();

 private:
  friend class Device;
  Device* device_ = nullptr;
  std::vector<uint8_t> bytes_;
};

struct QuadVertex {
  float x, y, z, rhw;
  uint32_t diffuse;
  float u, v;
};
static_assert(sizeof(QuadVertex) == kQuadVertexBytes);

// The Direct3D object (adapter queries and device creation).
class Direct3D {
 public:
  static Direct3D* Create();  // null when DeviceConfig::available is false
  uint32_t GetDeviceCaps(DeviceCaps& caps) const;
  // The desktop's refresh rate as the adapter reports it (60 Hz).
  uint32_t AdapterRefreshRate() const { return 60; }
  // hardwareVertexProcessing chooses which injected failure applies.
  uint32_t CreateDevice(const PresentParameters& params, bool hardwareVertexProcessing, Device** out);
  uint32_t Release();
};

class Device {
 public:
  const DeviceCaps& Caps() const { return caps_; }
  uint32_t CreateTexture(int width, int height, uint32_t usage, uint32_t format, uint32_t pool, DeviceTexture** out);
  uint32_t CreateOffscreenPlainSurface(int width, int height, uint32_t format, uint32_t pool, DeviceSurface** out);
  uint32_t CreateVertexBuffer(size_t bytes, DeviceBuffer** out);
  uint32_t CreateIndexBuffer(size_t bytes, DeviceBuffer** out);
  // The back buffer, with a reference added.
  uint32_t GetBackBuffer(DeviceSurface** out);
  uint32_t SetRenderTarget(DeviceSurface* surface);
  DeviceSurface* RenderTarget() const { return renderTarget_; }
  uint32_t BeginScene();
  uint32_t EndScene();
  // Clears rectangles of the render target (null: all of it) to an ARGB colour.
  uint32_t Clear(const Rect* rects, int count, uint32_t argb);
  // The same with a raw value of the target's own format.
  uint32_t ClearRaw(const Rect* rects, int count, uint32_t raw);
  void SetRenderState(uint32_t state, uint32_t value);
  uint32_t GetRenderState(uint32_t state) const;
  void SetSamplerPoint(int sampler) {}
  // Stage 0 only: op, arg1, arg2 for colour and alpha, and the texture factor.
  void SetColorStage(uint32_t op, uint32_t arg1, uint32_t arg2);
  void SetAlphaStage(uint32_t op, uint32_t arg1, uint32_t arg2);
  void SetTextureFactor(uint32_t argb) { textureFactor_ = argb; }
  void SetTexture(DeviceTexture* texture) { texture_ = texture; }
  void SetStreamSource(DeviceBuffer* vertices) { stream_ = vertices; }
  void SetIndices(DeviceBuffer* indices) { indices_ = indices; }
  // Triangle strips of quad vertices. Draws onto the back buffer are kept
  // until Present, which draws them only where the frame's draws differ
  // from the frame before's (the rest of the back buffer holds their pixels
  // already).
  uint32_t DrawPrimitiveStrip(int startVertex, int primitiveCount);
  // ClearRaw of `fill` and then DrawPrimitiveStrip, as one pass over the
  // pixels where the strip is a quad covering exactly that rectangle with a
  // texel a pixel (a picture drawn unkeyed over its key colour's fill).
  uint32_t DrawPrimitiveStripOverFill(int startVertex, int primitiveCount, const Rect& fill, uint32_t raw);
  uint32_t DrawIndexedPrimitiveStrip(int baseVertex, int startIndex, int primitiveCount);
  // A draw the processor makes into the back buffer (text), kept with the
  // device's own: `key` holds all it depends on (two with the same function
  // and key leave the same pixels), `reach` the pixels it may write, and
  // draw(key, size, image, clip) makes it writing only inside `clip`. False
  // when the device does not keep it (another target, or the frame is drawn
  // as it comes): the caller draws it now.
  using ProcessorDrawFn = void (*)(const uint8_t* key, size_t size, PixelImage& image, const Rect& clip);
  bool KeepProcessorDraw(const DeviceSurface* target, const Rect& reach, const void* key, size_t size,
                         ProcessorDrawFn draw);
  // Draws what is kept now (something a kept draw reads is going away).
  void DrawKeptNow() { FlushKept(); }
  // Tests: the rows the last Present drew of what it kept, and the pixels
  // (-1: the frame was drawn as it came).
  int RowsDrawnAtLastPresent() const { return rowsDrawnAtLastPresent_; }
  int PixelsDrawnAtLastPresent() const { return pixelsDrawnAtLastPresent_; }
  uint32_t GetRenderTargetData(DeviceSurface* renderTarget, DeviceSurface* systemCopy);
  uint32_t UpdateSurface(DeviceSurface* systemCopy, DeviceSurface* target);

  // Shows the back buffer through the window host; waits for the emulated
  // vertical blank unless the interval is IMMEDIATE. DEVICELOST while lost.
  uint32_t Present();
  uint32_t TestCooperativeLevel();
  uint32_t Reset(const PresentParameters& params);
  // The device is lost: default-pool pictures are garbage from now on.
  void SimulateDeviceLoss();
  bool Lost() const { return lost_; }
  // Default-pool objects still alive (textures, surfaces, back-buffer references).
  int DefaultPoolObjects() const { return defaultObjects_; }
  int LiveObjects() const { return liveObjects_; }
  uint32_t Release();

 private:
  friend class Direct3D;
  friend class DeviceSurface;
  friend class DeviceTexture;
  friend class DeviceBuffer;
  Device() = default;
  bool MakeBackBuffer();
  // Draws a strip of `count` vertices (count - 2 triangles).
  void DrawStrip(const QuadVertex* v, int count);
  void DrawTriangle(const QuadVertex& a, const QuadVertex& b, const QuadVertex& c);
  // The specialised road of a textured triangle of one diffuse colour (a
  // turned or sheared picture): the covered run of each row found from its
  // edges, texel coordinates stepped across it in fixed point, giving
  // exactly DrawTriangle's pixels. False (nothing drawn) when the triangle
  // is not of that kind or too large for the stepping's error bound.
  bool DrawSteppedTriangle(const QuadVertex& a, const QuadVertex& b, const QuadVertex& c);
  void ShadePixel(int x, int y, uint32_t diffuse, double u, double v);
  // The specialised road of the common quad: a two-triangle strip forming a
  // screen-aligned rectangle on pixel edges with one diffuse colour and a
  // texture mapping along the axes. False when the quad is not of that kind
  // (or a texel choice would sit on the edge-snapping threshold), and the
  // general rasteriser draws it instead.
  // With `under`, the quad's rectangle is first filled with a raw value:
  // done only where the fill and the draw can go as one pass (else false,
  // nothing drawn, and the caller fills, then draws).
  struct FillUnder {
    Rect rect;
    uint32_t raw;
  };
  bool DrawAlignedQuad(const QuadVertex* v, const FillUnder* under = nullptr);
  // The per-channel results of the stage-0 operations for every texel value
  // 0..255 under one diffuse colour, cached while the state is unchanged.
  void UpdateShadeTables(uint32_t diffuse);
  // Works the tables and their flags out for the state in shadeState_.
  void MakeShadeTables();

  DeviceCaps caps_;
  PresentParameters params_;
  DeviceSurface* backBuffer_ = nullptr;
  DeviceSurface* renderTarget_ = nullptr;
  DeviceTexture* texture_ = nullptr;

  // ---- the back buffer's draws of a frame, kept until Present ----
  enum class KeptKind : uint8_t { Clear, Strip, StripOverFill, Processor };
  // A draw with the state it was made in. Two frames' draws are the same
  // when every field and vertex is: they then leave the same pixels where
  // they may reach (left..right, top..bottom) from the same pixels there.
  struct KeptDraw {
    KeptKind kind;
    int left, top, right, bottom;  // the pixels it may write (inclusive), cut to the back buffer
    uint32_t blend, srcBlend, destBlend;
    uint32_t colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2, textureFactor;
    DeviceTexture* texture;
    uint64_t textureVersion;
    Rect rect;     // the clear's, or the fill under the strip
    uint32_t raw;  // the clear's or fill's value
    uint32_t firstVertex, vertexCount;  // in keptVertices_
    ProcessorDrawFn processorDraw;
    uint32_t firstKeyByte, keySize;  // the processor draw's key, in keptKeys_
    bool SameAs(const KeptDraw& other) const;  // all but where the vertices and key lie
  };
  // True when a draw onto the render target is to be kept; false when it is
  // to be drawn now (after drawing what is kept, where the target is the
  // back buffer).
  bool KeepsDraw();
  void Keep(KeptKind kind, const QuadVertex* v, int count, const Rect& rect, uint32_t raw);
  // Draws what is kept, whole; the rest of the frame is drawn as it comes.
  void FlushKept();
  void StopKeepingIfFull();
  void DrawKept(const KeptDraw& d, const QuadVertex* v);
  // Draws the kept draws that reach the rectangle, only there (inclusive).
  void DrawKeptRect(int left, int top, int right, int bottom);
  void ForgetKept();
  // Draws the frame's kept draws where needed; `mayDiffer` gets where the
  // back buffer may differ from the last Present.
  void FinishFrame(FrameChanges& mayDiffer);
  FrameChanges mayDiffer_;
  void ClearNow(const Rect& rect, uint32_t raw);
  std::vector<KeptDraw> kept_, lastKept_;
  std::vector<QuadVertex> keptVertices_, lastKeptVertices_;
  std::vector<uint8_t> keptKeys_, lastKeptKeys_;
  bool frameAsItCame_ = false;  // drawn as it came (a flush, a write by the processor): no list to compare with
  bool lastKeptValid_ = false;  // lastKept_ lists the whole frame before
  // A frame is compared in tiles: each row split into (at most) 32 runs of
  // columns, a row's tiles a bit mask.
  static constexpr int kTilesInRow = 32;
  int tileWidth_ = 1;
  uint32_t TileMask(int left, int right) const;  // the tiles columns left..right meet
  std::vector<uint32_t> lastDirty_;  // each row's tiles the frame before drew (or may have changed)
  // Storage FinishFrame keeps from frame to frame: each row's tiles to draw,
  // and those any draw reaches; the frame's clears and fills, a row's spans
  // of them.
  std::vector<uint32_t> dirty_, touched_;
  std::vector<Rect> fills_;
  std::vector<std::pair<int, int>> covers_;
  int clipLeft_ = 0, clipTop_ = 0, clipRight_ = 1 << 30, clipBottom_ = 1 << 30;
  int rowsDrawnAtLastPresent_ = -1, pixelsDrawnAtLastPresent_ = -1;
  // Frames in a row that drew every pixel of what they kept; after a few (or
  // a frame of too many draws), keeping costs more than it spares (a busy
  // stage), and the next frames (keepPause_ of them) are drawn as they come.
  int wholeFramesInARow_ = 0, keepPause_ = 0;
  DeviceBuffer* stream_ = nullptr;
  DeviceBuffer* indices_ = nullptr;
  uint32_t colorOp_ = D3DTOP_MODULATE, colorArg1_ = D3DTA_TEXTURE, colorArg2_ = D3DTA_CURRENT;
  uint32_t alphaOp_ = D3DTOP_SELECTARG1, alphaArg1_ = D3DTA_TEXTURE, alphaArg2_ = D3DTA_CURRENT;
  uint32_t textureFactor_ = 0xFFFFFFFFu;
  uint32_t renderStates_[256] = {};
  bool inScene_ = false;
  bool lost_ = false;
  int lostChecks_ = 0;
  int defaultObjects_ = 0;
  int liveObjects_ = 0;
  std::vector<DeviceTexture*> defaultTextures_;
  FramePresenter presenter_;  // the back buffer converted by Present and handed to the window host
  // Shade tables (alpha, red, green, blue) and the state they were made for:
  // colour op and args, alpha op and args, diffuse, texture factor.
  uint8_t shadeTables_[4][256] = {};
  uint32_t shadeState_[8] = {};
  bool shadeValid_ = false;
  bool shadeIdentity_ = false;  // every table gives its texel value back
  bool shadeConstant_ = false;  // no table depends on the texel
  // Every table is (texel × mul + add + 127) / 255 (alpha, red, green, blue):
  // the aligned quad then blends by arithmetic instead of lookups.
  bool shadeAffine_ = false;
  // The colour tables give the texel back and the alpha table is 255
  // throughout (alpha DISABLE under an opaque diffuse, as the screen
  // effects draw): a 32-bit texel then lands as the opaque X8R8G8B8 texel
  // of the same colour would, blended or not.
  bool shadeOpaqueColour_ = false;
  // The last few states' tables and flags: a frame that switches between a
  // few states (an effect's fills, copies and draws) works each out once.
  struct ShadeSet {
    uint32_t state[8];
    uint8_t tables[4][256];
    uint32_t mul[4], add[4];
    bool identity, constant, affine, opaqueColour;
  };
  // The last answer of the aligned quad's one-texel-per-pixel test at each
  // of its three uses (columns, mirrored columns, rows), by the inputs it
  // depends on: a run of sprites of one picture cell asks the same.
  struct NearUnitMemo {
    double offset = 0, extent = 0, from = 0, to = 0, size = 0, dir = 0;
    int n = -1;
    bool unit = false;
    int32_t start = 0;
  };
  NearUnitMemo nearUnitMemo_[3];
  static constexpr int kShadeSets = 4;
  ShadeSet shadeSets_[kShadeSets] = {};
  int shadeSetCount_ = 0, shadeSetNext_ = 0;
  uint32_t shadeMul_[4] = {}, shadeAdd_[4] = {};
  // Texel column of each pixel column and texel row of each pixel row of
  // the aligned quad being drawn.
  std::vector<int32_t> texelColumns_, texelRows_;
  // Byte offsets of the texels of the triangle run being drawn.
  std::vector<uint32_t> texelOffsets_;
  std::vector<uint8_t> texelUndecided_;  // 1: work the texel out the rasteriser's way
  std::vector<uint8_t> gathered_;  // texels of one row of an enlarged aligned quad
  std::vector<const uint8_t*> texelRowStarts_;  // each pixel row's first texel of the aligned quad
};

}  // namespace plat

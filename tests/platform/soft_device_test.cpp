// The software Direct3D stand-in: rasteriser rules, blending, the
// device-loss protocol, its specialised loops against the rasteriser, and
// the frames it keeps until Present.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/soft_device.h"
#include "platform/soft_draw.h"
#include "soft_draw_fixture.h"

namespace plat {
namespace {

// A device with a back buffer of its own and one vertex buffer for quads.
struct DeviceFixture : DrawFixture {
  static PresentParameters Parameters(uint32_t backFormat, int w, int h) {
    PresentParameters pp;
    pp.backBufferWidth = w, pp.backBufferHeight = h, pp.backBufferFormat = backFormat;
    pp.presentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return pp;
  }
  void Make(uint32_t backFormat, int w = 16, int h = 16) {
    Release();
    d3d = Direct3D::Create();
    ASSERT_EQ(d3d->CreateDevice(Parameters(backFormat, w, h), true, &dev), D3D_OK);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    ASSERT_EQ(dev->CreateVertexBuffer(112, &vb), D3D_OK);
  }
  void Release() {
    for (DeviceTexture* t : textures) t->Release();
    textures.clear();
    if (vb) vb->Release(), vb = nullptr;
    if (dev) dev->Release(), dev = nullptr;
    if (d3d) d3d->Release(), d3d = nullptr;
  }
  void TearDown() override {
    Release();
    DrawFixture::TearDown();
  }
  // A strip of the quad in the order the layer writes (top-left, bottom-left,
  // top-right, bottom-right) or with the other diagonal.
  void Draw(const float* box, const float* uv, uint32_t diffuse, bool otherDiagonal = false, bool now = true) {
    QuadVertex v[4] = {{box[0], box[1], 0, 1, diffuse, uv[0], uv[1]}, {box[0], box[3], 0, 1, diffuse, uv[0], uv[3]},
                       {box[2], box[1], 0, 1, diffuse, uv[2], uv[1]}, {box[2], box[3], 0, 1, diffuse, uv[2], uv[3]}};
    if (otherDiagonal) std::swap(v[0], v[1]), std::swap(v[2], v[3]);
    DrawQuad(v, now);
  }
  // The quad's strip put in the stream, then (with `now`) drawn.
  void DrawQuad(const QuadVertex (&v)[4], bool now = true) {
    uint8_t* bytes;
    ASSERT_EQ(vb->Lock(bytes), D3D_OK);
    std::memcpy(bytes, v, sizeof v);
    dev->SetStreamSource(vb);
    if (now) {
      ASSERT_EQ(dev->DrawPrimitiveStrip(0, 2), D3D_OK);
    }
  }
  // A 70x9 quad turned by 30 degrees about (50, 12), reading texels (0..70,
  // 0..9) of an 80x10 sheet under `diffuse`.
  void DrawTurned(uint32_t diffuse) {
    const float sn = 0.5f, cs = 0.8660254f;
    QuadVertex v[4];
    const int corners[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (int i = 0; i < 4; ++i) {
      const float rx = (corners[i][0] ? 70.0f : 0.0f) - 35.0f, ry = (corners[i][1] ? 9.0f : 0.0f) - 4.5f;
      v[i] = {rx * cs - ry * sn + 50.0f - 0.5f, rx * sn + ry * cs + 12.0f - 0.5f, 0, 1, diffuse,
              corners[i][0] ? 0.875f : 0.0f, corners[i][1] ? 0.9f : 0.0f};
    }
    DrawQuad(v);
  }
  // A sprite as the layer draws it: texels (sx, sy, sw, sh) to the pixels
  // (dx, dy, dw, dh), the texture modulated by the diffuse colour. Without
  // `now`, the state and vertices are set and nothing is drawn yet.
  void Draw(DeviceTexture* tex, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh, uint32_t diffuse,
            uint32_t alphaOp = D3DTOP_MODULATE, bool now = true) {
    const float tw = static_cast<float>(tex->Level0()->Width()), th = static_cast<float>(tex->Level0()->Height());
    const float box[4] = {dx - 0.5f, dy - 0.5f, dx + dw - 0.5f, dy + dh - 0.5f};
    const float uv[4] = {sx / tw, sy / th, (sx + sw) / tw, (sy + sh) / th};
    dev->SetTexture(tex);
    dev->SetColorStage(D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    dev->SetAlphaStage(alphaOp, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    Draw(box, uv, diffuse, false, now);
  }
  DeviceTexture* Texture(int w, int h, uint32_t format, Noise& noise) {
    DeviceTexture* t = nullptr;
    EXPECT_EQ(dev->CreateTexture(w, h, 0, format, D3DPOOL_MANAGED, &t), D3D_OK);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint32_t v = noise.Next();
        // Whole and partial alphas both occur.
        if (format == D3DFMT_A8R8G8B8) v = (v & 0x00FFFFFFu) | ((v % 3 == 0) ? 0u : (v % 3 == 1) ? 0xFF000000u : (v << 24));
        t->Level0()->Image().Set(x, y, v);
      }
    textures.push_back(t);
    return t;
  }
  Direct3D* d3d = nullptr;
  Device* dev = nullptr;
  DeviceBuffer* vb = nullptr;
  std::vector<DeviceTexture*> textures;
};

TEST_F(DeviceFixture, QuadsCoverExactlyTheirPixelsAndSampleLikeTheProcessor) {
  Make(D3DFMT_X8R8G8B8);
  Noise noise{0};
  DeviceTexture* tex = Texture(8, 1, D3DFMT_A8R8G8B8, noise);
  for (int x = 0; x < 8; ++x) tex->Level0()->Image().Set(x, 0, 0xFF000000u | (x + 1));
  PixelImage& bb = dev->RenderTarget()->Image();
  const uint32_t kBack = 0xFF777777u;
  struct Case {
    int dw, sx, sw;
    std::vector<int> texels;  // texel read by each destination column
  } cases[] = {
      {4, 2, 4, {2, 3, 4, 5}},          // 1:1
      {8, 0, 4, {0, 0, 1, 1, 2, 2, 3, 3}},  // whole-factor up-scale
      {4, 6, -4, {5, 4, 3, 2}},         // mirrored: column k reads sx − k − 1
  };
  for (const Case& c : cases) {
    dev->Clear(nullptr, 0, kBack);
    Draw(tex, 3, 2, c.dw, 2, c.sx, 0, c.sw, 1, 0xFFFFFFFFu);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const bool inside = x >= 3 && x < 3 + c.dw && y >= 2 && y < 4;
        const uint32_t want = inside ? 0xFF000000u | (c.texels[x - 3] + 1) : kBack;
        ASSERT_EQ(bb.Get(x, y), want) << x << "," << y << " dw " << c.dw;
      }
  }
  // Two quads side by side neither overlap nor leave a gap (top-left rule):
  // drawn at half alpha, a doubly covered pixel would come out darker.
  dev->Clear(nullptr, 0, 0xFF000000u);
  for (int x = 0; x < 8; ++x) tex->Level0()->Image().Set(x, 0, 0xFFFFFFFFu);
  Draw(tex, 0, 0, 3, 3, 0, 0, 1, 1, 0x80FFFFFFu);
  Draw(tex, 3, 0, 3, 3, 0, 0, 1, 1, 0x80FFFFFFu);
  for (int x = 0; x < 7; ++x) EXPECT_EQ(bb.Get(x, 1) & 0xFF, x < 6 ? 0x80u : 0u) << x;
}

TEST_F(DeviceFixture, ResetIsRefusedWhileDefaultPoolObjectsLive) {
  Make(D3DFMT_X8R8G8B8);
  DeviceTexture *rt, *managed;
  ASSERT_EQ(dev->CreateTexture(4, 4, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &rt), D3D_OK);
  ASSERT_EQ(dev->CreateTexture(4, 4, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed), D3D_OK);
  managed->Level0()->Image().Set(0, 0, 0xFF123456u);
  DeviceSurface* back;
  dev->GetBackBuffer(&back);
  uint8_t* bits;
  int pitch;
  EXPECT_NE(rt->Level0()->LockRect(bits, pitch), D3D_OK);  // render targets are not lockable

  DeviceConfiguration().notResetAfterLoss = 1;
  dev->SimulateDeviceLoss();
  EXPECT_EQ(dev->Present(), D3DERR_DEVICELOST);
  EXPECT_EQ(dev->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(dev->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  const PresentParameters pp = Parameters(D3DFMT_X8R8G8B8, 16, 16);
  EXPECT_EQ(dev->Reset(pp), D3DERR_INVALIDCALL);  // the render target and the back-buffer reference
  rt->Release();
  EXPECT_EQ(dev->Reset(pp), D3DERR_INVALIDCALL);  // still the back-buffer reference
  back->Release();
  EXPECT_EQ(dev->Reset(pp), D3D_OK);
  EXPECT_EQ(managed->Level0()->Image().Get(0, 0), 0xFF123456u);  // managed pool survives
  managed->Release();
}

// ---- the specialised loops against the general road ----

// The fast road at every vector level this processor runs, each against the
// general road (the fast road's pixels at the widest level go to `fast`).
template <class Draw>
void ExpectBothRoadsAtEveryLevel(PixelImage& target, Draw draw, std::vector<uint8_t>* fast = nullptr) {
  struct Restore {
    ~Restore() { SetDrawVectorLimit(2); }
  } restore;
  for (int level = 0, top = DrawVectorLevelLimit(); level <= top; ++level) {
    SCOPED_TRACE(testing::Message() << "vector level " << level);
    SetDrawVectorLimit(level);
    auto [drawn, general] = BothRoads(target, draw);
    ASSERT_EQ(drawn, general);
    if (fast && level == top) *fast = std::move(drawn);
  }
}

TEST_F(DeviceFixture, AlignedQuadsMatchTheRasteriser) {
  struct Stage {
    uint32_t colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2;
  };
  const Stage stages[] = {
      {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE},  // sprites
      {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE},
      {D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_TFACTOR},  // fills
      {D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE},   // fill batch
      {D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE},
      {D3DTOP_BLENDFACTORALPHA, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SUBTRACT, D3DTA_TEXTURE, D3DTA_DIFFUSE},
      {D3DTOP_BLENDFACTORALPHA, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE},
  };
  const uint32_t blends[][3] = {{1, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA}, {0, 0, 0}, {1, D3DBLEND_ZERO, D3DBLEND_ONE}};
  // Destination box (pixel edges), texel rectangle (in texels of an 8 × 4
  // texture unless noted): 1:1, part, up, down, mirrored, upside down,
  // wrapping, cut at each edge, off the target, an odd scale, off the pixel edges.
  struct Case {
    float box[4];
    float texels[4];
  } cases[] = {
      {{1.5f, 2.5f, 9.5f, 6.5f}, {0, 0, 8, 4}},     {{4.5f, 0.5f, 9.5f, 3.5f}, {2, 1, 7, 4}},
      {{-0.5f, -0.5f, 15.5f, 7.5f}, {0, 0, 8, 4}},  {{0.5f, 0.5f, 3.5f, 2.5f}, {0, 0, 8, 4}},
      {{3.5f, 3.5f, 11.5f, 7.5f}, {8, 0, 0, 4}},    {{3.5f, 3.5f, 11.5f, 7.5f}, {0, 4, 8, 0}},
      {{-0.5f, 9.5f, 19.5f, 13.5f}, {4, 0, 24, 4}}, {{-3.5f, -2.5f, 4.5f, 1.5f}, {0, 0, 8, 4}},
      {{35.5f, 26.5f, 43.5f, 30.5f}, {0, 0, 8, 4}}, {{49.5f, 0.5f, 57.5f, 4.5f}, {0, 0, 8, 4}},
      {{-0.5f, -0.5f, 6.5f, 4.5f}, {0, 0, 3, 2}},   {{1.25f, 2.5f, 9.25f, 6.5f}, {0, 0, 8, 4}},
      {{0.5f, 0.5f, 38.5f, 28.5f}, {-3, 5, 11, -2}},
      {{1.5f, 2.75f, 9.5f, 6.75f}, {0, 0, 8, 4}},   {{-7.5f, 1.5f, 0.5f, 5.0f}, {0, 0, 8, 4}},  // off the row edges
      // Halved: every pixel centre falls on a texel edge, where the
      // rasteriser's snapping decides (the 100-wide sheet's u is inexact).
      {{0.5f, 0.5f, 4.5f, 2.5f}, {0, 0, 8, 4}},     {{6.5f, 3.5f, 9.5f, 5.5f}, {2, 0, 8, 4}},
  };
  const uint32_t backFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5};
  const uint32_t texFormats[] = {D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5};
  int variant = 0;
  for (uint32_t backFormat : backFormats) {
    SCOPED_TRACE(testing::Message() << "back buffer format " << backFormat);
    Make(backFormat, 40, 30);
    Noise noise{backFormat};
    PixelImage& target = dev->RenderTarget()->Image();
    noise.Fill(target);
    std::vector<std::pair<DeviceTexture*, float>> sheets;  // texture, texel scale of the cases
    for (uint32_t f : texFormats) sheets.push_back({Texture(8, 4, f, noise), 1.0f});
    sheets.push_back({Texture(100, 12, D3DFMT_A8R8G8B8, noise), 11.0f});  // u of a 100-wide sheet is inexact in float
    sheets.push_back({Texture(100, 12, D3DFMT_A8R8G8B8, noise), 1.0f});   // and one texel per pixel
    sheets.push_back({nullptr, 1.0f});
    dev->SetTextureFactor(0x80123456u);
    for (const auto& [texture, scale] : sheets)
      for (const Case& c : cases)
        for (bool otherDiagonal : {false, true}) {
          const Stage& st = stages[variant % std::size(stages)];
          const uint32_t* bl = blends[(variant / std::size(stages)) % 3];
          const uint32_t diffuse = (variant / 2) % 2 ? 0x80FF8040u : 0xFFFFFFFFu;
          ++variant;
          dev->SetTexture(texture);
          dev->SetColorStage(st.colorOp, st.colorArg1, st.colorArg2);
          dev->SetAlphaStage(st.alphaOp, st.alphaArg1, st.alphaArg2);
          dev->SetRenderState(D3DRS_ALPHABLENDENABLE, bl[0]);
          dev->SetRenderState(D3DRS_SRCBLEND, bl[1]);
          dev->SetRenderState(D3DRS_DESTBLEND, bl[2]);
          const float tw = texture ? static_cast<float>(texture->Level0()->Width()) : 8.0f;
          const float th = texture ? static_cast<float>(texture->Level0()->Height()) : 4.0f;
          const float uv[4] = {c.texels[0] * scale / tw, c.texels[1] / th, c.texels[2] * scale / tw, c.texels[3] / th};
          SCOPED_TRACE(testing::Message() << "box " << c.box[0] << "," << c.box[1] << " texels " << c.texels[0] << ","
                                          << c.texels[2] << " scale " << scale << " variant " << variant
                                          << (otherDiagonal ? " other diagonal" : ""));
          ASSERT_NO_FATAL_FAILURE(
              ExpectBothRoadsAtEveryLevel(target, [&] { Draw(c.box, uv, diffuse, otherDiagonal); }));
        }
  }
}

TEST_F(DeviceFixture, TurnedQuadsMatchTheRasteriser) {
  // A w × h picture turned about its centre and placed at (cx, cy) as the
  // layer's rotation places it; texels (sx, sy, sw, sh) of the texture.
  struct Case {
    int angle, w, h;
    float cx, cy;
    int sx, sy, sw, sh;
  } cases[] = {
      {30, 16, 12, 20, 15, 0, 0, 8, 4},     {45, 8, 8, 10.5f, 9, 0, 0, 8, 4},   {90, 10, 6, 20, 15, 1, 1, 6, 3},
      {137, 33, 21, 20, 15, 0, 0, 8, 4},    {180, 7, 5, 3, 4, 0, 0, 8, 4},      {200, 50, 40, 20, 15, -2, 0, 12, 4},
      {271, 12, 30, 38, 2, 8, 0, -8, 4},    {315, 60, 9, 20, 15, 0, 4, 8, -4},  {1, 39, 29, 20, 15, 0, 0, 8, 4},
      {359, 5, 3, 0.25f, 29.75f, 0, 0, 3, 2}, {60, 300, 200, 100, 75, 0, 0, 8, 4},  // long runs on the big target
  };
  const uint32_t blends[][3] = {{1, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA}, {0, 0, 0}};
  const uint32_t backFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5};
  const uint32_t texFormats[] = {D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5};
  for (int big = 0; big < 2; ++big)
    for (uint32_t backFormat : backFormats) {
      SCOPED_TRACE(testing::Message() << "back buffer format " << backFormat << (big ? " big" : ""));
      Make(backFormat, big ? 200 : 40, big ? 150 : 30);
      Noise noise{backFormat};
      PixelImage& target = dev->RenderTarget()->Image();
      noise.Fill(target);
      std::vector<DeviceTexture*> sheets;
      for (uint32_t f : texFormats) sheets.push_back(Texture(8, 4, f, noise));
      int variant = 0;
      for (DeviceTexture* texture : sheets)
        for (const Case& c : cases) {
          if ((c.w > 100) != (big == 1)) continue;
          const uint32_t* bl = blends[variant % 2];
          const uint32_t diffuse = variant % 3 ? 0xFFFFFFFFu : 0x80FF8040u;
          ++variant;
          dev->SetTexture(texture);
          dev->SetColorStage(D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
          dev->SetAlphaStage(D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
          dev->SetRenderState(D3DRS_ALPHABLENDENABLE, bl[0]);
          dev->SetRenderState(D3DRS_SRCBLEND, bl[1]);
          dev->SetRenderState(D3DRS_DESTBLEND, bl[2]);
          const double rad = c.angle * 3.14159265358979323846 / 180.0;
          const float sn = static_cast<float>(std::sin(rad)), cs = static_cast<float>(std::cos(rad));
          QuadVertex v[4];
          const int corners[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
          for (int i = 0; i < 4; ++i) {
            const float rx = (corners[i][0] ? c.w : 0) - c.w / 2.0f, ry = (corners[i][1] ? c.h : 0) - c.h / 2.0f;
            v[i] = {rx * cs - ry * sn + c.cx - 0.5f, rx * sn + ry * cs + c.cy - 0.5f, 0, 1, diffuse,
                    (c.sx + (corners[i][0] ? c.sw : 0)) / 8.0f, (c.sy + (corners[i][1] ? c.sh : 0)) / 4.0f};
          }
          SCOPED_TRACE(testing::Message() << "angle " << c.angle << " size " << c.w << "x" << c.h << " variant " << variant);
          const std::vector<uint8_t> start = Bytes(target);
          std::vector<uint8_t> fast;
          ASSERT_NO_FATAL_FAILURE(ExpectBothRoadsAtEveryLevel(target, [&] { DrawQuad(v); }, &fast));
          EXPECT_NE(fast, start);
        }
    }
}

// Texels drawn as they are (the sprites of the layer: white diffuse) take
// the select loops, a whole quad a call, with masked stores where the
// processor has them; they must give the rasteriser's pixels for every pair
// of formats, for rows of every length around the vector widths (tails of
// 1 to 31 pixels), cut at both edges, wrapping round the texture, enlarged
// (texels gathered) and turned (texels gathered along the run), at every
// vector level this processor runs.
TEST_F(DeviceFixture, SpriteSelectsMatchTheRasteriser) {
  PixelImage::SetExtraPitchForTest(12);
  struct Case {
    int dx, dy, dw, dh, sx, sy, sw, sh;
  } cases[] = {
      {3, 2, 1, 3, 0, 0, 1, 3},      {3, 2, 7, 3, 5, 1, 7, 3},       {0, 0, 8, 2, 0, 0, 8, 2},
      {10, 5, 15, 4, 2, 2, 15, 4},   {20, 1, 16, 3, 0, 0, 16, 3},    {1, 3, 17, 2, 60, 0, 17, 2},
      {40, 6, 31, 5, 10, 3, 31, 5},  {0, 0, 32, 4, 40, 5, 32, 4},    {50, 10, 33, 3, 1, 1, 33, 3},
      {-5, 4, 63, 3, 0, 0, 63, 3},   {36, 0, 64, 2, 16, 2, 64, 2},   {-20, 20, 65, 6, 0, 4, 65, 6},
      {70, 9, 80, 3, 0, 0, 80, 3},   {2, 12, 70, 3, 70, 7, 70, 3},   {5, 5, 96, 4, 8, 0, 48, 2},
      {0, 14, 99, 7, 3, 3, 33, 3},   {-7, -2, 61, 5, 75, 8, 20, 5},
  };
  const uint32_t formats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5};
  for (uint32_t backFormat : formats) {
    Make(backFormat, 100, 24);
    Noise noise{backFormat * 7};
    PixelImage& target = dev->RenderTarget()->Image();
    noise.Fill(target);
    for (uint32_t texFormat : formats) {
      DeviceTexture* sheet = Texture(80, 10, texFormat, noise);
      if (texFormat == D3DFMT_A8R8G8B8) {
        // The alphas at the edges of whole, partial and none, on every row.
        PixelImage& texels = sheet->Level0()->Image();
        const uint32_t edges[] = {0x00u, 0x01u, 0xFEu, 0xFFu};
        for (int y = 0; y < 10; ++y)
          for (int x = y % 3; x < 80; x += 3)
            texels.Set(x, y, (texels.Get(x, y) & 0x00FFFFFFu) | edges[(x / 3 + y) % 4] << 24);
      }
      for (bool blend : {true, false}) {
        dev->SetRenderState(D3DRS_ALPHABLENDENABLE, blend ? 1 : 0);
        for (const Case& c : cases) {
          SCOPED_TRACE(testing::Message() << "back " << backFormat << " texture " << texFormat << " blend " << blend
                                          << " at " << c.dx << "," << c.dy << " " << c.dw << "x" << c.dh << " from "
                                          << c.sx << "," << c.sy << " " << c.sw << "x" << c.sh);
          ASSERT_NO_FATAL_FAILURE(ExpectBothRoadsAtEveryLevel(
              target, [&] { Draw(sheet, c.dx, c.dy, c.dw, c.dh, c.sx, c.sy, c.sw, c.sh, 0xFFFFFFFFu); }));
        }
        // Turned by 30 degrees about the target's middle.
        SCOPED_TRACE(testing::Message() << "turned, back " << backFormat << " texture " << texFormat << " blend " << blend);
        ASSERT_NO_FATAL_FAILURE(ExpectBothRoadsAtEveryLevel(target, [&] { DrawTurned(0xFFFFFFFFu); }));
      }
    }
  }
}

// The screen effects draw with the alpha operation DISABLE under a white
// diffuse: every texel lands opaque in its own colour, which 32-bit textures
// take as an unblended copy. Against the rasteriser for every pair of
// formats, at 1:1 (rows around the vector widths), enlarged, reduced,
// mirrored and turned, blended or not; a diffuse alpha below 255 keeps the
// blend.
TEST_F(DeviceFixture, OpaqueColourDrawsMatchTheRasteriser) {
  PixelImage::SetExtraPitchForTest(12);
  struct Case {
    int dx, dy, dw, dh, sx, sy, sw, sh;
  } cases[] = {
      {3, 2, 1, 3, 0, 0, 1, 3},     {10, 5, 15, 4, 2, 2, 15, 4},  {20, 1, 16, 3, 0, 0, 16, 3},
      {1, 3, 17, 2, 60, 0, 17, 2},  {50, 10, 33, 3, 1, 1, 33, 3}, {-20, 12, 65, 6, 0, 4, 65, 6},
      {5, 5, 96, 7, 8, 0, 48, 3},   {0, 14, 31, 9, 3, 3, 62, 5},  {7, 1, 40, 5, 45, 2, -40, 5},
  };
  const uint32_t formats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5};
  for (uint32_t backFormat : formats) {
    Make(backFormat, 100, 24);
    Noise noise{backFormat * 11};
    PixelImage& target = dev->RenderTarget()->Image();
    noise.Fill(target);
    for (uint32_t texFormat : formats) {
      DeviceTexture* sheet = Texture(80, 10, texFormat, noise);
      for (uint32_t diffuse : {0xFFFFFFFFu, 0x80FFFFFFu})
        for (bool blend : {true, false}) {
          dev->SetRenderState(D3DRS_ALPHABLENDENABLE, blend ? 1 : 0);
          for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "back " << backFormat << " texture " << texFormat << " diffuse "
                                            << std::hex << diffuse << std::dec << " blend " << blend << " at " << c.dx
                                            << "," << c.dy << " " << c.dw << "x" << c.dh << " from " << c.sx << ","
                                            << c.sy << " " << c.sw << "x" << c.sh);
            auto [fast, general] = BothRoads(
                target, [&] { Draw(sheet, c.dx, c.dy, c.dw, c.dh, c.sx, c.sy, c.sw, c.sh, diffuse, D3DTOP_DISABLE); });
            ASSERT_EQ(fast, general);
          }
          // Turned by 30 degrees about the target's middle.
          SCOPED_TRACE(testing::Message() << "turned, back " << backFormat << " texture " << texFormat);
          auto [fast, general] = BothRoads(target, [&] { DrawTurned(diffuse); });
          ASSERT_EQ(fast, general);
        }
    }
  }
}

// A fill of a partly transparent colour (the stage's fades) blends each
// pixel by arithmetic in the vector loops: against the rasteriser for every
// target format and vector level, over rows of every length around the
// vector widths, and alphas at both ends of the range.
TEST_F(DeviceFixture, BlendedFillsMatchTheRasteriserAtEveryVectorLevel) {
  PixelImage::SetExtraPitchForTest(12);
  const int widths[] = {1, 2, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 65, 100};
  const uint32_t colours[] = {0x01FFFFFFu, 0x80123456u, 0xD3000000u, 0xFEFF80C0u, 0x3C7F0001u};
  const uint32_t formats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5};
  for (uint32_t backFormat : formats) {
    Make(backFormat, 100, 8);
    Noise noise{backFormat * 17};
    PixelImage& target = dev->RenderTarget()->Image();
    noise.Fill(target);
    dev->SetTexture(nullptr);
    dev->SetColorStage(D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    dev->SetAlphaStage(D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    int variant = 0;
    for (int w : widths)
      for (int level = 0; level <= DrawVectorLevelLimit(); ++level) {
        const uint32_t colour = colours[variant++ % std::size(colours)];
        const float left = static_cast<float>(variant % 3) - 0.5f;
        const float box[4] = {left, 1.5f, left + static_cast<float>(w), 6.5f};
        const float uv[4] = {0, 0, 1, 1};
        SCOPED_TRACE(testing::Message() << "back " << backFormat << " width " << w << " colour " << std::hex << colour
                                        << std::dec << " level " << level);
        SetDrawVectorLimit(level);
        auto [fast, general] = BothRoads(target, [&] { Draw(box, uv, colour); });
        SetDrawVectorLimit(2);
        ASSERT_EQ(fast, general);
        if (colour >> 24 >= 0x10) {
          EXPECT_NE(fast, Bytes(target));  // an alpha of 1 can round to no change
        }
      }
  }
}

// Pictures drawn mirrored (texture columns right to left), at every vector
// level of the texel reversal, against the general road: widths around each
// step size, runs that start at the texture's column 0 or its last one, a
// run that wraps, every texture and target format, blended or not.
TEST_F(DeviceFixture, MirroredSpritesMatchTheRasteriserAtEveryVectorLevel) {
  PixelImage::SetExtraPitchForTest(12);
  struct Case {
    int dx, dy, dw, sx;  // sx: the texel column of the pixel left of the first; dw texels to the left of it
  } cases[] = {
      {3, 2, 1, 1},   {0, 0, 7, 7},   {5, 1, 8, 8},    {9, 3, 9, 20},  {1, 0, 15, 15}, {2, 2, 16, 16},
      {4, 1, 17, 40}, {0, 3, 31, 31}, {6, 0, 32, 32},  {7, 2, 33, 33}, {1, 1, 63, 79}, {3, 0, 64, 64},
      {2, 4, 65, 80}, {-9, 1, 40, 50}, {80, 2, 40, 45}, {10, 1, 30, 20},  // the last wraps past column 0
  };
  const uint32_t formats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5};
  for (uint32_t backFormat : formats) {
    Make(backFormat, 100, 12);
    Noise noise{backFormat * 13};
    PixelImage& target = dev->RenderTarget()->Image();
    noise.Fill(target);
    for (uint32_t texFormat : formats) {
      DeviceTexture* sheet = Texture(80, 10, texFormat, noise);
      for (bool blend : {true, false}) {
        dev->SetRenderState(D3DRS_ALPHABLENDENABLE, blend ? 1 : 0);
        for (const Case& c : cases)
          for (int level = 0; level <= DrawVectorLevelLimit(); ++level) {
            SCOPED_TRACE(testing::Message() << "back " << backFormat << " texture " << texFormat << " blend " << blend
                                            << " at " << c.dx << "," << c.dy << " " << c.dw << " wide from column "
                                            << c.sx << ", level " << level);
            SetDrawVectorLimit(level);
            auto [fast, general] =
                BothRoads(target, [&] { Draw(sheet, c.dx, c.dy, c.dw, 5, c.sx, 2, -c.dw, 5, 0xFFFFFFFFu); });
            SetDrawVectorLimit(2);
            ASSERT_EQ(fast, general);
          }
      }
    }
  }
}

// A picture drawn blended over a fill of its own rectangle, as one call:
// against a fill and then a draw on the general road, for every pair of
// formats, at every vector level, with rows around the vector widths,
// quads cut at the target's edges, texture rows that wrap, and draws that
// cannot go as one pass (a mirrored picture, a fill larger than the quad).
TEST_F(DeviceFixture, DrawsOverAFillMatchAFillThenADraw) {
  PixelImage::SetExtraPitchForTest(12);
  struct Case {
    int dx, dy, dw, dh, sx, sy, sw, sh;
    int grow;  // the fill reaches this far right of the quad
  } cases[] = {
      {3, 2, 1, 3, 0, 0, 1, 3, 0},    {0, 0, 15, 4, 2, 2, 15, 4, 0},  {5, 1, 16, 3, 0, 0, 16, 3, 0},
      {1, 3, 17, 2, 60, 0, 17, 2, 0}, {40, 6, 33, 5, 10, 3, 33, 5, 0}, {-5, 4, 63, 3, 0, 0, 63, 3, 0},
      {70, 9, 80, 3, 0, 0, 80, 3, 0}, {2, -2, 20, 6, 4, 0, 20, 6, 0},  {9, 20, 30, 8, 0, 0, 30, 8, 0},
      {6, 4, 31, 5, 3, 7, 31, 5, 0},  {7, 1, 40, 5, 45, 2, -40, 5, 0}, {4, 2, 12, 3, 0, 0, 12, 3, 2},
  };
  const uint32_t formats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5};
  for (uint32_t backFormat : formats) {
    Make(backFormat, 100, 24);
    Noise noise{backFormat * 19};
    PixelImage& target = dev->RenderTarget()->Image();
    noise.Fill(target);
    const uint32_t fill = target.BytesPerPixel() == 2 ? 0xF81Fu : 0x00FF00FFu;
    for (uint32_t texFormat : formats) {
      DeviceTexture* sheet = Texture(80, 10, texFormat, noise);
      for (const Case& c : cases)
        for (int level = 0; level <= DrawVectorLevelLimit(); ++level) {
          SCOPED_TRACE(testing::Message() << "back " << backFormat << " texture " << texFormat << " at " << c.dx << ","
                                          << c.dy << " " << c.dw << "x" << c.dh << " from " << c.sx << "," << c.sy
                                          << " " << c.sw << "x" << c.sh << " level " << level);
          SetDrawVectorLimit(level);
          Draw(sheet, c.dx, c.dy, c.dw, c.dh, c.sx, c.sy, c.sw, c.sh, 0xFFFFFFFFu, D3DTOP_MODULATE, false);
          auto [fast, general] = BothRoads(target, [&] {
            ASSERT_EQ(dev->DrawPrimitiveStripOverFill(0, 2, Rect{c.dx, c.dy, c.dx + c.dw + c.grow, c.dy + c.dh}, fill),
                      D3D_OK);
          });
          SetDrawVectorLimit(2);
          ASSERT_EQ(fast, general);
        }
    }
  }
}

// The draws of a frame onto the back buffer are kept and drawn at Present
// only in the rows where they differ from the frame before's. A run of
// frames, every one against the same frames drawn as they come (the general
// road): a background filled and drawn in two quads that scroll every third
// frame over the top rows only, a clear in four frames of eight (lists of
// two lengths), sprites still and moving, a translucent fill that builds up
// where nothing clears, text-like processor draws, a texture changed between
// frames, in the middle of one and while it is drawn locked, the back
// buffer written by the processor, a render target drawn into before and after it is drawn, a
// busy stretch in which every row changes. The back buffer and the picture
// shown match after every Present, kept frames draw fewer rows than the
// whole, and after the busy stretch frames are drawn as they come.
TEST_F(DeviceFixture, KeptFramesMatchFramesDrawnAsTheyCome) {
  constexpr int kW = 64, kH = 48, kFrames = 24;
  // The processor draw: a run of one value in rows 26..29, columns k % 10
  // and the 19 after, inside the clip.
  const auto processor = [](const uint8_t* key, size_t, PixelImage& image, const Rect& clip) {
    int k;
    std::memcpy(&k, key, sizeof k);
    for (int y = std::max(clip.top, 26); y < std::min(clip.bottom, 30); ++y)
      for (int x = std::max(clip.left, k % 10); x < std::min(clip.right, k % 10 + 20); ++x)
        image.Set(x, y, static_cast<uint32_t>(k * 0x01030507 + 1));
  };
  for (uint32_t backFormat : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}) {
    std::vector<int> keptPixels;  // drawn at each Present of the kept run
    auto run = [&](bool keep, std::vector<std::vector<uint8_t>>& pictures, std::vector<int>& rows) {
      Make(backFormat, kW, kH);
      Noise noise{backFormat};
      DeviceSurface* back = nullptr;
      ASSERT_EQ(dev->GetBackBuffer(&back), D3D_OK);
      noise.Fill(back->Image());
      const uint32_t texFormat = backFormat == D3DFMT_R5G6B5 ? D3DFMT_A1R5G5B5 : D3DFMT_A8R8G8B8;
      DeviceTexture* bg = Texture(kW, 20, texFormat, noise);
      DeviceTexture* sprite = Texture(16, 8, texFormat, noise);
      DeviceTexture* rt = nullptr;
      ASSERT_EQ(dev->CreateTexture(16, 8, D3DUSAGE_RENDERTARGET, backFormat, D3DPOOL_DEFAULT, &rt), D3D_OK);
      DeviceSurface* rtSurface = nullptr;
      ASSERT_EQ(rt->GetSurfaceLevel(0, &rtSurface), D3D_OK);
      const uint32_t key = backFormat == D3DFMT_R5G6B5 ? 0xF81Fu : 0x00FF00FFu;
      auto overFill = [&](int dx, int dw, int sx) {
        Draw(bg, dx, 0, dw, 20, sx, 0, dw, 20, 0xFFFFFFFFu, D3DTOP_MODULATE, false);
        ASSERT_EQ(dev->DrawPrimitiveStripOverFill(0, 2, Rect{dx, 0, dx + dw, 20}, key), D3D_OK);
      };
      SetDrawFastPaths(keep);
      for (int f = 0; f < kFrames; ++f) {
        SCOPED_TRACE(testing::Message() << "frame " << f);
        if (f == 5) {  // between frames, through a lock
          uint8_t* bits;
          int pitch;
          ASSERT_EQ(sprite->Level0()->LockRect(bits, pitch), D3D_OK);
          std::memset(bits + pitch * 3, 0xFF, 16);
          ASSERT_EQ(sprite->Level0()->UnlockRect(), D3D_OK);
        }
        if (f == 13) {  // drawn while locked, then written through the lock
          uint8_t* bits;
          int pitch;
          ASSERT_EQ(sprite->Level0()->LockRect(bits, pitch), D3D_OK);
          Draw(sprite, 30, 40, 16, 8, 0, 0, 16, 8, 0xFFFFFFFFu);
          std::memset(bits + pitch * 5, 0xFF, 24);
          ASSERT_EQ(sprite->Level0()->UnlockRect(), D3D_OK);
        }
        const int scroll = f / 3 * 5 % kW;
        overFill(0, kW - scroll, scroll);
        if (scroll > 0) overFill(kW - scroll, scroll, 0);
        if (f / 4 % 2 == 0) {
          const Rect r{40, 22, 50, 32};  // every row of the box below
          ASSERT_EQ(dev->ClearRaw(&r, 1, 0x1234u), D3D_OK);
        }
        Draw(sprite, 2, 22, 16, 8, 0, 0, 16, 8, 0xFFFFFFFFu);
        const Rect bottomRows{0, 36, kW, kH};
        ASSERT_EQ(dev->ClearRaw(&bottomRows, 1, 0x2468u), D3D_OK);
        Draw(sprite, 40, 38, 16, 8, 0, 0, 16, 8, 0xFFFFFFFFu);  // alone in its rows, over a clear
        // Beside it, a small sprite moving left and right, and two quads
        // still: turned by 30 degrees, one textured and one shaded from its
        // corners' colours (the triangle roads).
        Draw(sprite, 22 + f % 4 * 3, 40, 8, 4, 0, 0, 8, 4, 0xFFFFFFFFu);
        for (const bool shaded : {false, true}) {
          const float sn = 0.5f, cs = 0.8660254f, cx = shaded ? 44.0f : 30.0f, cy = 42.0f;
          QuadVertex v[4];
          for (int i = 0; i < 4; ++i) {
            const float rx = (i & 1 ? 24.0f : 0.0f) - 12.0f, ry = (i & 2 ? 6.0f : 0.0f) - 3.0f;
            const uint32_t diffuse = shaded ? 0x80000000u | (0x3F << (i * 6)) : 0xFFFFFFFFu;
            v[i] = {rx * cs - ry * sn + cx, rx * sn + ry * cs + cy, 0, 1, diffuse, i & 1 ? 1.0f : 0.0f,
                    i & 2 ? 0.75f : 0.0f};
          }
          dev->SetTexture(shaded ? nullptr : sprite);
          dev->SetColorStage(shaded ? D3DTOP_SELECTARG2 : D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
          dev->SetAlphaStage(shaded ? D3DTOP_SELECTARG2 : D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
          DrawQuad(v);
        }
        Draw(sprite, 3 * f % 48, f * 7 % 12, 16, 8, 0, 0, 16, 8, 0xFFFFFFFFu);
        dev->SetTexture(nullptr);
        dev->SetColorStage(D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        dev->SetAlphaStage(D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        const int k = f / 4;
        const Rect underRun{0, 26, 20, 30};  // a clear under most of it: those tiles need not be drawn again
        ASSERT_EQ(dev->ClearRaw(&underRun, 1, 0x3579u), D3D_OK);
        if (!dev->KeepProcessorDraw(back, Rect{k % 10, 26, k % 10 + 20, 30}, &k, sizeof k, processor))
          processor(reinterpret_cast<const uint8_t*>(&k), sizeof k, back->Image(), Rect{0, 0, kW, kH});
        // Over the processor's run, and past the clear's right edge.
        const float box[4] = {19.5f, 23.5f, 52.5f, 30.5f}, uv[4] = {0, 0, 1, 1};
        Draw(box, uv, 0x40FF0000u);
        Draw(sprite, 4, 27, 8, 2, 0, 0, 8, 2, 0xFFFFFFFFu);  // over the run's left end
        if (f == 7) {  // in the middle of the frame, after it was drawn
          sprite->Level0()->Image().Set(1, 1, 0xFF00FF00u);
          Draw(sprite, 30, 4, 16, 8, 0, 0, 16, 8, 0xFFFFFFFFu);
        }
        if (f == 9) {  // the processor writes into the back buffer
          uint8_t* bits;
          int pitch;
          ASSERT_EQ(back->LockRect(bits, pitch), D3D_OK);
          std::memset(bits + pitch * 31, 0x55, 8);
          ASSERT_EQ(back->UnlockRect(), D3D_OK);
        }
        if (f == 11 || f == 12) {
          if (f == 12) Draw(rt, 45, 2, 16, 8, 0, 0, 16, 8, 0xFFFFFFFFu);  // drawn, then drawn into
          ASSERT_EQ(dev->SetRenderTarget(rtSurface), D3D_OK);
          ASSERT_EQ(dev->ClearRaw(nullptr, 0, 0x77u * f), D3D_OK);
          Draw(sprite, f - 11, 0, 16, 8, 0, 0, 16, 8, 0xFFFFFFFFu);
          ASSERT_EQ(dev->SetRenderTarget(back), D3D_OK);
        }
        if (f >= 11) Draw(rt, 45, 2, 16, 8, 0, 0, 16, 8, 0xFFFFFFFFu);
        if (f >= 15 && f <= 17) {  // a busy stretch: every pixel changes three frames in a row
          dev->SetTexture(nullptr);
          const float whole[4] = {-0.5f, -0.5f, kW - 0.5f, kH - 0.5f};
          Draw(whole, uv, 0x40000000u | (f * 0x030507u));
        }
        ASSERT_EQ(dev->Present(), D3D_OK);
        const PixelImage& picture = std::as_const(*back).Image();
        pictures.push_back(Bytes(picture));
        rows.push_back(dev->RowsDrawnAtLastPresent());
        if (keep) keptPixels.push_back(dev->PixelsDrawnAtLastPresent());
        // The picture shown is the back buffer's.
        Frame expected;
        ImageToFrame(picture, nullptr, expected);
        const uint32_t* shown = GetWindowHost().LastPresentedPixels();
        ASSERT_NE(shown, nullptr);
        ASSERT_TRUE(std::equal(expected.pixels.begin(), expected.pixels.end(), shown));
      }
      SetDrawFastPaths(true);
      rtSurface->Release();
      back->Release();
      rt->Release();
    };
    SCOPED_TRACE(testing::Message() << "back " << backFormat);
    std::vector<std::vector<uint8_t>> kept, asTheyCame;
    std::vector<int> keptRows, asTheyCameRows;
    run(true, kept, keptRows);
    run(false, asTheyCame, asTheyCameRows);
    ASSERT_EQ(kept.size(), asTheyCame.size());
    for (size_t f = 0; f < kept.size(); ++f) EXPECT_EQ(kept[f], asTheyCame[f]) << "frame " << f;
    EXPECT_EQ(asTheyCameRows, std::vector<int>(kFrames, -1));
    // Some kept frames drew only part of the rows (those after a change
    // from the processor, or without one, fewer than the whole).
    EXPECT_EQ(keptRows[7], -1);
    EXPECT_EQ(keptRows[9], -1);
    EXPECT_EQ(keptRows[12], -1);
    EXPECT_EQ(keptRows[13], -1);
    // After three frames that drew every pixel, the next ones are drawn as
    // they come.
    EXPECT_EQ(std::vector<int>(keptRows.begin() + 15, keptRows.begin() + 18), std::vector<int>(3, kH));
    EXPECT_EQ(std::vector<int>(keptRows.begin() + 18, keptRows.end()), std::vector<int>(kFrames - 18, -1));
    EXPECT_GE(std::count_if(keptRows.begin(), keptRows.end(), [](int r) { return r >= 0 && r < kH; }), kFrames / 6)
        << testing::PrintToString(keptRows);
    // Some drew only part of the columns of the rows they drew.
    int partRows = 0;
    for (size_t f = 0; f < keptRows.size(); ++f) partRows += keptRows[f] > 0 && keptPixels[f] < keptRows[f] * kW;
    EXPECT_GE(partRows, kFrames / 8) << testing::PrintToString(keptPixels);
  }
}

// A frame of thousands of draws is not kept past a few thousand (keeping
// them would cost more than it spares): the rest of it is drawn as it
// comes, and so are the next frames.
TEST_F(DeviceFixture, FramesOfThousandsOfDrawsAreDrawnAsTheyCome) {
  Make(D3DFMT_X8R8G8B8, 16, 16);
  dev->SetTexture(nullptr);
  dev->SetColorStage(D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
  dev->SetAlphaStage(D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
  dev->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
  const float uv[4] = {0, 0, 1, 1};
  auto frame = [&](int draws) {
    EXPECT_EQ(dev->ClearRaw(nullptr, 0, 0), D3D_OK);
    for (int i = 0; i < draws; ++i) {
      const float x = static_cast<float>(i % 16) - 0.5f;
      const float box[4] = {x, -0.5f, x + 1, 15.5f};
      Draw(box, uv, 0xFF000000u | static_cast<uint32_t>(i));
    }
    EXPECT_EQ(dev->Present(), D3D_OK);
    return dev->RowsDrawnAtLastPresent();
  };
  EXPECT_EQ(frame(2), 16);  // nothing to compare the first frame with
  EXPECT_EQ(frame(2), 0);   // the same again: nothing to draw
  EXPECT_EQ(frame(5000), -1);
  DeviceSurface* back = nullptr;
  ASSERT_EQ(dev->GetBackBuffer(&back), D3D_OK);
  EXPECT_EQ(std::as_const(*back).Image().Get(7, 3) & 0xFFFFFFu, 4999u / 16 * 16 + 7);
  back->Release();
  EXPECT_EQ(frame(2), -1);
}

}  // namespace
}  // namespace plat

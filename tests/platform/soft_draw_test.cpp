// The software DirectDraw and Direct3D stand-ins: blitter rules, rasteriser
// rules, blending and the device-loss protocol.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/soft_device.h"
#include "platform/soft_draw.h"

namespace plat {
namespace {

struct DrawFixture : ::testing::Test {
  void SetUp() override {
    DrawFaultInjection() = DrawFaults{};
    DeviceConfiguration() = DeviceConfig{};
    SetVerticalBlankWait(false);
  }
  void TearDown() override { PixelImage::SetExtraPitchForTest(0); }
};

TEST_F(DrawFixture, KeyedAndOpaqueBltFastOverAPaddedPitch) {
  PixelImage::SetExtraPitchForTest(12);  // pitch != width × bytes
  uint32_t hr;
  DirectDrawObject* dd = DirectDrawObject::Create(hr);
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 16, 60), DD_OK);
  DrawSurface *src, *dst;
  ASSERT_EQ(dd->CreateSurface(4, 4, MemoryPlace::Video, &src), DD_OK);
  ASSERT_EQ(dd->CreateSurface(6, 6, MemoryPlace::System, &dst), DD_OK);
  EXPECT_GT(src->Image().Pitch(), 4 * 2);
  const uint32_t K = 0xF81F, C = 0x07E0, D = 0x1234;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src->Image().Set(x, y, ((x + y) & 1) ? K : C);
  src->SetColorKey(K);
  for (uint32_t flags : {0u, DDBLTFAST_SRCCOLORKEY}) {
    dst->Image().Fill(Rect{0, 0, 6, 6}, D);
    // Hangs off the right edge: the blitter cuts it.
    ASSERT_EQ(dst->BltFast(3, 1, src, Rect{0, 0, 4, 4}, flags | DDBLTFAST_WAIT), DD_OK);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x) {
        uint32_t want = D;
        if (x >= 3 && y >= 1 && y < 5) {
          const uint32_t s = ((x - 3 + y - 1) & 1) ? K : C;
          want = (flags && s == K) ? D : s;
        }
        EXPECT_EQ(dst->Image().Get(x, y), want) << x << "," << y << " flags " << flags;
      }
  }
  src->Release();
  dst->Release();
  EXPECT_EQ(dd->Release(), 0u);
}

TEST_F(DrawFixture, StretchReadsTruncatedFloatColumnsAndLossNeedsRestore) {
  uint32_t hr;
  DirectDrawObject* dd = DirectDrawObject::Create(hr);
  dd->SetDisplayMode(640, 480, 8, 0);
  DrawSurface *src, *dst;
  dd->CreateSurface(7, 1, MemoryPlace::Video, &src);
  dd->CreateSurface(10, 1, MemoryPlace::System, &dst);
  for (int x = 0; x < 7; ++x) src->Image().Set(x, 0, static_cast<uint32_t>(x));
  const Rect d{0, 0, 10, 1}, s{0, 0, 7, 1};
  ASSERT_EQ(dst->Blt(&d, src, &s, DDBLT_WAIT), DD_OK);
  const uint32_t want[10] = {0, 0, 1, 2, 2, 3, 4, 4, 5, 6};
  for (int x = 0; x < 10; ++x) EXPECT_EQ(dst->Image().Get(x, 0), want[x]) << x;

  dd->SimulateSurfaceLoss();
  EXPECT_EQ(src->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(dst->IsLost(), DD_OK);  // system memory is never lost
  EXPECT_EQ(dst->Blt(&d, src, &s, DDBLT_WAIT), DDERR_SURFACELOST);
  uint8_t* bits;
  int pitch;
  EXPECT_EQ(src->Lock(bits, pitch), DDERR_SURFACELOST);
  EXPECT_EQ(src->Restore(), DD_OK);
  EXPECT_EQ(src->Image().Get(0, 0), 0xCDu);
  src->Release();
  dst->Release();
  EXPECT_EQ(dd->Release(), 0u);
}

TEST_F(DrawFixture, ReleaseCountsWhatIsStillAlive) {
  uint32_t hr;
  DirectDrawObject* dd = DirectDrawObject::Create(hr);
  DrawSurface* leaked;
  dd->CreateSurface(2, 2, MemoryPlace::System, &leaked);
  EXPECT_EQ(dd->Release(), 1u);  // the leak keeps it alive
  leaked->Release();             // and its release finally frees it
}

struct DeviceFixture : DrawFixture {
  void Make(uint32_t format) {
    d3d = Direct3D::Create();
    PresentParameters pp;
    pp.backBufferWidth = 16;
    pp.backBufferHeight = 16;
    pp.backBufferFormat = format;
    pp.presentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    ASSERT_EQ(d3d->CreateDevice(pp, true, &dev), D3D_OK);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    ASSERT_EQ(dev->CreateVertexBuffer(112, &vb), D3D_OK);
  }
  void Draw(DeviceTexture* tex, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh, uint32_t diffuse) {
    const float tw = static_cast<float>(tex->Level0()->Width()), th = static_cast<float>(tex->Level0()->Height());
    const float x0 = dx - 0.5f, y0 = dy - 0.5f, x1 = dx + dw - 0.5f, y1 = dy + dh - 0.5f;
    QuadVertex v[4] = {{x0, y0, 0, 1, diffuse, sx / tw, sy / th},
                       {x0, y1, 0, 1, diffuse, sx / tw, (sy + sh) / th},
                       {x1, y0, 0, 1, diffuse, (sx + sw) / tw, sy / th},
                       {x1, y1, 0, 1, diffuse, (sx + sw) / tw, (sy + sh) / th}};
    uint8_t* bytes;
    vb->Lock(bytes);
    std::memcpy(bytes, v, sizeof v);
    dev->SetTexture(tex);
    dev->SetStreamSource(vb);
    dev->SetColorStage(D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    dev->SetAlphaStage(D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    ASSERT_EQ(dev->DrawPrimitiveStrip(0, 2), D3D_OK);
  }
  void TearDown() override {
    if (vb) vb->Release();
    if (dev) dev->Release();
    if (d3d) d3d->Release();
    DrawFixture::TearDown();
  }
  Direct3D* d3d = nullptr;
  Device* dev = nullptr;
  DeviceBuffer* vb = nullptr;
};

TEST_F(DeviceFixture, QuadsCoverExactlyTheirPixelsAndSampleLikeTheProcessor) {
  Make(D3DFMT_X8R8G8B8);
  DeviceTexture* tex;
  ASSERT_EQ(dev->CreateTexture(8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex), D3D_OK);
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
  tex->Release();
}

TEST_F(DeviceFixture, SixteenBitTexelsSurviveTheRoundTripAndOneBitAlphaKeys) {
  Make(D3DFMT_A1R5G5B5);
  DeviceTexture* tex;
  ASSERT_EQ(dev->CreateTexture(2, 1, 0, D3DFMT_A1R5G5B5, D3DPOOL_MANAGED, &tex), D3D_OK);
  PixelImage& bb = dev->RenderTarget()->Image();
  for (uint32_t c = 0; c < 32; ++c) {
    const uint32_t texel = 0x8000u | (c << 10) | (((c * 7) & 31) << 5) | (31 - c);
    tex->Level0()->Image().Set(0, 0, texel);
    tex->Level0()->Image().Set(1, 0, 0x0000);  // transparent texel
    dev->ClearRaw(nullptr, 0, 0x1234);
    Draw(tex, 0, 0, 2, 1, 0, 0, 2, 1, 0xFFFFFFFFu);
    EXPECT_EQ(bb.Get(0, 0), texel) << c;
    EXPECT_EQ(bb.Get(1, 0), 0x1234u) << c;
  }
  tex->Release();
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
  PresentParameters pp;
  pp.backBufferWidth = pp.backBufferHeight = 16;
  pp.backBufferFormat = D3DFMT_X8R8G8B8;
  EXPECT_EQ(dev->Reset(pp), D3DERR_INVALIDCALL);  // the render target and the back-buffer reference
  rt->Release();
  EXPECT_EQ(dev->Reset(pp), D3DERR_INVALIDCALL);  // still the back-buffer reference
  back->Release();
  EXPECT_EQ(dev->Reset(pp), D3D_OK);
  EXPECT_EQ(managed->Level0()->Image().Get(0, 0), 0xFF123456u);  // managed pool survives
  managed->Release();
}

TEST_F(DeviceFixture, CapsAreEnforcedAtCreation) {
  DeviceConfiguration().caps.textureCaps = D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY;
  DeviceConfiguration().caps.maxTextureWidth = 64;
  Make(D3DFMT_X8R8G8B8);
  DeviceTexture* t = nullptr;
  EXPECT_EQ(dev->CreateTexture(100, 64, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->CreateTexture(64, 32, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
  EXPECT_EQ(dev->CreateTexture(128, 128, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
  ASSERT_EQ(dev->CreateTexture(64, 64, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
  t->Release();
}

}  // namespace
}  // namespace plat

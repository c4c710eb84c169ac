// The graphics layer's fill batch, surface lists, message box and present
// pacing, and its specialised drawing loops checked against the general
// road at the layer's level (processor copies and fills).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "base/timers.h"
#include "gfx/dd.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/text.h"
#include "platform/window_host.h"
#include "support/display.h"
#include "surface_pixels.h"

namespace {

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

struct Noise {
  uint32_t state;
  uint32_t Next() {
    state = state * 1664525u + 1013904223u;
    return state ^ (state >> 15);
  }
};

class GfxPathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 256; ++i)
      DDState.DDPalette[i] = PALETTEENTRY{uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 3), 0};
  }
  std::string EC() const { return sandbox_.ErrorCheckLog(); }

  bool Init(uint32_t d3d, int bpp, uint32_t windowed, uint32_t vsync = 0) {
    plat::DrawFaultInjection().desktopBitsOverride = bpp;
    return DDInit(d3d, 0, 640, 480, bpp, vsync, windowed, 1, 60, 0, nullptr, nullptr, 0);
  }
  // Every byte of a surface through the processor lock.
  std::vector<uint8_t> Bytes(DDSURFACEDATA* sd) {
    cSurfaceLock lock(sd);
    EXPECT_TRUE(lock.Locked());
    if (!lock.Locked()) return {};
    return std::vector<uint8_t>(lock.Bits(), lock.Bits() + static_cast<size_t>(lock.Pitch()) * lock.Height());
  }
  void PutBytes(DDSURFACEDATA* sd, const std::vector<uint8_t>& bytes) {
    cSurfaceLock lock(sd);
    ASSERT_TRUE(lock.Locked());
    std::memcpy(lock.Bits(), bytes.data(), bytes.size());
  }
  void Scatter(DDSURFACEDATA* sd, Noise& noise) {
    std::vector<uint8_t> bytes = Bytes(sd);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(noise.Next());
    PutBytes(sd, bytes);
  }
  // `draw` from the same start with the specialised loops and with the
  // general road; the destination's bytes after each.
  template <typename Draw>
  std::pair<std::vector<uint8_t>, std::vector<uint8_t>> BothRoads(DDSURFACEDATA* dst, Draw draw) {
    const std::vector<uint8_t> start = Bytes(dst);
    plat::SetDrawFastPaths(true);
    draw();
    const std::vector<uint8_t> fast = Bytes(dst);
    PutBytes(dst, start);
    plat::SetDrawFastPaths(false);
    draw();
    const std::vector<uint8_t> general = Bytes(dst);
    plat::SetDrawFastPaths(true);
    PutBytes(dst, start);
    return {fast, general};
  }

  DisplaySandbox sandbox_;
};

// ---- the fill batch ----

TEST_F(GfxPathsTest, FillBatchDrawsWhatImmediateFillsDraw) {
  for (auto [bpp, windowed] : {std::pair{32, 1u}, std::pair{16, 0u}, std::pair{16, 1u}}) {
    SCOPED_TRACE(testing::Message() << bpp << " bits, windowed " << windowed);
    ASSERT_TRUE(Init(1, bpp, windowed));
    DDSURFACEDATA rt;
    ASSERT_TRUE(DDCreateSurface(&rt, 64, 32, 0, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0));
    // Overlapping, clipped and half-transparent fills on two targets,
    // interleaved (runs A, B, A, B): a fill drawn twice would show.
    auto frame = [&] {
      DDFillRect(DDBackBuffer(), 0, 0, 640, 480, 5);
      DDFillSurfaceColor(&rt, 0xFF102030u);
      DDFillRectColor(DDBackBuffer(), -4, -4, 30, 20, 0x80FF0000u);
      DDFillRectColor(DDBackBuffer(), 10, 6, 30, 20, 0x8000FF00u);
      DDFillRectColor(&rt, 60, 28, 10, 10, 0x400000FFu);
      DDFillRect(DDBackBuffer(), 630, 470, 20, 20, 9);
      DDFillRectColor(&rt, 3, 3, 5, 5, 0xC0FFFFFFu);
    };
    frame();
    const std::vector<uint8_t> backAtOnce = Bytes(DDBackBuffer()), rtAtOnce = Bytes(&rt);
    DDFillSurfaceColor(DDBackBuffer(), 0xFF000000u);
    DDBeginFillBatch();
    frame();
    // Queued, not drawn: the back buffer still holds the black.
    EXPECT_EQ(Pixel(DDBackBuffer(), 0, 0) & (bpp == 16 ? 0x7FFFu : 0xFFFFFFu), 0u);
    DDEndFillBatch();
    EXPECT_EQ(Bytes(DDBackBuffer()), backAtOnce);
    EXPECT_EQ(Bytes(&rt), rtAtOnce);
    // An empty batch only closes: the next fill lands at once.
    DDBeginFillBatch();
    DDEndFillBatch();
    DDFillRectColor(&rt, 0, 0, 1, 1, 0xFF0A0B0Cu);
    EXPECT_NE(Bytes(&rt), rtAtOnce);
    DDReleaseSurface(&rt);
    DDResetForTest();
  }
  EXPECT_EQ(EC().find("CreateVertexBuffer Err"), std::string::npos);
}

TEST_F(GfxPathsTest, FillBatchVertexBufferFailureSkipsOneEntryAndGoesOn) {
  ASSERT_TRUE(Init(1, 32, 1));
  DDSURFACEDATA rt;
  ASSERT_TRUE(DDCreateSurface(&rt, 16, 4, 0, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0));
  auto pixel = [](DDSURFACEDATA* sd, int x) { return Pixel(sd, x, 0); };
  const uint32_t black = 0xFF000000u;
  // Back buffer, rt, back buffer: three runs. The first run's vertex buffer
  // fails: its entry is lost, the walk goes on with the rest.
  DDFillSurfaceColor(DDBackBuffer(), black);
  DDFillSurfaceColor(&rt, black);
  plat::DeviceConfiguration().failVertexBuffers = 1;
  DDBeginFillBatch();
  DDFillRectColor(DDBackBuffer(), 0, 0, 1, 1, 0xFF111111u);
  DDFillRectColor(&rt, 1, 0, 1, 1, 0xFF222222u);
  DDFillRectColor(DDBackBuffer(), 2, 0, 1, 1, 0xFF333333u);
  DDEndFillBatch();
  EXPECT_EQ(pixel(DDBackBuffer(), 0), black);
  EXPECT_EQ(pixel(&rt, 1), 0xFF222222u);
  EXPECT_EQ(pixel(DDBackBuffer(), 2), 0xFF333333u);
  EXPECT_EQ(Count(EC(), "CreateVertexBuffer Err\n"), 1u);
  // Nothing is left over: every scratch buffer was released.
  const int live = DDState.lpDevice->LiveObjects();
  DDBeginFillBatch();
  DDFillRectColor(DDBackBuffer(), 0, 0, 1, 1, 0xFF666666u);
  DDEndFillBatch();
  EXPECT_EQ(DDState.lpDevice->LiveObjects(), live);
  DDReleaseSurface(&rt);
}

TEST_F(GfxPathsTest, FillsInDirectDrawModeLandAtOnceEvenInABatch) {
  ASSERT_TRUE(Init(0, 32, 1));
  DDBeginFillBatch();
  DDFillRect(DDBackBuffer(), 0, 0, 2, 2, 4);
  EXPECT_EQ(Pixel(DDBackBuffer(), 0, 0), PalNumToRGB(4));
  DDEndFillBatch();
}

// ---- surface lists ----

TEST_F(GfxPathsTest, InsertAndDeleteKeepRecordsAndSettingsInStep) {
  for (uint32_t d3d : {0u, 1u}) {
    SCOPED_TRACE(d3d ? "Direct3D" : "DirectDraw");
    ASSERT_TRUE(Init(d3d, 32, 1));
    cSafeList<DDSURFACEDATA> sd;
    cSafeList<DDSURFACEINFO> info;
    ASSERT_TRUE(DDAddSurfaceToList(sd, info, 8, 8, 0, 1, DTMEMORYTYPE_SYSTEM, 0));
    ASSERT_TRUE(DDAddSurfaceToList(sd, info, 9, 9, 0, 1, DTMEMORYTYPE_SYSTEM, 0));
    ASSERT_TRUE(DDInsertSurface(sd, info, 1, 16, 4, 1, 1, DTMEMORYTYPE_SYSTEM, 0));  // between
    ASSERT_TRUE(DDInsertSurface(sd, info, 3, 5, 5, 0, 1, DTMEMORYTYPE_SYSTEM, 0));   // at the end
    auto widths = [&] {
      std::vector<int> w;
      auto i = info.begin();
      for (auto s = sd.begin(); s != sd.end(); ++s, ++i) {
        EXPECT_EQ(s->nWidth, i->nWidth);
        w.push_back(s->nWidth);
      }
      return w;
    };
    EXPECT_EQ(widths(), std::vector<int>({8, 16, 9, 5}));
    EXPECT_EQ(sd.At(1).nHeight, 4);
    EXPECT_EQ(info.At(1).bColorKey, 1u);
    // A bad position is reported and the surface goes first.
    ASSERT_TRUE(DDInsertSurface(sd, info, 9, 7, 7, 0, 1, DTMEMORYTYPE_SYSTEM, 0));
    EXPECT_NE(EC().find("err L[9] ( 4 , 564 )\n"), std::string::npos);
    EXPECT_EQ(widths(), std::vector<int>({7, 8, 16, 9, 5}));
    // Deleting releases the surface and drops both entries at its place.
    const size_t textures = DDState.textureList.size();
    const uint32_t references = d3d ? 0 : DDState.lpDD->References();
    DDSURFACEDATA* third = &sd.At(2);
    EXPECT_TRUE(DDDeleteSurface(sd, info, third));
    EXPECT_EQ(widths(), std::vector<int>({7, 8, 9, 5}));
    if (d3d) EXPECT_EQ(DDState.textureList.size(), textures - 1);
    else EXPECT_EQ(DDState.lpDD->References(), references - 1);
    DDSURFACEDATA stranger;
    EXPECT_FALSE(DDDeleteSurface(sd, info, &stranger));
    EXPECT_EQ(sd.size(), 4u);
    EXPECT_EQ(info.size(), 4u);
    DDReleaseSurfaceList(sd);
    DDResetForTest();
  }
}

// ---- message boxes ----

TEST_F(GfxPathsTest, MesBoxInFullScreenEndsTheSceneShowsTheBoxAndHidesTheCursorAgain) {
  sandbox_.Answer("ok;ok");
  ASSERT_TRUE(Init(1, 32, 0));  // full screen
  ASSERT_EQ(DDBeginScene(), 1);
  ASSERT_EQ(lpDTCon->bSceneOpen, 1u);
  EXPECT_LT(plat::CursorDisplayCount(), 0);
  EXPECT_EQ(DDMesBox(plat::Sjis("本文").c_str(), plat::Sjis("題名").c_str(), plat::MB_OK), 1);
  EXPECT_EQ(lpDTCon->bSceneOpen, 0u);
  EXPECT_EQ(plat::CursorDisplayCount(), -1);
  EXPECT_NE(sandbox_.DialogLog().find("題名\t本文\tok"), std::string::npos);
  DDResetForTest();
  // In a window the scene stays open.
  ASSERT_TRUE(Init(1, 32, 1));
  ASSERT_EQ(DDBeginScene(), 1);
  EXPECT_EQ(DDMesBox("b", "a", plat::MB_OK), 1);
  EXPECT_EQ(lpDTCon->bSceneOpen, 1u);
}

// ---- present pacing ----

// Runs `presents` on a thread of its own while this thread moves the
// virtual clock on by 1 ms whenever that thread sleeps. Returns the
// virtual times at which each present returned; stops the clock (and
// fails) after `limitMs` of virtual time.
std::vector<uint64_t> PresentOnVirtualClock(int presents, int fps, uint32_t limitMs) {
  plat::UseVirtualClock(true, 1000);
  ResetTimersForTest();
  std::vector<uint64_t> times;
  std::atomic<bool> done{false};
  std::thread presenter([&] {
    for (int i = 0; i < presents; ++i) {
      DDPresent(fps);
      times.push_back(plat::TickCount64());
    }
    done = true;
  });
  uint32_t advanced = 0;
  while (!done) {
    if (advanced >= limitMs) {
      ADD_FAILURE() << "presents still waiting after " << advanced << " ms";
      break;
    }
    if (plat::VirtualClockSleepers() > 0) {
      plat::AdvanceVirtualClock(1);
      ++advanced;
    } else {
      std::this_thread::yield();
    }
  }
  plat::UseVirtualClock(false);
  presenter.join();
  return times;
}

TEST_F(GfxPathsTest, PresentWithoutVSyncPacesToTheFrameRate) {
  ASSERT_TRUE(Init(1, 32, 1, 0));
  const uint64_t before = plat::GetWindowHost().FramesPresented();
  const std::vector<uint64_t> times = PresentOnVirtualClock(62, 60, 3000);
  ASSERT_EQ(times.size(), 62u);
  // Present k is due once (1000 / 60) × k ms of its second have passed,
  // at the first whole millisecond; the 61st opens the next second exactly
  // 1000 ms after the first.
  const uint64_t want[] = {1000, 1017, 1034, 1050, 1067, 1084, 1100};
  for (int k = 0; k < 7; ++k) EXPECT_EQ(times[k], want[k]) << k;
  EXPECT_EQ(times[59], 1984u);
  EXPECT_EQ(times[60], 2000u);
  EXPECT_EQ(times[61], 2017u);
  EXPECT_EQ(plat::GetWindowHost().FramesPresented() - before, 62u);
}

TEST_F(GfxPathsTest, PresentWithVSyncNeverSleeps) {
  ASSERT_TRUE(Init(1, 32, 1, 1));
  ASSERT_EQ(DDState.bVSync, 1u);
  const std::vector<uint64_t> times = PresentOnVirtualClock(10, 60, 100);
  ASSERT_EQ(times.size(), 10u);
  for (uint64_t t : times) EXPECT_EQ(t, 1000u);
}

// ---- the specialised loops at the layer's level ----

TEST_F(GfxPathsTest, ProcessorCopiesMatchTheGeneralRoad) {
  for (auto [bpp, windowed] : {std::pair{32, 1u}, std::pair{16, 0u}, std::pair{16, 1u}}) {
    SCOPED_TRACE(testing::Message() << bpp << " bits, windowed " << windowed);
    ASSERT_TRUE(Init(1, bpp, windowed));
    Noise noise{static_cast<uint32_t>(bpp + windowed)};
    DDSURFACEDATA src, sys;
    ASSERT_TRUE(DDCreateSurface(&src, 24, 12, 1, 1, DTMEMORYTYPE_SYSTEM, 0, 0));
    ASSERT_TRUE(DDCreateSurface(&sys, 40, 30, 1, 1, DTMEMORYTYPE_SYSTEM, 0, 0));
    Scatter(&src, noise);  // random alpha: transparent and opaque texels both occur
    Scatter(&sys, noise);
    Scatter(DDBackBuffer(), noise);
    struct { int dx, dy, dw, dh, sx, sy, sw, sh; } cases[] = {
        {3, 2, 24, 12, 0, 0, 24, 12},   {-5, -4, 24, 12, 0, 0, 24, 12}, {30, 25, 24, 12, 0, 0, 24, 12},
        {1, 1, 10, 6, 4, 3, 10, 6},     {0, 0, 40, 30, 0, 0, 24, 12},   {2, 3, 7, 5, 0, 0, 24, 12},
        {5, 5, 24, 12, 24, 0, -24, 12}, {-6, 2, 33, 17, 2, 1, 20, 10},  {635, 475, 24, 12, 0, 0, 24, 12},
    };
    if (bpp == 16) {
      // Channels scaled c × max / 255 and packed with the alpha bit.
      DDFillRectColor(&sys, 0, 0, 1, 1, 0xFFFF8000u);
      EXPECT_EQ(Pixel(&sys, 0, 0), 0xFDE0u);
    }
    // Fills of a system-memory texture: cut at every edge, translucent or not.
    for (const auto& c : cases) {
      const uint32_t colour = noise.Next();
      auto [fast, general] = BothRoads(&sys, [&] { DDFillRectColor(&sys, c.dx, c.dy, c.dw, c.dh, colour); });
      ASSERT_EQ(fast, general) << "fill at " << c.dx << "," << c.dy << " colour " << colour;
    }
    for (DDSURFACEDATA* dst : {&sys, DDBackBuffer()})
      for (const auto& c : cases)
        for (uint32_t flags : {0u, 1u}) {
          SCOPED_TRACE(testing::Message() << (dst == &sys ? "system copy" : "back buffer") << " at " << c.dx << ","
                                          << c.dy << " " << c.dw << "x" << c.dh << " from " << c.sx << " sw " << c.sw
                                          << " flags " << flags);
          auto [fast, general] =
              BothRoads(dst, [&] { DDBltStretch(dst, c.dx, c.dy, c.dw, c.dh, &src, c.sx, c.sy, c.sw, c.sh, flags); });
          ASSERT_EQ(fast, general);
        }
    DDReleaseSurface(&src);
    DDReleaseSurface(&sys);
    DDResetForTest();
  }
}

// The key a sorted batch gives a draw comes from the earliest queued draw of
// the same source that matched no area, or matched one at the same source
// position — whichever was queued first.
// One run of more quads than 16-bit indices reach: every quad lands where
// it was queued; the run's buffers are kept for the next batch rather than
// made again, and go with the device.
TEST_F(GfxPathsTest, LongBatchRunsDrawEveryQuadAndKeepTheirBuffers) {
  ASSERT_TRUE(Init(1, 32, 1));
  DDSURFACEDATA src, dst;
  ASSERT_TRUE(DDCreateSurface(&src, 2, 1, 0, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0));
  ASSERT_TRUE(DDCreateSurface(&dst, 200, 100, 0, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0));
  DDFillRectColor(&src, 0, 0, 1, 1, 0xFF102030u);
  DDFillRectColor(&src, 1, 0, 1, 1, 0xFF405060u);
  DDFillSurfaceColor(&dst, 0xFF000000u);
  constexpr int kQuads = 20000;  // 80,000 vertices
  auto queue = [&](int first) {
    DDBeginBatch(0);
    for (int i = first; i < kQuads; ++i) DDBlt(&dst, i % 200, i / 200, 1, 1, &src, (i / 3) % 2, 0, 0);
    DDEndBatch();
  };
  queue(0);
  for (int i : {0, 1, 2, 3, 16383, 16384, 16385, 16386, 19999}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Pixel(&dst, i % 200, i / 200), (i / 3) % 2 ? 0xFF405060u : 0xFF102030u);
  }
  const int live = DDState.lpDevice->LiveObjects();
  queue(kQuads / 2);
  EXPECT_EQ(DDState.lpDevice->LiveObjects(), live);
  EXPECT_EQ(EC().find("CreateVertexBuffer Err"), std::string::npos);
  for (DDSURFACEDATA* s : {&src, &dst}) DDReleaseSurface(s);
}

TEST_F(GfxPathsTest, SortedBatchTakesTheEarliestMatchingDrawsKey) {
  ASSERT_TRUE(Init(1, 32, 1));
  DDSURFACEDATA a, b, dst;
  ASSERT_TRUE(DDCreateSurface(&a, 64, 1, 0, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0));
  ASSERT_TRUE(DDCreateSurface(&b, 4, 1, 0, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0));
  ASSERT_TRUE(DDCreateSurface(&dst, 4, 1, 0, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0));
  DDFillRectColor(&a, 0, 0, 32, 1, 0xFFA00000u);
  DDFillRectColor(&a, 32, 0, 32, 1, 0xFFA03200u);
  DDFillRectColor(&b, 0, 0, 4, 1, 0xFF0000BBu);
  auto pixel = [&](int x) { return Pixel(&dst, x, 0); };
  DDFillSurfaceColor(&dst, 0xFF000000u);
  DDBeginBatch(1);
  DDBatchAddTextureArea(&a, 32, 0);
  DDBlt(&dst, 0, 0, 1, 1, &a, 32, 0, 0);  // area draw: key of the registered area (after all others)
  DDBlt(&dst, 0, 0, 1, 1, &a, 0, 0, 0);   // no area: a key of its own
  DDBlt(&dst, 1, 0, 1, 1, &b, 0, 0, 0);
  DDBlt(&dst, 1, 0, 1, 1, &a, 32, 0, 0);  // shares the first draw's key, not the second's
  DDEndBatch();
  EXPECT_EQ(pixel(0), 0xFFA03200u);
  EXPECT_EQ(pixel(1), 0xFFA03200u);  // drawn after b
  // Without the area registration the first draw of a decides for every later one.
  DDFillSurfaceColor(&dst, 0xFF000000u);
  DDBeginBatch(1);
  DDBlt(&dst, 0, 0, 1, 1, &a, 32, 0, 0);
  DDBlt(&dst, 0, 0, 1, 1, &b, 0, 0, 0);
  DDBlt(&dst, 0, 0, 1, 1, &a, 0, 0, 0);
  DDEndBatch();
  EXPECT_EQ(pixel(0), 0xFF0000BBu);  // a, a, then b
  for (DDSURFACEDATA* s : {&a, &b, &dst}) DDReleaseSurface(s);
}

// A long sorted batch: every source's draws together, sources in the order
// of their first draws, registered ones after the others, each source's
// draws in queue order (a model replayed onto the pixels); an unsorted
// batch keeps queue order. Sources often follow themselves, as sprites do.
TEST_F(GfxPathsTest, LongSortedBatchesDrawEachSourceTogetherInFirstDrawOrder) {
  ASSERT_TRUE(Init(1, 32, 1));
  constexpr int kSources = 5, kPixels = 8;
  DDSURFACEDATA src[kSources], dst;
  // Each source's four texels differ, so the order within a source shows.
  auto colour = [](int source, int column) { return 0xFF000000u | (0x300000u * (source + 1)) | (0x40u * column); };
  for (int k = 0; k < kSources; ++k) {
    ASSERT_TRUE(DDCreateSurface(&src[k], 4, 1, 0, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0));
    for (int column = 0; column < 4; ++column) DDFillRectColor(&src[k], column, 0, 1, 1, colour(k, column));
  }
  ASSERT_TRUE(DDCreateSurface(&dst, kPixels, 1, 0, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0));
  struct Draw {
    int source, column, x;
  };
  Noise noise{7};
  for (int length : {3, 40, 700}) {
    std::vector<Draw> draws;
    int source = static_cast<int>(noise.Next() % 4);  // source 4 (registered) joins later
    for (int i = 0; i < length; ++i) {
      if (noise.Next() % 3 == 0) source = static_cast<int>(noise.Next() % (i > length / 2 ? kSources : 4));
      draws.push_back({source, static_cast<int>(noise.Next() % 4), static_cast<int>(noise.Next() % kPixels)});
    }
    for (uint8_t sort : {0, 1}) {
      SCOPED_TRACE(testing::Message() << length << " draws, sorted " << int{sort});
      DDFillSurfaceColor(&dst, 0xFF000000u);
      DDBeginBatch(sort);
      DDBatchAddTexture(&src[4]);
      for (const Draw& d : draws) DDBlt(&dst, d.x, 0, 1, 1, &src[d.source], d.column, 0, 0);
      DDEndBatch();
      // The model: a source's key is the place of its first draw among
      // first draws, registered sources after every other.
      std::vector<int> rank(kSources, -1);
      int next = 0;
      std::vector<std::pair<long, int>> order;  // (key, queue place)
      for (int i = 0; i < length; ++i) {
        int& r = rank[static_cast<size_t>(draws[i].source)];
        if (r < 0) r = next++;
        order.push_back({sort ? r + (draws[i].source == 4 ? 100000L : 0L) : 0L, i});
      }
      std::stable_sort(order.begin(), order.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      std::vector<uint32_t> expected(kPixels, 0xFF000000u);
      for (const auto& [key, i] : order)
        expected[static_cast<size_t>(draws[i].x)] = colour(draws[i].source, draws[i].column);
      for (int x = 0; x < kPixels; ++x) ASSERT_EQ(Pixel(&dst, x, 0), expected[static_cast<size_t>(x)]) << "pixel " << x;
    }
  }
  // A draw matching a registered area right after a plain draw of its
  // source keeps the area's earlier key: a (area), a (plain), a (area), b
  // draw as a (plain), b, then both area draws.
  DDFillSurfaceColor(&dst, 0xFF000000u);

  DDBeginBatch(1);
  DDBatchAddTextureArea(&src[0], 2, 0);
  DDBlt(&dst, 0, 0, 1, 1, &src[0], 2, 0, 0);
  DDBlt(&dst, 1, 0, 1, 1, &src[0], 0, 0, 0);
  DDBlt(&dst, 1, 0, 1, 1, &src[0], 2, 0, 0);
  DDBlt(&dst, 1, 0, 1, 1, &src[1], 0, 0, 0);
  DDEndBatch();
  EXPECT_EQ(Pixel(&dst, 0, 0), colour(0, 2));
  EXPECT_EQ(Pixel(&dst, 1, 0), colour(0, 2));
  for (DDSURFACEDATA& s : src) DDReleaseSurface(&s);
  DDReleaseSurface(&dst);
}

}  // namespace

// The heap of large pages that screen-sized pictures live in: blocks come
// zeroed (also where a freed block lay), never overlap, reuse the runs that
// freed blocks leave (merged with their neighbours), and regions go back to
// the system when their last block goes. Gathering many objects' memory
// into large pages keeps its bytes and stays between the objects.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <vector>

#include "platform/large_pages.h"
#include "platform/soft_draw.h"

namespace plat {
namespace {

constexpr size_t kMB = size_t{1} << 20;
constexpr size_t kScreen = 640 * 480 * 4;

bool AllZero(const uint8_t* p, size_t n) {
  return std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
}

TEST(LargePageHeap, BlocksComeZeroedApartAndAlignedAlsoWhereFreedOnesLay) {
  LargePageHeap heap;
  const std::vector<size_t> sizes = {kScreen, kScreen, 983040, kScreen, 614400};
  std::vector<uint8_t*> blocks;
  for (size_t size : sizes) {
    uint8_t* b = heap.Allocate(size);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 4096, 0u);
    EXPECT_TRUE(AllZero(b, size));
    std::memset(b, 0xA5, size);  // every byte written: a neighbour that overlapped would show it
    blocks.push_back(b);
  }
  for (size_t i = 0; i < blocks.size(); ++i)
    for (size_t j = i + 1; j < blocks.size(); ++j)
      EXPECT_TRUE(blocks[i] + sizes[i] <= blocks[j] || blocks[j] + sizes[j] <= blocks[i])
          << i << " and " << j << " overlap";
  // A block freed after being written is handed out again zeroed, and the
  // blocks beside it keep their bytes.
  heap.Free(blocks[1], kScreen);
  uint8_t* again = heap.Allocate(kScreen);
  EXPECT_EQ(again, blocks[1]);
  EXPECT_TRUE(AllZero(again, kScreen));
  EXPECT_EQ(blocks[0][kScreen - 1], 0xA5);
  EXPECT_EQ(blocks[2][0], 0xA5);
  heap.Free(again, kScreen);
  for (size_t i : {0u, 2u, 3u, 4u}) heap.Free(blocks[i], sizes[i]);
  EXPECT_EQ(heap.RegionCount(), 0u);  // the last block's region is given back
}

TEST(LargePageHeap, FreedNeighboursMergeAndBigBlocksHaveARegionOfTheirOwn) {
  LargePageHeap heap;
  uint8_t* a = heap.Allocate(kMB);
  uint8_t* b = heap.Allocate(kMB);
  uint8_t* c = heap.Allocate(kMB);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(b, a + kMB);
  EXPECT_EQ(c, b + kMB);
  heap.Free(b, kMB);
  heap.Free(a, kMB);  // merged with b's run: two megabytes from a
  uint8_t* both = heap.Allocate(2 * kMB);
  EXPECT_EQ(both, a);
  EXPECT_EQ(heap.RegionCount(), 1u);
  // More than a region holds: a region of its own, the first one untouched.
  uint8_t* big = heap.Allocate(40 * kMB);
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(heap.RegionCount(), 2u);
  big[40 * kMB - 1] = 1;
  heap.Free(big, 40 * kMB);
  EXPECT_EQ(heap.RegionCount(), 1u);
  heap.Free(both, 2 * kMB);
  heap.Free(c, kMB);
  EXPECT_EQ(heap.RegionCount(), 0u);
}

TEST(LargePageHeap, ScreenSizedImagesComeClearedAndCopyTheirPixels) {
  for (int round = 0; round < 3; ++round) {
    PixelImage image;
    ASSERT_TRUE(image.Allocate(640, 480, FormatX8R8G8B8()));
    for (int y : {0, 239, 479}) EXPECT_TRUE(AllZero(image.Row(y), 640 * 4)) << "round " << round;
    image.Set(639, 479, 0x123456);
    image.Scribble(0x5A);  // the next round's image may lie where this one did
    PixelImage copy(image);
    EXPECT_EQ(copy.Get(639, 479), 0x5A5A5A5Au);
    EXPECT_EQ(copy.Get(0, 0), 0x5A5A5A5Au);
  }
}

TEST(LargePageHeap, FramesOfPixelsKeepTheirValuesAcrossGrowthAndCopies) {
  using Pixels = std::vector<uint32_t, LargePageAllocator<uint32_t>>;
  Pixels small(1000, 7u);
  EXPECT_FALSE(LargePageHeap::Shared().Owns(reinterpret_cast<const uint8_t*>(small.data())));
  Pixels frame(640 * 480, 0xFF000000u);
  EXPECT_EQ(LargePageHeap::Shared().Owns(reinterpret_cast<const uint8_t*>(frame.data())), kLargePagesForPictures);
  frame[640 * 480 - 1] = 0xFF123456u;
  Pixels copy = frame;
  small = std::move(frame);  // the large block changes hands, the small one goes
  copy.resize(2 * 640 * 480, 1u);  // a bigger block, the values moved over
  EXPECT_EQ(small.size(), 640u * 480u);
  EXPECT_EQ(small.back(), 0xFF123456u);
  EXPECT_EQ(copy[640 * 480 - 1], 0xFF123456u);
  EXPECT_EQ(copy.front(), 0xFF000000u);
  EXPECT_EQ(copy.back(), 1u);
}

#ifndef MADV_COLLAPSE
#define MADV_COLLAPSE 25
#endif

// Whether the system gathers a large page when asked (not every kernel can).
bool SystemGathersLargePages() {
  void* mapped = mmap(nullptr, 4 * kMB, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return false;
  auto* page = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(mapped) + 2 * kMB - 1) / (2 * kMB) * (2 * kMB));
  page[0] = 1;
  const bool gathers = madvise(page, 2 * kMB, MADV_COLLAPSE) == 0;
  munmap(mapped, 4 * kMB);
  return gathers;
}

// The kilobytes in large pages of the mapping that starts at `start`.
size_t LargePageKilobytesOf(const void* start) {
  FILE* f = std::fopen("/proc/self/smaps", "r");
  if (!f) return 0;
  char line[512];
  bool inside = false;
  size_t kb = 0;
  while (std::fgets(line, sizeof line, f)) {
    unsigned long from = 0, to = 0;
    if (std::sscanf(line, "%lx-%lx ", &from, &to) == 2) {  // a mapping's first line
      inside = from == reinterpret_cast<uintptr_t>(start);
      continue;
    }
    if (inside) std::sscanf(line, "AnonHugePages: %zu kB", &kb);
  }
  std::fclose(f);
  return kb;
}

TEST(GatherIntoLargePages, GathersOnlyThePagesBetweenManyObjectsAndKeepsTheirBytes) {
  constexpr size_t kRegion = 72 * kMB, kFirst = 13 * kMB + 4096, kSpan = 40 * kMB, kStep = 8192;
  void* mapped = mmap(nullptr, kRegion, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mapped, MAP_FAILED);
  auto* base = static_cast<uint8_t*>(mapped);
  std::vector<const void*> objects;
  for (size_t at = kFirst; at < kFirst + kSpan; at += kStep) {
    base[at] = static_cast<uint8_t>(at / kStep);
    base[at + 100] = 0x5A;
    objects.push_back(base + at);
  }
  const char* readOnly = "not writable";
  // An address 40 MB past the text, made from its number: stepping a pointer
  // that far past the text's own bytes would not be a valid pointer.
  const auto* farAway = reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(readOnly) + 1 + 40 * kMB);
  const std::vector<const void*> elsewhere = {readOnly, farAway};
  // Objects close together, none, or none in a writable mapping: nothing.
  EXPECT_EQ(GatherIntoLargePages(std::span(objects).first(3000)), 0u);  // 24 MB apart at most
  EXPECT_EQ(GatherIntoLargePages({}), 0u);
  EXPECT_EQ(GatherIntoLargePages(elsewhere), 0u);

  const size_t gathered = GatherIntoLargePages(objects);
  for (size_t at = kFirst; at < kFirst + kSpan; at += kStep) {
    ASSERT_EQ(base[at], static_cast<uint8_t>(at / kStep)) << at;
    ASSERT_EQ(base[at + 100], 0x5A) << at;
  }
  EXPECT_EQ(base[0], 0);
  EXPECT_EQ(base[kRegion - 1], 0);
  if (!SystemGathersLargePages()) {
    EXPECT_EQ(gathered, 0u);
    munmap(mapped, kRegion);
    GTEST_SKIP() << "the system gathers no large pages here";
  }
  // The whole large pages from the lowest object to the highest, no more.
  const uintptr_t low = reinterpret_cast<uintptr_t>(base + kFirst) / (2 * kMB) * (2 * kMB);
  const uintptr_t high = (reinterpret_cast<uintptr_t>(objects.back()) / (2 * kMB) + 1) * (2 * kMB);
  EXPECT_LE(gathered, high - low);
  EXPECT_GE(gathered, kSpan - 2 * kMB);
  const size_t kb = LargePageKilobytesOf(mapped);
  EXPECT_GE(kb * 1024, gathered);
  EXPECT_LE(kb * 1024, high - low);
  munmap(mapped, kRegion);
}

}  // namespace
}  // namespace plat

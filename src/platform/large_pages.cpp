#include "platform/large_pages.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <map>
#include <mutex>
#include <vector>

#include <sys/mman.h>

// Linux 6.1 and later; older C libraries do not name it yet.
#ifndef MADV_COLLAPSE
#define MADV_COLLAPSE 25
#endif

namespace plat {

namespace {

constexpr size_t kLargePage = size_t{2} << 20;
constexpr size_t kBlockAlign = size_t{4} << 10;
// A region holds a dozen or so screen-sized pictures; a bigger picture has a
// region of its own.
constexpr size_t kRegionBytes = size_t{16} << 20;

size_t RoundUp(size_t n, size_t to) { return (n + to - 1) / to * to; }
size_t RoundDown(size_t n, size_t to) { return n / to * to; }

struct Region {
  uint8_t* base = nullptr;
  size_t bytes = 0;
  size_t used = 0;                    // bytes handed out now
  size_t pristine = 0;                // from here on never handed out
  std::map<size_t, size_t> freeRuns;  // offset -> length, below `pristine`, merged with neighbours
};

// Maps `bytes` (a multiple of the large page) at a large-page boundary and
// asks for large pages; nullptr when the system refuses.
uint8_t* MapRegion(size_t bytes) {
  void* p = mmap(nullptr, bytes + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  const uintptr_t raw = reinterpret_cast<uintptr_t>(p);
  const uintptr_t start = RoundUp(raw, kLargePage);
  if (start > raw) munmap(p, start - raw);
  const size_t after = kLargePage - (start - raw);
  if (after > 0) munmap(reinterpret_cast<void*>(start + bytes), after);
  madvise(reinterpret_cast<void*>(start), bytes, MADV_HUGEPAGE);
  return reinterpret_cast<uint8_t*>(start);
}

// One of the process's private writable mappings (WritableMappings lists
// them in address order) and the lowest and highest of the addresses in it.
struct Mapping {
  uintptr_t start = 0, end = 0;
  uintptr_t lowest = UINTPTR_MAX, highest = 0;
};

std::vector<Mapping> WritableMappings() {
  std::vector<Mapping> maps;
  FILE* f = std::fopen("/proc/self/maps", "r");
  if (!f) return maps;
  char line[4096];
  while (std::fgets(line, sizeof line, f)) {
    unsigned long start = 0, end = 0;
    char perms[5] = {};
    if (std::sscanf(line, "%lx-%lx %4s", &start, &end, perms) != 3) continue;
    if (perms[0] == 'r' && perms[1] == 'w' && perms[3] == 'p') maps.push_back({start, end});
  }
  std::fclose(f);
  return maps;
}

}  // namespace

size_t GatherIntoLargePages(std::span<const void* const> addresses) {
  // Addresses that lie closer together than that in all need no look at
  // the mappings.
  if (addresses.empty()) return 0;
  const auto [low, high] = std::minmax_element(addresses.begin(), addresses.end());
  const uintptr_t lowest = reinterpret_cast<uintptr_t>(*low), highest = reinterpret_cast<uintptr_t>(*high);
  if (RoundUp(highest + 1, kLargePage) - RoundDown(lowest, kLargePage) < kGatherWorthBytes) return 0;
  std::vector<Mapping> maps = WritableMappings();
  for (const void* a : addresses) {
    const uintptr_t p = reinterpret_cast<uintptr_t>(a);
    auto it = std::upper_bound(maps.begin(), maps.end(), p, [](uintptr_t v, const Mapping& m) { return v < m.start; });
    if (it == maps.begin() || p >= std::prev(it)->end) continue;
    Mapping& m = *std::prev(it);
    m.lowest = std::min(m.lowest, p);
    m.highest = std::max(m.highest, p);
  }
  // The whole large pages between the lowest address and the highest.
  struct Range {
    uintptr_t from, to;
  };
  std::vector<Range> ranges;
  size_t total = 0;
  for (const Mapping& m : maps) {
    if (m.lowest > m.highest) continue;
    const uintptr_t from = std::max(RoundDown(m.lowest, kLargePage), RoundUp(m.start, kLargePage));
    const uintptr_t to = std::min(RoundUp(m.highest + 1, kLargePage), RoundDown(m.end, kLargePage));
    if (to <= from) continue;
    ranges.push_back({from, to});
    total += to - from;
  }
  if (total < kGatherWorthBytes) return 0;
  size_t gathered = 0;
  for (const Range& r : ranges) {
    void* at = reinterpret_cast<void*>(r.from);
    const size_t bytes = r.to - r.from;
    if (madvise(at, bytes, MADV_COLLAPSE) == 0) {
      gathered += bytes;
    } else if (errno == EINVAL) {
      // A system that cannot gather at once: the pages are gathered in the
      // background instead.
      madvise(at, bytes, MADV_HUGEPAGE);
    }
  }
  return gathered;
}

struct LargePageHeap::State {
  mutable std::mutex mutex;
  std::vector<Region> regions;

  // First fit among the freed runs (their pages were given back, so they
  // read as zero again), else from the untouched end.
  static uint8_t* TakeFrom(Region& r, size_t size) {
    for (auto it = r.freeRuns.begin(); it != r.freeRuns.end(); ++it) {
      if (it->second < size) continue;
      const size_t offset = it->first, length = it->second;
      r.freeRuns.erase(it);
      if (length > size) r.freeRuns.emplace(offset + size, length - size);
      r.used += size;
      return r.base + offset;
    }
    if (r.bytes - r.pristine < size) return nullptr;
    uint8_t* block = r.base + r.pristine;
    r.pristine += size;
    r.used += size;
    return block;
  }

  // Returns a block to the freed runs, merged with the runs beside it.
  static void GiveBack(Region& r, size_t offset, size_t size) {
    r.used -= size;
    auto next = r.freeRuns.lower_bound(offset);
    if (next != r.freeRuns.end() && offset + size == next->first) {
      size += next->second;
      next = r.freeRuns.erase(next);
    }
    if (next != r.freeRuns.begin()) {
      auto before = std::prev(next);
      if (before->first + before->second == offset) {
        before->second += size;
        return;
      }
    }
    r.freeRuns.emplace(offset, size);
  }
};

LargePageHeap& LargePageHeap::Shared() {
  static LargePageHeap* heap = new LargePageHeap();  // outlives every image
  return *heap;
}

LargePageHeap::LargePageHeap() : state_(new State) {}

LargePageHeap::~LargePageHeap() {
  for (Region& r : state_->regions) munmap(r.base, r.bytes);
  delete state_;
}

uint8_t* LargePageHeap::Allocate(size_t size) {
  if (size == 0) return nullptr;
  size = RoundUp(size, kBlockAlign);
  std::lock_guard<std::mutex> lock(state_->mutex);
  for (Region& r : state_->regions)
    if (uint8_t* block = State::TakeFrom(r, size)) return block;
  Region r;
  r.bytes = std::max(kRegionBytes, RoundUp(size, kLargePage));
  r.base = MapRegion(r.bytes);
  if (!r.base) return nullptr;
  state_->regions.push_back(std::move(r));
  return State::TakeFrom(state_->regions.back(), size);
}

bool LargePageHeap::Free(uint8_t* block, size_t size) {
  if (!block) return false;
  size = RoundUp(size, kBlockAlign);
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto& regions = state_->regions;
  for (auto it = regions.begin(); it != regions.end(); ++it) {
    if (block < it->base || block >= it->base + it->bytes) continue;
    State::GiveBack(*it, static_cast<size_t>(block - it->base), size);
    // The block's pages go back to the system: the memory leaves the
    // process's resident set, and the next block made there reads as zero.
    madvise(block, size, MADV_DONTNEED);
    if (it->used == 0) {
      munmap(it->base, it->bytes);
      regions.erase(it);
    }
    return true;
  }
  return false;
}

bool LargePageHeap::Owns(const uint8_t* p) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  for (const Region& r : state_->regions)
    if (p >= r.base && p < r.base + r.bytes) return true;
  return false;
}

size_t LargePageHeap::RegionCount() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->regions.size();
}

}  // namespace plat

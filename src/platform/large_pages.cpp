#include "platform/large_pages.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <mutex>
#include <vector>

#include <sys/mman.h>

namespace plat {

namespace {

constexpr size_t kLargePage = size_t{2} << 20;
constexpr size_t kBlockAlign = size_t{4} << 10;
// A region holds a dozen or so screen-sized pictures; a bigger picture has a
// region of its own.
constexpr size_t kRegionBytes = size_t{16} << 20;

size_t RoundUp(size_t n, size_t to) { return (n + to - 1) / to * to; }

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

}  // namespace

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

// A heap of 2 MB pages for pictures of about a screen or more.
//
// Backgrounds, the back buffer and the other screen-sized pictures are
// written when a stage is set up and read and written whole every frame. In
// 4 KB pages such a picture is some three hundred pages, each taken with a
// fault of its own when first written and each a page-table look-up when
// walked; in 2 MB pages it is one or two. A picture in a 2 MB page of its
// own would leave most of the page unused (a 640x480 32-bit picture is
// 1.2 MB), so the heap packs them side by side into regions the system is
// asked to back with large pages.
//
// Blocks come zeroed, as from calloc: the pages of a region are fresh, and
// a freed block's pages are given back to the system (so that they read as
// zero again and leave the resident set). A region whose blocks are all
// free is unmapped. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace plat {

// The address sanitizer sees a write past a block's end only on its own
// heap: its builds keep every picture there.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kLargePagesForPictures = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kLargePagesForPictures = false;
#else
inline constexpr bool kLargePagesForPictures = true;
#endif
#else
inline constexpr bool kLargePagesForPictures = true;
#endif

class LargePageHeap {
 public:
  // Blocks of this many bytes or more are worth a place here.
  static constexpr size_t kSmallestBlock = size_t{512} << 10;

  // The heap that pixel images use.
  static LargePageHeap& Shared();

  LargePageHeap();
  ~LargePageHeap();
  LargePageHeap(const LargePageHeap&) = delete;
  LargePageHeap& operator=(const LargePageHeap&) = delete;

  // `size` zeroed bytes aligned to 4 KB, or nullptr when the system gives no
  // memory (the caller then allocates elsewhere).
  uint8_t* Allocate(size_t size);
  // Gives back a block that Allocate returned, with the size asked for;
  // false (and nothing done) when the block is not the heap's.
  bool Free(uint8_t* block, size_t size);
  // Whether `p` lies in one of the heap's regions.
  bool Owns(const uint8_t* p) const;

  // Regions mapped now.
  size_t RegionCount() const;

 private:
  struct State;
  State* state_;
};

// An allocator for containers of pixels: storage of kSmallestBlock bytes or
// more comes from the shared heap, smaller storage from the ordinary one
// (a block's size tells which, as allocate and deallocate are given the
// same count).
template <typename T>
struct LargePageAllocator {
  using value_type = T;
  LargePageAllocator() noexcept = default;
  template <typename U>
  LargePageAllocator(const LargePageAllocator<U>&) noexcept {}

  T* allocate(size_t n) {
    if (kLargePagesForPictures && n * sizeof(T) >= LargePageHeap::kSmallestBlock)
      if (uint8_t* block = LargePageHeap::Shared().Allocate(n * sizeof(T))) return reinterpret_cast<T*>(block);
    return std::allocator<T>().allocate(n);
  }
  void deallocate(T* p, size_t n) noexcept {
    if (kLargePagesForPictures && n * sizeof(T) >= LargePageHeap::kSmallestBlock &&
        LargePageHeap::Shared().Free(reinterpret_cast<uint8_t*>(p), n * sizeof(T)))
      return;
    std::allocator<T>().deallocate(p, n);
  }
  template <typename U>
  bool operator==(const LargePageAllocator<U>&) const noexcept {
    return true;
  }
};

// Asks the system to gather the ordinary heap's memory where `addresses`
// lie into 2 MB pages: for many objects, each with its parts on the heap
// beside it, that frames walk through whole (a stage's thousands of
// characters). Spread over tens of megabytes of 4 KB pages, such a walk
// needs a page-table look-up for almost every object; in 2 MB pages the
// processor's address cache holds them all. In each mapping holding some of
// the addresses, the 2 MB pages from the lowest of them to the highest are
// gathered now, which copies them (some milliseconds for every ten
// megabytes). Nothing is done when those pages come to less than
// kGatherWorthBytes in all: a processor's address cache covers 8 to 12 MB in
// 4 KB pages, and a walk over a few times that much (a stage of a thousand
// characters) measured no faster in large pages. Returns the bytes now in
// large pages (0 where the system has none to give). The memory's contents
// do not change. Any thread.
inline constexpr size_t kGatherWorthBytes = size_t{32} << 20;
size_t GatherIntoLargePages(std::span<const void* const> addresses);

}  // namespace plat

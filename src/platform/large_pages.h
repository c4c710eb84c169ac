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

namespace plat {

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
  // Gives back a block that Allocate returned, with the size asked for.
  void Free(uint8_t* block, size_t size);

  // Regions mapped now.
  size_t RegionCount() const;

 private:
  struct State;
  State* state_;
};

}  // namespace plat

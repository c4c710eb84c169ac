// Hints that bring memory into the caches ahead of its use, for walks over
// many objects whose next ones are known before they are needed. They
// change nothing a program reads.
//
// The lines are asked for into the second-level cache, not the first: a
// walk asks for dozens of lines an object several objects ahead, more than
// the first level can have under way at once, and a hint that has to wait
// for a free place there can hold up the walk itself. From the second level a
// line reaches the first in a few cycles when it is read.
#pragma once

#include <cstddef>

// The hint's locality: 2 asks for the second level (and the third).
inline constexpr int kPrefetchLocality = 2;

// Asks for the cache line holding `p`.
inline void PrefetchLine(const void* p) { __builtin_prefetch(p, 0, kPrefetchLocality); }

// Asks for the line of each of the given addresses (the members a walk
// reads of an object ahead).
template <typename... T>
inline void PrefetchLines(const T*... p) {
  (__builtin_prefetch(p, 0, kPrefetchLocality), ...);
}

// Asks for every line of the `size` bytes at `p`.
inline void PrefetchBytes(const void* p, size_t size) {
  const char* bytes = static_cast<const char*>(p);
  for (size_t at = 0; at < size; at += 64) __builtin_prefetch(bytes + at, 0, kPrefetchLocality);
  __builtin_prefetch(bytes + size - 1, 0, kPrefetchLocality);
}

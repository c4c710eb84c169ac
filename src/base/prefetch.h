// Hints that bring memory into the caches ahead of its use, for walks over
// many objects whose next ones are known before they are needed. They
// change nothing a program reads.
#pragma once

#include <cstddef>

// Asks for the cache line holding `p`.
inline void PrefetchLine(const void* p) { __builtin_prefetch(p); }

// Asks for the line of each of the given addresses (the members a walk
// reads of an object ahead).
template <typename... T>
inline void PrefetchLines(const T*... p) {
  (__builtin_prefetch(p), ...);
}

// Asks for every line of the `size` bytes at `p`.
inline void PrefetchBytes(const void* p, size_t size) {
  const char* bytes = static_cast<const char*>(p);
  for (size_t at = 0; at < size; at += 64) __builtin_prefetch(bytes + at);
  __builtin_prefetch(bytes + size - 1);
}

#include "support/alloc_counter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define PELMORA_NO_ALLOC_COUNTER 1
#endif

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long long> g_live{0};
std::atomic<long long> g_peak{0};
}  // namespace

#ifndef PELMORA_NO_ALLOC_COUNTER
void* operator new(size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  if (g_counting.load(std::memory_order_relaxed)) {
    long long now = g_live += static_cast<long long>(malloc_usable_size(p));
    long long peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
  }
  return p;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept {
  if (p && g_counting.load(std::memory_order_relaxed)) g_live -= static_cast<long long>(malloc_usable_size(p));
  std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }
bool AllocationCountingAvailable() { return true; }
#else
bool AllocationCountingAvailable() { return false; }
#endif

void StartCountingAllocations() {
  g_live = 0;
  g_peak = 0;
  g_counting = true;
}

size_t StopCountingAllocations() {
  g_counting = false;
  return static_cast<size_t>(g_peak.load());
}

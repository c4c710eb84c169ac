#include "base/random.h"

namespace {
thread_local uint32_t t_randState = 1;
}

int Rand() {
  t_randState = t_randState * 214013u + 2531011u;
  return static_cast<int>((t_randState >> 16) & 0x7fff);
}

void SRand(uint32_t seed) { t_randState = seed; }

int32_t RandomRange(int32_t a, int32_t b) {
  int64_t lo = a < b ? a : b;
  int64_t hi = a < b ? b : a;
  int64_t span = hi - lo + 1;  // up to 2^32, computed without overflow
  if (span > 0xFFFFFFFFll) return static_cast<int32_t>(lo);
  return static_cast<int32_t>(Rand() % span + lo);
}

#pragma once

#include <cstdint>

// The game's random numbers: a per-thread generator (state × 214013 +
// 2531011, result bits 16..30), so that a replay seeded alike draws alike on
// any machine. A thread's state starts at 1.
int Rand();
void SRand(uint32_t seed);
// A value from min(a, b) to max(a, b) inclusive: Rand() % span + low. Spans
// too wide for the generator (2^32 values) give the low end.
int32_t RandomRange(int32_t a, int32_t b);

// printf-style formatting into strings, the error boxes titled "エラー", the
// out-of-memory report, and a random number in a range.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

#include "core/logs.h"

// Formats into `out` (any length; the original's 5120-byte limit is gone).
void FormatString(std::string& out, const char* format, ...) PELMORA_PRINTF(2, 3);
void FormatStringV(std::string& out, const char* format, va_list args);

// A box with the text (CP932) and its title; returns the button pressed
// (plat::IDOK ...). Any thread.
int ShowMessageBox(const char* text, const char* title, uint32_t type);
// An OK box titled "エラー".
int ShowErrorText(const char* text);
int ShowError(const char* format, ...) PELMORA_PRINTF(1, 2);
// As ShowError, but only while the error-check log is switched on; else 0.
int ShowDebugError(const char* format, ...) PELMORA_PRINTF(1, 2);
// "メモリが不足しています！", then WM_CLOSE to the game window.
void ShowOutOfMemory();

// The game's random numbers: a per-thread generator (state × 214013 +
// 2531011, result bits 16..30), so that a replay seeded alike draws alike on
// any machine. A thread's state starts at 1.
int Rand();
void SRand(uint32_t seed);
// A value from min(a, b) to max(a, b) inclusive: Rand() % span + low. Spans
// too wide for the generator (2^32 values) give the low end.
int32_t RandomRange(int32_t a, int32_t b);

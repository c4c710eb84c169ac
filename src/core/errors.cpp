#include "core/errors.h"

#include <cstdio>
#include <vector>

#include "core/app.h"
#include "platform/dialogs.h"
#include "platform/text.h"

void FormatStringV(std::string& out, const char* format, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) {
    out.clear();
    return;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    out.assign(small, static_cast<size_t>(n));
    return;
  }
  std::vector<char> big(static_cast<size_t>(n) + 1);
  std::vsnprintf(big.data(), big.size(), format, args);
  out.assign(big.data(), static_cast<size_t>(n));
}

void FormatString(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatStringV(out, format, args);
  va_end(args);
}

int ShowMessageBox(const char* text, const char* title, uint32_t type) {
  return plat::MessageBox(text ? text : "", title ? title : "", type);
}

int ShowErrorText(const char* text) {
  return ShowMessageBox(text, plat::Sjis("エラー").c_str(), plat::MB_OK);
}

int ShowError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text;
  FormatStringV(text, format, args);
  va_end(args);
  return ShowErrorText(text.c_str());
}

int ShowDebugError(const char* format, ...) {
  if (!ECLogEnabled()) return 0;
  va_list args;
  va_start(args, format);
  std::string text;
  FormatStringV(text, format, args);
  va_end(args);
  return ShowErrorText(text.c_str());
}

void ShowOutOfMemory() {
  ShowErrorText(plat::Sjis("メモリが不足しています！").c_str());
  plat::PostMessage(g_hMainWnd.load(), plat::WM_CLOSE, 0, 0);
}

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

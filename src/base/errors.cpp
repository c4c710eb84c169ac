#include "base/errors.h"

#include <atomic>
#include <cstdio>
#include <new>
#include <vector>

#include "base/program.h"
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

namespace {

std::atomic<ErrorTextObserver> g_errorTextObserver{nullptr};

int ShowErrorBox(const char* text, bool logged) {
  if (ErrorTextObserver observer = g_errorTextObserver.load()) observer(text ? text : "", logged);
  return ShowMessageBox(text, plat::Sjis("エラー").c_str(), plat::MB_OK);
}

}  // namespace

void SetErrorTextObserver(ErrorTextObserver observer) { g_errorTextObserver.store(observer); }

int ShowErrorText(const char* text) { return ShowErrorBox(text, false); }

int ShowLoggedErrorText(const char* text) { return ShowErrorBox(text, true); }

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

void ReportOutOfMemory(const char* doing) {
  // On the stack: the heap may have nothing left.
  char line[300];
  std::snprintf(line, sizeof line, "out of memory%s%s", doing && *doing ? " " : "", doing ? doing : "");
  std::fprintf(stderr, "pelmora: %s\n", line);
  try {
    WriteReportLog("%s", line);
  } catch (const std::bad_alloc&) {
  }
}

void ShowOutOfMemory(const char* doing) {
  ReportOutOfMemory(doing);
  try {
    ShowErrorText(plat::Sjis("メモリが不足しています！").c_str());
  } catch (const std::bad_alloc&) {
  }
  RequestQuit();
}

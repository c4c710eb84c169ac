#include "base/logs.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "base/errors.h"
#include "platform/files.h"

namespace {

std::mutex g_logMutex;  // one line at a time, whichever thread writes
std::string g_reportLogName;
std::string g_ecLogName;
uint32_t g_ecEnabled = 0;
bool g_ecFirstWriteDone = false;

constexpr size_t kLineBuffer = 1024;  // combined writes cut their text here

// Appends text + "\n" to the error-check log; the caller holds the lock.
void AppendECLocked(const char* text) {
  if (!g_ecEnabled) return;
  FILE* f = plat::OpenFile(g_ecLogName, g_ecFirstWriteDone ? "at" : "wt");
  g_ecFirstWriteDone = true;  // also when the open failed: later lines append
  if (!f) return;
  std::fputs(text, f);
  std::fputs("\n", f);
  std::fclose(f);
}

// Opens the existing report log for appending; null when it is gone.
FILE* OpenReportForAppend() {
  if (g_reportLogName.empty()) return nullptr;
  FILE* f = plat::OpenFile(g_reportLogName, "rt+");
  if (f) std::fseek(f, 0, SEEK_END);
  return f;
}

std::string FormatV(const char* format, va_list args) {
  std::string out;
  FormatStringV(out, format, args);
  return out;
}

// Report + error-check line; the box (when asked) is shown while the report
// log is still open (its line is already written), but outside the lock.
int WriteCombined(const char* text, bool showBox) {
  char line[kLineBuffer];
  std::snprintf(line, sizeof line, "%s", text);
  {
    std::lock_guard<std::mutex> lock(g_logMutex);
    FILE* f = OpenReportForAppend();
    if (!f) return 0;
    std::fputs(line, f);
    std::fputs("\n", f);
    std::fclose(f);
    AppendECLocked(line);
  }
  if (showBox) ShowErrorText(line);
  return 1;
}

}  // namespace

int OpenReportLog(const char* path) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  FILE* f = plat::OpenFile(path, "wt");
  if (!f) return 0;
  std::fclose(f);
  g_reportLogName = path;
  return 1;
}

const std::string& ReportLogPath() { return g_reportLogName; }

int WriteReportLog(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  std::lock_guard<std::mutex> lock(g_logMutex);
  FILE* f = OpenReportForAppend();
  if (!f) return 0;
  std::fputs(text.c_str(), f);
  std::fputs("\n", f);
  std::fclose(f);
  return 1;
}

int WriteReportAndECLog(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  return WriteCombined(text.c_str(), false);
}

int WriteReportAndShowError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  return WriteCombined(text.c_str(), true);
}

const char* SetECLog(uint32_t enabled, const char* fileName) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_ecEnabled = enabled;
  g_ecLogName = fileName ? fileName : "";
  return g_ecLogName.c_str();
}

bool ECLogEnabled() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  return g_ecEnabled != 0;
}

void WriteECLogText(const char* text) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  AppendECLocked(text ? text : "");
}

void WriteECLogString(const char* text) { WriteECLogText(text); }

void WriteECLog(const char* format, ...) {
  if (!ECLogEnabled()) return;
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  WriteECLogText(text.c_str());
}

bool WriteECLogAndClose(plat::WindowHandle window, const char* format, ...) {
  if (ECLogEnabled()) {
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    WriteECLogText(text.c_str());
  }
  return plat::PostMessage(window, plat::WM_CLOSE, 0, 0);
}

void ResetLogsForTest() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_reportLogName.clear();
  g_ecLogName.clear();
  g_ecEnabled = 0;
  g_ecFirstWriteDone = false;
}

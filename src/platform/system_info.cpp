#include "platform/system_info.h"

#include <fontconfig/fontconfig.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define PELMORA_HAVE_CPUID 1
#endif

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>

namespace plat {

namespace {

std::string Trim(std::string s) {
  const size_t first = s.find_first_not_of(" \t");
  const size_t last = s.find_last_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return s.substr(first, last - first + 1);
}

// "cpu MHz : 2400.000" of the first processor in /proc/cpuinfo, in Hz.
double KernelClock() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("cpu MHz", 0) != 0) continue;
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    double mhz = 0;
    if (std::sscanf(line.c_str() + colon + 1, "%lf", &mhz) == 1 && mhz > 0) return mhz * 1e6;
  }
  return 0;
}

#ifdef PELMORA_HAVE_CPUID
// The shortest span the clock figure is measured over. Each reading pairs
// the counter with the monotonic clock to within a microsecond, so over 2 ms
// the figure is good to better than 0.05 % (1 MHz at 2 GHz).
constexpr std::chrono::milliseconds kClockWindow{2};

// The monotonic clock and the time-stamp counter read together. A pair that
// the scheduler split (the two clock readings around the counter lie more
// than 2 microseconds apart) is read again.
struct TickPair {
  std::chrono::steady_clock::time_point time;
  uint64_t ticks;
};
TickPair ReadTickPair() {
  for (int attempt = 0;; ++attempt) {
    const auto before = std::chrono::steady_clock::now();
    const uint64_t ticks = __rdtsc();
    const auto after = std::chrono::steady_clock::now();
    if (after - before < std::chrono::microseconds(2) || attempt == 1000) return {before + (after - before) / 2, ticks};
  }
}

// Read while the program's static objects are built, before start-up begins.
const TickPair kProgramStart = ReadTickPair();
#endif

CpuInfo ReadCpuInfo() {
  CpuInfo info;
#ifdef PELMORA_HAVE_CPUID
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(0, &a, &b, &c, &d)) {
    char vendor[13] = {};
    std::memcpy(vendor, &b, 4);
    std::memcpy(vendor + 4, &d, 4);
    std::memcpy(vendor + 8, &c, 4);
    info.vendor = vendor;
  }
  const unsigned highest = __get_cpuid_max(0x80000000u, nullptr);
  if (highest > 0x80000003u) {
    char brand[49] = {};
    for (unsigned leaf = 0; leaf < 3; ++leaf) {
      __get_cpuid(0x80000002u + leaf, &a, &b, &c, &d);
      const unsigned regs[4] = {a, b, c, d};
      std::memcpy(brand + 16 * leaf, regs, 16);
    }
    info.brand = Trim(brand);
  }
  // Time-stamp ticks against the monotonic clock since the program started
  // (see `kProgramStart`): what start-up did before the report counts
  // towards the window, and only the rest of it is waited out.
  const TickPair start = kProgramStart;
  TickPair now = ReadTickPair();
  const auto elapsed = now.time - start.time;
  if (elapsed < kClockWindow) {
    std::this_thread::sleep_for(kClockWindow - elapsed);
    now = ReadTickPair();
  }
  const double seconds = std::chrono::duration<double>(now.time - start.time).count();
  if (seconds > 0 && now.ticks > start.ticks)
    info.cyclesPerSecond = static_cast<double>(now.ticks - start.ticks) / seconds;
#endif
  if (info.cyclesPerSecond <= 0) info.cyclesPerSecond = KernelClock();
  return info;
}

// Bytes of a "Name:  1234 kB" line of a /proc status-like file.
uint64_t ProcKilobytes(const char* file, const char* name) {
  std::ifstream in(file);
  std::string line;
  const size_t n = std::strlen(name);
  while (std::getline(in, line)) {
    if (line.compare(0, n, name) != 0 || line.size() <= n || line[n] != ':') continue;
    unsigned long long kb = 0;
    if (std::sscanf(line.c_str() + n + 1, "%llu", &kb) == 1) return static_cast<uint64_t>(kb) * 1024;
  }
  return 0;
}

}  // namespace

const CpuInfo& GetCpuInfo() {
  static std::once_flag once;
  static CpuInfo info;
  std::call_once(once, [] { info = ReadCpuInfo(); });
  return info;
}

MemoryInfo GetMemoryInfo() {
  MemoryInfo m;
  struct sysinfo si {};
  if (sysinfo(&si) == 0) {
    m.physicalTotal = static_cast<uint64_t>(si.totalram) * si.mem_unit;
    m.physicalAvailable = static_cast<uint64_t>(si.freeram) * si.mem_unit;
  }
  // MemAvailable counts reclaimable caches too: what a program can really get.
  if (const uint64_t available = ProcKilobytes("/proc/meminfo", "MemAvailable")) m.physicalAvailable = available;
  // The address space: the process limit when one is set, else the user
  // half of a 48-bit (or 32-bit) address space.
  struct rlimit limit {};
  uint64_t space = sizeof(void*) == 8 ? (uint64_t{1} << 47) : (uint64_t{1} << 31);
  if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < space)
    space = static_cast<uint64_t>(limit.rlim_cur);
  const uint64_t used = ProcKilobytes("/proc/self/status", "VmSize");
  m.virtualTotal = space;
  m.virtualAvailable = used < space ? space - used : 0;
  return m;
}

OsInfo GetOsInfo() {
  OsInfo os;
  struct utsname u {};
  if (uname(&u) == 0) {
    os.kernel = u.sysname;
    os.release = u.release;
    os.machine = u.machine;
  }
  for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
      std::string value = line.substr(12);
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')) value = value.substr(1, value.size() - 2);
      os.prettyName = value;
      return os;
    }
  }
  return os;
}

uint64_t GetFreeDiskBytes(const std::string& utf8Path) {
  struct statvfs st {};
  if (statvfs(utf8Path.empty() ? "." : utf8Path.c_str(), &st) != 0) return 0;
  return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
}

UiFontInfo GetUiFont() {
  UiFontInfo font;
  if (!FcInit()) return font;
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
  if (pattern == nullptr) return font;
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  if (match != nullptr) {
    FcChar8* family = nullptr;
    if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch && family != nullptr)
      font.family = reinterpret_cast<const char*>(family);
    double pixels = 0;
    if (FcPatternGetDouble(match, FC_PIXEL_SIZE, 0, &pixels) == FcResultMatch) font.pixelSize = pixels;
    int spacing = 0;
    if (FcPatternGetInteger(match, FC_SPACING, 0, &spacing) == FcResultMatch) font.monospace = spacing == FC_MONO;
    FcPatternDestroy(match);
  }
  FcPatternDestroy(pattern);
  return font;
}

}  // namespace plat

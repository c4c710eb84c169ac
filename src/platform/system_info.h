// What the machine tells about itself, for the system report: processor,
// memory, operating system, free disk space and the desktop's text font.
// Every query answers something (empty texts and zeros when the system
// does not say); none of them fails.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

struct CpuInfo {
  std::string vendor;  // processor identification leaf 0 ("GenuineIntel"); empty without it
  std::string brand;   // extended leaves 0x80000002..4, leading spaces removed; empty without them
  double cyclesPerSecond = 0;  // time-stamp counter rate, or the kernel's clock when there is none
};
// The clock is measured over about 50 ms the first time; later calls reuse it.
const CpuInfo& GetCpuInfo();

struct MemoryInfo {
  uint64_t physicalTotal = 0, physicalAvailable = 0;  // bytes
  uint64_t virtualTotal = 0, virtualAvailable = 0;    // this process's address space, bytes
};
MemoryInfo GetMemoryInfo();

struct OsInfo {
  std::string kernel;      // "Linux"
  std::string release;     // "6.1.0-18-amd64"
  std::string machine;     // "x86_64"
  std::string prettyName;  // os-release PRETTY_NAME, e.g. "Debian GNU/Linux 12 (bookworm)"; may be empty
};
OsInfo GetOsInfo();

// Free bytes for this user on the file system holding `utf8Path` (the
// working folder when empty); 0 when unknown.
uint64_t GetFreeDiskBytes(const std::string& utf8Path);

// The desktop's user-interface font as fontconfig resolves "sans-serif".
struct UiFontInfo {
  std::string family;   // UTF-8; empty when fontconfig knows no font
  double pixelSize = 0; // fontconfig's default size in pixels
  bool monospace = false;
};
UiFontInfo GetUiFont();

}  // namespace plat

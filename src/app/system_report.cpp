#include "app/system_report.h"

#include <cmath>
#include <iterator>
#include <string>

#include "base/logs.h"
#include "gfx/dd.h"
#include "platform/files.h"
#include "platform/soft_device.h"
#include "platform/system_info.h"
#include "platform/text.h"
#include "platform/window_host.h"

namespace {

// Bytes to MB as the report has always printed them.
constexpr double kBytesToMB = 9.536743e-7;

// The emulated display runs at 60 Hz (its vertical blank is a 60 Hz clock).
constexpr uint32_t kDisplayRefreshRate = 60;

// LOGFONT pitch-and-family bits of the system-font line.
constexpr uint32_t FIXED_PITCH = 1, VARIABLE_PITCH = 2, FF_SWISS = 0x20;

// Resource usages of the format table, in the table's order, each checked
// for a surface ("SU") and a texture ("TE").
enum Usage { AU, DE, DM, DO, DY, NP, PO, RT, RE, SO, WR };
struct UsageRow {
  const char* label;
  Usage usage;
};
constexpr UsageRow kUsages[] = {{"AU", AU}, {"DE", DE}, {"DM", DM}, {"DO", DO}, {"DY", DY}, {"NP", NP},
                                {"PO", PO}, {"RT", RT}, {"RE", RE}, {"SO", SO}, {"WR", WR}};
// Formats of each row: the four the graphics layer uses.
constexpr uint32_t kFormats[] = {plat::D3DFMT_A8R8G8B8, plat::D3DFMT_X8R8G8B8, plat::D3DFMT_R5G6B5,
                                 plat::D3DFMT_A1R5G5B5};

// What the software device answers for a usage on a surface or texture:
// it makes plain pictures and render targets in all four formats and
// dynamic textures when its caps say so; it has no depth buffers, mipmaps
// or displacement maps; the vertex-buffer usages (clipping, patches,
// points, software processing, write-only) make no sense on a picture.
uint32_t CheckFormat(Usage usage, bool texture, const plat::DeviceCaps& caps) {
  switch (usage) {
    case RT:
      return plat::D3D_OK;
    case DY:
      if (!texture) return plat::D3DERR_INVALIDCALL;
      return (caps.caps2 & plat::D3DCAPS2_DYNAMICTEXTURES) ? plat::D3D_OK : plat::D3DERR_NOTAVAILABLE;
    case AU:
    case DE:
    case DM:
      return plat::D3DERR_NOTAVAILABLE;
    default:
      return plat::D3DERR_INVALIDCALL;
  }
}

}  // namespace

const char* FormatCheckSign(uint32_t result) {
  switch (result) {
    case plat::D3D_OK: return plat::Sjis("○ ").c_str();
    case plat::D3DERR_NOTAVAILABLE: return plat::Sjis("× ").c_str();
    case plat::D3DERR_INVALIDCALL: return plat::Sjis("？ ").c_str();
    default: return plat::Sjis("－ ").c_str();
  }
}

void GetOSName(std::string* name, int* major, int* minor) {
  if (name) {
    const plat::OsInfo os = plat::GetOsInfo();
    std::string text = os.kernel.empty() ? "Linux" : os.kernel;
    if (!os.release.empty()) text += " " + os.release;
    if (!os.prettyName.empty()) text += " (" + os.prettyName + ")";
    if (!os.machine.empty()) text += " " + os.machine;
    *name = plat::Utf8ToCp932(text);
  }
  if (major) *major = 10;
  if (minor) *minor = 0;
}

uint32_t CapDiskFreeBytes(uint64_t bytes) { return bytes >= 0x7fffffffu ? 0x7fffffffu : static_cast<uint32_t>(bytes); }

uint32_t GetDiskFreeSpace(const char* root) {
  return CapDiskFreeBytes(plat::GetFreeDiskBytes(root ? plat::ResolvePath(root) : std::string()));
}

int WriteSystemReport() {
  std::string os;
  GetOSName(&os, nullptr, nullptr);
  if (!WriteReportLog("OS : %s", os.c_str())) return 0;

  const plat::CpuInfo& cpu = plat::GetCpuInfo();
  WriteReportLog("CPU : %s %s %d", cpu.vendor.c_str(), cpu.brand.c_str(),
                 static_cast<int>(cpu.cyclesPerSecond * 0.000001));

  const plat::MemoryInfo mem = plat::GetMemoryInfo();
  WriteReportLog("Mem Total : %.3fMB", static_cast<double>(mem.physicalTotal) * kBytesToMB);
  WriteReportLog("Mem Free : %3.fMB", static_cast<double>(mem.physicalAvailable) * kBytesToMB);
  WriteReportLog("Vir Total : %.3fMB", static_cast<double>(mem.virtualTotal) * kBytesToMB);
  WriteReportLog("Vir Free : %3.fMB", static_cast<double>(mem.virtualAvailable) * kBytesToMB);

  WriteReportLog("HD Free : %3.fMB", static_cast<double>(GetDiskFreeSpace(nullptr)) * kBytesToMB);

  const plat::DesktopInfo desktop = plat::GetWindowHost().Desktop();
  WriteReportLog("Display : (%d,%d)", desktop.width, desktop.height);

  const plat::UiFontInfo font = plat::GetUiFont();
  const uint32_t pitchAndFamily = (font.monospace ? FIXED_PITCH : VARIABLE_PITCH) | FF_SWISS;
  // A font height given as a negative number is the character height in
  // dots, the form readers of the report expect.
  WriteReportLog("System Font : %s (%d,%d) %u", plat::Utf8ToCp932(font.family).c_str(), 0,
                 -static_cast<int>(std::lround(font.pixelSize)), pitchAndFamily);
  return 1;
}

int WriteDisplayReport() {
  if (!WriteReportLog(DDState.bWindowed ? "Mode : Window" : "Mode : Fullscreen")) return 0;
  WriteReportLog("Bpp : %d", DDState.nBpp);
  if (DDState.lpDD != nullptr) {
    const plat::MemoryInfo m = plat::GetMemoryInfo();
    WriteReportLog("VRAM Total : %.3fMB", static_cast<double>(m.physicalTotal) * kBytesToMB);
    WriteReportLog("VRAM Free : %.3fMB", static_cast<double>(m.physicalAvailable) * kBytesToMB);
    WriteReportLog("RR : %u", kDisplayRefreshRate);
  }
  if (DDState.lpDevice != nullptr) WriteDirectXReport();
  return 1;
}

void WriteDirectXReport() {
  plat::Device* device = DDState.lpDevice;
  if (device == nullptr) return;
  // In place of the diagnostics' DirectX version: the drawing back end.
  WriteReportLog("%s", "pelmora software Direct3D 9 device");
  WriteReportLog("TextureMem : %dMB", static_cast<int>(plat::GetMemoryInfo().physicalAvailable >> 20));

  const plat::DeviceCaps& caps = device->Caps();
  WriteReportLog("%s", plat::Sjis("---デバイス0").c_str());
  WriteReportLog("Description : %s", "pelmora software rasteriser");
  WriteReportLog("Driver : %s %d", "soft_device", plat::DeviceConfiguration().driverVersion);
  WriteReportLog("TextureMaxSize : (%d,%d)", caps.maxTextureWidth, caps.maxTextureHeight);
  // One texture stage, one texture at a time.
  WriteReportLog("TextureMaxBlend : (%d,%d)", 1, 1);
  if (caps.caps3 & plat::D3DCAPS3_ALPHA_FULLSCREEN_FLIP_OR_DISCARD)
    WriteReportLog("D3DCAPS3_ALPHA_FULLSCREEN_FLIP_OR_DISCARD");
  if (caps.textureCaps & plat::D3DPTEXTURECAPS_POW2) WriteReportLog("D3DPTEXTURECAPS_POW2");
  if (caps.textureCaps & plat::D3DPTEXTURECAPS_SQUAREONLY) WriteReportLog("D3DPTEXTURECAPS_SQUAREONLY");
  if (caps.caps2 & plat::D3DCAPS2_DYNAMICTEXTURES) WriteReportLog("D3DCAPS2_DYNAMICTEXTURES");

  for (const UsageRow& row : kUsages) {
    for (bool texture : {false, true}) {
      std::string line = std::string(row.label) + (texture ? "-TE" : "-SU");
      // The software device treats the four formats alike.
      for (size_t i = 0; i < std::size(kFormats); ++i) line += FormatCheckSign(CheckFormat(row.usage, texture, caps));
      WriteReportLog("%s", line.c_str());
    }
  }
}

// pelmora-tool image IN OUT.png --mode dd8|dd16|dd32|d3d16|d3d32 [--palette P.bmp]
// Sets up the display layer without a window in the chosen mode, loads IN
// through the runtime's own surface loader, and writes what the surface
// holds as a PNG (8-bit surfaces through the palette: the one of
// --palette, else IN's own colour table; dd8 refuses a picture without one
// when no --palette is given, and a --palette without one).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/dd.h"
#include "platform/image_decode.h"
#include "platform/input_file.h"
#include "platform/window_host.h"
#include "output_clash.h"
#include "stop_signals.h"
#include "surface_frame.h"
#include "tool.h"

bool SurfaceToFrame(DDSURFACEDATA* sd, plat::Frame& frame) {
  const plat::PixelImage* image = nullptr;
  if (sd->lpDT && sd->lpDT->lpSurface) image = &sd->lpDT->lpSurface->Image();
  else if (sd->lpDDS && sd->lpDDS->lpSurface) image = &sd->lpDDS->lpSurface->Image();
  if (image == nullptr) return false;
  cSurfaceLock lock(sd);
  if (!lock.Locked()) return false;
  const int w = std::min(sd->nWidth, lock.Width()), h = std::min(sd->nHeight, lock.Height());
  if (w <= 0 || h <= 0) return false;
  frame.width = w;
  frame.height = h;
  frame.pixels.assign(static_cast<size_t>(w) * h, 0);
  const plat::PixelFormat& format = image->Format();
  const int bytes = format.bitsPerPixel / 8;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = lock.Bits() + static_cast<size_t>(y) * lock.Pitch();
    for (int x = 0; x < w; ++x) {
      uint32_t raw = 0;
      std::memcpy(&raw, row + static_cast<size_t>(x) * bytes, static_cast<size_t>(bytes));
      frame.pixels[static_cast<size_t>(y) * w + x] = plat::PixelToArgb(format, raw, DDState.DDPalette);
    }
  }
  return true;
}

namespace {

struct ImageMode {
  const char* name;
  uint32_t direct3D;
  int bpp;
};
constexpr ImageMode kModes[] = {{"dd8", 0, 8}, {"dd16", 0, 16}, {"dd32", 0, 32}, {"d3d16", 1, 16}, {"d3d32", 1, 32}};

constexpr const char* kUsage =
    "usage: pelmora-tool image IN OUT.png --mode dd8|dd16|dd32|d3d16|d3d32 [--palette P.bmp]\n";

int RunImage(const std::vector<std::string>& args) {
  tool::EndOnStopSignals("image");
  std::string in, out, mode, palette;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--mode" && i + 1 < args.size()) mode = args[++i];
    else if (args[i] == "--palette" && i + 1 < args.size()) palette = args[++i];
    else if (in.empty()) in = args[i];
    else if (out.empty()) out = args[i];
    else in.clear(), out.clear(), i = args.size();
  }
  const ImageMode* chosen = nullptr;
  for (const ImageMode& m : kModes)
    if (mode == m.name) chosen = &m;
  if (in.empty() || out.empty() || chosen == nullptr) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (const std::string clash = tool::OutputClash({{"IN", in}, {"--palette", palette}}, {{"OUT", out}});
      !clash.empty()) {
    std::fprintf(stderr, "image: %s\n%s", clash.c_str(), kUsage);
    return 2;
  }

  // Neither file is opened unless it is one (a pipe would keep the run
  // waiting); each is opened by its name as given, whatever its bytes.
  plat::InputFile input, paletteInput;
  if (const std::string problem = tool::OpenInput(input, in); !problem.empty()) {
    std::fprintf(stderr, "%s (%s)\n", tool::PictureLoadFailure(in).c_str(), problem.c_str());
    return 1;
  }
  if (const std::string problem = palette.empty() ? "" : tool::OpenInput(paletteInput, palette); !problem.empty()) {
    std::fprintf(stderr, "image: no palette in %s (%s)\n", tool::Shown(palette).c_str(), problem.c_str());
    return 1;
  }

  plat::SetWindowHost(plat::MakeHeadlessWindowHost());
  plat::SetVerticalBlankWait(false);
  // Full screen: every depth is allowed there and the desktop stays as it is.
  if (!DDInit(chosen->direct3D, 0, 640, 480, chosen->bpp, 0, 0, 1, 60, 0, nullptr, nullptr, 0)) {
    std::fprintf(stderr, "image: the %s display cannot be set up\n", chosen->name);
    return 1;
  }
  const std::string& inPath = input.ProgramPath();
  if (chosen->bpp == 8) {
    // The 8-bit surface holds palette numbers: the colours come from
    // --palette, else from IN's own colour table. The game takes a palette
    // from an 8-bit picture's colour table only: from any other picture
    // they would come out of an empty palette, all black.
    plat::DecodedImage probe;
    std::string reason;
    const bool loads = plat::LoadImageFile(inPath, probe, reason);
    const bool ownTable = loads && probe.fileBitsPerPixel == 8 && !probe.palette.empty();
    if (loads && !ownTable && palette.empty()) {
      std::fprintf(stderr, "image: %s has no colour table%s: the dd8 mode needs --palette P.bmp for its colours\n",
                   tool::Shown(in).c_str(), probe.palette.empty() ? "" : " of an 8-bit picture");
      DDRelease();
      return 2;
    }
    // The palette of --palette, else of IN's own table (an IN that does not
    // load is named with the reason below, when the surface is made).
    const std::string& from = palette.empty() ? inPath : paletteInput.ProgramPath();
    if ((!palette.empty() || ownTable) && !tool::LoadPalette("image", palette.empty() ? in : palette, from,
                                                             !palette.empty(), true)) {
      DDRelease();
      return 1;
    }
    std::memcpy(DDState.DDPaletteWork, DDState.DDPalette, sizeof DDState.DDPalette);
  }

  DDSURFACEDATA sd;
  const uint32_t result = DDCreateSurfaceFromFile(&sd, inPath.c_str(), 0, DDState.nBpp, 1, DTMEMORYTYPE_SYSTEM, 0, 0,
                                                  0, 0, 0);
  if (result != 0) {
    std::string message = tool::PictureLoadFailure(in);
    plat::DecodedImage probe;
    std::string reason;
    if (!plat::LoadImageFile(inPath, probe, reason)) message += " (" + reason + ")";
    std::fprintf(stderr, "%s\n", message.c_str());
    DDReleaseSurface(&sd);
    DDRelease();
    return 1;
  }
  plat::Frame frame;
  const bool converted = SurfaceToFrame(&sd, frame);
  DDReleaseSurface(&sd);
  DDRelease();
  if (!converted) {
    std::fprintf(stderr, "image: the surface cannot be read\n");
    return 1;
  }
  std::string png;
  if (!plat::EncodeFramePng(frame, png)) {
    std::fprintf(stderr, "image: the picture cannot be made into a PNG\n");
    return 1;
  }
  return tool::WriteOutputFile("image", out, png) ? 0 : 1;
}

tool::Registrar imageCommand(tool::Command{
    "image", "image IN OUT.png --mode M    a bitmap through the surface loader (dd8 dd16 dd32 d3d16 d3d32)", RunImage});

}  // namespace

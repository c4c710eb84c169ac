// pelmora-tool text FONT_SETTING "TEXT" OUT.png --mode dd8|dd16|dd32|d3d16|d3d32
//     [--palette P.bmp] [--face NAME] [--font-file FILE] [--glyph-mode N]
// Draws TEXT (UTF-8, drawn as the game's CP932) with game font FONT_SETTING
// (0, 1 or 2: the settings of the game's three fonts) through the runtime's
// own text path onto the back buffer of a display set up without a window in
// the chosen mode, and writes the text's area (with a 2-dot margin) as a PNG.
// Colours come from --palette (a project's bmp\plt\Palette.bmp, which also
// gives the transparent colour), else from a grey ramp (palette number n is
// grey n, 0 black). --face replaces the settings' face name ("ＭＳ ゴシック"),
// --font-file draws every face with that font file, --glyph-mode replaces the
// settings' glyph mode (2 means what "System.ini" says by default: glyph
// sheets in the DirectDraw modes, none in the Direct3D modes). The letters
// a..z are drawn as letters: the font has no picture-letter strip here.
// Prints the font file the face resolved to. An empty TEXT is refused.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "data/settings.h"
#include "gfx/dd.h"
#include "gfx/fonts.h"
#include "gfx/surface_table.h"
#include "platform/font_raster.h"
#include "platform/input_file.h"
#include "platform/text.h"
#include "platform/window_host.h"
#include "output_clash.h"
#include "stop_signals.h"
#include "tool.h"

namespace {

struct TextMode {
  const char* name;
  uint32_t direct3D;
  int bpp;
};
constexpr TextMode kModes[] = {{"dd8", 0, 8}, {"dd16", 0, 16}, {"dd32", 0, 32}, {"d3d16", 1, 16}, {"d3d32", 1, 32}};
constexpr int kMargin = 2;

const char* kUsage =
    "usage: pelmora-tool text FONT_SETTING TEXT OUT.png --mode dd8|dd16|dd32|d3d16|d3d32 [--palette P.bmp]\n"
    "       [--face NAME] [--font-file FILE] [--glyph-mode N]\n";

// The palette and transparent colour of the drawing: from the palette
// picture at `programPath`, else a grey ramp.
bool SetColours(const std::string& programPath) {
  if (!programPath.empty()) return DDSetupPaletteAndKey(programPath.c_str(), 0, 0, 0, 0);
  for (int i = 0; i < 256; ++i) {
    const uint8_t v = static_cast<uint8_t>(i);
    DDState.DDPalette[i] = PALETTEENTRY{v, v, v, 0};
  }
  if (DDState.nBpp == 16 && !lpDTCon) {
    // The 16-bit DirectDraw palette holds channels at the display's precision.
    for (PALETTEENTRY& e : DDState.DDPalette) {
      e.peRed = static_cast<uint8_t>(e.peRed * DDState.TexFormat[PF_RMAX] / 255);
      e.peGreen = static_cast<uint8_t>(e.peGreen * DDState.TexFormat[PF_GMAX] / 255);
      e.peBlue = static_cast<uint8_t>(e.peBlue * DDState.TexFormat[PF_BMAX] / 255);
    }
  }
  std::memcpy(DDState.DDPaletteWork, DDState.DDPalette, sizeof DDState.DDPalette);
  if (DDState.lpDDPalette) DDState.lpDDPalette->SetEntries(0, 256, DDState.DDPalette);
  if (DDState.nBpp != 8) DDSetTransmit(0, 0, 0);
  return true;
}

// The back buffer's top-left w × h as the screen shows it.
bool BackBufferToFrame(int w, int h, plat::Frame& frame) {
  DDSURFACEDATA* back = DDBackBuffer();
  cSurfaceLock lock(back);
  if (!lock.Locked()) return false;
  const plat::PixelImage* image = nullptr;
  if (back->lpDT && back->lpDT->lpSurface) image = &back->lpDT->lpSurface->Image();
  else if (back->lpDDS && back->lpDDS->lpSurface) image = &back->lpDDS->lpSurface->Image();
  if (!image) return false;
  frame.width = std::min(w, lock.Width());
  frame.height = std::min(h, lock.Height());
  frame.pixels.assign(static_cast<size_t>(frame.width) * frame.height, 0);
  const int bytes = image->BytesPerPixel();
  const PALETTEENTRY* palette = DDState.lpDDPalette ? DDState.lpDDPalette->Entries() : DDState.DDPalette;
  for (int y = 0; y < frame.height; ++y)
    for (int x = 0; x < frame.width; ++x) {
      uint32_t raw = 0;
      std::memcpy(&raw, lock.Bits() + static_cast<size_t>(y) * lock.Pitch() + static_cast<size_t>(x) * bytes,
                  static_cast<size_t>(bytes));
      frame.pixels[static_cast<size_t>(y) * frame.width + x] = plat::PixelToArgb(image->Format(), raw, palette);
    }
  return true;
}

int RunText(const std::vector<std::string>& args) {
  tool::EndOnStopSignals("text");
  std::vector<std::string> words;
  std::string mode, palette, face, fontFile;
  int glyphMode = -1;
  bool bad = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const bool more = i + 1 < args.size();
    if (args[i] == "--mode" && more) mode = args[++i];
    else if (args[i] == "--palette" && more) palette = args[++i];
    else if (args[i] == "--face" && more) face = args[++i];
    else if (args[i] == "--font-file" && more) fontFile = args[++i];
    else if (args[i] == "--glyph-mode" && more) {
      constexpr tool::NumberRange kGlyphModes{0, 2147483647.0, true,
                                              "0 to draw without glyph sheets, 1 to 2147483647 with them"};
      double value = 0;
      if (!tool::ReadNumber("text", "--glyph-mode", args[++i], kGlyphModes, value)) return 2;
      glyphMode = static_cast<int>(value);
    }
    else if (args[i].rfind("--", 0) == 0) bad = true;
    else words.push_back(args[i]);
  }
  const TextMode* chosen = nullptr;
  for (const TextMode& m : kModes)
    if (mode == m.name) chosen = &m;
  if (bad || chosen == nullptr || words.size() != 3) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  constexpr tool::NumberRange kSettings{0, kGameFontCount - 1.0, true, "0, 1 or 2: the game's three fonts"};
  static_assert(kGameFontCount == 3, "the settings' text names three fonts");
  double settingNumber = 0;
  if (!tool::ReadNumber("text", "FONT_SETTING", words[0], kSettings, settingNumber)) return 2;
  const int setting = static_cast<int>(settingNumber);
  if (words[1].empty()) {
    std::fprintf(stderr, "text: TEXT is empty: there is nothing to draw\n");
    return 2;
  }
  if (const std::string clash =
          tool::OutputClash({{"--palette", palette}, {"--font-file", fontFile}}, {{"OUT", words[2]}});
      !clash.empty()) {
    std::fprintf(stderr, "text: %s\n%s", clash.c_str(), kUsage);
    return 2;
  }

  // The files named are checked before anything opens them (a pipe would
  // keep the run waiting), the palette picture opened by its name as given;
  // a font file that FreeType cannot draw with is named with the reason.
  plat::InputFile paletteInput;
  if (const std::string problem = palette.empty() ? "" : tool::OpenInput(paletteInput, palette); !problem.empty()) {
    std::fprintf(stderr, "text: cannot read the palette %s (%s)\n", tool::Shown(palette).c_str(), problem.c_str());
    return 1;
  }
  if (!fontFile.empty()) {
    std::string problem = tool::InputFileProblem(fontFile);
    std::error_code ec;
    if (problem.empty() && std::filesystem::file_size(fontFile, ec) == 0 && !ec) problem = "the file is empty";
    if (problem.empty()) problem = plat::FontFileProblem(fontFile);
    if (!problem.empty()) {
      std::fprintf(stderr, "text: --font-file %s: %s\n", tool::Shown(fontFile).c_str(), problem.c_str());
      return 1;
    }
  }

  plat::SetWindowHost(plat::MakeHeadlessWindowHost());
  plat::SetVerticalBlankWait(false);
  if (!DDInit(chosen->direct3D, 0, 640, 480, chosen->bpp, 0, 0, 1, 60, 0, nullptr, nullptr, 0)) {
    std::fprintf(stderr, "text: the %s display cannot be set up\n", chosen->name);
    return 1;
  }
  // A picture the palette cannot come from is named with the reason: one
  // that is no picture, and in dd8 one without an 8-bit colour table (the
  // game's 8-bit display would show every colour black).
  const std::string problem =
      palette.empty() ? "" : tool::PaletteProblem(paletteInput.ProgramPath(), chosen->bpp == 8);
  if (!problem.empty() || !SetColours(paletteInput.ProgramPath())) {
    tool::SayNoPalette("text", palette, problem);
    DDRelease();
    return 1;
  }
  FONTSETTING s = GameFontSettings[setting];
  if (!face.empty()) std::snprintf(s.szFaceName, sizeof s.szFaceName, "%s", plat::Utf8ToCp932(face).c_str());
  if (glyphMode >= 0) s.nGlyphMode = glyphMode;
  else if (s.nGlyphMode == 2) s.nGlyphMode = chosen->direct3D ? GameSettings.nD3DFontCache : GameSettings.nDDFontCache;
  SetPinnedFontFile(fontFile);

  int code = 1;
  {
    cFont font;
    if (!CreateFonts(&font, &s, 1)) {
      if (fontFile.empty())
        std::fprintf(stderr, "text: the font cannot be made (no usable font file)\n");
      else
        std::fprintf(stderr, "text: the font cannot be made from %s at font %d's size\n", tool::Shown(fontFile).c_str(),
                     setting);
    } else {
      const std::string text = plat::Utf8ToCp932(words[1]);
      const TEXTSIZE size = s.nCharWidth != 0 ? font.MeasureText(text.c_str()) : font.MeasureTextGDI(text.c_str());
      DDFillRect(DDBackBuffer(), 0, 0, 640, 480, 0);
      font.DrawText(DDBackBuffer(), kMargin, kMargin, text.c_str());
      plat::Frame frame;
      std::string png;
      if (!BackBufferToFrame(size.cx + 2 * kMargin, size.cy + 2 * kMargin, frame) ||
          !plat::EncodeFramePng(frame, png)) {
        std::fprintf(stderr, "text: the back buffer cannot be read\n");
      } else if (tool::WriteOutputFile("text", words[2], png)) {
        bool fellBack = false;
        std::printf("%s\n", ResolveFontFace(s.szFaceName, &fellBack).c_str());
        code = 0;
      }
    }
  }
  SetPinnedFontFile("");
  DDRelease();
  return code;
}

tool::Registrar textCommand(tool::Command{
    "text", "text FONT_SETTING TEXT OUT.png --mode M  a text in a game font (0, 1, 2) through the runtime's text path",
    RunText, [] {
      return std::string(
          "FONT_SETTING: 0, 1 or 2; M: dd8 dd16 dd32 d3d16 d3d32; [--palette P.bmp] [--face NAME] [--font-file FILE]\n"
          "[--glyph-mode N (0: no glyph sheets)]\n");
    }});

}  // namespace

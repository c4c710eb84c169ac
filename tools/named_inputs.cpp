// The names the user gives the commands: how the messages print them, and
// the picture commands' inputs opened by them.
#include <cstdint>
#include <cstdio>

#include "gfx/dd.h"
#include "platform/image_decode.h"
#include "platform/input_file.h"
#include "platform/text.h"
#include "tool.h"

namespace tool {

std::string Shown(const std::string& name) { return plat::ShownOnTerminal(name, true); }

std::string ShownText(const std::string& text) { return plat::ShownOnTerminal(text, false); }

std::string OpenInput(plat::InputFile& file, const std::string& name) {
  const std::string problem = InputFileProblem(name);
  return problem.empty() ? file.Open(name) : problem;
}

std::string PictureLoadFailure(const std::string& name) { return Shown(name) + " の読み込みに失敗！"; }

std::string PaletteProblem(const std::string& programPath, bool eightBit) {
  plat::DecodedImage picture;
  std::string reason;
  if (!plat::LoadImageFile(programPath, picture, reason)) return reason;
  if (eightBit && (picture.fileBitsPerPixel != 8 || picture.palette.empty()))
    return "the dd8 mode takes its colours from an 8-bit picture's colour table";
  return {};
}

bool LoadPalette(const std::string& command, const std::string& name, const std::string& programPath, bool given,
                 bool eightBit) {
  const std::string problem = given ? PaletteProblem(programPath, eightBit) : "";
  if (problem.empty() && DDLoadPaletteFromFile(DDState.DDPalette, programPath.c_str())) return true;
  SayNoPalette(command, name, problem);
  return false;
}

void SayNoPalette(const std::string& command, const std::string& name, const std::string& why) {
  std::fprintf(stderr, "%s: no palette in %s%s%s%s\n", command.c_str(), Shown(name).c_str(), why.empty() ? "" : " (",
               why.c_str(), why.empty() ? "" : ")");
}

}  // namespace tool

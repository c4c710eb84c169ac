// The names the user gives the commands: how the messages print them, and
// the picture commands' inputs opened by them.
#include <cstdint>
#include <cstdio>

#include "gfx/dd.h"
#include "platform/image_decode.h"
#include "platform/input_file.h"
#include "tool.h"

namespace tool {

namespace {

// The length of the UTF-8 character at `at` (well formed: no overlong
// form, no surrogate, nothing past U+10FFFF), 0 when the bytes there are
// not one.
size_t CharacterLength(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return at + i < text.size() ? static_cast<uint8_t>(text[at + i]) : 0; };
  const uint8_t lead = byte(0);
  if (lead < 0x80) return 1;
  size_t length = 0;
  uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead == 0xE0) length = 3, low = 0xA0;
  else if (lead >= 0xE1 && lead <= 0xEF) length = 3, high = lead == 0xED ? 0x9F : 0xBF;
  else if (lead == 0xF0) length = 4, low = 0x90;
  else if (lead >= 0xF1 && lead <= 0xF3) length = 4;
  else if (lead == 0xF4) length = 4, high = 0x8F;
  else return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

// Control characters move a terminal's cursor or start its commands: those
// of ASCII and DEL, and U+0080..U+009F.
bool IsControl(const std::string& text, size_t at, size_t length) {
  const uint8_t lead = static_cast<uint8_t>(text[at]);
  if (length == 1) return lead < 0x20 || lead == 0x7F;
  return length == 2 && lead == 0xC2 && static_cast<uint8_t>(text[at + 1]) <= 0x9F;
}

std::string Escaped(const std::string& name, bool doubleBackslashes) {
  std::string shown;
  shown.reserve(name.size());
  for (size_t at = 0; at < name.size();) {
    const size_t length = CharacterLength(name, at);
    if (length != 0 && !IsControl(name, at, length)) {
      if (doubleBackslashes && name[at] == '\\') shown += '\\';
      shown.append(name, at, length);
      at += length;
      continue;
    }
    // The bytes of a control character each, or the one byte that starts
    // no character (the next may start one).
    for (size_t end = at + (length != 0 ? length : 1); at < end; ++at) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned>(static_cast<uint8_t>(name[at])));
      shown += escaped;
    }
  }
  return shown;
}

}  // namespace

std::string Shown(const std::string& name) { return Escaped(name, true); }

std::string ShownText(const std::string& text) { return Escaped(text, false); }

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

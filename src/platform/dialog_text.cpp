// The dialogs' text: their font and the width of a CP932 text in it, the
// breaking of a static text's line into lines that fit, and what an edit box
// keeps of a text and how much of it.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialog_view.h"
#include "platform/dialog_view_layout.h"
#include "platform/font_raster.h"
#include "platform/text.h"

namespace plat {
namespace dialog {
namespace {

// 13 pixels: the installed gothic's own 12-pixel bitmaps have no underscore.
constexpr int kFontPx = 13;

}  // namespace

// Lives for the run, like the message boxes' font; null without fonts
// (dialogs then work, only without text).
FontFace* Font() {
  static FontFace* font = FontFace::Open(FindFontFile("IPAGothic"), kFontPx).release();
  return font;
}

int Measure(const std::string& cp932) {
  FontFace* font = Font();
  const std::string utf8 = Cp932ToUtf8(cp932);
  return font ? font->MeasureUtf8(utf8) : static_cast<int>(utf8.size()) * 6;
}

int TextHeight() {
  FontFace* font = Font();
  return font ? font->Ascent() + font->Descent() : kFontPx;
}

int LineStep() {
  FontFace* font = Font();
  return (font ? font->LineHeight() : kFontPx) + kLineGap;
}

namespace {

// Characters that never start a line (closing punctuation, the long vowel
// mark, small kana), in CP932.
bool NoLineStart(const std::string& cp932Char) {
  static const char* const kChars[] = {"。", "、", "，", "．", "・", "：", "；", "？", "！", "ー", "」", "』", "）",
                                       "】", "〕", "〉", "》", "〜", "ぁ", "ぃ", "ぅ", "ぇ", "ぉ", "っ", "ゃ", "ゅ",
                                       "ょ", "ァ", "ィ", "ゥ", "ェ", "ォ", "ッ", "ャ", "ュ", "ョ"};
  if (cp932Char.size() == 1) return std::string(".,;:!?)]}").find(cp932Char[0]) != std::string::npos;
  for (const char* c : kChars)
    if (cp932Char == Sjis(c)) return true;
  return false;
}

// Where in `line` a bracket opens that the line does not close (npos when
// none): a short bracketed phrase is kept together on the next line.
size_t OpenBracket(const std::string& line) {
  static const char* const kOpen[] = {"（", "「", "『", "【", "〔"};
  static const char* const kClose[] = {"）", "」", "』", "】", "〕"};
  size_t open = std::string::npos;
  for (size_t i = 0; i < line.size(); i += Cp932CharLength(line, i)) {
    const std::string ch = line.substr(i, Cp932CharLength(line, i));
    if (ch == "(" || ch == "[") open = i;
    if (ch == ")" || ch == "]") open = std::string::npos;
    for (const char* o : kOpen)
      if (ch == Sjis(o)) open = i;
    for (const char* c : kClose)
      if (ch == Sjis(c)) open = std::string::npos;
  }
  return open;
}

// Cuts the last line, when it is wider than `width`, into lines that are
// not (a single-byte word longer than a line; never inside a character).
void CutOverlong(std::vector<std::string>& lines, int width) {
  while (Measure(lines.back()) > width) {
    std::string& over = lines.back();
    std::vector<size_t> starts;
    for (size_t i = 0; i < over.size(); i += Cp932CharLength(over, i)) starts.push_back(i);
    if (starts.size() < 2) return;
    size_t keep = 1;  // at least one character stays
    while (keep + 1 < starts.size() && Measure(over.substr(0, starts[keep + 1])) <= width) ++keep;
    std::string rest = over.substr(starts[keep]);
    over.resize(starts[keep]);
    lines.push_back(std::move(rest));
  }
}

}  // namespace

// Breaks a CP932 line into lines no wider than `width`: between two
// double-byte characters, or at spaces between words of single-byte
// characters (a word wider than the line is cut where it must be). A
// character that may not start a line stays with the one before it, and a
// bracketed phrase that does not fit where it starts begins the next line.
std::vector<std::string> WrapLine(const std::string& text, int width) {
  struct Unit {
    std::string text;
    bool space;
  };
  std::vector<Unit> units;
  for (size_t i = 0; i < text.size();) {
    const size_t len = Cp932CharLength(text, i);
    const bool space = len == 1 && text[i] == ' ';
    const bool wordChar = len == 1 && !space;
    // Single-byte characters between spaces are one word, punctuation
    // included ("System.ini").
    if (wordChar && !units.empty() && !units.back().space && Cp932CharLength(units.back().text, 0) == 1)
      units.back().text += text[i];
    else
      units.push_back({text.substr(i, len), space});
    i += len;
  }
  std::vector<std::string> lines(1);
  for (const Unit& u : units) {
    std::string& line = lines.back();
    if (line.empty() && u.space && lines.size() > 1) continue;  // no space at a wrapped line's start
    if (line.empty() || Measure(line + u.text) <= width) {
      line += u.text;
      CutOverlong(lines, width);
      continue;
    }
    if (u.space) {
      lines.emplace_back();
      continue;
    }
    // The character before a closing mark goes down with it; so does an
    // open bracketed phrase.
    std::string carried;
    const size_t open = OpenBracket(line);
    if (open != std::string::npos && open > 0 && Measure(line.substr(open) + u.text) <= width) {
      carried = line.substr(open);
      line.resize(open);
    } else if (NoLineStart(u.text.substr(0, Cp932CharLength(u.text, 0)))) {
      size_t last = 0;
      for (size_t i = 0; i < line.size(); i += Cp932CharLength(line, i)) last = i;
      if (last > 0) {
        carried = line.substr(last);
        line.resize(last);
      }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(carried + u.text);
    CutOverlong(lines, width);
  }
  return lines;
}

}  // namespace dialog

using namespace dialog;

size_t Cp932CharLength(const std::string& text, size_t i) {
  if (i + 1 < text.size() && IsCp932LeadByte(static_cast<uint8_t>(text[i])) &&
      IsCp932TrailByte(static_cast<uint8_t>(text[i + 1])))
    return 2;
  return 1;
}

std::string CleanEditText(const std::string& cp932, bool multiLine) {
  std::string out;
  for (size_t i = 0; i < cp932.size();) {
    const size_t len = Cp932CharLength(cp932, i);
    const uint8_t b = static_cast<uint8_t>(cp932[i]);
    if (len == 2) {
      out.append(cp932, i, 2);
    } else if (b == '\n') {
      if (multiLine) out += "\r\n";
    } else if (b >= 0x20 && b != 0x7F && !IsCp932LeadByte(b)) {
      out += static_cast<char>(b);
    }
    i += len;
  }
  return out;
}

bool FitsEditLimits(const std::string& text, const EditLimits& limits) {
  if (static_cast<int64_t>(text.size()) > limits.MaxBytes()) return false;
  if (limits.lines > 0 && std::count(text.begin(), text.end(), '\n') + 1 > limits.lines) return false;
  if (limits.characters > 0) {
    int64_t count = 0;
    for (size_t i = 0; i < text.size();) {
      const size_t len = limits.doubleByte ? Cp932CharLength(text, i) : 1;
      if (text[i] != '\n' || !limits.doubleByte) ++count;
      i += len;
    }
    if (count > limits.characters) return false;
  }
  return true;
}

std::string CutToEditLimits(std::string text, const EditLimits& limits) {
  // Character starts, so a cut never splits a double-byte character.
  std::vector<size_t> starts;
  for (size_t i = 0; i < text.size(); i += Cp932CharLength(text, i)) starts.push_back(i);
  while (!FitsEditLimits(text, limits) && !starts.empty()) {
    text.resize(starts.back());
    starts.pop_back();
    // "\r\n" goes as one break.
    if (!text.empty() && text.back() == '\r' && !starts.empty()) {
      text.pop_back();
      starts.pop_back();
    }
  }
  return text;
}

int MeasureDialogText(const std::string& cp932) { return Measure(cp932); }
std::vector<std::string> WrapDialogText(const std::string& cp932, int width) { return WrapLine(cp932, width); }

}  // namespace plat

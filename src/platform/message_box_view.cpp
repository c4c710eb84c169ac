#include "platform/message_box_view.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string_view>

#include "platform/dialogs.h"
#include "platform/font_raster.h"
#include "platform/keys.h"

namespace plat {
namespace {

// Sizes in canvas pixels.
constexpr int kFontPx = 15;
constexpr int kIconFontPx = 22;
constexpr int kTitleBarHeight = 28;
constexpr int kTitleInset = 10;      // title text from the bar's left edge
constexpr int kTextMargin = 18;      // around the message text
constexpr int kIconSize = 32;
constexpr int kIconGap = 12;         // icon to text
constexpr int kButtonMinWidth = 82;
constexpr int kButtonHeight = 26;
constexpr int kButtonGap = 10;
constexpr int kButtonStripPad = 11;  // above and below the buttons
constexpr int kButtonRowInset = 12;  // right (or both) ends of the button row
constexpr int kMinBoxWidth = 260;
constexpr int kMaxBoxWidth = 520;     // leaves the game picture visible around the box
constexpr int kMaxPreferredHeight = 480;
// More text than a box of the largest size can show is not laid out (a
// runaway error text must not make every frame of the modal loop slow).
constexpr size_t kMaxTextBytes = 16384;

constexpr uint32_t kBorder = 0xFF4A5563;
constexpr uint32_t kTitleBar = 0xFF2F5F98;
constexpr uint32_t kTitleText = 0xFFFFFFFF;
constexpr uint32_t kBody = 0xFFFFFFFF;
constexpr uint32_t kBodyText = 0xFF111111;
constexpr uint32_t kStrip = 0xFFF0F0F0;
constexpr uint32_t kStripLine = 0xFFDADADA;
constexpr uint32_t kButtonFace = 0xFFE3E3E3;
constexpr uint32_t kButtonEdge = 0xFFA0A0A0;
constexpr uint32_t kHoverFace = 0xFFE5F1FB;
constexpr uint32_t kHoverEdge = 0xFF3C8FD8;
constexpr uint32_t kFocusEdge = 0xFF0067C0;
constexpr uint32_t kButtonText = 0xFF000000;

// The dialog fonts live for the whole run (message boxes may come at any
// time, also during shutdown); null when no font is installed, in which case
// boxes still work, only without text.
FontFace* DialogFont() {
  static FontFace* font = FontFace::Open(FindFontFile("IPAGothic"), kFontPx).release();
  return font;
}
FontFace* IconFont() {
  static FontFace* font = FontFace::Open(FindFontFile("IPAGothic"), kIconFontPx).release();
  return font;
}

int Measure(FontFace* font, std::string_view utf8) {
  if (font) return font->MeasureUtf8(utf8);
  return static_cast<int>(std::min<size_t>(utf8.size(), 1u << 20)) * 8;  // only proportions matter then
}

int LineHeight(FontFace* font) { return font ? font->LineHeight() + 3 : kFontPx + 3; }

// Length of the UTF-8 character at s[i] and its code point (U+FFFD and one
// byte for a malformed sequence).
size_t CharAt(std::string_view s, size_t i, uint32_t& cp) {
  const uint8_t b0 = static_cast<uint8_t>(s[i]);
  size_t len = b0 < 0x80 ? 1 : (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
  if (len == 0 || i + len > s.size()) { cp = 0xFFFD; return 1; }
  cp = len == 1 ? b0 : len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
  for (size_t k = 1; k < len; ++k) {
    const uint8_t b = static_cast<uint8_t>(s[i + k]);
    if ((b & 0xC0) != 0x80) { cp = 0xFFFD; return 1; }
    cp = (cp << 6) | (b & 0x3F);
  }
  return len;
}

// Scripts written without spaces between words: a line may break between
// any two of their characters.
bool BreaksAnywhere(uint32_t cp) {
  return (cp >= 0x1100 && cp <= 0x11FF) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
         (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
         (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFFEF) || cp >= 0x20000;
}

// Japanese line-breaking rules: closing punctuation and small kana never
// start a line, opening brackets never end one.
bool NoLineStart(uint32_t cp) {
  static constexpr uint32_t kChars[] = {
      0x3001, 0x3002, 0xFF0C, 0xFF0E, 0x30FB, 0xFF1A, 0xFF1B, 0xFF1F, 0xFF01, 0x30FC, 0x300D,
      0x300F, 0xFF09, 0x3011, 0x3015, 0x3009, 0x300B, 0x301C, 0x3041, 0x3043, 0x3045, 0x3047,
      0x3049, 0x3063, 0x3083, 0x3085, 0x3087, 0x308E, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9,
      0x30C3, 0x30E3, 0x30E5, 0x30E7, 0x30EE, 0x30F5, 0x30F6, 0xFF61, 0xFF64, 0xFF63, 0xFF70};
  return std::find(std::begin(kChars), std::end(kChars), cp) != std::end(kChars);
}
bool NoLineEnd(uint32_t cp) {
  static constexpr uint32_t kChars[] = {0x300C, 0x300E, 0xFF08, 0x3010, 0x3014,
                                        0x3008, 0x300A, 0xFF62};
  return std::find(std::begin(kChars), std::end(kChars), cp) != std::end(kChars);
}

struct Unit {
  std::string text;
  int width = 0;
  bool space = false;
  bool noStart = false;
  bool noEnd = false;
};

// Splits one paragraph into the pieces a line may break between: spaces,
// words (runs of letters that do not break inside), and single characters
// of scripts that break anywhere. A word wider than the line is cut into
// characters.
std::vector<Unit> SplitUnits(FontFace* font, std::string_view para, int maxWidth) {
  std::vector<Unit> units;
  std::string word;
  auto flushWord = [&] {
    if (word.empty()) return;
    const int w = Measure(font, word);
    if (w <= maxWidth) {
      units.push_back({word, w});
    } else {
      uint32_t cp = 0;
      for (size_t i = 0; i < word.size();) {
        const size_t len = CharAt(word, i, cp);
        std::string ch = word.substr(i, len);
        const int cw = Measure(font, ch);
        units.push_back({std::move(ch), cw});
        i += len;
      }
    }
    word.clear();
  };
  uint32_t cp = 0;
  for (size_t i = 0; i < para.size();) {
    const size_t len = CharAt(para, i, cp);
    const std::string_view ch = para.substr(i, len);
    i += len;
    if (cp == ' ') {
      flushWord();
      units.push_back({" ", Measure(font, " "), true});
    } else if (BreaksAnywhere(cp)) {
      flushWord();
      units.push_back({std::string(ch), Measure(font, ch), false, NoLineStart(cp), NoLineEnd(cp)});
    } else {
      word.append(ch);
    }
  }
  flushWord();
  return units;
}

void AppendWrapped(FontFace* font, std::string_view para, int maxWidth,
                   std::vector<std::string>& lines) {
  const std::vector<Unit> units = SplitUnits(font, para, maxWidth);
  std::vector<const Unit*> cur;
  int curWidth = 0;
  bool afterBreak = false;  // spaces at a soft line start are dropped
  auto push = [&] {
    while (!cur.empty() && cur.back()->space) cur.pop_back();
    std::string line;
    for (const Unit* u : cur) line += u->text;
    lines.push_back(std::move(line));
  };
  for (const Unit& u : units) {
    if (u.space && cur.empty() && afterBreak) continue;
    if (curWidth + u.width <= maxWidth || cur.empty()) {
      cur.push_back(&u);
      curWidth += u.width;
      continue;
    }
    if (u.space) {
      push();
      cur.clear();
      curWidth = 0;
      afterBreak = true;
      continue;
    }
    // Break before u; take the previous character along when u may not
    // start a line or the previous one may not end it.
    std::vector<const Unit*> carried;
    if (cur.size() >= 2 && !cur.back()->space && (u.noStart || cur.back()->noEnd)) {
      carried.push_back(cur.back());
      cur.pop_back();
    }
    push();
    cur = std::move(carried);
    cur.push_back(&u);
    curWidth = 0;
    for (const Unit* c : cur) curWidth += c->width;
    afterBreak = true;
  }
  push();
}

std::vector<std::string> WrapText(FontFace* font, const std::string& text, int maxWidth) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string para = text.substr(start, end - start);
    if (!para.empty() && para.back() == '\r') para.pop_back();
    std::replace(para.begin(), para.end(), '\t', ' ');
    AppendWrapped(font, para, maxWidth, lines);
    start = end + 1;
  }
  return lines;
}

// The standard buttons read in the game's language, as every other box
// and dialog of the game does.
const char* ButtonLabel(int result, bool english) {
  switch (result) {
    case IDOK: return "OK";
    case IDCANCEL: return english ? "Cancel" : "キャンセル";
    case IDYES: return english ? "Yes" : "はい";
    case IDNO: return english ? "No" : "いいえ";
    default: return "";
  }
}

enum class Icon { None, Error, Question, Warning, Information };

Icon IconOf(uint32_t type) {
  switch (type & 0xF0) {
    case MB_ICONERROR: return Icon::Error;
    case MB_ICONQUESTION: return Icon::Question;
    case MB_ICONWARNING: return Icon::Warning;
    case MB_ICONINFORMATION: return Icon::Information;
    default: return Icon::None;
  }
}

// Positions relative to the box's top-left corner.
struct Layout {
  int width = 0, height = 0;
  std::string title;  // shortened with "…" when too long for the bar
  std::vector<std::string> lines;
  int lineHeight = 0;
  int textX = 0, textY = 0, textAreaW = 0, textAreaH = 0;
  Icon icon = Icon::None;
  int iconX = 0, iconY = 0;
  int stripY = 0;
  std::vector<int> buttonX;
  int buttonY = 0;
  std::vector<int> buttonW;
};

Layout ComputeLayout(const MessageBoxSpec& spec, const std::vector<int>& buttons, int maxWidth,
                     int maxHeight) {
  FontFace* font = DialogFont();
  Layout l;
  l.icon = IconOf(spec.type);
  l.lineHeight = LineHeight(font);
  const int iconRoom = l.icon == Icon::None ? 0 : kIconSize + kIconGap;

  int buttonsWidth = 0;
  for (int b : buttons) {
    l.buttonW.push_back(std::max(kButtonMinWidth, Measure(font, ButtonLabel(b, spec.english)) + 24));
    buttonsWidth += l.buttonW.back();
  }
  buttonsWidth += kButtonGap * static_cast<int>(buttons.size() > 0 ? buttons.size() - 1 : 0);
  const int minWidth = std::max(kMinBoxWidth, buttonsWidth + 2 * kButtonRowInset);
  maxWidth = std::max(1, maxWidth);
  const int wrapWidth = std::max(1, std::min(kMaxBoxWidth, maxWidth) - 2 * kTextMargin - iconRoom);

  size_t textBytes = std::min(spec.utf8Text.size(), kMaxTextBytes);
  while (textBytes < spec.utf8Text.size() && textBytes > 0 &&
         (static_cast<uint8_t>(spec.utf8Text[textBytes]) & 0xC0) == 0x80)
    --textBytes;  // do not cut a character in two
  l.lines = WrapText(font, spec.utf8Text.substr(0, textBytes), wrapWidth);
  int textWidth = 0;
  for (const std::string& line : l.lines) textWidth = std::max(textWidth, Measure(font, line));
  l.width = std::clamp(textWidth + 2 * kTextMargin + iconRoom, minWidth, kMaxBoxWidth);
  l.width = std::min(l.width, maxWidth);

  const int textHeight = static_cast<int>(l.lines.size()) * l.lineHeight;
  const int contentHeight = std::max(textHeight, l.icon == Icon::None ? 0 : kIconSize);
  const int stripHeight = kButtonHeight + 2 * kButtonStripPad;
  l.height = kTitleBarHeight + 2 * kTextMargin + contentHeight + stripHeight;
  l.height = std::max(1, std::min(l.height, maxHeight));

  l.stripY = std::max(kTitleBarHeight, l.height - stripHeight);
  l.buttonY = l.stripY + kButtonStripPad;
  int x = l.width - kButtonRowInset - buttonsWidth;
  if (x < kButtonRowInset) x = (l.width - buttonsWidth) / 2;  // too narrow: centre
  for (size_t i = 0; i < buttons.size(); ++i) {
    l.buttonX.push_back(x);
    x += l.buttonW[i] + kButtonGap;
  }

  const int contentTop = kTitleBarHeight + kTextMargin;
  l.iconX = kTextMargin;
  l.iconY = contentTop;
  l.textX = kTextMargin + iconRoom;
  l.textY = contentTop + std::max(0, (contentHeight - textHeight) / 2);
  l.textAreaW = std::max(0, l.width - l.textX - kTextMargin / 2);
  l.textAreaH = std::max(0, l.stripY - l.textY);

  l.title = spec.utf8Title;
  const int titleRoom = l.width - 2 * kTitleInset;
  if (Measure(font, l.title) > titleRoom) {
    static const std::string kEllipsis = "\xE2\x80\xA6";
    const int ellipsisWidth = Measure(font, kEllipsis);
    uint32_t cp = 0;
    std::string shortened;
    for (size_t i = 0; i < l.title.size();) {
      const size_t len = CharAt(l.title, i, cp);
      if (Measure(font, shortened + l.title.substr(i, len)) + ellipsisWidth > titleRoom) break;
      shortened += l.title.substr(i, len);
      i += len;
    }
    l.title = shortened + kEllipsis;
  }
  return l;
}

// Drawing helpers; everything is clipped to the canvas.
bool ValidCanvas(const Frame& c) {
  return c.width > 0 && c.height > 0 &&
         c.pixels.size() >= static_cast<size_t>(c.width) * static_cast<size_t>(c.height);
}

void FillRect(Frame& c, int x, int y, int w, int h, uint32_t colour) {
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min<int64_t>(static_cast<int64_t>(x) + w, c.width);
  const int y1 = std::min<int64_t>(static_cast<int64_t>(y) + h, c.height);
  if (x0 >= x1) return;
  for (int py = y0; py < y1; ++py)
    std::fill(c.pixels.begin() + static_cast<size_t>(py) * c.width + x0,
              c.pixels.begin() + static_cast<size_t>(py) * c.width + x1, colour);
}

void FrameRect(Frame& c, int x, int y, int w, int h, int thickness, uint32_t colour) {
  FillRect(c, x, y, w, thickness, colour);
  FillRect(c, x, y + h - thickness, w, thickness, colour);
  FillRect(c, x, y, thickness, h, colour);
  FillRect(c, x + w - thickness, y, thickness, h, colour);
}

// Draws a text with its line top at (x, y), clipped to the rectangle
// (clipX, clipY, clipW, clipH) as well as to the canvas.
void DrawText(Frame& c, FontFace* font, int clipX, int clipY, int clipW, int clipH, int x, int y,
              std::string_view utf8, uint32_t colour) {
  if (!font) return;
  const int x0 = std::max(clipX, 0), y0 = std::max(clipY, 0);
  const int x1 = std::min<int64_t>(static_cast<int64_t>(clipX) + clipW, c.width);
  const int y1 = std::min<int64_t>(static_cast<int64_t>(clipY) + clipH, c.height);
  if (x0 >= x1 || y0 >= y1) return;
  font->DrawUtf8(c.pixels.data() + static_cast<size_t>(y0) * c.width + x0, x1 - x0, y1 - y0,
                 c.width, x - x0, y - y0, utf8, colour);
}

uint32_t Blend(uint32_t dst, uint32_t src, int alpha) {
  auto ch = [&](int shift) {
    const uint32_t s = (src >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
    return ((s * alpha + d * (255 - alpha) + 127) / 255) << shift;
  };
  return 0xFF000000u | ch(16) | ch(8) | ch(0);
}

// Fills the icon-sized square at (x, y) where `inside` holds, antialiased by
// 4x4 supersampling; `inside` takes coordinates in icon pixels.
template <typename Inside>
void FillShape(Frame& c, int x, int y, uint32_t colour, Inside inside) {
  for (int py = 0; py < kIconSize; ++py) {
    for (int px = 0; px < kIconSize; ++px) {
      const int cx = x + px, cy = y + py;
      if (cx < 0 || cy < 0 || cx >= c.width || cy >= c.height) continue;
      int hits = 0;
      for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx)
          if (inside(px + (sx + 0.5) / 4.0, py + (sy + 0.5) / 4.0)) ++hits;
      if (hits == 0) continue;
      uint32_t& p = c.pixels[static_cast<size_t>(cy) * c.width + cx];
      p = Blend(p, colour, hits * 255 / 16);
    }
  }
}

void DrawIcon(Frame& c, Icon icon, int x, int y) {
  if (icon == Icon::None) return;
  const double r = kIconSize / 2.0 - 0.5;
  auto circle = [r](double px, double py) {
    const double dx = px - kIconSize / 2.0, dy = py - kIconSize / 2.0;
    return dx * dx + dy * dy <= r * r;
  };
  const char* mark = "";
  uint32_t markColour = 0xFFFFFFFF;
  switch (icon) {
    case Icon::Error:
      FillShape(c, x, y, 0xFFD32F2F, circle);
      mark = "\xC3\x97";  // multiplication sign
      break;
    case Icon::Question:
      FillShape(c, x, y, 0xFF1E6FCF, circle);
      mark = "?";
      break;
    case Icon::Information:
      FillShape(c, x, y, 0xFF1E6FCF, circle);
      mark = "i";
      break;
    case Icon::Warning:
      FillShape(c, x, y, 0xFFF2B705, [](double px, double py) {
        // Upward triangle: apex at the top centre, base along the bottom.
        const double half = kIconSize / 2.0, top = 1.0, bottom = kIconSize - 2.0;
        if (py < top || py > bottom) return false;
        const double halfWidth = (py - top) / (bottom - top) * (half - 0.5);
        return std::abs(px - half) <= halfWidth;
      });
      mark = "!";
      markColour = 0xFF202020;
      break;
    case Icon::None:
      break;
  }
  FontFace* font = IconFont();
  if (!font) return;
  const int w = font->MeasureUtf8(mark);
  const int h = font->Ascent() + font->Descent();
  const int markY = y + (kIconSize - h) / 2 + (icon == Icon::Warning ? 3 : 0);
  DrawText(c, font, x, y, kIconSize, kIconSize, x + (kIconSize - w) / 2, markY, mark, markColour);
}

}  // namespace

MessageBoxView::MessageBoxView(const MessageBoxSpec& spec) : spec_(spec) {
  switch (spec.type & 0xF) {
    case MB_OKCANCEL: buttons_ = {IDOK, IDCANCEL}; break;
    case MB_YESNOCANCEL: buttons_ = {IDYES, IDNO, IDCANCEL}; break;
    case MB_YESNO: buttons_ = {IDYES, IDNO}; break;
    default: buttons_ = {IDOK}; break;  // MB_OK and the kinds we do not offer
  }
  // Bits 8..11 choose the default button (MB_DEFBUTTON2 = the second).
  const int wanted = static_cast<int>((spec.type >> 8) & 0xF);
  focus_ = std::min(wanted, static_cast<int>(buttons_.size()) - 1);
}

int MessageBoxView::PreferredWidth() const {
  return ComputeLayout(spec_, buttons_, kMaxBoxWidth, kMaxPreferredHeight).width;
}

int MessageBoxView::PreferredHeight() const {
  return ComputeLayout(spec_, buttons_, kMaxBoxWidth, kMaxPreferredHeight).height;
}

std::string MessageBoxView::ButtonText(size_t index) const {
  return index < buttons_.size() ? ButtonLabel(buttons_[index], spec_.english) : "";
}

int MessageBoxView::DefaultAnswer() const {
  const int wanted = static_cast<int>((spec_.type >> 8) & 0xF);
  return buttons_[std::min(wanted, static_cast<int>(buttons_.size()) - 1)];
}

int MessageBoxView::CancelAnswer() const {
  auto has = [&](int id) { return std::find(buttons_.begin(), buttons_.end(), id) != buttons_.end(); };
  if (has(IDCANCEL)) return IDCANCEL;
  if (has(IDNO)) return IDNO;
  return IDOK;
}

void MessageBoxView::Render(Frame& canvas) {
  buttonRects_.clear();
  if (!ValidCanvas(canvas)) return;
  for (size_t i = 0; i < static_cast<size_t>(canvas.width) * canvas.height; ++i)
    canvas.pixels[i] = 0xFF000000u | ((canvas.pixels[i] >> 1) & 0x7F7F7F);

  const Layout l = ComputeLayout(spec_, buttons_, canvas.width, canvas.height);
  const int bx = std::max(0, (canvas.width - l.width) / 2);
  const int by = std::max(0, (canvas.height - l.height) / 2);
  FontFace* font = DialogFont();

  FillRect(canvas, bx, by, l.width, l.height, kBody);
  FillRect(canvas, bx, by, l.width, kTitleBarHeight, kTitleBar);
  if (font) {
    const int ty = by + (kTitleBarHeight - font->Ascent() - font->Descent()) / 2;
    DrawText(canvas, font, bx + 1, by + 1, l.width - 2, kTitleBarHeight - 1, bx + kTitleInset, ty,
             l.title, kTitleText);
  }

  DrawIcon(canvas, l.icon, bx + l.iconX, by + l.iconY);
  const int visibleLines = l.lineHeight > 0 ? l.textAreaH / l.lineHeight : 0;
  for (int i = 0; i < static_cast<int>(l.lines.size()) && i < std::max(visibleLines, 1); ++i) {
    DrawText(canvas, font, bx + l.textX, by + l.textY, l.textAreaW, l.textAreaH, bx + l.textX,
             by + l.textY + i * l.lineHeight, l.lines[i], kBodyText);
  }

  FillRect(canvas, bx, by + l.stripY, l.width, l.height - l.stripY, kStrip);
  FillRect(canvas, bx, by + l.stripY, l.width, 1, kStripLine);
  for (size_t i = 0; i < buttons_.size(); ++i) {
    const ButtonRect r{bx + l.buttonX[i], by + l.buttonY, l.buttonW[i], kButtonHeight};
    buttonRects_.push_back(r);
    const bool hovered = static_cast<int>(i) == hover_;
    const bool focused = static_cast<int>(i) == focus_;
    FillRect(canvas, r.x, r.y, r.w, r.h, hovered ? kHoverFace : kButtonFace);
    if (focused) {
      FrameRect(canvas, r.x, r.y, r.w, r.h, 2, kFocusEdge);
    } else {
      FrameRect(canvas, r.x, r.y, r.w, r.h, 1, hovered ? kHoverEdge : kButtonEdge);
    }
    if (font) {
      const char* label = ButtonLabel(buttons_[i], spec_.english);
      const int lx = r.x + (r.w - font->MeasureUtf8(label)) / 2;
      const int ly = r.y + (r.h - font->Ascent() - font->Descent()) / 2;
      DrawText(canvas, font, r.x + 2, r.y + 2, r.w - 4, r.h - 4, lx, ly, label, kButtonText);
    }
  }
  FrameRect(canvas, bx, by, l.width, l.height, 1, kBorder);
}

bool MessageBoxView::HandleKey(int virtualKey) {
  if (Answered()) return true;
  const int count = static_cast<int>(buttons_.size());
  auto press = [&](int id) {
    if (std::find(buttons_.begin(), buttons_.end(), id) != buttons_.end()) answer_ = id;
  };
  switch (virtualKey) {
    case VK_LEFT: focus_ = (focus_ + count - 1) % count; break;
    case VK_RIGHT:
    case VK_TAB: focus_ = (focus_ + 1) % count; break;
    case VK_RETURN:
    case VK_SPACE: answer_ = buttons_[focus_]; break;
    case VK_ESCAPE: answer_ = CancelAnswer(); break;
    case 'Y': press(IDYES); break;
    case 'N': press(IDNO); break;
    case 'O': press(IDOK); break;
    case 'C': press(IDCANCEL); break;
    default: break;
  }
  return Answered();
}

void MessageBoxView::HandleMouseMove(int x, int y) {
  hover_ = -1;
  for (size_t i = 0; i < buttonRects_.size(); ++i) {
    const ButtonRect& r = buttonRects_[i];
    if (x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h) hover_ = static_cast<int>(i);
  }
}

bool MessageBoxView::HandleClick(int x, int y) {
  if (Answered()) return true;
  HandleMouseMove(x, y);
  if (hover_ >= 0 && hover_ < static_cast<int>(buttons_.size())) {
    focus_ = hover_;
    answer_ = buttons_[hover_];
  }
  return Answered();
}

}  // namespace plat

// Fonts: the glyph sheets, the text layout over both back ends, measuring,
// framed boxes and the digit strips.
//
// Characters are rendered by the font's face straight into a surface's
// pixels (monochrome ink in the text colour, nothing else touched). In the
// DirectDraw mode text is composed on the font's work surface and copied
// keyed onto the destination, while sheet cells are blitted onto the
// destination itself; in the Direct3D mode a render target (the back buffer
// among them) takes both directly, and any other destination gets the text
// through the work surface.
#include "gfx/fonts.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/program.h"
#include "base/text_path.h"
#include "gfx/dd_frame.h"
#include "gfx/surface_table.h"
#include "platform/font_raster.h"
#include "platform/text.h"

namespace {

// The characters the full-width sheet is filled with first ("ト" twice and
// no "ド": a character first drawn later takes the next free cell).
const std::string& FixedSet() {
  return plat::Sjis(
      "０１２３４５６７８９ー～、。．！？「」（）｛｝・…※→↑↓←＋－＝○●×ＡＢＣＤＥＦＧＨＩＪＫＬＭＮＯＰＱＲＳＴＵＶＷＸＹＺ"
      "ａｂｃｄｅｆｇｈｉｊｋｌｍｎｏｐｑｒｓｔｕｖｗｘｙｚあいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめ"
      "もやゆよらりるれろわをんがぎぐげござじずぜぞだぢづでどばびぶべぼぱぴぷぺぽぁぃぅぇぉっゃゅょアイウエオカキクケコサシスセ"
      "ソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワヲンガギグゲゴザジズゼゾダヂヅデトバビブベボヴパピプペポァィ"
      "ゥェォッャュョ□■☆★％＆＜＞：");
}

uint16_t PairCode(const char* ch) {
  return static_cast<uint16_t>((static_cast<uint8_t>(ch[0]) << 8) | static_cast<uint8_t>(ch[1]));
}

uint32_t CodepointOf(const char* ch, int count) {
  return plat::Cp932Codepoint(static_cast<uint8_t>(ch[0]), count == 2 ? static_cast<uint8_t>(ch[1]) : 0);
}

bool HasSurface(const DDSURFACEDATA* sd) {
  if (!sd) return false;
  if (lpDTCon) return sd->lpDT && sd->lpDT->lpSurface;
  return sd->lpDDS && sd->lpDDS->lpSurface;
}

// The text colour as written into a surface of format `f`: channels as
// c × max / 255, the rule of every other road that writes a colour into 16
// bits (so text in a palette number matches fills and pictures in it), a
// one-bit alpha from 128 up, the spare byte of X8R8G8B8 set.
uint32_t DevicePixel(const plat::PixelFormat& f, uint32_t argb) {
  auto narrow = [](uint32_t v, uint32_t mask) -> uint32_t {
    const uint32_t max = plat::MaskMax(mask);
    return max == 0 ? 0 : (v * max / 255) << plat::MaskShift(mask);
  };
  const uint32_t a = argb >> 24, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
  uint32_t v = narrow(r, f.redMask) | narrow(g, f.greenMask) | narrow(b, f.blueMask);
  if (f.alphaMask == 0x8000) v |= a >= 128 ? 0x8000u : 0u;
  else if (f.alphaMask) v |= narrow(a, f.alphaMask);
  else if (f.bitsPerPixel == 32) v |= 0xFF000000u;
  return v;
}

// Cuts the canvas's clip to `r`.
void CutClip(plat::GlyphCanvas& c, const plat::Rect& r) {
  c.clipLeft = std::max(c.clipLeft, r.left);
  c.clipTop = std::max(c.clipTop, r.top);
  c.clipRight = std::min(c.clipRight, r.right);
  c.clipBottom = std::min(c.clipBottom, r.bottom);
}

// The pixels of a surface opened for the face to write into.
class TextCanvas {
 public:
  TextCanvas(DDSURFACEDATA* sd, uint32_t ddPixel, uint32_t argb) {
    if (!sd) return;
    if (!lpDTCon) {
      if (!sd->lpDDS || !sd->lpDDS->lpSurface) return;
      plat::DrawSurface* s = sd->lpDDS->lpSurface;
      uint8_t* bits = nullptr;
      int pitch = 0;
      if (s->Lock(bits, pitch) != plat::DD_OK) return;  // lost or busy: nothing is written
      locked_ = s;
      Set(bits, pitch, s->Image().BytesPerPixel(), std::min(s->Width(), sd->nWidth), std::min(s->Height(), sd->nHeight));
      value_ = ddPixel;
      return;
    }
    DDSubstituteMirror(&sd);
    DDRedirectBackBuffer(&sd);
    if (!sd || !sd->lpDT || !sd->lpDT->lpSurface) return;
    plat::PixelImage& image = sd->lpDT->lpSurface->Image();
    Set(image.Bits(), image.Pitch(), image.BytesPerPixel(), std::min(image.Width(), sd->nWidth),
        std::min(image.Height(), sd->nHeight));
    value_ = DevicePixel(image.Format(), argb);
  }
  ~TextCanvas() {
    if (locked_) locked_->Unlock();
  }
  TextCanvas(const TextCanvas&) = delete;
  TextCanvas& operator=(const TextCanvas&) = delete;

  bool Open() const { return canvas_.bits != nullptr; }
  uint32_t Value() const { return value_; }
  // The canvas cut to `clip` (null: the whole surface).
  plat::GlyphCanvas Clipped(const plat::Rect* clip) const {
    plat::GlyphCanvas c = canvas_;
    if (clip) CutClip(c, *clip);
    return c;
  }

 private:
  void Set(uint8_t* bits, int pitch, int bytes, int w, int h) {
    canvas_.bits = bits;
    canvas_.pitch = pitch;
    canvas_.bytesPerPixel = bytes;
    canvas_.clipRight = std::max(w, 0);
    canvas_.clipBottom = std::max(h, 0);
  }
  plat::GlyphCanvas canvas_;
  uint32_t value_ = 0;
  plat::DrawSurface* locked_ = nullptr;
};

// Text written into the Direct3D back buffer is kept by the device with its
// own draws until the frame is shown (plat::Device::KeepProcessorDraw), so
// that a frame whose text and draws are those of the frame before draws
// only where they changed. The key of a run of glyphs: this header, then
// its code points.
struct KeptGlyphRun {
  plat::CellFace* face;
  uint64_t faceSerial;  // the face's own (a face made later at the same address has another)
  int32_t x, y;         // the first glyph's pen and the cell's top
  uint32_t value;       // the raw pixel
  int32_t clipLeft, clipTop, clipRight, clipBottom;
  uint32_t advance;     // 1: each glyph moves the pen on by its advance
};

void DrawKeptGlyphRun(const uint8_t* key, size_t size, plat::PixelImage& image, const plat::Rect& clip) {
  KeptGlyphRun run;
  std::memcpy(&run, key, sizeof run);
  plat::GlyphCanvas canvas;
  canvas.bits = image.Bits();
  canvas.pitch = image.Pitch();
  canvas.bytesPerPixel = image.BytesPerPixel();
  canvas.clipLeft = run.clipLeft;
  canvas.clipTop = run.clipTop;
  canvas.clipRight = run.clipRight;
  canvas.clipBottom = run.clipBottom;
  CutClip(canvas, clip);
  int pen = run.x;
  for (size_t at = sizeof run; at + 4 <= size; at += 4) {
    uint32_t cp;
    std::memcpy(&cp, key + at, 4);
    if (cp != 0) run.face->Draw(canvas, pen, run.y, cp, run.value);
    if (run.advance) pen += run.face->Advance(cp);
  }
}

// Hands glyphs drawn into `sd` to the device to keep: false (nothing done)
// unless `sd` stands for the Direct3D back buffer and the device keeps its
// frame. `clip` (null: none) cuts the canvas TextCanvas would give.
bool KeepGlyphRun(DDSURFACEDATA* sd, plat::CellFace* face, uint64_t serial, int x, int y, uint32_t argb,
                  const plat::Rect* clip, const uint32_t* cps, size_t count, bool advance) {
  if (!sd || !lpDTCon || !DDState.lpDevice || !face) return false;
  DDSubstituteMirror(&sd);
  DDRedirectBackBuffer(&sd);
  if (!sd || !sd->lpDT || !sd->lpDT->lpSurface) return false;
  const plat::DeviceSurface& surface = *sd->lpDT->lpSurface;
  KeptGlyphRun run;
  std::memset(&run, 0, sizeof run);  // the padding too: keys are compared byte by byte
  run.face = face;
  run.faceSerial = serial;
  run.x = x;
  run.y = y;
  run.value = DevicePixel(plat::D3DFormatPixels(surface.Format()), argb);
  plat::GlyphCanvas bounds;  // the clip TextCanvas would give
  bounds.clipRight = std::max(std::min(surface.Width(), sd->nWidth), 0);
  bounds.clipBottom = std::max(std::min(surface.Height(), sd->nHeight), 0);
  if (clip) CutClip(bounds, *clip);
  run.clipLeft = bounds.clipLeft, run.clipTop = bounds.clipTop;
  run.clipRight = bounds.clipRight, run.clipBottom = bounds.clipBottom;
  run.advance = advance ? 1 : 0;
  int top = INT_MAX, bottom = INT_MIN;
  for (size_t i = 0; i < count; ++i) {
    int t, b;
    face->InkRows(cps[i], t, b);
    if (t <= b) top = std::min(top, y + t), bottom = std::max(bottom, y + b);
  }
  top = std::max(top, run.clipTop);
  bottom = std::min(bottom, run.clipBottom - 1);
  thread_local std::vector<uint8_t> key;
  key.resize(sizeof run + count * 4);
  std::memcpy(key.data(), &run, sizeof run);
  if (count > 0) std::memcpy(key.data() + sizeof run, cps, count * 4);
  const plat::Rect reach{run.clipLeft, top, run.clipRight, bottom + 1};
  return DDState.lpDevice->KeepProcessorDraw(&surface, reach, key.data(), key.size(), DrawKeptGlyphRun);
}

// Clears a rectangle to transparent: the surface's own colour key in the
// DirectDraw mode (the keyed copies that follow skip exactly that value),
// palette number 0 (transparent black) in the Direct3D mode.
void FillTransparent(DDSURFACEDATA* sd, int x, int y, int w, int h) {
  if (!HasSurface(sd) || w <= 0 || h <= 0) return;
  if (lpDTCon) {
    DDFillRect(sd, x, y, w, h, 0);
    return;
  }
  plat::DrawSurface* s = sd->lpDDS->lpSurface;
  DDFillRectColor(sd, x, y, w, h, s->HasColorKey() ? s->ColorKey() : PalNumToRGB(0));
}

void SetKindTag(DDSURFACEDATA* sd, const char* kind) { std::snprintf(sd->szKind, sizeof sd->szKind, "%s", kind); }

}  // namespace

// ---- glyph sheets ----

cFastFont::cFastFont(uint32_t dwKind, int nGlyphW, int nGlyphH, int nColumns, int nRows)
    : m_dwKind(dwKind),
      m_nGlyphW(nGlyphW),
      m_nGlyphH(nGlyphH),
      m_nColumns(nColumns),
      m_nRows(nRows),
      m_nCells(nColumns * nRows) {
  if (nGlyphW <= 0 || nGlyphH <= 0 || nColumns <= 0 || nRows <= 0) return;
  if (!DDCreateSurface(&m_SD, nColumns * nGlyphW, nRows * nGlyphH, 1, 0, DTMEMORYTYPE_VIDEO_RT, 0, 0))
    DDReleaseSurfaceObjects(&m_SD);
}

cFastFont::~cFastFont() { DDReleaseSurfaceObjects(&m_SD); }

int cFastFont::AddChar(const char* ch) {
  if (m_nNextSlot >= m_nCells) return 0;
  FASTFONTCHAR node;
  node.szChar[0] = ch[0];
  node.szChar[1] = ch[1];
  node.nSlot = m_nNextSlot;
  node.nCellX = (m_nNextSlot % m_nColumns) * m_nGlyphW;
  node.nCellY = (m_nNextSlot / m_nColumns) * m_nGlyphH;
  m_Index.emplace(PairCode(ch), static_cast<int32_t>(m_Chars.size()));
  m_Chars.push_back(node);
  ++m_nNextSlot;
  return 1;
}

const FASTFONTCHAR* cFastFont::Find(const char* ch) const {
  auto it = m_Index.find(PairCode(ch));
  return it == m_Index.end() ? nullptr : &m_Chars[static_cast<size_t>(it->second)];
}

int cFastFont::DrawHalfChar(DDSURFACEDATA* lpDst, int x, int y, uint8_t b, uint32_t dwFlags) {
  return DDBlt(lpDst, x, y, m_nGlyphW, m_nGlyphH, &m_SD, (b % m_nColumns) * m_nGlyphW, (b / m_nColumns) * m_nGlyphH,
               dwFlags);
}

int cFastFont::DrawFullChar(DDSURFACEDATA* lpDst, int x, int y, const char* ch, uint32_t dwFlags) {
  const FASTFONTCHAR* node = Find(ch);
  if (!node) return -1;
  return DDBlt(lpDst, x, y, m_nGlyphW, m_nGlyphH, &m_SD, node->nCellX, node->nCellY, dwFlags);
}

// ---- the font ----

cFont::cFont() = default;
cFont::~cFont() { Release(); }

bool cFont::Create(const char* szFace, int32_t nGdiWidth, int32_t nHeight, int32_t nCharWidth, int32_t nLineHeight,
                   int32_t nDefaultColor, DDSURFACEDATA* lpBoxSD, int32_t nFrameSize, int32_t nFrameColor,
                   DDSURFACEDATA* lpLetterSD, uint32_t dwGlyphMode) {
  if (!lpDTCon && !lpDDCon) return false;
  m_strFace = szFace ? std::string(szFace, strnlen(szFace, 255)) : std::string();
  m_nGdiWidth = nGdiWidth;
  m_nHeight = nHeight;
  m_nCharWidth = nCharWidth;
  m_nLineHeight = nLineHeight;
  m_nDefaultColor = nDefaultColor;
  m_lpBoxSD = lpBoxSD;
  m_nFrameSize = nFrameSize;
  m_nFrameColor = nFrameColor;
  m_lpLetterSD = lpLetterSD;
  m_bPicLetters = lpLetterSD ? 1 : 0;
  m_dwGlyphMode = dwGlyphMode;

  bool fellBack = false;
  const std::string file = ResolveFontFace(m_strFace.c_str(), &fellBack);
  if (fellBack)
    WriteReportLog(plat::Sjis("フォント「%s」はインストールされていないため、%s で表示します。").c_str(),
                   m_strFace.c_str(), file.c_str());
  ForgetFace();
  m_lpFace = plat::CellFace::Open(file, nHeight, nGdiWidth);
  static uint64_t faces = 0;
  m_nFaceSerial = ++faces;
  if (!m_lpFace) {
    WriteReportAndECLog(plat::Sjis("フォント「%s」を作成できません。(%s)").c_str(), m_strFace.c_str(), file.c_str());
    return false;
  }

  const PALETTEENTRY& e = DDState.DDPalette[static_cast<uint32_t>(nDefaultColor) & 0xFF];
  uint32_t r = e.peRed, g = e.peGreen, b = e.peBlue;
  if (lpDTCon) {
    m_dwColor = 0xFF000000u | (r << 16) | (g << 8) | b;
  } else if (DDState.nBpp != 0) {
    if (DDState.nBpp == 16) {
      // The 16-bit palette holds channels at the display's precision.
      const uint32_t* f = DDState.TexFormat;
      if (f[PF_RMAX]) r = r * 255 / f[PF_RMAX];
      if (f[PF_GMAX]) g = g * 255 / f[PF_GMAX];
      if (f[PF_BMAX]) b = b * 255 / f[PF_BMAX];
    }
    m_dwColor = (b << 16) | (g << 8) | r;
    m_dwTextPixel = PalNumToRGB(static_cast<uint32_t>(nDefaultColor));
  }

  if (!HasSurface(&m_WorkSD)) {
    DDReleaseSurfaceObjects(&m_WorkSD);
    const int w = DDBackBuffer()->nWidth > 0 ? DDBackBuffer()->nWidth : DDState.nDispWidth;
    const int h = DDBackBuffer()->nHeight > 0 ? DDBackBuffer()->nHeight : DDState.nDispHeight;
    // Each use fills the area it composes in first (DrawText).
    if (w <= 0 || h <= 0 || !DDCreateWorkSurface(&m_WorkSD, w, h, 1, 0, DTMEMORYTYPE_VIDEO_RT)) {
      DDReleaseSurfaceObjects(&m_WorkSD);
      WriteReportAndECLog("DDCreateSurface Font::Work");
      RequestQuit();
      ForgetFace();
      return false;
    }
    SetKindTag(&m_WorkSD, "DDCreateSurface Font::Work");
  }

  if (lpDTCon) m_dwSerial = ++lpDTCon->dwFontSerial;
  else m_dwSerial = ++lpDDCon->dwFontSerial;
  DDRegisterFont(this);

  FreeSheets();
  if (dwGlyphMode == 0) return true;
  if (nCharWidth == 0 || nLineHeight == 0) {
    WriteECLog("%s", plat::Sjis("※フォントクラスで文字間が未設定！").c_str());
    return true;
  }
  if (!MakeSheets()) {
    RequestQuit();
    return false;
  }
  BuildHalfSheet();
  BuildFullSheet(false);
  return true;
}

bool cFont::MakeSheets() {
  const int cw = m_nCharWidth, lh = m_nLineHeight;
  if (cw < 0 || lh < 0) return false;
  m_lpFastFont_Half = new cFastFont(cFastFont::kHalf, cw, lh, 16, 16);
  if (!m_lpFastFont_Half->Created()) {
    WriteReportAndECLog("m_lpFastFont_Half Err");
    FreeSheets();
    return false;
  }
  int columns, rows;
  if (lpDTCon) {
    columns = std::min(1024 / cw, 32);
    rows = std::min(1024 / lh, 32);
  } else {
    columns = std::min(DDBackBuffer()->nWidth / cw, 32);
    rows = std::min(DDBackBuffer()->nHeight / lh, 30);
  }
  // Cells too large for even one: every full-width character is drawn
  // through the face.
  if (columns < 1 || rows < 1) return true;
  m_lpFastFont_FullAdd = new cFastFont(cFastFont::kFull, cw, lh, columns, rows);
  if (!m_lpFastFont_FullAdd->Created()) {
    WriteReportAndECLog("m_lpFastFont_FullAdd Err");
    FreeSheets();
    return false;
  }
  return true;
}

void cFont::FreeSheets() {
  delete m_lpFastFont_Half;
  delete m_lpFastFont_FullAdd;
  m_lpFastFont_Half = nullptr;
  m_lpFastFont_FullAdd = nullptr;
  m_nFixedCount = 0;
}

void cFont::Release() {
  FreeSheets();
  DDReleaseSurfaceObjects(&m_WorkSD);
  m_WorkSD = DDSURFACEDATA{};
  ForgetFace();
  DDUnregisterFont(this);
}

void cFont::ForgetFace() {
  // Text the device keeps for the frame is drawn with the face: drawn now.
  if (m_lpFace && lpDTCon && DDState.lpDevice) DDState.lpDevice->DrawKeptNow();
  m_lpFace.reset();
}

int cFont::AddedFullWidthCount() const {
  return m_lpFastFont_FullAdd ? static_cast<int>(m_lpFastFont_FullAdd->m_Chars.size()) - m_nFixedCount : 0;
}

int cFont::BracketOffset(const char* ch, int count) const {
  if (m_bCentre || m_strFace != plat::Sjis("ＭＳ Ｐゴシック")) return 0;
  bool bracket;
  if (count == 2) {
    const uint16_t c = PairCode(ch);
    bracket = c == 0x8169 || c == 0x816A || c == 0x816F || c == 0x8170;  // （ ） ｛ ｝
  } else {
    bracket = ch[0] == '(' || ch[0] == ')' || ch[0] == '{' || ch[0] == '}';
  }
  return bracket ? m_nCharWidth >> 2 : 0;
}

bool cFont::PictureLettersOn(uint32_t plain) const {
  return !plain && m_bPicLetters && m_nCharWidth != 0 && HasSurface(m_lpLetterSD);
}

void cFont::TextOutClipped(DDSURFACEDATA* lpTarget, int x, int y, const char* ch, int count, const plat::Rect* clip) {
  const uint32_t cp = CodepointOf(ch, count);
  if (cp == 0 || !m_lpFace) return;  // no such character: blank
  int px = x, py = y;
  if (m_bCentre) {
    px = x + (m_nCharWidth >> 1) - (m_lpFace->Advance(cp) >> 1);
    py = y + (m_nLineHeight >> 1) - (m_lpFace->CellHeight() >> 1);
  } else if (count == 1) {
    px = x + (m_nCharWidth >> 3);
    py = y + (m_nLineHeight >> 4) - 1;
  }
  if (KeepGlyphRun(lpTarget, m_lpFace.get(), m_nFaceSerial, px, py, m_dwColor, clip, &cp, 1, false)) return;
  TextCanvas canvas(lpTarget, m_dwTextPixel, m_dwColor);
  if (canvas.Open()) m_lpFace->Draw(canvas.Clipped(clip), px, py, cp, canvas.Value());
}

void cFont::BuildHalfSheet() {
  cFastFont* half = m_lpFastFont_Half;
  if (!half) return;
  FillTransparent(&half->m_SD, 0, 0, half->m_SD.nWidth, half->m_SD.nHeight);
  // Row 0 (codes 0..15) stays blank; so do lead bytes, which stand for no
  // character alone, and the bytes that name none.
  for (int b = 16; b < 256; ++b) {
    const char ch = static_cast<char>(b);
    const int cx = (b % half->m_nColumns) * half->m_nGlyphW, cy = (b / half->m_nColumns) * half->m_nGlyphH;
    const plat::Rect cell{cx, cy, cx + half->m_nGlyphW, cy + half->m_nGlyphH};
    TextOutClipped(&half->m_SD, cx + BracketOffset(&ch, 1), cy, &ch, 1, &cell);
  }
}

void cFont::BuildFullSheet(bool restoring) {
  cFastFont* full = m_lpFastFont_FullAdd;
  if (!full) return;
  if (!restoring) {
    const std::string& set = FixedSet();
    for (size_t i = 0; i + 1 < set.size(); i += 2)
      if (!full->AddChar(set.c_str() + i)) break;
    m_nFixedCount = static_cast<int32_t>(full->m_Chars.size());
  }
  FillTransparent(&full->m_SD, 0, 0, full->m_SD.nWidth, full->m_SD.nHeight);
  for (const FASTFONTCHAR& node : full->m_Chars) {
    const plat::Rect cell{node.nCellX, node.nCellY, node.nCellX + full->m_nGlyphW, node.nCellY + full->m_nGlyphH};
    TextOutClipped(&full->m_SD, node.nCellX + BracketOffset(node.szChar, 2), node.nCellY, node.szChar, 2, &cell);
  }
}

void cFont::Layout(DDSURFACEDATA* lpText, int tx, int ty, DDSURFACEDATA* lpGlyphs, int gx, int gy, const char* text,
                   bool pictureLetters) {
  DDBeginBatch(1);
  const int cw = m_nCharWidth, lh = m_nLineHeight;
  if (cw == 0) {
    // Proportional: line by line, each character by its own advance.
    int line = 0;
    thread_local std::vector<uint32_t> cps;
    for (const char* p = text;;) {
      const int n = GetLineLength(p);
      cps.clear();
      for (int i = 0; i < n;) {
        const int count = IsDoubleByteChar(p + i) && i + 1 < n ? 2 : 1;
        cps.push_back(CodepointOf(p + i, count));
        i += count;
      }
      if (!KeepGlyphRun(lpText, m_lpFace.get(), m_nFaceSerial, tx, ty + line, m_dwColor, nullptr, cps.data(),
                        cps.size(), true)) {
        TextCanvas canvas(lpText, m_dwTextPixel, m_dwColor);
        int pen = tx;
        for (const uint32_t cp : cps) {
          if (canvas.Open() && cp != 0) m_lpFace->Draw(canvas.Clipped(nullptr), pen, ty + line, cp, canvas.Value());
          pen += m_lpFace->Advance(cp);
        }
      }
      p += n;
      if (*p == '\0') break;
      ++p;
      line += lh;
    }
    DDEndBatch();
    return;
  }
  const bool sheets = m_dwGlyphMode != 0 && lpGlyphs != nullptr;
  int column = 0, line = 0;
  for (const char* p = text; *p;) {
    if (IsDoubleByteChar(p)) {
      if (PairCode(p) == 0x8140) {  // the full-width space only moves the pen
        column += cw;
        p += 2;
        continue;
      }
      bool drawn = false;
      if (sheets && m_lpFastFont_FullAdd) {
        cFastFont* full = m_lpFastFont_FullAdd;
        if (full->DrawFullChar(lpGlyphs, gx + column, gy + line, p, 1) >= 0) {
          drawn = true;
        } else if (CodepointOf(p, 2) == 0) {
          drawn = true;  // names no character: blank, and no cell spent on it
        } else if (full->AddChar(p)) {
          const FASTFONTCHAR& node = full->m_Chars.back();
          const plat::Rect cell{node.nCellX, node.nCellY, node.nCellX + cw, node.nCellY + lh};
          TextOutClipped(&full->m_SD, node.nCellX + BracketOffset(p, 2), node.nCellY, p, 2, &cell);
          full->DrawFullChar(lpGlyphs, gx + column, gy + line, p, 1);
          drawn = true;
        }
      }
      if (!drawn) TextOutClipped(lpText, tx + BracketOffset(p, 2) + column, ty + line, p, 2);
      column += cw;
      p += 2;
      continue;
    }
    const uint8_t b = static_cast<uint8_t>(*p);
    if (b == ' ' || (pictureLetters && b >= 'a' && b <= 'z')) {
      column += cw;
    } else if (b == '\n') {
      line += lh;
      column = 0;
    } else {
      if (sheets && m_lpFastFont_Half) m_lpFastFont_Half->DrawHalfChar(lpGlyphs, gx + column, gy + line, b, 1);
      else TextOutClipped(lpText, tx + column + BracketOffset(p, 1), ty + line, p, 1);
      column += cw;
    }
    ++p;
  }
  DDEndBatch();
}

void cFont::DrawPictureLetters(DDSURFACEDATA* lpDst, int x, int y, const char* text) {
  const int cw = m_nCharWidth, lh = m_nLineHeight;
  DDBeginBatch(1);
  int column = 0, line = 0;
  for (const char* p = text; *p;) {
    if (IsDoubleByteChar(p)) {
      column += cw;
      p += 2;
      continue;
    }
    const uint8_t b = static_cast<uint8_t>(*p++);
    if (b == '\n') {
      line += lh;
      column = 0;
      continue;
    }
    if (b >= 'a' && b <= 'z') DDBlt(lpDst, x + column, y + line, cw, lh, m_lpLetterSD, (b - 'a') * cw, 0, 1);
    column += cw;
  }
  DDEndBatch();
}

TEXTSIZE cFont::Measure(const char* text) { return m_nCharWidth != 0 ? MeasureText(text) : MeasureTextGDI(text); }

int cFont::DrawText(DDSURFACEDATA* lpDst, int x, int y, const char* text, uint32_t plain) {
  if (!m_lpFace || !lpDst || !text) return 0;
  const bool letters = PictureLettersOn(plain);
  if (lpDTCon) {
    DDSURFACEDATA* target = lpDst;
    DDSubstituteMirror(&target);
    DDRedirectBackBuffer(&target);
    if (target && target->lpDT && target->lpDT->bRenderTarget) {
      if (m_dwGlyphMode == 0) {
        if (!DDBeginScene()) return 0;
        DDSetRenderTarget(0, target);
      }
      Layout(target, x, y, lpDst, x, y, text, letters);
      if (letters) DrawPictureLetters(lpDst, x, y, text);
      if (m_dwGlyphMode == 0 && lpDTCon->lpCurrentRT) DDSetRenderTarget(0, lpDTCon->lpCurrentRT);
      return 0;
    }
  }
  // Through the work surface: measured area cleared, text composed there.
  if (!HasSurface(&m_WorkSD)) return 0;
  const TEXTSIZE size = Measure(text);
  const int w = std::min(size.cx, m_WorkSD.nWidth), h = std::min(size.cy, m_WorkSD.nHeight);
  FillTransparent(&m_WorkSD, 0, 0, w, h);
  int result = 0;
  if (!lpDTCon) {
    Layout(&m_WorkSD, 0, 0, lpDst, x, y, text, letters);
    if (w > 0 && h > 0) result = DDBlt(lpDst, x, y, w, h, &m_WorkSD, 0, 0, 1);
    if (letters) DrawPictureLetters(lpDst, x, y, text);
    return result;
  }
  Layout(&m_WorkSD, 0, 0, &m_WorkSD, 0, 0, text, letters);
  if (letters) DrawPictureLetters(&m_WorkSD, 0, 0, text);
  if (lpDTCon->lpCurrentRT) DDSetRenderTarget(0, lpDTCon->lpCurrentRT);
  if (w > 0 && h > 0) result = DDBlt(lpDst, x, y, w, h, &m_WorkSD, 0, 0, 1);
  return result;
}

int cFont::DrawTextF(DDSURFACEDATA* lpDst, int x, int y, const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  FormatTextBounded(text, sizeof text, format, args);
  va_end(args);
  return DrawText(lpDst, x, y, text, 0);
}

TEXTSIZE cFont::MeasureText(const char* text) const {
  int lines = 1, widest = 0, characters = 0;
  for (const char* p = text ? text : ""; *p;) {
    if (*p == '\n') {
      ++lines;
      characters = 0;
      ++p;
      continue;
    }
    p += IsDoubleByteChar(p) ? 2 : 1;
    widest = std::max(widest, ++characters);
  }
  return TEXTSIZE{widest * m_nCharWidth, lines * m_nLineHeight};
}

TEXTSIZE cFont::MeasureTextGDI(const char* text) {
  if (!text) text = "";
  int lines = 0, widest = 0;
  for (const char* p = text;;) {
    const int n = GetLineLength(p);
    int width = 0;
    for (int i = 0; m_lpFace && i < n;) {
      const int count = IsDoubleByteChar(p + i) && i + 1 < n ? 2 : 1;
      width += m_lpFace->Advance(CodepointOf(p + i, count));
      i += count;
    }
    widest = std::max(widest, width);
    ++lines;
    p += n;
    if (*p == '\0') break;
    ++p;
  }
  return TEXTSIZE{widest, lines * m_nLineHeight};
}

void cFont::DrawFrameBox(DDSURFACEDATA* lpDst, int x, int y, int nWidth, int nHeight) {
  if (x == 10000) x = ((m_lpBoxSD ? m_lpBoxSD->nWidth : 0) >> 1) - (nWidth >> 1);
  if (y == 10000) y = ((m_lpBoxSD ? m_lpBoxSD->nHeight : 0) >> 1) - (nHeight >> 1);
  DDDrawFrameBox(lpDst, x, y, nWidth, nHeight, m_lpBoxSD, m_nFrameSize, static_cast<uint32_t>(m_nFrameColor));
}

int cFont::DrawTextInBox(DDSURFACEDATA* lpDst, int x, int y, int nWidth, int nHeight, const char* text,
                         int nMargin) {
  if (!text) text = "";
  if (nWidth == 0 || nHeight == 0) {
    const TEXTSIZE size = Measure(text);
    nWidth = size.cx + nMargin;
    nHeight = size.cy;
  }
  if (x == 10000) x = ((m_lpBoxSD ? m_lpBoxSD->nWidth : 0) >> 1) - (nWidth >> 1);
  if (y == 10000) y = ((m_lpBoxSD ? m_lpBoxSD->nHeight : 0) >> 1) - (nHeight >> 1);
  DrawFrameBox(lpDst, x, y, nWidth, nHeight);
  return DrawText(lpDst, x + nMargin, y, text, 0);
}

int cFont::DrawTextBoxF(DDSURFACEDATA* lpDst, int x, int y, int nWidth, int nHeight, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  FormatTextBounded(text, sizeof text, format, args);
  va_end(args);
  return DrawTextInBox(lpDst, x, y, nWidth, nHeight, text, 0);
}

bool cFont::Restore() {
  if (!m_lpFace) return true;
  if (!lpDTCon) {
    auto restoreLost = [](DDSURFACEDATA& sd) {
      if (sd.lpDDS && sd.lpDDS->lpSurface && sd.lpDDS->lpSurface->IsLost() == plat::DDERR_SURFACELOST)
        sd.lpDDS->lpSurface->Restore();
    };
    restoreLost(m_WorkSD);
    if (m_lpFastFont_Half) {
      restoreLost(m_lpFastFont_Half->m_SD);
      BuildHalfSheet();
    }
    if (m_lpFastFont_FullAdd) {
      restoreLost(m_lpFastFont_FullAdd->m_SD);
      BuildFullSheet(true);
    }
    return true;
  }
  m_WorkSD.bLost = 0;  // cleared before every use
  if (m_lpFastFont_Half && m_lpFastFont_Half->m_SD.bLost) {
    BuildHalfSheet();
    m_lpFastFont_Half->m_SD.bLost = 0;
  }
  if (m_lpFastFont_FullAdd && m_lpFastFont_FullAdd->m_SD.bLost) {
    BuildFullSheet(true);
    m_lpFastFont_FullAdd->m_SD.bLost = 0;
  }
  return true;
}

// ---- the game's font set-up and helpers ----

bool CreateFonts(cFont* lpFonts, const FONTSETTING* lpSettings, int nCount) {
  auto surface = [](int32_t index) -> DDSURFACEDATA* {
    return index >= 0 && index < kGameSurfaceCount ? &GameSurfaces[index] : nullptr;
  };
  for (int i = 0; i < nCount; ++i) {
    const FONTSETTING& s = lpSettings[i];
    if (!lpFonts[i].Create(s.szFaceName, s.nGdiWidth, s.nHeight, s.nCharWidth, s.nLineHeight, s.nDefaultColor,
                           surface(s.nBoxSurface), s.nFrameSize, s.nFrameColor, surface(s.nLetterSurface),
                           static_cast<uint32_t>(s.nGlyphMode)))
      return false;
  }
  return true;
}

void DrawDigitStrip(DDSURFACEDATA* lpStrip, cFont* lpFont) {
  if (!lpStrip || !lpFont) return;
  FillTransparent(lpStrip, 0, 0, lpStrip->nWidth, lpStrip->nHeight);
  lpFont->DrawText(lpStrip, 0, 0, "0123456789", 1);
}

bool CreateDigitSurfaces(DDSURFACEDATA* lpDigits, const DDSURFACEINFO* lpInfo, int nCount, cFont* lpFonts,
                         const FONTSETTING* lpSettings) {
  for (int i = 0; i < nCount; ++i) {
    const int w = 10 * lpSettings[i].nCharWidth, h = lpSettings[i].nLineHeight;
    if (w <= 0 || h <= 0) continue;  // a proportional font has no strip
    DDReleaseSurfaceObjects(&lpDigits[i]);
    if (!DDCreateSurface(&lpDigits[i], w, h, lpInfo[i].bColorKey, lpInfo[i].dwDDMemType, lpInfo[i].dwD3DMemType, 0,
                         0)) {
      DDReleaseSurfaceObjects(&lpDigits[i]);
      WriteReportAndECLog("DDCreateSurface DigitSurface %d", i);
      return false;
    }
    DrawDigitStrip(&lpDigits[i], &lpFonts[i]);
  }
  return true;
}

int GetLineLength(const char* text) {
  int n = 0;
  while (text && text[n] != '\0' && text[n] != '\n') ++n;
  return n;
}

int FormatTextBounded(char* buffer, size_t size, const char* format, va_list args) {
  if (!buffer || size == 0) return 0;
  const int full = std::vsnprintf(buffer, size, format ? format : "", args);
  if (full < 0) {
    buffer[0] = '\0';
    return 0;
  }
  if (static_cast<size_t>(full) < size) return full;
  // Cut: walk the characters that fit and end before one that does not fit whole.
  const size_t kept = size - 1;
  size_t i = 0;
  while (i < kept) {
    if (plat::IsCp932LeadByte(static_cast<uint8_t>(buffer[i]))) {
      if (i + 1 >= kept) break;  // its trail byte did not fit
      if (plat::IsCp932TrailByte(static_cast<uint8_t>(buffer[i + 1]))) {
        i += 2;
        continue;
      }
    }
    ++i;
  }
  buffer[i] = '\0';
  return static_cast<int>(i);
}

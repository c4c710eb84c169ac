// Message windows: text expansion, placement and drawing.
#include "play/objects/message_window.h"

#include <algorithm>
#include <cstdlib>

#include "base/logs.h"
#include "base/program.h"
#include "gfx/dd.h"
#include "gfx/fonts.h"
#include "gfx/game_fonts.h"
#include "gfx/surface_table.h"
#include "platform/messages.h"
#include "play/objects/character.h"
#include "play/world/block_map.h"
#include "play/world/stage_scene.h"
#include "scene/play_record.h"
#include "scene/scene.h"

cSafeList<DDSURFACEDATA> MessageSurfaces;
cSafeList<DDSURFACEINFO> MessageSurfaceInfos;

namespace {

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Digits of the value, width wide, blanks or zeros in front, then the sign.
std::string FormatReference(int32_t value, int32_t width, bool zeros, bool plus) {
  const int64_t magnitude = std::llabs(int64_t{value});
  std::string digits = std::to_string(magnitude);
  if (static_cast<int32_t>(digits.size()) < width) digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
  if (!zeros) {
    for (size_t i = 0; i + 1 < digits.size() && digits[i] == '0'; ++i) digits[i] = ' ';
  }
  if (value < 0) return "-" + digits;
  return plus ? "+" + digits : digits;
}

// Variable numbers saturate here: anything past 1000 is out of range alike.
constexpr int32_t kNumberCap = 100000;

}  // namespace

std::string ExpandMessageText(std::string_view text, const MessageVariableReader& read) {
  std::string out;
  auto fits = [&out](size_t n) { return out.size() + n <= kMaxMessageTextBytes; };
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsLeadByte(c) && i + 1 < text.size()) {
      if (!fits(2)) break;
      out.append(text.substr(i, 2));
      i += 2;
      continue;
    }
    if (c != '#') {
      if (!fits(1)) break;
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    bool common = false, stage = false, hasNumber = false, second = false, zeros = false, plus = false;
    int32_t number = 0, width = 0;
    size_t j = i + 1;
    for (; j < text.size(); ++j) {
      const char d = text[j];
      const bool digit = d >= '0' && d <= '9';
      if (!second) {
        if (d == 'C' || d == 'c') common = true;
        else if (d == 'S' || d == 's') stage = true;
        else if (digit) {
          hasNumber = true;
          number = std::min(number * 10 + (d - '0'), kNumberCap);
        } else if (d == '_') second = true;
        else break;
      } else {
        if (d == 'Z' || d == 'z') zeros = true;
        else if (d == 'P' || d == 'p') plus = true;
        else if (digit) width = d - '0';
        else break;
      }
    }
    if (j < text.size() && text[j] == '.') ++j;
    int32_t value = 0;
    const bool named = (common || stage) && hasNumber && number >= 1 && number <= 1000;
    if (named && read && read(common, number, value)) {
      const std::string piece = FormatReference(value, width, zeros, plus);
      if (!fits(piece.size())) break;
      out += piece;
    } else {
      // Left as typed (the "#" alone; the rest is copied as ordinary text).
      if (!fits(1)) break;
      out.push_back('#');
      j = i + 1;
    }
    i = j;
  }
  return out;
}

std::string BoundMessageText(std::string_view text) {
  size_t end = 0;
  while (end < text.size()) {
    const size_t step = IsLeadByte(static_cast<unsigned char>(text[end])) && end + 1 < text.size() ? 2 : 1;
    if (end + step > kMaxMessageTextBytes) break;
    end += step;
  }
  return std::string(text.substr(0, end));
}

void KeepMessageOnScreen(int32_t& x, int32_t& y, int32_t w, int32_t h) {
  if (x < 0) x = 0;
  else if (x + w >= 639) x = 640 - w;
  if (y < 20) y = 20;
  else if (y + h >= 479) y = 480 - h;
}

void cMessageWindow::MeasureText(const std::string& text, int32_t& width, int32_t& height) {
  cFont& font = GameFonts[1];
  TEXTSIZE size{};
  // The font lays every character in a cell of its character width, so the
  // cell measure is the size the text is drawn at.
  if (font.Created()) size = font.MeasureText(text.c_str());
  width = std::clamp<int32_t>(size.cx + 2, 2, kMaxMessageSize);
  height = std::clamp<int32_t>(size.cy + 2, 2, kMaxMessageSize);
}

namespace {

bool ReadRunningStageVariable(bool common, int32_t n, int32_t& value) {
  const std::vector<int32_t>* values = &SaveData.m_CommonVariables;
  if (!common) {
    cStageScene* scene = CurrentStageScene();
    if (!scene) return false;
    values = &scene->m_StageVariables;
  }
  if (n < 0 || static_cast<size_t>(n) >= values->size()) {
    WriteReportLog("message: variable %c%d is not there; the reference stays as typed\n", common ? 'C' : 'S', n);
    return false;
  }
  value = (*values)[static_cast<size_t>(n)];
  return true;
}

}  // namespace

cMessageWindow::~cMessageWindow() { DeleteTextSurface(); }

void cMessageWindow::Set(const cMessageSettings& settings, int32_t keepSurface) {
  m_Settings = settings;
  m_Settings.refreshInterval = std::max(0, m_Settings.refreshInterval);
  m_bPositionTaken = 0;
  m_strShown = settings.expand ? ExpandMessageText(settings.text, ReadRunningStageVariable)
                               : BoundMessageText(settings.text);
  if (settings.style == kMessageText) MeasureText(m_strShown, m_nWidth, m_nHeight);
  else m_nWidth = m_nHeight = 16;
  m_dOpening = 0;
  m_bOpening = settings.displayMode == kMessageUntilDecide && settings.noOpening == 0 ? 1 : 0;
  if (settings.style != kMessageText) {
    DeleteTextSurface();
    return;
  }
  const bool keep = keepSurface && m_lpSurface && m_lpSurface->nWidth == m_nWidth && m_lpSurface->nHeight == m_nHeight;
  if (!keep && !CreateTextSurface(DeleteTextSurface())) return;
  DrawTextSurface();
}

bool cMessageWindow::CreateTextSurface(int32_t index) {
  // The frame step restores the list's surfaces after a lost display; the
  // windows then find their lost flags set.
  static const bool registered = (RegisterSurfaceCollection(&MessageSurfaces), true);
  (void)registered;
  // A text surface is keyed (colour key option 1); under Direct3D it is a
  // render target, so that the font can draw into it.
  constexpr uint32_t kKeyed = 1, kVideo = 0, kRenderTarget = DTMEMORYTYPE_VIDEO_RT;
  const bool insert = index >= 0 && static_cast<size_t>(index) < MessageSurfaces.size();
  const bool made = insert ? DDInsertSurface(MessageSurfaces, MessageSurfaceInfos, index, m_nWidth, m_nHeight, kKeyed,
                                             kVideo, kRenderTarget, 0)
                           : DDAddSurfaceToList(MessageSurfaces, MessageSurfaceInfos, m_nWidth, m_nHeight, kKeyed,
                                                kVideo, kRenderTarget, 0);
  auto surface = insert ? std::next(MessageSurfaces.begin(), index) : std::prev(MessageSurfaces.end());
  if (!made) {
    DDDeleteSurface(MessageSurfaces, MessageSurfaceInfos, &*surface);
    WriteReportLog("message: a %dx%d text surface could not be made\n", m_nWidth, m_nHeight);
    RequestQuit();
    return false;
  }
  m_lpSurface = &*surface;
  return true;
}

int32_t cMessageWindow::DeleteTextSurface() {
  if (!m_lpSurface) return -1;
  int32_t index = 0;
  for (auto it = MessageSurfaces.begin(); it != MessageSurfaces.end() && &*it != m_lpSurface; ++it) ++index;
  if (!DDDeleteSurface(MessageSurfaces, MessageSurfaceInfos, m_lpSurface)) index = -1;
  m_lpSurface = nullptr;
  return index;
}

void cMessageWindow::DrawTextSurface() {
  if (!m_lpSurface) return;
  // Every back end and depth is cleared first, so that a text drawn again
  // over the same surface never shows what was there before.
  DDFillSurface(m_lpSurface, 0);
  m_lpSurface->bLost = 0;
  cFont& font = GameFonts[1];
  if (!font.Created()) {
    static bool logged = false;
    if (!logged) WriteReportLog("message: the message font is not there; windows show no text\n");
    logged = true;
    return;
  }
  if (m_Settings.frame) font.DrawTextInBox(m_lpSurface, 1, 1, m_nWidth - 2, m_nHeight - 2, m_strShown.c_str(), 0);
  else font.DrawText(m_lpSurface, 1, 1, m_strShown.c_str());
}

void cMessageWindow::Place(const cMessageView& view, const cMessageAnchor* anchor, int32_t& x, int32_t& y) {
  const cMessageSettings& s = m_Settings;
  const int32_t w = m_nWidth, h = m_nHeight;
  const int32_t mode = s.positionMode;
  if (mode >= 1 && mode <= 6 && anchor) {
    const cMessageAnchor& a = *anchor;
    x = a.x - w / 2 + a.width / 2 - a.marginX + s.offsetX;
    switch ((mode - 1) % 3) {
      case 0: y = a.y - a.marginY - h + s.offsetY; break;
      case 1: y = a.y - a.marginY + a.height + 1 + s.offsetY; break;
      default: y = a.y - h / 2 + a.height / 2 - a.marginY + s.offsetY; break;
    }
  } else if (mode == 7) {
    x = s.column * 32 + s.offsetX;
    y = s.row * 32 + s.offsetY;
  } else if (mode == 8) {
    x = static_cast<int32_t>((view.columnOffset + s.column) * 32.0 + s.offsetX - view.scrollX);
    y = static_cast<int32_t>((view.rowOffset + s.row) * 32.0 + s.offsetY - view.scrollY);
  } else {
    // Screen centre (also for modes this program does not know).
    x = s.offsetX - w / 2 + 320;
    y = s.offsetY - h / 2 + 240;
  }
  const bool screenMode = !(mode >= 1 && mode <= 6) && mode != 8;
  if (screenMode && !s.fixPosition) {
    // Pinned to the stage: it scrolls with it from where it first stood.
    if (!m_bPositionTaken) {
      m_nTakenX = static_cast<int32_t>(view.scrollX + 0.5 + x);
      m_nTakenY = static_cast<int32_t>(view.scrollY + 0.5 + y);
      m_bPositionTaken = 1;
    } else {
      x = static_cast<int32_t>(m_nTakenX - (view.scrollX - 0.5));
      y = static_cast<int32_t>(m_nTakenY - (view.scrollY - 0.5));
    }
  } else if (!screenMode && s.fixPosition) {
    if (!m_bPositionTaken) {
      m_nTakenX = x;
      m_nTakenY = y;
      m_bPositionTaken = 1;
    } else {
      x = m_nTakenX;
      y = m_nTakenY;
    }
  }
  if (s.keepOnScreen) KeepMessageOnScreen(x, y, w, h);
}

bool cMessageWindow::Update(DDSURFACEDATA* dst, int32_t still) {
  cMessageSettings& s = m_Settings;
  if (s.displayMode == kMessageTimed && (s.keepCounting || !still)) {
    if (--s.remainingFrames < 0) {
      DeleteTextSurface();
      return true;
    }
  }
  cStageScene* scene = CurrentStageScene();
  if (!scene) return false;
  if (s.refresh && s.refreshInterval > 0 && scene->m_nFrameCounter % s.refreshInterval == 0 &&
      s.style == kMessageText && s.expand) {
    std::string fresh = ExpandMessageText(s.text, ReadRunningStageVariable);
    if (fresh != m_strShown) {
      m_strShown = std::move(fresh);
      const int32_t w = m_nWidth, h = m_nHeight;
      MeasureText(m_strShown, m_nWidth, m_nHeight);
      // A new size takes a new surface at the place of the old one.
      if ((m_nWidth == w && m_nHeight == h && m_lpSurface) || CreateTextSurface(DeleteTextSurface()))
        DrawTextSurface();
    }
  }
  cMessageAnchor anchor;
  const cMessageAnchor* followed = nullptr;
  if (s.positionMode >= 1 && s.positionMode <= 6) {
    const cCharacter* object = FindObjectById(s.followedId);
    if (!object) {
      DeleteTextSurface();
      return true;
    }
    const int32_t scrollX = static_cast<int32_t>(scene->m_ScrollX.position);
    const int32_t scrollY = static_cast<int32_t>(scene->m_ScrollY.position);
    anchor = cMessageAnchor{static_cast<int32_t>(object->m_dX - scrollX), static_cast<int32_t>(object->m_dY - scrollY),
                            object->m_nWidth, object->m_nHeight, object->m_nMarginX, object->m_nMarginY};
    followed = &anchor;
  }
  const cMessageView view{scene->m_ScrollX.position, scene->m_ScrollY.position, kStageMarginBlocks,
                          kStageMarginBlocks};
  int32_t x = 0, y = 0;
  Place(view, followed, x, y);
  Draw(dst, x, y);
  return false;
}

void cMessageWindow::Draw(DDSURFACEDATA* dst, int32_t x, int32_t y) {
  m_nDrawnX = x;
  m_nDrawnY = y;
  const cMessageSettings& s = m_Settings;
  if (s.style == kMessageIcon || s.style == kMessageExtraLife) {
    const int32_t rise = (kMessagePopUpFrames - s.remainingFrames) >> 2;
    m_nDrawnY = y - rise;
    if (!dst) return;
    if (s.style == kMessageIcon) cGraphicSource::DrawSmall(dst, x, y - rise, s.iconKind, s.iconNumber, s.iconRow);
    else if (GameSurfaces[SURF_ACCESSORY].lpDDS || GameSurfaces[SURF_ACCESSORY].lpDT)
      DDBlt(dst, x, y - rise, 16, 16, &GameSurfaces[SURF_ACCESSORY], 0, 48, 1);
    return;
  }
  if (s.style != kMessageText) return;
  // A surface that lost its contents gets its text again.
  if (m_lpSurface && m_lpSurface->bLost) DrawTextSurface();
  if (m_strShown.empty()) return;
  const int32_t w = m_nWidth, h = m_nHeight;
  if (m_bOpening) {
    m_dOpening += 1.0;
    if (m_dOpening < kMessageOpeningFrames) {
      cFont& font = GameFonts[1];
      if (m_Settings.frame && dst && font.Created()) {
        const double scale = m_dOpening * 0.1;
        font.DrawFrameBox(dst, static_cast<int32_t>((w / 2 + x) - (w / 2) * scale),
                          static_cast<int32_t>((h / 2 + y) - (h / 2) * scale), static_cast<int32_t>(w * scale),
                          static_cast<int32_t>(h * scale));
      }
      return;
    }
    m_bOpening = 0;
  }
  if (!dst || !m_lpSurface) return;
  DDBlt(dst, x, y, w, h, m_lpSurface, 0, 0, 1);
}

void cStageScene::UpdateMessageWindows(DDSURFACEDATA* back, int32_t still) {
  for (auto it = m_MessageWindows.begin(); it != m_MessageWindows.end();) {
    if ((*it)->Update(back, still))
      it = m_MessageWindows.erase(it);
    else
      ++it;
  }
}

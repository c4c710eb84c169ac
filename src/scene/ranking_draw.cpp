#include "scene/ranking_draw.h"

#include <algorithm>
#include <cstdio>

#include "data/settings.h"
#include "data/system_data.h"
#include "gfx/dd.h"
#include "gfx/fonts.h"
#include "platform/text.h"

namespace {

constexpr uint32_t kColourKeyed = 1;
// System texts: the genre labels start at 5; the genre switch hint.
constexpr int kGenreLabelText = 5;
constexpr int kGenreHintText = 25;

std::string SystemText(int n) {
  return n >= 0 && static_cast<size_t>(n) < SystemData.m_Texts.size() ? SystemData.m_Texts[n] : std::string();
}

std::string Number(int32_t value) { return std::to_string(value); }

}  // namespace

// ---- the painter over a font ----

void cFontRankingPainter::FrameBox(int32_t x, int32_t y, int32_t width, int32_t height) {
  font_.DrawFrameBox(surface_, x, y, width, height);
}

void cFontRankingPainter::Text(int32_t x, int32_t y, const std::string& text, bool plain) {
  font_.DrawText(surface_, x, y, text.c_str(), plain ? 1 : 0);
}

int32_t cFontRankingPainter::TextWidth(const std::string& text) { return font_.MeasureText(text.c_str()).cx; }

void cFontRankingPainter::Pointer(int32_t x, int32_t y) {
  if (picture_) DDBlt(surface_, x, y, 16, 16, picture_, 16, 48, kColourKeyed);
}

cRankingLook CurrentRankingLook(int playMode) {
  cRankingLook look;
  look.english = GameSettings.nEnglish != 0;
  look.plainNames = SystemData.Num(kSysPictureLetters) != 0;
  look.genreCount = SystemData.CountSetFlags(playMode);
  return look;
}

// ---- the list ----

void DrawRankingScreen(const cRankingList& list, cRankingPainter& painter, int32_t x, int32_t y, int genre,
                       int highlighted, const cRankingLook& look) {
  const bool hint = look.genreCount > 1;
  const int lines = 1 + cRankingList::kEntryCount + (hint ? 1 : 0);
  painter.FrameBox(x + 1, y + 1, kRankingBoxWidth, lines * kRankingLineHeight + kRankingBoxRoomBelow);
  static const std::string heading = plat::Sjis("ランキング    ");
  painter.Text(x, y, (look.english ? std::string("Ranking     ") : heading) + SystemText(genre + kGenreLabelText),
               false);

  const bool time = genre == kRankingGenreClearTime;
  const int firstDigits = list.m_Entries.empty() ? 1 : CountDecimalDigits(list.m_Entries[0].m_nScore);
  for (size_t i = 0; i < list.m_Entries.size() && i < cRankingList::kEntryCount; ++i) {
    const cRankingEntry& entry = list.m_Entries[i];
    if (!entry.m_bUsed) continue;
    const int32_t top = y + static_cast<int32_t>(i + 1) * kRankingLineHeight;
    painter.Text(x + 16, top, Number(static_cast<int32_t>(i + 1)), false);
    painter.Text(x + 64, top, std::string(entry.m_strName.c_str()), look.plainNames);
    if (time) {
      painter.Text(x + 144, top, FormatFrameTime(entry.m_nScore), false);
    } else {
      // The numbers end in one column: that of the first place's digits.
      const int shift = 8 + firstDigits - CountDecimalDigits(entry.m_nScore);
      painter.Text(x + shift * 16, top, Number(entry.m_nScore), false);
    }
  }
  if (hint) {
    const std::string text = SystemText(kGenreHintText);
    painter.Text(x + 136 - painter.TextWidth(text) / 2, y + (lines - 1) * kRankingLineHeight, text, false);
  }
  if (highlighted >= 0 && highlighted < cRankingList::kEntryCount)
    painter.Pointer(x, y + (highlighted + 1) * kRankingLineHeight);
}

void DrawRankingList(cRankingFile& file, cRankingPainter& painter, int32_t x, int32_t y, int genre, int highlighted,
                     const cRankingLook& look) {
  DrawRankingScreen(file.List(genre), painter, x, y, genre, highlighted, look);
}

// ---- the current play's results ----

bool DrawPlayRecordBox(cRankingPainter& painter, int32_t x, int32_t y, const uint32_t stageSwitches[5],
                       const uint8_t* modeFlags, const int32_t values[5]) {
  struct Line {
    std::string label, value;
  };
  std::vector<Line> lines;
  for (int genre = 0; genre < kRankingGenreCount; ++genre) {
    if (!stageSwitches[genre] || (modeFlags && !modeFlags[genre])) continue;
    const int32_t v = values[genre];
    lines.push_back({SystemText(genre + kGenreLabelText),
                     genre == kRankingGenreClearTime ? FormatFrameTime(v) : Number(v)});
  }
  if (lines.empty()) return false;
  int32_t labelWidth = 0, valueWidth = 0;
  for (const Line& line : lines) {
    labelWidth = std::max(labelWidth, painter.TextWidth(line.label));
    valueWidth = std::max(valueWidth, painter.TextWidth(line.value));
  }
  // The values stand one character cell right of the widest label; the
  // lines keep the frame margin from the box's left and right sides.
  constexpr int32_t kGap = 16;
  const int32_t left = x + kFrameTextMargin;
  painter.FrameBox(x, y, labelWidth + kGap + valueWidth + 2 * kFrameTextMargin,
                   static_cast<int32_t>(lines.size()) * kRankingLineHeight);
  for (size_t i = 0; i < lines.size(); ++i) {
    const int32_t top = y + static_cast<int32_t>(i) * kRankingLineHeight;
    painter.Text(left, top, lines[i].label, false);
    painter.Text(left + labelWidth + kGap, top, lines[i].value, false);
  }
  return true;
}

// A stage of the demo's game drawn as a text sketch: one line of text a
// row of blocks, one character a block; the key below says which common
// palette type each character places. Whatever a sketch cannot say (moving
// platforms' paths, the stage's music and backgrounds, its scroll) the
// stage's builder adds.
#include <algorithm>
#include <cstdio>
#include <string>

#include "data/common_palette.h"
#include "data/rankings.h"
#include "demo_builders.h"
#include "demo_game_parts.h"

namespace tool::demo::game {
namespace {

enum class SketchKind { kBlock, kCharacter, kItem };
struct SketchKey {
  char symbol;
  SketchKind kind;
  const char* name;  // the common palette type it places
};
constexpr SketchKey kSketchKeys[] = {
    // blocks
    {'#', SketchKind::kBlock, "地面"},
    {'B', SketchKind::kBlock, "レンガ"},
    {'?', SketchKind::kBlock, "金貨ブロック"},
    {'C', SketchKind::kBlock, "水晶の床"},
    {'^', SketchKind::kBlock, "トゲ"},
    {'=', SketchKind::kBlock, "雲"},
    {'S', SketchKind::kBlock, "バネ"},
    // characters
    {'@', SketchKind::kCharacter, kHeroName},
    {'A', SketchKind::kCharacter, kSkyHeroName},
    {'w', SketchKind::kCharacter, kWindHeroName},
    {'s', SketchKind::kCharacter, "ぷよ"},
    {'g', SketchKind::kCharacter, "おばけ砲台"},
    {'b', SketchKind::kCharacter, "やみコウモリ"},
    {'u', SketchKind::kCharacter, "UFO"},
    {'|', SketchKind::kCharacter, "上下リフト"},
    {'-', SketchKind::kCharacter, "左右リフト"},
    {'i', SketchKind::kCharacter, kSignName},
    {'U', SketchKind::kCharacter, "UFO兵"},
    {'v', SketchKind::kCharacter, "鳥"},
    {'M', SketchKind::kCharacter, "魔王"},
    {'e', SketchKind::kCharacter, kEndingGiverName},
    // items
    {'o', SketchKind::kItem, kGoldName},
    {'h', SketchKind::kItem, "ハート"},
    {'*', SketchKind::kItem, kGoalName},
};

// A placed sign shows the sketch's text number `n`.
void SetSignText(cEdCharacter& sign, const StageSketch& sketch, size_t n) {
  if (n >= sketch.signs.size()) {
    std::fprintf(stderr, "stage %s: no text for sign %zu\n", sketch.name, n);
    return;
  }
  // Each line between two spaces, and an empty line above and below: the
  // window is as big as its text and sets the text at its top-left corner,
  // so the spaces and the empty lines keep the words a character's room
  // off the frame all round (a tall character such as 剣 fills its cell to
  // the top).
  std::string text = "\n ";
  for (const char* c = sketch.signs[n]; *c; ++c) text += *c == '\n' ? std::string(" \n ") : std::string(1, *c);
  text += " \n";
  std::vector<cEdFlow> flows = sign.m_vFlows.Get();
  cEdCmd& message = flows.at(0).m_vCmds.at(0);
  message.m_strText = plat::Sjis(text.c_str());
  // The window's offsets right and down from its place.
  constexpr size_t kMessageOffsetX = 3, kMessageOffsetY = 4;
  message.m_vParams.at(kMessageOffsetX) = static_cast<uint32_t>(sketch.signsShifted);
  message.m_vParams.at(kMessageOffsetY) = static_cast<uint32_t>(-sketch.signsRaised);
  sign.m_vFlows = flows;
}

}  // namespace

// The stage of a sketch at the game's pace (two sub-steps a frame), with a
// five-minute limit, its banners, and the sky and hills behind it.
cStageData BuildSketchedStage(const cCommonPalette& common, const StageSketch& sketch) {
  cStageData s;
  s.m_strName = plat::Sjis(sketch.name);
  size_t width = 0;
  for (const char* row : sketch.rows) width = std::max(width, std::char_traits<char>::length(row));
  s.Int(kStageWidth) = static_cast<int32_t>(width);
  s.Int(kStageHeight) = static_cast<int32_t>(sketch.rows.size());
  s.Int(kStageMusic) = static_cast<int32_t>(sketch.music);
  s.Int(kStageMusicKeep) = 1;  // the tune loops
  s.Int(kStageTimeLimitOn) = 1;
  s.Int(kStageTimeLimit) = 300;
  s.Int(kStageSpeedLevel) = 2;
  s.Int(kStageBannerOn) = 1;
  SetInvincibilityTimes(s, kHeroSafetyFrames);
  // Its result lists (and its ranking keeps) the score, the time left, the
  // clear time and the HP left: the game's heroes have no special points.
  if (size_t{kRankingGenreSpLeft} < s.m_RankingSwitches.size()) s.m_RankingSwitches[kRankingGenreSpLeft] = 0;
  // Signs are numbered along the rows, not the columns: put one a row.
  size_t signs = 0;
  for (size_t row = 0; row < sketch.rows.size(); ++row) {
    const char* line = sketch.rows[row];
    for (size_t column = 0; line[column] != '\0'; ++column) {
      if (line[column] == ' ') continue;
      const auto key = std::find_if(std::begin(kSketchKeys), std::end(kSketchKeys),
                                    [&](const SketchKey& k) { return k.symbol == line[column]; });
      if (key == std::end(kSketchKeys)) {
        std::fprintf(stderr, "stage %s: no type for '%c'\n", sketch.name, line[column]);
        continue;
      }
      const int c = static_cast<int>(column), r = static_cast<int>(row);
      switch (key->kind) {
        case SketchKind::kBlock:
          PlaceBlock(s, common, static_cast<size_t>(IndexByName(common.m_Blocks, key->name)), c, r);
          break;
        case SketchKind::kCharacter:
          PlaceCharacter(s, common, static_cast<size_t>(IndexByName(common.m_Characters, key->name)), c, r);
          if (key->symbol == 'i') SetSignText(s.m_PlacedCharacters.back(), sketch, signs++);
          break;
        case SketchKind::kItem:
          PlaceItem(s, common, static_cast<size_t>(IndexByName(common.m_Items, key->name)), c, r);
          break;
      }
    }
  }
  s.m_Backgrounds.clear();
  auto layer = [&](const char* utf8, double speedX, bool drifts) {
    cStageBackground b;
    b.m_nSource = 0;  // loaded from its file
    b.m_strFile = plat::Sjis(utf8);
    b.m_bAutoScrollX = drifts ? 1 : 0;
    b.m_dScrollSpeedX = speedX;  // dots a frame when it drifts, else a share of the view's scroll
    b.m_dScrollSpeedY = 0;
    s.m_Backgrounds.push_back(b);
  };
  switch (sketch.backdrop) {
    case Backdrop::kHills:
      layer("bmp\\StageSky.bmp", 0.25, true);
      layer("bmp\\StageHills.bmp", 0.5, false);
      break;
    case Backdrop::kSky:
      layer("bmp\\StageSky.bmp", 0.5, true);
      break;
    case Backdrop::kCastle:
      layer("背景その7.bmp", 0.25, false);
      break;
  }
  s.m_Texts.clear();
  return s;
}

}  // namespace tool::demo::game

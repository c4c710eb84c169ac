// The result screen's drawing and the ranking registration at a clear: the
// places the result values take, the name, the saved ranking file and the
// list shown over the stage until decide; and the world's after-clear action
// read by Tally.
#include <algorithm>
#include <array>

#include "base/program.h"
#include "base/text_path.h"
#include "data/rankings.h"
#include "data/system_data.h"
#include "data/user_records.h"
#include "data/world_map.h"
#include "gfx/fonts.h"
#include "gfx/game_fonts.h"
#include "gfx/surface_table.h"
#include "platform/dialogs.h"
#include "platform/keys.h"
#include "platform/text.h"
#include "play/world/stage_scene.h"
#include "scene/frame_trace.h"
#include "scene/input.h"
#include "scene/play_record.h"
#include "scene/ranking_draw.h"
#include "scene/scene.h"

namespace {

constexpr int32_t kBoxX = 336, kBoxY = 224;
constexpr int32_t kListX = 184, kListY = 64;
constexpr int kRankingHintText = 28;
// The word of a world that says what follows its clear.
constexpr int kAfterClearWord = 5;

// The play mode's switch for a genre (its ranking on and the genre chosen).
bool ModeRanksGenre(int genre) {
  const int mode = SceneManager.m_nPlayMode;
  if (mode < 0 || mode >= static_cast<int>(SystemData.m_Ranking.size())) return false;
  const auto& setting = SystemData.m_Ranking.At(mode);
  return setting.m_bOn && genre < static_cast<int>(setting.m_Genres.size()) &&
         setting.m_Genres.At(genre) != 0;
}

bool StageRanksGenre(int genre) {
  return genre < static_cast<int>(StageData.m_RankingSwitches.size()) && StageData.m_RankingSwitches.At(genre) != 0;
}

// The stage a result is registered under: in story and challenge play the
// one the world map read the ranking for (a world's stages share it), else
// the stage file playing with the play record's numbers. Free play has no
// map: the key left by its previous stage names another stage's file.
struct cRankingKey {
  int playKind;
  std::string stage;
  int32_t n[3];
};
cRankingKey CurrentRankingKey() {
  const int mode = SceneManager.m_nPlayMode;
  if ((mode == kPlayStory || mode == kPlayChallenge) && RankingFile.m_nKeyPlayKind == mode &&
      !RankingFile.m_strKeyStage.empty())
    return {RankingFile.m_nKeyPlayKind, RankingFile.m_strKeyStage,
            {RankingFile.m_nKeyNumbers[0], RankingFile.m_nKeyNumbers[1], RankingFile.m_nKeyNumbers[2]}};
  return {SceneManager.m_nPlayMode, StageData.m_strLoadedPath,
          {SaveData.m_nStageNumber[0], SaveData.m_nStageNumber[1], SaveData.m_nStageNumber[2]}};
}

// The next genre the play mode ranks after `from` (itself when none other).
int NextRankedGenre(int from) {
  for (int step = 1; step <= kRankingGenreCount; ++step) {
    const int genre = (from + step) % kRankingGenreCount;
    if (ModeRanksGenre(genre)) return genre;
  }
  return from;
}

}  // namespace

void (*cStageScene::s_pAskRankingName)(std::string& name) = nullptr;
bool cStageScene::RankingKeyDown() { return plat::GetAsyncKeyState(plat::VK_F3) < 0; }

void cStageScene::LoadStageRanking() {
  const cRankingKey key = CurrentRankingKey();
  RankingFile.Load(key.playKind, key.stage, key.n[0], key.n[1], key.n[2]);
}

void cStageScene::FindRankingPositions() {
  if (bFromEditor) return;
  // The ranking file was read when the stage scene was entered.
  for (int genre = 0; genre < kRankingGenreCount && genre < static_cast<int>(m_ResultValues.size()); ++genre) {
    if (!ModeRanksGenre(genre) || !StageRanksGenre(genre)) continue;
    const int place = RankingFile.List(genre).FindRank(m_ResultValues[static_cast<size_t>(genre)]);
    m_RankingPositions[static_cast<size_t>(genre)] = place;
    if (place != -1) m_bNewRanking = 1;
  }
}

int cStageScene::RunRankingEntry() {
  // A start from the editor finds no places (EndStage), so it never gets
  // here; a replay registers into no file (its play kind has none).
  if (!bRankingOn || !m_bNewRanking || m_bRankingRegistered) return 0;
  m_bRankingRegistered = 1;
  std::string name;
  if (OptionData.m_nRankingMode == 1 || OptionData.m_nRankingMode == 3) {
    name = OptionData.m_strRankingName;
  } else {
    name = SaveData.m_strName;
    if (s_pAskRankingName) s_pAskRankingName(name);
    SaveData.m_strName = name;
  }
  RequestSoundEffect(kSoundRanking);
  bool wanted[kRankingGenreCount] = {};
  int32_t values[kRankingGenreCount] = {};
  for (int genre = 0; genre < kRankingGenreCount; ++genre) {
    const size_t g = static_cast<size_t>(genre);
    wanted[genre] = g < m_RankingPositions.size() && m_RankingPositions[g] != -1;
    values[genre] = g < m_ResultValues.size() ? m_ResultValues[g] : 0;
  }
  const cRankingKey key = CurrentRankingKey();
  int places[kRankingGenreCount];
  const bool hasFile = !MakeRankingFileName(key.playKind, key.stage, key.n[0], key.n[1], key.n[2]).empty();
  if (RegisterRankingResult(RankingFile, key.playKind, key.stage, key.n[0], key.n[1], key.n[2], wanted, values, name,
                            places) ||
      !hasFile) {
    // Without a file (a replay's play kind) the list shown holds the entry
    // all the same.
    m_RankingPositions.resize(kRankingGenreCount);
    for (int genre = 0; genre < kRankingGenreCount; ++genre)
      m_RankingPositions[static_cast<size_t>(genre)] = places[genre];
  } else {
    // The result stays unregistered on disk; the play goes on.
    plat::MessageBox(plat::Sjis("ランキングを保存できませんでした。"), plat::Sjis("ランキング"),
                     plat::MB_OK | plat::MB_ICONWARNING);
  }

  // The list is shown over the still stage until decide.
  int genre = std::clamp(SaveData.nRankingGenre, 0, kRankingGenreCount - 1);
  if (!ModeRanksGenre(genre)) genre = NextRankedGenre(genre);
  SaveData.nRankingGenre = genre;
  cInput& input = InputRecords.At(0);
  bool decideBefore = true, genreBefore = true;  // buttons held on entry do not act
  cFrameKeeper keeper;
  keeper.recordHistory = false;
  // Until decide, however long that takes, or until the window closes.
  for (;;) {
    bool kept = false;
    if (!KeepFramePass(keeper, kept)) break;
    if (!kept) continue;
    input.UpdateRepeat();
    if (!CheckReplaySaveKeys()) {
      const bool decideNow = (input.m_wButtons & 1) != 0;
      const bool genreNow = (input.m_wButtons & 8) != 0;
      if (decideNow && !decideBefore) {
        RequestSoundEffect(kSoundDecide);
        break;
      }
      if (genreNow && !genreBefore && NextRankedGenre(genre) != genre) {
        RequestSoundEffect(kSoundGenre);
        genre = NextRankedGenre(genre);
        SaveData.nRankingGenre = genre;
      }
      decideBefore = decideNow;
      genreBefore = genreNow;
    }
    if (!s_bWaitDrawsFrames) continue;
    DrawFrame(0, 1, 0, 0);
    if (GameFonts[1].Created()) {
      cFontRankingPainter painter(DDBackBuffer(), GameFonts[1], &GameSurfaces[SURF_ACCESSORY]);
      const size_t g = static_cast<size_t>(genre);
      const int place = g < m_RankingPositions.size() ? m_RankingPositions[g] : -1;
      DrawRankingList(RankingFile, painter, kListX, kListY, genre, place, CurrentRankingLook(SceneManager.m_nPlayMode));
    }
    PresentFrame();
  }
  EndWaitForClose(keeper);
  return 1;
}

bool cStageScene::WantsRankingHint() const {
  if (StageData.Int(kStageAutomaticResult) != 0 || m_bRankingRegistered) return false;
  if (OptionData.m_nRankingMode != 0 && OptionData.m_nRankingMode != 1) return false;
  return std::any_of(m_RankingPositions.begin(), m_RankingPositions.end(), [](int32_t p) { return p != -1; });
}

void cStageScene::DrawResultScreen(bool rankingHint) {
  if (rankingHint && kRankingHintText < static_cast<int>(SystemData.m_Texts.size()) && GameFonts[1].Created()) {
    const std::string& hint = SystemData.m_Texts[kRankingHintText];
    GameFonts[1].DrawText(DDBackBuffer(), 320 - CountCharacters(hint.c_str()) * 16 / 2, 456, hint.c_str());
    NoteTraceHint(kRankingHintText);
  }
  if (m_nResultCounter < 200 || !bRankingOn || StageData.Int(kStageAutomaticResult) != 0) return;
  if (!GameFonts[1].Created()) return;
  // The box shows the play record as it stands after this clear, whether or
  // not the clear ends a chain of stages (the ranking's values are only
  // taken at a chain's end).
  const std::array<int32_t, kRankingGenreCount> values = {SaveData.m_nStagePoints, SaveData.m_nTimeLeftSum,
                                                          SaveData.m_nClearTimeSum, SaveData.m_nHpLeftSum,
                                                          SaveData.m_nSpLeftSum};
  // A stage named at start-up for a test play, whoever started the game,
  // has no play mode to ask: the stage's own genres alone decide.
  const bool askMode = !SceneManager.m_bTestPlay;
  uint32_t switches[kRankingGenreCount] = {};
  uint8_t modeFlags[kRankingGenreCount] = {};
  for (int genre = 0; genre < kRankingGenreCount; ++genre) {
    switches[genre] = StageRanksGenre(genre) ? 1u : 0u;
    modeFlags[genre] = ModeRanksGenre(genre) ? 1 : 0;
  }
  cFontRankingPainter painter(DDBackBuffer(), GameFonts[1], &GameSurfaces[SURF_ACCESSORY]);
  // A box without a genre to show is not drawn at all.
  if (DrawPlayRecordBox(painter, kBoxX, kBoxY, switches, askMode ? modeFlags : nullptr, values.data()))
    NoteTraceResult(values);
}

int32_t cStageScene::CurrentAfterClearAction() {
  const int32_t number = SaveData.m_nWorld;
  for (const cWorldGroup& group : WorldMapData.m_Groups)
    for (const cWorld& world : group.m_Worlds)
      if (world.Kind() == kWorldKindStage && world.Number() == number) return world.m_nWord[kAfterClearWord];
  return 0;
}

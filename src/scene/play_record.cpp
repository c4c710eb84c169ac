#include "scene/play_record.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "data/system_data.h"
#include "gfx/dd.h"
#include "gfx/fonts.h"

cSaveData SaveData;
cWorldMapBounds cSaveData::s_MapBounds;

namespace {

int32_t ClampToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                   std::numeric_limits<int32_t>::max()));
}

// A stored text compares up to its first zero byte (SetStage leaves the base
// form inside a longer string).
std::string AsText(const std::string& s) { return std::string(s.c_str()); }

bool SettingOn(const cSafeVector<uint8_t>& flags, int part) {
  return part >= 0 && static_cast<size_t>(part) < flags.size() && flags[part] != 0;
}

// ---- carry-over parts ----
//
// Parts 0-10 and 13-21 are fields of the hero's definition, read by meaning
// as cEdCharacter's stage-play accessors name them (GraphicKind, ObjectValue,
// DrawLayer, …): a change of that reading changes both places.
void CopyDefinitionPart(int part, cEdCharacter& to, const cEdCharacter& from) {
  switch (part) {
    case kCarryGraphic:  // GraphicKind, GraphicNumber, BasicAnimeSet
      to.m_nGraphicSource = from.m_nGraphicSource;
      to.m_nGraphic = from.m_nGraphic;
      to.m_nAnimeSet = from.m_nAnimeSet;
      break;
    case kCarryPart1: to.m_nParam16 = from.m_nParam16; break;            // ObjectValue
    case kCarryLayer: to.m_nParam18 = from.m_nParam18; break;            // DrawLayer
    case kCarryTransparency: to.m_nParam19 = from.m_nParam19; break;     // Transparent
    case kCarryRunningState:                                             // StartEffect, its source and option
      to.m_nCharaEffectA = from.m_nCharaEffectA;
      to.m_nParam21 = from.m_nParam21;
      to.m_nParam22 = from.m_nParam22;
      break;
    case kCarryFacingFixed: to.m_nParam31 = from.m_nParam31; break;      // FixedFacing
    case kCarryFlying: to.m_nParam33 = from.m_nParam33; break;           // FreeVertical
    case kCarryInvincible: to.m_nParam35 = from.m_nParam35; break;       // Invincibility
    case kCarryScale: to.m_nParam36 = from.m_nParam36; break;            // Scale
    case kCarryFollowsScroll: to.m_nParam37 = from.m_nParam37; break;    // FollowsScroll
    case kCarrySight:                                                    // SightMode, Sight
      to.m_nParam38 = from.m_nParam38;
      to.m_nParam39 = from.m_nParam39;
      break;
    case kCarryMaxHp: to.m_nParam40 = from.m_nParam40; break;            // MaxHp
    case kCarryMaxSp: to.m_nParam41 = from.m_nParam41; break;            // MaxSp
    case kCarryPart15: to.m_nParam43 = from.m_nParam43; break;           // HitSizeMode
    case kCarryContactPower: to.m_nParam44 = from.m_nParam44; break;     // ContactPower
    case kCarryContactImpact: to.m_nParam45 = from.m_nParam45; break;    // KnockbackStrength
    case kCarryDefence: to.m_nParam47 = from.m_nParam47; break;          // Defence
    case kCarryImpactResistance: to.m_nParam48 = from.m_nParam48; break; // KnockbackResistance
    case kCarryStoppingEase: to.m_nParam42 = from.m_nParam42; break;     // DecelerationSpeed
    case kCarryFlows: to.m_vFlows = from.m_vFlows; break;  // shared until either changes
    default: break;
  }
}

// More kept heroes than this are refused (a stage has one hero; a broken
// index must not grow the list without end).
constexpr int kMaxKeptHeroes = 64;

}  // namespace

// ---- cSavedCharacter ----

void cSavedCharacter::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_nCounterA, "counterA");
  Declare(m_nCounterB, "counterB");
  Declare(m_nStageValue, "stageValue");
  Declare(m_nLives, "lives");
  Declare(m_nMusicTrack, "musicTrack");
}

bool cSavedCharacter::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  if (++in.depth > cDataReader::kMaxDepth) return in.Fail();
  const bool ok = m_Character.Read(in);
  --in.depth;
  return ok;
}

void cSavedCharacter::Write(cDataWriter& out) {
  cRecord::Write(out);
  m_Character.Write(out);
}

void cSavedCharacter::DumpLists(cJsonWriter& json) {
  json.Key("character");
  m_Character.DumpJson(json);
}

// ---- cStageBestRecord ----

void cStageBestRecord::DefineFields(int32_t version) {
  ClearDeclarations();
  if (version >= 759) {
    Declare(m_nStageNumber[0], "stageNumber1");
    Declare(m_nStageNumber[1], "stageNumber2");
    Declare(m_nStageNumber[2], "stageNumber3");
  }
  Declare(m_nBestPoints, "bestPoints");
  DeclareString(m_strStageFile, "stageFile");
  if (version >= 759) DeclareString(m_strStageName, "stageName");
}

bool cStageBestRecord::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  if (nFileVersion < 759) {
    m_strStageName = m_strStageFile;
    m_nStageNumber[0] = 0;
  }
  return true;
}

// ---- cWorldProgressRecord ----

void cWorldProgressRecord::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_nValue[0], "value1");
  Declare(m_nValue[1], "value2");
}

// ---- cSaveData ----

cSaveData::cSaveData() { Reset(); }

void cSaveData::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_bKeptHeroState, "keptHeroState");
  Declare(m_nMapX, "mapX");
  Declare(m_nMapY, "mapY");
  Declare(m_nValue4, "value4");
  Declare(m_nRound, "round");
  DeclareString(m_strStageFile, "stageFile");
  if (version >= 724) DeclareString(m_strStageName, "stageName");
  if (version >= 758) {
    Declare(m_nStageNumber[0], "stageNumber1");
    Declare(m_nStageNumber[1], "stageNumber2");
    Declare(m_nStageNumber[2], "stageNumber3");
  }
  Declare(m_nWorld, "world");
  Declare(m_nStage, "stage");
  Declare(m_nContinues, "continues");
  Declare(m_nLives, "lives");
  Declare(m_nScore, "score");
  Declare(m_nStagePoints, "stagePoints");
  Declare(m_nTotalPoints, "totalPoints");
  Declare(m_nTimeLeftSum, "timeLeftSum");
  Declare(m_nClearTimeSum, "clearTimeSum");
  if (version >= 182) {
    Declare(m_nHpLeftSum, "hpLeftSum");
    Declare(m_nSpLeftSum, "spLeftSum");
  }
  Declare(m_bFirstStage, "firstStage");
  Declare(m_nValue23, "value23");
  if (version >= 166) Declare(m_nValue24, "value24");
  if (version >= 194) Declare(m_nMapFacing, "mapFacing");
  if (version >= 190) Declare(m_bStepBack, "stepBack");
  if (version >= 191) {
    Declare(m_nPreMoveX, "preMoveX");
    Declare(m_nPreMoveY, "preMoveY");
  }
  Declare(m_nOpenedWorlds, "openedWorlds");
  Declare(nCurrentSlot, "currentSlot");
  if (version >= 169) Declare(bAutoSave, "autoSave");
  DeclareString(m_strName, "name");
  Declare(bShowRanking, "showRanking");
  Declare(nRankingGenre, "rankingGenre");
  if (version >= 678) {
    Declare(m_bStartGiven, "startGiven");
    Declare(m_nStartX, "startX");
    Declare(m_nStartY, "startY");
  }
  if (version >= 679) Declare(m_nStartFacing, "startFacing");
}

void cSaveData::Reset() {
  // A new game starts from a clean record: every declared number 0, every
  // text empty, then the values below.
  Clear();
  m_SaveTime = cSaveTime{};
  m_StoredParts.assign(kCarryPartCount, 0);
  m_KeptHeroes.clear();
  m_ProgressFlags.assign(kProgressFlagCount, 0);
  m_ProgressFlags[0] = 1;
  m_CommonVariables.assign(kCommonVariableCount, 0);
  m_BestResults.clear();
  m_WorldProgress.clear();
  m_nOpenedWorlds = 1;
  nCurrentSlot = -1;
  // Auto-save goes with a slot: a reset record has none, so it must not
  // auto-save (a kept flag would save to a slot that does not exist).
  bAutoSave = 0;
  m_strName = "aaa";
}

std::unique_ptr<cRecord> cSaveData::CloneForReading() const {
  auto fresh = std::make_unique<cSaveData>();
  fresh->m_KeptVariables = m_KeptVariables;
  fresh->m_nKeptLives = m_nKeptLives;
  fresh->m_nKeptStagePoints = m_nKeptStagePoints;
  fresh->m_bPendingVariable = m_bPendingVariable;
  fresh->m_nPendingVariable = m_nPendingVariable;
  fresh->m_nPendingValue = m_nPendingValue;
  fresh->m_nTrackPlaying = m_nTrackPlaying;
  return fresh;
}

bool cSaveData::Read(cDataReader& in) {
  if (!cRecord::Read(in) || !m_SaveTime.Read(in)) return false;
  const int32_t version = nFileVersion;
  if (version > 500) {
    if (!ReadValueList(in, m_StoredParts)) return false;
  } else {
    m_StoredParts.assign(kCarryPartCount, 0);
  }
  if (!ReadRecordList(in, m_KeptHeroes) || !ReadRecordList(in, m_BestResults) ||
      !ReadRecordList(in, m_WorldProgress) || !ReadValueList(in, m_ProgressFlags) ||
      !ReadValueList(in, m_CommonVariables))
    return false;

  // Values files of older versions do not hold.
  if (version < 166) m_nValue24 = 1;
  if (version < 169) bAutoSave = 0;
  if (version < 182) m_nHpLeftSum = m_nSpLeftSum = 0;
  if (version < 190) m_bStepBack = 0;
  if (version < 191) m_nPreMoveX = m_nPreMoveY = 0;
  if (version < 194) m_nMapFacing = 0;
  // Every part has a stored flag to look at, whatever the file held.
  if (m_StoredParts.size() < static_cast<size_t>(kCarryPartCount)) m_StoredParts.resize(kCarryPartCount, 0);
  Validate();
  return true;
}

void cSaveData::Write(cDataWriter& out) {
  Validate();
  cRecord::Write(out);
  m_SaveTime.Write(out);
  WriteValueList(out, m_StoredParts);
  WriteRecordList(out, m_KeptHeroes);
  WriteRecordList(out, m_BestResults);
  WriteRecordList(out, m_WorldProgress);
  WriteValueList(out, m_ProgressFlags);
  WriteValueList(out, m_CommonVariables);
}

void cSaveData::DumpLists(cJsonWriter& json) {
  json.Key("saveTime");
  json.BeginArray();
  for (uint16_t w : {m_SaveTime.wYear, m_SaveTime.wMonth, m_SaveTime.wDayOfWeek, m_SaveTime.wDay, m_SaveTime.wHour,
                     m_SaveTime.wMinute, m_SaveTime.wSecond, m_SaveTime.wMilliseconds})
    json.UInt(w);
  json.EndArray();
  auto dumpWords = [&json](const char* key, const auto& list) {
    json.Key(key);
    json.BeginArray();
    for (auto v : list) json.Int(v);
    json.EndArray();
  };
  dumpWords("storedParts", m_StoredParts);
  DumpRecordList(json, "keptHeroes", m_KeptHeroes);
  DumpRecordList(json, "bestResults", m_BestResults);
  DumpRecordList(json, "worldProgress", m_WorldProgress);
  // Only the set entries of the two long lists, as [index, value].
  auto dumpSet = [&json](const char* key, const std::vector<int32_t>& list) {
    json.Key(key);
    json.BeginArray();
    for (size_t i = 0; i < list.size(); ++i) {
      if (list[i] == 0) continue;
      json.BeginArray();
      json.UInt(i);
      json.Int(list[i]);
      json.EndArray();
    }
    json.EndArray();
    json.Key((std::string(key) + "Count").c_str());
    json.UInt(list.size());
  };
  dumpSet("progressFlags", m_ProgressFlags);
  dumpSet("commonVariables", m_CommonVariables);
}

void cSaveData::ApplyLivesRule(int32_t unlimited, int32_t startLives) {
  if (unlimited) {
    m_nContinues = kUnlimitedLives;
    m_nLives = kUnlimitedLives;
  } else if (m_nLives == kUnlimitedLives) {
    m_nLives = startLives;
  }
}

void cSaveData::Validate() {
  const cWorldMapBounds& map = s_MapBounds;
  if (map.nWidth > 0 && (m_nMapX >= map.nWidth || m_nMapX < 0)) m_nMapX = map.nStartX;
  if (map.nHeight > 0 && (m_nMapY >= map.nHeight || m_nMapY < 0)) m_nMapY = map.nStartY;
  if (map.nGroupCount >= 0) {
    m_WorldProgress.resize(static_cast<size_t>(map.nGroupCount));
    m_nOpenedWorlds = std::min(m_nOpenedWorlds, map.nGroupCount);
  }
}

// The first "-" followed by "1", scanning from the end, marks a first stage;
// this finds "abc-10.stg" and "my-1st-stage-2.stg" as well. Stored best
// results and ranking file names are keyed by the names this rule gives, so
// the rule stays as it is.
void cSaveData::SetStage(const char* name, int32_t n1, int32_t n2, int32_t n3) {
  m_strStageFile = name ? name : "";
  m_nStageNumber[0] = n1;
  m_nStageNumber[1] = n2;
  m_nStageNumber[2] = n3;
  m_bFirstStage = 0;

  std::string& s = m_strStageFile;
  const size_t length = s.size();
  size_t dash = std::string::npos;
  for (size_t i = length; i-- > 0;) {
    if (s[i] == '-' && i + 1 < length && s[i + 1] == '1') {
      dash = i;
      break;
    }
  }
  if (dash != std::string::npos) {
    m_bFirstStage = 1;
    s[dash] = '.';
    s[dash + 1] = '\0';
  } else if (length > 0) {
    const size_t dot = s.rfind('.');
    if (dot == std::string::npos)
      s[0] = '\0';
    else if (dot + 1 < length)
      s[dot + 1] = '\0';
  }
  // The stored name keeps its full length: read as text it is the base form.
  m_strStageName = AsText(s);
  if (n1 != 0) GetStageFileName(m_strStageName, n1, n2, n3);
}

void cSaveData::RecordStageResult(const std::string& stageFile, const std::string& stageName,
                                  const int32_t numbers[3], int32_t points) {
  const std::string key = AsText(stageName);
  for (cStageBestRecord& best : m_BestResults) {
    if (AsText(best.m_strStageName) != key) continue;
    if (best.m_nBestPoints < points) {
      m_nTotalPoints = ClampToInt32(int64_t{m_nTotalPoints} + points - best.m_nBestPoints);
      best.m_nBestPoints = points;
    }
    return;
  }
  cStageBestRecord& best = m_BestResults.emplace_back();
  best.m_strStageFile = AsText(stageFile);
  best.m_strStageName = key;
  for (int i = 0; i < 3; ++i) best.m_nStageNumber[i] = numbers ? numbers[i] : 0;
  best.m_nBestPoints = points;
  m_nTotalPoints = ClampToInt32(int64_t{m_nTotalPoints} + points);
}

int32_t cSaveData::GetStageBest(const std::string& stageName) const {
  const std::string key = AsText(stageName);
  for (const cStageBestRecord& best : m_BestResults)
    if (AsText(best.m_strStageName) == key) return best.m_nBestPoints;
  return 0;
}

void cSaveData::RecountTotal(bool (*worldExists)(const cStageBestRecord&, void*), void* context) {
  int64_t total = 0;
  for (const cStageBestRecord& best : m_BestResults)
    if (!worldExists || worldExists(best, context)) total += best.m_nBestPoints;
  m_nTotalPoints = ClampToInt32(total);
}

void cSaveData::KeepVariables() {
  m_KeptVariables = m_CommonVariables;
  m_nKeptLives = m_nLives;
  m_nKeptStagePoints = m_nStagePoints;
}

void cSaveData::RestoreVariables(bool forced, bool restoreVariables) {
  m_nStagePoints = m_nKeptStagePoints;
  // Nothing kept yet (no stage started): the variables stay as they are.
  if (restoreVariables && !m_KeptVariables.empty()) m_CommonVariables = m_KeptVariables;
  if (forced) m_nLives = m_nKeptLives;
}

void cSaveData::StoreHeroState(int hero, const cEdCharacter& definition, const cHeroCarryValues& values) {
  if (hero < 0 || hero >= kMaxKeptHeroes) return;
  m_bKeptHeroState = 1;
  if (m_KeptHeroes.size() <= static_cast<size_t>(hero)) m_KeptHeroes.resize(hero + 1);
  if (m_StoredParts.size() < static_cast<size_t>(kCarryPartCount)) m_StoredParts.resize(kCarryPartCount, 0);
  cSavedCharacter& kept = m_KeptHeroes[hero];
  const cSafeVector<uint8_t>& enabled = SystemData.m_CarryOver;
  for (int part = 0; part < kCarryPartCount; ++part) {
    if (!SettingOn(enabled, part)) continue;
    switch (part) {
      case kCarryRunningState:
        kept.m_Character.m_nCharaEffectA = values.nRunningWord;
        kept.m_Character.m_nParam21 = values.nRunningByteA;
        kept.m_Character.m_nParam22 = values.nRunningByteB;
        break;
      case kCarryCounterA: kept.m_nCounterA = values.nCounterA; break;
      case kCarryCounterB: kept.m_nCounterB = values.nCounterB; break;
      case kCarryStageValue: kept.m_nStageValue = values.nStageValue; break;
      case kCarryLives: kept.m_nLives = values.nLives; break;
      case kCarryMusicTrack: kept.m_nMusicTrack = values.nMusicTrack; break;
      default: CopyDefinitionPart(part, kept.m_Character, definition); break;
    }
    m_StoredParts[part] = 1;
  }
}

uint32_t cSaveData::RestoreHeroState(int hero, cEdCharacter& definition, cHeroCarryValues* values) {
  if (!m_bKeptHeroState || hero < 0 || static_cast<size_t>(hero) >= m_KeptHeroes.size()) return 0;
  const cSavedCharacter& kept = m_KeptHeroes[hero];
  const cSafeVector<uint8_t>& enabled = SystemData.m_CarryOver;
  uint32_t restored = 0;
  for (int part = 0; part < kCarryPartCount; ++part) {
    if (!SettingOn(enabled, part) || static_cast<size_t>(part) >= m_StoredParts.size() || !m_StoredParts[part])
      continue;
    switch (part) {
      case kCarryGraphic:
        CopyDefinitionPart(part, definition, kept.m_Character);
        definition.m_nGraphic = std::max<int16_t>(definition.m_nGraphic, 1);
        break;
      case kCarryRunningState:
        CopyDefinitionPart(part, definition, kept.m_Character);
        if (values) {
          values->nRunningWord = kept.m_Character.m_nCharaEffectA;
          values->nRunningByteA = kept.m_Character.m_nParam21;
          values->nRunningByteB = kept.m_Character.m_nParam22;
        }
        break;
      case kCarryCounterA:
        if (values) values->nCounterA = kept.m_nCounterA;
        break;
      case kCarryCounterB:
        if (values) values->nCounterB = kept.m_nCounterB;
        break;
      case kCarryStageValue:
        if (values) values->nStageValue = kept.m_nStageValue;
        break;
      case kCarryLives:
        m_nLives = kept.m_nLives;
        if (values) values->nLives = kept.m_nLives;
        break;
      case kCarryMusicTrack:
        if (values) values->nMusicTrack = kept.m_nMusicTrack;
        break;
      default: CopyDefinitionPart(part, definition, kept.m_Character); break;
    }
    restored |= 1u << part;
  }
  return restored;
}

void cSaveData::RestoreHeroCounters(int hero, int32_t& counterA, int32_t& counterB) const {
  if (!m_bKeptHeroState || hero < 0 || static_cast<size_t>(hero) >= m_KeptHeroes.size()) return;
  const cSafeVector<uint8_t>& enabled = SystemData.m_CarryOver;
  auto stored = [&](int part) {
    return SettingOn(enabled, part) && static_cast<size_t>(part) < m_StoredParts.size() && m_StoredParts[part];
  };
  if (stored(kCarryCounterA)) counterA = m_KeptHeroes[hero].m_nCounterA;
  if (stored(kCarryCounterB)) counterB = m_KeptHeroes[hero].m_nCounterB;
}

void cSaveData::ForgetResetParts() {
  const cSafeVector<uint8_t>& reset = SystemData.m_ResetFlags;
  for (int part = 0; part < kCarryPartCount && static_cast<size_t>(part) < m_StoredParts.size(); ++part)
    if (SettingOn(reset, part)) m_StoredParts[part] = 0;
}

void cSaveData::BeginNextRound() {
  m_nRound = ClampToInt32(int64_t{m_nRound} + 1);
  m_ProgressFlags.assign(kProgressFlagCount, 0);
  m_ProgressFlags[0] = 1;
  m_nMapX = s_MapBounds.nStartX;
  m_nMapY = s_MapBounds.nStartY;
}

void cSaveData::ResetPlayCounters(bool replayPlayback) {
  if (!replayPlayback && m_bPendingVariable) SetCommonVariable(m_nPendingVariable, m_nPendingValue);
  m_nLives = m_nContinues;
  m_nScore = 0;
  m_nStagePoints = 0;
  m_nTimeLeftSum = m_nClearTimeSum = m_nHpLeftSum = m_nSpLeftSum = 0;
  m_bStartGiven = 0;
}

int cSaveData::TakeLife(bool testPlay) {
  if (testPlay || m_nLives == kUnlimitedLives) return 1;
  if (m_nLives < 1) return 0;
  --m_nLives;
  return 1;
}

void cSaveData::ClearStageCounters() {
  m_nScore = 0;
  m_nStagePoints = 0;
  m_nTimeLeftSum = m_nClearTimeSum = m_nHpLeftSum = m_nSpLeftSum = 0;
}

int32_t cSaveData::GetCommonVariable(int n) const {
  if (n < 1 || static_cast<size_t>(n) >= m_CommonVariables.size()) return 0;
  return m_CommonVariables[n];
}

void cSaveData::SetCommonVariable(int n, int32_t value) {
  if (n < 1 || n >= kCommonVariableCount) return;
  if (m_CommonVariables.size() < static_cast<size_t>(kCommonVariableCount))
    m_CommonVariables.resize(kCommonVariableCount, 0);
  m_CommonVariables[n] = value;
}

cWorldProgressRecord* cSaveData::ChallengeEntry(int world) {
  if (world < 1 || static_cast<size_t>(world) > m_WorldProgress.size()) return nullptr;
  return &m_WorldProgress[world - 1];
}

int32_t cSaveData::GetProgressFlag(int n) const {
  if (n < 0 || static_cast<size_t>(n) >= m_ProgressFlags.size()) return 0;
  return m_ProgressFlags[n];
}

void cSaveData::SetProgressFlag(int n, int32_t value) {
  if (n < 0 || n >= kProgressFlagCount) return;
  if (m_ProgressFlags.size() < static_cast<size_t>(kProgressFlagCount)) m_ProgressFlags.resize(kProgressFlagCount, 0);
  m_ProgressFlags[n] = value;
}

// ---- the slot list on screen ----

namespace {

class cFontTextTarget : public cTextTarget {
 public:
  cFontTextTarget(DDSURFACEDATA* surface, cFont& font) : surface_(surface), font_(font) {}
  void DrawSystemText(int32_t x, int32_t y, const std::string& text) override {
    font_.DrawText(surface_, x, y, text.c_str());
  }

 private:
  DDSURFACEDATA* surface_;
  cFont& font_;
};

}  // namespace

void DrawSaveSlotList(DDSURFACEDATA* surface, cFont& font, int32_t x, int32_t y, const cSaveSlotList& list, int first,
                      int rows) {
  if (!surface || rows < 1) return;
  constexpr int kWidth = 320;
  constexpr int kRowHeight = 16;
  font.DrawFrameBox(surface, x, y, kWidth, rows * kRowHeight);
  cFontTextTarget text(surface, font);
  for (int row = 0; row < rows; ++row) {
    const cSaveSlotEntry* entry = list.Entry(first + row);
    if (!entry) break;
    const int top = y + row * kRowHeight;
    if (row + 1 < rows) DDFillRect(surface, x, top + kRowHeight - 1, kWidth, 1, static_cast<uint32_t>(font.m_nFrameColor));
    char number[16];
    std::snprintf(number, sizeof number, "%d", first + row + 1);
    font.DrawText(surface, x + 16, top, number);
    FormatSaveTime(*entry, x + 64, top, text);
  }
}

#include "data/system_data.h"

#include <algorithm>

#include "base/logs.h"
#include "base/text_path.h"
#include "data/database.h"
#include "platform/text.h"

cSystemData SystemData;

namespace {

// First data version whose files hold number #k (0: every version).
constexpr int32_t kFieldVersion[81] = {
    0,   185, 0,   838, 0,   0,   205, 170, 113, 855,  // #0 (unused), #1..#9
    184, 157, 821, 0,   191, 191, 0,   0,   167, 167,  // #10..#19
    188, 224, 167, 167, 188, 224, 188, 192, 187, 187,  // #20..#29
    187, 187, 214, 221, 261, 272, 287, 515, 289, 757,  // #30..#39
    525, 555, 637, 669, 677, 695, 696, 697, 721, 728,  // #40..#49
    733, 744, 749, 752, 763, 763, 768, 773, 781, 782,  // #50..#59
    783, 793, 805, 808, 818, 818, 819, 822, 827, 831,  // #60..#69
    833, 837, 839, 841, 845, 845, 845, 845, 861, 670,  // #70..#79
    670};                                              // #80

const char* FieldName(int k) {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v(81);
    for (int i = 0; i < 81; ++i) v[i] = '#' + std::to_string(i);
    return v;
  }();
  return names[k].c_str();
}

bool ReadBytes(cDataReader& in, cSafeVector<uint8_t>& list) { return ReadValueList(in, list); }
bool ReadWords(cDataReader& in, cSafeVector<uint32_t>& list) { return ReadValueList(in, list); }
void WriteBytes(cDataWriter& out, const cSafeVector<uint8_t>& list) { WriteValueList(out, list); }
void WriteWords(cDataWriter& out, const cSafeVector<uint32_t>& list) { WriteValueList(out, list); }
bool ReadTexts(cDataReader& in, cSafeVector<std::string>& list) { return ReadStringList(in, list); }

void WriteTexts(cDataWriter& out, cSafeVector<std::string>& list) {
  out.WriteU32(static_cast<uint32_t>(list.size()));
  for (std::string& s : list) {
    s.resize(strnlen(s.c_str(), s.size()));  // stored as written
    out.WriteString(s);
  }
}

template <class T>
void MakeLength(cSafeVector<T>& list, size_t length) {
  list.resize(length);
}

// Entry k takes entry k-1 from the last entry down to i+1: the list keeps
// its length and loses its last entry.
template <class T>
void MoveUpFrom(cSafeVector<T>& list, size_t i) {
  if (list.empty()) return;
  for (size_t k = list.size() - 1; k > i; --k) list[k] = list[k - 1];
}

void InsertText(cSafeVector<std::string>& texts, size_t i, const char* utf8) {
  MakeLength(texts, 29);
  MoveUpFrom(texts, i);
  texts[i] = plat::Sjis(utf8);
}

// Why the last read on this thread was refused for its limits.
std::string& LastLimitProblem() {
  thread_local std::string problem;
  return problem;
}

void DumpBytes(cJsonWriter& json, const char* key, const cSafeVector<uint8_t>& list) {
  json.Key(key);
  json.BeginArray();
  for (uint8_t v : list) json.UInt(v);
  json.EndArray();
}
void DumpWords(cJsonWriter& json, const char* key, const cSafeVector<uint32_t>& list) {
  json.Key(key);
  json.BeginArray();
  for (uint32_t v : list) json.UInt(v);
  json.EndArray();
}
void DumpTexts(cJsonWriter& json, const char* key, const cSafeVector<std::string>& list) {
  json.Key(key);
  json.BeginArray();
  for (const std::string& s : list) json.String(s);
  json.EndArray();
}

}  // namespace

// ---- element records ----

void cThresholdEntry::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_bShown, "shown");
  Declare(m_bIcon, "icon");
  Declare(m_nDigits, "digits");
  if (version >= 204) Declare(m_bGaugeNumber, "gaugeNumber");
  if (version >= 587) {
    Declare(m_nLimit, "limit");
    Declare(m_bPercent, "percent");
  }
  DeclareString(m_strLabel, "label");
}

bool cThresholdEntry::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  if (nFileVersion < 204) m_bGaugeNumber = 1;
  return true;
}

cRankingModeSetting::cRankingModeSetting() {
  Clear();
  if (m_Genres.size() < 5) m_Genres.resize(5, 0);
}

cRankingModeSetting::cRankingModeSetting(cForReading) { Clear(); }

void cRankingModeSetting::DefineFields(int32_t) {
  ClearDeclarations();
  Declare(m_bOn, "on");
}

bool cRankingModeSetting::Read(cDataReader& in) { return cRecord::Read(in) && ReadBytes(in, m_Genres); }

void cRankingModeSetting::Write(cDataWriter& out) {
  cRecord::Write(out);
  WriteBytes(out, m_Genres);
}

void cRankingModeSetting::DumpLists(cJsonWriter& json) { DumpBytes(json, "genres", m_Genres); }

void cOptionKey::DefineFields(int32_t) {
  ClearDeclarations();
  Declare(m_nKind, "kind");
  Declare(m_nDefault, "default");
  DeclareString(m_strKey, "key");
  DeclareString(m_strDefault, "defaultText");
}

void cOptionKey::SetNumber(const std::string& name, int32_t number) {
  m_nKind = 0;
  m_strKey = name;
  m_nDefault = number;
}

void cOptionKey::SetText(const std::string& name, const std::string& text) {
  m_nKind = 1;
  m_strKey = name;
  m_strDefault = text;
}

// ---- the system data ----

cSystemData::cSystemData() { SetDefaults(); }

int32_t cSystemData::Num(int k) const {
  if (k >= kSysColourKeyRed && k <= kSysColourKeyBlue) return m_byColourKey[k - kSysColourKeyRed];
  if (k == kSysDroppedNumber) return m_nDropped;
  return (k >= 1 && k <= 80) ? m_n[k] : 0;
}

void cSystemData::SetNum(int k, int32_t value) {
  if (k >= kSysColourKeyRed && k <= kSysColourKeyBlue)
    m_byColourKey[k - kSysColourKeyRed] = static_cast<uint8_t>(value);
  else if (k == kSysDroppedNumber)
    m_nDropped = value;
  else if (k >= 1 && k <= 80)
    m_n[k] = value;
}

void cSystemData::DefineFields(int32_t version) {
  ClearDeclarations();
  for (int k = 1; k <= 80; ++k) {
    if (version < kFieldVersion[k]) continue;
    if (k == kSysDroppedNumber) {
      if (version <= 259) Declare(m_nDropped, FieldName(k));
    } else if (k >= kSysColourKeyRed && k <= kSysColourKeyBlue) {
      Declare(m_byColourKey[k - kSysColourKeyRed], FieldName(k));
    } else {
      Declare(m_n[k], FieldName(k));
    }
  }
  DeclareString(m_strTitle, "title");
}

void cSystemData::SetDefaults() {
  Clear();
  for (auto [k, v] : std::initializer_list<std::pair<int, int32_t>>{
           {2, 100}, {4, 1}, {5, 0}, {6, 60}, {10, 1}, {11, 1}, {12, 1}, {20, 1}, {24, 1}, {26, 1}, {21, 1},
           {39, 1}, {25, 1}, {37, 16}, {13, 1}, {14, 1}, {15, 1}, {16, 40}, {17, 1}, {18, 1}, {19, 1}, {22, 1},
           {23, 1}})
    SetNum(k, v);
  m_CarryOver = {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 1, 1, 0, 1, 1, 1, 0, 0, 0};
  m_ResetFlags.assign(25, 0);
  m_ResetFlags[11] = m_ResetFlags[12] = 1;

  struct Hud {
    int32_t digits;
    const char* label;
  };
  const Hud hud[5] = {{4, "スコア"}, {3, "スコア"}, {0, "HP"}, {0, "SP"}, {2, "人"}};
  m_Hud.assign(5, cThresholdEntry());
  for (int i = 0; i < 5; ++i) {
    m_Hud[i].m_bShown = 1;
    m_Hud[i].m_bIcon = 1;
    m_Hud[i].m_nDigits = hud[i].digits;
    m_Hud[i].m_strLabel = plat::Sjis(hud[i].label);
  }
  m_StartLives = {5, 5, 5, 99};
  m_UnlimitedLives = {1, 1, 1, 1};
  m_Ranking.assign(4, cRankingModeSetting());
  for (int i = 0; i < 4; ++i) {
    m_Ranking[i].m_bOn = i < 3 ? 1 : 0;
    m_Ranking[i].m_Genres.assign(5, i < 3 ? 1 : 0);
  }
  auto commands = [](cSafeVector<cCmd>& list, std::initializer_list<const char*> labels) {
    list.clear();
    for (const char* label : labels) {
      list.emplace_back();
      list.back().m_strLabel = plat::Sjis(label);
    }
  };
  commands(m_TitleCmds, {"はじめから", "つづきから", "チャレンジ", "フリー", "リプレイ", "オプション", "しゅうりょう"});
  commands(m_WorldMapCmds, {"セーブ", "オートセーブ", "もどる", "タイトルへ"});
  commands(m_OptionCmds, {"", "BGM", "SE", "ランキング登録", "ランキング登録名", "もどる"});
  m_RankingModeLabels.clear();
  for (const char* label : {"手動登録（登録名入力）", "手動登録（登録名固定）", "自動登録（登録名入力）", "自動登録（登録名固定）"})
    m_RankingModeLabels.push_back(plat::Sjis(label));
  m_Texts.clear();
  for (const char* text :
       {"ワールド", "ステージ", "スコア", "ハイスコア", "トータルスコア", "スコア", "残り時間", "クリア時間", "残りHP",
        "残りSP", "ステージに挑む", "やっぱりやめる", "セーブする", "やっぱりやめる", "オートセーブＯＮ",
        "オートセーブＯＦＦ", "保存先が不明です！一度は「セーブ」して下さい！", "タイトルへ戻る", "やっぱりやめる",
        "しゅうりょう", "つづける", "リトライ", "", "リトライ", "マップへ戻る", "Vキーでジャンルの切り替え",
        "スペースキーでタイトルへ戻る", "スペースキーで終了", "F3キーでランキングへ登録"})
    m_Texts.push_back(plat::Sjis(text));
  m_ScreenMusic.assign(4, 0);
  m_ScreenMusicLoop.assign(4, 1);
  m_SystemSounds.assign(17, std::string());
  m_Keys.assign(11, cOptionKey());
  const char* numberKeys[11] = {"Direct3D", "WindowMode", "Bpp", "VSync", "D3D_FontCache", "DD_FontCache",
                                "DD_VideoStretch", "ShowFps", nullptr, "English", "Midi_DirectMusic"};
  const int32_t defaults[11] = {2, 0, 0, 2, 0, 1, 0, 1, 0, 0, 1};
  for (int i = 0; i < 11; ++i) {
    if (numberKeys[i])
      m_Keys[i].SetNumber(numberKeys[i], defaults[i]);
    else
      m_Keys[i].SetText("FreeStage", "");
  }
  SetNum(kSysD3DDepth, 0);
  SetNum(kSysDDDepth, 2);
}

bool cSystemData::Read(cDataReader& in) {
  LastLimitProblem().clear();
  if (!cRecord::Read(in)) return false;
  const int32_t v = nFileVersion;
  if (!ReadBytes(in, m_CarryOver)) return false;
  if (v >= 501 && !ReadBytes(in, m_ResetFlags)) return false;
  if (!ReadRecordList(in, m_Hud)) return false;
  if (!ReadWords(in, m_StartLives)) return false;
  if (v >= 191 && !ReadWords(in, m_UnlimitedLives)) return false;
  if (v >= 186 && !ReadRecordList(in, m_Ranking)) return false;
  if (!ReadTexts(in, m_Texts) || !ReadTexts(in, m_SystemSounds)) return false;
  if (!ReadWords(in, m_ScreenMusic)) return false;
  if (v >= 202 && !ReadBytes(in, m_ScreenMusicLoop)) return false;
  if (!ReadRecordList(in, m_TitleCmds) || !ReadRecordList(in, m_WorldMapCmds) || !ReadRecordList(in, m_OptionCmds))
    return false;
  if (v >= 674 && !ReadTexts(in, m_RankingModeLabels)) return false;
  if (!ReadRecordList(in, m_Keys)) return false;
  if (v < kDataVersion) Upgrade(v);
  CheckMusicNumbers();
  LastLimitProblem() = SystemDataLimitProblem(*this);
  if (!LastLimitProblem().empty()) {
    WriteECLog("System.dat refused: %s", LastLimitProblem().c_str());
    return in.Fail();
  }
  return true;
}

std::string SystemDataLimitProblem(const cSystemData& system) {
  const int32_t worlds = system.Num(kSysWorldCount);
  if (worlds > kSysMaxWorldCount)
    return "its number of worlds (#16) is " + std::to_string(worlds) + ", more than " +
           std::to_string(kSysMaxWorldCount);
  return std::string();
}

const std::string& LastSystemDataLimitProblem() { return LastLimitProblem(); }

namespace {

// ---- upgrade steps of the counted lists ----

// A "System.ini" key table entry becomes a number key.
void SetNumberKey(cSystemData& s, size_t entry, const char* name, int32_t value) {
  s.m_Keys[entry] = cOptionKey();
  s.m_Keys[entry].SetNumber(name, value);
}

// A carry-over flag came in at `i`, with `value` for older games.
void InsertCarryOverFlag(cSystemData& s, size_t i, uint8_t value) {
  MakeLength(s.m_CarryOver, 25);
  MoveUpFrom(s.m_CarryOver, i);
  s.m_CarryOver[i] = value;
}

void AutoSaveEntries(cSystemData& s) {
  MakeLength(s.m_WorldMapCmds, 4);
  MoveUpFrom(s.m_WorldMapCmds, 1);
  s.m_WorldMapCmds[1] = cCmd();
  s.m_WorldMapCmds[1].m_strLabel = plat::Sjis("オートセーブ");
  InsertText(s.m_Texts, 12, "保存先が不明です！一度は「セーブ」して下さい！");
  InsertText(s.m_Texts, 12, "オートセーブＯＦＦ");
  InsertText(s.m_Texts, 12, "オートセーブＯＮ");
}

// The HP and SP ranking genres came in, off in older games.
void HpAndSpGenres(cSystemData& s) {
  for (size_t i = 0; i < 4 && i < s.m_Ranking.size(); ++i) {
    s.m_Ranking[i].m_Genres.resize(5, 0);
    s.m_Ranking[i].m_Genres[3] = s.m_Ranking[i].m_Genres[4] = 0;
  }
  InsertText(s.m_Texts, 8, "残りHP");
  InsertText(s.m_Texts, 9, "残りSP");
}

void RetryAndMapTexts(cSystemData& s) {
  InsertText(s.m_Texts, 22, "リトライ");
  InsertText(s.m_Texts, 23, "マップへ戻る");
}

void KeyDirect3D(cSystemData& s) {
  MakeLength(s.m_Keys, 11);
  MoveUpFrom(s.m_Keys, 0);
  SetNumberKey(s, 0, "Direct3D", 1);
  // "VSync" lost its values above 2.
  if (s.m_Keys[3].m_nDefault >= 3) s.m_Keys[3].m_nDefault = 2;
}

void KeyVideoStretch(cSystemData& s) {
  MakeLength(s.m_Keys, 11);
  MoveUpFrom(s.m_Keys, 4);
  SetNumberKey(s, 4, "DD_VideoStretch", 0);
}

void KeyFontCaches(cSystemData& s) {
  MakeLength(s.m_Keys, 11);
  MoveUpFrom(s.m_Keys, 4);
  SetNumberKey(s, 4, "D3D_FontCache", 0);
  MoveUpFrom(s.m_Keys, 5);
  SetNumberKey(s, 5, "DD_FontCache", 1);
}

void KeyEnglish(cSystemData& s) {
  MakeLength(s.m_Keys, 11);
  SetNumberKey(s, 9, "English", 0);
}

void KeyMidiDirectMusic(cSystemData& s) {
  MakeLength(s.m_Keys, 11);
  SetNumberKey(s, 10, "Midi_DirectMusic", 1);
}

// The HP and SP gauges warn at a third of their maximum or less.
void HudWarningRanges(cSystemData& s) {
  MakeLength(s.m_Hud, 5);
  for (size_t i : {2u, 3u}) {
    s.m_Hud[i].m_nLimit = 33;
    s.m_Hud[i].m_bPercent = 1;
  }
}

// ---- the upgrade table ----

// One row: files of versions from..before-1 get number #field set to
// `value`, or the list step `step`. The rows run in table order, which is the
// order in which the versions came.
struct UpgradeRow {
  int32_t from;
  int32_t before;
  int field;
  int32_t value;
  void (*step)(cSystemData&);
};

constexpr UpgradeRow Set(int32_t before, int field, int32_t value) { return {0, before, field, value, nullptr}; }
constexpr UpgradeRow SetFrom(int32_t from, int32_t before, int field, int32_t value) {
  return {from, before, field, value, nullptr};
}
constexpr UpgradeRow Step(int32_t before, void (*step)(cSystemData&)) { return {0, before, 0, 0, step}; }

constexpr UpgradeRow kUpgrades[] = {
    Set(113, kSysKeepTestFlows, 0),
    Set(157, 11, 0),
    Set(167, 18, 1), Set(167, 19, 1), Set(167, 22, 1), Set(167, 23, 1),
    Step(168, [](cSystemData& s) { InsertCarryOverFlag(s, 16, 1); }),
    Step(169, AutoSaveEntries),
    Set(170, 7, 0),
    Step(181, HpAndSpGenres),
    Set(184, 10, 1),
    Set(185, 1, 1),
    // The fixed colour key came in; older games keep the key of their bitmaps.
    Set(187, kSysFixedColourKey, 0), Set(187, kSysColourKeyRed, 0), Set(187, kSysColourKeyGreen, 177),
    Set(187, kSysColourKeyBlue, 0),
    Set(188, 20, 1), Set(188, 24, 1), Set(188, 26, 1),
    Step(191, [](cSystemData& s) { s.m_UnlimitedLives = {0, 0, 0, 1}; }),
    Set(191, 14, 0), Set(191, 15, 0),
    Set(192, 27, 1),
    Step(193, RetryAndMapTexts),
    Step(201, [](cSystemData& s) { InsertCarryOverFlag(s, 14, 0); }),
    Step(202, [](cSystemData& s) { s.m_ScreenMusicLoop.assign(4, 1); }),
    Set(205, kSysFontFace, 60),
    Step(210, [](cSystemData& s) { InsertCarryOverFlag(s, 9, 0); }),
    Set(214, 32, 1),
    Set(224, 21, 0), Set(224, 25, 0),
    Set(261, 34, 1),
    Set(272, 35, 0),
    Step(286, KeyDirect3D),
    Set(287, 36, 0),
    // Palette cycling stays on in games whose key comes from their bitmaps.
    Step(289, [](cSystemData& s) { s.SetNum(kSysPaletteCycling, s.Num(kSysFixedColourKey) == 0 ? 1 : 0); }),
    Step(501, [](cSystemData& s) { s.m_ResetFlags.assign(25, 0); }),
    Set(515, kSysColourCycleStep, 16),
    Set(525, 40, 1),
    Set(555, 41, 1),
    Step(567, KeyVideoStretch),
    Step(568, KeyFontCaches),
    Step(587, HudWarningRanges),
    Set(617, 42, 1), SetFrom(617, 637, 42, 0),
    Set(669, 43, 1),
    Set(670, kSysD3DDepth, 0), Set(670, kSysDDDepth, 2),
    Step(672, KeyEnglish),
    Set(677, 44, 1),
    Set(695, 45, 1),
    Set(696, 46, 1),
    Set(697, 47, 1),
    Set(721, 48, 1),
    Set(728, 49, 1),
    Set(733, 50, 1),
    Set(744, 51, 1),
    Set(749, 52, 1),
    Set(752, 53, 1),
    Step(756, [](cSystemData& s) { InsertText(s.m_Texts, 22, "マップへ戻る"); }),
    Set(757, 39, 0),
    Set(763, 54, 1), Set(763, 55, 1),
    Set(768, 56, 1),
    Set(773, 57, 1),
    Set(781, 58, 1),
    Set(782, 59, 1),
    Set(783, 60, 1),
    Set(793, 61, 1),
    Set(805, 62, 1),
    Set(808, 63, 1),
    Set(818, 64, 1), Set(818, 65, 1),
    Set(819, 66, 1),
    Set(821, kSysNewGameSlotChoice, 0),
    Set(822, 67, 1),
    Set(827, 68, 1),
    Set(831, 69, 1),
    SetFrom(817, 833, 70, 1),
    Set(837, 71, 1),
    Set(838, 3, 1),
    Set(839, 72, 1),
    Set(841, 73, 1),
    Step(842, KeyMidiDirectMusic),
    Set(845, 74, 1), Set(845, 75, 1), Set(845, 76, 1), Set(656, 77, 0), SetFrom(656, 845, 77, 1),
    Set(855, 9, 1),
    Set(861, 78, 1),
};

}  // namespace

void cSystemData::Upgrade(int32_t v) {
  for (const UpgradeRow& row : kUpgrades) {
    if (v < row.from || v >= row.before) continue;
    if (row.step)
      row.step(*this);
    else
      SetNum(row.field, row.value);
  }
}

void cSystemData::CheckMusicNumbers() {
  size_t count = Database.m_Bgms.size();
  for (uint32_t& track : m_ScreenMusic)
    if (track >= count) track = 0;
}

void cSystemData::Write(cDataWriter& out) {
  CheckMusicNumbers();
  cRecord::Write(out);
  WriteBytes(out, m_CarryOver);
  WriteBytes(out, m_ResetFlags);
  WriteRecordList(out, m_Hud);
  WriteWords(out, m_StartLives);
  WriteWords(out, m_UnlimitedLives);
  WriteRecordList(out, m_Ranking);
  WriteTexts(out, m_Texts);
  WriteTexts(out, m_SystemSounds);
  WriteWords(out, m_ScreenMusic);
  WriteBytes(out, m_ScreenMusicLoop);
  WriteRecordList(out, m_TitleCmds);
  WriteRecordList(out, m_WorldMapCmds);
  WriteRecordList(out, m_OptionCmds);
  WriteTexts(out, m_RankingModeLabels);
  WriteRecordList(out, m_Keys);
}

void cSystemData::DumpLists(cJsonWriter& json) {
  DumpBytes(json, "carryOver", m_CarryOver);
  DumpBytes(json, "resetFlags", m_ResetFlags);
  DumpRecordList(json, "hud", m_Hud);
  DumpWords(json, "startLives", m_StartLives);
  DumpWords(json, "unlimitedLives", m_UnlimitedLives);
  DumpRecordList(json, "ranking", m_Ranking);
  DumpTexts(json, "texts", m_Texts);
  DumpTexts(json, "systemSounds", m_SystemSounds);
  DumpWords(json, "screenMusic", m_ScreenMusic);
  DumpBytes(json, "screenMusicLoop", m_ScreenMusicLoop);
  DumpRecordList(json, "titleCommands", m_TitleCmds);
  DumpRecordList(json, "worldMapCommands", m_WorldMapCmds);
  DumpRecordList(json, "optionCommands", m_OptionCmds);
  DumpTexts(json, "rankingModeLabels", m_RankingModeLabels);
  DumpRecordList(json, "keys", m_Keys);
}

int32_t cSystemData::CountSetFlags(int n) {
  cRankingModeSetting& mode = m_Ranking.At(n);
  if (!mode.m_bOn) return 0;
  return static_cast<int32_t>(std::count_if(mode.m_Genres.begin(), mode.m_Genres.end(), [](uint8_t f) { return f != 0; }));
}

bool cSystemData::IsWithinThreshold(int n, int32_t value, int32_t maximum) {
  cThresholdEntry& item = m_Hud.At(n);
  if (item.m_bPercent) return value * 100.0 / maximum <= item.m_nLimit;
  return value <= item.m_nLimit;
}

int32_t cSystemData::GetMenuLeft(int32_t x, int first, int count, bool cursor) {
  // Characters, not bytes: a full-width character takes one 16-dot cell.
  int widest = 0;
  for (int i = first; i < first + count; ++i) widest = std::max(widest, CountCharacters(m_Texts.At(i).c_str()));
  return x - ((widest + (cursor ? 1 : 0)) * 16) / 2;
}

void cSystemData::DrawMenuLabels(int32_t x, int32_t y, int first, int count, bool cursor, cTextTarget& target) {
  target.DrawSystemText(x, y, MenuLabelText(first, count, cursor));
}

std::string cSystemData::MenuLabelText(int first, int count, bool cursor) {
  std::string text;
  for (int i = first; i < first + count; ++i) {
    if (cursor) text += ' ';
    text += m_Texts.At(i);
    text += '\n';
  }
  return text;
}

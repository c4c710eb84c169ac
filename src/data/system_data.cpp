#include "data/system_data.h"

#include <algorithm>

#include "core/text_path.h"
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
    for (int i = 0; i < 81; ++i) v[i] = "#" + std::to_string(i);
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
  if (k == 33) return m_nDropped;
  return (k >= 1 && k <= 80) ? m_n[k] : 0;
}

void cSystemData::SetNum(int k, int32_t value) {
  if (k >= kSysColourKeyRed && k <= kSysColourKeyBlue)
    m_byColourKey[k - kSysColourKeyRed] = static_cast<uint8_t>(value);
  else if (k == 33)
    m_nDropped = value;
  else if (k >= 1 && k <= 80)
    m_n[k] = value;
}

void cSystemData::DefineFields(int32_t version) {
  ClearDeclarations();
  for (int k = 1; k <= 80; ++k) {
    if (version < kFieldVersion[k]) continue;
    if (k == 33) {
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
  return true;
}

void cSystemData::Upgrade(int32_t v) {
  auto set = [this](std::initializer_list<int> fields, int32_t value) {
    for (int k : fields) SetNum(k, value);
  };
  auto numberKey = [this](size_t entry, const char* name, int32_t value) {
    m_Keys[entry] = cOptionKey();
    m_Keys[entry].SetNumber(name, value);
  };
  if (v < 113) set({8}, 0);
  if (v < 157) set({11}, 0);
  if (v < 167) set({18, 19, 22, 23}, 1);
  if (v < 168) {
    MakeLength(m_CarryOver, 25);
    MoveUpFrom(m_CarryOver, 16);
    m_CarryOver[16] = 1;
  }
  if (v < 169) {
    MakeLength(m_WorldMapCmds, 4);
    MoveUpFrom(m_WorldMapCmds, 1);
    m_WorldMapCmds[1] = cCmd();
    m_WorldMapCmds[1].m_strLabel = plat::Sjis("オートセーブ");
    InsertText(m_Texts, 12, "保存先が不明です！一度は「セーブ」して下さい！");
    InsertText(m_Texts, 12, "オートセーブＯＦＦ");
    InsertText(m_Texts, 12, "オートセーブＯＮ");
  }
  if (v < 170) set({7}, 0);
  if (v < 181) {
    for (size_t i = 0; i < 4 && i < m_Ranking.size(); ++i) {
      m_Ranking[i].m_Genres.resize(5, 0);
      m_Ranking[i].m_Genres[3] = m_Ranking[i].m_Genres[4] = 0;
    }
    InsertText(m_Texts, 8, "残りHP");
    InsertText(m_Texts, 9, "残りSP");
  }
  if (v < 184) set({10}, 1);
  if (v < 185) set({1}, 1);
  if (v < 187) {
    set({28, 29, 31}, 0);
    set({30}, 177);
  }
  if (v < 188) set({20, 24, 26}, 1);
  if (v < 191) {
    m_UnlimitedLives = {0, 0, 0, 1};
    set({14, 15}, 0);
  }
  if (v < 192) set({27}, 1);
  if (v < 193) {
    InsertText(m_Texts, 22, "リトライ");
    InsertText(m_Texts, 23, "マップへ戻る");
  }
  if (v < 201) {
    MakeLength(m_CarryOver, 25);
    MoveUpFrom(m_CarryOver, 14);
    m_CarryOver[14] = 0;
  }
  if (v < 202) m_ScreenMusicLoop.assign(4, 1);
  if (v < 205) set({6}, 60);
  if (v < 210) {
    MakeLength(m_CarryOver, 25);
    MoveUpFrom(m_CarryOver, 9);
    m_CarryOver[9] = 0;
  }
  if (v < 214) set({32}, 1);
  if (v < 224) set({21, 25}, 0);
  if (v < 261) set({34}, 1);
  if (v < 272) set({35}, 0);
  if (v < 286) {
    MakeLength(m_Keys, 11);
    MoveUpFrom(m_Keys, 0);
    numberKey(0, "Direct3D", 1);
    if (m_Keys[3].m_nDefault >= 3) m_Keys[3].m_nDefault = 2;
  }
  if (v < 287) set({36}, 0);
  if (v < 289) set({38}, Num(kSysFixedColourKey) == 0 ? 1 : 0);
  if (v < 501) m_ResetFlags.assign(25, 0);
  if (v < 515) set({37}, 16);
  if (v < 525) set({40}, 1);
  if (v < 555) set({41}, 1);
  if (v < 567) {
    MakeLength(m_Keys, 11);
    MoveUpFrom(m_Keys, 4);
    numberKey(4, "DD_VideoStretch", 0);
  }
  if (v < 568) {
    MakeLength(m_Keys, 11);
    MoveUpFrom(m_Keys, 4);
    numberKey(4, "D3D_FontCache", 0);
    MoveUpFrom(m_Keys, 5);
    numberKey(5, "DD_FontCache", 1);
  }
  if (v < 587) {
    MakeLength(m_Hud, 5);
    for (size_t i : {2u, 3u}) {
      m_Hud[i].m_nLimit = 33;
      m_Hud[i].m_bPercent = 1;
    }
  }
  if (v < 637) set({42}, v <= 616 ? 1 : 0);
  if (v < 669) set({43}, 1);
  if (v < 670) {
    set({79}, 0);
    set({80}, 2);
  }
  if (v < 672) {
    MakeLength(m_Keys, 11);
    numberKey(9, "English", 0);
  }
  if (v < 677) set({44}, 1);
  if (v < 695) set({45}, 1);
  if (v < 696) set({46}, 1);
  if (v < 697) set({47}, 1);
  if (v < 721) set({48}, 1);
  if (v < 728) set({49}, 1);
  if (v < 733) set({50}, 1);
  if (v < 744) set({51}, 1);
  if (v < 749) set({52}, 1);
  if (v < 752) set({53}, 1);
  if (v < 756) InsertText(m_Texts, 22, "マップへ戻る");
  if (v < 757) set({39}, 0);
  if (v < 763) set({54, 55}, 1);
  if (v < 768) set({56}, 1);
  if (v < 773) set({57}, 1);
  if (v < 781) set({58}, 1);
  if (v < 782) set({59}, 1);
  if (v < 783) set({60}, 1);
  if (v < 793) set({61}, 1);
  if (v < 805) set({62}, 1);
  if (v < 808) set({63}, 1);
  if (v < 818) set({64, 65}, 1);
  if (v < 819) set({66}, 1);
  if (v < 821) set({12}, 0);
  if (v < 822) set({67}, 1);
  if (v < 827) set({68}, 1);
  if (v < 831) set({69}, 1);
  if (v >= 817 && v <= 832) set({70}, 1);
  if (v < 837) set({71}, 1);
  if (v < 838) set({3}, 1);
  if (v < 839) set({72}, 1);
  if (v < 841) set({73}, 1);
  if (v < 842) {
    MakeLength(m_Keys, 11);
    numberKey(10, "Midi_DirectMusic", 1);
  }
  if (v < 845) {
    set({74, 75, 76}, 1);
    set({77}, v < 656 ? 0 : 1);
  }
  if (v < 855) set({9}, 1);
  if (v < 861) set({78}, 1);
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

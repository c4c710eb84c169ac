#include "data/stage_data.h"

#include <array>
#include <climits>

#include "base/errors.h"
#include "base/logs.h"
#include "base/program.h"
#include "data/database.h"
#include "data/inheritance.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/text.h"

cStageData StageData;
cStageData StageMasterData;

namespace {

// First data version whose files hold field k (0: every version).
int32_t FieldGate(int k) {
  switch (k) {
    case 25: return 166;
    case 26: return 199;
    case 30: return 183;
    case 31: return 184;
    case 33: return 225;
    case 36: case 37: case 38: case 39: return 200;
    case 42: case 43: return 155;
    case 48: case 49: return 200;
    case 50: case 51: return 155;
    case 52: return 200;
    case 56: return 200;
    case 60: case 61: case 62: case 63: return 200;
    case 66: case 67: return 155;
    case 70: case 71: return 200;
    case 72: case 73: return 155;
    default: return 0;
  }
}

// "#1" .. "#98" for dumps.
const char* FieldName(int k) {
  static const std::array<std::string, kStageFieldCount + 1> names = [] {
    std::array<std::string, kStageFieldCount + 1> n;
    for (int i = 1; i <= kStageFieldCount; ++i) n[static_cast<size_t>(i)] = '#' + std::to_string(i);
    return n;
  }();
  return names[static_cast<size_t>(k)].c_str();
}

int32_t Saturate(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// Lowers `value` to `bound` when it is above it (64-bit: the bounds are sizes
// minus a margin, which a hostile size would take below INT32_MIN).
void ClampAbove(int32_t& value, int64_t bound) {
  if (value > bound) value = Saturate(bound);
}

// Placed objects: u32 n, then per element a u32 (written 0, skipped) and the
// body.
template <class T>
bool ReadPlacedList(cDataReader& in, cSafeVector<T>& list) {
  uint32_t count = 0;
  if (!in.ReadCount(count, 4 + T::kMinBodyBytes)) return false;
  if (++in.depth > cDataReader::kMaxDepth) return in.Fail();
  cSafeVector<T>().swap(list);
  bool ok = true;
  for (uint32_t i = 0; i < count && ok; ++i) {
    uint32_t skipped;
    // Each new type holds its inherit flags.
    ok = MakeRoom(in, list, count) && in.Charge(HeapBytes(T::kInheritGroups)) && in.ReadU32(skipped) &&
         list.emplace_back().Read(in);
  }
  --in.depth;
  return ok;
}

template <class T>
void WritePlacedList(cDataWriter& out, cSafeVector<T>& list) {
  out.WriteU32(static_cast<uint32_t>(list.size()));
  for (T& element : list) {
    out.WriteU32(0);
    element.Write(out);
  }
}

template <class T>
void PadToTwo(cSafeVector<T>& list) {
  while (list.size() < 2) list.emplace_back();
}

// The reference checks of one set of definitions (a palette or the placed
// objects), each kind with the checks it has. `listsChecked`: the types were
// read just now, so their flows and commands have had their database checks
// (as they were read, or in the base they share them with) and only the
// palette checks of the lists are left.
void ValidateDefinitions(cSafeVector<cEdBlock>& blocks, cSafeVector<cEdCharacter>& characters,
                         cSafeVector<cEdItem>& items, bool listsChecked) {
  for (cEdBlock& b : blocks) {
    b.ValidateReferences();
    b.ValidateItemReference();
  }
  for (cEdCharacter& c : characters) {
    if (listsChecked)
      c.ValidateFields();
    else
      c.ValidateReferences();
    c.ValidatePaletteReferences();
  }
  for (cEdItem& i : items) {
    if (listsChecked)
      i.ValidateFields();
    else
      i.ValidateReferences();
    i.ValidatePaletteReferences();
  }
}

}  // namespace

// Entry 0 of a palette list is reset to a new type (ResetToNewType). A new
// block type has option seven 1, but the reference check that runs after
// every read and before every write turns options seven and five off for a
// block without a graphic: entry 0 of a loaded block list ends with 0.

// ---- cStageParam, cStageBackground, cStageText ----

void cStageParam::DefineFields(int32_t version) {
  // One declaration per value (the field count of a set is 8, or 5 before
  // 125).
  ClearDeclarations();
  static const char* const kNames[8] = {"value1", "value2", "value3", "value4",
                                        "value5", "value6", "value7", "value8"};
  for (int i = 0; i < 8; ++i) {
    if (i >= 1 && i <= 3 && version < 125) continue;
    Declare(m_nValues[i], kNames[i]);
  }
}

cStageBackground::cStageBackground() {
  Clear();
  m_nLayer1 = 1;
  m_nLayer2 = 16;
  m_dScrollSpeedX = 0.1;
  m_dScrollSpeedY = 0.1;
}

void cStageBackground::DefineFields(int32_t version) {
  ClearDeclarations();
  if (version >= 62) Declare(m_nLayer1, "layer1");
  Declare(m_nSource, "source");
  Declare(m_nLayer2, "layer2");
  Declare(m_nLayer3, "layer3");
  if (version >= 61) {
    Declare(m_dScrollSpeedX, "scrollSpeedX");
    Declare(m_dScrollSpeedY, "scrollSpeedY");
    Declare(m_bAutoScrollX, "autoScrollX");
    Declare(m_bAutoScrollY, "autoScrollY");
  } else {
    // Two words in place of the speeds.
    Declare(m_nDropped[0]);
    Declare(m_nDropped[1]);
  }
  DeclareString(m_strFile, "file");
  if (version >= 62) {
    Declare(m_dScrollX, "scrollX");
    Declare(m_dScrollY, "scrollY");
  } else if (version == 61) {
    // Two words in place of the scroll position.
    Declare(m_nDropped[0]);
    Declare(m_nDropped[1]);
  }
}

void cStageRecord::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_nValues[0], "value1");
}

void cStageText::DefineFields(int32_t version) {
  ClearDeclarations();
  DeclareString(m_strText, "text");
}

// ---- cStageData ----

namespace {

// Settings of older stage files, in the order of the versions: files older
// than `before` get field `field` set to `value`, or to field `copyOf`'s
// value where that is not 0.
struct StageUpgrade {
  int32_t before;
  int field;
  int32_t value;
  int copyOf;
};

constexpr StageUpgrade kStageUpgrades[] = {
    {155, 42, 0, 40}, {155, 43, 0, 41}, {155, 66, 0, 64}, {155, 67, 0, 65},
    {155, 50, 0, 0},  {155, 51, 0, 0},  {155, 72, 0, 0},  {155, 73, 0, 0},
    {166, 25, 1, 0},
    {183, 30, 1, 0},
    {184, 31, 0, 0},
    {199, 26, 0, 0},
    {200, 36, 16, 0}, {200, 37, 24, 0}, {200, 38, 16, 0}, {200, 39, 16, 0},
    {200, 48, 1, 0},  {200, 49, 0, 0},  {200, 52, 0, 0},  {200, 56, 5, 0},
    {200, 60, 16, 0}, {200, 61, 30, 0}, {200, 62, 16, 0}, {200, 63, 30, 0},
    {200, 70, 1, 0},  {200, 71, 1, 0},
    {225, 33, 0, 0},
};

}  // namespace

cStageData::cStageData() {
  // Parameter sets are cleared by their own constructors.
  DefineFields(nDataVersion);
  SetDefaults();
}

void cStageData::DefineFields(int32_t version) {
  ClearDeclarations();
  DeclareString(m_strName, "name");
  for (int k = 1; k <= kStageFieldCount; ++k) {
    if (version < FieldGate(k)) continue;
    if (IsStageDoubleField(k))
      Declare(m_dFields[k], FieldName(k));
    else
      Declare(m_nFields[k], FieldName(k));
  }
}

void cStageData::SetDefaults() {
  Clear();
  m_PlacedBlocks.clear();
  m_PlacedCharacters.clear();
  m_PlacedItems.clear();
  m_PaletteBlocks.assign(1, cEdBlock());
  m_PaletteCharacters.assign(1, cEdCharacter());
  m_PaletteItems.assign(1, cEdItem());

  struct Default {
    int k;
    int32_t value;
  };
  static constexpr Default kDefaults[] = {
      {13, 60}, {14, 0},  {15, 200}, {16, 20}, {22, 10}, {23, 0},  {27, 1},  {30, 1},  {31, 0},  {32, 0},
      {33, 1},  {34, 1},  {35, 1},   {36, 16}, {37, 24}, {38, 16}, {39, 16}, {40, 16}, {41, 24}, {42, 16},
      {43, 16}, {44, 12}, {45, 8},   {46, 16}, {47, 16}, {48, 1},  {49, 0},  {50, 1},  {51, 0},  {52, 0},
      {56, 0},  {60, 16}, {61, 24},  {62, 16}, {63, 16}, {64, 12}, {65, 24}, {66, 12}, {67, 16}, {68, 30},
      {69, 30}, {70, 1},  {71, 0},   {72, 1},  {73, 0},  {74, 28}, {75, 28}, {76, 16}, {77, 16}, {78, 16},
      {79, 16}, {80, 16}, {81, 16},  {82, 16}, {83, 16}, {84, 1},  {94, 1},  {95, 30}, {96, 0},  {97, 30},
      {98, 0},
  };
  for (const Default& d : kDefaults) m_nFields[d.k] = d.value;
  m_dFields[kStageGravity] = 0.4;

  m_Backgrounds.assign(1, cStageBackground());
  m_Backgrounds[0].m_nSource = 1;
  m_RankingSwitches.assign(5, 1);
  for (int i = 0; i < 5; ++i) std::fill(std::begin(m_Params[i].m_nValues), std::end(m_Params[i].m_nValues), 0);
  for (int i = 0; i < 4; ++i) {
    m_Params[3].m_nValues[i] = 1;
    m_Params[4].m_nValues[i] = 1;
    m_Params[4].m_nValues[4 + i] = 10;
  }
}

void cStageData::ApplySpeedLevel(int32_t level) {
  m_nFields[kStageSpeedLevel] = level;
  const bool tens = level >= 11 && level <= 19;
  int64_t L = tens ? level - 10 : level;
  // A level of 0 or below would divide by zero below (NaN and infinite
  // speeds); such a stage moves as at level 1.
  if (L <= 0) L = 1;
  m_nFields[kStageSubSteps] = Saturate(L);
  m_nSpeedStep = Saturate(6 * L);
  const double l = static_cast<double>(L);
  m_dFields[kStageFrameScale] = l;
  m_dFields[kStageSpeedScale] = l * l;
  m_dFields[kStageThirdScale] = tens ? 60.0 : 6.0 * l;
  m_dFields[kStageMaxSpeed] = m_dFields[kStageThirdScale] / l;
  m_nFields[kStageLandingConstant] = Saturate(8 * L);
  m_dFields[kStageGravityPerStep] = m_dFields[kStageGravity] / (l * l);
}

void cStageData::Normalize() { Normalize(false); }

void cStageData::Normalize(bool afterRead) {
  cSharedCheckScope shared;
  int32_t* f = m_nFields;
  ClampAbove(f[kStageScrollLeft], static_cast<int64_t>(f[kStageWidth]) - 20);
  ClampAbove(f[kStageScrollRight], static_cast<int64_t>(f[kStageWidth]) - 1);
  ClampAbove(f[kStageScrollTop], static_cast<int64_t>(f[kStageHeight]) - 15);
  ClampAbove(f[kStageScrollBottom], static_cast<int64_t>(f[kStageHeight]) - 1);
  ApplySpeedLevel(f[kStageSpeedLevel]);
  // A negative track would index before the list as surely as one past it.
  if (f[kStageMusic] < 0 || static_cast<size_t>(f[kStageMusic]) >= Database.m_Bgms.size()) f[kStageMusic] = 0;

  PadToTwo(m_PaletteBlocks);
  PadToTwo(m_PaletteCharacters);
  PadToTwo(m_PaletteItems);

  // References of kind 2 are to this stage's palette, complete by now.
  cPaletteScope scope(kPaletteStage, {&m_PaletteBlocks, &m_PaletteCharacters, &m_PaletteItems});
  ValidateDefinitions(m_PaletteBlocks, m_PaletteCharacters, m_PaletteItems, afterRead);
  ValidateDefinitions(m_PlacedBlocks, m_PlacedCharacters, m_PlacedItems, afterRead);
}

std::unique_ptr<cRecord> cStageData::CloneForReading() const {
  auto copy = std::make_unique<cStageData>();
  copy->CopyFrom(const_cast<cStageData&>(*this));
  copy->m_strLoadedPath = m_strLoadedPath;
  copy->m_nStartArgument = m_nStartArgument;
  copy->m_bLoaded = m_bLoaded;
  copy->m_nSpeedStep = m_nSpeedStep;
  // Sets of files older than 125 keep values 2..4.
  for (int i = 0; i < 5; ++i) copy->m_Params[i] = m_Params[i];
  return copy;
}

bool cStageData::Read(cDataReader& in) {
  // Lists that types share (inherited flows and commands) are checked once.
  cSharedCheckScope shared;
  if (!cRecord::Read(in)) return false;
  if (!ReadValueList(in, m_RankingSwitches)) return false;
  for (cStageParam& p : m_Params)
    if (!p.Read(in)) return false;
  {
    // Types resolve their bases against this stage's lists as they are read.
    cPaletteScope scope(kPaletteStage, {&m_PaletteBlocks, &m_PaletteCharacters, &m_PaletteItems});
    if (!ReadPaletteList(in, m_PaletteBlocks) || !ReadPaletteList(in, m_PaletteCharacters) ||
        !ReadPaletteList(in, m_PaletteItems))
      return false;
    // Entry 0 stands for none: always the plain new type.
    if (!m_PaletteBlocks.empty()) ResetToNewType(m_PaletteBlocks.At(0));
    if (!m_PaletteCharacters.empty()) ResetToNewType(m_PaletteCharacters.At(0));
    if (!m_PaletteItems.empty()) ResetToNewType(m_PaletteItems.At(0));
    if (!ReadPlacedList(in, m_PlacedBlocks) || !ReadPlacedList(in, m_PlacedCharacters) ||
        !ReadPlacedList(in, m_PlacedItems))
      return false;
  }
  if (!ReadRecordList(in, m_Backgrounds) || !ReadRecordList(in, m_Texts)) return false;
  if (nFileVersion >= 173) {
    uint32_t trailer;
    if (!in.ReadU32(trailer)) return false;
  }

  const int32_t v = nFileVersion;
  if (v < kDataVersion) {
    for (const StageUpgrade& row : kStageUpgrades) {
      if (v >= row.before) continue;
      m_nFields[row.field] = row.copyOf != 0 ? m_nFields[row.copyOf] : row.value;
    }
    // The HP and SP ranking genres came in at 181, off in older stages.
    if (v < 181) {
      m_RankingSwitches.resize(5, 0);
      m_RankingSwitches[3] = 0;
      m_RankingSwitches[4] = 0;
    }
    if (v < 754) m_Texts.resize(1000);
  }
  Normalize(true);
  return true;
}

void cStageData::Write(cDataWriter& out) {
  cSharedCheckScope shared;
  Normalize();
  cPaletteScope scope(kPaletteStage, {&m_PaletteBlocks, &m_PaletteCharacters, &m_PaletteItems});
  cRecord::Write(out);
  WriteValueList(out, m_RankingSwitches);
  for (cStageParam& p : m_Params) p.Write(out);
  WriteRecordList(out, m_PaletteBlocks);
  WriteRecordList(out, m_PaletteCharacters);
  WriteRecordList(out, m_PaletteItems);
  WritePlacedList(out, m_PlacedBlocks);
  WritePlacedList(out, m_PlacedCharacters);
  WritePlacedList(out, m_PlacedItems);
  WriteRecordList(out, m_Backgrounds);
  WriteRecordList(out, m_Texts);
  out.WriteU32(kStageTrailer);
}

void cStageData::WriteForReplay(cDataWriter& out, cStageData& settings) {
  cSharedCheckScope shared;
  Normalize();
  cPaletteScope scope(kPaletteStage, {&m_PaletteBlocks, &m_PaletteCharacters, &m_PaletteItems});
  settings.cRecord::Write(out);
  WriteValueList(out, settings.m_RankingSwitches);
  for (cStageParam& p : settings.m_Params) p.Write(out);
  WriteRecordList(out, m_PaletteBlocks);
  WriteRecordList(out, m_PaletteCharacters);
  WriteRecordList(out, m_PaletteItems);
  WritePlacedList(out, m_PlacedBlocks);
  WritePlacedList(out, m_PlacedCharacters);
  WritePlacedList(out, m_PlacedItems);
  WriteRecordList(out, settings.m_Backgrounds);
  WriteRecordList(out, settings.m_Texts);
  out.WriteU32(kStageTrailer);
}

void cStageData::CopySettingsFrom(cStageData& stage) {
  if (&stage == this) return;
  CopyFrom(stage);
  m_Backgrounds = stage.m_Backgrounds;
  m_Texts = stage.m_Texts;
  for (int i = 0; i < 5; ++i) m_Params[i] = stage.m_Params[i];
  m_RankingSwitches = stage.m_RankingSwitches;
  m_PaletteBlocks.clear();
  m_PaletteCharacters.clear();
  m_PaletteItems.clear();
  m_PlacedBlocks.clear();
  m_PlacedCharacters.clear();
  m_PlacedItems.clear();
}

int32_t cStageData::FindHeroIndex() const {
  for (size_t i = 0; i < m_PlacedCharacters.size(); ++i) {
    const cEdCharacter& c = m_PlacedCharacters[i];
    if (c.m_nGraphic != 0 && c.m_nControl == 0) return static_cast<int32_t>(i);
  }
  return -1;
}

void cStageData::DumpLists(cJsonWriter& json) {
  json.Key("rankingSwitches");
  json.BeginArray();
  for (uint32_t word : m_RankingSwitches) json.UInt(word);
  json.EndArray();
  json.Key("params");
  json.BeginArray();
  for (cStageParam& p : m_Params) p.DumpJson(json);
  json.EndArray();
  DumpRecordList(json, "paletteBlocks", m_PaletteBlocks);
  DumpRecordList(json, "paletteCharacters", m_PaletteCharacters);
  DumpRecordList(json, "paletteItems", m_PaletteItems);
  DumpRecordList(json, "placedBlocks", m_PlacedBlocks);
  DumpRecordList(json, "placedCharacters", m_PlacedCharacters);
  DumpRecordList(json, "placedItems", m_PlacedItems);
  DumpRecordList(json, "backgrounds", m_Backgrounds);
  DumpRecordList(json, "texts", m_Texts);
}

// ---- the trailer check ----

namespace {

// The version word (as the opener takes it) and the last word of a file of
// `size` bytes; nothing is read between them.
bool TrailerIntact(uint32_t version, uint32_t last, size_t size) {
  nFileVersion = static_cast<int32_t>(version);
  bFileTooNew = version > static_cast<uint32_t>(nDataVersion) ? 1 : 0;
  // A file too new cannot be opened: the load reports it.
  if (bFileTooNew || static_cast<int32_t>(version) < 174) return true;
  // Too short to hold a trailer after the version word: broken as well.
  return size >= 8 && last == kStageTrailer;
}

}  // namespace

bool StageTrailerIntact(const std::string& bytes) {
  if (bytes.size() < 4) return true;
  uint32_t version = 0, last = 0;
  std::memcpy(&version, bytes.data(), 4);
  std::memcpy(&last, bytes.data() + bytes.size() - 4, 4);
  return TrailerIntact(version, last, bytes.size());
}

bool StageFileTrailerIntact(const std::string& path) {
  // Only the first and the last word are read: a stage file may be large.
  FILE* f = plat::OpenFile(path.empty() ? std::string("err") : path, "rb");
  if (!f) return true;  // the load reports it
  uint32_t version = 0, last = 0;
  long size = -1;
  bool opened = std::fread(&version, 4, 1, f) == 1;
  if (opened && std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
  if (opened && size >= 8 && (std::fseek(f, -4, SEEK_END) != 0 || std::fread(&last, 4, 1, f) != 1)) size = 0;
  std::fclose(f);
  if (!opened) return true;  // no version word: the load reports it
  return TrailerIntact(version, last, size < 0 ? 0 : static_cast<size_t>(size));
}

void ReportStageFailure(const std::string& text) {
  WriteReportLog("%s", text.c_str());
  ShowLoggedErrorText(text.c_str());
}

int CheckStageFileTrailer(const std::string& path) {
  if (StageFileTrailerIntact(path)) return 1;
  std::string text;
  FormatString(text, plat::Sjis("ステージファイル %s が破損しています！").c_str(), path.c_str());
  ReportStageFailure(text);
  RequestQuit();
  return 0;
}

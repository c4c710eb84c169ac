#include "data/world_map.h"

#include <algorithm>

#include "base/errors.h"
#include "base/logs.h"
#include "base/text_path.h"
#include "platform/text.h"

cWorldMap WorldMapData;

// ---- chip types ----

void cWorldMapChipType::DefineFields(int32_t) {
  ClearDeclarations();
  Declare(m_nWord, "word");
  Declare(m_bImpassable, "impassable");
  Declare(m_nPicture, "picture");
  DeclareString(m_strName, "name");
  DeclareString(m_strText, "text");
}

// ---- worlds ----

cWorld::cWorld() {
  Clear();
  m_nWord[12] = 1;
}

void cWorld::DefineFields(int32_t version) {
  ClearDeclarations();
  static const char* const names[kWordCount] = {"kind",     "word1",  "number", "word3",   "word4",
                                                "word5",    "flag",   "variable", "value", "comparison",
                                                "word10",   "word11", "word12", "word13"};
  int count = 10;
  if (version >= 209) count = 11;
  if (version >= 758) count = 14;
  for (int i = 0; i < count; ++i) Declare(m_nWord[i], names[i]);
  DeclareString(m_strName, "name");
  DeclareString(m_strStageFile, "stageFile");
}

bool cWorld::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  if (nFileVersion < 209) m_nWord[10] = 0;
  return true;
}

// ---- nodes ----

cWorldGroup::cWorldGroup() {
  Clear();
  m_Worlds.emplace_back();
}

void cWorldGroup::DefineFields(int32_t) {
  ClearDeclarations();
  Declare(m_nX, "x");
  Declare(m_nY, "y");
  DeclareString(m_strName, "name");
}

bool cWorldGroup::Read(cDataReader& in) {
  return cRecord::Read(in) && ReadRecordList(in, m_Worlds, [] { return cWorld(); });
}

void cWorldGroup::Write(cDataWriter& out) {
  cRecord::Write(out);
  WriteRecordList(out, m_Worlds);
}

void cWorldGroup::DumpLists(cJsonWriter& json) { DumpRecordList(json, "worlds", m_Worlds); }

// ---- the map ----

cWorldMap::cWorldMap() { SetDefaults(); }

void cWorldMap::DefineFields(int32_t) {
  ClearDeclarations();
  static const char* const names[8] = {"width",  "height", "pitch",            "pitchShift",
                                       "startX", "startY", "backgroundColour", "backgroundPicture"};
  for (int i = 0; i < 8; ++i) Declare(m_nNum[i], names[i]);
  DeclareString(m_strName, "name");
  DeclareString(m_strText, "backgroundPictureName");
}

void cWorldMap::SetDefaults() {
  Clear();
  m_strName = plat::Sjis("ワールド");
  StartX() = 9;
  StartY() = 7;
  BackgroundColour() = 16;
  BackgroundPicture() = 0;
  m_Grid.clear();
  Width() = Height() = Pitch() = PitchShift() = 0;
  SetSize(20, 15);
  m_ChipTypes.assign(kChipTypeCount, cWorldMapChipType());
  for (int i = 0; i < kChipTypeCount; ++i) m_ChipTypes[i].m_nPicture = i;
  m_Groups.assign(1, cWorldGroup());
  m_Groups[0].m_strName = plat::Sjis("デフォルト");
  m_Groups2.clear();
}

std::unique_ptr<cRecord> cWorldMap::CloneForReading() const {
  auto copy = std::make_unique<cWorldMap>();
  copy->CopyFrom(const_cast<cWorldMap&>(*this));
  return copy;
}

namespace {

// The shift whose power of two is the smallest not below `width` (>= 1).
int32_t PitchShiftFor(int32_t width) {
  int32_t shift = 0;
  for (uint32_t rest = static_cast<uint32_t>(width) - 1; rest != 0; rest >>= 1) ++shift;
  return shift;
}

}  // namespace

int cWorldMap::SetSize(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) {
    ShowDebugError("%s", plat::Sjis("SetSize()で 0 を指定しました！").c_str());
    return 0;
  }
  const int32_t shift = PitchShiftFor(width);
  const int64_t pitch = int64_t{1} << shift;
  if (pitch * height > kMaxGridCells) {
    WriteECLog("a world map of %d x %d cells is too large", width, height);
    return 0;
  }
  if (!m_Grid.empty())
    WriteECLog("nBeforeWidth = %d,nBeforePitch = %d,nBeforePitch_Shift = %d", Width(), Pitch(), PitchShift());
  std::vector<uint32_t> grid(static_cast<size_t>(pitch * height), 0);
  const int32_t oldShift = PitchShift();
  const bool oldUsable = oldShift >= 0 && oldShift <= 30;
  for (int32_t y = 0; oldUsable && y < std::min(height, Height()); ++y)
    for (int32_t x = 0; x < std::min(width, Width()); ++x) {
      const size_t from = (static_cast<size_t>(y) << oldShift) + static_cast<size_t>(x);
      if (from < m_Grid.size()) grid[(static_cast<size_t>(y) << shift) + static_cast<size_t>(x)] = m_Grid[from];
    }
  Width() = width;
  Height() = height;
  PitchShift() = shift;
  Pitch() = static_cast<int32_t>(pitch);
  m_Grid.swap(grid);
  return 1;
}

bool cWorldMap::RepairGrid() {
  const int32_t width = Width(), height = Height();
  if (width <= 0 || height <= 0) return false;
  const int32_t shift = PitchShiftFor(width);
  if ((int64_t{1} << shift) * height > kMaxGridCells) return false;
  const bool agrees = PitchShift() == shift && Pitch() == (1 << shift) &&
                      m_Grid.size() == static_cast<size_t>(height) << shift;
  if (agrees) return true;
  // A grid much larger than the cells the file holds would be built from
  // sizes alone: such a file is not a damaged map but no map.
  if ((int64_t{1} << shift) * height > 2 * static_cast<int64_t>(m_Grid.size()) + 4096) return false;
  // Cells are taken where the file's own pitch puts them, when it has one
  // that can hold a row; otherwise the grid starts empty.
  const bool filePitchUsable = PitchShift() >= 0 && PitchShift() <= 30 && (int64_t{1} << PitchShift()) >= width;
  if (!filePitchUsable) m_Grid.clear();
  WriteECLog("world map grid of %d cells does not fit %d x %d (pitch %d): rebuilt", static_cast<int>(m_Grid.size()),
             width, height, Pitch());
  Width() = Height() = 0;
  const int32_t fileShift = filePitchUsable ? PitchShift() : 0;
  // SetSize copies the cells inside both sizes through the old shift.
  std::vector<uint32_t> old;
  old.swap(m_Grid);
  PitchShift() = 0;
  SetSize(width, height);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const size_t from = (static_cast<size_t>(y) << fileShift) + static_cast<size_t>(x);
      if (from < old.size()) m_Grid[(static_cast<size_t>(y) << shift) + static_cast<size_t>(x)] = old[from];
    }
  return true;
}

void cWorldMap::MigrateChipTypes() {
  m_ChipTypes.resize(kChipTypeCount);
  for (int i = 0; i < kChipTypeCount; ++i) {
    cWorldMapChipType& chip = m_ChipTypes[i];
    chip.m_nPicture = i;
    chip.m_bImpassable = i < 5 ? 1 : 0;
    chip.m_strName = plat::Sjis(i < 5 ? "移動不可" : "移動可");
    chip.m_strText.clear();
  }
}

bool cWorldMap::Read(cDataReader& in) {
  if (!cRecord::Read(in)) return false;
  if (!ReadRecordList(in, m_ChipTypes) || !ReadValueList(in, m_Grid)) return false;
  if (!ReadRecordList(in, m_Groups, [] { return cWorldGroup(kForReading); }) ||
      !ReadRecordList(in, m_Groups2, [] { return cWorldGroup(kForReading); }))
    return false;
  if (nFileVersion < 812) MigrateChipTypes();
  if (!RepairGrid()) {
    WriteECLog("world map of %d x %d cells cannot be laid out", Width(), Height());
    return in.Fail();
  }
  ValidateWorldMap();
  return true;
}

void cWorldMap::Write(cDataWriter& out) {
  ValidateWorldMap();
  cRecord::Write(out);
  WriteRecordList(out, m_ChipTypes);
  WriteValueList(out, m_Grid);
  WriteRecordList(out, m_Groups);
  WriteRecordList(out, m_Groups2);
}

void cWorldMap::ValidateWorldMap() {
  // Kept inside the map whichever side it lies off (a map of no cells has
  // its start at 0).
  StartX() = std::clamp(StartX(), 0, std::max(Width() - 1, 0));
  StartY() = std::clamp(StartY(), 0, std::max(Height() - 1, 0));
  const uint32_t chips = static_cast<uint32_t>(m_ChipTypes.size());
  for (int32_t y = 0; y < Height(); ++y)
    for (int32_t x = 0; x < Width(); ++x)
      if (CellAt(x, y) >= chips) SetCell(x, y, 0);
  std::erase_if(m_Groups, [&](const cWorldGroup& g) {
    return g.m_nX < 0 || g.m_nY < 0 || g.m_nX >= Width() || g.m_nY >= Height();
  });
}

cWorldGroup* cWorldMap::FindNodeAt(int32_t x, int32_t y) {
  for (cWorldGroup& g : m_Groups)
    if (g.m_nX == x && g.m_nY == y) return &g;
  return nullptr;
}

size_t cWorldMap::CellIndex(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= Width() || y >= Height() || PitchShift() < 0 || PitchShift() > 30) return SIZE_MAX;
  const size_t at = (static_cast<size_t>(y) << PitchShift()) + static_cast<size_t>(x);
  return at < m_Grid.size() ? at : SIZE_MAX;
}

uint32_t cWorldMap::CellAt(int32_t x, int32_t y) const {
  const size_t at = CellIndex(x, y);
  return at == SIZE_MAX ? 0 : m_Grid[at];
}

void cWorldMap::SetCell(int32_t x, int32_t y, uint32_t chip) {
  const size_t at = CellIndex(x, y);
  if (at != SIZE_MAX) m_Grid[at] = chip;
}

std::string WorldStageBaseName(const std::string& stageFile) {
  std::string title(stageFile.c_str());  // up to its first zero byte
  // The file name: after the last separator that is not a double-byte
  // character's second byte.
  size_t start = 0;
  for (size_t i = 0; i < title.size();) {
    if (IsDoubleByteChar(title.c_str() + i)) {
      i += 2;
      continue;
    }
    if (title[i] == '\\' || title[i] == '/') start = i + 1;
    ++i;
  }
  title.erase(0, start);
  const size_t dot = title.rfind('.');
  if (dot != std::string::npos) title.erase(dot);
  const size_t dash = title.rfind("-1");
  if (dash != std::string::npos) return title.substr(0, dash) + ".";
  return title + ".";
}

int cWorldMap::HasWorldForStage(const std::string& name, int32_t mode, int32_t a, int32_t b) const {
  const std::string wanted(name.c_str());
  for (const cWorldGroup& g : m_Groups)
    for (const cWorld& w : g.m_Worlds) {
      if (w.Kind() != kWorldKindStage || WorldStageBaseName(w.m_strStageFile) != wanted) continue;
      if (mode == 0 ? w.m_nWord[11] == 0 : (w.m_nWord[11] != 0 && w.m_nWord[12] == a && w.m_nWord[13] == b))
        return 1;
    }
  return 0;
}

void cWorldMap::DumpLists(cJsonWriter& json) {
  DumpRecordList(json, "chipTypes", m_ChipTypes);
  json.Key("grid");
  json.BeginArray();
  for (uint32_t chip : m_Grid) json.UInt(chip);
  json.EndArray();
  DumpRecordList(json, "nodes", m_Groups);
  DumpRecordList(json, "nodes2", m_Groups2);
}

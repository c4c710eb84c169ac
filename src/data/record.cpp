#include "data/record.h"

#include <algorithm>
#include <mutex>
#include <typeindex>
#include <unordered_map>
#include <cstdio>

#include "base/logs.h"
#include "platform/files.h"
#include "platform/text.h"

int32_t nDataVersion = kDataVersion;
constinit thread_local int32_t nFileVersion = kDataVersion;
constinit thread_local int32_t bFileTooNew = 0;
int32_t bStripCarriageReturns = 0;

namespace {

// Largest data file read whole into memory (a stage of the largest size
// with every list full stays far below this).
constexpr size_t kMaxDataFileBytes = 256u << 20;

// A file with more items than the layout declares: the reader stops there.
void ReportSurplusItem(char kind, int index, int declared, int elementSize) {
  WriteReportAndECLog(kind == 'V' ? "err V[%d] ( %d , %d )" : "err L[%d] ( %d , %d )", index, declared, elementSize);
}

}  // namespace

// ---- cDataReader / cDataWriter ----

bool cDataReader::Read(void* out, size_t size) {
  if (failed_ || size > left_) return Fail();
  if (size) std::memcpy(out, p_, size);
  p_ += size;
  left_ -= size;
  offset_ += size;
  return true;
}

bool cDataReader::Skip(size_t size) {
  if (failed_ || size > left_) return Fail();
  p_ += size;
  left_ -= size;
  offset_ += size;
  return true;
}

bool cDataReader::ReadString(std::string& text) {
  uint32_t n = 0;
  if (!ReadU32(n)) return false;
  if (n == 1) {
    text.clear();
    return true;
  }
  // A length word of 0 has no room for the terminator; one beyond the file
  // cannot be true.
  if (n == 0 || n > left_) return Fail();
  const char* s = reinterpret_cast<const char*>(p_);
  text.assign(s, strnlen(s, n));
  return Skip(n);
}

bool cDataReader::ReadCount(uint32_t& count, size_t minElementBytes) {
  if (!ReadU32(count)) return false;
  if (minElementBytes && count > left_ / minElementBytes) return Fail();
  return true;
}

void cDataWriter::WriteString(const std::string& text) {
  size_t length = strnlen(text.c_str(), text.size());
  WriteU32(static_cast<uint32_t>(length + 1));
  if (length) Write(text.data(), length + 1);  // the text and its zero
}

// ---- cRecord ----

bool cRecord::Read(cDataReader& in) {
  DeclareFor(nFileVersion);
  uint32_t fieldCount = 0;
  if (!in.ReadU32(fieldCount)) return false;
  const size_t declaredFields = FieldCount();
  for (uint32_t i = 0; i < fieldCount; ++i) {
    if (i >= declaredFields) {
      ReportSurplusItem('V', static_cast<int>(i), static_cast<int>(declaredFields), 16);
      return in.Fail();
    }
    const cRecordField f = FieldAt(i);
    if (!in.Read(f.address, static_cast<size_t>(f.count) * static_cast<size_t>(f.width))) return false;
  }
  uint32_t stringCount = 0;
  if (!in.ReadU32(stringCount)) return false;
  const size_t declaredStrings = StringCount();
  for (uint32_t i = 0; i < stringCount; ++i) {
    if (i >= declaredStrings) {
      ReportSurplusItem('V', static_cast<int>(i), static_cast<int>(declaredStrings), 8);
      return in.Fail();
    }
    if (!in.ReadString(*StringAt(i))) return false;
  }
  if (bStripCarriageReturns) RemoveCarriageReturns();
  if (nDataVersion != nFileVersion) DeclareFor(nDataVersion);
  return true;
}

void cRecord::Write(cDataWriter& out) {
  DeclareFor(nDataVersion);
  const size_t fields = FieldCount();
  out.WriteU32(static_cast<uint32_t>(fields));
  for (size_t i = 0; i < fields; ++i) {
    const cRecordField f = FieldAt(i);
    out.Write(f.address, static_cast<size_t>(f.count) * f.width);
  }
  const size_t strings = StringCount();
  out.WriteU32(static_cast<uint32_t>(strings));
  for (size_t i = 0; i < strings; ++i) {
    std::string* s = StringAt(i);
    // The member itself is cut at its first zero byte, as it is stored.
    s->resize(strnlen(s->c_str(), s->size()));
    out.WriteString(*s);
  }
}

void cRecord::Clear() {
  DeclareFor(nDataVersion);
  for (size_t i = 0, n = FieldCount(); i < n; ++i) {
    const cRecordField f = FieldAt(i);
    std::memset(f.address, 0, static_cast<size_t>(f.count) * f.width);
  }
  for (size_t i = 0, n = StringCount(); i < n; ++i) StringAt(i)->clear();
}

void cRecord::CopyFrom(cRecord& other) {
  if (&other == this) return;
  DeclareFor(nDataVersion);
  other.DeclareFor(nDataVersion);
  size_t fields = std::min(FieldCount(), other.FieldCount());
  for (size_t i = 0; i < fields; ++i) {
    const cRecordField mine = FieldAt(i);
    std::memcpy(mine.address, other.FieldAt(i).address, static_cast<size_t>(mine.count) * mine.width);
  }
  size_t strings = std::min(StringCount(), other.StringCount());
  for (size_t i = 0; i < strings; ++i) *StringAt(i) = *other.StringAt(i);
}

void cRecord::RemoveCarriageReturns() {
  if (m_declaredVersion == kNoDeclarations) DeclareFor(nDataVersion);
  for (size_t i = 0, n = StringCount(); i < n; ++i) {
    std::string* s = StringAt(i);
    s->resize(strnlen(s->c_str(), s->size()));
    s->erase(std::remove(s->begin(), s->end(), '\r'), s->end());
  }
}

namespace {

// Shared layouts by class and version; never freed (records of any thread
// may hold one until exit).
struct LayoutKey {
  std::type_index type;
  int32_t version;
  bool operator==(const LayoutKey& o) const { return type == o.type && version == o.version; }
};
struct LayoutKeyHash {
  size_t operator()(const LayoutKey& k) const { return k.type.hash_code() * 31u + static_cast<uint32_t>(k.version); }
};
std::mutex g_layoutMutex;
std::unordered_map<LayoutKey, const void*, LayoutKeyHash>& Layouts() {
  static auto* layouts = new std::unordered_map<LayoutKey, const void*, LayoutKeyHash>();
  return *layouts;
}
// A class whose declarations reach outside its object has no shared layout.
const void* const kNotShareable = &g_layoutMutex;

}  // namespace

void cRecord::DeclareFor(int32_t version) {
  if (m_declaredVersion == version) return;
  const LayoutKey key{std::type_index(typeid(*this)), version};
  // Records come in runs of one class (a list's elements): the last layout
  // this thread found answers most look-ups without the lock.
  thread_local LayoutKey lastKey{std::type_index(typeid(void)), 0};
  thread_local const void* lastLayout = nullptr;
  const void* found = nullptr;
  if (lastLayout && lastKey == key) {
    found = lastLayout;
  } else {
    std::lock_guard<std::mutex> lock(g_layoutMutex);
    auto it = Layouts().find(key);
    if (it != Layouts().end()) {
      found = it->second;
      lastKey = key;
      lastLayout = found;
    }
  }
  if (found && found != kNotShareable) {
    m_fields.clear();
    m_strings.clear();
    m_stringNames.clear();
    m_layout = static_cast<const cRecordLayout*>(found);
    m_declaredVersion = version;
    return;
  }
  DefineFields(version);  // the object's own declarations
  m_declaredVersion = version;
  if (found == kNotShareable) return;
  // First object of its class at this version: make the shared layout.
  const char* begin = reinterpret_cast<const char*>(this);
  const size_t size = RecordSize();
  auto inside = [&](const void* p, size_t bytes) {
    const char* c = static_cast<const char*>(p);
    return c >= begin && c + bytes <= begin + size;
  };
  auto* layout = new cRecordLayout();
  bool shareable = true;
  for (const cRecordField& f : m_fields) {
    if (!inside(f.address, static_cast<size_t>(f.count) * f.width)) shareable = false;
    layout->fields.push_back({static_cast<size_t>(static_cast<const char*>(f.address) - begin), f.count, f.width,
                              f.kind, f.name});
  }
  for (size_t i = 0; i < m_strings.size(); ++i) {
    if (!inside(m_strings[i], sizeof(std::string))) shareable = false;
    layout->strings.push_back(static_cast<size_t>(reinterpret_cast<const char*>(m_strings[i]) - begin));
    layout->stringNames.push_back(m_stringNames[i]);
  }
  std::lock_guard<std::mutex> lock(g_layoutMutex);
  if (!shareable) {
    delete layout;
    Layouts().emplace(key, kNotShareable);
    return;
  }
  // Another thread may have made it meanwhile: keep the first.
  auto [it, added] = Layouts().emplace(key, layout);
  if (!added) delete layout;
  m_layout = static_cast<const cRecordLayout*>(it->second);
  m_fields.clear();
  m_strings.clear();
  m_stringNames.clear();
}

bool cRecord::ReadStringList(cDataReader& in, std::vector<std::string>& list) {
  uint32_t count = 0;
  if (!in.ReadCount(count, 4)) return false;
  list.assign(count, std::string());
  for (std::string& s : list)
    if (!in.ReadString(s)) return false;
  return true;
}

void cRecord::WriteStringList(cDataWriter& out, const std::vector<std::string>& list) {
  out.WriteU32(static_cast<uint32_t>(list.size()));
  for (const std::string& s : list) out.WriteString(s);
}

// ---- files ----

bool OpenDataFileForRead(const std::string& path, std::string& bytes) {
  // An empty path names the file "err", as it always has.
  FILE* f = plat::OpenFile(path.empty() ? std::string("err") : path, "rb");
  if (!f) return false;
  bytes.clear();
  char buffer[65536];
  size_t n;
  bool ok = true;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    if (bytes.size() + n > kMaxDataFileBytes) {
      ok = false;
      break;
    }
    bytes.append(buffer, n);
  }
  if (std::ferror(f)) ok = false;
  std::fclose(f);
  if (!ok || bytes.size() < 4) return false;
  uint32_t version;
  std::memcpy(&version, bytes.data(), 4);
  nFileVersion = static_cast<int32_t>(version);
  // Unsigned: a first word of FFFFFFFF is a file from the future too.
  bFileTooNew = version > static_cast<uint32_t>(nDataVersion) ? 1 : 0;
  return !bFileTooNew;
}

bool cRecord::LoadFromBytes(const std::string& bytes) {
  if (bytes.size() < 4) return false;
  uint32_t version;
  std::memcpy(&version, bytes.data(), 4);
  nFileVersion = static_cast<int32_t>(version);
  bFileTooNew = version > static_cast<uint32_t>(nDataVersion) ? 1 : 0;
  if (bFileTooNew) return false;
  cDataReader in(reinterpret_cast<const uint8_t*>(bytes.data()) + 4, bytes.size() - 4);
  std::unique_ptr<cRecord> scratch = CloneRecord();
  bool ok = scratch->Read(in) && !in.Failed();
  // The current layout again, whatever the file's was.
  scratch->DeclareFor(nDataVersion);
  if (!ok) return false;
  TakeContents(*scratch);
  return true;
}

int cRecord::LoadFromFile(const std::string& path) {
  std::string bytes;
  if (!OpenDataFileForRead(path, bytes)) return 0;
  return LoadFromBytes(bytes) ? 1 : 0;
}

std::string cRecord::SaveToBytes() {
  cDataWriter out;
  out.WriteU32(static_cast<uint32_t>(nDataVersion));
  Write(out);
  return out.Bytes();
}

int cRecord::SaveToFile(const std::string& path) {
  std::string bytes = SaveToBytes();
  return plat::WriteFileAtomically(path.empty() ? std::string("err") : path, bytes.data(), bytes.size()) ? 1 : 0;
}

// ---- cCmd ----

cCmd::cCmd() {
  Clear();
  m_bEnabled = 1;
}

void cCmd::DefineFields(int32_t version) {
  ClearDeclarations();
  Declare(m_bEnabled);
  DeclareString(m_strLabel);
}

// ---- dumps ----

void cJsonWriter::Separate() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) text_ += ",";
    first_.back() = false;
  }
}
void cJsonWriter::BeginObject() {
  Separate();
  text_ += "{";
  first_.push_back(true);
}
void cJsonWriter::EndObject() {
  text_ += "}";
  first_.pop_back();
}
void cJsonWriter::BeginArray() {
  Separate();
  text_ += "[";
  first_.push_back(true);
}
void cJsonWriter::EndArray() {
  text_ += "]";
  first_.pop_back();
}
void cJsonWriter::Key(const char* name) {
  String(name);
  text_ += ":";
  afterKey_ = true;
}
void cJsonWriter::Int(int64_t v) {
  Separate();
  text_ += std::to_string(v);
}
void cJsonWriter::UInt(uint64_t v) {
  Separate();
  text_ += std::to_string(v);
}
void cJsonWriter::Double(double v) {
  Separate();
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  text_ += buf;
}
void cJsonWriter::String(const std::string& cp932) {
  Separate();
  std::string utf8 = plat::Cp932ToUtf8(cp932);
  text_ += '"';
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      text_ += '\\';
      text_ += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      text_ += buf;
    } else {
      text_ += static_cast<char>(c);
    }
  }
  text_ += '"';
}

namespace {
template <class T>
T LoadAt(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
void DumpNumber(cJsonWriter& json, const uint8_t* p, int8_t width, char kind) {
  if (kind == 'f') return json.Double(LoadAt<double>(p));
  if (kind == 'i') {
    switch (width) {
      case 1: return json.Int(LoadAt<int8_t>(p));
      case 2: return json.Int(LoadAt<int16_t>(p));
      case 4: return json.Int(LoadAt<int32_t>(p));
      default: return json.Int(LoadAt<int64_t>(p));
    }
  }
  switch (width) {
    case 1: return json.UInt(LoadAt<uint8_t>(p));
    case 2: return json.UInt(LoadAt<uint16_t>(p));
    case 4: return json.UInt(LoadAt<uint32_t>(p));
    default: return json.UInt(LoadAt<uint64_t>(p));
  }
}
}  // namespace

void cRecord::DumpJson(cJsonWriter& json) {
  DeclareFor(nDataVersion);
  json.BeginObject();
  json.Key("fields");
  json.BeginArray();
  for (size_t i = 0; i < FieldCount(); ++i) {
    const cRecordField f = FieldAt(i);
    json.BeginObject();
    json.Key("name");
    json.String(f.name ? f.name : ("#" + std::to_string(i)));
    json.Key("value");
    const uint8_t* p = static_cast<const uint8_t*>(f.address);
    if (f.count == 1) {
      DumpNumber(json, p, f.width, f.kind);
    } else {
      json.BeginArray();
      for (uint32_t k = 0; k < f.count; ++k) DumpNumber(json, p + static_cast<size_t>(k) * f.width, f.width, f.kind);
      json.EndArray();
    }
    json.EndObject();
  }
  json.EndArray();
  json.Key("strings");
  json.BeginArray();
  for (size_t i = 0; i < StringCount(); ++i) {
    json.BeginObject();
    json.Key("name");
    json.String(StringNameAt(i) ? StringNameAt(i) : ("#" + std::to_string(i)));
    json.Key("value");
    json.String(*StringAt(i));
    json.EndObject();
  }
  json.EndArray();
  DumpLists(json);
  json.EndObject();
}

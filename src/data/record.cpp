#include "data/record.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <mutex>
#include <new>
#include <typeindex>
#include <unordered_map>
#include <cstdio>

#include "base/errors.h"
#include "base/logs.h"
#include "platform/files.h"
#include "platform/text.h"

int32_t nDataVersion = kDataVersion;
constinit thread_local int32_t nFileVersion = kDataVersion;
constinit thread_local int32_t bFileTooNew = 0;
int32_t bStripCarriageReturns = 0;
constinit thread_local LoadFailure nLastLoadFailure = LoadFailure::kNone;

// A class's declarations for one version.
struct cRecord::cRecordLayout {
  struct Field {
    intptr_t at;  // offset into the object (shared), or the member's address (own)
    uint32_t count;
    int8_t width;
    char kind;
    const char* name;
  };
  struct Text {
    intptr_t at;
    const char* name;
  };
  // Fields that follow one another in the file and lie next to each other in
  // the object: read and cleared as one block (shared layouts).
  struct Run {
    size_t offset;
    size_t bytes;
  };
  std::vector<Field> fields;
  std::vector<Text> strings;
  std::vector<Run> runs;
  size_t fieldBytes = 0;  // all fields together
  int64_t version = kNoDeclarations;
  bool shared = false;
  static constexpr int64_t kNoDeclarations = INT64_MIN;
};

namespace {

// Copies one declared member (1, 2, 4 or 8 bytes, or an array of them):
// most are single small numbers, copied without a library call.
inline void CopyMember(void* to, const void* from, size_t bytes) {
  switch (bytes) {
    case 1: *static_cast<uint8_t*>(to) = *static_cast<const uint8_t*>(from); break;
    case 2: std::memcpy(to, from, 2); break;
    case 4: std::memcpy(to, from, 4); break;
    case 8: std::memcpy(to, from, 8); break;
    default: std::memcpy(to, from, bytes); break;
  }
}

inline void ZeroMember(void* to, size_t bytes) {
  switch (bytes) {
    case 1: *static_cast<uint8_t*>(to) = 0; break;
    case 2: std::memset(to, 0, 2); break;
    case 4: std::memset(to, 0, 4); break;
    case 8: std::memset(to, 0, 8); break;
    default: std::memset(to, 0, bytes); break;
  }
}

// A file with more items than the layout declares: the reader stops there.
void ReportSurplusItem(char kind, int index, int declared, int elementSize) {
  WriteReportAndECLog(kind == 'V' ? "err V[%d] ( %d , %d )" : "err L[%d] ( %d , %d )", index, declared, elementSize);
}

thread_local cDataReader* t_activeReader = nullptr;
std::atomic<size_t> g_simulatedHeap{SIZE_MAX};

}  // namespace

// ---- cDataReader / cDataWriter ----

cDataReader::cDataReader(const uint8_t* bytes, size_t size)
    : p_(bytes), left_(size), previous_(t_activeReader) {
  // Saturating: a multiple of a huge input is still an allowance.
  allowance_ = size > (SIZE_MAX - kAllowanceBase) / kAllowancePerByte ? SIZE_MAX
                                                                       : size * kAllowancePerByte + kAllowanceBase;
  t_activeReader = this;
}

cDataReader::~cDataReader() { t_activeReader = previous_; }

cDataReader* cDataReader::Active() { return t_activeReader; }

bool cDataReader::Skip(size_t size) {
  if (failed_ || size > left_) return Fail();
  p_ += size;
  left_ -= size;
  offset_ += size;
  return true;
}

bool cDataReader::Charge(size_t bytes) {
  if (failed_) return false;
  charged_ = bytes > SIZE_MAX - charged_ ? SIZE_MAX : charged_ + bytes;
  if (charged_ > g_simulatedHeap.load(std::memory_order_relaxed)) throw std::bad_alloc();
  if (charged_ <= allowance_) return true;
  WriteECLog("a data file needs more memory than %zu bytes for its %zu bytes", allowance_,
             static_cast<size_t>(offset_ + left_));
  return Fail();
}

bool ChargeLoad(size_t bytes) {
  cDataReader* reader = cDataReader::Active();
  return !reader || reader->Charge(bytes);
}

void SimulateOutOfMemoryAfter(size_t bytes) { g_simulatedHeap.store(bytes); }

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
  const size_t length = strnlen(s, n);
  // Texts longer than a string holds in itself take heap memory.
  if (length > 15 && !Charge(HeapBytes(length + 1))) return false;
  text.assign(s, length);
  return Skip(n);
}

bool cDataReader::ReadListCount(uint32_t& count, size_t minElementBytes, size_t elementBytes) {
  if (!ReadCount(count, minElementBytes)) return false;
  return count == 0 || Charge(HeapBytes(static_cast<size_t>(count) * elementBytes));
}

void cDataWriter::WriteString(const std::string& text) {
  size_t length = strnlen(text.c_str(), text.size());
  WriteU32(static_cast<uint32_t>(length + 1));
  if (length) Write(text.data(), length + 1);  // the text and its zero
}

bool cDataWriter::Flush() {
  if (!file_) return !failed_;
  if (!bytes_.empty() && !failed_ && std::fwrite(bytes_.data(), 1, bytes_.size(), file_) != bytes_.size())
    failed_ = true;
  bytes_.clear();
  return !failed_;
}

// ---- cRecord: declarations ----

cRecord::~cRecord() {
  if (m_layout && !m_layout->shared) delete m_layout;
}

void cRecord::ClearDeclarations() {
  if (m_layout && !m_layout->shared) {
    auto* own = const_cast<cRecordLayout*>(m_layout);
    own->fields.clear();
    own->strings.clear();
    own->fieldBytes = 0;
    own->version = cRecordLayout::kNoDeclarations;
    return;
  }
  m_layout = new cRecordLayout();
}

void cRecord::DeclareField(void* address, uint32_t count, int8_t width, char kind, const char* name) {
  if (!m_layout || m_layout->shared) ClearDeclarations();
  auto* own = const_cast<cRecordLayout*>(m_layout);
  // Most records declare 8 to 20 fields: one allocation instead of a
  // doubling series.
  if (own->fields.capacity() == 0) own->fields.reserve(20);
  own->fields.push_back({reinterpret_cast<intptr_t>(address), count, width, kind, name});
  own->fieldBytes += static_cast<size_t>(count) * static_cast<size_t>(width);
}

void cRecord::DeclareString(std::string& member, const char* name) {
  if (!m_layout || m_layout->shared) ClearDeclarations();
  const_cast<cRecordLayout*>(m_layout)->strings.push_back({reinterpret_cast<intptr_t>(&member), name});
}

int cRecord::DeclaredFieldCount() const {
  if (!m_layout) DeclareFor(nDataVersion);
  return static_cast<int>(FieldCount());
}
int cRecord::DeclaredStringCount() const {
  if (!m_layout) DeclareFor(nDataVersion);
  return static_cast<int>(StringCount());
}
size_t cRecord::FieldCount() const { return m_layout ? m_layout->fields.size() : 0; }
size_t cRecord::StringCount() const { return m_layout ? m_layout->strings.size() : 0; }

cRecordField cRecord::FieldAt(size_t i) const {
  const cRecordLayout::Field& f = m_layout->fields[i];
  void* address = m_layout->shared ? const_cast<char*>(reinterpret_cast<const char*>(this)) + f.at
                                   : reinterpret_cast<void*>(f.at);
  return {address, f.count, f.width, f.kind, f.name};
}

std::string* cRecord::StringAt(size_t i) const {
  const intptr_t at = m_layout->strings[i].at;
  return m_layout->shared ? reinterpret_cast<std::string*>(const_cast<char*>(reinterpret_cast<const char*>(this)) + at)
                          : reinterpret_cast<std::string*>(at);
}

const char* cRecord::StringNameAt(size_t i) const { return m_layout->strings[i].name; }

// ---- cRecord: the body ----

bool cRecord::Read(cDataReader& in) {
  DeclareFor(nFileVersion);
  uint32_t fieldCount = 0;
  if (!in.ReadU32(fieldCount)) return false;
  const size_t declaredFields = FieldCount();
  if (fieldCount == declaredFields && m_layout && m_layout->shared && !in.Failed() &&
      m_layout->fieldBytes <= in.Left()) {
    // The whole layout, as files of this version hold it: one bounds check.
    const uint8_t* from = in.Take(m_layout->fieldBytes);
    char* self = reinterpret_cast<char*>(this);
    for (const cRecordLayout::Run& run : m_layout->runs) {
      CopyMember(self + run.offset, from, run.bytes);
      from += run.bytes;
    }
    fieldCount = 0;
  }
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
  CutStrings();
  WriteBody(out);
}

void cRecord::CutStrings() {
  DeclareFor(nDataVersion);
  // The members themselves are cut at their first zero byte, as stored.
  for (size_t i = 0, n = StringCount(); i < n; ++i) {
    std::string* s = StringAt(i);
    s->resize(strnlen(s->c_str(), s->size()));
  }
}

void cRecord::WriteBody(cDataWriter& out) const {
  DeclareFor(nDataVersion);
  const size_t fields = FieldCount();
  out.WriteU32(static_cast<uint32_t>(fields));
  for (size_t i = 0; i < fields; ++i) {
    const cRecordField f = FieldAt(i);
    out.Write(f.address, static_cast<size_t>(f.count) * f.width);
  }

  const size_t strings = StringCount();
  out.WriteU32(static_cast<uint32_t>(strings));
  for (size_t i = 0; i < strings; ++i) out.WriteString(*StringAt(i));
}

void cRecord::Clear() {
  DeclareFor(nDataVersion);
  if (m_layout->shared) {
    // Every record of a list is built through here: no per-field look-ups.
    char* self = reinterpret_cast<char*>(this);
    for (const cRecordLayout::Run& run : m_layout->runs) ZeroMember(self + run.offset, run.bytes);
    for (const cRecordLayout::Text& t : m_layout->strings) reinterpret_cast<std::string*>(self + t.at)->clear();
    return;
  }
  for (size_t i = 0, n = FieldCount(); i < n; ++i) {
    const cRecordField f = FieldAt(i);
    ZeroMember(f.address, static_cast<size_t>(f.count) * f.width);
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
  if (!m_layout || m_layout->version == cRecordLayout::kNoDeclarations) DeclareFor(nDataVersion);
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

void cRecord::DeclareFor(int32_t version) const {
  if (m_layout && m_layout->version == version) return;
  if (version == kDataVersion) {
    if (const void* current = CurrentLayoutSlot().load(std::memory_order_acquire)) {
      if (m_layout && !m_layout->shared) delete m_layout;
      m_layout = static_cast<const cRecordLayout*>(current);
      return;
    }
  }
  const std::type_info& type = typeid(*this);
  const LayoutKey key{std::type_index(type), version};
  // Records come in runs of one class (a list's elements): the last layouts
  // this thread found answer most look-ups without the lock.
  struct Recent {
    const std::type_info* type = nullptr;
    int32_t version = 0;
    const void* layout = nullptr;
  };
  thread_local Recent recent[4];
  thread_local unsigned next = 0;
  const void* found = nullptr;
  for (const Recent& r : recent)
    if (r.type == &type && r.version == version) {
      found = r.layout;
      break;
    }
  if (!found) {
    std::lock_guard<std::mutex> lock(g_layoutMutex);
    auto it = Layouts().find(key);
    if (it != Layouts().end()) {
      found = it->second;
      recent[next++ % 4] = {&type, version, found};
    }
  }
  if (found && found != kNotShareable) {
    if (m_layout && !m_layout->shared) delete m_layout;
    m_layout = static_cast<const cRecordLayout*>(found);
    return;
  }
  // The object's own declarations. Declaring changes only which members are
  // in force, never their values.
  auto* self = const_cast<cRecord*>(this);
  self->DefineFields(version);
  if (!m_layout || m_layout->shared) self->ClearDeclarations();  // a class declaring nothing
  auto* own = const_cast<cRecordLayout*>(m_layout);
  own->version = version;
  if (found == kNotShareable) return;
  // First object of its class at this version: make the shared layout.
  const char* begin = reinterpret_cast<const char*>(this);
  const size_t size = RecordSize();
  auto inside = [&](intptr_t address, size_t bytes) {
    const char* c = reinterpret_cast<const char*>(address);
    return c >= begin && c + bytes <= begin + size;
  };
  auto* layout = new cRecordLayout(*own);
  layout->shared = true;
  bool shareable = true;
  for (cRecordLayout::Field& f : layout->fields) {
    if (!inside(f.at, static_cast<size_t>(f.count) * f.width)) shareable = false;
    f.at = reinterpret_cast<const char*>(f.at) - begin;
  }
  for (cRecordLayout::Text& t : layout->strings) {
    if (!inside(t.at, sizeof(std::string))) shareable = false;
    t.at = reinterpret_cast<const char*>(t.at) - begin;
  }
  for (const cRecordLayout::Field& f : layout->fields) {
    const size_t offset = static_cast<size_t>(f.at), bytes = static_cast<size_t>(f.count) * f.width;
    if (!layout->runs.empty() && layout->runs.back().offset + layout->runs.back().bytes == offset)
      layout->runs.back().bytes += bytes;
    else
      layout->runs.push_back({offset, bytes});
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
  delete m_layout;
  m_layout = static_cast<const cRecordLayout*>(it->second);
  if (version == kDataVersion) CurrentLayoutSlot().store(m_layout, std::memory_order_release);
}

bool ReadStringList(cDataReader& in, std::vector<std::string>& list) {
  uint32_t count = 0;
  if (!in.ReadCount(count, 4)) return false;
  std::vector<std::string> fresh;
  for (uint32_t i = 0; i < count; ++i)
    if (!MakeRoom(in, fresh, count) || !in.ReadString(fresh.emplace_back())) return false;
  list.swap(fresh);
  return true;
}

void WriteStringList(cDataWriter& out, const std::vector<std::string>& list) {
  out.WriteU32(static_cast<uint32_t>(list.size()));
  for (const std::string& s : list) out.WriteString(s);
}

// ---- files ----

bool OpenDataFileForRead(const std::string& path, std::string& bytes) {
  // An empty path names the file "err", as it always has.
  FILE* f = plat::OpenFile(path.empty() ? std::string("err") : path, "rb");
  if (!f) return false;
  bool ok = true;
  try {
    // Sized once from the file's length: no doubling series of copies.
    long length = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) length = std::ftell(f);
    ok = length >= 0 && static_cast<unsigned long>(length) <= kMaxDataFileBytes && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
      std::string().swap(bytes);
      bytes.resize(static_cast<size_t>(length));
      ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size() && !std::ferror(f);
      // A file that grew meanwhile is read as it was when measured.
    }
  } catch (const std::bad_alloc&) {
    ReportLoadOutOfMemory(0);
    ok = false;
  }
  std::fclose(f);
  if (!ok || bytes.size() < 4) {
    std::string().swap(bytes);
    return false;
  }
  uint32_t version;
  std::memcpy(&version, bytes.data(), 4);
  nFileVersion = static_cast<int32_t>(version);
  // Unsigned: a first word of FFFFFFFF is a file from the future too.
  bFileTooNew = version > static_cast<uint32_t>(nDataVersion) ? 1 : 0;
  if (bFileTooNew) nLastLoadFailure = LoadFailure::kTooNew;
  return !bFileTooNew;
}

bool ReadFileVersion(const std::string& bytes) {
  nLastLoadFailure = LoadFailure::kBroken;
  if (bytes.size() < 4) return false;
  uint32_t version;
  std::memcpy(&version, bytes.data(), 4);
  nFileVersion = static_cast<int32_t>(version);
  // Unsigned: a first word of FFFFFFFF is a file from the future too.
  bFileTooNew = version > static_cast<uint32_t>(nDataVersion) ? 1 : 0;
  if (bFileTooNew) nLastLoadFailure = LoadFailure::kTooNew;
  return !bFileTooNew;
}

void ReportLoadOutOfMemory(size_t fileBytes) {
  nLastLoadFailure = LoadFailure::kOutOfMemory;
  // What the load built is released by now; should even the log line not
  // find memory, the load still fails as it should.
  char doing[96];
  if (fileBytes != 0)
    std::snprintf(doing, sizeof doing, "while loading a data file of %zu bytes", fileBytes);
  else
    std::snprintf(doing, sizeof doing, "while loading a data file");
  ReportOutOfMemory(doing);
  try {
    WriteECLog("not enough memory to load a data file of %zu bytes", fileBytes);
  } catch (const std::bad_alloc&) {
  }
}

bool cRecord::LoadFromBytes(const std::string& bytes) {
  if (!ReadFileVersion(bytes)) return false;
  try {
    cDataReader in(reinterpret_cast<const uint8_t*>(bytes.data()) + 4, bytes.size() - 4);
    std::unique_ptr<cRecord> scratch = CloneForReading();
    bool ok = scratch->Read(in) && !in.Failed();
    nLastLoadFailure = ok ? LoadFailure::kNone : in.Failed() ? in.Failure() : LoadFailure::kBroken;
    // The current layout again, whatever the file's was.
    scratch->DeclareFor(nDataVersion);
    if (!ok) return false;
    TakeContents(*scratch);
    return true;
  } catch (const std::bad_alloc&) {
    // Everything the read built is gone again; the record is as it was.
    ReportLoadOutOfMemory(bytes.size());
    return false;
  }
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

bool cRecord::SaveToStream(FILE* file) {
  cDataWriter out(file);
  out.WriteU32(static_cast<uint32_t>(nDataVersion));
  Write(out);
  return out.Flush();
}

int cRecord::SaveToFile(const std::string& path) {
  return WriteFileOrReportWhy(path.empty() ? std::string("err") : path, SaveToBytes()) ? 1 : 0;
}

bool WriteFileOrReportWhy(const std::string& path, const std::string& bytes) {
  std::string why;
  if (plat::WriteFileAtomically(path, bytes.data(), bytes.size(), &why)) return true;
  WriteReportLog("%s cannot be written (%s)", path.c_str(), why.c_str());
  return false;
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
    json.String(f.name ? f.name : ('#' + std::to_string(i)));
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
    json.String(StringNameAt(i) ? StringNameAt(i) : ('#' + std::to_string(i)));
    json.Key("value");
    json.String(*StringAt(i));
    json.EndObject();
  }
  json.EndArray();
  DumpLists(json);
  json.EndObject();
}

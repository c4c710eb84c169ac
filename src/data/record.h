// The versioned record: the one format every data file of a game uses.
//
// A record class declares, for a data version, which of its members are
// stored and in which order (DefineFields); the base reads and writes the
// declared members in that order. A file starts with the writer's data
// version; a record body is: u32 field count, each declared member's bytes
// (count × width, little-endian, no padding), u32 string count, each string
// as u32 length+1 and the text with its terminating zero (an empty string is
// the word 1 alone), then the class's own counted lists (u32 count, then each
// element's body). Older files load through the layout their version had;
// members that layout lacks keep their values; migrations follow the read.
//
// Reading is bounded: every count, length and size is checked against the
// bytes left, so a broken or hostile file fails the load cleanly (and a
// failed load leaves the record as it was).
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "base/safe_containers.h"

// The data version of everything this program writes.
inline constexpr int32_t kDataVersion = 873;
// The program's data version (873 from before any record is built).
extern int32_t nDataVersion;
// The data version of the file being read on this thread; records nested in a
// file have no version of their own and follow this one.
// (constinit: no dynamic initialisation, so other files reach these without
// a thread-local init call.)
extern thread_local constinit int32_t nFileVersion;
// The last file opened for reading on this thread was newer than the program.
extern thread_local constinit int32_t bFileTooNew;
// Strings read lose their carriage returns (CR LF becomes LF).
extern int32_t bStripCarriageReturns;

// Reads a data file held in memory. Every read checks the bytes left; the
// first failure makes the reader fail for good (later reads return false).
class cDataReader {
 public:
  cDataReader(const uint8_t* bytes, size_t size) : p_(bytes), left_(size) {}
  explicit cDataReader(const std::string& bytes)
      : p_(reinterpret_cast<const uint8_t*>(bytes.data())), left_(bytes.size()) {}

  bool Read(void* out, size_t size);
  bool ReadU32(uint32_t& v) { return Read(&v, 4); }
  bool ReadI32(int32_t& v) { return Read(&v, 4); }
  // A string item: u32 length+1, then the text and its zero (unless 1).
  bool ReadString(std::string& text);
  // A list's element count, refused when `count` elements of at least
  // `minElementBytes` each cannot fit in what is left.
  bool ReadCount(uint32_t& count, size_t minElementBytes);
  bool Skip(size_t size);

  bool Failed() const { return failed_; }
  // Marks the data as broken (a reader of a class found something impossible).
  bool Fail() {
    failed_ = true;
    return false;
  }
  size_t Left() const { return left_; }
  size_t Offset() const { return offset_; }

  // Nesting depth of records being read (lists inside lists); readers refuse
  // files nested deeper than kMaxDepth.
  static constexpr int kMaxDepth = 32;
  int depth = 0;

 private:
  const uint8_t* p_;
  size_t left_;
  size_t offset_ = 0;
  bool failed_ = false;
};

// Collects a data file in memory.
class cDataWriter {
 public:
  void Write(const void* data, size_t size) { bytes_.append(static_cast<const char*>(data), size); }
  void WriteU32(uint32_t v) { Write(&v, 4); }
  void WriteI32(int32_t v) { Write(&v, 4); }
  void WriteString(const std::string& text);  // up to its first zero byte
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// One numeric declaration: a member of `count` elements of `width` bytes.
struct cRecordField {
  void* address;
  uint32_t count;
  int8_t width;      // 1, 2, 4 or 8
  char kind;         // 'i' signed, 'u' unsigned, 'f' double (for dumps)
  const char* name;  // for dumps; may be null
};

// A small JSON writer for the inspection tool's dumps (texts are converted
// from CP932).
class cJsonWriter {
 public:
  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  void Key(const char* name);
  void Int(int64_t v);
  void UInt(uint64_t v);
  void Double(double v);
  void String(const std::string& cp932);
  const std::string& Text() const { return text_; }

 private:
  void Separate();
  std::string text_;
  std::vector<bool> first_;  // per open container: no element yet
  bool afterKey_ = false;
};
template <>
struct LegacyElementSize<cRecordField> {
  static constexpr int value = 16;
};
template <>
struct LegacyElementSize<std::string*> {
  static constexpr int value = 8;
};

class cRecord {
 public:
  cRecord() = default;
  // Declarations belong to one object: copies declare their own afresh.
  // noexcept: vectors of records then move their elements when they grow
  // instead of copying every flow and command inside them.
  cRecord(const cRecord&) noexcept {}
  cRecord& operator=(const cRecord&) { return *this; }
  virtual ~cRecord() = default;

  // Declares this class's stored members, in file order, for `version`.
  virtual void DefineFields(int32_t version) { ClearDeclarations(); }
  // The base body, then the class's lists. False when the data is broken
  // (the record may then be half-read: callers load through LoadFromFile,
  // which keeps the old contents on failure).
  virtual bool Read(cDataReader& in);
  virtual void Write(cDataWriter& out);

  // A copy of this record (its whole class), and taking over the contents of
  // another record of the same class; used to load without harming the
  // record when the file is broken.
  virtual std::unique_ptr<cRecord> CloneRecord() const = 0;
  virtual void TakeContents(cRecord& other) = 0;

  // Declared numbers to zero, declared strings empty; lists untouched.
  void Clear();
  // Copies the declared members of another record of the same class.
  void CopyFrom(cRecord& other);
  // Removes every 0x0D byte from the declared strings.
  void RemoveCarriageReturns();

  // Whole files. 1 on success, 0 on failure; a failed load leaves the record
  // as it was (bFileTooNew tells a file too new). SaveToFile writes a
  // temporary file and renames it over the target.
  int LoadFromFile(const std::string& path);
  int SaveToFile(const std::string& path);
  // The same over bytes in memory (the version word first).
  bool LoadFromBytes(const std::string& bytes);
  std::string SaveToBytes();

  // The declarations in force (those of the last read, write or clear).
  int DeclaredFieldCount() const {
    return static_cast<int>(m_layout ? m_layout->fields.size() : m_fields.size());
  }
  int DeclaredStringCount() const {
    return static_cast<int>(m_layout ? m_layout->strings.size() : m_strings.size());
  }

  // The size of the whole object (every record class gets it from
  // PELMORA_RECORD_CLASS): declarations inside it can be shared by offset.
  virtual size_t RecordSize() const = 0;

 protected:
  void ClearDeclarations() {
    m_declaredVersion = kNoDeclarations;
    m_layout = nullptr;
    m_fields.clear();
    m_strings.clear();
    m_stringNames.clear();
  }
  void DeclareField(void* address, uint32_t count, int8_t width, char kind, const char* name) {
    // Most records declare 8 to 20 fields: one allocation instead of a
    // doubling series for each of the many records in a stage.
    if (m_fields.capacity() == 0) m_fields.reserve(20);
    m_fields.push_back({address, count, width, kind, name});
  }
  template <class T>
  static constexpr char KindOf() {
    return std::is_floating_point_v<T> ? 'f' : std::is_signed_v<T> ? 'i' : 'u';
  }
  // Declares a number (1, 2, 4 or 8 bytes; a double is 8) or an array of
  // them; the name only shows in dumps.
  template <class T>
  void Declare(T& member, const char* name = nullptr) {
    static_assert(std::is_arithmetic_v<T> && (sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8));
    DeclareField(&member, 1, static_cast<int8_t>(sizeof(T)), KindOf<T>(), name);
  }
  template <class T, size_t N>
  void Declare(T (&member)[N], const char* name = nullptr) {
    static_assert(std::is_arithmetic_v<T> && (sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8));
    DeclareField(member, static_cast<uint32_t>(N), static_cast<int8_t>(sizeof(T)), KindOf<T>(), name);
  }
  void DeclareString(std::string& member, const char* name = nullptr) {
    m_strings.push_back(&member);
    m_stringNames.push_back(name);
  }

  // Reads a counted list of records into `list` (elements made by `make`, so a
  // class can give list elements defaults of their own).
  template <class T, class Make>
  static bool ReadRecordList(cDataReader& in, std::vector<T>& list, Make make);
  template <class T>
  static bool ReadRecordList(cDataReader& in, std::vector<T>& list) {
    return ReadRecordList(in, list, [] { return T(); });
  }
  template <class T>
  static void WriteRecordList(cDataWriter& out, std::vector<T>& list);
  static bool ReadStringList(cDataReader& in, std::vector<std::string>& list);
  static void WriteStringList(cDataWriter& out, const std::vector<std::string>& list);

  // Puts the declarations of `version` in force. Declarations depend on the
  // class and the version alone, so a class declares each version once and
  // every object of it shares that layout by member offsets (a stage holds
  // a hundred thousand records). A class declaring something outside its
  // own object keeps declarations of its own. Any direct DefineFields call
  // goes through ClearDeclarations, which forgets what was in force.
  void DeclareFor(int32_t version);

  // A class's declarations for one version, as offsets into the object.
  struct cRecordLayout {
    struct Field {
      size_t offset;
      uint32_t count;
      int8_t width;
      char kind;
      const char* name;
    };
    std::vector<Field> fields;
    std::vector<size_t> strings;
    std::vector<const char*> stringNames;
  };

  // The declarations in force, shared or the object's own.
  size_t FieldCount() const { return m_layout ? m_layout->fields.size() : m_fields.size(); }
  cRecordField FieldAt(size_t i) {
    if (!m_layout) return m_fields[i];
    const cRecordLayout::Field& f = m_layout->fields[i];
    return {reinterpret_cast<char*>(this) + f.offset, f.count, f.width, f.kind, f.name};
  }
  size_t StringCount() const { return m_layout ? m_layout->strings.size() : m_strings.size(); }
  std::string* StringAt(size_t i) {
    return m_layout ? reinterpret_cast<std::string*>(reinterpret_cast<char*>(this) + m_layout->strings[i])
                    : m_strings[i];
  }
  const char* StringNameAt(size_t i) const { return m_layout ? m_layout->stringNames[i] : m_stringNames[i]; }

  cSafeVector<cRecordField> m_fields;  // filled by DefineFields
  cSafeVector<std::string*> m_strings;
  std::vector<const char*> m_stringNames;
  static constexpr int64_t kNoDeclarations = INT64_MIN;
  // The version the declarations in force were made for (copies have none).
  int64_t m_declaredVersion = kNoDeclarations;
  const cRecordLayout* m_layout = nullptr;  // shared declarations, or null

 public:
  // JSON of the declared members ("fields", "strings") and the lists.
  void DumpJson(cJsonWriter& json);
  // A class with lists writes them here as keys of the open object.
  virtual void DumpLists(cJsonWriter& json) {}
  template <class T>
  static void DumpRecordList(cJsonWriter& json, const char* key, std::vector<T>& list) {
    json.Key(key);
    json.BeginArray();
    for (T& element : list) element.DumpJson(json);
    json.EndArray();
  }
};

// Gives a record class its copy and take-over operations.
#define PELMORA_RECORD_CLASS(Class)                                                        \
  std::unique_ptr<cRecord> CloneRecord() const override { return std::make_unique<Class>(*this); } \
  void TakeContents(cRecord& other) override { *this = std::move(static_cast<Class&>(other)); }      \
  size_t RecordSize() const override { return sizeof(Class); }

// The smallest body a record can have in a file (two zero counts).
inline constexpr size_t kMinRecordBytes = 8;

template <class T, class Make>
bool cRecord::ReadRecordList(cDataReader& in, std::vector<T>& list, Make make) {
  uint32_t count = 0;
  if (!in.ReadCount(count, kMinRecordBytes)) return false;
  if (++in.depth > cDataReader::kMaxDepth) return in.Fail();
  list.clear();
  // Grown while reading, not reserved from the count: a count that lies
  // costs no more memory than the elements that really are there.
  for (uint32_t i = 0; i < count; ++i) {
    list.push_back(make());
    if (!list.back().Read(in)) {
      --in.depth;
      return false;
    }
  }
  --in.depth;
  return true;
}

template <class T>
void cRecord::WriteRecordList(cDataWriter& out, std::vector<T>& list) {
  out.WriteU32(static_cast<uint32_t>(list.size()));
  for (T& element : list) element.Write(out);
}

// Opening data files by name: the version word is read (and a file newer
// than the program refused) or written.
bool OpenDataFileForRead(const std::string& path, std::string& bytes);

// A menu command entry: an enabled flag and its label.
class cCmd : public cRecord {
 public:
  cCmd();
  PELMORA_RECORD_CLASS(cCmd)
  void DefineFields(int32_t version) override;
  uint32_t m_bEnabled = 1;
  std::string m_strLabel;
};
template <>
struct LegacyElementSize<cCmd> {
  static constexpr int value = 56;
};

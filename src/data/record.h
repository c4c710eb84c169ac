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
// bytes left, and what a load builds in memory is held to a multiple of the
// bytes it reads, so a broken or hostile file fails the load cleanly (and a
// failed load leaves the record as it was). Running out of memory during a
// load is a failed load as well.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
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

// Why the last load on this thread failed: the game's messages go by
// bFileTooNew alone; the inspection tool tells authors more.
enum class LoadFailure : int32_t {
  kNone,
  kTooNew,          // written by a newer program
  kBroken,          // cut short, or holding what the format cannot
  kOverAllowance,   // would build more than its size allows (see cDataReader)
  kOutOfMemory,     // the heap ran out
};
extern thread_local constinit LoadFailure nLastLoadFailure;

// Reads a data file held in memory. Every read checks the bytes left; the
// first failure makes the reader fail for good (later reads return false).
//
// A reader also keeps the memory allowance of its load: list readers charge
// what they are about to build (Charge, ReadListCount) and the load fails
// once the charges pass kAllowancePerByte times the input plus
// kAllowanceBase. Records in a file take a few times their stored size in
// memory; only a file made to blow up (bodies that declare nothing, a base
// type copied into hundreds of others) comes near the allowance.
class cDataReader {
 public:
  static constexpr size_t kAllowancePerByte = 4;
  static constexpr size_t kAllowanceBase = 32u << 20;

  cDataReader(const uint8_t* bytes, size_t size);
  explicit cDataReader(const std::string& bytes)
      : cDataReader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) {}
  ~cDataReader();
  cDataReader(const cDataReader&) = delete;
  cDataReader& operator=(const cDataReader&) = delete;

  bool Read(void* out, size_t size) {
    if (failed_ || size > left_) return Fail();
    if (size) std::memcpy(out, p_, size);
    p_ += size;
    left_ -= size;
    offset_ += size;
    return true;
  }
  bool ReadU32(uint32_t& v) { return Read(&v, 4); }
  bool ReadI32(int32_t& v) { return Read(&v, 4); }
  // A string item: u32 length+1, then the text and its zero (unless 1).
  bool ReadString(std::string& text);
  // A list's element count, refused when `count` elements of at least
  // `minElementBytes` each cannot fit in what is left.
  bool ReadCount(uint32_t& count, size_t minElementBytes) {
    if (!ReadU32(count)) return false;
    // 64-bit product: a u32 count times a small size cannot overflow.
    if (static_cast<uint64_t>(count) * minElementBytes > left_) return Fail();
    return true;
  }
  // The same, and the `count` elements of `elementBytes` each in memory
  // charged to the allowance: a list may then be reserved to the count.
  bool ReadListCount(uint32_t& count, size_t minElementBytes, size_t elementBytes);
  // Charges memory the load is about to build; false (and the reader
  // failed) when that passes the allowance.
  bool Charge(size_t bytes);
  // Gives back a charge for memory the load has let go again (a list read
  // from the file that a base type's list replaced).
  void Credit(size_t bytes) { charged_ -= bytes < charged_ ? bytes : charged_; }
  bool Skip(size_t size);
  // The next `size` bytes, which the caller has checked are there.
  const uint8_t* Take(size_t size) {
    const uint8_t* at = p_;
    p_ += size;
    left_ -= size;
    offset_ += size;
    return at;
  }

  bool Failed() const { return failed_; }
  // Marks the data as broken (a reader of a class found something impossible).
  bool Fail() {
    failed_ = true;
    return false;
  }
  size_t Left() const { return left_; }
  size_t Offset() const { return offset_; }
  size_t Charged() const { return charged_; }
  size_t Allowance() const { return allowance_; }
  bool OverAllowance() const { return charged_ > allowance_; }
  // The failure of a load through this reader (not kTooNew, which the
  // version word tells before any reader is made).
  LoadFailure Failure() const {
    return !failed_ ? LoadFailure::kNone : OverAllowance() ? LoadFailure::kOverAllowance : LoadFailure::kBroken;
  }

  // The reader of the load running on this thread (the innermost), or null.
  static cDataReader* Active();

  // Nesting depth of records being read (lists inside lists); readers refuse
  // files nested deeper than kMaxDepth.
  static constexpr int kMaxDepth = 32;
  int depth = 0;

 private:
  const uint8_t* p_;
  size_t left_;
  size_t offset_ = 0;
  size_t charged_ = 0;
  size_t allowance_;
  bool failed_ = false;
  cDataReader* previous_;
};

// Charges the load running on this thread (no load: nothing to charge, true).
// What a load copies rather than reads (inherited texts) goes through here.
bool ChargeLoad(size_t bytes);

// The bytes an allocation of `bytes` takes from the heap (its header and
// rounding included); what list readers charge per allocation.
constexpr size_t HeapBytes(size_t bytes) { return bytes == 0 ? 0 : ((bytes + 8 + 15) & ~size_t{15}); }

// For tests of the out-of-memory path: once a load on any thread has charged
// more than `bytes`, the next charge throws std::bad_alloc as an exhausted
// heap would (sanitizer builds cannot limit their address space).
// SIZE_MAX turns it off.
void SimulateOutOfMemoryAfter(size_t bytes);

// Writes a data file: collects it in memory, or streams it through a buffer
// into an open file (so a file much larger than what is in memory, as a stage
// whose types inherit large flow lists, never exists whole in memory).
class cDataWriter {
 public:
  cDataWriter() = default;
  explicit cDataWriter(FILE* file) : file_(file) {}
  ~cDataWriter() { Flush(); }
  cDataWriter(const cDataWriter&) = delete;
  cDataWriter& operator=(const cDataWriter&) = delete;

  void Write(const void* data, size_t size) {
    bytes_.append(static_cast<const char*>(data), size);
    if (file_ && bytes_.size() >= kFlushBytes) Flush();
  }
  void WriteU32(uint32_t v) { Write(&v, 4); }
  void WriteI32(int32_t v) { Write(&v, 4); }
  void WriteString(const std::string& text);  // up to its first zero byte
  // In memory: everything written.
  const std::string& Bytes() const { return bytes_; }
  // Streaming: writes out what is buffered; false once a write failed.
  bool Flush();
  bool Failed() const { return failed_; }

 private:
  static constexpr size_t kFlushBytes = 1u << 16;
  FILE* file_ = nullptr;
  std::string bytes_;
  bool failed_ = false;
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

// Builds a list element that a reader is about to fill from the file: a
// class whose new elements carry default lists (an animation's first frame,
// an animation set's four animations) skips building what the read replaces.
struct cForReading {};
inline constexpr cForReading kForReading{};
template <class T>
T NewElementForReading() {
  if constexpr (std::is_constructible_v<T, cForReading>)
    return T(kForReading);
  else
    return T();
}

// The smallest body of a record class in a file: the two counts of the base
// body (8 bytes), or what the class says (its own counts and words follow).
template <class T>
constexpr size_t MinBodyBytes() {
  if constexpr (requires { T::kMinBodyBytes; })
    return T::kMinBodyBytes;
  else
    return 8;
}

// A record's declared members start at zero (their initializers), which is
// what Clear gives a new record: the classes a file holds by the thousand
// (conditions, commands, flows, definitions) build without a Clear and set
// only their new-record values; the declarations come with first use.
class cRecord {
 public:
  cRecord() = default;
  // Declarations belong to one object: copies declare their own afresh.
  // noexcept: vectors of records then move their elements when they grow
  // instead of copying every flow and command inside them.
  cRecord(const cRecord&) noexcept {}
  cRecord& operator=(const cRecord&) { return *this; }
  virtual ~cRecord();

  // Declares this class's stored members, in file order, for `version`.
  virtual void DefineFields(int32_t version) { ClearDeclarations(); }
  // The base body, then the class's lists. False when the data is broken
  // (the record may then be half-read: callers load through LoadFromFile,
  // which keeps the old contents on failure).
  virtual bool Read(cDataReader& in);
  // The base: the declared texts cut at their first zero byte (as stored),
  // then the body. A class with lists runs its checks, then writes the base
  // and its lists.
  virtual void Write(cDataWriter& out);
  // What Write writes once its checks have run, the record left as it is:
  // lists that records share are written through here.
  virtual void WriteAsChecked(cDataWriter& out) const { WriteBody(out); }

  // A copy of this record (its whole class), and taking over the contents of
  // another record of the same class; used to load without harming the
  // record when the file is broken.
  virtual std::unique_ptr<cRecord> CloneRecord() const = 0;
  virtual void TakeContents(cRecord& other) = 0;
  // What a load reads into: a copy that keeps what a file of an older
  // version leaves alone. A class whose lists a read always replaces leaves
  // them out.
  virtual std::unique_ptr<cRecord> CloneForReading() const { return CloneRecord(); }

  // Declared numbers to zero, declared strings empty; lists untouched.
  void Clear();
  // Copies the declared members of another record of the same class.
  void CopyFrom(cRecord& other);
  // Removes every 0x0D byte from the declared strings.
  void RemoveCarriageReturns();

  // Whole files. 1 on success, 0 on failure; a failed load leaves the record
  // as it was (bFileTooNew tells a file too new). SaveToFile writes as
  // WriteFileOrReportWhy does.
  int LoadFromFile(const std::string& path);
  int SaveToFile(const std::string& path);
  // The same over bytes in memory (the version word first).
  bool LoadFromBytes(const std::string& bytes);
  std::string SaveToBytes();
  // The version word and the body, streamed into an open file; false when a
  // write failed.
  bool SaveToStream(FILE* file);

  // The declarations in force (those of the last read, write or clear).
  int DeclaredFieldCount() const;
  int DeclaredStringCount() const;

  // The size of the whole object (every record class gets it from
  // PELMORA_RECORD_CLASS): declarations inside it can be shared by offset.
  virtual size_t RecordSize() const = 0;
  // The class's shared declarations for the current data version, once made
  // (what most records use: found without a look-up).
  virtual std::atomic<const void*>& CurrentLayoutSlot() const = 0;

 protected:
  // Forgets the declarations in force; every DefineFields starts with it.
  void ClearDeclarations();
  void DeclareField(void* address, uint32_t count, int8_t width, char kind, const char* name);
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
  void DeclareString(std::string& member, const char* name = nullptr);

  // Puts the declarations of `version` in force. Declarations depend on the
  // class and the version alone, so a class declares each version once and
  // every object of it shares that layout by member offsets (a stage holds
  // a hundred thousand records). A class declaring something outside its
  // own object keeps declarations of its own. Any direct DefineFields call
  // goes through ClearDeclarations, which forgets what was in force.
  void DeclareFor(int32_t version) const;

  // The body of the declared members as they stand (texts written up to
  // their first zero byte, the members left as they are).
  void WriteBody(cDataWriter& out) const;
  // Cuts the declared texts at their first zero byte.
  void CutStrings();

  size_t FieldCount() const;
  cRecordField FieldAt(size_t i) const;
  size_t StringCount() const;
  std::string* StringAt(size_t i) const;
  const char* StringNameAt(size_t i) const;

 private:
  struct cRecordLayout;
  // The declarations in force: shared by every object of the class (member
  // offsets), or the object's own (addresses; released with the object).
  // Null before the first declaration. Changing the declarations in force
  // leaves the record's contents alone, hence mutable.
  mutable const cRecordLayout* m_layout = nullptr;

 public:
  // JSON of the declared members ("fields", "strings") and the lists.
  void DumpJson(cJsonWriter& json);
  // A class with lists writes them here as keys of the open object.
  virtual void DumpLists(cJsonWriter& json) {}
  // (A dump changes nothing in a record: lists that records share are
  // dumped as they are.)
  template <class T>
  static void DumpRecordList(cJsonWriter& json, const char* key, const std::vector<T>& list) {
    json.Key(key);
    json.BeginArray();
    for (const T& element : list) const_cast<T&>(element).DumpJson(json);
    json.EndArray();
  }
};

// Gives a record class its copy and take-over operations, and the slot that
// keeps its shared declarations of the current data version.
#define PELMORA_RECORD_CLASS(Class)                                                        \
  std::unique_ptr<cRecord> CloneRecord() const override { return std::make_unique<Class>(*this); } \
  void TakeContents(cRecord& other) override { *this = std::move(static_cast<Class&>(other)); }      \
  size_t RecordSize() const override { return sizeof(Class); }                                     \
  std::atomic<const void*>& CurrentLayoutSlot() const override {                                    \
    static std::atomic<const void*> slot{nullptr};                                                 \
    return slot;                                                                                   \
  }

// The smallest body a record can have in a file (two zero counts).
inline constexpr size_t kMinRecordBytes = 8;

// Reads a counted list of plain values (bytes, words) into `list`, replacing
// it: u32 count, then count × sizeof(value) bytes.
template <class Vector>
bool ReadValueList(cDataReader& in, Vector& list) {
  using T = typename Vector::value_type;
  static_assert(std::is_trivially_copyable_v<T>);
  uint32_t count = 0;
  if (!in.ReadListCount(count, sizeof(T), sizeof(T))) return false;
  Vector fresh(count);
  if (count && !in.Read(fresh.data(), static_cast<size_t>(count) * sizeof(T))) return false;
  list.swap(fresh);
  return true;
}
template <class Vector>
void WriteValueList(cDataWriter& out, const Vector& list) {
  out.WriteU32(static_cast<uint32_t>(list.size()));
  if (!list.empty()) out.Write(list.data(), list.size() * sizeof(typename Vector::value_type));
}

// Makes room for the next element of a list that will hold `count`
// elements: the whole count at once when that costs at most twice the bytes
// left (so a count that lies costs little more than the file), else in
// doublings as the elements arrive (never beyond the count). What is added
// is charged to the load's allowance.
template <class Vector>
bool MakeRoom(cDataReader& in, Vector& list, uint32_t count) {
  if (list.size() < list.capacity()) return true;
  constexpr size_t kElement = sizeof(typename Vector::value_type);
  size_t want = count;
  if (list.capacity() != 0 || static_cast<size_t>(count) * kElement > 2 * in.Left() + 4096)
    want = std::min<size_t>(count, std::max<size_t>(16, 2 * list.capacity()));
  if (want <= list.capacity()) return true;
  if (!in.Charge(HeapBytes((want - list.capacity()) * kElement))) return false;
  list.reserve(want);
  return true;
}

// Reads a counted list of records into `list`, replacing it. Each element is
// made by `make(list)` (which appends it), so a class can give list elements
// defaults of their own. The count is checked against the bytes left; the
// old elements are released first.
template <class T, class Make>
bool ReadRecordListWith(cDataReader& in, std::vector<T>& list, Make make) {
  uint32_t count = 0;
  if (!in.ReadCount(count, MinBodyBytes<T>())) return false;
  if (++in.depth > cDataReader::kMaxDepth) return in.Fail();
  std::vector<T>().swap(list);
  bool ok = true;
  for (uint32_t i = 0; i < count && ok; ++i) ok = MakeRoom(in, list, count) && make(list).Read(in);
  --in.depth;
  return ok;
}
template <class T, class Make>
bool ReadRecordList(cDataReader& in, std::vector<T>& list, Make make) {
  return ReadRecordListWith(in, list, [&](std::vector<T>& l) -> T& { return l.push_back(make()), l.back(); });
}

// Writes a list whose elements' checks have run (WriteAsChecked each).
template <class T>
void WriteCheckedList(cDataWriter& out, const std::vector<T>& list) {
  out.WriteU32(static_cast<uint32_t>(list.size()));
  for (const T& element : list) element.WriteAsChecked(out);
}
template <class T>
bool ReadRecordList(cDataReader& in, std::vector<T>& list) {
  return ReadRecordListWith(in, list, [](std::vector<T>& l) -> T& {
    if constexpr (std::is_constructible_v<T, cForReading>)
      return l.emplace_back(kForReading);
    else
      return l.emplace_back();
  });
}
template <class T>
void WriteRecordList(cDataWriter& out, std::vector<T>& list) {
  out.WriteU32(static_cast<uint32_t>(list.size()));
  for (T& element : list) element.Write(out);
}
bool ReadStringList(cDataReader& in, std::vector<std::string>& list);
void WriteStringList(cDataWriter& out, const std::vector<std::string>& list);

// The largest data file a load reads (whole, into memory). A stage written
// after inheritance holds every inherited list once per type: a few hundred
// kilobytes of editor file can become hundreds of megabytes.
inline constexpr size_t kMaxDataFileBytes = size_t{1} << 30;

// Opening data files by name: the version word is read (and a file newer
// than the program refused) or written.
bool OpenDataFileForRead(const std::string& path, std::string& bytes);
// The version word of a whole file in memory into nFileVersion and
// bFileTooNew; false for a file too short or too new.
bool ReadFileVersion(const std::string& bytes);
// A load that ran out of memory: the log line, and nLastLoadFailure.
void ReportLoadOutOfMemory(size_t fileBytes);
// Writes `bytes` as the file `path` (a program path) whole or not at all:
// a temporary file beside it, renamed over it. A file that cannot be written
// stays as it was and gets one line in the report log naming it and why
// ("user_data\Window.dat cannot be written (Read-only file system)"); false
// then. Every file the game writes for the player comes this way.
bool WriteFileOrReportWhy(const std::string& path, const std::string& bytes);

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

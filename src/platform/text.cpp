#include "platform/text.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace plat {

bool IsCp932LeadByte(uint8_t b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool IsCp932TrailByte(uint8_t b) {
  return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

namespace {

// iconv_open's failure value, (iconv_t)-1. A function rather than a constant:
// conversions may run during static initialisation of other files.
bool IsNoConverter(iconv_t cd) { return cd == reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1)); }

// Idle converters of one direction. An iconv descriptor keeps conversion
// state, so a thread borrows one for the length of a conversion; opening one
// per call would cost more than most conversions. The pool is never
// destroyed, so conversions keep working in static destructors and in threads
// that outlive main().
class ConverterPool {
 public:
  ConverterPool(const char* to, const char* from) : to_(to), from_(from) {}

  iconv_t Take() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (!idle_.empty()) {
        iconv_t cd = idle_.back();
        idle_.pop_back();
        return cd;
      }
    }
    return iconv_open(to_, from_);
  }

  void Give(iconv_t cd) {
    if (IsNoConverter(cd)) return;
    std::lock_guard<std::mutex> guard(lock_);
    idle_.push_back(cd);
  }

 private:
  const char* to_;
  const char* from_;
  std::mutex lock_;
  std::vector<iconv_t> idle_;
};

ConverterPool& ToUtf8Pool() {
  static ConverterPool* const pool = new ConverterPool("UTF-8", "CP932");
  return *pool;
}

ConverterPool& ToCp932Pool() {
  static ConverterPool* const pool = new ConverterPool("CP932", "UTF-8");
  return *pool;
}

class BorrowedConverter {
 public:
  explicit BorrowedConverter(ConverterPool& pool) : pool_(pool), cd_(pool.Take()) {}
  ~BorrowedConverter() { pool_.Give(cd_); }
  BorrowedConverter(const BorrowedConverter&) = delete;
  BorrowedConverter& operator=(const BorrowedConverter&) = delete;
  iconv_t get() const { return cd_; }

 private:
  ConverterPool& pool_;
  iconv_t cd_;
};

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<uint8_t>(c) >= 0x80) return false;
  }
  return true;
}

// Length of the well-formed UTF-8 sequence at the start of `s`, or 1 when it
// is malformed, so that a bad byte is skipped alone.
size_t Utf8SequenceLength(std::string_view s) {
  const uint8_t b = static_cast<uint8_t>(s[0]);
  size_t n = 1;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
  } else {
    return 1;
  }
  if (s.size() < n) return 1;
  for (size_t i = 1; i < n; ++i) {
    if ((static_cast<uint8_t>(s[i]) & 0xC0) != 0x80) return 1;
  }
  return n;
}

// Runs `cd` over `in`. A byte sequence that cannot be converted becomes '?';
// `skip` tells how many input bytes that one unconvertible character spans.
std::string Convert(iconv_t cd, std::string_view in, bool* lossless,
                    size_t (*skip)(std::string_view)) {
  bool clean = true;
  std::string out;
  if (IsNoConverter(cd)) {
    // No converter (a system without the gconv modules): only ASCII survives.
    out.reserve(in.size());
    for (char c : in) {
      if (static_cast<uint8_t>(c) < 0x80) {
        out.push_back(c);
      } else {
        out.push_back('?');
        clean = false;
      }
    }
    if (lossless) *lossless = clean;
    return out;
  }

  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.reserve(in.size() * 3 / 2 + 4);
  char chunk[4096];
  // iconv's interface takes a non-const input pointer but never writes through it.
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  while (srcLeft > 0) {
    char* dst = chunk;
    size_t dstLeft = sizeof(chunk);
    const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    const int err = errno;
    out.append(chunk, static_cast<size_t>(dst - chunk));
    if (r != static_cast<size_t>(-1)) continue;
    if (err == E2BIG) continue;
    clean = false;
    out.push_back('?');
    if (err == EILSEQ) {
      size_t n = skip(std::string_view(src, srcLeft));
      if (n == 0 || n > srcLeft) n = 1;
      src += n;
      srcLeft -= n;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    } else {
      // EINVAL: an incomplete character at the end; anything else: give up on the rest.
      break;
    }
  }
  // Flush any shift state (none for these encodings, but iconv asks for it).
  char* dst = chunk;
  size_t dstLeft = sizeof(chunk);
  iconv(cd, nullptr, nullptr, &dst, &dstLeft);
  out.append(chunk, static_cast<size_t>(dst - chunk));
  if (lossless) *lossless = clean;
  return out;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932, bool* lossless) {
  if (IsAscii(cp932)) {
    if (lossless) *lossless = true;
    return std::string(cp932);
  }
  // A lead byte with a bad trail byte is skipped alone, so that the trail byte
  // (often plain ASCII) still converts.
  BorrowedConverter cd(ToUtf8Pool());
  return Convert(cd.get(), cp932, lossless,
                 [](std::string_view) -> size_t { return 1; });
}

std::string Utf8ToCp932(std::string_view utf8, bool* lossless) {
  if (IsAscii(utf8)) {
    if (lossless) *lossless = true;
    return std::string(utf8);
  }
  BorrowedConverter cd(ToCp932Pool());
  return Convert(cd.get(), utf8, lossless, Utf8SequenceLength);
}

namespace {

// The code point of a UTF-8 text that holds exactly one character, or 0.
uint32_t SoleCodepoint(const std::string& utf8) {
  const size_t n = utf8.empty() ? 0 : Utf8SequenceLength(utf8);
  if (n == 0 || n != utf8.size()) return 0;
  const uint8_t b0 = static_cast<uint8_t>(utf8[0]);
  if (n == 1) return b0 < 0x80 ? b0 : 0;
  uint32_t cp = b0 & (0x7F >> n);
  for (size_t i = 1; i < n; ++i) cp = (cp << 6) | (static_cast<uint8_t>(utf8[i]) & 0x3F);
  return cp;
}

}  // namespace

uint32_t Cp932Codepoint(uint8_t lead, uint8_t trail) {
  if (!IsCp932LeadByte(lead)) {
    if (lead < 0x80) return lead;
    if (lead >= 0xA1 && lead <= 0xDF) return 0xFF61u + (lead - 0xA1u);
    return 0;
  }
  if (!IsCp932TrailByte(trail)) return 0;
  // Each pair is converted once; the table holds code point + 1 (0: not
  // converted yet). Two threads converting the same pair store the same value.
  static std::atomic<uint32_t>* const table = new std::atomic<uint32_t>[65536]();
  std::atomic<uint32_t>& slot = table[(lead << 8) | trail];
  uint32_t known = slot.load(std::memory_order_relaxed);
  if (known != 0) return known - 1;
  const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
  bool lossless = false;
  uint32_t cp = SoleCodepoint(Cp932ToUtf8(std::string_view(pair, 2), &lossless));
  if (!lossless || (cp >= 0xE000 && cp <= 0xF8FF)) cp = 0;  // unmapped, or the private use area
  slot.store(cp + 1, std::memory_order_relaxed);
  return cp;
}

const std::string& Sjis(const char* utf8Literal) {
  // Never destroyed, so that references handed out stay valid while other
  // static objects are destroyed at exit. std::map nodes never move.
  static std::mutex* const lock = new std::mutex;
  static std::map<std::string, std::string, std::less<>>* const cache =
      new std::map<std::string, std::string, std::less<>>;
  static const std::string* const empty = new std::string;
  if (utf8Literal == nullptr) return *empty;

  const std::string_view key(utf8Literal);
  std::lock_guard<std::mutex> guard(*lock);
  auto it = cache->find(key);
  if (it == cache->end()) {
    it = cache->emplace(std::string(key), Utf8ToCp932(key)).first;
  }
  return it->second;
}

namespace {

// The length of the UTF-8 character at `at` (well formed: no overlong
// form, no surrogate, nothing past U+10FFFF), 0 when the bytes there are
// not one.
size_t CharacterLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return at + i < text.size() ? static_cast<uint8_t>(text[at + i]) : 0; };
  const uint8_t lead = byte(0);
  if (lead < 0x80) return 1;
  size_t length = 0;
  uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead == 0xE0) length = 3, low = 0xA0;
  else if (lead >= 0xE1 && lead <= 0xEF) length = 3, high = lead == 0xED ? 0x9F : 0xBF;
  else if (lead == 0xF0) length = 4, low = 0x90;
  else if (lead >= 0xF1 && lead <= 0xF3) length = 4;
  else if (lead == 0xF4) length = 4, high = 0x8F;
  else return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

// Control characters move a terminal's cursor or start its commands: those
// of ASCII and DEL, and U+0080..U+009F.
bool IsControl(std::string_view text, size_t at, size_t length) {
  const uint8_t lead = static_cast<uint8_t>(text[at]);
  if (length == 1) return lead < 0x20 || lead == 0x7F;
  return length == 2 && lead == 0xC2 && static_cast<uint8_t>(text[at + 1]) <= 0x9F;
}

}  // namespace

std::string ShownOnTerminal(std::string_view text, bool doubleBackslashes) {
  std::string shown;
  shown.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const size_t length = CharacterLength(text, at);
    if (length != 0 && !IsControl(text, at, length)) {
      if (doubleBackslashes && text[at] == '\\') shown += '\\';
      shown.append(text.substr(at, length));
      at += length;
      continue;
    }
    // The bytes of a control character each, or the one byte that starts
    // no character (the next may start one).
    for (size_t end = at + (length != 0 ? length : 1); at < end; ++at) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned>(static_cast<uint8_t>(text[at])));
      shown += escaped;
    }
  }
  return shown;
}

}  // namespace plat

#include "base/text_path.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <functional>
#include <cstring>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"

namespace {

constexpr size_t kBufferSize = static_cast<size_t>(MAX_PATH);

// Reads a text of at most MAX_PATH bytes (terminator included) without
// looking past that many bytes.
bool ReadBounded(const char* text, std::string* out) {
  if (text == nullptr) return false;
  for (size_t n = 0; n < kBufferSize; ++n) {
    if (text[n] == '\0') {
      out->assign(text, n);
      return true;
    }
  }
  return false;
}

// The same for a buffer changed in place: one without a terminator gets one
// in its last byte, so that it is a valid text whatever the caller does next.
bool ReadInPlace(char* buffer, std::string* out) {
  if (buffer == nullptr) return false;
  if (ReadBounded(buffer, out)) return true;
  buffer[kBufferSize - 1] = '\0';
  return false;
}

// Copies `text` with its terminator when it fits into MAX_PATH bytes.
bool WriteBack(char* buffer, const std::string& text) {
  if (text.size() >= kBufferSize) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

int Fail(char* dst) {
  if (dst != nullptr) dst[0] = '\0';
  return 0;
}

bool IsSeparatorByte(char c) { return c == '\\' || c == '/'; }

// A path cut at its separators, skipping the second byte of double-byte
// characters. Each component remembers the separator written before it, so
// that collapsing "." and ".." keeps the path's own style ("/" in the working
// folder as the system gives it, "\" in the game's part).
struct PathComponents {
  std::string root;  // the leading separator of an absolute path, or ""
  struct Item {
    char separator;  // the separator before this component ('\0' for the first of a relative path)
    std::string name;
  };
  std::vector<Item> items;
  char trailing = '\0';  // a separator that ended the path
};

PathComponents Split(const std::string& path) {
  PathComponents out;
  size_t i = 0;
  char separator = '\0';  // the last separator seen before the component being read
  if (!path.empty() && IsSeparatorByte(path[0])) {
    out.root.assign(1, path[0]);
    separator = path[0];
    i = 1;
  }
  std::string name;
  while (i < path.size()) {
    if (IsDoubleByteChar(path.c_str() + i)) {
      name.append(path, i, 2);
      i += 2;
    } else if (IsSeparatorByte(path[i])) {
      if (!name.empty()) {
        out.items.push_back({separator, std::move(name)});
        name.clear();
      }
      separator = path[i];
      ++i;
    } else {
      name.push_back(path[i]);
      ++i;
    }
  }
  if (!name.empty()) {
    out.items.push_back({separator, std::move(name)});
  } else if (!out.items.empty()) {
    out.trailing = separator;
  }
  return out;
}

// Drops "." and empty components and lets ".." remove the one before it
// (never above the root of an absolute path), as Windows does by name.
void Collapse(PathComponents* path) {
  std::vector<PathComponents::Item> kept;
  for (PathComponents::Item& item : path->items) {
    if (item.name == ".") continue;
    if (item.name == "..") {
      if (!kept.empty() && kept.back().name != "..") {
        kept.pop_back();
        continue;
      }
      if (!path->root.empty()) continue;
    }
    kept.push_back(std::move(item));
  }
  path->items = std::move(kept);
}

std::string Join(const PathComponents& path) {
  std::string out = path.root;
  for (size_t i = 0; i < path.items.size(); ++i) {
    if (i > 0) out.push_back(path.items[i].separator != '\0' ? path.items[i].separator : '\\');
    out += path.items[i].name;
  }
  if (path.trailing != '\0' && !path.items.empty()) out.push_back(path.trailing);
  return out;
}

bool EndsWithSeparator(const std::string& path) {
  bool last = false;
  for (size_t i = 0; i < path.size();) {
    if (IsDoubleByteChar(path.c_str() + i)) {
      last = false;
      i += 2;
    } else {
      last = IsSeparatorByte(path[i]);
      ++i;
    }
  }
  return last;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Equal ignoring the case of single-byte letters; the second byte of a
// double-byte character (which may lie in the letter range) compares exactly.
bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size();) {
    if (IsDoubleByteChar(a.c_str() + i)) {
      if (a.compare(i, 2, b, i, 2) != 0) return false;
      i += 2;
      continue;
    }
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    ++i;
  }
  return true;
}

// 1 with the full path in `out`, or 0 when the working folder is unknown.
int AbsoluteOf(const std::string& path, std::string* out) {
  if (plat::IsAbsolutePath(path)) {
    *out = path;
    return 1;
  }
  if (path.empty()) return 0;
  std::string full = plat::GetCurrentDirectory();
  if (full.empty()) return 0;
  if (!EndsWithSeparator(full)) full.push_back('\\');
  full += path;
  PathComponents parts = Split(full);
  Collapse(&parts);
  *out = Join(parts);
  return 1;
}

int RelativeOf(const std::string& path, std::string* out) {
  if (!plat::IsAbsolutePath(path)) {
    *out = path;
    return 1;
  }
  // A drive form cannot be related to a working folder that has no drive.
  if (!IsSeparatorByte(path[0])) return 0;
  const std::string cwd = plat::GetCurrentDirectory();
  if (cwd.empty()) return 0;
  PathComponents from = Split(cwd);
  PathComponents to = Split(path);
  Collapse(&from);
  Collapse(&to);
  size_t common = 0;
  while (common < from.items.size() && common < to.items.size() &&
         EqualsIgnoringCase(from.items[common].name, to.items[common].name)) {
    ++common;
  }
  std::string result;
  for (size_t i = common; i < from.items.size(); ++i) {
    if (!result.empty()) result.push_back('\\');
    result += "..";
  }
  for (size_t i = common; i < to.items.size(); ++i) {
    if (!result.empty()) result.push_back('\\');
    result += to.items[i].name;
  }
  *out = result.empty() ? std::string(".") : result;
  return 1;
}

// The position of the last "." of the whole path, or npos. A "." can never be
// the second byte of a double-byte character, so a plain search is exact.
size_t LastDot(const std::string& name) { return name.rfind('.'); }

int ChangeExtensionOf(const std::string& src, const char* ext, std::string* out) {
  const size_t dot = LastDot(src);
  if (dot == std::string::npos) {
    *out = src;
    return 0;
  }
  if (ext == nullptr) {
    *out = src.substr(0, dot);
  } else {
    *out = src.substr(0, dot + 1);
    *out += ext;
  }
  return 1;
}

int StripExtensionOf(std::string* name) {
  std::string changed;
  if (ChangeExtensionOf(*name, "", &changed) == 0) return 0;
  changed.pop_back();  // the dot that ChangeExtension kept
  *name = std::move(changed);
  return 1;
}

// The position of the last separator of `path` that is not the second byte
// of a double-byte character, or npos.
size_t LastSeparator(const std::string& path) {
  size_t last = std::string::npos;
  for (size_t i = 0; i < path.size();) {
    if (IsDoubleByteChar(path.c_str() + i)) {
      i += 2;
      continue;
    }
    if (IsSeparatorByte(path[i])) last = i;
    ++i;
  }
  return last;
}

// The highest of base + "_999" down to base + "_000" that exists; names
// longer than `limit` bytes are not worth looking for. The folder is read
// once for the numbers its entries carry (ignoring the case of letters, as
// the path layer does), and only those are checked, highest first: a game
// folder holds a handful of them, while asking for each of the thousand names
// would read the folder once for every name that is missing.
int FindLastNumberedOf(std::string_view base, const char* ext, size_t limit, std::string* out) {
  std::string stem;
  ChangeExtensionOf(std::string(base), ext, &stem);
  if (stem.size() + 4 > limit) return 0;
  const size_t separator = LastSeparator(stem);
  const std::string folder = separator == std::string::npos ? std::string(".")
                             : separator == 0                ? stem.substr(0, 1)
                                                             : stem.substr(0, separator);
  const std::string leaf = separator == std::string::npos ? stem : stem.substr(separator + 1);
  std::vector<int> numbers;
  for (const std::string& entry : plat::ListDirectory(folder)) {
    if (entry.size() != leaf.size() + 4 || entry[leaf.size()] != '_') continue;
    const char* digits = entry.c_str() + leaf.size() + 1;
    if (!std::isdigit(static_cast<unsigned char>(digits[0])) || !std::isdigit(static_cast<unsigned char>(digits[1])) ||
        !std::isdigit(static_cast<unsigned char>(digits[2])))
      continue;
    if (!EqualsIgnoringCase(entry.substr(0, leaf.size()), leaf)) continue;
    numbers.push_back((digits[0] - '0') * 100 + (digits[1] - '0') * 10 + (digits[2] - '0'));
  }
  std::sort(numbers.begin(), numbers.end(), std::greater<int>());
  std::string name;
  for (const int number : numbers) {
    name = stem;
    name.push_back('_');
    name.push_back(static_cast<char>('0' + number / 100));
    name.push_back(static_cast<char>('0' + number / 10 % 10));
    name.push_back(static_cast<char>('0' + number % 10));
    // The path layer's own answer decides, so the name found is the one that
    // opening it would reach.
    if (plat::FileExists(name)) {
      *out = std::move(name);
      return 1;
    }
  }
  return 0;
}

}  // namespace

bool IsDoubleByteChar(const char* p) {
  if (p == nullptr || p[0] == '\0') return false;
  return plat::IsCp932LeadByte(static_cast<uint8_t>(p[0])) &&
         plat::IsCp932TrailByte(static_cast<uint8_t>(p[1]));
}

int CountCharacters(const char* text) {
  if (text == nullptr) return 0;
  int count = 0;
  for (const char* p = text; *p != '\0';) {
    if (IsDoubleByteChar(p)) {
      ++count;
      p += 2;
    } else {
      if (*p != '\n') ++count;
      ++p;
    }
  }
  return count;
}

int MakeRelativePath(char* path) {
  std::string text;
  if (!ReadInPlace(path, &text)) return 0;
  std::string result;
  if (RelativeOf(text, &result) == 0) return 0;
  return WriteBack(path, result) ? 1 : 0;
}

int MakeRelativePathString(std::string& path) {
  std::string result;
  if (RelativeOf(path, &result) == 0) return 0;
  path = std::move(result);
  return 1;
}

int MakeAbsolutePath(char* path) {
  std::string text;
  if (!ReadInPlace(path, &text)) return 0;
  std::string result;
  if (AbsoluteOf(text, &result) == 0) return 0;
  return WriteBack(path, result) ? 1 : 0;
}

void StripDirectory(char* path) {
  std::string text;
  ReadInPlace(path, &text);
  if (text.size() < 2) return;
  // The last byte is not looked at: a path ending in "\" names a folder and
  // is kept as it is rather than emptied.
  size_t lastSeparator = std::string::npos;
  for (size_t i = 0; i + 1 < text.size();) {
    if (IsDoubleByteChar(text.c_str() + i)) {
      i += 2;
      continue;
    }
    if (text[i] == '\\') lastSeparator = i;
    ++i;
  }
  if (lastSeparator == std::string::npos) return;
  const std::string rest = text.substr(lastSeparator + 1);
  std::memcpy(path, rest.c_str(), rest.size() + 1);
}

int ChangeExtension(char* dst, const char* src, const char* ext) {
  if (dst == nullptr) return 0;
  std::string text;
  if (!ReadBounded(src, &text)) return Fail(dst);
  std::string result;
  const int found = ChangeExtensionOf(text, ext, &result);
  if (!WriteBack(dst, result)) return Fail(dst);
  return found;
}

int StripExtension(char* name) {
  std::string text;
  if (!ReadInPlace(name, &text)) return 0;
  if (StripExtensionOf(&text) == 0) return 0;
  WriteBack(name, text);  // shorter than before, so it fits
  return 1;
}

int StripExtensionString(std::string& name) { return StripExtensionOf(&name); }

int GetExtension(char* dst, const char* name) {
  if (dst == nullptr) return 0;
  std::string text;
  if (!ReadBounded(name, &text)) return Fail(dst);
  const size_t dot = LastDot(text);
  if (dot == std::string::npos) return Fail(dst);
  WriteBack(dst, text.substr(dot + 1));
  return 1;
}

int MakeNumberedName(char* dst, const char* src, int number) {
  if (dst == nullptr) return 0;
  std::string text;
  if (!ReadBounded(src, &text)) return Fail(dst);
  const size_t dot = LastDot(text);
  if (dot == std::string::npos) {
    WriteBack(dst, text);
    return 0;
  }
  std::string result = text.substr(0, dot);
  result += " (";
  result += std::to_string(number);
  result += ").";
  result.append(text, dot + 1);
  if (!WriteBack(dst, result)) return Fail(dst);
  return 1;
}

int FindLastNumberedFile(char* dst, const char* base, const char* ext) {
  if (dst == nullptr) return 0;
  std::string text;
  if (!ReadBounded(base, &text)) return Fail(dst);
  std::string found;
  if (FindLastNumberedOf(text, ext, kBufferSize - 1, &found) == 0) return Fail(dst);
  WriteBack(dst, found);
  return 1;
}

int FindLastNumberedFileString(std::string& dst, std::string_view base, const char* ext) {
  std::string found;
  if (FindLastNumberedOf(base, ext, std::string::npos, &found) == 0) {
    dst.clear();
    return 0;
  }
  dst = std::move(found);
  return 1;
}

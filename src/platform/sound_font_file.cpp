#include "platform/sound_font_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/files.h"

namespace plat {

namespace {

uint32_t ReadLe32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Reads `size` bytes at `offset`; false when they are not all there.
bool ReadAt(std::FILE* file, uint64_t offset, unsigned char* out, size_t size) {
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0 && std::fread(out, 1, size, file) == size;
}

// The layout of the open file of `bytes` bytes (see the header).
std::string LayoutProblem(std::FILE* file, uint64_t bytes) {
  unsigned char head[12];
  if (bytes < sizeof head || !ReadAt(file, 0, head, sizeof head) || std::memcmp(head, "RIFF", 4) != 0 ||
      std::memcmp(head + 8, "sfbk", 4) != 0)
    return "not a SoundFont: it does not start with a RIFF sfbk header";
  const uint64_t counted = uint64_t{ReadLe32(head + 4)} + 8;
  if (counted != bytes)
    return "a damaged SoundFont: its RIFF header counts " + std::to_string(counted) + " bytes, the file holds " +
           std::to_string(bytes);
  uint64_t at = sizeof head;
  for (const char* list : {"INFO", "sdta", "pdta"}) {
    unsigned char chunk[12];
    if (at + sizeof chunk > bytes || !ReadAt(file, at, chunk, sizeof chunk) || std::memcmp(chunk, "LIST", 4) != 0 ||
        std::memcmp(chunk + 8, list, 4) != 0)
      return std::string("a damaged SoundFont: its ") + list + " list is not where it belongs";
    const uint64_t end = at + 8 + ReadLe32(chunk + 4);
    if (end > bytes) return std::string("a damaged SoundFont: its ") + list + " list runs past the file's end";
    at = end;
  }
  return {};
}

}  // namespace

std::string SoundFontFileProblem(const std::string& path) {
  if (std::string kind = NotAFileReason(path); !kind.empty()) return kind;
  std::FILE* file = OpenLocalFile(path, "rb");
  if (file == nullptr) return std::strerror(errno);
  struct stat st;
  std::string problem;
  if (fstat(fileno(file), &st) != 0)
    problem = std::strerror(errno);
  else if (st.st_size == 0)
    problem = "the file is empty";
  else if (static_cast<uint64_t>(st.st_size) > kMaxSoundFontBytes)
    problem = "larger than " + std::to_string(kMaxSoundFontBytes >> 30) + " GiB";
  else
    problem = LayoutProblem(file, static_cast<uint64_t>(st.st_size));
  std::fclose(file);
  return problem;
}

}  // namespace plat

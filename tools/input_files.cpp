// The one check of every file a command reads (its input, --palette,
// --blend-table, --font-file, and the data files of dump, check and
// resave), made before the file is opened: a named pipe or a device would
// keep the reader waiting for ever, and a folder reads as nothing.
#include <filesystem>

#include "tool.h"

namespace tool {

std::string InputFileProblem(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);  // a link: the file it names
  switch (status.type()) {
    case fs::file_type::regular: return {};
    case fs::file_type::not_found: return "no such file";
    case fs::file_type::directory: return "not a file: it is a folder";
    case fs::file_type::fifo: return "not a file: it is a named pipe";
    case fs::file_type::character:
    case fs::file_type::block: return "not a file: it is a device";
    case fs::file_type::socket: return "not a file: it is a socket";
    default: break;
  }
  // Not even its kind could be learnt (a folder on the way that may not be
  // entered, say).
  return "it cannot be reached (" + (ec ? ec.message() : std::string("of no kind known")) + ")";
}

}  // namespace tool

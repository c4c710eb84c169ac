// The one rule of every file the game opens by name: a name that is there
// but is not a regular file (a folder, a named pipe, a device, a socket) is
// refused at once, in every mode, with errno and words that say which; a
// regular file, a link to one, and a new name are opened as the C library
// would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "platform/files.h"
#include "support/pipe_hang_guard.h"
#include "support/sandbox.h"

namespace fs = std::filesystem;

namespace {

// Binds a Unix socket at `path`; the descriptor (-1 on failure).
int BindSocket(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

class OpenFileTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_.Write("data/System.dat", "system");
    ASSERT_EQ(mkfifo((folder_ / "data/pipe.dat").c_str(), 0600), 0);
    fs::create_directory(folder_ / "data/folder.dat");
    fs::create_symlink(folder_ / "data/System.dat", folder_ / "data/link.dat");
    fs::create_symlink(folder_ / "data/pipe.dat", folder_ / "data/pipe-link.dat");
    socket_ = BindSocket(folder_ / "data/socket.dat");
    ASSERT_GE(socket_, 0);
  }
  void TearDown() override { close(socket_); }
  // The program path of a file of the folder, "\" between folders.
  std::string P(const std::string& rest) const { return folder_.Path() + "\\" + rest; }

  TempFolder folder_{"open-file"};
  int socket_ = -1;
};

// A mode that reads refuses all of them; one that only writes opens as
// OpenForWriting does (a device takes what is written; a pipe nobody reads
// is refused there too).
TEST_F(OpenFileTest, WhatIsNotARegularFileIsRefusedInEveryModeWithoutWaiting) {
  const struct {
    std::string path;  // a program path, or an absolute Linux one
    int error;
    const char* reason;
    bool written;  // opened by the modes that only write
  } cases[] = {
      {P("data\\pipe.dat"), ENXIO, "not a file: it is a named pipe", false},
      {P("DATA\\PIPE.DAT"), ENXIO, "not a file: it is a named pipe", false},  // found ignoring case
      {P("data\\pipe-link.dat"), ENXIO, "not a file: it is a named pipe", false},
      {P("data\\folder.dat"), EISDIR, "not a file: it is a folder", false},
      {P("data\\socket.dat"), ENXIO, "not a file: it is a socket", false},
      {"/dev/null", ENXIO, "not a file: it is a device", true},
      {"/dev/zero", ENXIO, "not a file: it is a device", true},
  };
  PipeHangGuard guard(folder_ / "data/pipe.dat");
  for (const auto& c : cases) {
    for (const char* mode : {"rb", "rt", "wb", "wt", "ab", "at", "rt+", "r+b", "w+b"}) {
      SCOPED_TRACE(c.path + " " + mode);
      const bool writes = mode[0] != 'r' && std::strchr(mode, '+') == nullptr;
      errno = 0;
      FILE* file = plat::OpenFile(c.path, mode);
      const int error = errno;
      EXPECT_EQ(file != nullptr, writes && c.written);
      if (file != nullptr) std::fclose(file);
      if (!(writes && c.written)) {
        EXPECT_EQ(error, c.error);
      }
    }
    EXPECT_EQ(plat::NotAFileReason(plat::ResolvePath(c.path)), c.reason) << c.path;
  }
  // Nothing was made or changed in their place.
  EXPECT_TRUE(fs::is_fifo(folder_ / "data/pipe.dat"));
  EXPECT_TRUE(fs::is_empty(folder_ / "data/folder.dat"));
  EXPECT_TRUE(fs::is_socket(folder_ / "data/socket.dat"));
}

TEST_F(OpenFileTest, ARegularFileALinkToOneAndANewNameOpenAsTheModeSays) {
  auto read = [](FILE* file) {
    std::string text(64, '\0');
    text.resize(file ? std::fread(text.data(), 1, text.size(), file) : 0);
    if (file) std::fclose(file);
    return text;
  };
  EXPECT_EQ(read(plat::OpenFile(P("DATA\\system.dat"), "rb")), "system");
  EXPECT_EQ(read(plat::OpenFile(P("data\\link.dat"), "rt")), "system");
  EXPECT_EQ(plat::NotAFileReason(folder_ / "data/link.dat"), "");
  EXPECT_EQ(plat::NotAFileReason(folder_ / "data/none.dat"), "");

  // Appending, then reading and writing in place: the stream blocks as any
  // other, so whole writes land.
  FILE* file = plat::OpenFile(P("data\\System.dat"), "ab");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(std::fputs(" more", file), 1);
  std::fclose(file);
  file = plat::OpenFile(P("data\\System.dat"), "rt+");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(std::fputs("S", file), 1);
  std::fclose(file);
  EXPECT_EQ(folder_.Read("data/System.dat"), "System more");

  // A new name is made; "w" empties what is there; "x" refuses it.
  file = plat::OpenFile(P("data\\new.dat"), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("new", file);
  std::fclose(file);
  EXPECT_EQ(folder_.Read("data/new.dat"), "new");
  errno = 0;
  EXPECT_EQ(plat::OpenFile(P("data\\new.dat"), "wbx"), nullptr);
  EXPECT_EQ(errno, EEXIST);
  file = plat::OpenFile(P("data\\new.dat"), "wt");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_EQ(fs::file_size(folder_ / "data/new.dat"), 0u);

  // What the C library refuses, and a name that is not there to read.
  errno = 0;
  EXPECT_EQ(plat::OpenFile(P("data\\System.dat"), "q"), nullptr);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(plat::OpenFile(P("data\\System.dat"), nullptr), nullptr);
  errno = 0;
  EXPECT_EQ(plat::OpenFile(P("data\\none.dat"), "rb"), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(fs::exists(folder_ / "data/none.dat"));
}

// The stream handed out reads and writes as a blocking one: the
// non-blocking open is undone before the file is used.
TEST_F(OpenFileTest, TheStreamIsNotLeftNonBlocking) {
  for (const char* mode : {"rb", "wb", "ab", "r+b"}) {
    SCOPED_TRACE(mode);
    FILE* file = plat::OpenFile(P("data\\System.dat"), mode);
    ASSERT_NE(file, nullptr);
    const int flags = fcntl(fileno(file), F_GETFL);
    EXPECT_EQ(flags & O_NONBLOCK, 0);
    EXPECT_NE(fcntl(fileno(file), F_GETFD) & FD_CLOEXEC, 0) << "not handed to the programs the game starts";
    std::fclose(file);
  }
}

}  // namespace

// The one rule of every file the game writes (OpenForWriting): whatever the
// name holds, the open does not wait, and a write waits for room only while
// its reader takes something. A device and a pipe someone reads take what is
// written; a pipe nobody reads, or whose reader stops, is a file that cannot
// be written, said in words; a folder, a block device and a socket are
// refused before they are opened; a regular file is made, emptied or
// appended to as asked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "support/pipe_hang_guard.h"
#include "support/sandbox.h"

namespace fs = std::filesystem;

namespace {

using plat::WriteOpen;

// Writes `bytes` and flushes: 0, or the errno value of the failure.
int WriteAndFlush(std::FILE* file, const std::string& bytes) {
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fflush(file) != 0)
    return errno != 0 ? errno : -1;
  return 0;
}

// The first block device of /dev (a disk, a loop device), or "" when none.
std::string SomeBlockDevice() {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/dev", ec))
    if (entry.is_block_file(ec)) return entry.path();
  return {};
}

TEST(WriteOpenTest, WhatCannotTakeALogIsRefusedAtOnceAndSaidInWords) {
  TempFolder folder("write-open");
  ASSERT_EQ(mkfifo((folder / "pipe").c_str(), 0600), 0);
  fs::create_symlink(folder / "pipe", folder / "pipe-link");
  fs::create_directory(folder / "folder");
  const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (folder / "socket").c_str());
  ASSERT_EQ(bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  struct Row {
    std::string path;
    int error;
    const char* words;
  };
  std::vector<Row> rows = {
      {folder / "pipe", ENXIO, "a named pipe that nobody reads"},
      {folder / "pipe-link", ENXIO, "a named pipe that nobody reads"},
      {folder / "folder", EISDIR, "Is a directory"},
      {folder / "socket", ENXIO, "No such device or address"},
      {folder / "missing/log.txt", ENOENT, "No such file or directory"},
  };
  PipeHangGuard guard(folder / "pipe");
  if (const std::string disk = SomeBlockDevice(); !disk.empty())
    rows.push_back({disk, ENXIO, "No such device or address"});
  for (const Row& row : rows) {
    for (WriteOpen how : {WriteOpen::kReplace, WriteOpen::kAppend, WriteOpen::kAppendExisting}) {
      SCOPED_TRACE(row.path + " " + std::to_string(static_cast<int>(how)));
      errno = 0;
      std::FILE* file = plat::OpenForWriting(row.path, how);
      const int error = errno;
      EXPECT_EQ(file, nullptr);
      if (file != nullptr) std::fclose(file);
      EXPECT_EQ(error, row.error);
      EXPECT_EQ(plat::WriteFailureText(row.path, error), row.words);
    }
  }
  close(socket);
  EXPECT_TRUE(fs::is_fifo(folder / "pipe"));
  EXPECT_TRUE(fs::is_empty(folder / "folder"));
  EXPECT_FALSE(fs::exists(folder / "missing"));
  EXPECT_EQ(plat::WriteFailureText(folder / "log.txt", ENOSPC), "No space left on device");
  EXPECT_EQ(plat::WriteFailureText(folder / "log.txt", 0), "a write failed");
}

// A device takes the lines as a file does: /dev/null (a player's way to
// silence a log) through a link too; /dev/full opens and then fails the
// write as a full disk does.
TEST(WriteOpenTest, ADeviceTakesWhatIsWritten) {
  TempFolder folder("write-open");
  fs::create_symlink("/dev/null", folder / "Report_Game.txt");
  for (const std::string& path : {std::string("/dev/null"), folder / "Report_Game.txt"}) {
    for (WriteOpen how : {WriteOpen::kReplace, WriteOpen::kAppend, WriteOpen::kAppendExisting}) {
      SCOPED_TRACE(path);
      std::FILE* file = plat::OpenForWriting(path, how);
      ASSERT_NE(file, nullptr) << std::strerror(errno);
      EXPECT_EQ(WriteAndFlush(file, std::string(1 << 20, 'x')), 0);
      EXPECT_EQ(std::fclose(file), 0);
    }
  }
  EXPECT_TRUE(fs::is_symlink(folder / "Report_Game.txt")) << "the link stays";
  std::FILE* full = plat::OpenForWriting("/dev/full", WriteOpen::kReplace);
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(WriteAndFlush(full, "a line\n"), ENOSPC);
  std::fclose(full);
}

// A pipe someone reads gets every byte, in order, however much more than
// the pipe holds; one whose reader takes nothing more fails the write (after
// the bound), says so, and is closed without waiting again.
TEST(WriteOpenTest, APipeIsWrittenWhileItsReaderReads) {
  TempFolder folder("write-open");
  const std::string pipe = folder / "pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  std::string text;
  for (int i = 0; text.size() < (1 << 20); ++i) text += "line " + std::to_string(i) + "\n";
  std::FILE* file = plat::OpenForWriting(pipe, WriteOpen::kReplace);
  ASSERT_NE(file, nullptr) << std::strerror(errno);
  // Reading starts once the writer is there: a read of a pipe that no
  // writer holds open is its end.
  std::string received;
  std::thread reading([&] {
    const int flags = fcntl(reader, F_GETFL);
    fcntl(reader, F_SETFL, flags & ~O_NONBLOCK);
    char buffer[4096];
    while (received.size() < text.size()) {
      const ssize_t n = read(reader, buffer, sizeof buffer);
      if (n <= 0) break;
      received.append(buffer, static_cast<size_t>(n));
    }
  });
  EXPECT_EQ(WriteAndFlush(file, text), 0);
  EXPECT_EQ(std::fclose(file), 0);
  reading.join();
  EXPECT_TRUE(received == text) << received.size() << " of " << text.size() << " bytes read";

  // The reader is still there, and reads no more: the pipe fills, and the
  // write that finds no room for the bound fails.
  PipeHangGuard guard(pipe);
  file = plat::OpenForWriting(pipe, WriteOpen::kAppend);
  ASSERT_NE(file, nullptr) << std::strerror(errno);
  const int error = WriteAndFlush(file, text);
  EXPECT_EQ(error, EAGAIN);
  EXPECT_EQ(plat::WriteFailureText(pipe, error), "nothing was read from it for 2 seconds");
  EXPECT_EQ(WriteAndFlush(file, "more\n"), EAGAIN) << "failed at once, as it failed before";
  std::fclose(file);
  close(reader);
}

// A regular file is made, emptied or appended to as asked, and its stream
// blocks as any other.
TEST(WriteOpenTest, ARegularFileIsWrittenAsAsked) {
  TempFolder folder("write-open");
  const std::string log = folder / "log.txt";
  errno = 0;
  EXPECT_EQ(plat::OpenForWriting(log, WriteOpen::kAppendExisting), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(fs::exists(log)) << "only one that is there is appended to";
  const struct {
    WriteOpen how;
    const char* text;
    const char* after;
  } steps[] = {
      {WriteOpen::kReplace, "one\n", "one\n"},
      {WriteOpen::kAppend, "two\n", "one\ntwo\n"},
      {WriteOpen::kAppendExisting, "three\n", "one\ntwo\nthree\n"},
      {WriteOpen::kReplace, "four\n", "four\n"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.text);
    std::FILE* file = plat::OpenForWriting(log, step.how);
    ASSERT_NE(file, nullptr) << std::strerror(errno);
    EXPECT_EQ(fcntl(fileno(file), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_EQ(WriteAndFlush(file, step.text), 0);
    std::fclose(file);
    EXPECT_EQ(folder.Read("log.txt"), step.after);
  }
  errno = 0;
  EXPECT_EQ(plat::OpenForWriting(log, WriteOpen::kCreateNew), nullptr);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(folder.Read("log.txt"), "four\n");
}

}  // namespace

// A save killed before its rename leaves its temporary file beside the
// target; the next save in that folder removes such leftovers, and nothing
// else.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "data/user_records.h"
#include "platform/files.h"
#include "support/sandbox.h"

namespace {

namespace fs = std::filesystem;

std::string TempName(pid_t pid, const std::string& counter) {
  return ".~pelmora." + std::to_string(pid) + "." + counter + ".tmp";
}

// A child process saves the options with a file size limit of a few bytes:
// the kernel kills it (SIGXFSZ) in the middle of writing its temporary
// file, as a save killed before its rename. Returns the child's id (it is
// no longer running).
pid_t SaveKilledWhileWriting() {
  const pid_t pid = fork();
  if (pid == 0) {
    const rlimit noCore{0, 0}, tiny{4, 4};
    setrlimit(RLIMIT_CORE, &noCore);
    signal(SIGXFSZ, SIG_DFL);
    setrlimit(RLIMIT_FSIZE, &tiny);
    cOptionData options;
    SaveOptionFile(options, "user_data\\Option.dat");
    _exit(0);  // not reached: the write past the limit ends the process
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
  return pid;
}

// Sets a file's modification time `seconds` before now.
void Age(const std::string& path, int seconds) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const timespec then{now.tv_sec - seconds, 0};
  const timespec times[2] = {then, then};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

TEST(StaleTempFilesTest, TheNextSaveInTheFolderRemovesKilledWritesLeftoversAndNothingElse) {
  Sandbox box;
  fs::create_directories(box / "user_data/story");
  const pid_t dead = SaveKilledWhileWriting();
  // Its one file: the temporary one, named with the child's id.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(box / "user_data"))
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  ASSERT_EQ(names.size(), 1u);
  const std::string leftover = names[0];
  ASSERT_EQ(leftover.rfind(".~pelmora." + std::to_string(dead) + ".", 0), 0u) << leftover;

  // pid 1 always runs; this process's own files are writes in progress. The
  // names made by hand carry the id of another ended child, so that none
  // can be the leftover's own name.
  const pid_t running = 1, self = getpid();
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  enum Kind { kFile, kFolder, kLink };  // a link points at Story01.dat
  const struct {
    std::string name;
    int ageSeconds;  // made this long before now (this process began earlier than that for 0 only)
    Kind kind;
    bool stays;
  } rows[] = {
      {leftover, 0, kFile, false},
      {TempName(gone, "1200"), 0, kFile, false},
      {TempName(running, "3"), 3600, kFile, false},  // older than this process: its id went to another
      {TempName(running, "4"), 0, kFile, true},      // a write of a running process
      {TempName(self, "5"), 3600, kFile, true},
      {TempName(self, "999999"), 0, kFile, true},
      // Only that pattern, only plain files.
      {".~pelmora." + std::to_string(gone) + ".tmp", 3600, kFile, true},
      {".~pelmora." + std::to_string(gone) + ".x.tmp", 3600, kFile, true},
      {".~pelmora..1.tmp", 3600, kFile, true},
      {"~pelmora." + std::to_string(gone) + ".0.tmp", 3600, kFile, true},
      {TempName(gone, "1") + ".keep", 3600, kFile, true},
      {".~pelmora." + std::to_string(gone) + ".1.partial", 3600, kFile, true},
      {".~pelmora." + std::to_string(gone) + ".1.txt", 3600, kFile, true},
      {TempName(gone, "6"), 3600, kFolder, true},
      {TempName(gone, "8"), 0, kLink, true},
      {"Story01.dat", 3600, kFile, true},
  };
  for (const auto& row : rows) {
    const std::string path = box / ("user_data/" + row.name);
    if (row.kind == kFolder)
      fs::create_directory(path);
    else if (row.kind == kLink)
      fs::create_symlink("Story01.dat", path);
    else if (!fs::exists(path))
      box.Write("user_data/" + row.name, "x");
    if (row.ageSeconds > 0) Age(path, row.ageSeconds);
  }
  // A leftover in another folder waits for a save there.
  box.Write("user_data/story/" + TempName(gone, "7"), "x");

  cOptionData options;
  options.m_nSoundVolume = 3;
  ASSERT_TRUE(SaveOptionFile(options, "user_data\\Option.dat"));

  for (const auto& row : rows)
    EXPECT_EQ(fs::symlink_status(box / ("user_data/" + row.name)).type() != fs::file_type::not_found, row.stays)
        << row.name;
  EXPECT_TRUE(fs::exists(box / ("user_data/story/" + TempName(gone, "7"))));
  cOptionData loaded;
  EXPECT_EQ(loaded.LoadFromFile("user_data\\Option.dat"), 1);
  EXPECT_EQ(loaded.m_nSoundVolume, 3);
}

}  // namespace

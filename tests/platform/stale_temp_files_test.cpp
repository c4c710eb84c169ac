// A save killed before its rename leaves its temporary file beside the
// target; the next save in that folder removes such leftovers, and nothing
// else: never a temporary file that a save still writing holds, in this
// process or another, whatever process id its name carries.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <utility>
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

  // A write in progress holds a lock on its temporary file (here this
  // process takes it, as a writer does); whether it is held, not the process
  // id in its name, tells a write from a leftover. pid 1 always runs; the
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
    bool held;  // locked by a write in progress
    bool stays;
  } rows[] = {
      {leftover, 0, kFile, false, false},
      {TempName(gone, "1200"), 0, kFile, false, false},
      {TempName(running, "3"), 3600, kFile, false, false},  // older than this process: its id went to another
      {TempName(running, "4"), 0, kFile, true, true},       // a write of a running process
      {TempName(self, "5"), 3600, kFile, true, true},
      {TempName(self, "999999"), 0, kFile, true, true},
      // The id in the name does not make a write: one held under the id of
      // an ended process (another PID namespace's writer) stays; one that
      // nobody holds under a running process's id, or this one's, does not.
      {TempName(gone, "10"), 3600, kFile, true, true},
      {TempName(running, "11"), 0, kFile, false, false},
      {TempName(self, "12"), 0, kFile, false, false},
      // Only that pattern, only plain files.
      {".~pelmora." + std::to_string(gone) + ".tmp", 3600, kFile, false, true},
      {".~pelmora." + std::to_string(gone) + ".x.tmp", 3600, kFile, false, true},
      {".~pelmora..1.tmp", 3600, kFile, false, true},
      {"~pelmora." + std::to_string(gone) + ".0.tmp", 3600, kFile, false, true},
      {TempName(gone, "1") + ".keep", 3600, kFile, false, true},
      {".~pelmora." + std::to_string(gone) + ".1.partial", 3600, kFile, false, true},
      {".~pelmora." + std::to_string(gone) + ".1.txt", 3600, kFile, false, true},
      {TempName(gone, "6"), 3600, kFolder, false, true},
      {TempName(gone, "8"), 0, kLink, false, true},
      {"Story01.dat", 3600, kFile, false, true},
  };
  std::vector<int> locks;
  for (const auto& row : rows) {
    const std::string path = box / ("user_data/" + row.name);
    if (row.kind == kFolder)
      fs::create_directory(path);
    else if (row.kind == kLink)
      fs::create_symlink("Story01.dat", path);
    else if (!fs::exists(path))
      box.Write("user_data/" + row.name, "x");
    if (row.ageSeconds > 0) Age(path, row.ageSeconds);
    if (row.held) {
      locks.push_back(open(path.c_str(), O_RDONLY | O_CLOEXEC));
      ASSERT_EQ(flock(locks.back(), LOCK_EX | LOCK_NB), 0) << row.name;
    }
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

  // Once their writes let go of them, they are leftovers too.
  for (int fd : locks) close(fd);
  ASSERT_TRUE(SaveOptionFile(options, "user_data\\Option.dat"));
  for (const auto& row : rows)
    EXPECT_EQ(fs::symlink_status(box / ("user_data/" + row.name)).type() != fs::file_type::not_found,
              row.stays && !row.held)
        << row.name;
}

// The pipes of the writer held mid-write, in the child.
int g_reportPath = -1, g_waitForRelease = -1;

void HoldBeforeTheRename(plat::AtomicWriteStep step, const std::string& tempPath) {
  if (step != plat::AtomicWriteStep::kWritten) return;
  const std::string line = tempPath + "\n";
  if (write(g_reportPath, line.data(), line.size()) != static_cast<ssize_t>(line.size())) _exit(3);
  char ignored;
  while (read(g_waitForRelease, &ignored, 1) < 0 && errno == EINTR) continue;
}

// Another process saving `bytes` to `programPath` through the real writer,
// held after its temporary file is whole, before the rename, until
// Release() (then it renames and ends, status 0 when the save succeeded) or
// Kill(). Killed on destruction while it runs.
class HeldWriter {
 public:
  HeldWriter(const std::string& programPath, const std::string& bytes) {
    int up[2], down[2];
    if (pipe2(up, O_CLOEXEC) != 0 || pipe2(down, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(up[0]), close(down[1]);
      g_reportPath = up[1], g_waitForRelease = down[0];
      plat::SetAtomicWriteSeamForTest(HoldBeforeTheRename);
      _exit(plat::WriteFileAtomically(programPath, bytes.data(), bytes.size()) ? 0 : 1);
    }
    close(up[1]), close(down[0]);
    report_ = up[0], release_ = down[1];
  }
  ~HeldWriter() {
    if (pid_ > 0 && !reaped_) kill(pid_, SIGKILL), Wait();
    close(report_), close(release_);
  }
  // The temporary file's path as the writer named it; "" when it never got there.
  std::string TempPath() {
    std::string path;
    char c;
    while (read(report_, &c, 1) == 1 && c != '\n') path.push_back(c);
    return path;
  }
  int Release() {
    close(release_), release_ = -1;
    return Wait();
  }
  int Kill() {
    kill(pid_, SIGKILL);
    return Wait();
  }
  pid_t Pid() const { return pid_; }

 private:
  int Wait() {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) continue;
    reaped_ = true;
    return status;
  }
  pid_t pid_ = -1;
  int report_ = -1, release_ = -1;
  bool reaped_ = false;
};

// A save of another process, held before its rename, keeps its temporary
// file through this process's saves in the folder, even made older than
// this process (as a leftover of an earlier run would be). Let go, it
// renames its file into place; killed, its file is a leftover the next save
// removes.
TEST(StaleTempFilesTest, ASaveHeldMidWriteByAnotherProcessKeepsItsFileUntilItEnds) {
  for (const bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "killed" : "let go");
    Sandbox box;
    fs::create_directories(box / "user_data");
    box.Write("user_data/Story01.dat", "old");
    HeldWriter writer("user_data\\Story01.dat", "written by the other process");
    const std::string temp = writer.TempPath();
    ASSERT_EQ(temp.rfind("user_data/.~pelmora." + std::to_string(writer.Pid()) + ".", 0), 0u) << temp;
    Age(temp, 3600);

    cOptionData options;
    for (int save = 0; save < 2; ++save) ASSERT_TRUE(SaveOptionFile(options, "user_data\\Option.dat"));
    EXPECT_TRUE(fs::exists(temp));
    EXPECT_EQ(box.Read("user_data/Story01.dat"), "old");

    if (killed) {
      const int status = writer.Kill();
      EXPECT_TRUE(WIFSIGNALED(status)) << status;
      EXPECT_TRUE(fs::exists(temp));
      ASSERT_TRUE(SaveOptionFile(options, "user_data\\Option.dat"));
      EXPECT_FALSE(fs::exists(temp));
      EXPECT_EQ(box.Read("user_data/Story01.dat"), "old");
    } else {
      const int status = writer.Release();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
      EXPECT_FALSE(fs::exists(temp));
      EXPECT_EQ(box.Read("user_data/Story01.dat"), "written by the other process");
    }
    EXPECT_EQ(plat::ListDirectory("user_data"), (std::vector<std::string>{"Option.dat", "Story01.dat"}));
  }
}

// What the sweep below does between opening a temporary file and taking
// its lock: the held writer renames it into place and ends, and a new write
// in progress takes its name.
HeldWriter* g_writerToFinish = nullptr;
int g_newWriteLock = -1;

void FinishTheWriterAndReuseItsName(plat::AtomicWriteStep step, const std::string& tempPath) {
  if (step != plat::AtomicWriteStep::kSweepOpened || g_writerToFinish == nullptr) return;
  HeldWriter* writer = std::exchange(g_writerToFinish, nullptr);
  const int status = writer->Release();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  g_newWriteLock = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  EXPECT_EQ(flock(g_newWriteLock, LOCK_EX | LOCK_NB), 0);
}

// The lock the sweep takes is on the file it opened; it removes a name only
// while that name still names the file: not the finished file, which now
// has the target's name, nor a new write's file under the old name.
TEST(StaleTempFilesTest, TheSweepRemovesANameOnlyWhileItNamesTheFileItLocked) {
  Sandbox box;
  fs::create_directories(box / "user_data");
  HeldWriter writer("user_data\\Story01.dat", "finished");
  const std::string temp = writer.TempPath();
  ASSERT_FALSE(temp.empty());

  g_writerToFinish = &writer;
  plat::SetAtomicWriteSeamForTest(FinishTheWriterAndReuseItsName);
  cOptionData options;
  const bool saved = SaveOptionFile(options, "user_data\\Option.dat");
  plat::SetAtomicWriteSeamForTest(nullptr);
  ASSERT_TRUE(saved);
  ASSERT_EQ(g_writerToFinish, nullptr) << "the sweep never met the held file";

  EXPECT_EQ(box.Read("user_data/Story01.dat"), "finished");
  EXPECT_TRUE(fs::exists(temp)) << "the new write's file was taken";
  close(std::exchange(g_newWriteLock, -1));
  ASSERT_TRUE(SaveOptionFile(options, "user_data\\Option.dat"));
  EXPECT_EQ(plat::ListDirectory("user_data"), (std::vector<std::string>{"Option.dat", "Story01.dat"}));
}

// A sweep may meet a temporary file just created, before its writer locks
// it, and remove it as a leftover: the writer sees its name gone and writes
// under another, and the save succeeds whole.
bool g_sweepOnCreation = false;

void SaveInTheFolderOnCreation(plat::AtomicWriteStep step, const std::string&) {
  if (step != plat::AtomicWriteStep::kCreated || !std::exchange(g_sweepOnCreation, false)) return;
  EXPECT_TRUE(plat::WriteFileAtomically("user_data\\Other.dat", "other", 5));
}

TEST(StaleTempFilesTest, AFileSweptBeforeItsWriterLockedItIsWrittenAgainUnderAnotherName) {
  Sandbox box;
  fs::create_directories(box / "user_data");
  box.Write("user_data/Story01.dat", "old");
  g_sweepOnCreation = true;
  plat::SetAtomicWriteSeamForTest(SaveInTheFolderOnCreation);
  const bool saved = plat::WriteFileAtomically("user_data\\Story01.dat", "new", 3);
  plat::SetAtomicWriteSeamForTest(nullptr);
  EXPECT_FALSE(g_sweepOnCreation) << "the seam was not reached";
  EXPECT_TRUE(saved);
  EXPECT_EQ(box.Read("user_data/Story01.dat"), "new");
  EXPECT_EQ(box.Read("user_data/Other.dat"), "other");
  EXPECT_EQ(plat::ListDirectory("user_data"), (std::vector<std::string>{"Other.dat", "Story01.dat"}));
}

}  // namespace

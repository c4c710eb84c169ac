// Every file the game writes for the player, where it cannot be written:
// the writer answers false, the file is left as it was, and the report log
// gets one line naming the file and why (what the player sees, a box or
// none, is the callers' and stays as it is).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "data/rankings.h"
#include "data/replay_file.h"
#include "data/save_slots.h"
#include "data/settings.h"
#include "data/stage_data.h"
#include "data/system_data.h"
#include "data/user_records.h"
#include "data/window_position.h"
#include "support/sandbox.h"

namespace {

namespace fs = std::filesystem;

// Occurrences of `line` as a whole line of `text`.
size_t CountLines(const std::string& text, const std::string& line) {
  size_t count = 0;
  for (size_t at = text.find(line + "\n"); at != std::string::npos; at = text.find(line + "\n", at + 1))
    count += at == 0 || text[at - 1] == '\n';
  return count;
}

size_t CountWrittenFailures(const std::string& text) {
  size_t count = 0;
  for (size_t at = text.find(" cannot be written ("); at != std::string::npos;
       at = text.find(" cannot be written (", at + 1))
    ++count;
  return count;
}

// A play record as the slot files take one.
class cPlayRecord : public cSaveRecordBase {
 public:
  cPlayRecord() { Clear(); }
  PELMORA_RECORD_CLASS(cPlayRecord)
  void DefineFields(int32_t) override {
    ClearDeclarations();
    Declare(m_nLives);
  }
  void ApplyLivesRule(int32_t, int32_t) override {}
  int32_t m_nLives = 3;
};

// One writer of a player's file: its program path and the write.
struct Writer {
  const char* name;
  const char* path;  // under user_data\, as the game names it
  std::function<bool()> write;
};

std::vector<Writer> Writers() {
  return {
      {"save slot", "user_data\\story\\Story03.dat",
       [] {
         cPlayRecord record;
         cSaveSlotList list;
         return SaveSlot(record, list, 2) == SlotResult::kOk;
       }},
      {"challenge progress", "user_data\\challenge\\Challenge.dat",
       [] {
         cPlayRecord record;
         return SaveChallengeProgress(record) == SlotResult::kOk;
       }},
      {"options", "user_data\\Option.dat",
       [] {
         cOptionData options;
         return SaveOptionFile(options, "user_data\\Option.dat");
       }},
      {"ranking", "user_data\\story\\c01.rkg",
       [] {
         cRankingFile ranking;
         return ranking.SaveFile("user_data\\story\\c01.rkg");
       }},
      {"replay", "user_data\\rpl4\\s.rpl4_873",
       [] {
         cKeyLog log;
         log.AddFrame(1, 0);
         cStageData stage, settings;
         cOptionData snapshot;
         return SaveReplay(log, "user_data\\rpl4\\s.rpl4_873", stage, settings, snapshot);
       }},
      {"boot record", "user_data\\Boot.dat", [] { return cBootRecord().SaveToFile("user_data\\Boot.dat") == 1; }},
      {"window", "user_data\\Window.dat", [] { return cWindowPosition().SaveToFile("user_data\\Window.dat") == 1; }},
      {"settings", "user_data\\System.ini",
       [] { return WriteDefaultSystemIni("user_data\\System.ini", SystemData.m_Keys); }},
  };
}

// user_data is a file, so nothing can be made under it (this holds for
// root too, whom permissions do not stop): every writer fails, names its
// file and says why, once.
TEST(PlayerFileWritesTest, EachFileThatCannotBeWrittenIsNamedInTheLogWithWhyOnce) {
  Sandbox box;
  box.Write("user_data", "a file where the folder should be");
  for (const Writer& writer : Writers()) {
    SCOPED_TRACE(writer.name);
    const size_t before = box.Report().size();
    EXPECT_FALSE(writer.write());
    // The one line, and nothing more.
    EXPECT_EQ(box.Report().substr(before), std::string(writer.path) + " cannot be written (Not a directory)\n");
  }
  EXPECT_EQ(box.Read("user_data"), "a file where the folder should be");
}

// The same writers where they can write: no line.
TEST(PlayerFileWritesTest, AFileWrittenWholeAddsNoLine) {
  Sandbox box;
  fs::create_directories(box / "user_data");
  for (const Writer& writer : Writers()) {
    SCOPED_TRACE(writer.name);
    EXPECT_TRUE(writer.write());
    std::string linux = writer.path;
    for (char& c : linux) c = c == '\\' ? '/' : c;
    EXPECT_TRUE(fs::is_regular_file(box / linux));
  }
  EXPECT_EQ(CountWrittenFailures(box.Report()), 0u) << box.Report();
}

// Why, for each way a file cannot be written: the system's words, or what
// stands at the file's place. The file that stood there stays as it was.
TEST(PlayerFileWritesTest, TheReasonIsTheOneThatStoppedTheWrite) {
  const struct {
    const char* name;
    std::function<void(Sandbox&)> arrange;
    const char* why;
    bool asUserOnly;  // root is not stopped by permissions
  } rows[] = {
      {"a folder in its place", [](Sandbox& box) { fs::create_directories(box / "user_data/Option.dat"); },
       "Is a directory", false},
      {"a named pipe in its place",
       [](Sandbox& box) {
         fs::create_directories(box / "user_data");
         ASSERT_EQ(::mkfifo((box / "user_data/Option.dat").c_str(), 0600), 0);
       },
       "it is not a regular file", false},
      {"a link to a device",
       [](Sandbox& box) {
         fs::create_directories(box / "user_data");
         fs::create_symlink("/dev/full", box / "user_data/Option.dat");
       },
       "it is not a regular file", false},
      {"a read-only folder",
       [](Sandbox& box) {
         box.Write("user_data/Option.dat", "old");
         fs::permissions(box / "user_data", fs::perms::owner_read | fs::perms::owner_exec);
       },
       "Permission denied", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.asUserOnly && ::geteuid() == 0) continue;
    Sandbox box;
    row.arrange(box);
    cOptionData options;
    EXPECT_FALSE(SaveOptionFile(options, "user_data\\Option.dat"));
    EXPECT_EQ(CountLines(box.Report(), std::string("user_data\\Option.dat cannot be written (") + row.why + ")"), 1u)
        << box.Report();
    fs::permissions(box / "user_data", fs::perms::owner_all);
  }
}

// A disk that fills up half-way through the file (a file-size limit, in a
// child process: the limit is the whole process's). The log's line still
// fits under it.
TEST(PlayerFileWritesTest, AFullDiskIsSaidToBeTheReason) {
  Sandbox box;
  fs::create_directories(box / "user_data/story");
  const std::string line = "user_data\\story\\c01.rkg cannot be written (File too large)\n";
  const size_t whole = cRankingFile().SaveToBytes().size();
  const size_t logged = box.Report().size() + line.size();
  ASSERT_LT(logged, whole);
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{static_cast<rlim_t>(whole - 1), static_cast<rlim_t>(whole - 1)};
    setrlimit(RLIMIT_FSIZE, &limit);
    cRankingFile ranking;
    _exit(ranking.SaveFile("user_data\\story\\c01.rkg") ? 1 : 0);
  }
  int status = -1;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(CountLines(box.Report(), line.substr(0, line.size() - 1)), 1u) << box.Report();
  EXPECT_FALSE(fs::exists(box / "user_data/story/c01.rkg"));
}

}  // namespace

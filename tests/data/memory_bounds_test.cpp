// Memory bounded by the input: hostile and hand-made files, written by the
// independent Python writer, are loaded or refused by `pelmora-tool check`
// with a peak memory (measured by the kernel for the child process) under
// 8 times their size plus 64 MB; a load that runs out of memory fails with
// its message and the program goes on.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/sandbox.h"
#include "base/program.h"
#include "base/logs.h"
#include "data/common_palette.h"
#include "data/database.h"
#include "data/stage_data.h"
#include "data/stage_load.h"
#include "data/system_data.h"
#include "data/user_records.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "support/project_files.h"
#include "support/test_files.h"

#if defined(__SANITIZE_ADDRESS__)
#define PELMORA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PELMORA_ASAN 1
#endif
#endif

namespace {

constexpr size_t kMegabyte = 1 << 20;
// AddressSanitizer pads every allocation and holds freed memory back for a
// while: peaks measured there say nothing about the program's own, and the
// memory bounds are checked in the other builds.
#ifdef PELMORA_ASAN
constexpr bool kPeaksMeaningful = false;
#else
constexpr bool kPeaksMeaningful = true;
#endif
constexpr int kHostileMegabytes = 32;
// A child still running after this long hangs: it is ended by SIGALRM. Far
// past what any run takes, however loaded the machine and whatever the build.
constexpr unsigned kHangGuardSeconds = 150;

struct ChildRun {
  bool exited = false;  // false: killed (by the hang guard's alarm or a crash)
  // The kernel counts a forked child's peak from the parent's pages it
  // started with: a peak at or below the parent's own says nothing of the
  // tool (the test process may have grown in earlier tests of the run).
  size_t parentPeakBytes = 0;
  bool PeakJudges(size_t limit) const { return kPeaksMeaningful && parentPeakBytes < limit; }
  int code = -1;
  int signal = 0;
  size_t peakBytes = 0;
  std::string output;  // stdout and stderr
};

// Runs pelmora-tool with `args` in a child process, ended if it hangs; its
// peak resident memory from the kernel.
ChildRun RunTool(const std::vector<std::string>& args, const std::string& outputFile) {
  std::vector<char*> argv;
  std::string tool = PELMORA_TOOL;
  argv.push_back(tool.data());
  std::vector<std::string> copies = args;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  ChildRun run;
  {
    struct rusage self {};
    getrusage(RUSAGE_SELF, &self);
    run.parentPeakBytes = static_cast<size_t>(self.ru_maxrss) * 1024;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    int fd = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    dup2(fd, 2);
    alarm(kHangGuardSeconds);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  run.exited = WIFEXITED(status);
  run.code = run.exited ? WEXITSTATUS(status) : -1;
  run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  run.peakBytes = static_cast<size_t>(usage.ru_maxrss) * 1024;
  run.output = Slurp(outputFile);
  return run;
}

class HostileFilesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/pelmora-hostile-XXXXXX";
    dir_ = mkdtemp(pattern);
    const std::string command = "python3 " PELMORA_SOURCE_DIR "/tests/data/project_writer.py " + dir_ + " --hostile " +
                                std::to_string(kHostileMegabytes);
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(dir_); }
  static std::string Path(const std::string& name) { return dir_ + "/hostile/" + name; }
  static std::string dir_;
};
std::string HostileFilesTest::dir_;

struct HostileCase {
  const char* file;
  int exitCode;          // 0 loaded, 1 refused
  const char* says;      // in the tool's output
  size_t limitBytes;     // 0: 8 times the size plus 64 MB
};

TEST_F(HostileFilesTest, LoadedOrRefusedWithinEightTimesTheirSize) {
  const HostileCase cases[] = {
      // One type's 20,000 flows taken by 400 types: shared, not copied.
      {"inherit_flows.stg4_1", 0, "characters 402 (flows 8020000)", 100 * kMegabyte},
      {"inherit_commands.stg4_1", 0, "items 402 (commands 8020000)", 100 * kMegabyte},
      // Counts the bytes after them cannot hold, or junk where they say.
      {"conditions_beyond.stg4_1", 1, "not a readable stage file", 0},
      {"conditions_junk.stg4_1", 1, "not a readable stage file", 0},
      {"palette_count.stg4_1", 1, "more memory than a file of its size may", 0},
      {"placed_count.stg4_1", 1, "not a readable stage file", 0},
      // Valid: millions of empty texts; animation sets without the four
      // default animations a new set has.
      {"empty_texts.stg4_1", 0, "texts 2796079", 0},
      {"db/AnimeSet.dat", 0, "elements 1198372", 0},
      // Millions of entries that declare nothing: more than the allowance.
      {"db/SwordType.dat", 1, "more memory than a file of its size may", 0},
  };
  for (const HostileCase& c : cases) {
    const std::string path = Path(c.file);
    const size_t size = std::filesystem::file_size(path);
    const ChildRun run = RunTool({"check", path}, dir_ + "/out.txt");
    ASSERT_TRUE(run.exited) << c.file << ": killed by signal " << run.signal << " (14: the hang guard ended it)";
    EXPECT_EQ(run.code, c.exitCode) << c.file << ": " << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << c.file << ": " << run.output;
    const size_t limit = c.limitBytes ? c.limitBytes : 8 * size + 64 * kMegabyte;
    if (run.PeakJudges(limit)) {
      EXPECT_LT(run.peakBytes, limit) << c.file << ": " << run.peakBytes / kMegabyte << " MB for " << size / kMegabyte
                                      << " MB";
    }
  }
}

TEST_F(HostileFilesTest, InheritedFlowsResaveAsTheFormatSays) {
  const std::string out = dir_ + "/resaved.stg4_1";
  WriteDefaultProject(dir_ + "/project");
  const ChildRun run =
      RunTool({"resave", Path("inherit_flows.stg4_1"), out, "--project", dir_ + "/project"}, dir_ + "/out.txt");
  ASSERT_TRUE(run.exited) << run.signal;
  ASSERT_EQ(run.code, 0) << run.output;
  // 400 types each holding the 20,000 flows: hundreds of megabytes written
  // while little more than the stage itself is in memory.
  EXPECT_GT(std::filesystem::file_size(out), 250 * kMegabyte);
  if (run.PeakJudges(100 * kMegabyte)) {
    EXPECT_LT(run.peakBytes, 100 * kMegabyte);
  }
  const std::string command =
      "python3 " PELMORA_SOURCE_DIR "/tests/data/project_writer.py " + out + " --check-inherited-resave";
  EXPECT_EQ(std::system(command.c_str()), 0);
  // And it loads again, within the same bound as any file.
  const ChildRun again = RunTool({"check", out}, dir_ + "/out.txt");
  EXPECT_EQ(again.code, 0) << "signal " << again.signal << "; " << again.output;
  const size_t againLimit = 8 * std::filesystem::file_size(out) + 64 * kMegabyte;
  if (again.PeakJudges(againLimit)) {
    EXPECT_LT(again.peakBytes, againLimit);
  }
  std::filesystem::remove(out);
}

TEST_F(HostileFilesTest, VersionsAreShownUnsigned) {
  const std::string path = dir_ + "/future.stg4_1";
  std::ofstream(path, std::ios::binary) << std::string("\x1a\xf1\xd8\xcd\0\0\0\0", 8);
  const ChildRun run = RunTool({"check", path}, dir_ + "/out.txt");
  EXPECT_EQ(run.code, 1);
  // A word that large is no version a newer program wrote: shown unsigned all the same.
  EXPECT_NE(run.output.find("its first word (3453546778) is no data version"), std::string::npos) << run.output;
}

// The stage-loading thread's body on a process whose address space ends
// soon after what it has mapped: the load fails, the working stage is as it
// was, and the process goes on to exit normally. The load runs in a new copy
// of this program (started by the test below, before any test of its own):
// a process forked from this one would hold the free heap that earlier tests
// left, and the load could fit in it.
constexpr char kSmallAddressSpaceStage[] = "PELMORA_TEST_LOAD_IN_SMALL_ADDRESS_SPACE";

// The new copy's status when the load failed for want of memory and changed
// nothing (not 0, which the copy would give if it ran no load at all); 2: no
// limit could be set; 3: the load did not fail for want of memory.
constexpr int kFailedCleanly = 10;
int LoadInSmallAddressSpace(const char* path) {
  size_t mapped = 0;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmSize:", 0) == 0) mapped = std::stoul(line.substr(7)) * 1024;
  // Room for the loader thread's stack and the file, not for the texts.
  struct rlimit limit {};
  limit.rlim_cur = limit.rlim_max = mapped + 96 * kMegabyte;
  if (mapped == 0 || setrlimit(RLIMIT_AS, &limit) != 0) return 2;
  StageData.m_strName = "before";
  StageData.m_strLoadedPath = path;
  StageData.m_bLoaded = 0;
  bool outOfMemory = false;
  std::thread loader([&] {
    LoadStageThread(nullptr);
    outOfMemory = nLastLoadFailure == LoadFailure::kOutOfMemory;
  });
  loader.join();
  const bool clean = outOfMemory && StageData.m_bLoaded == 0 && StageData.m_strName == "before";
  return clean ? kFailedCleanly : 3;
}

class SmallAddressSpaceRun : public ::testing::Environment {
 public:
  void SetUp() override {
    if (const char* path = std::getenv(kSmallAddressSpaceStage)) _exit(LoadInSmallAddressSpace(path));
  }
};
[[maybe_unused]] ::testing::Environment* const kSmallAddressSpaceRun =
    ::testing::AddGlobalTestEnvironment(new SmallAddressSpaceRun);

TEST_F(HostileFilesTest, StageLoaderThreadOutOfAddressSpaceFails) {
#ifdef PELMORA_ASAN
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no address-space limit can be set; "
                  "the simulated exhaustion of OutOfMemoryTest covers this build";
#else
  ASSERT_EQ(std::getenv(kSmallAddressSpaceStage), nullptr) << "the new copy ran this test instead of the load";
  // Everything the new copy needs is made before the fork: this process has
  // threads, and its child only calls exec.
  const std::string variable = std::string(kSmallAddressSpaceStage) + "=";
  std::vector<std::string> variables;
  for (char** v = environ; *v; ++v)
    if (!std::string_view(*v).starts_with(variable)) variables.emplace_back(*v);
  variables.push_back(variable + Path("empty_texts.stg4_1"));
  std::vector<char*> envp;
  for (std::string& v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);
  std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
  // The copy runs the global set-ups only when a test is to run: this one,
  // which it leaves before the set-up of the test's suite.
  const ::testing::TestInfo* self = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string thisTest = std::string("--gtest_filter=") + self->test_suite_name() + "." + self->name();
  char* argv[] = {program.data(), thisTest.data(), nullptr};
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(kHangGuardSeconds);
    execve(argv[0], argv, envp.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), kFailedCleanly) << "0: no load ran; 2: no limit could be set; 3: the load did not "
                                                    "fail for want of memory; 127: the program did not start";
#endif
}

// Every load with the heap running out part-way (simulated, so sanitizer
// builds take the same path): the load fails with its message, the record
// keeps what it had, and the next load works.
class OutOfMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedDatabase_ = Database;
    savedStage_ = StageData;
  }
  void TearDown() override {
    SimulateOutOfMemoryAfter(SIZE_MAX);
    Database = savedDatabase_;
    StageData = savedStage_;
  }
  void Write(const std::string& relative, const std::string& bytes) { sandbox_.Write(relative, bytes); }
  Sandbox sandbox_{"ok;ok;ok;ok"};
  const std::string dir_ = sandbox_.Folder().Path();
  cDatabase savedDatabase_;
  cStageData savedStage_;
};

// A stage with a hero and enough in it that the load charges a few hundred
// kilobytes.
cStageData BusyStage() {
  cStageData s;
  s.Int(kStageWidth) = 20;
  s.Int(kStageHeight) = 15;
  s.m_PlacedCharacters.resize(1);
  s.m_PlacedCharacters[0].m_nGraphic = 3;
  s.m_PlacedCharacters[0].m_nControl = 0;
  s.m_Texts.resize(20000);
  return s;
}

TEST_F(OutOfMemoryTest, RecordLoadsFailAndTheNextOneWorks) {
  cSystemData system;
  system.m_Texts.resize(20000);
  cOptionData option;
  option.m_strRankingName = std::string(4000, 'n');
  cCommonPalette palette;
  palette.m_Characters.resize(3000);
  cWorldMap map;
  map.m_Groups.resize(3000);
  struct Case {
    const char* name;
    std::string bytes;
    std::unique_ptr<cRecord> record;
  };
  Case cases[] = {{"stage", BusyStage().SaveToBytes(), std::make_unique<cStageData>()},
                  {"system data", system.SaveToBytes(), std::make_unique<cSystemData>()},
                  {"option record", option.SaveToBytes(), std::make_unique<cOptionData>()},
                  {"common palette", palette.SaveToBytes(), std::make_unique<cCommonPalette>()},
                  {"world map", map.SaveToBytes(), std::make_unique<cWorldMap>()}};
  for (Case& c : cases) {
    const std::string before = c.record->SaveToBytes();
    SimulateOutOfMemoryAfter(1000);
    EXPECT_FALSE(c.record->LoadFromBytes(c.bytes)) << c.name;
    EXPECT_EQ(nLastLoadFailure, LoadFailure::kOutOfMemory) << c.name;
    EXPECT_EQ(c.record->SaveToBytes(), before) << c.name;
    SimulateOutOfMemoryAfter(SIZE_MAX);
    EXPECT_TRUE(c.record->LoadFromBytes(c.bytes)) << c.name;
  }
}

TEST_F(OutOfMemoryTest, StageLoaderThreadFailsWithTheStageMessage) {
  Write("data/stg4/busy.stg4_1", BusyStage().SaveToBytes());
  StageData = cStageData();
  StageData.m_strName = "before";
  SimulateOutOfMemoryAfter(1000);
  EXPECT_EQ(StartStage("data\\stg4\\busy.stg4_1", 0, nullptr, nullptr), 0);
  EXPECT_EQ(StageData.m_strName, "before");
  EXPECT_NE(Slurp(dir_ + "/dialogs.log").find("ステージファイル data\\stg4\\busy.stg4_1 の読み込みに失敗しました！"),
            std::string::npos);
  SimulateOutOfMemoryAfter(SIZE_MAX);
  cStageData master;
  EXPECT_EQ(StartStage("data\\stg4\\busy.stg4_1", 0, &master, nullptr), 1);
  EXPECT_EQ(master.m_Texts.size(), 20000u);
}

TEST_F(OutOfMemoryTest, DatabaseLoadStopsAtTheFileAndReportsIt) {
  // The default lists, and animations enough to run out on the second file.
  cDatabase lists;
  lists.m_Animes = cSafeVector<cAnimeRecord>(5000);
  WriteDatabaseFiles(dir_, lists);
  SimulateOutOfMemoryAfter(20000);
  EXPECT_EQ(LoadDatabase(), 0);
  EXPECT_NE(Slurp(dir_ + "/Report_Game.txt").find("data\\database\\Anime.dat の読み込みに失敗しました！"),
            std::string::npos);
  EXPECT_EQ(Database.m_Animes.size(), savedDatabase_.m_Animes.size());
  SimulateOutOfMemoryAfter(SIZE_MAX);
  EXPECT_EQ(LoadDatabase(), 1);
  EXPECT_EQ(Database.m_Animes.size(), 5000u);
}

}  // namespace

// The built program as a process: start in an empty folder, termination
// signals, a second copy, the editor's notifications.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/project_files.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

// The programs run in real time on a machine that may be busy: a wait ends
// when its condition holds, and only a hang (a minute) makes it fail.
constexpr int kHangMs = 60000;

template <class Pred>
bool WaitUntil(Pred pred, int timeoutMs = kHangMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directory(root_ / "run"); }
  void TearDown() override {
    for (pid_t pid : children_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }

  // Starts the game in folder `name` (created) with extra environment (which
  // overrides the defaults).
  pid_t Launch(const std::string& name, std::vector<std::string> extra, std::vector<std::string> args = {}) {
    fs::path folder = root_ / name;
    fs::create_directories(folder);
    if (!fs::exists(folder / "System.ini")) WriteMinimalProject(folder.string());
    // The game opens a sound device (SDL's silent driver), whatever an
    // in-process test before left in this process's environment.
    std::vector<std::string> env{"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy", "PELMORA_AUDIO=",
                                 "PELMORA_RUNTIME_DIR=" + (root_ / "run").string(),
                                 "PELMORA_DIALOG_LOG=" + (root_ / (name + ".dialogs")).string()};
    env.insert(env.end(), extra.begin(), extra.end());
    pid_t pid = fork();
    if (pid == 0) {
      if (chdir(folder.c_str()) != 0) _exit(127);
      for (auto& e : env) putenv(e.data());
      int devnull = open("/dev/null", O_WRONLY);
      dup2(devnull, 1);
      std::vector<char*> argv{const_cast<char*>(PELMORA_EXE)};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(PELMORA_EXE, argv.data());
      _exit(127);
    }
    children_.push_back(pid);
    return pid;
  }

  // Exit status of `pid` within timeoutMs, or -1 (still running).
  int WaitExit(pid_t pid, int timeoutMs = kHangMs) {
    int status = 0;
    bool done = WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs);
    if (!done) return -1;
    children_.erase(std::remove(children_.begin(), children_.end(), pid), children_.end());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // The game has its window (the registration a second copy looks for).
  bool WaitReady() {
    return WaitUntil([&] { return fs::exists(root_ / "run" / "Pelmora.window"); });
  }

  TempFolder folder_{"process"};
  fs::path root_ = folder_.Path();
  std::vector<pid_t> children_;
};

// A second copy asks; "no" leaves the first running, "yes" ends the first
// (SIGTERM: its own orderly shutdown, exit code 0; one that takes longer
// than the half second it is given, as on a busy machine, is killed) and
// plays on.
TEST_F(ProcessTest, SecondCopyAsksWhetherToEndTheFirst) {
  for (const char* answer : {"no", "yes"}) {
    SCOPED_TRACE(answer);
    const bool yes = answer[0] == 'y';
    pid_t first = Launch("first", {});
    ASSERT_TRUE(WaitReady());
    pid_t second = Launch("second", {std::string("PELMORA_DIALOG_ANSWERS=") + answer});
    const int ended = WaitExit(yes ? first : second);
    if (yes)
      EXPECT_TRUE(ended == 0 || ended == 128 + SIGKILL) << ended;
    else
      EXPECT_EQ(ended, 0);
    std::string log = Slurp(root_ / "second.dialogs");
    EXPECT_NE(log.find("二重起動\t既に起動しています。\\n実行中のプログラムを閉じて再起動しますか？"), std::string::npos) << log;
    EXPECT_NE(log.find(std::string("\t") + answer), std::string::npos);
    if (yes) {
      EXPECT_TRUE(WaitReady());  // the second with its own window
    }
    pid_t survivor = yes ? second : first;
    EXPECT_EQ(WaitExit(survivor, 0), -1);  // still running
    kill(survivor, SIGTERM);
    EXPECT_EQ(WaitExit(survivor), 0);
  }
}

// A running copy that does not answer (stopped: the request to close waits
// until it runs again) is killed after its half second. The second copy
// plays on, and its Report_Game.txt says what it did to the first.
TEST_F(ProcessTest, ASecondCopyThatKillsTheFirstSaysSoInItsLog) {
  pid_t first = Launch("first", {});
  ASSERT_TRUE(WaitReady());
  ASSERT_EQ(kill(first, SIGSTOP), 0);
  pid_t second = Launch("second", {"PELMORA_DIALOG_ANSWERS=yes"});
  EXPECT_EQ(WaitExit(first), 128 + SIGKILL);
  const std::string line = "\nSecond copy : the running copy (process " + std::to_string(first) +
                           ") did not close within 500 ms of the request (SIGTERM) and was killed (SIGKILL): what "
                           "it had not saved is lost\n";
  const fs::path log = root_ / "second" / "Report_Game.txt";
  EXPECT_TRUE(WaitUntil([&] { return Slurp(log).find(line) != std::string::npos; })) << Slurp(log);
  // The second copy with its own window.
  EXPECT_TRUE(WaitUntil([&] { return Slurp(root_ / "run" / "Pelmora.window") == std::to_string(second); }));
  kill(second, SIGTERM);
  EXPECT_EQ(WaitExit(second), 0);
  const std::string text = Slurp(log);
  EXPECT_EQ(text.find("Second copy"), text.rfind("Second copy")) << "one line, the one above: " << text;
}

// A second copy in the same folder that the player declines to start writes
// nothing: the running game's report log keeps every line, also one the
// test added after the first copy's own.
TEST_F(ProcessTest, DeclinedSecondCopyLeavesTheRunningGamesLogAlone) {
  pid_t first = Launch("game", {});
  ASSERT_TRUE(WaitReady());
  const fs::path log = root_ / "game" / "Report_Game.txt";
  ASSERT_TRUE(WaitUntil([&] { return Slurp(log).find("App : ver 873") == 0; }));
  {
    std::FILE* f = std::fopen(log.c_str(), "a");
    ASSERT_NE(f, nullptr);
    std::fputs("marker of the running copy\n", f);
    std::fclose(f);
  }
  pid_t second = Launch("game", {"PELMORA_DIALOG_ANSWERS=no", "PELMORA_DIALOG_LOG=" + (root_ / "second.dialogs").string()});
  EXPECT_EQ(WaitExit(second), 0);
  EXPECT_NE(Slurp(root_ / "second.dialogs").find("二重起動"), std::string::npos);
  const std::string after = Slurp(log);
  EXPECT_EQ(after.find("App : ver 873"), 0u) << after;
  EXPECT_NE(after.find("marker of the running copy\n"), std::string::npos) << after;
  EXPECT_EQ(after.find("App : ver 873", 1), std::string::npos) << "the second copy wrote its start line";
  kill(first, SIGTERM);
  EXPECT_EQ(WaitExit(first), 0);
}

TEST_F(ProcessTest, EditorIsToldOfTheStartAndOfTheWindowsEnd) {
  int sock = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string path = (root_ / "run" / "Pelmora_Editor.sock").string();
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  timeval tv{kHangMs / 1000, 0};
  setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);

  pid_t pid = Launch("game", {}, {"--show-command=5"});
  // Each notice: the window (8 bytes, 0 once it has gone), the kind (4),
  // the size of the value (4, always 4) and the value (4).
  struct Notice {
    uint64_t window;
    uint32_t kind, size;
    int32_t value;
  };
  auto receive = [&] {
    unsigned char buf[64];
    Notice n{};
    EXPECT_EQ(recv(sock, buf, sizeof buf, 0), 20);
    std::memcpy(&n.window, buf, 8), std::memcpy(&n.kind, buf + 8, 4);
    std::memcpy(&n.size, buf + 12, 4), std::memcpy(&n.value, buf + 16, 4);
    return n;
  };
  Notice start = receive();
  EXPECT_NE(start.window, 0u);
  EXPECT_EQ(std::vector<uint32_t>({start.kind, start.size, uint32_t(start.value)}), std::vector<uint32_t>({1, 4, 1}));
  ASSERT_TRUE(WaitReady());
  kill(pid, SIGTERM);
  Notice end = receive();
  EXPECT_EQ(std::vector<uint64_t>({end.window, end.kind, end.size, uint64_t(end.value)}),
            std::vector<uint64_t>({0, 0, 4, 1}));
  EXPECT_EQ(WaitExit(pid), 0);  // SIGTERM ends the game in order
  EXPECT_FALSE(fs::exists(root_ / "run" / "Pelmora.window"));
  close(sock);
}

// Each failure of start-up shows its message and the program ends in order
// (the window's registration gone) with the exit code of a failed start, 1
// (in the sanitizer build a leak would change the exit code). A folder that
// is not a project (no data, no default data) is one of them, and so is a
// title picture that is missing or damaged when the title comes first.
TEST_F(ProcessTest, EachStartUpFailureShowsItsMessageAndEndsInOrder) {
  struct Row {
    const char* name;
    // Removed from the project ("*": no project, only a System.ini;
    // "*default": that and an empty default data folder).
    const char* missingFile;
    const char* iniLines;
    std::string env;
    std::string message;  // the box's text in the dialog transcript
    const char* damagedFile = "";  // overwritten with bytes that are no picture
  };
  // A font configuration with no fonts in it: no face can be had.
  const std::string noFonts = (root_ / "no-fonts.conf").string();
  std::ofstream(noFonts) << "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n";
  const Row rows[] = {
      {"database", "data/database/Sound.dat", "", "", "データベースの読み込みに失敗…"},
      {"system", "data/System.dat", "", "", "data\\System.dat の読み込みに失敗しました！"},
      {"display", "", "Direct3D=1\nBpp=8\n", "", "画面モードが不正です！\\nSystem.iniと画面の設定を見直して下さい！"},
      {"fonts", "", "", "FONTCONFIG_FILE=" + noFonts, "フォントの作成に失敗しました！"},
      {"worldmap", "data/WorldMap.dat", "", "", "data\\WorldMap.dat のロードに失敗！"},
      {"title missing", "bmp/Title.bmp", "", "", "bmp\\Title.bmp の読み込みに失敗！"},
      {"title damaged", "", "", "", "bmp\\Title.bmp の読み込みに失敗！", "bmp/Title.bmp"},
      {"not a project", "*", "", "",
       "このフォルダにゲームがありません：\\n" + (root_ / "not a project").string() +
           "\\n「data」フォルダも、それを作る元の\\n「default」フォルダもありません。\\n"
           "ゲームのプロジェクトフォルダで起動して下さい。"},
      {"default data declined", "*default", "", "PELMORA_DIALOG_ANSWERS=no;ok",
       "「data」フォルダの作成に失敗…\\n「default」フォルダに問題がある可能性があります。"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::path folder = root_ / row.name;
    fs::create_directories(folder);
    if (row.missingFile[0] == '*') {
      std::ofstream(folder / "System.ini") << "Direct3D=1\nWindowMode=1\n";
      if (std::string(row.missingFile) == "*default") fs::create_directories(folder / "default");
    } else {
      WriteMinimalProject(folder.string(), row.iniLines);
      if (row.missingFile[0] != '\0') fs::remove(folder / row.missingFile);
      if (row.damagedFile[0] != '\0') std::ofstream(folder / row.damagedFile, std::ios::trunc) << "BM not a picture";
    }
    std::vector<std::string> env{"PELMORA_DIALOG_ANSWERS=ok"};
    if (!row.env.empty()) env.push_back(row.env);
    pid_t pid = Launch(row.name, env);
    EXPECT_EQ(WaitExit(pid, 10000), 1);
    std::string log = Slurp(root_ / (std::string(row.name) + ".dialogs"));
    EXPECT_NE(log.find(std::string("エラー\t") + row.message + "\tok"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(root_ / "run" / "Pelmora.window"));
  }
}

// The command line: --help prints the usage (exit 0); an option the program
// does not know, a bad show command or a second word after one that is no
// game folder is refused with
// the usage (exit 2) before anything starts: no log is written, no window
// registered.
TEST_F(ProcessTest, ABadCommandLineIsRefusedBeforeTheGameStarts) {
  struct Row {
    const char* args;
    int status;
    const char* out;  // in the standard output ("" none)
    const char* err;  // in the standard error ("" none)
  };
  const Row rows[] = {
      {"--help", 0, "usage: pelmora [--show-command=N] [STAGE_FILE]", ""},
      {"--bogus", 2, "", "pelmora: unknown option: --bogus\nusage: pelmora"},
      {"--show-command", 2, "", "unknown option: --show-command"},
      {"--show-command=x", 2, "", "bad show command: --show-command=x"},
      {"one.stg4 two.stg4", 2, "", "pelmora: no game folder one.stg4\nusage: pelmora"},
  };
  // Not a project: a command line taken for a start would end at once (exit
  // 1, its log written) rather than play on.
  const fs::path folder = root_ / "args";
  fs::create_directories(folder);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args);
    const std::string command = "cd '" + folder.string() + "' && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy PELMORA_RUNTIME_DIR='" +
                                (root_ / "run").string() + "' PELMORA_DIALOG_ANSWERS=ok '" + PELMORA_EXE + "' " + row.args +
                                " > '" + (root_ / "out.txt").string() + "' 2> '" + (root_ / "err.txt").string() + "'";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.status);
    const std::string out = Slurp(root_ / "out.txt"), err = Slurp(root_ / "err.txt");
    if (row.out[0] != '\0') {
      EXPECT_NE(out.find(row.out), std::string::npos) << out;
    }
    if (row.err[0] != '\0') {
      EXPECT_NE(err.find(row.err), std::string::npos) << err;
    }
    EXPECT_FALSE(fs::exists(folder / "Report_Game.txt"));
    EXPECT_FALSE(fs::exists(root_ / "run" / "Pelmora.window"));
  }
}

// With no window system to reach (no DISPLAY, no WAYLAND_DISPLAY, no
// runtime folder where a Wayland server would listen) and no video driver
// asked for by name, the game says on its standard error that it has no
// display and ends as a failed start, instead of playing unseen. Its error
// box could not be shown either: the transcript says so.
TEST_F(ProcessTest, WithoutADisplayTheGameSaysSoAndEnds) {
  const fs::path folder = root_ / "nodisplay";
  fs::create_directories(folder);
  WriteMinimalProject(folder.string());
  const std::string command =
      "cd '" + folder.string() + "' && env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR -u SDL_VIDEODRIVER " +
      "-u PELMORA_DIALOG_ANSWERS -u PELMORA_HEADLESS SDL_AUDIODRIVER=dummy PELMORA_RUNTIME_DIR='" +
      (root_ / "run").string() + "' PELMORA_DIALOG_LOG='" + (root_ / "nodisplay.dialogs").string() +
      "' timeout -s KILL " + std::to_string(kHangMs / 1000) + " '" + PELMORA_EXE + "' > /dev/null 2> '" +
      (root_ / "err.txt").string() + "'";
  const int status = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
  const std::string err = Slurp(root_ / "err.txt");
  EXPECT_NE(err.find("pelmora: no display: no window system could be reached (DISPLAY unset, WAYLAND_DISPLAY unset)"),
            std::string::npos)
      << err;
  const std::string log = Slurp(root_ / "nodisplay.dialogs");
  EXPECT_NE(log.find("エラー\tウインドウが生成出来ません！\tok (default, no display)"), std::string::npos) << log;
  EXPECT_FALSE(fs::exists(root_ / "run" / "Pelmora.window"));
}

}  // namespace

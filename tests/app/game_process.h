// The built programs as processes, for the tests of what a player or a
// script starting them sees: `pelmora` (or `pelmora-tool`) started in a
// folder with arguments and an environment of the test's own, its standard
// output and error kept in files, its exit status read back.
#pragma once

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/sandbox.h"
#include "support/test_files.h"

// Programs run in real time on a machine that may be busy: a wait ends when
// its condition holds, and only a hang (a minute) makes it fail.
template <class Pred>
bool WaitFor(Pred pred, int timeoutMs = 60000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class GameProcess {
 public:
  struct Spec {
    std::string program;            // PELMORA_EXE or PELMORA_TOOL
    std::string folder;             // the working folder it starts in
    std::vector<std::string> args;  // after the program's name
    // NAME=VALUE over this process's environment; the game never opens a
    // display or a sound device.
    std::vector<std::string> env;
    std::string out, err;  // files for the standard output and error
  };

  // A run of `program` in `where` as the scripted tests start it, all of its
  // files in `folder`: its own runtime folder (folder/run), its boxes
  // answered by `answers` and written to `dialogs`, its standard output and
  // error to folder/out.txt and folder/err.txt, and (the game's, not the
  // tool's, which takes --trace) its frame trace to `trace`.
  static Spec Scripted(const std::string& program, const std::string& where, std::vector<std::string> args,
                       const std::string& answers, const TempFolder& folder, const std::string& dialogs,
                       const std::string& trace);

  explicit GameProcess(Spec spec) : spec_(std::move(spec)) {
    // Everything the child needs is made before the fork: the test process
    // has threads, and the child only calls what is safe after a fork.
    std::vector<std::string> set{"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy", "PELMORA_AUDIO=", "PELMORA_TRACE="};
    set.insert(set.end(), spec_.env.begin(), spec_.env.end());
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      bool replaced = false;
      for (const std::string& s : set) replaced = replaced || nameOf(s) == nameOf(entry);
      if (!replaced) env_.push_back(entry);
    }
    for (const std::string& s : set) {
      bool later = false;  // a later setting of the same name wins
      for (const std::string& t : set)
        if (&t > &s && nameOf(t) == nameOf(s)) later = true;
      if (!later) env_.push_back(s);
    }
    std::vector<char*> envp, argv{spec_.program.data()};
    for (std::string& e : env_) envp.push_back(e.data());
    envp.push_back(nullptr);
    for (std::string& a : spec_.args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // A stop signal sent at once must reach the program, not a handler this
    // process installed (a game run in this process installs its own): the
    // child takes the defaults that exec would give it before it can be
    // signalled, and an ignored signal stays ignored, as exec keeps it.
    sigset_t stops, before;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stops, &before);
    pid_ = fork();
    if (pid_ == 0) {
      for (int stop : {SIGTERM, SIGINT}) {
        struct sigaction now {};
        if (sigaction(stop, nullptr, &now) == 0 && now.sa_handler != SIG_IGN && now.sa_handler != SIG_DFL)
          signal(stop, SIG_DFL);
      }
      pthread_sigmask(SIG_SETMASK, &before, nullptr);
      if (chdir(spec_.folder.c_str()) != 0) _exit(127);
      const int out = open(spec_.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = open(spec_.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out < 0 || err < 0) _exit(127);
      dup2(out, 1);
      dup2(err, 2);
      execve(spec_.program.c_str(), argv.data(), envp.data());
      _exit(127);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
  }
  ~GameProcess() {
    if (pid_ <= 0 || reaped_) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  GameProcess(const GameProcess&) = delete;
  GameProcess& operator=(const GameProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  bool Ended() {
    if (reaped_) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
    reaped_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
  }
  // The exit status (128 + the signal when one ended it), or -1 when the
  // program still runs after a hang's time.
  int Wait() { return WaitFor([this] { return Ended(); }) ? status_ : -1; }
  // Sends `signal` to the program while it runs.
  void Signal(int signal) {
    if (!Ended()) kill(pid_, signal);
  }
  // The orderly end a player's desktop asks for (SIGTERM), then the status.
  int Terminate() {
    if (!Ended()) kill(pid_, SIGTERM);
    return Wait();
  }
  std::string Out() const { return Slurp(spec_.out); }
  std::string Err() const { return Slurp(spec_.err); }

 private:
  Spec spec_;
  std::vector<std::string> env_;
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = -1;
};

inline GameProcess::Spec GameProcess::Scripted(const std::string& program, const std::string& where,
                                               std::vector<std::string> args, const std::string& answers,
                                               const TempFolder& folder, const std::string& dialogs,
                                               const std::string& trace) {
  Spec spec{program,
            where,
            std::move(args),
            {"PELMORA_RUNTIME_DIR=" + (folder / "run"), "PELMORA_DIALOG_ANSWERS=" + answers,
             "PELMORA_DIALOG_LOG=" + dialogs},
            folder / "out.txt",
            folder / "err.txt"};
  if (program == PELMORA_EXE) spec.env.push_back("PELMORA_TRACE=" + trace);
  return spec;
}

// Writes the demo project into `project` with the tool, its output kept in
// `folder`: "" when it was written, else why not.
inline std::string MakeDemoProject(const TempFolder& folder, const std::string& project) {
  GameProcess make(
      {PELMORA_TOOL, folder.Path(), {"make-demo", project}, {}, folder / "make.out", folder / "make.err"});
  const int status = make.Wait();
  return status == 0 ? "" : "make-demo ended with " + std::to_string(status) + ": " + make.Err();
}

// The lines of a text file (a frame trace, a dialog transcript).
inline size_t CountLines(const std::string& text) {
  size_t n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

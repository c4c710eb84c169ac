// Where the game has to go silent it still runs, and its report log says
// once why: a sound driver that cannot open (also one SDL_AUDIODRIVER names)
// falls back to SDL's dummy driver; a SoundFont that does not load leaves
// the MIDI tunes silent.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio_device.h"
#include "support/audio_fixtures.h"
#include "support/project_files.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

// The lines of `text` that contain `part`.
std::vector<std::string> LinesWith(const std::string& text, const std::string& part) {
  std::istringstream in(text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (line.find(part) != std::string::npos) lines.push_back(line);
  return lines;
}

size_t CountLines(const std::string& text) {
  size_t n = 0;
  for (char c : text) n += c == '\n' ? 1 : 0;
  return n;
}

struct GameRun {
  int status = -1;
  size_t frames = 0;  // frames of its trace
  std::string report, dialogs;
};

// Runs the real program in `project` with `env` added to this process's
// environment (less PELMORA_AUDIO: the game opens a real device), waits for
// a few frames of its trace (only a hang, a minute without them, ends the
// wait early), then ends it with SIGTERM as a player's desktop would.
GameRun PlayAFewFrames(const std::string& project, const std::string& runDir, std::vector<std::string> env) {
  const std::string trace = project + "/trace.txt", dialogs = project + "/dialogs.txt";
  env.insert(env.end(), {"SDL_VIDEODRIVER=dummy", "PELMORA_DIALOG_ANSWERS=ok", "PELMORA_RUNTIME_DIR=" + runDir,
                         "PELMORA_TRACE=" + trace, "PELMORA_DIALOG_LOG=" + dialogs});
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(project.c_str()) != 0) _exit(127);
    unsetenv("PELMORA_AUDIO");
    for (auto& e : env) putenv(e.data());
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    dup2(devnull, 2);
    execl(PELMORA_EXE, PELMORA_EXE, static_cast<char*>(nullptr));
    _exit(127);
  }
  GameRun run;
  int status = 0;
  bool ended = false;
  const auto hang = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!ended && CountLines(Slurp(trace)) < 5 && std::chrono::steady_clock::now() < hang) {
    ended = waitpid(pid, &status, WNOHANG) == pid;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  run.frames = CountLines(Slurp(trace));
  if (!ended) {
    kill(pid, SIGTERM);
    const auto killAt = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!(ended = waitpid(pid, &status, WNOHANG) == pid) && std::chrono::steady_clock::now() < killAt)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!ended) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.report = Slurp(project + "/Report_Game.txt");
  run.dialogs = Slurp(dialogs);
  return run;
}

// This machine has no sound card: ALSA and PulseAudio cannot open, and no
// machine has a driver of a misspelt name. The game plays on silent (its
// frames go on, SIGTERM ends it in order) and its log has the one line.
TEST(SilentSoundTest, ANamedDriverThatCannotOpenFallsBackToSilenceWithOneLogLine) {
  TempFolder root("sound-driver");
  const struct {
    const char* driver;
    const char* reason;  // in the line's reason
    bool mayPlay;        // a machine with a sound card plays through it
  } rows[] = {
      {"alsa", "", true},
      {"pulseaudio", "", true},
      {"nosuchdriver", "nosuchdriver", false},
  };
  fs::create_directories(root / "run");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.driver);
    const std::string project = root / row.driver;
    WriteMinimalProject(project, "WindowMode=1\n");
    const GameRun run = PlayAFewFrames(project, root / "run", {std::string("SDL_AUDIODRIVER=") + row.driver});
    EXPECT_EQ(run.status, 0);
    EXPECT_GE(run.frames, 5u);
    EXPECT_EQ(run.dialogs.find("DS_Init"), std::string::npos) << run.dialogs;
    const std::vector<std::string> lines = LinesWith(run.report, "sound: ");
    if (row.mayPlay && lines.empty()) continue;  // the driver plays here
    ASSERT_EQ(lines.size(), 1u) << run.report;
    const std::string& line = lines[0];
    const std::string head = std::string("sound: the \"") + row.driver + "\" audio driver cannot play (";
    EXPECT_EQ(line.rfind(head, 0), 0u) << line;
    EXPECT_NE(line.find(row.reason, head.size()), std::string::npos) << line;
    const std::string tail = "); the game runs silent on the \"dummy\" driver";
    EXPECT_TRUE(line.size() > tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0) << line;
  }
}

// The fallback does not stay behind: the next open (a test after this one,
// the device opened again) asks for the driver the environment names.
TEST(SilentSoundTest, AfterAFallbackTheNextOpenAsksForTheEnvironmentsDriverAgain) {
  ASSERT_FALSE(plat::AudioDeviceOpen());
  TempFolder folder("sound-disk");
  ScopedEnv env;
  const bool pulled = plat::ManualAudioPull();
  plat::SetManualAudioPull(false);
  env.Set("SDL_AUDIODRIVER", "nosuchdriver");
  const plat::AudioDeviceStatus fallen = plat::OpenAudioDevice();
  plat::CloseAudioDevice();
  env.Set("SDL_AUDIODRIVER", "disk").Set("SDL_DISKAUDIOFILE", folder / "mix.raw");
  const plat::AudioDeviceStatus disk = plat::OpenAudioDevice();
  plat::CloseAudioDevice();
  plat::SetManualAudioPull(pulled);

  EXPECT_TRUE(fallen.open);
  EXPECT_TRUE(fallen.fellBack);
  EXPECT_EQ(fallen.driver, "dummy");
  EXPECT_EQ(fallen.asked, "nosuchdriver");
  EXPECT_NE(fallen.failure.find("nosuchdriver"), std::string::npos) << fallen.failure;
  EXPECT_TRUE(disk.open);
  EXPECT_FALSE(disk.fellBack) << disk.failure;
  EXPECT_EQ(disk.driver, "disk");
}

// `pelmora-tool play` from the title to the world map: two MIDI tunes. A
// SoundFont that does not load is named once in the report log and on
// standard error, not once a tune; with the SoundFont there, nothing is said.
TEST(SilentSoundTest, ASoundFontThatDoesNotLoadIsNamedOnceARun) {
  TempFolder root("soundfont");
  // Laid out as a SoundFont, holding none: FluidSynth itself refuses it.
  const std::string notAFont = root.Write("not-a-font.sf2", fixtures::SoundFontForm());
  const std::string input = root.Write("to-map.txt", "100 B1\n140 B1\n");
  const std::string kDefault = "/usr/share/sounds/sf2/default-GM.sf2";
  const std::string kSilent = "; the MIDI tunes play silent";
  const struct {
    std::string env;   // PELMORA_SOUNDFONT's value; unset when empty
    std::string line;  // the line said, or "" for none
  } rows[] = {
      {"/nonexistent.sf2",
       "music: the SoundFont /nonexistent.sf2 (named by PELMORA_SOUNDFONT) cannot be loaded: No such file or directory" +
           kSilent},
      {notAFont, "music: the SoundFont " + notAFont +
                     " (named by PELMORA_SOUNDFONT) cannot be loaded: not a SoundFont FluidSynth can read" + kSilent},
      {"", fs::exists(kDefault) ? ""
                                : "music: the SoundFont " + kDefault + " cannot be loaded: No such file or directory" +
                                      kSilent},
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.env);
    std::string name = "p";
    name += std::to_string(n++);
    const std::string project = root / name;
    WriteMinimalProject(project);
    const std::string font = row.env.empty() ? "-u PELMORA_SOUNDFONT" : "PELMORA_SOUNDFONT='" + row.env + "'";
    const std::string command = "cd '" + project + "' && env " + font +
                                " SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy PELMORA_DIALOG_ANSWERS=ok '" +
                                PELMORA_TOOL + "' play . --frames 200 --input '" + input + "' --trace trace.txt > '" +
                                (root / "out.txt") + "' 2> '" + (root / "err.txt") + "'";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);

    std::set<std::string> tunes;
    const std::string trace = Slurp(project + "/trace.txt");
    const std::regex music("\"music\":([0-9]+)");
    for (auto it = std::sregex_iterator(trace.begin(), trace.end(), music); it != std::sregex_iterator(); ++it)
      tunes.insert((*it)[1]);
    EXPECT_GE(tunes.size(), 2u) << "the run plays the title's tune and the map's";

    const std::vector<std::string> logged = LinesWith(Slurp(project + "/Report_Game.txt"), "SoundFont");
    const std::vector<std::string> said = LinesWith(root.Read("err.txt"), "SoundFont");
    if (row.line.empty()) {
      EXPECT_TRUE(logged.empty()) << logged[0];
      EXPECT_TRUE(said.empty()) << said[0];
    } else {
      EXPECT_EQ(logged, std::vector<std::string>{row.line});
      EXPECT_EQ(said, std::vector<std::string>{"pelmora: " + row.line});
    }
  }
}

}  // namespace

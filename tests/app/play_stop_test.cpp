// `pelmora-tool play` stopped by SIGTERM, SIGINT (Ctrl-C) or SIGHUP (its
// terminal closed) at the moments of its run where a stop is hardest to
// take: its game about to start, its game's start-up blocked in a system
// call (a box's transcript that is a full named pipe nobody reads), waiting for
// the reader of its sound pipe, playing frames, and blocked writing its
// sound into a pipe nobody empties.
// At each, the signal ends it (by that signal: 128 + its number), saying so;
// no output it had not finished is left (no trace or sound file, no
// temporary file, the trace that stood at its path as it was, every
// screenshot left whole) and its runtime folder is gone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/game_process.h"
#include "app/stop_signal_defaults.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

// The temporary file the output `name` in `folder` is written into while
// it is not finished (".NAME.~….tmp"), "" when there is none.
std::string TemporaryOf(const std::string& folder, const std::string& name) {
  for (const std::string& entry : Entries(folder))
    if (entry.rfind("." + name + ".~", 0) == 0) return folder + "/" + entry;
  return "";
}

// The read end of a named pipe, held open without being read (closed at
// the end of the scope).
class UnreadPipe {
 public:
  explicit UnreadPipe(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}
  ~UnreadPipe() {
    if (fd_ >= 0) close(fd_);
  }
  UnreadPipe(const UnreadPipe&) = delete;
  UnreadPipe& operator=(const UnreadPipe&) = delete;
  bool Open() const { return fd_ >= 0; }
  // Written to until it holds as many bytes as it can: its next writer waits.
  bool Fill(const std::string& path) const {
    const int writer = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (writer < 0) return false;
    const std::string block(4096, 'x');
    while (write(writer, block.data(), block.size()) > 0) {
    }
    close(writer);
    return Full();
  }
  // Holds as many bytes as it can: its writer waits.
  bool Full() const {
    int held = 0;
    const int capacity = fcntl(fd_, F_GETPIPE_SZ);
    return ioctl(fd_, FIONREAD, &held) == 0 && capacity > 0 && held >= capacity;
  }

 private:
  int fd_;
};

class PlayStopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(MakeDemoProject(folder_, project_), "");
    fs::create_directories(out_);
    fs::create_directories(tmp_);
    ASSERT_EQ(mkfifo(pipe_.c_str(), 0600), 0);
  }

  // What the moment needs before the run starts, the run's words after the
  // project, and what the run has done once it is at the moment.
  struct Moment {
    const char* name;
    std::function<void()> prepare;
    std::vector<std::string> args;
    std::function<bool()> reached;
  };

  GameProcess::Spec Run(const std::vector<std::string>& args, const std::vector<std::string>& env) const {
    std::vector<std::string> words = {"play", project_};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<std::string> set = {"TMPDIR=" + tmp_};
    set.insert(set.end(), env.begin(), env.end());
    return {PELMORA_TOOL, folder_.Path(), words, set, folder_ / "out.txt", folder_ / "err.txt"};
  }

  DefaultStopSignals defaults_;  // the runs start with the stop signals as a terminal gives them
  TempFolder folder_{"playstop"};
  const std::string project_ = folder_ / "project";
  const std::string out_ = folder_ / "out";   // where the run's outputs go
  const std::string tmp_ = folder_ / "tmp";   // the run's TMPDIR, where its runtime folder is made
  const std::string pipe_ = folder_ / "pipe";  // a named pipe beside the outputs
  const std::string kept_ = out_ + "/kept.jsonl";
};

TEST_F(PlayStopTest, ASignalAtAnyMomentEndsTheRunLeavingNoUnfinishedFileAndNoRuntimeFolder) {
  const std::string title = project_ + "/bmp/Title.bmp", hidden = folder_ / "Title.bmp";
  const std::string report = project_ + "/Report_Game.txt";
  const std::string trace = out_ + "/run.jsonl", sound = out_ + "/run.wav", shots = out_ + "/shots";
  std::unique_ptr<UnreadPipe> reader;
  const std::vector<std::string> longRun = {"--frames", "1000000"};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = longRun;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  auto unfinishedTrace = [&] { return TemporaryOf(out_, "kept.jsonl"); };
  const std::string transcript = folder_ / "dialogs";
  ASSERT_EQ(mkfifo(transcript.c_str(), 0600), 0);
  std::unique_ptr<UnreadPipe> transcriptReader;
  const Moment moments[] = {
      {"its game about to start",
       [] {},
       with({"--trace", trace, "--sound", sound}),
       [&] { return !fs::is_empty(tmp_); }},
      // The title picture is missing: start-up fails, and its error box is
      // written to the transcript, a full pipe that its reader never reads.
      // The write waits for room (2 s at the most: a run that the signal
      // reaches later fails at the write, and is started again).
      {"its game's start-up blocked in a system call",
       [&] {
         fs::rename(title, hidden);
         transcriptReader = std::make_unique<UnreadPipe>(transcript);
         ASSERT_TRUE(transcriptReader->Fill(transcript));
       },
       with({"--trace", kept_, "--sound", sound}),
       [&] { return Slurp(report).find("Title.bmp") != std::string::npos; }},
      // The trace is opened first, then the sound, whose open waits.
      {"waiting for the reader of its sound pipe",
       [] {},
       with({"--trace", kept_, "--sound", pipe_}),
       [&] { return !unfinishedTrace().empty(); }},
      {"playing frames",
       [] {},
       with({"--trace", kept_, "--sound", sound, "--shots", shots, "--every", "10"}),
       [&] { return !unfinishedTrace().empty() && CountLines(Slurp(unfinishedTrace())) >= 30; }},
      {"blocked writing its sound into a pipe nobody empties",
       [&] { reader = std::make_unique<UnreadPipe>(pipe_); },
       with({"--trace", kept_, "--sound", pipe_}),
       [&] { return reader->Full(); }},
  };
  for (const Moment& m : moments) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
      const std::string named = signal == SIGTERM ? "SIGTERM" : signal == SIGINT ? "SIGINT" : "SIGHUP";
      SCOPED_TRACE(std::string(m.name) + ", " + named);
      folder_.Write("out/kept.jsonl", "the trace that was there\n");
      const std::set<std::string> before = Entries(out_);
      std::unique_ptr<GameProcess> play;
      for (int attempt = 0; attempt < 5; ++attempt) {
        fs::remove(report);
        m.prepare();
        if (reader) {
          ASSERT_TRUE(reader->Open());
        }
        play = std::make_unique<GameProcess>(Run(m.args, {"PELMORA_DIALOG_LOG=" + transcript}));
        ASSERT_TRUE(play->Started());
        const bool reached = WaitFor([&] { return play->Ended() || m.reached(); });
        EXPECT_TRUE(reached) << "the run never came to the moment";
        // Only a pipe's writer that waited past its bound ends by itself,
        // and only on a machine too busy to send the signal in time.
        if (!play->Ended() || play->Err().find("nothing was read from it for 2 seconds") == std::string::npos) break;
        reader.reset();
        transcriptReader.reset();
        if (fs::exists(hidden)) fs::rename(hidden, title);
      }
      EXPECT_FALSE(play->Ended()) << "the run ended before the signal: " << play->Err();
      play->Signal(signal);
      EXPECT_EQ(play->Wait(), 128 + signal) << play->Err();
      EXPECT_NE(play->Err().find("play: stopped by " + named), std::string::npos) << play->Err();

      // Whole screenshots may stay; nothing else is new, and the trace
      // that was there is as it was.
      std::set<std::string> after = Entries(out_);
      if (after.count("shots") != 0) {
        after.erase("shots");
        for (const std::string& name : Entries(shots)) {
          const std::string png = Slurp(shots + "/" + name);
          EXPECT_EQ(png.substr(png.size() < 8 ? 0 : png.size() - 8, 4), "IEND") << name << " is cut short";
          after.erase("shots/" + name);
        }
        fs::remove_all(shots);
      }
      EXPECT_EQ(after, before);
      EXPECT_TRUE(Slurp(kept_) == "the trace that was there\n") << "the trace that was there was replaced";
      EXPECT_TRUE(fs::is_empty(tmp_)) << "the runtime folder was left";
      reader.reset();
      transcriptReader.reset();
      if (fs::exists(hidden)) fs::rename(hidden, title);
    }
  }
}

}  // namespace

// `pelmora-tool play --sound`: the mix a player hears, written frame for
// frame on the game's own time, the same bytes for the same run, and no
// file at all when it cannot be written whole.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "support/captured_mix.h"
#include "support/sandbox.h"
#include "support/test_files.h"
#include "support/trace_lines.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int status = -1;
  std::string err;
};

ToolRun RunTool(const std::string& args, const std::string& errorFile) {
  const int status = std::system((std::string(PELMORA_TOOL) + " " + args + " > /dev/null 2> '" + errorFile + "'").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(errorFile)};
}

// A path for the shell's command line.
std::string Quoted(const std::string& path) { return std::string("'").append(path).append("'"); }

class PlaySoundTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(RunTool("make-demo '" + (folder_ / "fresh") + "'", errors_).status, 0); }

  // The demo from its title for `frames` frames with `keys` (a key script;
  // none when empty), on a fresh copy of its own; the mix into NAME.wav and
  // the trace into NAME.jsonl.
  ToolRun Play(const std::string& name, uint32_t frames, const std::string& keys = "") {
    fs::copy(folder_ / "fresh", folder_ / name, fs::copy_options::recursive);
    std::string args = "play '" + (folder_ / name) + "' --frames " + std::to_string(frames) + " --sound '" +
                       (folder_ / (name + ".wav")) + "' --trace '" + (folder_ / (name + ".jsonl")) + "'";
    if (!keys.empty()) args += " --input '" + folder_.Write(name + ".keys", keys) + "'";
    return RunTool(args, errors_);
  }

  TempFolder folder_{"playsound"};
  const std::string errors_ = folder_ / "errors.txt";
};

// 300 frames of the title: 300 x 735 sample frames of 44100 Hz stereo 16
// bits, which hold the title's tune sample for sample as the tune's own
// rendering gives it (it starts with the first frame): the MIDI tune moves
// on with the game's frames. DOWN in frame 120 moves the menu's cursor,
// whose sound starts within that frame's samples and changes none before.
// The same run twice gives the same bytes.
TEST_F(PlaySoundTest, EachFrameHoldsItsSevenHundredThirtyFiveSampleFramesOfTheMixOnTheGamesTime) {
  ToolRun run = Play("quiet", 300);
  ASSERT_EQ(run.status, 0) << run.err;
  const CapturedMix quiet = ReadCapturedMix(folder_ / "quiet.wav");
  ASSERT_TRUE(quiet.read);
  EXPECT_EQ(quiet.chunkIds, "RIFFWAVEfmt data");
  EXPECT_EQ(quiet.fmtSize, 16u);
  EXPECT_EQ(quiet.format, 1u);
  EXPECT_EQ(quiet.channels, 2u);
  EXPECT_EQ(quiet.rate, 44100u);
  EXPECT_EQ(quiet.byteRate, 44100u * 4);
  EXPECT_EQ(quiet.blockAlign, 4u);
  EXPECT_EQ(quiet.bits, 16u);
  EXPECT_EQ(quiet.dataSize, 300u * 735 * 4);
  EXPECT_EQ(quiet.riffSize, 36 + quiet.dataSize);
  ASSERT_EQ(quiet.samples.size(), 300u * 735 * 2);

  const std::string tune = folder_ / "title-tune.wav";
  run = RunTool("render-audio '" + (folder_ / "fresh/bgm/Title.mid") + "' '" + tune + "' --seconds 5", errors_);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(ReadCapturedMix(tune).samples == quiet.samples) << "the title's tune is not the one of the capture";
  EXPECT_GT(MixRms(quiet, 1, 300), 1036.0) << "the title's tune under -30 dBFS";

  run = Play("cursor", 300, "120 DOWN\n");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = trace::Lines(Slurp(folder_ / "cursor.jsonl"));
  ASSERT_EQ(lines.size(), 300u);
  ASSERT_EQ(trace::Value(lines[119], "sounds"), "[0]") << "the cursor's sound, in frame 120";
  const CapturedMix cursor = ReadCapturedMix(folder_ / "cursor.wav");
  ASSERT_EQ(cursor.samples.size(), quiet.samples.size());
  size_t firstChange = 0;
  while (firstChange < cursor.samples.size() && cursor.samples[firstChange] == quiet.samples[firstChange])
    ++firstChange;
  EXPECT_EQ(firstChange / (735 * 2) + 1, 120u) << "sample " << firstChange;

  run = Play("again", 300, "120 DOWN\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Slurp(folder_ / "again.wav") == Slurp(folder_ / "cursor.wav")) << "the same run gave another mix";
}

// A WAV that cannot be written fails the run (exit 1, saying so) and leaves
// no file behind, not even the one it was being written to; a run that
// fails otherwise writes none either. `--sound` without a path is a usage
// error.
TEST_F(PlaySoundTest, AMixThatCannotBeWrittenFailsTheRunAndLeavesNothing) {
  fs::create_directories(folder_ / "taken.wav");
  fs::create_directories(folder_ / "no-game");
  const std::string project = Quoted(folder_ / "fresh");
  struct Case {
    std::string args;
    std::string wav;  // the file asked for ("" none)
    int status;
    std::string said;
  };
  const Case cases[] = {
      {project + " --frames 30 --sound " + Quoted(folder_ / "missing/a.wav"), folder_ / "missing/a.wav", 1,
       "cannot be written"},
      // Written whole, then refused its name: a folder stands there.
      {project + " --frames 30 --sound " + Quoted(folder_ / "taken.wav"), folder_ / "taken.wav", 1,
       "cannot be written"},
      {project + " --frames 4294967295 --sound " + Quoted(folder_ / "long.wav"), folder_ / "long.wav", 1,
       "cannot be written: a WAV file holds at most 1460873 frames"},
      {Quoted(folder_ / "no-game") + " --frames 30 --sound " + Quoted(folder_ / "none.wav"), folder_ / "none.wav", 1,
       "the game did not start"},
      {project + " --frames 30 --sound", "", 2, "--sound needs the path of the WAV file to write"},
      {project + " --sound --frames 30", "", 2, "--sound needs the path of the WAV file to write"},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunTool("play " + c.args, errors_);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << c.args << "\n" << run.err;
    if (c.wav.empty()) continue;
    EXPECT_FALSE(fs::is_regular_file(c.wav)) << c.args;
    EXPECT_FALSE(fs::exists(c.wav + ".part")) << c.args;
  }
  EXPECT_TRUE(fs::is_directory(folder_ / "taken.wav"));
  for (const auto& entry : fs::recursive_directory_iterator(folder_.Path()))
    EXPECT_NE(entry.path().extension(), ".part") << entry.path() << " left behind";
}

}  // namespace

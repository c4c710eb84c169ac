// PELMORA_SOUNDFONT naming what is no SoundFont (a named pipe, a folder,
// garbage, an empty file, a file FluidSynth refuses), in real runs: the run
// never waits on it, the SoundFont is named with why in the one line each
// program has for it, and nothing else reaches the standard error (no line
// of the synthesiser's libraries). `render-audio` of a tune then exits 1
// with nothing written; the game plays on with its MIDI tunes silent.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/game_process.h"
#include "support/audio_fixtures.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

struct BadFont {
  const char* name;
  const char* reason;
};

const BadFont kBadFonts[] = {
    {"pipe.sf2", "not a file: it is a named pipe"},
    {"folder.sf2", "not a file: it is a folder"},
    {"garbage.sf2", "not a SoundFont: it does not start with a RIFF sfbk header"},
    {"empty.sf2", "the file is empty"},
    {"hollow.sf2", "not a SoundFont FluidSynth can read"},
};

class SoundFontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mkfifo((folder_ / "pipe.sf2").c_str(), 0600), 0);
    fs::create_directory(folder_ / "folder.sf2");
    folder_.Write("garbage.sf2", std::string(3000, '\x5a'));
    folder_.Write("empty.sf2", "");
    folder_.Write("hollow.sf2", fixtures::SoundFontForm());  // laid out as one, holding none
  }
  // The line naming the SoundFont `font` and why.
  std::string Named(const BadFont& font) const {
    return std::string("the SoundFont ") + (folder_ / font.name) + " (named by PELMORA_SOUNDFONT) cannot be loaded: " +
           font.reason;
  }
  GameProcess::Spec Tool(std::vector<std::string> args, const BadFont& font) const {
    GameProcess::Spec spec = GameProcess::Scripted(PELMORA_TOOL, folder_.Path(), std::move(args), "", folder_,
                                                   folder_ / "dialogs.log", "");
    spec.env.push_back("PELMORA_SOUNDFONT=" + (folder_ / font.name));
    return spec;
  }

  TempFolder folder_{"sound-font"};
};

TEST_F(SoundFontTest, RenderAudioNamesTheSoundFontAndWhyAndWritesNothing) {
  using namespace fixtures;
  const std::string tune = folder_.Write(
      "tune.mid", Smf(0, 1, 480, Track(Vlq(0) + Bytes({0x90, 60, 100}) + Vlq(480) + Bytes({0x80, 60, 0}) + Vlq(0) +
                                       EndOfTrack())));
  for (const BadFont& font : kBadFonts) {
    SCOPED_TRACE(font.name);
    GameProcess render(Tool({"render-audio", tune, folder_ / "out.wav"}, font));
    EXPECT_EQ(render.Wait(), 1);
    EXPECT_EQ(render.Err(), "render-audio: " + Named(font) + "; " + tune + " would be silence\n");
    EXPECT_FALSE(fs::exists(folder_ / "out.wav"));
  }
}

TEST_F(SoundFontTest, TheGameNamesTheSoundFontOnceAndPlaysOnSilent) {
  const std::string project = folder_ / "project";
  ASSERT_EQ(MakeDemoProject(folder_, project), "");
  for (const BadFont& font : kBadFonts) {
    SCOPED_TRACE(font.name);
    fs::remove(project + "/Report_Game.txt");
    const std::string trace = folder_ / "trace.jsonl";
    // The title's tune is a MIDI tune.
    GameProcess play(Tool({"play", project, "--frames", "60", "--trace", trace}, font));
    EXPECT_EQ(play.Wait(), 0) << play.Err();
    EXPECT_EQ(CountLines(Slurp(trace)), 60u);
    const std::string line = "music: " + Named(font) + "; the MIDI tunes play silent";
    EXPECT_NE(Slurp(project + "/Report_Game.txt").find(line + "\n"), std::string::npos)
        << Slurp(project + "/Report_Game.txt");
    const std::string err = play.Err();
    EXPECT_EQ(err.rfind("pelmora: " + line + "\n", 0), 0u) << err;
    EXPECT_EQ(err.find("CRITICAL"), std::string::npos) << err;
    // Up to play's own lines, and to the leak checker's summary of a
    // sanitizer build, which it writes as the process ends.
    const size_t summary = err.find("\n-----");
    const std::string before =
        err.substr(0, std::min(err.find("play: "), summary == std::string::npos ? summary : summary + 1));
    EXPECT_EQ(CountLines(before), 1u) << "one line of the SoundFont, no other\n" << err;
  }
}

}  // namespace

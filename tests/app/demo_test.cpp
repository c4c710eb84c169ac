// The demo game played through as a player plays it: from its title over
// the world map, through the five stages of its three worlds, to the ending
// and back to the title, by the routes kept in tests/routes/demo (one key
// script a stretch of the game, played one after another by `pelmora-tool
// play`). The same routes twice give the same game frame for frame, and the
// mix a player hears on the way never reaches full scale.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "scene/play_record.h"
#include "support/captured_mix.h"
#include "support/demo_routes.h"
#include "support/sandbox.h"
#include "support/test_files.h"
#include "support/trace_lines.h"

namespace {

namespace fs = std::filesystem;

int RunTool(const std::string& args, const std::string& errorFile) {
  const int status = std::system((std::string(PELMORA_TOOL) + " " + args + " > /dev/null 2> '" + errorFile + "'").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

using trace::Lines;
using trace::Value;

TEST(DemoTest, TheWholeGameFromTheTitleToTheEnding) {
  TempFolder folder("demo");
  const std::string errors = folder / "errors.txt";
  ASSERT_EQ(RunTool("make-demo '" + (folder / "fresh") + "'", errors), 0) << Slurp(errors);
  const DemoRouteChain routes = AllDemoRoutes();
  ASSERT_EQ(routes.paths.size(), 9u);
  ASSERT_TRUE(routes.complete) << "a route without its length line";
  const uint32_t frames = routes.frames;
  const std::string inputs = routes.Inputs();
  // Two runs side by side, each on a project of its own: the one's save
  // slot would turn the other's new game away from the first slot. Each
  // writes the mix it makes; b's synthesiser has no SoundFont, so its mix
  // holds the sound effects alone (the game plays the same without one).
  std::string both;
  for (const char* run : {"a", "b"}) {
    fs::copy(folder / "fresh", folder / run, fs::copy_options::recursive);
    const std::string synth = std::string(run) == "b" ? "PELMORA_SOUNDFONT='" + (folder / "none.sf2") + "' " : "";
    both += "(" + synth + PELMORA_TOOL + " play '" + (folder / run) + "' --frames " + std::to_string(frames) + inputs +
            " --sound '" + (folder / (std::string(run) + ".wav")) + "'" +
            " --trace '" + (folder / (std::string(run) + ".jsonl")) + "' > /dev/null 2> '" +
            (folder / (std::string(run) + ".err")) + "'; echo $? > '" + (folder / (std::string(run) + ".rc")) +
            "') & ";
  }
  ASSERT_EQ(std::system((both + "wait").c_str()), 0);
  for (const char* run : {"a", "b"})
    ASSERT_EQ(Slurp(folder / (std::string(run) + ".rc")), "0\n") << Slurp(folder / (std::string(run) + ".err"));
  const std::string trace = Slurp(folder / "a.jsonl");
  EXPECT_EQ(trace, Slurp(folder / "b.jsonl")) << "the same routes gave another game";
  const std::vector<std::string> lines = Lines(trace);
  ASSERT_EQ(lines.size(), frames);

  // What the game went through, each change once: scene, stage mode,
  // lives. A new game of five lives (one given to the attempt), a world of
  // two stages whose points (300 and more) bring an extra life at the
  // clear of its second, the world map, the second world's two stages,
  // again with an extra life at the second's clear, the map, the master's
  // hall, whose thousand points bring three, the map again, where the
  // ending's world starts at once (no banner, its result gone by itself),
  // and the title.
  std::vector<std::string> seen;
  for (const std::string& line : lines) {
    const std::string now = Value(line, "scene") + "/" + Value(line, "mode") + "/" + Value(line, "lives");
    if (seen.empty() || seen.back() != now) seen.push_back(now);
  }
  std::vector<std::string> expected = {"0/null/0", "0/null/4", "1/null/4", "4/null/4"};
  auto add = [&](std::initializer_list<std::string> more) { expected.insert(expected.end(), more); };
  // A stage entered with `lives`: fade, banner, play, a life more for each
  // of `extra` during play (the clear's extra lives), result, fade.
  auto addStage = [&](int lives, int extra) {
    const std::string l = std::to_string(lives);
    add({"4/0/" + l, "4/1/" + l, "4/2/" + l});
    for (int k = 1; k <= extra; ++k) add({"4/2/" + std::to_string(lives + k)});
    const std::string after = std::to_string(lives + extra);
    add({"4/4/" + after, "4/7/" + after});
  };
  addStage(4, 0);
  add({"4/-1/4"});
  addStage(4, 1);
  add({"1/-1/5", "1/null/5", "4/null/5"});
  addStage(5, 0);
  add({"4/-1/5"});
  addStage(5, 1);
  add({"1/-1/6", "1/null/6", "4/null/6"});
  addStage(6, 3);
  add({"1/-1/9", "1/null/9", "4/null/9", "4/0/9", "4/1/9", "4/2/9", "4/4/9", "4/7/9"});
  add({"0/-1/9", "0/null/9"});
  EXPECT_EQ(seen, expected);

  // No life lost on the way; each stage, and the ending, plays a tune of
  // its own from its first frame of play.
  std::vector<std::string> stageMusic;
  std::string previousMode;
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find("\"dying\":1"), std::string::npos) << Value(line, "frame");
    const std::string mode = Value(line, "mode");
    if (mode == "2" && previousMode != "2") stageMusic.push_back(Value(line, "music"));
    previousMode = mode;
  }
  ASSERT_EQ(stageMusic.size(), 6u);
  EXPECT_EQ(std::set<std::string>(stageMusic.begin(), stageMusic.end()).size(), 6u);
  // The stages' tunes loop; back on the world map (and on the title after
  // the ending) the screen's own tune plays again each time.
  std::map<std::string, std::set<std::string>> screenTunes;  // a menu scene's tunes at the end of its visits
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string scene = Value(lines[i], "scene");
    const bool lastOfVisit = i + 1 == lines.size() || Value(lines[i + 1], "scene") != scene;
    if (scene != "4" && lastOfVisit) screenTunes[scene].insert(Value(lines[i], "music"));
  }
  ASSERT_EQ(screenTunes.size(), 2u);
  for (const auto& [scene, tunes] : screenTunes) EXPECT_EQ(tunes.size(), 1u) << "scene " << scene;
  // The master's defeat (a thousand points) clears the castle: its result
  // screen, the castle's tune still playing. The ending picture stands on
  // the screen in the ending's stage, to its tune, before the title.
  const std::string castleTune = stageMusic[4], endingTune = stageMusic[5];
  const auto castleResult = std::find_if(lines.rbegin(), lines.rend(), [&](const std::string& line) {
    return Value(line, "mode") == "4" && Value(line, "music") == castleTune;
  });
  ASSERT_NE(castleResult, lines.rend());
  EXPECT_EQ(Value(*castleResult, "score"), "1000");
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.find("\"pictures\":[{\"number\":2,") != std::string::npos &&
           line.find("\"shown\":1") != std::string::npos && Value(line, "music") == endingTune;
  }));
  // The final scene: the title, for the last frames of the run.
  EXPECT_EQ(Value(lines.back(), "scene"), "0");

  // The map saved the game by itself after each world, the castle's too:
  // after the ending the slot holds the three worlds cleared and the lives
  // the game ended with (the ending's world is seen, never saved).
  const std::string endLives = Value(lines.back(), "lives");
  cSaveData slot;
  ASSERT_TRUE(slot.LoadFromFile(folder / "a/user_data/story/Story01.dat"));
  for (int world = 1; world <= 3; ++world) EXPECT_TRUE(slot.IsWorldCleared(world)) << world;
  EXPECT_FALSE(slot.IsWorldCleared(4));
  EXPECT_EQ(std::to_string(slot.m_nLives), endLives);
  // Continued from that slot (the title's つづきから, its first slot), the
  // game stands on the map with those lives, and the ending's world, shown
  // only once the castle is cleared, starts at once.
  const std::string keys = folder.Write("continue.txt", "100 DOWN\n110 B1\n150 B1\nlength 400\n");
  ASSERT_EQ(RunTool("play '" + (folder / "a") + "' --frames 400 --input '" + keys + "' --trace '" +
                        (folder / "continued.jsonl") + "'",
                    errors),
            0)
      << Slurp(errors);
  const std::vector<std::string> continued = Lines(Slurp(folder / "continued.jsonl"));
  ASSERT_EQ(continued.size(), 400u);
  const auto map = std::find_if(continued.begin(), continued.end(),
                                [](const std::string& line) { return Value(line, "scene") == "1"; });
  ASSERT_NE(map, continued.end()) << "no world map";
  EXPECT_EQ(Value(*map, "lives"), endLives);
  const auto ending = std::find_if(map, continued.end(), [](const std::string& line) {
    return Value(line, "scene") == "4" && Value(line, "mode") == "2";
  });
  ASSERT_NE(ending, continued.end()) << "the ending's world did not start";
  EXPECT_EQ(Value(*ending, "music"), endingTune);
  EXPECT_EQ(Value(*ending, "lives"), endLives);

  // The mix: nowhere at full scale, with room left for the sound option's
  // top step (1.5 dB over its default). Over the title and each stage's
  // play (the ending's too) the tune (a less b) is heard, at -30 dBFS and
  // more, and the effects stay within 6 dB of it.
  const CapturedMix heard = ReadCapturedMix(folder / "a.wav"), effects = ReadCapturedMix(folder / "b.wav");
  ASSERT_EQ(heard.samples.size(), size_t{frames} * kMixFramesPerGameFrame * 2);
  ASSERT_EQ(effects.samples.size(), heard.samples.size());
  EXPECT_EQ(ClippedSamples(heard), 0u);
  EXPECT_LE(PeakSample(heard), 27525) << "-1.5 dBFS";
  uint32_t titleEnd = 0;
  while (titleEnd < frames && Value(lines[titleEnd], "scene") == "0") ++titleEnd;
  std::vector<std::pair<uint32_t, uint32_t>> stretches = {{1, titleEnd}};  // frames from 1; then each stage's play
  for (uint32_t f = 1; f <= frames; ++f) {
    const bool playing = Value(lines[f - 1], "mode") == "2";
    if (playing && (f == 1 || Value(lines[f - 2], "mode") != "2")) stretches.push_back({f, f});
    if (playing) stretches.back().second = f;
  }
  ASSERT_EQ(stretches.size(), 7u);
  for (const auto& [first, last] : stretches) {
    const double tune = MixRms(heard, first, last, &effects);
    EXPECT_GE(tune, 1036.0) << "frames " << first << "-" << last << ": the tune unheard";
    EXPECT_LE(MixRms(effects, first, last), 2 * tune) << "frames " << first << "-" << last << ": the tune drowned";
  }

  // The game's log: every file it loaded was there, and nothing failed.
  const std::string report = Slurp(folder / "a/Report_Game.txt");
  ASSERT_FALSE(report.empty());
  for (const char* failure : {"失敗", "Err", "err ", "エラー"})
    EXPECT_EQ(report.find(failure), std::string::npos) << failure << "\n" << report;
}

}  // namespace

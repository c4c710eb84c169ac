// The demo's death dims the stage: in every stage of the demo, played in
// the story from its title through `pelmora-tool play`, the frame under the
// continue menu that follows a death shows the still stage at two fifths of
// its light (black laid over it at 60 %), away from the menu's rows.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "app/headless_play.h"
#include "play/world/stage_scene.h"
#include "support/demo_routes.h"
#include "support/sandbox.h"
#include "support/sdl_pixels.h"
#include "support/test_files.h"
#include "support/trace_lines.h"

namespace {

namespace fs = std::filesystem;
using trace::Value;

constexpr double kDimmedLight = 0.40;  // the share of its light the dimmed stage keeps
constexpr double kTolerance = 0.04;    // clouds drift and the clock counts on meanwhile
// The continue menu's rows (from y 272, 16 dots a row) with a margin: the
// light is compared above and below them.
constexpr int kMenuTop = 256, kMenuBottom = 320;

// The light (the sum of the three channels) of rows [top, bottom).
double Light(const std::vector<uint32_t>& argb, int width, int top, int bottom) {
  double sum = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t c = argb[static_cast<size_t>(y * width + x)];
      sum += (c >> 16 & 255) + (c >> 8 & 255) + (c & 255);
    }
  return sum;
}

class DemoDimmingTest : public ::testing::TestWithParam<size_t> {
 protected:
  void SetUp() override {
    const std::string command =
        std::string(PELMORA_TOOL) + " make-demo '" + (folder_ / "demo") + "' > /dev/null 2> '" + errors_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << Slurp(errors_);
  }

  // Plays a fresh copy of the demo for `frames` frames: the routes, then
  // `keys`; with `every`, a screenshot every so many frames. The trace.
  std::vector<std::string> Play(const DemoRouteChain& routes, const std::string& keys, uint32_t frames,
                                uint32_t every = 0) {
    const std::string run = folder_ / ("run" + std::to_string(++runs_));
    fs::copy(folder_ / "demo", run, fs::copy_options::recursive);
    const std::string script = folder_.Write("keys" + std::to_string(runs_) + ".txt", keys);
    std::string command = std::string(PELMORA_TOOL) + " play '" + run + "' --frames " + std::to_string(frames) +
                          routes.Inputs() + " --input '" + script + "' --trace '" + run + ".jsonl'";
    if (every != 0) command += " --shots '" + run + ".shots' --every " + std::to_string(every);
    command += " > /dev/null 2> '" + errors_ + "'";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Slurp(errors_);
    shots_ = run + ".shots/";
    return trace::Lines(Slurp(run + ".jsonl"));
  }

  TempFolder folder_{"demo-dimming"};
  const std::string errors_ = folder_ / "errors.txt";
  std::string shots_;  // the last run's screenshot folder
  int runs_ = 0;
};

// A death in one stage: the keys (after the routes from the title to the
// stage) that the continue menu test plays, and how many frames of them the
// run takes (by then the menu has shown a while).
struct Death {
  const char* stage;
  std::vector<const char*> routes;
  std::string keys;
  uint32_t length;
};

constexpr const char* kPause = "185-187 SPACE\n230 B2\n";
// 1-2: the tower's route up to the second lift's stop, the jump off onto
// the turret's ledge, and the hero stays there in its fire.
constexpr const char* kTowerClimb =
    "180-275 RIGHT\n350-379 B1\n356-378 RIGHT\n495-524 B1\n495-520 RIGHT\n548-590 RIGHT\n591-630 LEFT\n"
    "693 B3\n715-785 LEFT\n900-909 LEFT\n1050-1079 B1\n1050-1085 RIGHT\n1095-1124 B1\n1095-1135 LEFT\n1140-1169 B1\n"
    "1140-1180 RIGHT\n1185-1214 B1\n1185-1310 RIGHT\n1488-1517 B1\n1496-1515 LEFT\n1605-1634 B1\n1605-1626 LEFT\n";

// 1-1: into its first pit; 1-2: in the turret's fire; 2-1, 2-2, 3-1: held
// still, hit by the UFOs, pushed into a wall by the screen, hit by the
// master under it.
const Death kDeaths[] = {
    {"1-1", {"01-title.txt"}, std::string(kPause) + "240-660 RIGHT\n386-415 B1\n", 1000},
    {"1-2", {"01-title.txt", "02-meadow.txt"}, kTowerClimb, 2500},
    {"2-1", {"01-title.txt", "02-meadow.txt", "03-tower.txt", "04-to-sky.txt"}, kPause, 2000},
    {"2-2", {"01-title.txt", "02-meadow.txt", "03-tower.txt", "04-to-sky.txt", "05-sky.txt"}, kPause, 1500},
    {"3-1",
     {"01-title.txt", "02-meadow.txt", "03-tower.txt", "04-to-sky.txt", "05-sky.txt", "06-wind.txt",
      "07-to-castle.txt"},
     std::string(kPause) + "240-320 LEFT\n", 1700},
};

// A first run finds the hero's death and the continue menu in the trace; a
// second takes the pictures of a frame shortly before the death (the hero
// alive, no screen effect) and of one under the continue menu. Above and
// below the menu's rows the second keeps the demo's share of the first's
// light.
TEST_P(DemoDimmingTest, TheStageIsDimmedUnderTheContinueMenu) {
  const Death& d = kDeaths[GetParam()];
  const DemoRouteChain routes = DemoRoutes(d.routes);
  ASSERT_TRUE(routes.complete);
  const std::string play = std::to_string(kStageModePlay), continuing = std::to_string(kStageModeContinue);
  const uint32_t frames = routes.frames + d.length;
  const std::string keys = d.keys + "length " + std::to_string(d.length) + "\n";
  const std::vector<std::string> lines = Play(routes, keys, frames);
  ASSERT_EQ(lines.size(), frames);

  // Frames are counted from 1: line i is frame i + 1.
  uint32_t death = 0, menu = 0;
  for (uint32_t i = routes.frames; i < frames && menu == 0; ++i) {
    if (death == 0 && Value(lines[i], "dying") == "1") death = i + 1;
    if (death != 0 && Value(lines[i], "mode") == continuing) menu = i + 1;
  }
  ASSERT_NE(death, 0u) << "the hero does not die";
  ASSERT_NE(menu, 0u) << "no continue menu after the death";
  ASSERT_LE(menu + 330, frames) << "the run stops too soon after the menu";

  // A pair of frames with a great common divisor: few screenshots.
  uint32_t before = 0, under = 0, every = 0;
  for (uint32_t b = death - 8; b < death; ++b) {
    const std::string& line = lines[b - 1];
    if (Value(line, "mode") != play || Value(line, "dying") != "0" || Value(line, "screen") != "null") continue;
    for (uint32_t u = menu + 30; u <= menu + 330; ++u)
      if (std::gcd(b, u) > every) every = std::gcd(b, u), before = b, under = u;
  }
  ASSERT_NE(before, 0u) << "no still frame of play just before the death";
  ASSERT_EQ(Value(lines[under - 1], "mode"), continuing);

  const std::vector<std::string> again = Play(routes, keys, under, every);
  ASSERT_EQ(again.size(), under);
  ASSERT_EQ(again[before - 1], lines[before - 1]) << "the second run plays as the first";
  std::vector<uint32_t> alive, dimmed;
  int width = 0, height = 0;
  ASSERT_TRUE(LoadSdlPixels(shots_ + ScreenshotName(before), width, height, alive));
  ASSERT_TRUE(LoadSdlPixels(shots_ + ScreenshotName(under), width, height, dimmed));
  ASSERT_EQ(alive.size(), dimmed.size());
  for (const auto& [top, bottom] : {std::pair{0, kMenuTop}, std::pair{kMenuBottom, height}}) {
    const double share = Light(dimmed, width, top, bottom) / Light(alive, width, top, bottom);
    EXPECT_NEAR(share, kDimmedLight, kTolerance) << "rows " << top << " to " << bottom;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryStage, DemoDimmingTest, ::testing::Range<size_t>(0, std::size(kDeaths)),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           std::string name = std::string("Stage") + kDeaths[info.param].stage;
                           name[name.find('-')] = '_';
                           return name;
                         });

}  // namespace

// The demo's death dims the stage: in every stage of the demo, played in
// the story, the frame under the continue menu that follows a death shows
// the still stage at two fifths of its light (black laid over it at 60 %),
// away from the menu's rows. The worlds' first stages are played from the
// title's new game (1-1, and 1-2 after 1-1's route); the later ones from a
// game saved with the worlds before them cleared (2-1, and 2-2 after 2-1's
// route; 3-1), continued from the title.
#include <gtest/gtest.h>

#include <deque>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "data/stage_data.h"
#include "play/objects/hero.h"
#include "play/world/stage_scene.h"
#include "scene/scene.h"
#include "support/demo_routes.h"
#include "support/demo_story.h"

namespace {

constexpr double kDimmedLight = 0.40;  // the share of its light the dimmed stage keeps
constexpr double kTolerance = 0.04;    // clouds drift and the clock counts on meanwhile
// The continue menu's rows (from y 272, 16 dots a row) with a margin: the
// light is compared above and below them.
constexpr int kMenuTop = 256, kMenuBottom = 320;

// The light (the sum of the three channels) of rows [top, bottom).
double Light(const plat::Frame& frame, int top, int bottom) {
  double sum = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = 0; x < frame.width; ++x) {
      const uint32_t c = frame.pixels[static_cast<size_t>(y * frame.width + x)];
      sum += (c >> 16 & 255) + (c >> 8 & 255) + (c & 255);
    }
  return sum;
}

class DemoDimmingTest : public ::testing::TestWithParam<size_t> {};

// A death in one stage: how the story starts (a new game, or a save with
// the worlds before the stage cleared), the routes played on the way, the
// keys of the death (counted on from the routes as the tool counts them)
// and how many frames of them are played at most (by then the menu has
// shown a while).
struct Death {
  const char* stage;
  const char* file;  // its stage file's name
  int clearedWorlds;
  std::vector<const char*> routes;
  std::string keys;
  uint32_t length;
};

constexpr const char* kPause = "185-187 SPACE\n230 B2\n";
// 1-2: the tower's route up to the second lift's stop, the jump off onto
// the turret's ledge, and the hero stays there in its fire.
constexpr const char* kTowerClimb =
    "180-275 RIGHT\n350-379 B1\n356-378 RIGHT\n495-524 B1\n495-520 RIGHT\n548-590 RIGHT\n591-630 LEFT\n"
    "657 B3\n726-785 LEFT\n900-919 LEFT\n1050-1079 B1\n1050-1085 RIGHT\n1095-1124 B1\n1095-1135 LEFT\n1140-1169 B1\n"
    "1140-1180 RIGHT\n1185-1214 B1\n1185-1310 RIGHT\n1488-1517 B1\n1496-1515 LEFT\n1605-1634 B1\n1605-1626 LEFT\n";

// 1-1: into its first pit; 1-2: in the turret's fire; 2-1, 2-2, 3-1: held
// still, hit by the UFOs, pushed into a wall by the screen, hit by the
// master under it.
const Death kDeaths[] = {
    {"1-1", "c01-1", 0, {}, std::string(kPause) + "240-660 RIGHT\n386-415 B1\n", 1000},
    {"1-2", "c01-2", 0, {"02-meadow.txt"}, kTowerClimb, 2500},
    {"2-1", "c02-1", 1, {}, kPause, 2000},
    {"2-2", "c02-2", 1, {"05-sky.txt"}, kPause, 1500},
    {"3-1", "c03-1", 2, {}, std::string(kPause) + "240-320 LEFT\n", 1700},
};

// The stage is played on to the death and the continue menu: the picture
// of the last still frame of play shortly before the death (at most eight
// frames before it: the hero alive, no screen effect) and the one thirty
// frames into the menu. Above and below the menu's rows the second keeps
// the demo's share of the first's light.
TEST_P(DemoDimmingTest, TheStageIsDimmedUnderTheContinueMenu) {
  const Death& d = kDeaths[GetParam()];
  DemoStoryStart start;
  start.clearedWorlds = d.clearedWorlds;
  for (const char* route : d.routes) start.scripts.push_back(DemoRoute(route));
  start.scripts.push_back(d.keys + "length " + std::to_string(d.length) + "\n");
  const DemoRouteChain routes = DemoRoutes(d.routes);
  ASSERT_TRUE(routes.complete);
  DemoStory story(start);
  ASSERT_TRUE(story.Ready());

  auto scene = [] { return dynamic_cast<const cStageScene*>(SceneManager.Scene(kSceneStage)); };
  std::deque<std::pair<uint32_t, plat::Frame>> still;  // the still frames of play of late
  uint32_t death = 0, menu = 0, before = 0;
  plat::Frame alive, dimmed;
  const uint32_t limit = 400 + routes.frames + d.length;
  const bool played = story.Play(limit, [&](uint32_t frame) {
    // The death's keys begin after the routes.
    if (story.ScriptsBegan() == 0 || frame < story.ScriptsBegan() + routes.frames) return false;
    const cStageScene* s = scene();
    if (s == nullptr) return false;
    const bool dying = !s->m_HeroList.empty() && s->m_HeroList.front().m_bDying != 0;
    if (death == 0) {
      if (dying) {
        death = frame;
        EXPECT_NE(StageData.m_strLoadedPath.find(d.file), std::string::npos)
            << "the death in " << StageData.m_strLoadedPath << ", not " << d.file;
        if (!still.empty() && still.back().first + 8 >= death) {
          before = still.back().first;
          alive = std::move(still.back().second);
        }
      } else if (s->m_nMode == kStageModePlay && !s->m_ScreenEffect.Running()) {
        if (still.size() == 8) still.pop_front();
        still.emplace_back(frame, plat::Frame{});
        EXPECT_TRUE(story.Game().LastFrame(still.back().second));
      }
      return false;
    }
    if (menu == 0) {
      if (s->m_nMode == kStageModeContinue) menu = frame;
      return false;
    }
    if (frame < menu + 30) return false;
    EXPECT_EQ(s->m_nMode, kStageModeContinue) << "frame " << frame;
    EXPECT_TRUE(story.Game().LastFrame(dimmed));
    return true;
  });
  ASSERT_NE(death, 0u) << "the hero does not die";
  ASSERT_NE(menu, 0u) << "no continue menu after the death";
  ASSERT_TRUE(played) << "the game ended, or the run stopped too soon after the menu";
  ASSERT_NE(before, 0u) << "no still frame of play just before the death";
  ASSERT_EQ(alive.pixels.size(), dimmed.pixels.size());
  for (const auto& [top, bottom] : {std::pair{0, kMenuTop}, std::pair{kMenuBottom, dimmed.height}}) {
    const double share = Light(dimmed, top, bottom) / Light(alive, top, bottom);
    EXPECT_NEAR(share, kDimmedLight, kTolerance) << "rows " << top << " to " << bottom;
  }
  EXPECT_EQ(story.Game().Close(), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryStage, DemoDimmingTest, ::testing::Range<size_t>(0, std::size(kDeaths)),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           std::string name = std::string("Stage") + kDeaths[info.param].stage;
                           name[name.find('-')] = '_';
                           return name;
                         });

}  // namespace

// The paths out of a stage that the stage scene's own tests leave open:
// bounded extra-life awards and a single defeat of the hero.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "data/system_data.h"
#include "play/hero.h"
#include "play/stage_scene.h"
#include "play/system_switches.h"
#include "scene/play_record.h"
#include "scene/scene.h"
#include "support/stage_builder.h"

namespace {

// A session (it resets the play record and restores the system data) whose
// waits do not sleep.
struct EndSession {
  explicit EndSession(StageBuilder&& b) : builder(std::move(b)), session(builder) {
    cStageScene::s_pWaitPacer = [] {};
  }
  ~EndSession() { cStageScene::s_pWaitPacer = pacer; }
  void (*pacer)() = cStageScene::s_pWaitPacer;
  StageBuilder builder;
  StageSession session;
};

StageBuilder Plain() {
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(2, 9);
  return b;
}

}  // namespace

// A tiny points-per-life with a big score: the lives stop at 99 and only the
// first 99 of the extra lives sound and wait.
TEST(StageEnd, ExtraLifeMessagesAreBounded) {
  EndSession e(Plain());
  ASSERT_TRUE(e.session.Loaded());
  SystemData.SetNum(ProjectRuleRow(kRuleExtraLives).field, 1);
  SystemData.SetNum(ProjectRuleRow(kRulePointsPerLife).field, 1);
  SaveData.m_nLives = 3;
  SaveData.m_nStagePoints = 0;
  SaveData.m_nScore = 5000;
  e.session.Scene().AwardStageClear();
  EXPECT_EQ(SaveData.m_nLives, 99);
  const auto& sounds = e.session.Sounds();
  EXPECT_EQ(std::count(sounds.begin(), sounds.end(), kSoundExtraLife), cStageScene::kMaxExtraLifeMessages);
}

// The hero's defeat (death flows, its score) happens once however many
// checks kill it in the frame.
TEST(StageEnd, ADyingHeroIsNotDefeatedAgain) {
  StageBuilder b = Plain();
  b.Data().m_PlacedCharacters[0].m_nParam49 = 100;
  EndSession e(std::move(b));
  ASSERT_TRUE(e.session.Loaded());
  cStageScene& scene = e.session.Scene();
  SaveData.m_nScore = 0;
  scene.KillHero(nullptr);
  scene.KillHero(nullptr);
  EXPECT_EQ(scene.Hero().m_bDying, 1);
  EXPECT_EQ(SaveData.m_nScore, 100);
}

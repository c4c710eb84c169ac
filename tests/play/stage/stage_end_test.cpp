// The paths out of a stage that the stage scene's own tests leave open:
// bounded extra-life awards and a single defeat of the hero.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "data/system_data.h"
#include "play/objects/hero.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"
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

// The play record's sums stop at the ends of their 32-bit range, whatever
// the files hand them: a hero of two thousand million HP cleared twice, a
// score added to points near the top (no extra life comes from the sum
// that stops), lives read from a save slot far above the cap, and a
// challenge best below zero.
TEST(StageEnd, TheRecordsSumsStopAtTheEndsOfTheirRange) {
  constexpr int32_t kTop = std::numeric_limits<int32_t>::max();
  struct Row {
    int32_t heroHp, clears;
    int32_t points, score, lives;
    int32_t hpSum, pointsAfter, livesAfter;
  };
  const Row rows[] = {
      {1706803079, 2, 0, 0, 3, kTop, 0, 3},
      {2000000000, 1, 0, 0, 3, 2000000000, 0, 3},
      {10, 1, kTop - 5, 999999, 3, 10, kTop, 3},
      {10, 1, 0, 1000, kTop, 10, 1000, 99},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "HP " << r.heroHp << ", points " << r.points << ", lives " << r.lives);
    StageBuilder b = Plain();
    b.Data().m_PlacedCharacters[0].m_nParam40 = r.heroHp;
    EndSession e(std::move(b));
    ASSERT_TRUE(e.session.Loaded());
    cStageScene& scene = e.session.Scene();
    ASSERT_EQ(scene.Hero().m_nHp, r.heroHp);
    SystemData.SetNum(ProjectRuleRow(kRuleExtraLives).field, 1);
    SystemData.SetNum(ProjectRuleRow(kRulePointsPerLife).field, 1000);
    SaveData.m_nStagePoints = r.points;
    SaveData.m_nScore = r.score;
    SaveData.m_nLives = r.lives;
    for (int k = 0; k < r.clears; ++k) scene.AwardStageClear();
    EXPECT_EQ(SaveData.m_nHpLeftSum, r.hpSum);
    EXPECT_EQ(SaveData.m_nStagePoints, r.pointsAfter);
    EXPECT_EQ(SaveData.m_nLives, r.livesAfter);
  }

  // A challenge stage whose best total (from the progress file) lies below
  // zero: the total gains the difference, held at the top.
  EndSession e(Plain());
  ASSERT_TRUE(e.session.Loaded());
  SceneManager.m_nLastTitleAction = kTitleChallenge;
  SaveData.m_nWorld = 1;
  SaveData.m_WorldProgress.resize(1);
  SaveData.m_WorldProgress[0].BestTotal() = std::numeric_limits<int32_t>::min();
  SaveData.m_nTotalPoints = 5;
  SaveData.m_nStagePoints = 1000;
  e.session.Scene().Tally();
  EXPECT_EQ(SaveData.m_nTotalPoints, kTop);
  EXPECT_EQ(SaveData.m_WorldProgress[0].BestTotal(), 1000);
}

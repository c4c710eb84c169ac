// A hero rides a lift up to a ledge and walks off it onto the ledge, on
// stages built in code and played frame by frame: the lift is a flying
// block character that goes up three blocks and down again, its top at the
// top of its way flush with the ledge's top; the hero walks right all the
// time from a given moment. At the ledge's end, level with it, stands a
// block, a spring or a crate (a block character), and past it the ledge
// ends over the floor.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "data/labels.h"
#include "data/move_shot.h"
#include "play/objects/hero.h"
#include "play/objects/stage_character.h"
#include "play/world/block_map.h"
#include "play/world/stage_scene.h"
#include "support/flow_commands.h"
#include "support/stage_builder.h"

namespace {

// Stage columns and rows; the stage begins ten cells into the block map on
// each axis.
constexpr int kMargin = 10;
constexpr int kLiftColumn = 7, kLiftRow = 11;  // three blocks under the ledge
constexpr int kLedgeRow = 8, kLedgeFirst = 8, kLedgeLast = 13, kEndColumn = 14;
constexpr double kLedgeTop = (kLedgeRow + kMargin) * 32.0;
constexpr double kLedgeLeft = (kLedgeFirst + kMargin) * 32.0;
constexpr double kEndRight = (kEndColumn + kMargin) * 32.0 + 31;

enum class End { kBlock, kSpring, kCrate };

cEdCmd Straight(uint8_t direction, uint16_t speed) {
  cEdCmd c;
  c.m_nKind = kCmdMoveStraight;
  cEdMove::Create(c.m_pMove);
  c.m_pMove->m_f2 = direction;  // 3 right, 6 up, 7 down
  c.m_pMove->SetSpeedStart(speed);
  return c;
}

using flowcmd::Wait;

cEdFlow Always(std::vector<cEdCmd> commands) {
  return flowcmd::Flow(kTriggerAlways, std::move(commands));
}

// A flying block character with a whole cell for its body, acting wherever
// it is.
void MakeBlockCharacter(cEdCharacter& c) {
  c.m_nParam25 = 1;
  c.m_nParam33 = 1;
  c.m_nParam6 = 1;
  c.m_nParam53 = 3;
}

struct Ride {
  const char* what;
  int32_t level;        // speed level: as many sub-steps a frame
  uint16_t pause;       // tenths the lift waits at each end of its way
  uint16_t walkAfter;   // tenths before the hero walks
  uint16_t walk;        // its speed
  End end;
};

// What each frame left: the hero's left edge and feet, and whether it
// stood on something.
struct Frame {
  double x, bottom;
  bool standing;
};

std::vector<Frame> Play(const Ride& r, double& liftHighest) {
  StageBuilder b(20, 15);
  b.SpeedLevel(r.level).Floor(14, 0, 19).Floor(kLedgeRow, kLedgeFirst, kLedgeLast);
  if (r.end != End::kCrate) b.Block(kEndColumn, kLedgeRow);
  if (r.end == End::kSpring) {
    b.Data().m_PlacedBlocks.back().m_nOption4 = kBlockEffectSpring;
    b.Data().m_PlacedBlocks.back().m_nOption4Value = 8;
  }
  // The lift: 96 dots up in 1.6 seconds (one dot a frame), and down again.
  b.Character(kLiftColumn, kLiftRow);
  cEdCharacter& lift = b.Data().m_PlacedCharacters.back();
  MakeBlockCharacter(lift);
  auto leg = [](uint8_t direction) {
    cEdCmd c = Straight(direction, 0);
    c.m_pMove->m_f26 = 1;  // by time and distance
    c.m_pMove->SetDistanceStart(96);
    c.m_nDuration = 16;
    return c;
  };
  lift.m_vFlows = {r.pause == 0 ? Always({leg(6), leg(7)}) : Always({leg(6), Wait(r.pause), leg(7), Wait(r.pause)})};
  if (r.end == End::kCrate) {
    b.Character(kEndColumn, kLedgeRow);
    MakeBlockCharacter(b.Data().m_PlacedCharacters.back());
  }
  b.Hero(kLiftColumn, kLiftRow - 1);  // standing on the lift
  cEdCmd walk = Straight(3, r.walk);
  walk.m_nDuration = 100;
  b.Data().m_PlacedCharacters.back().m_vFlows = {Always({Wait(r.walkAfter), walk})};

  StageSession session(b);
  EXPECT_TRUE(session.Loaded());
  std::vector<Frame> frames;
  if (!session.Loaded()) return frames;
  cStageScene& scene = session.Scene();
  const cStageCharacter& liftNow = scene.m_CharacterList.front();
  liftHighest = liftNow.m_dY;
  for (int i = 0; i < 240 && scene.m_nMode == kStageModePlay && !scene.Hero().m_bDying; ++i) {
    session.Frames(1);
    const cHero& hero = scene.Hero();
    liftHighest = std::min(liftHighest, liftNow.m_dY);
    frames.push_back({hero.m_dX, hero.m_dBottom, hero.m_bContactDown != 0 || hero.m_bRiding != 0});
  }
  return frames;
}

// Walked off the lift, the hero stands on the ledge with its feet (the last
// row of its body) just over the ledge's top dot, not in it, and walks on without a stop to the ledge's
// end and past what stands there: the block and the crate it walks over,
// the spring throws it up and it comes down beyond.
TEST(LiftRide, AHeroWalkingOffALiftFlushWithALedgeStandsOnItsTopAndWalksOn) {
  const Ride rides[] = {
      {"pressed against the ledge's side as the lift rises", 2, 0, 12, 60, End::kBlock},
      {"at the ledge's side as the lift comes to the top", 2, 0, 15, 45, End::kBlock},
      {"slower, at the ledge's side as the lift comes to the top", 2, 0, 15, 35, End::kBlock},
      {"one sub-step a frame", 1, 0, 12, 60, End::kBlock},
      {"three sub-steps a frame", 3, 0, 14, 60, End::kBlock},
      {"the lift waits at the top", 2, 5, 17, 60, End::kBlock},
      {"a spring at the ledge's end", 2, 0, 12, 60, End::kSpring},
      {"a spring, at the ledge's side as the lift comes to the top", 2, 0, 15, 45, End::kSpring},
      {"a crate at the ledge's end", 2, 0, 12, 60, End::kCrate},
      {"a crate, the lift waiting at the top", 1, 5, 16, 60, End::kCrate},
  };

  StageFlowsInstalled flows;
  for (const Ride& r : rides) {
    SCOPED_TRACE(r.what);
    double liftHighest = 0;
    const std::vector<Frame> frames = Play(r, liftHighest);
    if (frames.empty()) continue;
    EXPECT_NEAR(liftHighest, kLedgeTop, 1e-9) << "the lift's top comes flush with the ledge's";
    // The frames from the first that has the hero wholly past the lift's
    // column, over the ledge, to the first that has it past the end.
    size_t first = 0;
    while (first < frames.size() && frames[first].x < kLedgeLeft) ++first;
    size_t past = first;
    while (past < frames.size() && frames[past].x <= kEndRight) ++past;
    if (first == 0 || past == frames.size()) {
      ADD_FAILURE() << "never got past the ledge's end: last at x " << frames.back().x << ", feet at "
                    << frames.back().bottom;
      continue;
    }
    if (frames[first].bottom >= kLedgeTop) {
      ADD_FAILURE() << "went under the ledge: feet at " << frames[first].bottom;
      continue;
    }
    bool thrown = false;
    for (size_t i = first; i < past; ++i) {
      const Frame& f = frames[i];
      EXPECT_GT(f.x, frames[i - 1].x) << "stopped at x " << f.x << ", feet at " << f.bottom;
      thrown = thrown || f.bottom < kLedgeTop - 32;
      if (thrown || !f.standing) continue;
      EXPECT_GE(f.bottom, kLedgeTop - 1) << "frame " << i << " x " << f.x;
      EXPECT_LT(f.bottom, kLedgeTop) << "frame " << i << " x " << f.x << ": feet in the ledge";
    }
    EXPECT_EQ(thrown, r.end == End::kSpring);
  }
}

}  // namespace

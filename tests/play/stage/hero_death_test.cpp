// The hero's deaths that the play frame names in the error-check log: each
// way the blocks, the screen's edges and the block characters can kill the
// hero writes its own line ("Dead 1" .. "Dead 9", "Dead SP"), asks for the
// hero's death sound and starts the hero's death, after which the stage
// starts again with a life less.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "play/objects/hero.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"
#include "scene/play_record.h"
#include "support/stage_builder.h"

namespace {

// The "Dead ..." lines of the error-check log, one after another.
std::string DeathLines(const std::string& log) {
  std::string lines;
  for (size_t at = log.find("Dead"); at != std::string::npos; at = log.find("Dead", at + 1))
    lines += log.substr(at, log.find('\n', at) - at) + ";";
  return lines;
}

// The first placed character made a block character that flies through
// blocks (it stays where it is put).
void FlyingBlockCharacter(StageBuilder& b) {
  cEdCharacter& k = b.Data().m_PlacedCharacters.back();
  k.m_nParam25 = 1;  // solid for the others
  k.m_nParam33 = 1;  // flies, through blocks
}

void ForcedScroll(StageBuilder& b, bool vertical, int32_t tenthsPerFrame) {
  b.Data().Int(vertical ? kStageForcedScrollYOn : kStageForcedScrollXOn) = 1;
  b.Data().Int(vertical ? kStageForcedScrollYSpeed : kStageForcedScrollXSpeed) = tenthsPerFrame;
}

// Where the dead hero is left: put back where the fatal sub-step began, or
// where the push that killed it moved it.
enum class Place { kPutBack, kMoved, kAny };

struct Death {
  const char* line;
  int32_t width, height;                    // of the stage, in blocks
  std::function<void(StageBuilder&)> build;
  // Before each frame (frame number from 0): what the test does to the
  // stage, for pushes that need a block character put in place.
  std::function<void(cStageScene&, int)> before;
  Place place;
};

// A flying block character moved into place after the hero has landed:
// (dx, dy) dots off the hero.
std::function<void(cStageScene&, int)> BlockCharacterAt(double dx, double dy) {
  return [dx, dy](cStageScene& scene, int frame) {
    if (frame != 3) return;
    cStageCharacter& k = scene.m_CharacterList.front();
    k.m_dX = scene.Hero().m_dX + dx;
    k.m_dY = scene.Hero().m_dY + dy;
    k.UpdateX();
    k.UpdateY();
  };
}

TEST(HeroDeath, EachWayOfDyingWritesItsLineSoundsAndStartsTheDeath) {
  const Death deaths[] = {
      // The screen scrolling right pushes the hero into a deadly wall: the
      // side move finds it.
      {"Dead 1", 40, 15, [](StageBuilder& b) {
         b.Floor(10, 0, 39).Hero(2, 9).Block(6, 9, 2);
         ForcedScroll(b, false, 30);
       }, {}, Place::kMoved},
      // No floor: the hero falls out of the stage's bottom.
      {"Dead 2", 20, 15, [](StageBuilder& b) { b.Hero(4, 5); }, {}, Place::kAny},
      // The screen scrolling up leaves the standing hero below its bottom edge.
      {"Dead 3", 20, 30, [](StageBuilder& b) {
         b.Floor(29, 0, 19).Hero(4, 28);
         ForcedScroll(b, true, -30);
       }, {}, Place::kAny},
      // A fall onto a deadly block.
      {"Dead 4", 20, 15, [](StageBuilder& b) { b.Floor(10, 0, 19).Hero(4, 5).Block(4, 9, 2); }, {}, Place::kAny},
      // The hero keeps leaping against a ceiling while the screen scrolls up:
      // the ceiling puts it back down past the screen's bottom edge.
      {"Dead 5", 20, 30, [](StageBuilder& b) {
         b.Floor(29, 0, 19).Hero(4, 26).Block(4, 25);
         ForcedScroll(b, true, -20);
       }, [](cStageScene& scene, int) { scene.Hero().m_dSpeedY = -8; }, Place::kAny},
      // The screen scrolling right squeezes the hero against a solid wall.
      {"Dead SP", 40, 15, [](StageBuilder& b) {
         b.Floor(10, 0, 39).Hero(2, 9).Block(3, 9, 1);
         ForcedScroll(b, false, 30);
       }, {}, Place::kPutBack},
      // A block character falls onto the hero standing on the floor.
      {"Dead 6", 20, 15, [](StageBuilder& b) {
         b.Floor(10, 0, 19).Hero(4, 9).Character(4, 4);
         b.Data().m_PlacedCharacters.back().m_nParam25 = 1;
       }, {}, Place::kAny},
      // A block character overlapping the hero's left pushes it into a
      // deadly wall on its right.
      {"Dead 7", 20, 15, [](StageBuilder& b) {
         b.Floor(10, 0, 19).Hero(4, 9).Block(5, 9, 2).Character(10, 5);
         FlyingBlockCharacter(b);
       }, BlockCharacterAt(-4.5, 0), Place::kMoved},
      // A block character under the hero's feet lifts it into a deadly block.
      {"Dead 8", 20, 15, [](StageBuilder& b) {
         b.Floor(10, 0, 19).Hero(4, 9).Block(4, 8, 2).Character(10, 5);
         FlyingBlockCharacter(b);
       }, BlockCharacterAt(0, 14), Place::kMoved},
      // The push of "Dead 7" into a solid wall: the wall pushes back, and
      // the hero caught between them is squeezed.
      {"Dead 9", 20, 15, [](StageBuilder& b) {
         b.Floor(10, 0, 19).Hero(4, 9).Block(5, 9, 1).Character(10, 5);
         FlyingBlockCharacter(b);
       }, BlockCharacterAt(-4.5, 0), Place::kPutBack},
  };
  for (const Death& death : deaths) {
    SCOPED_TRACE(death.line);
    StageBuilder builder(death.width, death.height);
    death.build(builder);
    StageSession session(builder);
    ASSERT_TRUE(session.Loaded());
    cStageScene& scene = session.Scene();
    cHero& hero = scene.Hero();
    double x = 0, y = 0;
    int frame = 0;
    for (; frame < 300 && !hero.m_bDying; ++frame) {
      if (death.before) death.before(scene, frame);
      ASSERT_TRUE(session.Sounds().empty()) << "frame " << frame;
      x = hero.m_dX;
      y = hero.m_dY;
      session.Frames(1);
    }
    ASSERT_EQ(hero.m_bDying, 1);
    EXPECT_EQ(DeathLines(session.Files().ErrorCheckLog()), std::string(death.line) + ";");
    EXPECT_EQ(session.Sounds(), std::vector<int32_t>{kSoundHeroDeath});
    // One sub-step a frame: the fatal one began where the frame began.
    if (death.place == Place::kPutBack) {
      EXPECT_EQ(std::pair(hero.m_dX, hero.m_dY), std::pair(x, y));
    } else if (death.place == Place::kMoved) {
      EXPECT_NE(std::pair(hero.m_dX, hero.m_dY), std::pair(x, y));
    }
    // The death sequence plays, then the stage starts again from its banner
    // with one life less.
    for (int i = 0; i < 600 && scene.m_nMode == kStageModePlay; ++i) session.Frames(1);
    EXPECT_EQ(scene.m_nMode, kStageModeBanner);
    EXPECT_EQ(SaveData.m_nLives, 2);
    EXPECT_EQ(scene.Hero().m_bDying, 0);
  }
}

}  // namespace

// A hit leaves every hero of the demo safe and blinking: for a second and a
// half (90 frames) after a hit no attacker hurts it, neither the one that hit
// it nor any other that reaches it meanwhile, and its running graphic effect
// (the kind the frame trace writes as the hero's "effect") is the blink all
// that while, on every stage of the game, whichever hero the stage has. The
// stages are played as the demo writes them, each on its own from the start
// of play, with keys held as a player holds them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/play_script.h"
#include "data/common_palette.h"
#include "data/database.h"
#include "data/stage_data.h"
#include "play/objects/hero.h"
#include "play/objects/shot.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"
#include "platform/text.h"
#include "scene/input.h"
#include "support/game_data.h"
#include "support/sandbox.h"
#include "support/stage_builder.h"

namespace {

constexpr int kSafety = 90;  // frames of safety after a hit
constexpr int kBlink = 6;    // the graphic effect kind of a blink

// What a frame of play showed of the hero.
struct Seen {
  int32_t hp = 0;
  int32_t effect = 0;  // the kind of its running graphic effect (0: none)
  bool dying = false;
  // The attackers whose hits reach it: characters of another group that hurt
  // by touch, their bodies meeting its body ("character ID"), and harmful
  // shots of another group meeting its attack box ("shot SERIAL of ID").
  std::set<std::string> reaching;
  // The characters whose touch it is safe from since they hit it.
  std::set<std::string> safeFrom;
  std::string name;  // the hero's type's name (UTF-8)
};

bool Meet(const cHitRect& a, const cHitRect& b) {
  return a.left <= b.right && a.right >= b.left && a.top <= b.bottom && a.bottom >= b.top;
}

// The demo made afresh, its database and common palette loaded.
class DemoSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(std::system((std::string(PELMORA_TOOL) + " make-demo --force . > /dev/null").c_str()), 0);
    ASSERT_EQ(LoadDatabase(), 1);
    PrepareDatabaseTables();  // the graphic effects' runs, as the game's start builds them
    ASSERT_EQ(CommonPalette.LoadFromFile("data\\CommonPalette.cplt4"), 1);
  }

  // Plays the demo's stage file `stage` on its own for `frames` frames from
  // the start of play, with the keys of the script `keys` (its frames count
  // from the first of play), and what each frame showed.
  static std::vector<Seen> Watch(const std::string& stage, const std::string& keys, int frames) {
    PlayScript script;
    std::string error;
    EXPECT_TRUE(script.Parse(keys, error)) << error;
    cStageData data;
    EXPECT_EQ(data.LoadFromFile(("data\\stg4\\" + stage).c_str()), 1) << stage;
    StageFlowsInstalled flows;
    StageSession session(data.SaveStageBytes());
    EXPECT_TRUE(session.Loaded()) << stage;
    std::vector<Seen> seen;
    if (!session.Loaded()) return seen;
    cStageScene& scene = session.Scene();
    cInput& input = InputRecords.At(0);
    for (int frame = 1; frame <= frames && scene.m_nMode == kStageModePlay; ++frame) {
      const PlayKeySet held = script.KeysAt(static_cast<uint32_t>(frame));
      auto key = [&](int k) { return (held >> k & 1) != 0; };
      input.m_wDirection = static_cast<uint16_t>((key(kPlayLeft) ? kDirLeft : 0) | (key(kPlayRight) ? kDirRight : 0) |
                                                 (key(kPlayUp) ? kDirUp : 0) | (key(kPlayDown) ? kDirDown : 0));
      input.m_wButtons = 0;
      for (int b = 0; b < 8; ++b)
        if (key(kPlayB1 + b)) input.m_wButtons = static_cast<uint16_t>(input.m_wButtons | 1u << b);
      session.Frames(1);
      const cHero& hero = scene.Hero();
      Seen s;
      s.hp = hero.m_nHp;
      s.effect = hero.m_Effect.Kind();
      s.dying = hero.m_bDying != 0;
      s.name = plat::Cp932ToUtf8(hero.Definition().m_strName);
      for (const cInvincibleEntry& e : hero.m_InvincibleList) s.safeFrom.insert("character " + std::to_string(e.attackerId));
      const int32_t group = hero.Definition().GroupByte();
      for (const cStageCharacter& c : scene.m_CharacterList)
        if (c.m_bPresent && !c.m_bDying && c.Definition().GroupByte() != group && c.Definition().ContactPower() != 0 &&
            Meet(c.m_Hit1, hero.m_Hit1))
          s.reaching.insert("character " + std::to_string(c.m_nId));
      for (const std::shared_ptr<cShot>& shot : scene.m_ShotList)
        if (!shot->m_bRemove && shot->IsHarmful() && shot->m_nGroup != group && Meet(shot->m_Hit, hero.m_Hit2))
          s.reaching.insert("shot " + std::to_string(shot->m_nOrderSerial) + " of " + std::to_string(shot->m_nOwnerId));
      seen.push_back(s);
    }
    return seen;
  }

  Sandbox sandbox_;
  ScopedGameData data_;
};

// The frames (indexes into what Watch saw) in which the hero lost HP and
// lived on.
std::vector<size_t> Hits(const std::vector<Seen>& seen) {
  std::vector<size_t> hits;
  for (size_t i = 1; i < seen.size(); ++i)
    if (seen[i].hp < seen[i - 1].hp && !seen[i].dying) hits.push_back(i);
  return hits;
}

std::string Names(const std::set<std::string>& names) {
  std::string joined;
  for (const std::string& n : names) joined += (joined.empty() ? "" : ", ") + n;
  return joined;
}

// In the sky of 2-1 a hero who flies east from the start (RIGHT held from
// its 32nd frame of play on, the 200th of the game's test play) is hit by a
// UFO, and while it is safe a shot of another UFO reaches it; hit again,
// a bird reaches it and then a shot. None of them hurts it until 90
// frames have passed since the hit: no HP is lost in the frames between.
TEST_F(DemoSafetyTest, NoOtherAttackerHurtsTheHeroWhileItIsSafe) {
  const std::vector<Seen> seen = Watch("c02-1.stg4_001", "32-1000 RIGHT\n", 1000);
  const std::vector<size_t> hits = Hits(seen);
  ASSERT_GE(hits.size(), 2u) << "the hero flies into two hits";
  size_t others = 0;  // frames in which another attacker reached the safe hero
  for (const size_t hit : hits) {
    // What hit it: what reached it then, and the character it is safe from
    // since (a shot that hits is gone; later shots are other attackers).
    std::set<std::string> hitBy = seen[hit].reaching;
    hitBy.insert(seen[hit].safeFrom.begin(), seen[hit].safeFrom.end());
    for (size_t i = hit + 1; i < hit + kSafety && i < seen.size(); ++i) {
      std::set<std::string> other;
      for (const std::string& a : seen[i].reaching)
        if (!hitBy.count(a)) other.insert(a);
      others += other.empty() ? 0 : 1;
      ASSERT_EQ(seen[i].hp, seen[hit].hp) << "frame " << i + 1 << ", " << i - hit << " after the hit of frame "
                                          << hit + 1 << "; reaching it: " << Names(seen[i].reaching);
    }
  }
  EXPECT_GT(others, 0u) << "no other attacker reached the hero while it was safe";
}

// Every hero the demo's stages have blinks through the safety a hit leaves
// it: on each stage, played until the hero is hit and lives on, the hero's
// graphic effect is the blink in each of the 89 frames after the hit. Each
// stage's hero is named, and every hero of the game's stage files is one of
// them.
TEST_F(DemoSafetyTest, EveryHeroBlinksWhileItIsSafe) {
  const struct {
    const char* stage;
    const char* hero;
    const char* keys;  // frames of play
    int frames;
  } stages[] = {
      // East over the low wall and the first pit, into the first blob.
      {"c01-1.stg4_001", "勇者", "1-372 RIGHT\n147-176 B1\n207-236 B1\n", 700},
      // Up the first lift to the blob's ledge, as the route goes, and no
      // sword: the blob walks into him.
      {"c01-2.stg4_001", "勇者",
       "4-99 RIGHT\n174-203 B1\n180-202 RIGHT\n319-348 B1\n319-344 RIGHT\n372-414 RIGHT\n415-454 LEFT\n", 700},
      // East into the UFOs.
      {"c02-1.stg4_001", "空の勇者", "32-1000 RIGHT\n", 800},
      // Ahead of the screen over everything on the road, and a jump onto
      // the ledge over the road where the blob walks.
      {"c02-2.stg4_001", "風の勇者",
       "1-1350 RIGHT\n107-136 B1\n252-281 B1\n397-426 B1\n459-488 B1\n563-592 B1\n685-714 B1\n822-851 B1\n"
       "944-973 B1\n1096-1125 B1\n1152-1181 B1\n",
       1350},
      // Still under the master: its shots.
      {"c03-1.stg4_001", "勇者", "", 300},
  };
  std::set<std::string> heroes;
  for (const auto& s : stages) {
    SCOPED_TRACE(s.stage);
    heroes.insert(s.hero);
    const std::vector<Seen> seen = Watch(s.stage, s.keys, s.frames);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].name, s.hero);
    size_t watched = 0;  // hits followed by a whole safety in play
    for (const size_t hit : Hits(seen)) {
      if (hit + kSafety > seen.size()) continue;
      ++watched;
      for (size_t i = hit + 1; i < hit + kSafety; ++i)
        ASSERT_EQ(seen[i].effect, kBlink) << "frame " << i + 1 << ", " << i - hit << " after the hit of frame "
                                          << hit + 1;
    }
    EXPECT_GE(watched, 1u) << "the hero hit and safe";
  }
  // The heroes of the game's stage files.
  for (const char* file : {"c01-1", "c01-2", "c02-1", "c02-2", "c03-1", "c04-1"}) {
    cStageData stage;
    ASSERT_EQ(stage.LoadFromFile((std::string("data\\stg4\\") + file + ".stg4_001").c_str()), 1) << file;
    const int hero = stage.FindHeroIndex();
    ASSERT_GE(hero, 0) << file;
    EXPECT_TRUE(heroes.count(plat::Cp932ToUtf8(stage.m_PlacedCharacters[static_cast<size_t>(hero)].m_strName)))
        << file << "'s hero is watched on no stage";
  }
}

}  // namespace

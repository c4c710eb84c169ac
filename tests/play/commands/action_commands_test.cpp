// Flow operations, stage clear, game wait and warps on stages built in code.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "data/conditions.h"
#include "data/database.h"
#include "data/database_records.h"
#include "data/labels.h"
#include "flow/flow_state.h"
#include "play/commands/commands.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/hero.h"
#include "platform/messages.h"
#include "play/objects/message_window.h"
#include "play/objects/picture.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"
#include "scene/play_record.h"
#include "support/game_data.h"
#include "support/stage_builder.h"

namespace {

cEdCmd Command(int kind, std::vector<uint32_t> words) {
  cEdCmd c;
  c.m_nKind = static_cast<uint8_t>(kind);
  c.m_vParams = std::move(words);
  return c;
}

// A message shown for `tenths`, which the game waits for.
cEdCmd TimedMessage(uint32_t tenths) {
  std::vector<uint32_t> words(18, 0);
  words[6] = kMessageTimed;
  words[7] = tenths;
  words[8] = 1;  // the game waits for it
  cEdCmd message = Command(kCmdMessage, words);
  message.m_strText = "a";
  return message;
}

// Picture 1 shown for `tenths`, which the game waits for.
cEdCmd TimedPicture(uint32_t tenths) {
  std::vector<uint32_t> words(16, 0);
  words[0] = 1;
  words[8] = kPictureForTime;
  words[9] = tenths;
  words[10] = 1;  // the game waits for it
  return Command(kCmdShowPicture, words);
}

// An always-flow of group `group` that waits 10 seconds.
cEdFlow WaitingFlow(uint8_t group) {
  cEdFlow f;
  f.m_nTrigger = kTriggerAlways;
  f.m_nGroup = group;
  cEdCmd wait = Command(kCmdWait, {});
  wait.m_nDuration = 100;
  f.m_vCmds = std::vector<cEdCmd>{wait};
  return f;
}

}  // namespace

// The enemy runs three flows (the running one first, two of ID 2); the
// operation comes from the enemy itself or (whose 2) from the hero through
// its target slot 1. Per flow: running, paused, halted, removal requested.
TEST(ActionCommands, FlowOperationsActOnTheChosenFlowsOfTheOwner) {
  struct Case {
    uint32_t op, scope, id, whose;
    std::vector<std::vector<int32_t>> flows;
  };
  const std::vector<Case> cases = {
      {0, 0, 0, 0, {{1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}}},  // start this: begins again
      {1, 0, 0, 0, {{0, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}}},
      {1, 1, 0, 0, {{1, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}},
      {2, 2, 2, 0, {{1, 0, 0, 0}, {1, 1, 0, 0}, {1, 1, 0, 0}}},
      {2, 2, 0, 0, {{1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}}},  // ID 0 matches no flow
      {5, 1, 0, 0, {{1, 0, 0, 0}, {1, 0, 1, 0}, {1, 0, 1, 0}}},
      {4, 0, 0, 0, {{1, 0, 0, 1}, {1, 0, 0, 0}, {1, 0, 0, 0}}},  // goes when its loop settles
      {1, 1, 0, 2, {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}},  // the hero ends the enemy's flows
      {4, 2, 2, 2, {{1, 0, 0, 0}}},                              // deleted at once on another
      {1, 1, 0, 3, {{1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}}},  // empty slot 2: nothing
  };
  cFlowHost* host = FlowHost();
  cFlowHooks* hooks = &FlowHooks();
  InstallStageFlows();
  for (const Case& c : cases) {
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(2, 9).Character(10, 9);
    b.Data().m_PlacedCharacters[1].m_vFlows = {WaitingFlow(0), WaitingFlow(2), WaitingFlow(2)};
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    s.Frames(1);
    cStageCharacter& enemy = s.Scene().m_CharacterList.front();
    cActorFlows& flows = FlowsOfCharacter(enemy);
    ASSERT_EQ(flows.Count(), 3u);
    flows.At(0).m_nFrameCounter = 5;
    SetTargetSlot(s.Scene().Hero(), 1, &enemy, 1);
    cCharacter& runner = c.whose == 0 ? static_cast<cCharacter&>(enemy) : s.Scene().Hero();
    {
      cCurrentObjectsGuard keep;
      // The enemy runs its flow 0; the hero runs no flow of the enemy's.
      SetCurrentObjects({&runner, c.whose == 0 ? &flows.At(0) : nullptr, nullptr});
      ExecuteFlowOperation(runner, Command(kCmdFlowControl, {c.op, c.scope, c.id, c.whose}));
    }
    ASSERT_EQ(flows.Count(), c.flows.size());
    for (size_t i = 0; i < flows.Count(); ++i) {
      const cFlowState& f = flows.At(i);
      EXPECT_EQ((std::vector<int32_t>{f.m_bRunning, f.m_bPaused, f.m_bHalted, f.m_bRemovalRequest}), c.flows[i])
          << "op " << c.op << " scope " << c.scope << " whose " << c.whose << " flow " << i;
    }
    if (c.op == 0) {
      EXPECT_EQ(flows.At(0).m_nFrameCounter, 0);
    }
    s.Frames(1);  // retired states live until the frame ends (ASan)
  }
  SetFlowHost(host);
  SetFlowHooks(hooks);
}

TEST(ActionCommands, StageClearSetsTheNextStageAndTheStartPosition) {
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(2, 9);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  const cWorldMapBounds savedMap = cSaveData::s_MapBounds;
  cSaveData::s_MapBounds.nWidth = 8;
  cSaveData::s_MapBounds.nHeight = 6;
  SaveData.m_nStage = 4;
  struct Case {
    std::vector<uint32_t> words;
    int32_t next, mapX, mapY;
  };
  const std::vector<Case> cases = {
      {{0, 0, 0}, 5, -1, -1},
      {{1, 9, 0}, 9, -1, -1},
      {{3, 9, 0}, 0, -1, -1},
      {{0, 0, 1, 20, 3}, 5, 7, 3},             // beyond the map: the last column
      {{0, 0, 1, uint32_t(-3), 99}, 5, 0, 5},  // below 0: the first
  };
  for (const Case& c : cases) {
    SaveData.m_nMapX = SaveData.m_nMapY = -1;
    EXPECT_EQ(ExecuteStageClear(scene.Hero(), Command(kCmdStageClear, c.words)), kEndClear);
    EXPECT_EQ((std::vector<int32_t>{scene.m_nNextStageNumber, SaveData.m_nMapX, SaveData.m_nMapY}),
              (std::vector<int32_t>{c.next, c.mapX, c.mapY}));
  }
  // Path mode: the text becomes "name." and stays so when run again.
  cEdCmd path = Command(kCmdStageClear, {2, 0, 0, 0, 0, 1, 3, 4, 2});
  path.m_strText = "next.stg4";
  scene.Hero().m_nFacing = 1;
  for (int run = 0; run < 2; ++run) {
    ExecuteStageClear(scene.Hero(), path);
    EXPECT_EQ(path.m_strText, "next.");
    EXPECT_EQ(scene.m_strNextStageName, "next.");
  }
  EXPECT_EQ((std::vector<int32_t>{scene.m_nNextStageNumber, SaveData.m_bStartGiven, SaveData.m_nStartX,
                                  SaveData.m_nStartY, SaveData.m_nStartFacing}),
            (std::vector<int32_t>{4, 1, 3, 4, 1}));
  cSaveData::s_MapBounds = savedMap;
}

// Warps by direction and to coordinates; into a wall or out of the stage the
// character stays where it was.
TEST(ActionCommands, WarpsMoveOrStayPut) {
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Block(8, 9).Hero(15, 9).Character(4, 9);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cCharacter& c = s.Scene().m_CharacterList.front();
  c.m_nFacing = 1;
  struct Case {
    int32_t base, direction, distance, blockX;
    double dx;
  };
  const std::vector<Case> cases = {
      {0, 0, 2, 0, 32},     // forward (right) by 2 half blocks
      {0, 1, 2, 0, -32},    // backward
      {0, 0, 8, 0, 0},      // into the block at column 8
      {5, 0, 0, -1, -32},   // one block left of where it stands
      {5, 0, 0, -40, 0},    // out of the stage
  };
  for (const Case& k : cases) {
    const double x = c.m_dX, y = c.m_dY;
    cEdCmd warp = Command(kCmdWarp, {});
    warp.m_pMove = std::make_shared<cEdMove>();
    warp.m_pMove->m_f1 = static_cast<uint8_t>(k.base);
    warp.m_pMove->m_f2 = static_cast<uint8_t>(k.direction);
    warp.m_pMove->m_f3 = static_cast<uint16_t>(k.distance);
    warp.m_pMove->m_f8 = static_cast<uint16_t>(k.blockX);
    warp.m_pMove->m_f12 = warp.m_pMove->m_f13 = 0;  // relative, no mirroring by facing
    ExecuteWarp(c, warp);
    EXPECT_DOUBLE_EQ(c.m_dX - x, k.dx) << k.base << "/" << k.distance << "/" << k.blockX;
    EXPECT_DOUBLE_EQ(c.m_dY, y);
    c.m_dX = x;
    c.UpdateX();
  }
}

// A warp by the input direction (choice 12; the flow began on up-right)
// four half blocks from the mover itself or from its target: under the
// warp-axis rule the direction follows the axis mode of the object the warp
// starts from, so from a ground object the diagonal becomes a step right;
// without the rule every warp goes as a free character's, diagonally.
TEST(ActionCommands, AnInputDirectionWarpFollowsTheAxisOfWhereItStarts) {
  struct Row {
    int32_t warpAxis, base;
    uint8_t moverFree, targetFree;
    bool diagonal;
  };
  const Row rows[] = {{1, 1, 1, 0, false}, {1, 1, 0, 1, true},  {1, 0, 0, 1, false}, {1, 0, 1, 0, true},
                      {0, 1, 1, 0, true},  {0, 0, 0, 0, true}};
  cFlowHost* host = FlowHost();
  cFlowHooks* hooks = &FlowHooks();
  InstallStageFlows();  // the current flow, whose input direction the warp reads
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "warp axis " << r.warpAxis << ", base " << r.base << ", mover free "
                                    << int(r.moverFree) << ", target free " << int(r.targetFree));
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(1, 9).Character(5, 4).Character(12, 4);
    b.Data().m_PlacedCharacters[1].m_nParam33 = r.moverFree;
    b.Data().m_PlacedCharacters[2].m_nParam33 = r.targetFree;
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    s.System().SetNum(ProjectRuleRow(kRuleWarpAxis).field, r.warpAxis);
    s.Scene().SetStage(0, 1);  // the stage starts again under the project's rule
    auto at = s.Scene().m_CharacterList.begin();
    cStageCharacter& mover = *at;
    cStageCharacter& target = *++at;
    ASSERT_EQ(mover.m_bFreeVertical, r.moverFree);
    ASSERT_EQ(target.m_bFreeVertical, r.targetFree);
    cCharacter* const slot = mover.m_Targets[0];  // the hero, linked
    mover.m_Targets[0] = &target;
    cFlowState flow;
    flow.m_nInputDirection = 7;  // right and up
    cCurrentObjectsGuard guard;
    SetCurrentObjects({&mover, &flow, nullptr});
    cEdCmd warp = Command(kCmdWarp, {});
    cEdMove::Create(warp.m_pMove);
    warp.m_pMove->m_f1 = static_cast<uint8_t>(r.base);
    warp.m_pMove->m_f2 = 12;  // the input direction
    warp.m_pMove->SetDistanceStart(4);
    const cStageCharacter& from = r.base == 0 ? mover : target;
    const double x = from.m_dX - from.m_nMarginX + from.m_nDrawWidth / 2.0;
    const double y = from.m_dY - from.m_nMarginY + from.m_nDrawHeight / 2.0;
    ExecuteWarp(mover, warp);
    const double dx = mover.m_dX - mover.m_nMarginX + mover.m_nDrawWidth / 2.0 - x;
    const double dy = mover.m_dY - mover.m_nMarginY + mover.m_nDrawHeight / 2.0 - y;
    const double d = r.diagonal ? 64 / std::sqrt(2.0) : 64;
    EXPECT_NEAR(dx, d, 1e-9);
    EXPECT_NEAR(dy, r.diagonal ? -d : 0.0, 1e-9);
    mover.m_Targets[0] = slot;  // filled by hand, without the links: the linked one goes back
  }
  SetFlowHost(host);
  SetFlowHooks(hooks);
}

// Game wait 10 keeps the stage drawn for 60 frames while nothing moves.
TEST(ActionCommands, GameWaitKeepsSixFramesATenth) {
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(4, 9);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  auto* savedPacer = cStageScene::s_pWaitPacer;
  static int paced = 0;
  // While it waits, the window list holds one invisible timed entry of the
  // wait's frames that counts on still frames too.
  static std::vector<cMessageSettings> entries;
  paced = 0;
  entries.clear();
  cStageScene::s_pWaitPacer = [] {
    if (paced++ == 0)
      for (const auto& w : CurrentStageScene()->m_MessageWindows) entries.push_back(w->m_Settings);
  };
  const double x = s.Scene().Hero().m_dX;
  ExecuteGameWait(s.Scene().Hero(), Command(kCmdGameWait, {10}));
  ExecuteGameWait(s.Scene().Hero(), Command(kCmdGameWait, {}));  // no words: nothing
  cStageScene::s_pWaitPacer = savedPacer;
  EXPECT_EQ(paced, 61);  // 60 presented, the 61st ends the wait
  EXPECT_EQ(s.Scene().Hero().m_dX, x);
  ASSERT_EQ(entries.size(), 1u);
  const cMessageSettings& e = entries[0];
  EXPECT_EQ((std::vector<int32_t>{e.style, e.displayMode, e.remainingFrames, e.keepCounting, e.fixPosition}),
            (std::vector<int32_t>{kMessageInvisible, kMessageTimed, 60, 1, 1}));
  EXPECT_TRUE(s.Scene().m_MessageWindows.empty()) << "the entry goes with the wait";
}

// A timed wait runs its whole stored time, an hour's worth and more: the
// game wait, a message and a picture shown for a time wait six frames a
// tenth; a time too long for the counters waits as long as they hold, and
// a negative one not at all. The pacer notes the frames the wait set out
// to keep on its first pass and ends the wait there (the window's close).
TEST(ActionCommands, TimedWaitsRunTheirWholeStoredTime) {
  enum Kind { kGameWait, kTimedMessage, kTimedPicture };
  constexpr int32_t kMost = std::numeric_limits<int32_t>::max(), kNoWait = -1;
  const struct {
    Kind kind;
    uint32_t tenths;
    int32_t frames;
  } cases[] = {{kGameWait, 36001, 216006},   {kGameWait, 0x7FFFFFFF, kMost},     {kGameWait, 0xFFFFFFFF, kNoWait},
               {kTimedMessage, 36001, 216006}, {kTimedMessage, 0x7FFFFFFF, kMost},
               {kTimedPicture, 36001, 216006}, {kTimedPicture, 0x7FFFFFFF, kMost}};
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(4, 9);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  auto* savedPacer = cStageScene::s_pWaitPacer;
  static int32_t seen;
  cStageScene::s_pWaitPacer = [] {
    if (seen != kNoWait) return;
    seen = CurrentStageScene()->m_nWaitFrames;
    plat::PostMessage(0, kEndFrameKeeping, 0, 0);
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind * 100 + static_cast<int>(c.frames % 100));
    seen = kNoWait;
    cHero& hero = s.Scene().Hero();
    if (c.kind == kGameWait) {
      ExecuteGameWait(hero, Command(kCmdGameWait, {c.tenths}));
    } else if (c.kind == kTimedMessage) {
      ExecuteMessage(hero, TimedMessage(c.tenths), 0);
    } else {
      ExecutePicture(hero, TimedPicture(c.tenths));
    }
    EXPECT_EQ(seen, c.frames);
    s.CloseRequested();  // takes the close the ended wait asked for
  }
  cStageScene::s_pWaitPacer = savedPacer;
}

// The same waits run by the hero's flow, counted pass by pass: each keeps
// six frames a tenth of a second on the screen, and the pass after the
// last ends it (the count ends only with the wait itself).
TEST(ActionCommands, TimedWaitsKeepEveryFrameOfTheirTime) {
  enum Kind { kGameWait, kTimedMessage, kTimedPicture };
  const struct {
    Kind kind;
    uint32_t tenths;
  } cases[] = {{kGameWait, 1}, {kGameWait, 3}, {kTimedMessage, 2}, {kTimedPicture, 2}};
  StageFlowsInstalled installed;
  auto* savedPacer = cStageScene::s_pWaitPacer;
  static int32_t passes;
  cStageScene::s_pWaitPacer = [] { ++passes; };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << ", tenths " << c.tenths);
    cEdCmd command;
    if (c.kind == kGameWait) {
      command = Command(kCmdGameWait, {c.tenths});
    } else if (c.kind == kTimedMessage) {
      command = TimedMessage(c.tenths);
    } else {
      command = TimedPicture(c.tenths);
    }
    cEdCmd rest = Command(kCmdWait, {});
    rest.m_nDuration = 1000;
    cEdFlow f;
    f.m_nTrigger = kTriggerAlways;
    f.m_vCmds = std::vector<cEdCmd>{command, rest};
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(4, 9);
    b.Data().m_PlacedCharacters[0].m_vFlows = {f};
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    passes = 0;
    s.Frames(1);
    EXPECT_EQ(passes, static_cast<int32_t>(c.tenths) * 6 + 1);
    passes = 0;
    s.Frames(1);
    EXPECT_EQ(passes, 0) << "the flow has gone on to its next command";
    EXPECT_FALSE(s.CloseRequested());
  }
  cStageScene::s_pWaitPacer = savedPacer;
}

// A flow that starts itself again begins from its first command on the next
// frame: it counts once a frame instead of ending.
TEST(ActionCommands, AFlowRestartingItselfBeginsAgainNextFrame) {
  cFlowHost* host = FlowHost();
  cFlowHooks* hooks = &FlowHooks();
  InstallStageFlows();
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(2, 9).Character(10, 9);
  cEdCmd count = Command(kCmdRunCode, {});
  count.m_strText = "S1 = S1 + 1";
  count.m_nTogether = 1;
  cEdFlow f;
  f.m_nTrigger = kTriggerDied;  // never raised here: started by hand
  f.m_vCmds = std::vector<cEdCmd>{count, Command(kCmdFlowControl, {0, 0, 0, 0})};
  b.Data().m_PlacedCharacters[1].m_vFlows = {f};
  {
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    cStageCharacter& c = s.Scene().m_CharacterList.front();
    FlowsOfCharacter(c).At(0).Start(&c);
    s.Frames(3);
    EXPECT_EQ(s.Scene().m_StageVariables[1], 3);
  }
  SetFlowHost(host);
  SetFlowHooks(hooks);
}

// A flow that halts itself for good: it counts once a frame for three
// frames, then halts; its commands (the count by 100 after the halt) and
// its frame counter move no more, though it still counts as running (so
// its trigger does not start it again either).
TEST(ActionCommands, AHaltedFlowStepsNoMore) {
  StageFlowsInstalled installed;
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(2, 9).Character(10, 9);
  auto code = [](const char* text) {
    cEdCmd c = Command(kCmdRunCode, {});
    c.m_strText = text;
    return c;
  };
  cEdFlow f;
  f.m_nTrigger = kTriggerAlways;
  f.m_vCmds = std::vector<cEdCmd>{code("S1 = S1 + 1"), code("S1 = S1 + 1"), code("S1 = S1 + 1"),
                                  Command(kCmdFlowControl, {5, 0, 0, 0}), code("S1 = S1 + 100")};
  b.Data().m_PlacedCharacters[1].m_vFlows = {f};
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageCharacter& c = s.Scene().m_CharacterList.front();
  const cFlowState& flow = FlowsOfCharacter(c).At(0);
  s.Frames(4);
  ASSERT_EQ(flow.m_bHalted, 1);
  EXPECT_EQ(flow.m_bRunning, 1);
  const int32_t counter = flow.m_nFrameCounter;
  for (int frame = 0; frame < 10; ++frame) {
    s.Frames(1);
    EXPECT_EQ(s.Scene().m_StageVariables[1], 3) << frame;
    EXPECT_EQ(flow.m_nFrameCounter, counter) << frame;
  }
}

// An anime that a flow's timeline starts at the flow's frame 0 (the lead-in
// of its second command, longer than the first command) does not start
// while the flow is paused, and starts once when it goes on. The "always"
// flow starts the flow of ID 1 and pauses it in the same frame, and
// resumes it 30 frames later.
TEST(ActionCommands, APausedFlowStartsNoAnimeOfItsTimeline) {
  ScopedGameData data;
  cAnimeRecord anime;
  anime.m_Frames.clear();
  for (int32_t hold : {0, 0, 1}) {
    cAnimeFrame frame;
    frame.m_nDuration = 1;
    frame.m_nHold = hold;
    anime.m_Frames.push_back(frame);
  }
  Database.m_Animes.assign(2, anime);  // anime 1: a lead-in of 2 tenths
  StageFlowsInstalled installed;
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(2, 9).Character(10, 9);
  cEdCmd first = Command(kCmdWait, {});
  first.m_nDuration = 1;
  cEdCmd animated = Command(kCmdWait, {});
  animated.m_nDuration = 3;
  animated.m_nAnime = 1;
  cEdFlow paused;
  paused.m_nTrigger = kTriggerOnlyByFlowControl;
  paused.m_nGroup = 1;
  paused.m_vCmds = std::vector<cEdCmd>{first, animated};
  auto together = [](cEdCmd c) {
    c.m_nTogether = 1;
    return c;
  };
  cEdCmd wait = Command(kCmdWait, {});
  wait.m_nDuration = 5;
  cEdCmd rest = Command(kCmdWait, {});
  rest.m_nDuration = 1000;
  cEdFlow driver;
  driver.m_nTrigger = kTriggerAlways;
  driver.m_vCmds = std::vector<cEdCmd>{together(Command(kCmdFlowControl, {0, 2, 1, 0})),
                                       together(Command(kCmdFlowControl, {2, 2, 1, 0})), wait,
                                       together(Command(kCmdFlowControl, {3, 2, 1, 0})), rest};
  b.Data().m_PlacedCharacters[1].m_vFlows = {paused, driver};
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  ASSERT_EQ(SubStepsPerFrame(), 1);
  cStageCharacter& c = s.Scene().m_CharacterList.front();
  const cFlowState& flow = FlowsOfCharacter(c).At(0);
  ASSERT_EQ(flow.m_Timeline.size(), 1u);
  ASSERT_EQ(flow.m_Timeline[0].start, 0);
  s.Frames(1);
  ASSERT_EQ(flow.m_bRunning, 1);
  ASSERT_EQ(flow.m_bPaused, 1);
  int frame = 1;
  for (; flow.m_bPaused && frame < 60; ++frame) {
    EXPECT_TRUE(c.m_AnimeRuns.empty()) << frame;
    EXPECT_EQ(flow.m_nFrameCounter, 0) << frame;
    s.Frames(1);
  }
  EXPECT_EQ(frame, 31);
  s.Frames(1);
  EXPECT_EQ(c.m_AnimeRuns.size(), 1u);
  EXPECT_EQ(flow.m_nFrameCounter, 1);
}

// The flow operation's condition list gates it only while its used byte is
// set: stage variable 1 is 0, the list asks for 5 (fails) or 0 (holds).
TEST(ActionCommands, AFlowOperationsConditionListCountsOnlyWhenUsed) {
  struct Row { uint8_t used; int32_t wanted; bool ends; };
  const Row rows[] = {{0, 5, true}, {1, 5, false}, {1, 0, true}};
  cFlowHost* host = FlowHost();
  cFlowHooks* hooks = &FlowHooks();
  InstallStageFlows();
  for (const Row& r : rows) {
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(2, 9).Character(10, 9);
    b.Data().m_PlacedCharacters[1].m_vFlows = {WaitingFlow(0), WaitingFlow(2)};
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    s.Frames(1);
    cStageCharacter& enemy = s.Scene().m_CharacterList.front();
    cActorFlows& flows = FlowsOfCharacter(enemy);
    cEdCmd end = Command(kCmdFlowControl, {1, 2, 2, 0});  // end the flows of ID 2
    cCondList::Create(end.m_pCondList);
    end.m_pCondList->m_nOption = r.used;
    cCond wanted;
    wanted.m_nKind = 2;  // stage variable
    wanted.m_nVarNumber = 1;
    wanted.m_nConstant = r.wanted;
    end.m_pCondList->m_vConds = {wanted};
    {
      cCurrentObjectsGuard keep;
      SetCurrentObjects({&enemy, &flows.At(0), nullptr});
      ExecuteFlowOperation(enemy, end);
    }
    EXPECT_EQ(flows.At(1).m_bRunning, r.ends ? 0 : 1) << int(r.used) << " " << r.wanted;
    s.Frames(1);
  }
  SetFlowHost(host);
  SetFlowHooks(hooks);
}

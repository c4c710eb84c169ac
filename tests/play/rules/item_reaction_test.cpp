// What taking an item does: the reaction record's checks, the pop-up above
// the hero on the frame the item is taken, and item command lists whose
// loops are unrolled when the stage item is set up.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "data/item.h"
#include "data/labels.h"
#include "flow/flow_state.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/hero.h"
#include "play/objects/message_window.h"
#include "play/objects/stage_item.h"
#include "play/world/stage_scene.h"
#include "support/stage_builder.h"

namespace {

constexpr int32_t kSoundOfDatabaseSound1 = 17;  // sound id 1 plays list entry 17

cEdCmd ItemCommand(int itemKind, std::vector<uint32_t> words = {}) {
  cEdCmd c;
  c.m_nFamily = 1;
  c.m_nKind = static_cast<uint8_t>(itemKind);
  c.m_vParams = std::move(words);
  return c;
}

// Adds 1 to stage variable 1.
cEdCmd CountCommand() {
  cEdCmd c = ItemCommand(ItemKindOfFlowKind(kCmdRunCode));
  c.m_strText = "S1 = S1 + 1";
  return c;
}

// An item of picture 6 (row 3 of the item sheet) with sound 1, its pop-up
// switched on, taken once.
cEdItem Coin() {
  cEdItem item;
  item.m_nGraphic = 6;
  item.m_nGraphicWord = 3;
  item.m_nSound = 1;
  item.m_nParam6 = 1;
  item.m_nParam15 = kItemTakenOnce;
  item.m_vCmds = std::vector<cEdCmd>{ItemCommand(kItemCmdNone)};
  return item;
}

std::vector<const cMessageWindow*> IconWindows(cStageScene& scene) {
  std::vector<const cMessageWindow*> out;
  for (const auto& w : scene.m_MessageWindows)
    if (w->m_Settings.style == kMessageIcon) out.push_back(w.get());
  return out;
}

}  // namespace

// The hero stands on a coin: on the frame the coin goes, the window list
// holds its pop-up (the coin's picture, above the hero, pinned where it
// opened, timed) and the coin's sound plays; 30 counted frames later it is
// gone.
TEST(ItemReaction, TakingAnItemOpensItsPopUpOnThatFrame) {
  StageFlowsInstalled flows;
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(4, 9);
  b.Data().m_PlacedItems.push_back(Coin());
  b.Data().m_PlacedItems.back().m_nWord1 = 4;
  b.Data().m_PlacedItems.back().m_nWord2 = 9;
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  int frame = 0;
  while (!scene.m_ItemList.empty() && frame < 60) {
    EXPECT_TRUE(IconWindows(scene).empty()) << frame;
    s.Frames(1);
    ++frame;
  }
  ASSERT_TRUE(scene.m_ItemList.empty());
  const std::vector<const cMessageWindow*> icons = IconWindows(scene);
  ASSERT_EQ(icons.size(), 1u);
  const cMessageSettings& w = icons[0]->m_Settings;
  EXPECT_EQ((std::vector<int32_t>{w.iconKind, w.iconNumber, w.iconRow, w.positionMode, w.fixPosition, w.displayMode,
                                  w.keepCounting, w.followedId}),
            (std::vector<int32_t>{2, 6, 3, 4, 1, kMessageTimed, 0, scene.Hero().m_nId}));
  EXPECT_EQ(w.remainingFrames, kMessagePopUpFrames - 1) << "counted once by the frame's drawing";
  EXPECT_EQ(std::count(s.Sounds().begin(), s.Sounds().end(), kSoundOfDatabaseSound1), 1);
  s.Frames(kMessagePopUpFrames - 1);
  EXPECT_EQ(IconWindows(scene).size(), 1u);
  s.Frames(1);
  EXPECT_TRUE(IconWindows(scene).empty());
}

// The record's checks: no item, an empty carried-item slot, an item that
// cannot be taken and one without commands do nothing at all; otherwise the
// pop-up (when switched on), the sound and the commands.
TEST(ItemReaction, TheReactionRecordRunsOnlyATakeableItemWithCommands) {
  struct Row {
    const char* what;
    bool item;
    int32_t on, popUp, takeMode;
    bool commands;
    size_t windows;
    long sounds;
    int32_t counted;
  };
  const Row rows[] = {
      {"coin", true, 1, 1, kItemTakenOnce, true, 1, 1, 1},
      {"no pop-up", true, 1, 0, kItemTakenPerTouch, true, 0, 1, 1},
      {"no item", false, 1, 1, kItemTakenOnce, true, 0, 0, 0},
      {"slot off", true, 0, 1, kItemTakenOnce, true, 0, 0, 0},
      {"cannot be taken", true, 1, 1, kItemCannotBeTaken, true, 0, 0, 0},
      {"no commands", true, 1, 1, kItemTakenOnce, false, 0, 0, 0},
  };
  StageFlowsInstalled flows;
  for (const Row& r : rows) {
    StageBuilder b(20, 15);
    b.Floor(10, 0, 19).Hero(4, 9);
    StageSession s(b);
    ASSERT_TRUE(s.Loaded());
    cStageScene& scene = s.Scene();
    cEdItem item = Coin();
    item.m_nParam6 = static_cast<uint16_t>(r.popUp);
    item.m_nParam15 = static_cast<uint8_t>(r.takeMode);
    item.m_vCmds = r.commands ? std::vector<cEdCmd>{CountCommand()} : std::vector<cEdCmd>{};
    EXPECT_EQ(scene.RunReactionRecord(r.item ? &item : nullptr, scene.Hero(), r.on), kCheckGoOn) << r.what;
    EXPECT_EQ(IconWindows(scene).size(), r.windows) << r.what;
    EXPECT_EQ(std::count(s.Sounds().begin(), s.Sounds().end(), kSoundOfDatabaseSound1), r.sounds) << r.what;
    EXPECT_EQ(scene.m_StageVariables[1], r.counted) << r.what;
  }
}

// An item command list "loop 3 times over the next command, then count"
// runs the count three times; the stage item holds the unrolled list, and
// the definition it was made from keeps its loop.
TEST(ItemReaction, AnItemLoopOfThreeRunsItsBodyThreeTimes) {
  StageFlowsInstalled flows;
  StageBuilder b(20, 15);
  b.Floor(10, 0, 19).Hero(4, 9);
  StageSession s(b);
  ASSERT_TRUE(s.Loaded());
  cStageScene& scene = s.Scene();
  cEdItem definition = Coin();
  definition.m_vCmds = std::vector<cEdCmd>{ItemCommand(kItemKindLoop, {3, 1}), CountCommand(), CountCommand()};
  cStageItem item;
  item.Setup(0, definition, 0);
  const std::vector<cEdCmd>& unrolled = item.m_Definition.m_vCmds.Get();
  EXPECT_EQ(unrolled.size(), 4u) << "three counts from the loop, then the one after it";
  EXPECT_TRUE(std::none_of(unrolled.begin(), unrolled.end(), [](const cEdCmd& c) { return c.m_nKind == kItemKindLoop; }));
  EXPECT_EQ(definition.m_vCmds.size(), 3u);
  EXPECT_EQ(scene.RunReactionRecord(&item.m_Definition, scene.Hero()), kCheckGoOn);
  EXPECT_EQ(scene.m_StageVariables[1], 4);
}

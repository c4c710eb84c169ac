// The ranges of distance conditions shown on the stage: a character whose
// flow carries a distance condition that asks to be shown gets the two
// lines of its range (or its circle) drawn over the frame in the colour it
// names, blinking through four shades; one that asks not to be, or only in
// the editor's test play, or whose character is not drawn, gets nothing.
// The character's own appearance conditions are shown as its flows' are,
// with the rules for an absent character and for lists that hold for good.
// The frame is read back after the stage drew it. (The editor's test play,
// which shows the ranges marked for it, is started through the entry point
// in tests/app/editor_start_test.cpp.)
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../../gfx/surface_pixels.h"
#include "data/database.h"
#include "data/labels.h"
#include "data/move_shot.h"
#include "flow/conditions.h"
#include "gfx/dd.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"
#include "scene/scene.h"
#include "support/game_data.h"
#include "support/stage_builder.h"

namespace {

// A distance condition as the editor stores it: relation, distance (half
// blocks and dots), display mode, colour and the two show-while bytes.
cCond Distance(int8_t relation, uint16_t halfBlocks, int32_t dots, uint8_t display, uint8_t colour,
               bool whileHidden = false) {
  cCond c;
  c.m_nKind = kCondDistance;
  c.m_nSubject = 0;  // the hero
  c.m_nField = relation;
  c.m_nVarNumber = halfBlocks;
  c.m_nConstant = dots;
  c.m_nLeftKind = display;
  c.m_nVarScope = colour;
  c.m_nRightSubject = whileHidden ? 1 : 0;
  return c;
}

// Palette numbers 200..239 each a colour of their own.
uint32_t Shade(int n) { return 0x102030u + static_cast<uint32_t>(n) * 0x010203u; }

// What one case draws: the distance condition of the character's flow, and
// the dots where its lines (or circle) must, or must not, show.
struct Case {
  const char* what;
  cCond condition;
  bool transparent = false;
};

class PositionDisplayTest : public ::testing::TestWithParam<uint32_t> {
 protected:
  // The stage drawn once with the character carrying `c`; the character's
  // screen rectangle and the shade of `colour` that frame used.
  struct Drawn {
    cScreenRect rect;
    int32_t width = 0, height = 0;
    uint32_t shade = 0;
  };
  Drawn Draw(const Case& c, StageBuilder& builder, std::unique_ptr<StageSession>& session) {
    builder.Floor(10, 0, 19).Hero(2, 9).Character(10, 9);
    cEdCharacter& character = builder.Data().m_PlacedCharacters.back();
    character.m_nParam19 = c.transparent ? 1 : 0;
    cEdFlow flow;
    flow.m_nTrigger = kTriggerOnlyByFlowControl;  // never started here: its conditions are shown all the same
    flow.m_vConds = {c.condition};
    character.m_vFlows = {flow};
    session = std::make_unique<StageSession>(builder, 32, GetParam());
    EXPECT_TRUE(session->Loaded());
    for (int n = 200; n < 240; ++n)
      DDState.DDPalette[n] = PALETTEENTRY{uint8_t(Shade(n) >> 16), uint8_t(Shade(n) >> 8), uint8_t(Shade(n)), 0};
    session->Frames(1);
    cStageScene& scene = session->Scene();
    const cStageCharacter& drawn = scene.m_CharacterList.front();
    const int32_t blink = scene.m_Layers.m_nOverlayBlink >> 3;
    return Drawn{drawn.m_rcScreen, drawn.m_nDrawWidth, drawn.m_nDrawHeight,
                 Shade(208 + 4 * (c.condition.m_nVarScope & 7) + blink)};
  }
  static uint32_t At(int x, int y) { return Pixel(DDBackBuffer(), x, y) & 0xFFFFFF; }
};

// The ranges by relation (the character faces left, its default): both
// sides from its edges, one side from its centre, a circle about its
// centre; each line one dot wide.
TEST_P(PositionDisplayTest, RangesAreDrawnAsLinesOrACircleInTheirColour) {
  enum Axis { kX, kY, kCircle };
  const struct {
    Case c;
    Axis axis;
  } cases[] = {
      {{"both sides across", Distance(0, 2, 4, 1, 3)}, kX},
      {{"both sides up and down", Distance(3, 1, 0, 1, 0)}, kY},
      {{"in front, facing left", Distance(1, 3, 0, 1, 7)}, kX},
      {{"a circle", Distance(6, 4, 0, 1, 5)}, kCircle},
      {{"a wide circle (DirectDraw stretches one of 64)", Distance(6, 7, 0, 1, 6)}, kCircle},
      {{"shown while not drawn", Distance(0, 2, 0, 1, 2, true), true}, kX},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.c.what);
    StageBuilder builder;
    std::unique_ptr<StageSession> session;
    const Drawn d = Draw(k.c, builder, session);
    const int32_t dist = k.c.condition.DistanceHalfBlocks() * 16 + k.c.condition.DistanceDots();
    const int left = d.rect.left, top = d.rect.top;
    switch (k.axis) {
      case kX: {
        // Relation 0: from the left edge less d to the right edge plus d.
        // Relation 1 facing left: from the left edge less d to the centre.
        const bool front = k.c.condition.m_nField == 1;
        const int low = left - dist, high = front ? left + d.width / 2 : left + d.width + dist;
        for (int x : {low, high}) {
          EXPECT_EQ(At(x, 240), d.shade) << x;
          EXPECT_EQ(At(x, 400), d.shade) << x;
          EXPECT_NE(At(x + 1, 240), d.shade) << x + 1;
        }
        break;
      }
      case kY:
        for (int y : {top - dist, top + d.height + dist}) {
          EXPECT_EQ(At(600, y), d.shade) << y;
          EXPECT_NE(At(600, y + 1), d.shade) << y + 1;
        }
        break;
      case kCircle: {
        // On each axis the circle crosses at the radius; a circle stretched
        // from the work picture of radius 64 may fall up to 2 dots short.
        const int cx = left + d.width / 2, cy = top + d.height / 2;
        const int slack = dist > 64 && !GetParam() ? 2 : 0;
        for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, -1}, {0, 1}}) {
          bool found = false;
          for (int r = dist - slack; r <= dist; ++r) found = found || At(cx + dx * r, cy + dy * r) == d.shade;
          EXPECT_TRUE(found) << dx << "," << dy;
          EXPECT_NE(At(cx + dx * (dist + 1), cy + dy * (dist + 1)), d.shade) << dx << "," << dy;
          EXPECT_NE(At(cx + dx * (dist / 2), cy + dy * (dist / 2)), d.shade) << "inside: " << dx << "," << dy;
        }
        break;
      }
    }
  }
}

// Nothing of a range that does not ask to be shown now: display 0, display
// 2 outside the editor's test play, a character that is not drawn.
TEST_P(PositionDisplayTest, RangesThatAreNotToBeShownLeaveTheFrameAlone) {
  const Case cases[] = {
      {"display 0", Distance(0, 2, 0, 0, 3)},
      {"display 2 outside the editor's test play", Distance(0, 2, 0, 2, 3)},
      {"the character is not drawn", Distance(0, 2, 0, 1, 3), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StageBuilder builder;
    std::unique_ptr<StageSession> session;
    const Drawn d = Draw(c, builder, session);
    const int32_t dist = c.condition.DistanceHalfBlocks() * 16;
    for (int x : {d.rect.left - dist, d.rect.left + d.width + dist}) EXPECT_NE(At(x, 240), d.shade) << x;
  }
}

// A flow that a flow change gives the character brings its range with it
// from the next frame on, though the frames before found none to show.
TEST_P(PositionDisplayTest, AFlowAddedLaterShowsItsRangeFromTheNextFrame) {
  StageFlowsInstalled flows;
  StageBuilder builder;
  std::unique_ptr<StageSession> session;
  const Drawn before = Draw({"display 0", Distance(0, 2, 0, 0, 3)}, builder, session);
  const int32_t dist = 2 * 16;
  const int low = before.rect.left - dist, high = before.rect.left + before.width + dist;
  for (int x : {low, high}) EXPECT_NE(At(x, 240), before.shade) << x;
  cStageCharacter& character = session->Scene().m_CharacterList.front();
  cEdFlow shown;
  shown.m_nTrigger = kTriggerOnlyByFlowControl;
  shown.m_vConds = {Distance(0, 2, 0, 1, 3)};
  FlowsOfCharacter(character).SetFlows(&character, {shown}, 1, -1, 1);
  session->Frames(1);
  const uint32_t shade = Shade(208 + 4 * 3 + (session->Scene().m_Layers.m_nOverlayBlink >> 3));
  for (int x : {low, high}) EXPECT_EQ(At(x, 240), shade) << x;
}

// A condition on common variable 0 (0 on a fresh stage) that holds or not.
cCond CommonVariableIsZero(bool holds) {
  cCond c;
  c.m_nKind = kCondCommonVariable;
  c.m_nConstant = holds ? 0 : 1;
  return c;
}

// The character at column 10 with its own appearance conditions and one
// flow (never started) with conditions of its own; the hero at column 2.
// A stage may be made wider, the character and the hero placed elsewhere,
// the character made to fly and the hero given a flow that always runs.
struct Lists {
  std::vector<cCond> own = {};
  uint8_t ownMode = 0;      // 0 all, 1 any
  uint8_t ownOnceTrue = 0;  // the list holds for good once it held
  std::vector<cCond> flow = {};
  uint8_t flowOnlyOnce = 0;
  int16_t startEffect = 0;  // the graphic effect the character starts with
  int32_t width = 20;       // the stage's, in blocks
  int32_t column = 10;      // the character's
  uint8_t flies = 0;        // the character hovers where it is placed
  int32_t heroColumn = 2;
  std::vector<cEdCmd> heroMoves = {};  // the hero's always-running flow
};

class PositionDisplayListsTest : public PositionDisplayTest {
 protected:
  void Start(const Lists& lists) {
    session_.reset();
    builder_ = StageBuilder(lists.width, 15);
    builder_.Floor(10, 0, lists.width - 1).Hero(lists.heroColumn, 9).Character(lists.column, 9);
    if (!lists.heroMoves.empty()) {
      cEdFlow moving;
      moving.m_nTrigger = kTriggerAlways;
      moving.m_vCmds = lists.heroMoves;
      builder_.Data().m_PlacedCharacters.front().m_vFlows = {moving};
    }
    cEdCharacter& character = builder_.Data().m_PlacedCharacters.back();
    character.m_vConds = lists.own;
    character.m_nCondMode = lists.ownMode;
    character.m_nCondOption = lists.ownOnceTrue;
    cEdFlow flow;
    flow.m_nTrigger = kTriggerOnlyByFlowControl;
    flow.m_vConds = lists.flow;
    flow.m_nOnlyOnce = lists.flowOnlyOnce;
    character.m_vFlows = {flow};
    character.m_nCharaEffectA = lists.startEffect;
    character.m_nParam33 = lists.flies;
    session_ = std::make_unique<StageSession>(builder_, 32, GetParam());
    ASSERT_TRUE(session_->Loaded());
    for (int n = 200; n < 240; ++n)
      DDState.DDPalette[n] = PALETTEENTRY{uint8_t(Shade(n) >> 16), uint8_t(Shade(n) >> 8), uint8_t(Shade(n)), 0};
  }
  cStageCharacter& Character() { return session_->Scene().m_CharacterList.front(); }
  // Whether the last frame shows both lines of a both-sides range of `d`
  // dots in colour 3 round a character whose drawn left is `left`; false
  // when neither shows (one line alone fails the test).
  bool RangeShown(int left, int d) {
    const uint32_t shade = Shade(208 + 4 * 3 + (session_->Scene().m_Layers.m_nOverlayBlink >> 3));
    const bool low = At(left - d, 240) == shade, high = At(left + 32 + d, 240) == shade;
    EXPECT_EQ(low, high) << left;
    return low && high;
  }

  StageFlowsInstalled flows_;
  StageBuilder builder_;
  std::unique_ptr<StageSession> session_;
};

// The range shown across, both sides, 2 half blocks, colour 3.
cCond Shown() { return Distance(0, 2, 0, 1, 3); }
cCond ShownWhileAbsent() {
  cCond c = Shown();
  c.m_nRightSource = 1;
  return c;
}

// A character whose appearance conditions do not hold is absent: its
// ranges show only when their condition asks to be shown while it is
// absent, and then round the place it stands now (the screen rectangle is
// made afresh: an absent character is neither drawn nor moved by the
// stage). The other object a condition names plays no part in the showing.
TEST_P(PositionDisplayListsTest, AnAbsentCharacterShowsOnlyTheRangesThatAskForIt) {
  const struct {
    const char* what;
    bool present;
    cCond condition;
    bool shown;
  } cases[] = {
      {"absent", false, Shown(), false},
      {"absent, shown while absent", false, ShownWhileAbsent(), true},
      {"present", true, Shown(), true},
      {"present, naming an empty target slot", true, [] {
         cCond c = Shown();
         c.m_nSubject = 2;
         return c;
       }(), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Start({.own = {CommonVariableIsZero(c.present)}, .flow = {c.condition}});
    session_->Frames(1);
    ASSERT_EQ(Character().m_bPresent, c.present ? 1 : 0);
    // Moved 40 dots to the right since it was last looked at.
    Character().UpdateScreenRect();
    const int before = Character().m_rcScreen.left;
    Character().m_dX += 40;
    Character().UpdateX();
    session_->Frames(1);
    EXPECT_EQ(RangeShown(before + 40, 32), c.shown);
    EXPECT_FALSE(RangeShown(before, 32)) << "the old place";
  }
}

// The character's own appearance conditions are shown first, then those of
// its flows. A list that holds for good once it held (the own list's
// once-true byte, a flow's only-once byte) is no longer shown once the
// character's appearance conditions have held; before that, it is.
TEST_P(PositionDisplayListsTest, ListsThatHoldForGoodAreNotShownOnceTheCharacterAppeared) {
  const struct {
    const char* what;
    Lists lists;
    bool shown;
  } cases[] = {
      {"own list", {.own = {CommonVariableIsZero(true), Shown()}, .ownMode = 1}, true},
      {"own list, held for good", {.own = {CommonVariableIsZero(true), Shown()}, .ownMode = 1, .ownOnceTrue = 1},
       false},
      {"own list, for good, never held (absent)",
       {.own = {CommonVariableIsZero(false), ShownWhileAbsent()}, .ownMode = 1, .ownOnceTrue = 1}, true},
      {"flow, the character appeared", {.own = {CommonVariableIsZero(true)}, .flow = {Shown()}}, true},
      {"flow only once, the character appeared",
       {.own = {CommonVariableIsZero(true)}, .flow = {Shown()}, .flowOnlyOnce = 1}, false},
      {"flow only once, no appearance conditions to hold", {.flow = {Shown()}, .flowOnlyOnce = 1}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Start(c.lists);
    session_->Frames(2);
    EXPECT_EQ(RangeShown(Character().m_rcScreen.left, 32), c.shown);
  }
}

// A character whose graphic effect hides it on some frames is not drawn on
// those: its ranges show there only when they ask to be shown while it is
// hidden. At an interval of 2 frames a blink hides the character on its
// first three frames, then shows it on two and hides it on two in turn; a
// translucency shows it (half through) on its first three and then hides it
// on two and shows it on two in turn. The character starts with the effect.
TEST_P(PositionDisplayListsTest, RangesOfABlinkingCharacterShowOnItsHiddenFramesOnlyWhenAsked) {
  ScopedGameData data;
  Database.m_CharaEffects.resize(3);
  const int32_t blink = 1, translucency = 2;
  Database.m_CharaEffects[blink].m_nKind = 6;
  Database.m_CharaEffects[translucency].m_nKind = 14;
  for (int n : {blink, translucency}) {
    Database.m_CharaEffects[n].m_nParams[0] = 100;  // ten seconds
    Database.m_CharaEffects[n].m_nParams[1] = 2;    // interval
  }
  PrepareDatabaseTables();
  cCond whileHidden = Shown();
  whileHidden.m_nRightSubject = 1;
  const struct {
    const char* what;
    int16_t effect;
    cCond condition;
    const char* frames;  // '#': the range shows on that frame
  } cases[] = {
      {"blink", blink, Shown(), "...##..##..##"},
      {"blink, shown while hidden", blink, whileHidden, "#############"},
      {"translucency", translucency, Shown(), "###..##..##.."},
      {"translucency, shown while hidden", translucency, whileHidden, "#############"},
      {"no effect", 0, Shown(), "#############"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Start({.flow = {c.condition}, .startEffect = c.effect});
    std::string shown;
    for (size_t frame = 0; frame < std::string(c.frames).size(); ++frame) {
      session_->Frames(1);
      shown += RangeShown(Character().m_rcScreen.left, 32) ? '#' : '.';
    }
    EXPECT_EQ(shown, c.frames);
  }
  session_.reset();
}

// A straight move one way (3 right, 2 left) at `speed` tenths of a dot a
// frame for `tenths` of a second.
cEdCmd Straight(uint8_t direction, uint16_t speed, uint16_t tenths) {
  cEdCmd c;
  c.m_nKind = kCmdMoveStraight;
  cEdMove::Create(c.m_pMove);
  c.m_pMove->m_f2 = direction;
  c.m_pMove->SetSpeedStart(speed);
  c.m_nDuration = tenths;
  return c;
}

// A blinking character (the blink above, on a character that flies) that
// the screen leaves behind and comes back to: the hero walks left, 4 dots a
// frame, and the screen scrolls with it until the character is off its
// right edge, then walks back. The character is last drawn, before it is
// off the screen, on a frame on which the blink hides it; off the screen it
// neither acts nor is drawn, which is not the drawing hiding it. So on the frame the screen
// brings it back into view (before it is drawn again: it was off the
// screen when the frame began) its range is shown, the line on its left at
// least.
TEST_P(PositionDisplayListsTest, ABlinkingCharacterThatLeftTheScreenWhileHiddenShowsItsRangeWhenBack) {
  ScopedGameData data;
  Database.m_CharaEffects.resize(2);
  Database.m_CharaEffects[1].m_nKind = 6;
  Database.m_CharaEffects[1].m_nParams[0] = 100;  // ten seconds
  Database.m_CharaEffects[1].m_nParams[1] = 2;    // interval
  PrepareDatabaseTables();
  Start({.flow = {Shown()},
         .startEffect = 1,
         .width = 60,
         .column = 29,
         .flies = 1,
         .heroColumn = 20,
         .heroMoves = {Straight(2, 40, 5), Straight(3, 40, 5)}});
  int lastDrawnHidden = -1;  // the hidden word after the last frame that drew it
  int leftHidden = -1;       // ... when it went off the screen
  int backInView = 0;
  for (int frame = 1; frame <= 80 && backInView == 0; ++frame) {
    session_->Frames(1);
    const cStageCharacter& c = Character();
    if (c.m_bOnScreen) {
      lastDrawnHidden = c.m_bHiddenThisFrame;
      continue;
    }
    if (leftHidden < 0) leftHidden = lastDrawnHidden;
    if (!c.IsOnScreen()) continue;
    ++backInView;
    const uint32_t shade = Shade(208 + 4 * 3 + (session_->Scene().m_Layers.m_nOverlayBlink >> 3));
    EXPECT_EQ(At(c.m_rcScreen.left - 32, 240), shade) << "frame " << frame << ", left " << c.m_rcScreen.left;
  }
  ASSERT_EQ(leftHidden, 1) << "the blink hid it on the last frame that drew it";
  EXPECT_EQ(backInView, 1) << "it came back into view";
  session_.reset();
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, PositionDisplayListsTest, ::testing::Values(0u, 1u),
                         [](const auto& info) { return std::string(info.param ? "D3D32" : "DD32"); });

INSTANTIATE_TEST_SUITE_P(BothBackEnds, PositionDisplayTest, ::testing::Values(0u, 1u),
                         [](const auto& info) { return std::string(info.param ? "D3D32" : "DD32"); });

}  // namespace

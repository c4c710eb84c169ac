// The hero: the player's character. Beside what every character has it reads
// an input record, moves the view so that it stays in the middle of the
// screen, jumps higher the longer the jump key is held, slides on slippery
// floors, has a third hit rectangle (for taking items) and a list of hit
// areas that can be shown on screen. The stage keeps exactly one hero while
// a stage runs. Game thread only.
#pragma once

#include <cstdint>
#include <list>
#include <vector>

#include "data/flow.h"
#include "flow/status_ops.h"
#include "play/objects/character.h"
#include "scene/input.h"

// One hit area that can be shown on screen.
struct cHitArea {
  int32_t kind = 0;     // 0 whole body, 1 first, 2 third, 3 second hit rectangle
  int32_t mode = 0;     // 0 not shown, 1 filled, 2 outlined
  int32_t colour = 0;   // palette number
  int32_t x = 0, y = 0, width = 0, height = 0;  // screen
  int32_t blink = 0;    // 0..31
};
inline constexpr int kHitAreaCount = 4;
inline constexpr int32_t kFloorSliding = 3;  // floor kind of a slippery floor

class cHero : public cCharacter {
 public:
  cHero() = default;
  cHero(const cHero& other);
  cHero& operator=(const cHero& other);
  ~cHero() override = default;

  void OnScaleChanged(int32_t factor) override;
  void OnMovedX() override;
  void OnMovedY() override;
  void CopyFrom(const cCharacter& other) override;
  // Slots 15/16: the view follows the hero, then the hero is held inside
  // the stage area (falling) or the scroll range (free vertical).
  int UpdateX() override;
  int UpdateY() override;
  int StepX() override;
  int StepY() override;
  int Frame(int32_t deathMode) override;
  // The variable-height jump (see the class comment).
  void Jump(cJumpCommand& command) override;

  // Set-up at each stage start and retry; `inputs` supplies the input
  // record of the definition's player number (record 0 when it has none).
  void Setup(int32_t id, const cEdCharacter& definition, double x, double y, cSafeVector<cInput>& inputs);
  // Body offsets and size of the current move mode.
  void GetBodySize(int32_t& offsetX, int32_t& offsetY, int32_t& width, int32_t& height) const;
  // Move mode 0..3 (the axis mode), sizes and rectangles of that mode.
  void SetMoveMode(int32_t mode, int32_t rescale, int32_t savePosition, int32_t restoreOnChange);
  void SortHitAreas();
  void UpdateScreenRect();
  void RememberFacing() { m_nSavedFacing = m_nFacing; }
  void RememberContactState() { m_nPrevLandingBlock = m_nLandingBlock; }
  int IsNotInTouchedList(int32_t id) const;
  void RemoveFromTouchedList(int32_t id);
  // Runs an item's command list on the hero: 0, 2 when the hero died, or
  // the first other non-zero result of a command.
  int RunItemCommands(const std::vector<cEdCmd>& commands);
  // The reaction pop-up of a taken item: graphic `number` of graphic kind
  // `kind`, row `row`, drawn small above the hero, rising for 30 frames.
  void ShowReactionMessage(int32_t kind, int32_t number, int32_t row);
  void DrawHitAreas(DDSURFACEDATA* target);
  // The sight mask (a picture larger than the screen) centred on the hero.
  void DrawSightMask(DDSURFACEDATA* target, DDSURFACEDATA* mask);

  // The view position of one axis (the stage scene's scroll record).
  static double& ViewX();
  static double& ViewY();

  // Copies the members this class adds.
  void CopyOwn(const cHero& other);

  cInput* m_pInput = nullptr;
  int32_t m_nJumpHold = 0;
  int32_t m_bJumpAllowed = 1;
  int32_t m_bJumpForbidden = 0;     // jump disabled: the hold logic is skipped
  double m_dSlideBase = 0;
  int32_t m_bJumpHandled = 0;
  int32_t m_bInputOff = 0, m_bButtonsOff = 0;
  int32_t m_nSavedFacing = 0;
  std::list<int32_t> m_TouchedIds;
  int32_t m_nFloorKind = 0;          // kFloorSliding: slippery
  double m_dFloorSlip = 0;           // floor slide factor
  int32_t m_nSpecialFloorCountdown = 0;  // on a special floor while above 0
  cHitRect m_Hit3;                   // taking items
  std::vector<cHitArea> m_HitAreas;
  std::vector<cEdCmd> m_PendingCommands;
  int32_t m_nMoveMode = 0;
  int32_t m_nPrevLandingBlock = kNoBlock;
  // Words of the block checks.
  int32_t m_nItemCooldown = 0;
  int32_t m_nJumpFrames = 0;
  // The end of the death display was handed to the stage scene (once).
  int32_t m_bDeathHandedOver = 0;

  // Block collision (rules/block_collision.cpp)
  // A squeezed hero (contacts on both sides of an axis): 0 when it dies,
  // 1 when its state counter lets it survive (a pending saved position is
  // then put back).
  int SurviveSqueeze();
  // ---- end of block collision ----

  // ---- Status operations (commands/status_commands.cpp) ----
  // Arrange entries that item commands queued, applied to the hero's next
  // item command (RunItemCommands), then dropped.
  cArrangeList m_PendingArranges;
  static constexpr int32_t kItemArrangeKind = 23;  // the arrange among item commands
  // Applies the pending entries to `command` (the list is left as it is).
  void ApplyOwnArranges(cEdCmd& command);
  // ---- end of status operations ----
};

// The hero's drawing of a frame: its screen rectangle, then the hero with
// its hit areas, or the next frame of its death sequence, whose end hands
// over to the stage scene (retry, continue or game over).
void DrawHero(cHero& hero, DDSURFACEDATA* target, int32_t still);

// Characters placed on the stage by the stage data or created by a summon:
// body and hit rectangles sized from the stage's settings, the item they
// carry, the activation rules that decide each sub-step whether they act,
// and the hint that shows the carried item above them. Game thread only.
#pragma once

#include <cstdint>

#include "play/objects/character.h"
#include "play/objects/stage_item.h"

class cStageCharacter : public cCharacter {
 public:
  cStageCharacter() = default;
  cStageCharacter(const cStageCharacter& other);
  cStageCharacter& operator=(const cStageCharacter& other);
  ~cStageCharacter() override = default;

  void OnScaleChanged(int32_t factor) override;
  void OnMovedX() override;
  void OnMovedY() override;
  void CopyFrom(const cCharacter& other) override;
  cStageItem* GetOwnItem() override { return &m_Item; }
  int UpdateX() override { return ClampX(2); }
  int UpdateY() override { return ClampY(2); }

  // `item` may be null (the character carries nothing).
  void Setup(int32_t id, const cEdCharacter& definition, const cStageItem* item, const int32_t setupWords[4],
             uint16_t instance, int32_t spare);
  // Puts the character on block (column, row) of the stage.
  void SetStartPosition(int32_t column, int32_t row);

  // Activation pass, first step: on screen on the activation axes? With the
  // group-flag byte set, wakes flag `GroupFlagIndex` of `flags`.
  int CheckInView(std::vector<uint8_t>& flags);
  // Second step: whether the character acts this sub-step.
  int UpdateActing(const std::vector<uint8_t>& flags);
  // The carried item's icon above the character (drawn frames 64..95 of a
  // 96-frame cycle).
  void DrawItemHint(DDSURFACEDATA* target);

  // Copies the members this class adds.
  void CopyOwn(const cStageCharacter& other);

  // The words the walks read every sub-step lie together, after the
  // character's own block-character byte; the carried item (seven cache
  // lines, of which a frame reads only whether it is held) comes last.
  int32_t m_bInView = 0;
  int32_t m_bActing = 0;
  int32_t m_nHintCounter = 0;
  int32_t m_bIgnoreX = 0, m_bIgnoreY = 0;
  int32_t m_bHasActed = 0;
  cStageItem m_Item;
};

// Draws a stage character (its death display while dying). 1 when its death
// display has ended: the caller then removes it.
int DrawCharacter(cStageCharacter& character, DDSURFACEDATA* target, int32_t still);

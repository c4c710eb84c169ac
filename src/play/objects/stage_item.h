// Items lying on a stage (pick-ups): a stage object with its own copy of the
// item definition, so that commands may change one item without touching the
// stage's palette. Every stage character also carries one whole item (the
// one it leaves when defeated). Game thread only.
#pragma once

#include <cstdint>

#include "data/item.h"
#include "gfx/dd.h"
#include "play/world/stage_object.h"

class cStageItem : public cStageObject {
 public:
  cStageItem() = default;
  cStageItem(const cStageItem& other);
  cStageItem& operator=(const cStageItem& other);
  ~cStageItem() override = default;

  // Slot 3: an item has no rectangles to rescale.
  void OnScaleChanged(int32_t factor) override {}
  // Slot 4: keeps the item's foot when its scale changes.
  void AdjustForScale(int32_t newScale, int32_t oldScale, int32_t flag) override;

  // Copies `definition`, sizes the body from the stage's item hit size and
  // starts the item animation; unless keepScale, applies the definition's
  // scale.
  void Setup(int32_t id, const cEdItem& definition, int32_t keepScale);
  // Places the item on block (bx, by) of the stage (x gets half a dot).
  void SetBlockPosition(int32_t bx, int32_t by, int32_t flag);
  // Draws the item at its screen rectangle; with `hold` the animation does
  // not advance.
  void Draw(DDSURFACEDATA* target, int32_t hold);

  int32_t ScaleFactor() const { int32_t s = m_Definition.Scale(); return s < 1 ? 1 : s; }
  // The item is there to be taken (a stage character's own item may be
  // empty).
  bool IsHeld() const { return m_bHeld != 0; }

  // Copies the item's own members (the definition pointer follows).
  void CopyItemFrom(const cStageItem& other);

  cEdItem m_Definition;
  int32_t m_bKeepScale = 0;
  int32_t m_bScaleKept = 0;   // set-up left the scale as it was
  int32_t m_nItemNumber = 0;  // 0: a carried item slot that holds nothing
  int32_t m_bHeld = 0;        // the item slot holds an item
};

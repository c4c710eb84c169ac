// Collision of stage objects with the block map, one axis at a time: side,
// ceiling and floor contacts, landing, sticking to a floor, the effects of
// the block under the hero, the screen edges of a forced scroll and the
// squeeze test.
#include <algorithm>
#include <cmath>

#include "data/item.h"
#include "data/labels.h"
#include "data/system_data.h"
#include "play/objects/character.h"
#include "play/objects/character_look_ahead.h"
#include "play/objects/hero.h"
#include "play/objects/stage_character.h"
#include "play/world/block_map.h"
#include "play/world/flow_hooks.h"
#include "play/world/stage_object.h"
#include "play/world/stage_scene.h"
#include "play/world/system_switches.h"

namespace {

constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;

// Axis mode 2 of a free-vertical object: 0 passes through blocks, 1
// collides, 2 dies touching one.
bool PassesBlocks(const cCharacter& c) { return c.m_bFreeVertical != 0 && c.m_byAxisMode2 == 0; }
bool DiesOnBlocks(const cCharacter& c) { return c.m_bFreeVertical != 0 && c.m_byAxisMode2 == 2; }
bool IsPlayerControlled(const cCharacter& c) { return c.m_nKind == 0; }
bool IsComputerControlled(const cCharacter& c) { return c.m_nKind == 1; }

// Raises a side contact's triggers (landing and ceilings raise theirs in
// cCharacter::Land and HitCeiling).
void Trigger(cCharacter& c, FlowTrigger kind) { c.TriggerFlowsOfKind(kind); }

// The hero keeps its screen rectangle its own way (its view follows it).
void RefreshScreenRect(cCharacter& c) {
  if (auto* hero = dynamic_cast<cHero*>(&c))
    hero->UpdateScreenRect();
  else
    c.UpdateScreenRect();
}

}  // namespace

// The rule every side shares: a solid block stops the object (or kills a
// free-vertical object that dies on blocks); a deadly block stops a
// computer-controlled object the same way and kills any other.
int cBlockMap::SideVerdict(const cCharacter& object, int8_t solidity) const {
  if (solidity == kBlockSolid || (solidity == kBlockDeadly && IsComputerControlled(object)))
    return DiesOnBlocks(object) ? 2 : 1;
  if (solidity == kBlockDeadly) return 2;
  return 0;
}

int cBlockMap::CheckLeftSide(cCharacter& object) {
  if (PassesBlocks(object) || IsEmpty()) return 0;
  const int left = TruncToInt(object.m_dX);
  const int cell = FindBlockOnEdge(object, left, TruncToInt(object.m_dY), left, TruncToInt(object.m_dBottom));
  const int verdict = SideVerdict(object, IsBlockSolid(cell, object.m_nBlockFlags));
  if (verdict != 1) return verdict;
  object.m_bContactLeft = 1;
  object.m_dAccelX = 0;
  object.m_dX += 32 - (left & 31);
  object.UpdateX();
  object.m_nLastSide = 0;
  Trigger(object, kTriggerTouchedBlock);
  Trigger(object, kTriggerBlockLeftOrRight);
  Trigger(object, kTriggerBlockLeft);
  return 0;
}

int cBlockMap::CheckRightSide(cCharacter& object) {
  if (PassesBlocks(object) || IsEmpty()) return 0;
  const int right = TruncToInt(object.m_dRight);
  const int cell = FindBlockOnEdge(object, right, TruncToInt(object.m_dY), right, TruncToInt(object.m_dBottom));
  const int verdict = SideVerdict(object, IsBlockSolid(cell, object.m_nBlockFlags));
  if (verdict != 1) return verdict;
  object.m_bContactRight = 1;
  object.m_dAccelX = 0;
  object.m_dX -= (right & 31) + 1;
  object.UpdateX();
  object.m_nLastSide = 1;
  Trigger(object, kTriggerTouchedBlock);
  Trigger(object, kTriggerBlockLeftOrRight);
  Trigger(object, kTriggerBlockRight);
  return 0;
}

int cBlockMap::CheckTopSide(cCharacter& object) {
  if (PassesBlocks(object) || IsEmpty()) return 0;
  const int top = TruncToInt(object.m_dY);
  const int cell = FindBlockOnEdge(object, TruncToInt(object.m_dX), top, TruncToInt(object.m_dRight), top);
  const int verdict = SideVerdict(object, IsBlockSolid(cell, object.m_nBlockFlags));
  if (verdict != 1) return verdict;
  // Contact up, flags, speeds, the shift below the ceiling and the
  // triggers 9, 13, 14.
  object.HitCeiling();
  return 0;
}

// Puts the object on the floor cell it stands on (the landing rule of the
// bottom side): player-controlled objects take the cell under the middle of
// their body.
int cBlockMap::LandOn(cCharacter& object, int8_t solidity) {
  if (DiesOnBlocks(object)) return 2;
  // A rising object passes up through a floor unless the stage lets it land.
  if (!(m_Rules.landWhileRising || object.m_bFreeVertical != 0 || object.m_dSpeedY >= 0)) return 0;
  if (solidity == kBlockSolid && IsPlayerControlled(object)) object.m_nFootBlock = FindFootBlock(object);
  object.m_nLandingBlock = object.m_nFootBlock;
  // Contact down, speeds, flags, the fall counter, the shift onto the cell
  // and the triggers 9, 13, 15.
  object.Land();
  return 0;
}

int cBlockMap::CheckBottomSide(cCharacter& object) {
  if (PassesBlocks(object) || IsEmpty()) return 0;
  const int bottom = TruncToInt(object.m_dBottom);
  const int cell = FindBlockOnEdge(object, TruncToInt(object.m_dX), bottom, TruncToInt(object.m_dRight), bottom);
  object.m_nFootBlock = cell;
  const int8_t solidity = IsBlockSolid(cell, object.m_nBlockFlags);
  if (solidity == kBlockNotSolid) {
    object.m_nFootBlock = -1;
    if (object.m_nFallCounter < INT32_MAX) ++object.m_nFallCounter;
    if (object.m_nFallCounter >= m_Rules.airborneThreshold) {
      // A rider is never made airborne: standing on a block character, the
      // hero may still jump.
      if (IsPlayerControlled(object) && object.m_bRiding == 0) {
        if (m_pHero != nullptr) m_pHero->m_bAirborne = 1;
        object.m_bAirborne = 1;
      } else if (IsComputerControlled(object)) {
        object.m_bAirborne = 1;
      }
    }
    return 0;
  }
  if (solidity == kBlockSolid) return LandOn(object, solidity);
  // Deadly: the landing block is noted; only computer-controlled objects
  // stand on it.
  object.m_nLandingBlock = object.m_nFootBlock;
  if (IsComputerControlled(object)) return LandOn(object, solidity);
  return 2;
}

int cBlockMap::MoveX(cCharacter& object) {
  if (PassesBlocks(object)) return 0;
  const bool rightFirst = (object.m_bFreeVertical != 0 && object.m_byAxisMode2 == 1) || object.m_dSpeedX > 0;
  if (rightFirst) {
    if (CheckRightSide(object) == 2) return 2;
    return CheckLeftSide(object) == 2 ? 2 : 0;
  }
  if (CheckLeftSide(object) == 2) return 2;
  return CheckRightSide(object) == 2 ? 2 : 0;
}

int cBlockMap::MoveY(cCharacter& object) {
  object.m_nFootBlock = -1;
  if (PassesBlocks(object)) return 0;
  const bool bottomFirst = (object.m_bFreeVertical != 0 && object.m_byAxisMode2 == 1) || object.m_dSpeedY > 0;
  if (bottomFirst) {
    if (CheckBottomSide(object) == 2) return 2;
    return CheckTopSide(object) == 2 ? 2 : 0;
  }
  if (CheckTopSide(object) == 2) return 2;
  return CheckBottomSide(object) == 2 ? 2 : 0;
}

int cBlockMap::TouchX(cCharacter& object) {
  if (PassesBlocks(object)) return 0;
  const int right = CheckRightSide(object);
  const int left = CheckLeftSide(object);
  return (right == 2 || left == 2) ? 2 : 0;
}

int cBlockMap::TouchY(cCharacter& object) {
  if (PassesBlocks(object) || IsEmpty()) return 0;
  // The bottom edge: a stopping block is the foot block (and the landing
  // block); a missing floor changes nothing here, the fall is counted by
  // the move alone.
  int result = 0;
  const int bottom = TruncToInt(object.m_dBottom);
  const int cell = FindBlockOnEdge(object, TruncToInt(object.m_dX), bottom, TruncToInt(object.m_dRight), bottom);
  const int8_t solidity = IsBlockSolid(cell, object.m_nBlockFlags);
  const int verdict = SideVerdict(object, solidity);
  if (verdict == 2) {
    result = 2;
  } else if (verdict == 1) {
    object.m_nFootBlock = IsPlayerControlled(object) && solidity == kBlockSolid ? FindFootBlock(object) : cell;
    object.m_nLandingBlock = object.m_nFootBlock;
    if (m_Rules.landWhileRising || object.m_bFreeVertical != 0 || object.m_dSpeedY >= 0) object.Land();
  }
  if (CheckTopSide(object) == 2) result = 2;
  return result;
}

int cBlockMap::KeepInsideScreenX(cCharacter& object, bool forcedScroll, double scroll) {
  if (!forcedScroll && object.m_bFreeVertical == 0) return 0;
  RefreshScreenRect(object);
  if (object.m_rcScreen.left + object.m_nMarginX < 0) {
    object.m_bContactLeft = 1;
    object.m_dX = scroll;
    object.UpdateX();
  } else if (object.m_rcScreen.right - object.m_nMarginX + 1 >= kScreenWidth) {
    object.m_bContactRight = 1;
    object.m_dX = scroll + kScreenWidth - object.m_nWidth - 1;
    object.UpdateX();
  }
  return 0;
}

int cBlockMap::KeepInsideScreenY(cCharacter& object, bool forcedScroll, double scroll) {
  if (!forcedScroll && object.m_bFreeVertical == 0) return 0;
  RefreshScreenRect(object);
  if (object.m_rcScreen.top + object.m_nMarginY < 0) {
    object.m_bContactUp = 1;
    object.m_dY = scroll;
    object.UpdateY();
  } else if (object.m_rcScreen.bottom - object.m_nMarginY + 1 >= kScreenHeight) {
    object.m_bContactDown = 1;
    object.m_dY = scroll + kScreenHeight - object.m_nHeight - 1;
    object.UpdateY();
    // Pushed up by the bottom edge of a falling screen: a falling object
    // has fallen out.
    if (object.m_bFreeVertical == 0) return 2;
  }
  return 0;
}

// Whether a block stops the object (as opposed to letting it pass or
// killing it).
static bool Stops(const cCharacter& object, int8_t solidity) {
  return solidity == kBlockSolid || (solidity == kBlockDeadly && IsComputerControlled(object));
}

void cBlockMap::StickToFloor(cCharacter& object) {
  const double subSteps = std::max(1, m_Rules.subSteps);
  if (m_Rules.gravityStep) {
    if (object.m_dSpeedY >= 0) object.m_dSpeedY += 1.0;
    return;
  }
  if (!(object.m_dSpeedY >= 0 && object.m_dSpeedY <= 1.0 / subSteps) || object.m_bRiding != 0 ||
      object.m_bAirborne != 0 || IsEmpty())
    return;
  const int y = TruncToInt(object.m_dBottom + 4);
  const int cell = FindBlockOnEdge(object, TruncToInt(object.m_dX + object.m_dSpeedX), y,
                                   TruncToInt(object.m_dRight + object.m_dSpeedX), y);
  if (Stops(object, IsBlockSolid(cell, object.m_nBlockFlags))) object.m_dSpeedY = 7.0 / subSteps;
}

int cBlockMap::ApplyFootBlock(cHero& hero) {
  if (hero.m_bFreeVertical != 0) return 0;
  int result = 0;
  if (hero.m_nFootBlock >= 0 && hero.m_nSpecialFloorCountdown == 0 &&
      Stops(hero, IsBlockSolid(hero.m_nFootBlock, hero.m_nBlockFlags))) {
    const cEdBlock& block = Block(hero.m_nFootBlock);
    const int32_t value = block.EffectValue();
    switch (block.EffectKind()) {
      case kBlockEffectSpring: {
        if (m_Hooks.requestSound) m_Hooks.requestSound(10);
        const int height = std::clamp<int32_t>(value, -1000, 1000);
        hero.m_dSpeedY = hero.JumpSpeed(height);
        hero.m_bJump1 = 1;
        hero.m_bJump2 = 1;
        hero.m_bAirborne = 0;
        hero.m_nJumpFrames = cCharacter::JumpFrames(hero.m_dSpeedY);
        if (block.m_nItemKind != 0) result = TakeFootBlockItem(hero);
        break;
      }
      case kBlockEffectNoJump:
        hero.m_bJumpForbidden = 1;
        break;
      case kBlockEffectSlippery:
        hero.m_nFloorKind = kBlockEffectSlippery;
        hero.m_dFloorSlip = value * 0.01;
        hero.m_nSpecialFloorCountdown = m_Rules.subSteps;
        break;
      case kBlockEffectConveyorLeft:
      case kBlockEffectConveyorRight:
        hero.m_nFloorKind = block.EffectKind();
        hero.m_dFloorSlip = value * 0.1 / m_Rules.frameScale;
        hero.m_nSpecialFloorCountdown = m_Rules.subSteps;
        break;
      default:
        break;
    }
    if (block.EffectKind() != kBlockEffectNoJump) hero.m_bJumpForbidden = 0;
  }
  if (hero.m_nSpecialFloorCountdown > 0) {
    switch (hero.m_nFloorKind) {
      case kBlockEffectSlippery:
        hero.m_dSpeedX *= hero.m_dFloorSlip;
        break;
      case kBlockEffectConveyorLeft:
        hero.m_dSpeedX -= hero.m_dFloorSlip;
        if (hero.m_dAccelX > 0) hero.m_dAccelX = 0;
        break;
      case kBlockEffectConveyorRight:
        hero.m_dSpeedX += hero.m_dFloorSlip;
        if (hero.m_dAccelX < 0) hero.m_dAccelX = 0;
        break;
      default:
        break;
    }
    --hero.m_nSpecialFloorCountdown;
  } else {
    hero.m_nSpecialFloorCountdown = 0;
    StickToFloor(hero);
  }
  return result;
}

int cBlockMap::TakeFootBlockItem(cHero& hero) {
  if (hero.m_bFreeVertical != 0) return 0;
  bool taken = false;
  if (hero.m_nFootBlock >= 0 && hero.m_nItemCooldown == 0 &&
      Stops(hero, IsBlockSolid(hero.m_nFootBlock, hero.m_nBlockFlags))) {
    const cEdBlock& block = Block(hero.m_nFootBlock);
    const cEdItem* item = block.m_nItemKind != 0 ? GetPaletteItem(block.m_nItemKind, block.m_nItemIndex) : nullptr;
    if (item != nullptr) {
      // The scene's reaction shows the item's pop-up and plays its sound;
      // without it the item's commands still run on the hero.
      const int result = m_Hooks.runItemReaction
                             ? m_Hooks.runItemReaction(hero, block.m_nItemKind, block.m_nItemIndex)
                             : hero.RunItemCommands(item->m_vCmds.Get());
      if (result != 0) return result;
      hero.m_nItemCooldown = m_Rules.subSteps * 60;
      taken = true;
    }
  }
  if (hero.m_nItemCooldown > 0) {
    if (hero.m_bAirborne != 0) {
      hero.m_nItemCooldown = 0;
    } else {
      hero.m_nItemCooldown = std::max(0, hero.m_nItemCooldown - 1);
      // Stepping onto another block ends the cool-down: the item of a
      // different block can be taken at once.
      if (hero.m_nFootBlock >= 0 && hero.m_nLandingBlock != hero.m_nPrevLandingBlock && !taken) {
        hero.m_nItemCooldown = 0;
        StickToFloor(hero);
      }
    }
  }
  return 0;
}

bool cBlockMap::IsPlaceBlocked(const cCharacter& object,
                               const std::function<bool(const cCharacter&)>& overlapsCharacter) {
  if (PassesBlocks(object)) return false;
  const int cell = FindBlockAtCorners(object.m_nColumnLeft, object.m_nRowTop, object.m_nColumnRight,
                                      object.m_nRowBottom, object.m_nBlockFlags);
  if (cell >= 0 && Stops(object, IsBlockSolid(cell, object.m_nBlockFlags))) return true;
  return overlapsCharacter && overlapsCharacter(object);
}

// Block collision (block_collision.cpp)
int cHero::SurviveSqueeze() {
  if (m_nStateCounter < 1) return 0;
  if (m_bPositionSaved != 0 && m_bRestorePosition != 0) {
    m_bRestorePosition = 0;
    m_dX = m_dSavedX;
    m_dY = m_dSavedY;
    m_dRight = m_dSavedRight;
    m_dBottom = m_dSavedBottom;
  }
  return 1;
}

// ---------------------------------------------------------------------------
// Block characters: characters that are solid for others. Contacts with
// them are resolved after the blocks, by the scene that holds the list.

namespace {

struct cBox {
  double left = 0, top = 0, right = 0, bottom = 0;
};
cBox BodyOf(const cStageObject& o) { return {o.m_dX, o.m_dY, o.m_dRight, o.m_dBottom}; }
cBox SavedBodyOf(const cCharacter& c) { return {c.m_dSavedX, c.m_dSavedY, c.m_dSavedRight, c.m_dSavedBottom}; }
// Touching: edges inclusive on every side.
bool Touches(const cBox& a, const cBox& b) {
  return a.left <= b.right && a.right >= b.left && a.top <= b.bottom && a.bottom >= b.top;
}
// Overlapping as the hit tests count it: the right and bottom edges inclusive.
bool Overlaps(const cBox& a, const cBox& b) {
  return a.left < b.right && a.right >= b.left && a.top < b.bottom && a.bottom >= b.top;
}

bool IsLiveBlockCharacter(const cStageCharacter& k, const cCharacter& object) {
  return static_cast<const cCharacter*>(&k) != &object && k.m_byBlockCharacter != 0 && k.m_bDying == 0 &&
         k.m_bPresent != 0 && k.m_bRemoved == 0;
}

// The side of the object on which a touching block character lies.
enum class eSide { kLeft, kRight, kAbove, kBelow };

// Where the two stood at the start of the sub-step decides first: an object
// that was above the block character (within the landing tolerance) stands
// on it, one that was below bumps it, one that was beside it is pushed
// sideways. When they already overlapped then, the smaller overlap depth
// now decides the axis (a shallow vertical overlap is a floor or ceiling).
eSide Classify(const cBox& now, const cBox& before, const cBox& k, const cBox& kBefore, double tolerance,
               double tolerance2) {
  if (before.bottom < kBefore.top + tolerance) return eSide::kBelow;
  if (before.top > kBefore.bottom - tolerance) return eSide::kAbove;
  if (before.right < kBefore.left + tolerance2) return eSide::kRight;
  if (before.left > kBefore.right - tolerance2) return eSide::kLeft;
  const double overlapWidth = std::min(now.right, k.right) - std::max(now.left, k.left) + 1;
  const double overlapHeight = std::min(now.bottom, k.bottom) - std::max(now.top, k.top) + 1;
  if (overlapHeight <= overlapWidth) {
    return (now.top + now.bottom) < (k.top + k.bottom) ? eSide::kBelow : eSide::kAbove;
  }
  return (now.left + now.right) < (k.left + k.right) ? eSide::kRight : eSide::kLeft;
}

struct cCandidate {
  bool has = false;
  double value = 0;
  cStageCharacter* by = nullptr;
};

void Offer(cCandidate& c, double value, cStageCharacter& by, bool smallestWins) {
  if (!c.has || (smallestWins ? value < c.value : value > c.value)) c = {true, value, &by};
}

void RememberCarrier(cCharacter& rider, const cStageCharacter& carrier) {
  rider.m_nCarriedById = carrier.m_nId;
  rider.m_dCarrierX = carrier.m_dX;
  rider.m_dCarrierY = carrier.m_dY;
  rider.m_dCarrierRight = carrier.m_dRight;
  rider.m_dCarrierBottom = carrier.m_dBottom;
}

}  // namespace

const std::vector<cStageCharacter*>& cStageScene::BlockCharacters() {
  const cBlockCharactersKey key{m_BlockMap.BuildCount(), m_nStepCount, CharacterListShape(), m_nRemovalCount};
  if (!(key == m_BlockCharactersKey)) {
    m_BlockCharacters.clear();
    // None was left when this sub-step's bookkeeping walk counted them, and
    // no character has joined the list since (removals only take some
    // away): there is nothing to gather.
    const bool noneCounted =
        m_nBlockCountStep == m_nStepCount && m_nLiveBlockCharacters == 0 && key.list == m_BlockCountShape;
    if (!noneCounted) {
      // A block character removed in this sub-step no longer blocks or carries.
      cCharacterLookAhead ahead(m_CharacterList, CharacterOrder());
      for (cStageCharacter& k : m_CharacterList) {
        ahead.Next();
        if (const cStageCharacter* far = ahead.Far()) {
          PrefetchListNode(far);
          PrefetchLine(&far->m_byBlockCharacter);
          PrefetchLine(&far->m_RemovalMark);
        }
        if (k.m_byBlockCharacter != 0 && !IsDoomed(k)) m_BlockCharacters.push_back(&k);
      }
    }
    m_BlockCharactersKey = key;
  }
  return m_BlockCharacters;
}

int cStageScene::IsPlaceBlocked(cCharacter& object) {
  const bool blocked = m_BlockMap.IsPlaceBlocked(object, [this](const cCharacter& o) {
    const cBox box = BodyOf(o);
    for (const cStageCharacter* k : BlockCharacters())
      if (IsLiveBlockCharacter(*k, o) && Overlaps(box, BodyOf(*k))) return true;
    return false;
  });
  return blocked ? 1 : 0;
}

int cStageScene::CarryRider(cCharacter& object) {
  if (object.m_bFreeVertical != 0) return 0;
  cStageCharacter* carrier = nullptr;
  for (cStageCharacter* k : BlockCharacters()) {
    if (k->m_nId == object.m_nCarriedById && static_cast<cCharacter*>(k) != &object) {
      carrier = k;
      break;
    }
  }
  if (carrier == nullptr) return 0;
  object.m_dSpeedX += carrier->m_dX - object.m_dCarrierX;
  if (carrier->m_bFreeVertical != 0 || !m_BlockMap.Rules().carrierAirborneOnly || carrier->m_bAirborne != 0)
    object.m_dSpeedY = carrier->m_dY - object.m_dCarrierY;
  // The carrier's ride triggers, with the rider as their context.
  if (IsComputerControlled(object)) {
    carrier->TriggerFlows(kTriggerRiddenByCharacter, &object, 0);
  } else if (IsPlayerControlled(object)) {
    carrier->TriggerFlows(kTriggerRiddenByHero, &object, 0);
    carrier->TriggerFlows(kTriggerRiddenByCharacter, &object, 0);
  }
  return 0;
}

int cStageScene::ResolveCharacterContacts(cCharacter& object) {
  if (PassesBlocks(object)) return 0;
  const cBlockRules& rules = m_BlockMap.Rules();
  const double tolerance = 2.0 / rules.frameScale;
  const double tolerance2 = 0.4 / rules.frameScale;
  const cBox start = BodyOf(object);
  const cBox before = SavedBodyOf(object);
  const std::vector<cStageCharacter*>& blockCharacters = BlockCharacters();

  // Measure: every touching block character offers a place on its side.
  cCandidate left, right, above, below;
  bool touched = false;
  for (cStageCharacter* kp : blockCharacters) {
    cStageCharacter& k = *kp;
    if (!IsLiveBlockCharacter(k, object)) continue;
    const cBox kb = BodyOf(k);
    if (!Touches(start, kb)) continue;
    touched = true;
    switch (Classify(start, before, kb, SavedBodyOf(k), tolerance, tolerance2)) {
      case eSide::kRight:
        object.m_bContactRight = 1;
        Offer(right, k.m_dX - object.m_nWidth - (object.m_bFreeVertical ? 0.0 : 0.5), k, true);
        break;
      case eSide::kLeft:
        object.m_bContactLeft = 1;
        Offer(left, k.m_dRight + (object.m_bFreeVertical ? 1.0 : 1.5), k, false);
        break;
      case eSide::kBelow:
        Offer(below, k.m_dY - object.m_nHeight, k, true);
        if (object.m_bFreeVertical != 0 || k.m_dSpeedY < 0 || (object.m_bRiding != 0 && object.m_dSpeedY < 0))
          object.m_bContactDown = 1;
        break;
      case eSide::kAbove:
        Offer(above, k.m_dBottom + 1.0, k, false);
        if (object.m_bFreeVertical != 0 || k.m_dSpeedY > 0) object.m_bContactUp = 1;
        break;
    }
  }

  if (object.m_bFreeVertical != 0) {
    // A flying object: dies on any touch (axis mode 2 = 2), or is pushed
    // flush by each side's nearest block character unless that one moves
    // away from it and the object does not follow (the contact is dropped).
    if (DiesOnBlocks(object)) return touched ? 2 : 0;
    if (touched) object.TriggerFlowsOfKind(kTriggerTouchedBlockCharacter);
    // After a dropped contact the other axis is measured again where the
    // object now is: each touching block character of that axis sets its
    // side's contact, and the object goes flush against the nearest.
    auto remeasure = [&](bool vertical) {
      cCandidate low, high;  // left / above, right / below
      const cBox now = BodyOf(object);
      for (cStageCharacter* kp : blockCharacters) {
        cStageCharacter& k = *kp;
        if (!IsLiveBlockCharacter(k, object)) continue;
        const cBox kb = BodyOf(k);
        if (!Touches(now, kb)) continue;
        const eSide side = Classify(now, before, kb, SavedBodyOf(k), tolerance, tolerance2);
        if (vertical && side == eSide::kAbove) {
          object.m_bContactUp = 1;
          Offer(low, kb.bottom + 1.0, k, false);
        } else if (vertical && side == eSide::kBelow) {
          object.m_bContactDown = 1;
          Offer(high, kb.top - object.m_nHeight, k, true);
        } else if (!vertical && side == eSide::kLeft) {
          object.m_bContactLeft = 1;
          Offer(low, kb.right + 1.0, k, false);
        } else if (!vertical && side == eSide::kRight) {
          object.m_bContactRight = 1;
          Offer(high, kb.left - object.m_nWidth, k, true);
        }
      }
      for (const cCandidate* c : {&low, &high}) {
        if (!c->has) continue;
        if (vertical) {
          object.m_dY = c->value;
          object.UpdateY();
        } else {
          if (!(object.m_bRiding != 0 && c->by->m_nId == object.m_nCarriedById)) object.m_bSideBump = 1;
          object.m_dX = c->value;
          object.UpdateX();
        }
      }
    };
    struct cSide {
      const cCandidate& candidate;
      bool vertical;
      bool pushed;  // the block character moves toward it, or the object toward it
      int32_t& contact;
    };
    const cSide sides[] = {
        {left, false, left.has && (left.by->m_dSpeedX >= 0 || object.m_dSpeedX < 0), object.m_bContactLeft},
        {right, false, right.has && (right.by->m_dSpeedX <= 0 || object.m_dSpeedX > 0), object.m_bContactRight},
        {above, true, above.has && (above.by->m_dSpeedY >= 0 || object.m_dSpeedY < 0), object.m_bContactUp},
        {below, true, below.has && (below.by->m_dSpeedY <= 0 || object.m_dSpeedY > 0), object.m_bContactDown},
    };
    for (const cSide& side : sides) {
      if (!side.candidate.has) continue;
      if (side.vertical)
        object.m_dAccelY = 0;
      else
        object.m_dAccelX = 0;
      if (side.pushed) {
        if (side.vertical) {
          object.m_dY = side.candidate.value;
          object.UpdateY();
        } else {
          object.m_dX = side.candidate.value;
          object.m_bSideBump = 1;
          object.UpdateX();
        }
      } else {
        side.contact = 0;
        remeasure(!side.vertical);
      }
    }
    return ((object.m_bContactLeft && object.m_bContactRight) || (object.m_bContactUp && object.m_bContactDown))
               ? 2
               : 0;
  }

  // The cells of the object's body if its top were at y.
  auto hitsBlocksAtY = [&](double y) {
    return m_BlockMap.HitsBlockAtCorners(CellOf(object.m_dX), CellOf(y), CellOf(object.m_dRight),
                                         CellOf(y + object.m_nHeight - 1), object.m_nBlockFlags);
  };
  auto overlapsOtherBlockCharacter = [&](const cBox& box, int32_t excludedId) {
    for (const cStageCharacter* k : blockCharacters)
      if (IsLiveBlockCharacter(*k, object) && k->m_nId != excludedId && Overlaps(box, BodyOf(*k))) return true;
    return false;
  };

  if (below.has) RememberCarrier(object, *below.by);

  // 1. Vertical: standing on a block character, or a ceiling.
  bool standingPush = false;
  bool pushedUp = false;
  if (below.has && !(left.has && right.has)) {
    bool free = true;
    // A block character sinking under the object may not pull it into the
    // blocks.
    if (below.by->m_dSpeedY > 0 && hitsBlocksAtY(below.value)) {
      object.m_bRiding = 0;
      free = false;
    }
    if (free) {
      object.m_dAccelY = 0;
      if (object.m_bRiding == 0) {
        if (IsPlayerControlled(object)) below.by->TriggerFlows(kTriggerRiddenByHero, &object, 0);
        below.by->TriggerFlows(kTriggerRiddenByCharacter, &object, 0);
      }
      object.m_bRiding = 1;
      object.m_dY = below.value;
      object.UpdateY();
      standingPush = true;
    }
  } else if (above.has) {
    cBox placed = BodyOf(object);
    placed.top = above.value;
    placed.bottom = above.value + object.m_nHeight - 1;
    if (!hitsBlocksAtY(above.value) && !overlapsOtherBlockCharacter(placed, above.by->m_nId)) {
      object.m_dAccelY = 0;
      object.m_bJump1 = 1;
      object.m_bJump2 = 1;
      object.m_nJumpEnd = 1;
      if (!(rules.keepKnockbackAtCeilings || g_CharacterSwitches.ceilingKeepsKnockback)) object.m_dKnockbackY = 0;
      object.m_dSpeedY = above.by->m_dSpeedY;
      object.m_dY = above.value;
      object.UpdateY();
      pushedUp = true;
      m_BlockMap.TouchY(object);
    }
  }

  // 2. Sideways: left, then right.
  auto pushSideways = [&](const cCandidate& c) {
    object.m_dAccelX = 0;
    if (!(object.m_bRiding != 0 && c.by->m_nId == object.m_nCarriedById)) {
      object.m_bSideBump = 1;
      object.m_nLastPusherId = c.by->m_nId;
      object.m_dPusherX = c.by->m_dX;
    }
    object.m_dX = c.value;
    object.UpdateX();
  };
  if (left.has) pushSideways(left);
  if (right.has) pushSideways(right);

  // 3. Pushed from both sides in the air: the object stays where it was on
  // x, and a block character above it acts as a ceiling.
  if (left.has && right.has && !standingPush) {
    object.m_dX = start.left;
    object.UpdateX();
    const cBox now = BodyOf(object);
    for (cStageCharacter* kp : blockCharacters) {
      cStageCharacter& k = *kp;
      if (!IsLiveBlockCharacter(k, object)) continue;
      const cBox kb = BodyOf(k);
      if (!Touches(now, kb) || (kb.top + kb.bottom) >= (now.top + now.bottom)) continue;
      if (k.m_dSpeedY > 0) object.m_bContactUp = 1;
      object.m_bJump1 = 1;
      object.m_bJump2 = 1;
      object.m_nJumpEnd = 1;
      object.m_dAccelY = 0;
      if (!(rules.keepKnockbackAtCeilings || g_CharacterSwitches.ceilingKeepsKnockback)) object.m_dKnockbackY = 0;
      object.m_dSpeedY = k.m_dSpeedY;
      object.m_dY = kb.bottom + 1;
      object.UpdateY();
      object.m_bContactLeft = 0;
      object.m_bContactRight = 0;
      break;
    }
  }

  // 4. Triggers.
  if (touched) object.TriggerFlowsOfKind(kTriggerTouchedBlockCharacter);
  if (object.m_bRiding != 0) {
    // Standing on a block character is no landing, but the hero who came
    // down on it (airborne since the jump or the fall) may jump off it
    // again. Only the airborne word is cleared: a landing on a block cell
    // would also snap to the grid, raise the block triggers and end the
    // rise of the jump before (which the hero's jump lets a rider ignore).
    if (IsPlayerControlled(object) && HasHero()) Hero().m_bAirborne = 0;
    if (!touched) object.TriggerFlowsOfKind(kTriggerTouchedBlockCharacter);
    object.TriggerFlowsOfKind(kTriggerOnBlockCharacter);
  }

  // Caught between block characters (or a block character and a block).
  if ((object.m_bContactLeft && object.m_bContactRight) || (object.m_bContactUp && object.m_bContactDown)) return 2;

  // A block character crossed: one that lies in the band the object swept
  // through on an axis without touching it at the start or at the end.
  {
    const cBox end = BodyOf(object);
    const cBox sweepX = {std::min(start.left, end.left), std::max(start.top, end.top),
                         std::max(start.right, end.right), std::min(start.bottom, end.bottom)};
    const cBox sweepY = {std::max(start.left, end.left), std::min(start.top, end.top),
                         std::min(start.right, end.right), std::max(start.bottom, end.bottom)};
    for (const cStageCharacter* kp : blockCharacters) {
      const cStageCharacter& k = *kp;
      if (!IsLiveBlockCharacter(k, object)) continue;
      const cBox kb = BodyOf(k);
      if (Touches(start, kb) || Touches(end, kb)) continue;
      if ((sweepX.top <= sweepX.bottom && Touches(sweepX, kb)) ||
          (sweepY.left <= sweepY.right && Touches(sweepY, kb)))
        return 2;
    }
  }

  // Back out of the block cells a push may have put the object into.
  const bool backLeft = rules.contactBackOff ? object.m_bContactLeft != 0 : left.has;
  const bool backRight = rules.contactBackOff ? object.m_bContactRight != 0 : right.has;
  const bool backUp = rules.contactBackOff ? object.m_bContactUp != 0 : pushedUp;
  const bool backDown = rules.contactBackOff ? object.m_bContactDown != 0 : standingPush;
  auto hitsBlocks = [&]() {
    return m_BlockMap.HitsBlockAtCorners(CellOf(object.m_dX), CellOf(object.m_dY), CellOf(object.m_dRight),
                                         CellOf(object.m_dBottom), object.m_nBlockFlags);
  };
  auto backOff = [&](bool active, double dx, double dy) {
    if (!active) return;
    for (int i = 0; i < 15 && hitsBlocks(); ++i) {
      if (dx != 0) {
        object.m_dX += dx;
        object.UpdateX();
      } else {
        object.m_dY += dy;
        object.UpdateY();
      }
    }
  };
  backOff(backLeft, -0.1, 0);
  backOff(backRight, 0.1, 0);
  backOff(backUp, 0, -0.1);
  backOff(backDown, 0, 0.1);

  // Still riding without a standing push this sub-step: the carrier (or
  // another block character) must be right under the feet.
  if (object.m_bRiding != 0 && !standingPush) {
    if (object.m_dKnockbackY < 0) {
      object.StopVertical(1);
    } else {
      const cBox strip = {object.m_dX, object.m_dBottom, object.m_dRight, object.m_dBottom + 5};
      const cStageCharacter* carrier = nullptr;
      for (const cStageCharacter* k : blockCharacters)
        if (k->m_nId == object.m_nCarriedById && IsLiveBlockCharacter(*k, object) && Touches(strip, BodyOf(*k))) {
          carrier = k;
          break;
        }
      if (carrier == nullptr)
        for (const cStageCharacter* k : blockCharacters)
          if (IsLiveBlockCharacter(*k, object) && Touches(strip, BodyOf(*k))) {
            carrier = k;
            break;
          }
      if (carrier != nullptr) {
        object.m_bKnockedBack = 0;
        object.m_bJump1 = 0;
        RememberCarrier(object, *carrier);
      } else {
        object.StopVertical(1);
      }
    }
  }
  return 0;
}

int cStageScene::CheckLifePoints() {
  if (HasHero() && Hero().m_nHp < 1) {
    if (Hero().m_bDying == 0) KillHero(nullptr);
    return 1;
  }
  for (cStageCharacter& c : m_CharacterList) {
    if (c.m_bRemoved != 0) {
      RemoveCharacter(c);
      continue;
    }
    if (c.m_nHp >= 1 || IsDoomed(c)) continue;
    // A character already dying (its defeat came from a hit) is handed over
    // too: its defeat answers 0, and without death displays it goes now.
    // With death displays every character the check finds without life
    // sounds the death sound and stays for its display, the one that fell
    // earlier as well.
    const int r = HandleCharacterKilled(c);
    if (ProjectRule(kRuleDeathDisplays) == 0)
      RemoveCharacter(c);
    else
      RequestSoundEffect(kSoundEnemyDeath);
    if (r != 0) return 1;
  }
  return 0;
}

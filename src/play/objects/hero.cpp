#include "play/objects/hero.h"

#include <algorithm>
#include <cmath>

#include "gfx/dd_frame.h"
#include "gfx/surface_table.h"
#include "play/objects/message_window.h"
#include "play/world/stage_scene.h"

namespace {

inline constexpr uint32_t kColourKey = 1;
// The hero's supported take-off under the second jump timing (the single-
// precision 1.02 of stored projects).
inline constexpr double kSupportedJumpFactor = 1.0199999809265137;
// A jump key let go early keeps this part of the rise.
inline constexpr double kShortHopFactor = 0.3;
inline constexpr int32_t kHitAreaPalette = 208;

int32_t SubSteps() {
  int32_t n = StageSubSteps();
  return n < 1 ? 1 : n;
}

// A forced scroll set on the axis holds the view; the hero does not move it.
bool ViewLocked(const cAxisView& view) { return view.step != 0; }

void ScaleRect(cHitRect& r, int32_t factor) {
  r.offsetX = r.baseOffsetX * factor;
  r.offsetY = r.baseOffsetY * factor;
  r.width = r.baseWidth * factor;
  r.height = r.baseHeight * factor;
}

void SetRect(cHitRect& r, int32_t offsetX, int32_t offsetY, int32_t width, int32_t height) {
  r.offsetX = r.baseOffsetX = offsetX;
  r.offsetY = r.baseOffsetY = offsetY;
  r.width = r.baseWidth = width;
  r.height = r.baseHeight = height;
}

}  // namespace

// ---------------------------------------------------------------------------
// Copies

cHero::cHero(const cHero& other) : cCharacter(other) { CopyOwn(other); }

cHero& cHero::operator=(const cHero& other) {
  if (this != &other) CopyFrom(other);
  return *this;
}

void cHero::CopyFrom(const cCharacter& other) {
  cCharacter::CopyFrom(other);
  if (auto* same = dynamic_cast<const cHero*>(&other)) CopyOwn(*same);
}

void cHero::CopyOwn(const cHero& other) {
  m_pInput = other.m_pInput;
  m_nJumpHold = other.m_nJumpHold;
  m_bJumpAllowed = other.m_bJumpAllowed;
  m_bJumpForbidden = other.m_bJumpForbidden;
  m_dSlideBase = other.m_dSlideBase;
  m_bJumpHandled = other.m_bJumpHandled;
  m_bInputOff = other.m_bInputOff;
  m_bButtonsOff = other.m_bButtonsOff;
  m_nSavedFacing = other.m_nSavedFacing;
  m_TouchedIds = other.m_TouchedIds;
  m_nFloorKind = other.m_nFloorKind;
  m_dFloorSlip = other.m_dFloorSlip;
  m_nSpecialFloorCountdown = other.m_nSpecialFloorCountdown;
  m_Hit3 = other.m_Hit3;
  m_HitAreas = other.m_HitAreas;
  m_PendingCommands = other.m_PendingCommands;
  m_nMoveMode = other.m_nMoveMode;
  m_nPrevLandingBlock = other.m_nPrevLandingBlock;
  m_nItemCooldown = other.m_nItemCooldown;
  m_nJumpFrames = other.m_nJumpFrames;
  m_bDeathHandedOver = other.m_bDeathHandedOver;
  m_PendingArranges = other.m_PendingArranges;  // status operations
}

// ---------------------------------------------------------------------------
// Set-up and move modes

void cHero::Setup(int32_t id, const cEdCharacter& definition, double x, double y, cSafeVector<cInput>& inputs) {
  Init(&definition, nullptr, 0, 0);
  if (m_Definition.Scale() == 0) m_Definition.SetScaleField(1);
  // The position first: a scale above 1 moves the body around it.
  m_dX = x;
  m_dY = y;
  const cEdCharacter& def = m_Definition;
  SetAxisMode(def.FreeVertical());
  int32_t offsetX = 0, offsetY = 0, width = 0, height = 0;
  GetBodySize(offsetX, offsetY, width, height);
  cStageObject::Setup(id, def.ControlKind(), def.Owner(), def.BlockFlags(), def.ObjectValue(), nullptr, 0, offsetX,
                      offsetY, width, height, 32, 32, def.InitialFacing(), def.FreeVertical(), 0, &m_Definition);
  // A player number without an input record reads the first one.
  int32_t player = def.PlayerNumber();
  m_pInput = inputs.empty() ? nullptr
                            : &inputs[player >= 0 && static_cast<size_t>(player) < inputs.size() ? player : 0];
  SetMoveMode(def.FreeVertical(), 0, 0, 0);
  SetScale(ScaleFactor(), 1, 1);
  m_nFacing = m_nSavedFacing = def.InitialFacing();
  m_bPositionSaved = 0;
  m_bRestorePosition = 0;
  m_bJumpAllowed = 1;
  m_nJumpHold = 0;
  m_bJumpForbidden = 0;
  m_nJumpEnd = 0;
  m_dSlideBase = 4.0 / (StageFrameScale() > 0 ? StageFrameScale() : 1.0);
  m_PendingCommands.clear();
  m_bInputOff = m_bButtonsOff = 0;
  m_nFloorKind = 0;
  m_dFloorSlip = 0;
  m_nSpecialFloorCountdown = 0;
  m_bDeathHandedOver = 0;
  SortHitAreas();
  m_TouchedIds.clear();
  SetFlows();
  UpdateX();
  UpdateY();
  UpdateScreenRect();
}

void cHero::GetBodySize(int32_t& offsetX, int32_t& offsetY, int32_t& width, int32_t& height) const {
  bool a = m_bFreeVertical == 0;
  width = StageSizeValue(a ? kStageHeroWidthA : kStageHeroWidthB);
  height = StageSizeValue(a ? kStageHeroHeightA : kStageHeroHeightB);
  bool bottom = StageData.Int(a ? kStageHeroBottomA : kStageHeroBottomB) != 0;
  offsetX = (32 - width) >> 1;
  offsetY = bottom ? 32 - height : (32 - height) >> 1;
}

void cHero::SetMoveMode(int32_t mode, int32_t rescale, int32_t savePosition, int32_t restoreOnChange) {
  int32_t wasFree = m_bFreeVertical;
  int32_t oldMode = m_nMoveMode;
  m_nMoveMode = mode;
  SetAxisMode(mode);
  if (savePosition) {
    m_bPositionSaved = 1;
    m_dSavedX = m_dX;
    m_dSavedY = m_dY;
    m_dSavedRight = m_dRight;
    m_dSavedBottom = m_dBottom;
  }
  if (mode != oldMode) {
    m_nStateCounter = 2;
    if (restoreOnChange) m_bRestorePosition = 1;
  }
  if (wasFree && !m_bFreeVertical) m_dSpeedX = m_dSpeedY = m_dAccelX = m_dAccelY = 0;
  if (m_bFreeVertical && !g_CharacterSwitches.keepAirOnModeChange) {
    m_bAirborne = 1;
    m_nFallCounter = g_CharacterSwitches.initialFallValue;
  }
  int32_t offsetX = 0, offsetY = 0, width = 0, height = 0;
  GetBodySize(offsetX, offsetY, width, height);
  m_nWidth = m_nBaseWidth = width;
  m_nHeight = m_nBaseHeight = height;
  m_nMarginX = m_nBaseMarginX = offsetX;
  m_nMarginY = m_nBaseMarginY = offsetY;
  m_nDrawWidth = m_nBaseDrawWidth = 32;
  m_nDrawHeight = m_nBaseDrawHeight = 32;

  bool a = m_bFreeVertical == 0;
  switch (m_Definition.GraphicKind()) {
    case 0:
      SetHitRect1(StageData.Int(a ? kStageHeroHit1BottomA : kStageHeroHit1BottomB),
                  StageSizeValue(a ? kStageHeroHit1WidthA : kStageHeroHit1WidthB),
                  StageSizeValue(a ? kStageHeroHit1HeightA : kStageHeroHit1HeightB));
      break;
    case 1:
      SetHitRect1(0, StageSizeValue(kStageHeroHit2Width), StageSizeValue(kStageHeroHit2Height));
      break;
    case 2:
      SetHitRect1(0, StageSizeValue(kStageHeroHitKind2Width), StageSizeValue(kStageHeroHitKind2Height));
      break;
    case 3:
      SetHitRect1(0, 32, 32);
      break;
    default:
      break;
  }
  int32_t w2 = StageSizeValue(kStageHeroHit2Width), h2 = StageSizeValue(kStageHeroHit2Height);
  SetRect(m_Hit2, 16 - w2 / 2 - m_nMarginX, 16 - h2 / 2 - m_nMarginY, w2, h2);
  int32_t w3 = StageSizeValue(kStageHeroHit3Width), h3 = StageSizeValue(kStageHeroHit3Height);
  SetRect(m_Hit3, 16 - w3 / 2 - m_nMarginX, 16 - h3 / 2 - m_nMarginY, w3, h3);

  if (rescale) {
    int32_t s = ScaleFactor();
    m_nWidth *= s;
    m_nHeight *= s;
    m_nMarginX *= s;
    m_nMarginY *= s;
    m_nDrawWidth *= s;
    m_nDrawHeight *= s;
    ScaleRect(m_Hit1, s);
    ScaleRect(m_Hit2, s);
    ScaleRect(m_Hit3, s);
  }
  // The edges, cells and rectangles follow the new body at once.
  m_dRight = m_dX + m_nWidth - 1;
  m_dBottom = m_dY + m_nHeight - 1;
  m_nColumnLeft = CellOf(m_dX);
  m_nColumnRight = CellOf(m_dRight);
  m_nRowTop = CellOf(m_dY);
  m_nRowBottom = CellOf(m_dBottom);
  OnMovedX();
  OnMovedY();
  SortHitAreas();
}

void cHero::SortHitAreas() {
  m_HitAreas.clear();
  static constexpr int32_t kOrder[kHitAreaCount] = {0, 2, 1, 3};
  for (int32_t kind : kOrder) {
    cHitArea area;
    area.kind = kind;
    area.mode = StageData.Int(kStageHeroHitAreaMode + kind);
    // Eight colours: a setting outside them takes the colour of its low bits.
    area.colour = kHitAreaPalette + 4 * (StageData.Int(kStageHeroHitAreaColour + kind) & 7);
    const cHitRect* r = kind == 1 ? &m_Hit1 : kind == 2 ? &m_Hit3 : kind == 3 ? &m_Hit2 : nullptr;
    area.width = r ? r->width : m_nWidth;
    area.height = r ? r->height : m_nHeight;
    m_HitAreas.push_back(area);
  }
  std::stable_sort(m_HitAreas.begin(), m_HitAreas.end(), [](const cHitArea& a, const cHitArea& b) {
    return int64_t{a.width} * a.height > int64_t{b.width} * b.height;
  });
}

// ---------------------------------------------------------------------------
// View, rectangles

double& cHero::ViewX() {
  if (cStageScene* scene = CurrentStageScene()) return scene->m_ScrollX.position;
  static double scratch = 0;
  return scratch;
}

double& cHero::ViewY() {
  if (cStageScene* scene = CurrentStageScene()) return scene->m_ScrollY.position;
  static double scratch = 0;
  return scratch;
}

// The left (top) clamp comes last, so that on a stage narrower (lower) than
// the screen the view stays at the stage's left (top) end.
int cHero::UpdateX() {
  const cAxisView& v = StageViewX();
  if (!ViewLocked(v)) {
    double& view = ViewX();
    view = m_dX - (320 - m_nWidth / 2);
    if (view + 640 >= v.rangeHigh) view = v.rangeHigh - 640;
    if (view < v.rangeLow) view = v.rangeLow;
  }
  int r = ClampX(m_bFreeVertical ? 0 : 1);
  m_dRight = m_dX + m_nWidth - 1;
  return r;
}

int cHero::UpdateY() {
  const cAxisView& v = StageViewY();
  if (!ViewLocked(v)) {
    double& view = ViewY();
    view = m_dY - (240 - m_nHeight / 2);
    if (view + 480 >= v.rangeHigh) view = v.rangeHigh - 480;
    if (view < v.rangeLow) view = v.rangeLow;
  }
  int r = ClampY(m_bFreeVertical ? 0 : 1);
  m_dBottom = m_dY + m_nHeight - 1;
  return r;
}

void cHero::UpdateScreenRect() {
  double vx = ViewX(), vy = ViewY();
  m_rcScreen.left = ViewLocked(StageViewX()) ? TruncToInt(m_dX) - TruncToInt(vx) - m_nMarginX
                                             : TruncToInt(m_dX - vx - m_nMarginX);
  m_rcScreen.top = ViewLocked(StageViewY()) ? TruncToInt(m_dY) - TruncToInt(vy) - m_nMarginY
                                            : TruncToInt(m_dY - vy - m_nMarginY);
  m_rcScreen.right = m_rcScreen.left + m_nDrawWidth - 1;
  m_rcScreen.bottom = m_rcScreen.top + m_nDrawHeight - 1;
}

void cHero::OnScaleChanged(int32_t factor) {
  ScaleRect(m_Hit1, factor);
  ScaleRect(m_Hit2, factor);
  ScaleRect(m_Hit3, factor);
  UpdateX();
  UpdateY();
}

void cHero::OnMovedX() {
  m_Hit1.UpdateX(m_dX);
  m_Hit2.UpdateX(m_dX);
  m_Hit3.UpdateX(m_dX);
}

void cHero::OnMovedY() {
  m_Hit1.UpdateY(m_dY);
  m_Hit2.UpdateY(m_dY);
  m_Hit3.UpdateY(m_dY);
}

// ---------------------------------------------------------------------------
// Motion

int cHero::StepX() {
  if (m_dKnockbackX != 0) {
    m_dSpeedX = m_dKnockbackX;
  } else if (m_dAccelX != 0) {
    DecelerateAxis(m_dAccelX, m_bDecelerateX);
    if (m_nSpecialFloorCountdown > 0 && m_nFloorKind == kFloorSliding) {
      double fs = StageFrameScale() > 0 ? StageFrameScale() : 1.0;
      double d = (m_dSlideBase / fs / 60) * (m_dFloorSlip - 1);
      if (m_dAccelX > 0) {
        m_dAccelX += d;
        if (m_dAccelX < 0) m_dAccelX = 0;
      } else if (m_dAccelX < 0) {
        m_dAccelX -= d;
        if (m_dAccelX > 0) m_dAccelX = 0;
      }
    }
    m_dSpeedX += m_dAccelX;
  }
  double limit = StageMaxSpeed();
  m_dSpeedX = std::clamp(m_dSpeedX, -limit, limit);
  m_dX += m_dSpeedX;
  return UpdateX();
}

int cHero::StepY() {
  PrepareKnockbackY();
  if (m_dKnockbackY == 0 && m_bFreeVertical) {
    DecelerateAxis(m_dAccelY, m_bDecelerateY);
    m_dSpeedY += m_dAccelY;
  }
  int r = MoveY(m_bFreeVertical ? 0 : 2);
  UpdateY();
  if (!m_bFreeVertical && (r == kEdgeBelowArea || r == kEdgeMapBottom)) r = kStepKilled;
  return r;
}

int cHero::Frame(int32_t deathMode) {
  cStageScene* scene = BeginFrame();
  const cAxisView& vx = StageViewX();
  const cAxisView& vy = StageViewY();
  auto scrollSpeeds = [&] {
    m_dSpeedX = m_bFollowsScroll && !vx.atLimit ? vx.step : 0;
    if (m_bFreeVertical) m_dSpeedY = m_bFollowsScroll && !vy.atLimit ? vy.step : 0;
  };
  if (!g_MotionSwitches.scrollRelativeAim) scrollSpeeds();
  else if (!m_bFreeVertical) m_dSpeedX = 0;
  else scrollSpeeds();

  m_bHiddenThisFrame = 0;
  m_bStanding = 0;  // set again by a landing or a stop command of this frame
  m_bInputOff = m_bButtonsOff = 0;
  m_bAnimeRequest = m_nAnimeRequest = m_nAnimeRequest3 = 0;
  m_bJumpHandled = 0;
  m_bDecelerateX = m_bDecelerateY = 1;
  if (m_nStateCounter > 0 && --m_nStateCounter == 0) m_bRestorePosition = 0;

  FlowHooks().PreStep(*this);
  if (FlowHooks().StepFlows(*this, deathMode) != 0) return 1;
  if (scene) {
    scene->CurrentCharacter = nullptr;
    scene->CurrentFlow = nullptr;
    scene->CurrentCommand = nullptr;
  }
  FlowHooks().RunPendingCommands(*this);
  m_PendingCommands.clear();
  if (m_bRemoveFlows) {
    FlowHooks().ApplyRemoveRequests(*this);
    m_bRemoveFlows = 0;
  }
  ++m_nFrameCounter;
  if (m_bAnimeRequest) PlayAnime(m_nAnimeRequest);
  else if (m_dAccelX == 0 && m_dAccelY == 0) PlayAnime(m_bFreeVertical ? 2 : 0);
  if (!m_bJumpHandled) {
    m_nJumpHold = 0;
    m_bJumpAllowed = 1;
    m_nJumpEnd = 0;
  }
  return m_nHp < 1 ? 1 : 0;
}

// The variable-height jump: each sub-step the jump key is held the jump
// rises on, up to the hold limit; let go early, an upward speed is cut to
// 30 %. A jump from something other than a block is taken in the frame's
// last sub-step only.
//
// The cut applies to the rise of a jump the hero took (its jumped word,
// cleared by every landing), not to a hero that is still on its floor: the
// airborne word is set one sub-step after the take-off, long before the key
// can be let go, so a cut that waited for the hero to be on the ground
// would never shorten a jump.
void cHero::Jump(cJumpCommand& command) {
  if (m_bFreeVertical || m_bJumpHandled) return;
  int32_t kind = command.params[0];
  bool held = kind == 0 || (command.hasKeys && command.keysHeld);
  if (kind == 2) {
    double fs = StageFrameScale();
    double a = fs != 0 ? command.params[1] / (fs * 10) : 0;
    double b = fs != 0 ? command.params[3] / (fs * 10) : 0;
    double v = std::fabs(m_dAccelX);
    int32_t high = command.params[2], low = command.params[4];
    int32_t height = v >= a ? high : v <= b ? low : TruncToInt(low + (double(high) - low) * v / a);
    command.initialSpeed = JumpSpeed(height);
  }
  cStageScene* scene = CurrentStageScene();
  bool lastSubStep = !scene || scene->m_nStepIndex == SubSteps();
  if (held && !m_bJumpForbidden) {
    ++m_nJumpHold;
    if (m_nJumpHold >= command.holdLimit && m_bJumpAllowed && !m_nJumpEnd && (!m_bJump2 || m_bRiding) &&
        (m_dSpeedY < 0 || m_bRiding)) {
      m_bJump2 = 1;
      m_bJumpAllowed = 0;
    } else if (!m_bAirborne && m_nJumpHold <= SubSteps() && (!m_bJump2 || m_bRiding) && m_bJumpAllowed &&
               !m_nJumpEnd && !m_bKnockedBack && !command.started) {
      bool taken = false;
      if (g_CharacterSwitches.jumpTiming == 0) {
        if (!m_bJump1) {
          if (!m_bRiding || lastSubStep) {
            m_bJump1 = 1;
            m_dSpeedY = command.initialSpeed;
            m_bRiding = 0;
            taken = true;
          }
        }
      } else {
        m_bJump1 = 1;
        if (m_bRiding) {
          if (lastSubStep) {
            m_dSpeedY = command.initialSpeed * kSupportedJumpFactor;
            m_bRiding = 0;
            taken = true;
          }
        } else {
          m_dSpeedY = command.initialSpeed;
          taken = true;
        }
      }
      if (taken) {
        command.started = 1;
        RequestSoundEffectById(command.soundId);
      }
    }
  } else if (!held) {
    if (m_nJumpHold > 0 && m_nJumpHold < command.holdLimit && !m_bJump2 && !m_nJumpEnd && !m_bJumpForbidden &&
        !m_bKnockedBack && m_bJump1) {
      m_bRiding = 0;
      if (m_dSpeedY < 0) m_dSpeedY *= kShortHopFactor;
      m_bJump2 = 1;
    }
    m_nJumpHold = 0;
    m_bJumpAllowed = 1;
    m_nJumpEnd = 0;
  }
  if (IsSupported() && m_dSpeedY >= 0 && (!command.hasKeys || !held)) {
    m_nJumpHold = 0;
    m_bJumpAllowed = 1;
    m_nJumpEnd = 0;
    m_bKnockedBack = 0;
    if (command.hasKeys) command.repeat = 0;
    else command.started = 0;
  }
  m_bJumpHandled = 1;
}

// ---------------------------------------------------------------------------
// Touched objects and item commands

int cHero::IsNotInTouchedList(int32_t id) const {
  return std::find(m_TouchedIds.begin(), m_TouchedIds.end(), id) == m_TouchedIds.end() ? 1 : 0;
}

void cHero::RemoveFromTouchedList(int32_t id) { m_TouchedIds.remove(id); }

int cHero::RunItemCommands(const std::vector<cEdCmd>& commands) {
  if (cStageScene* scene = CurrentStageScene()) {
    scene->CurrentCommand = nullptr;
    scene->m_bItemMessage = 0;  // Flow commands: a new item run opens its own message window
  }
  for (const cEdCmd& command : commands) {
    // ---- Status operations: the hero's pending arranges go to the next
    // item command that is not itself an arrange, then are dropped. The
    // item's list may be a shared definition, so a changed copy runs.
    cEdCmd arranged;
    const cEdCmd* run = &command;
    if (command.m_nKind != kItemArrangeKind && !m_PendingArranges.empty()) {
      arranged = command;
      ApplyOwnArranges(arranged);
      m_PendingArranges.clear();
      run = &arranged;
    }
    // ---- end of status operations ----
    int r = FlowHooks().RunItemCommand(*this, *run);
    if (m_nHp < 1) return 2;
    if (r != 0) return r;
  }
  return m_nHp < 1 ? 2 : 0;
}

void cHero::ShowReactionMessage(int32_t kind, int32_t number, int32_t row) {
  cStageScene* scene = CurrentStageScene();
  if (!scene) return;
  cMessageSettings settings;
  settings.style = kMessageIcon;
  settings.iconKind = kind;
  settings.iconNumber = static_cast<uint16_t>(number);
  settings.iconRow = static_cast<uint16_t>(row);
  settings.positionMode = cStageScene::kMessageAboveHero;
  settings.fixPosition = 1;
  settings.displayMode = kMessageTimed;
  settings.remainingFrames = kMessagePopUpFrames;
  settings.followedId = m_nId;
  scene->AddMessageWindow(settings);
}

// ---------------------------------------------------------------------------
// Drawing

void cHero::DrawHitAreas(DDSURFACEDATA* target) {
  bool steady = DDState.nBpp == 8 && g_CharacterSwitches.steadyColour;
  for (cHitArea& area : m_HitAreas) {
    if (area.mode == 0) continue;
    const cHitRect* r = area.kind == 1 ? &m_Hit1 : area.kind == 2 ? &m_Hit3 : area.kind == 3 ? &m_Hit2 : nullptr;
    area.x = m_rcScreen.left + m_nMarginX + (r ? r->offsetX : 0);
    area.y = m_rcScreen.top + m_nMarginY + (r ? r->offsetY : 0);
    area.width = r ? r->width : m_nWidth;
    area.height = r ? r->height : m_nHeight;
    uint32_t colour = static_cast<uint32_t>(area.colour + (steady ? 0 : (area.blink >> 3)));
    if (target) {
      if (area.mode == 1) DDFillRect(target, area.x, area.y, area.width, area.height, colour);
      else if (area.mode == 2) DDDrawFrame(target, area.x, area.y, area.width, area.height, 1, colour);
    }
    if (++area.blink >= 32) area.blink = 0;
  }
}

// A mask smaller than the screen is drawn from its origin, as much of it as
// there is.
void cHero::DrawSightMask(DDSURFACEDATA* target, DDSURFACEDATA* mask) {
  int32_t mode = m_Definition.SightMode();
  if (!target || !mask || mode == 0) return;
  int32_t w = mask->nWidth, h = mask->nHeight;
  if (w <= 0 || h <= 0) return;
  int32_t sx = w / 2 - m_nDrawWidth / 2 - m_rcScreen.left;
  int32_t sy = h / 2 - m_nDrawHeight / 2 - m_rcScreen.top;
  if (mode == 2 || mode == 4) sx += FacingSign() * (m_nDrawWidth / 2 - m_nSight);
  sx = std::clamp(sx, 0, std::max(0, w - 640));
  sy = std::clamp(sy, 0, std::max(0, h - 480));
  DDBlt(target, 0, 0, std::min(640, w - sx), std::min(480, h - sy), mask, sx, sy, kColourKey);
}

void DrawHero(cHero& hero, DDSURFACEDATA* target, int32_t still) {
  hero.UpdateScreenRect();
  if (!hero.m_bDying) {
    int32_t cell = hero.StepAnimeRuns(still != 0);
    hero.DrawBody(target, cell, still);
    hero.DrawHitAreas(target);
    return;
  }
  if (hero.m_bDeathHandedOver) return;
  if (hero.DrawDefeated(target, still)) {
    // The hand-over may set the stage up again (and the hero with it): the
    // hero is not touched after it.
    hero.m_bDeathHandedOver = 1;
    if (cStageScene* scene = CurrentStageScene()) scene->FinishHeroDeath();
  }
}

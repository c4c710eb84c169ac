#include "play/objects/character.h"

#include <algorithm>
#include <cmath>

#include "base/logs.h"
#include "data/database.h"
#include "data/settings.h"
#include "data/system_data.h"
#include "gfx/surface_table.h"
#include "play/objects/hero.h"
#include "play/objects/stage_character.h"
#include "play/world/block_map.h"
#include "play/world/stage_scene.h"

cCharacterSwitches g_CharacterSwitches;

int32_t StageSizeValue(int field) { return std::clamp(StageData.Int(field), 0, 4096); }

namespace {

inline constexpr uint32_t kColourKey = 1;
// The scratch surface of graphic effects on enlarged characters.
inline constexpr int kCharacterEffectWorkSurface = SURF_EMPTY_FIRST + 2;

int32_t SubStepsOrOne() {
  int32_t n = StageSubSteps();
  return n < 1 ? 1 : n;
}
double FrameScaleOrOne() {
  double f = StageFrameScale();
  return f > 0 ? f : 1.0;
}

int32_t ClampInt(int64_t v, int64_t lo, int64_t hi) {
  return static_cast<int32_t>(std::min(std::max(v, lo), hi));
}

// The initial speed of one knock-back component of c half blocks, so that
// the decay of 1 / f a sub-step stops it after c x 16 dots.
double KnockbackSpeed(double c, double f) {
  if (c > 0) return (std::sqrt(1 + 128 * f * c) - 1) / (2 * f);
  if (c < 0) return -(std::sqrt(1 - 128 * f * c) - 1) / (2 * f);
  return 0;
}

// The knock-back velocity of strength s along (dx, dy); s = 0 leaves it.
void KnockbackVector(double& kx, double& ky, int32_t s, double dx, double dy) {
  if (s == 0) return;
  double sum = std::fabs(dx) + std::fabs(dy);
  if (sum == 0) {
    kx = 0;
    ky = 0;
    return;
  }
  double f = FrameScaleOrOne();
  kx = KnockbackSpeed(s * dx / sum, f);
  ky = KnockbackSpeed(s * dy / sum, f);
}

// A value moved one decay step toward 0 (never past it).
void DecayToward0(double& v) {
  if (v == 0) return;
  double step = 1.0 / FrameScaleOrOne();
  if (v > 0) {
    v -= step;
    if (v < 0) v = 0;
  } else {
    v += step;
    if (v > 0) v = 0;
  }
}

// Opposite signs, each beyond the tolerance.
bool Opposes(double a, double b) {
  constexpr double kTolerance = 1e-08;
  return (a > kTolerance && b < -kTolerance) || (a < -kTolerance && b > kTolerance);
}

void RemoveEntry(std::vector<cTargetedBy>& list, cCharacter* holder, int32_t slot) {
  list.erase(std::remove(list.begin(), list.end(), cTargetedBy{holder, slot}), list.end());
}

// Which rows of the system picture the gauges are cut from.
void GaugeRows(int32_t& base, int32_t& step) {
  const DDSURFACEDATA& image = GameSurfaces[SURF_ACCESSORY];
  if (image.nHeight <= 208) {
    base = 128;
    step = 16;
  } else {
    base = 208;
    step = 2;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction, copies, destruction

cCharacter::cCharacter() {
  m_Targets.assign(kTargetSlotCount, nullptr);
  m_TriggerFlags1.assign(kTriggerFlagCount, 0);
  m_TriggerFlags2.assign(kTriggerFlagCount, 0);
  m_TriggerFlags3.assign(kTriggerFlagCount, 0);
  m_Status.assign(kStatusWordCount, 0);
}

cCharacter::cCharacter(const cCharacter& other) : cStageObject(other) { CopyFrom(other); }

cCharacter& cCharacter::operator=(const cCharacter& other) {
  if (this != &other) CopyFrom(other);
  return *this;
}

cCharacter::~cCharacter() {
  if (m_pLinkOwner == nullptr) ClearTargetLinks();
  if (cStageScene* scene = CurrentStageScene(); scene && scene->CurrentCharacter == this) {
    scene->CurrentCharacter = nullptr;
    scene->CurrentFlow = nullptr;
    scene->CurrentCommand = nullptr;
  }
}

// A copy holds the same targets and parent as the character it copies, and
// is entered in their back-link lists itself, so that it is unlinked when
// they go. No other object points at the copy yet: its own back-link and
// link lists start empty (those lists describe the source character).
void cCharacter::CopyFrom(const cCharacter& other) {
  if (this == &other) return;
  if (m_pLinkOwner == nullptr) ClearTargetLinks();
  CopyBaseFrom(other);
  // The definition pointer follows the copy's own definition.
  if (other.m_pDefinition == &other.m_Definition) m_pDefinition = &m_Definition;
  m_pLinkOwner = other.m_pLinkOwner;
  m_Targets = other.m_Targets;
  m_Targets.resize(kTargetSlotCount, nullptr);
  m_pParent = other.m_pParent;
  m_TargetedBy.clear();
  m_Links.clear();
  if (m_pLinkOwner == nullptr) {
    for (int32_t slot = 0; slot < kTargetSlotCount; ++slot) {
      cCharacter* target = m_Targets[slot];
      if (target == this) m_Targets[slot] = nullptr;
      else if (target) target->m_TargetedBy.push_back({this, slot});
    }
    if (m_pParent == this) m_pParent = nullptr;
    else if (m_pParent) m_pParent->m_TargetedBy.push_back({this, kParentSlot});
  }
  m_bReportToParent = other.m_bReportToParent;
  m_byParentFlowGroup = other.m_byParentFlowGroup;
  m_Definition = other.m_Definition;
  m_pFlows = other.m_pFlows ? other.m_pFlows->Clone() : nullptr;
  m_nFlowCounter = other.m_nFlowCounter;
  m_TriggerFlags1 = other.m_TriggerFlags1;
  m_TriggerFlags2 = other.m_TriggerFlags2;
  m_TriggerFlags3 = other.m_TriggerFlags3;
  m_bClearTriggerFlags2 = other.m_bClearTriggerFlags2;
  m_bRemoveFlows = other.m_bRemoveFlows;
  m_nSetupWords = other.m_nSetupWords;
  m_bAnimeRequest = other.m_bAnimeRequest;
  m_nAnimeRequest = other.m_nAnimeRequest;
  m_nAnimeRequest3 = other.m_nAnimeRequest3;
  m_dKnockbackX = other.m_dKnockbackX;
  m_dKnockbackY = other.m_dKnockbackY;
  m_dPrevKnockbackY = other.m_dPrevKnockbackY;
  m_bKnockedBack = other.m_bKnockedBack;
  m_nFootBlock = other.m_nFootBlock;
  m_nStateCounter = other.m_nStateCounter;
  m_bDying = other.m_bDying;
  m_bSideBump = other.m_bSideBump;
  m_bRiding = other.m_bRiding;
  m_dSavedX = other.m_dSavedX;
  m_dSavedY = other.m_dSavedY;
  m_dSavedRight = other.m_dSavedRight;
  m_dSavedBottom = other.m_dSavedBottom;
  m_bPositionSaved = other.m_bPositionSaved;
  m_bRestorePosition = other.m_bRestorePosition;
  m_nHp = other.m_nHp;
  m_HpGauge = other.m_HpGauge;
  m_nSp = other.m_nSp;
  m_SpGauge = other.m_SpGauge;
  m_Status = other.m_Status;
  m_nInvincibleTimer = other.m_nInvincibleTimer;
  m_InvincibleList = other.m_InvincibleList;
  m_AnimeRuns = other.m_AnimeRuns;
  m_bRemoved = other.m_bRemoved;
  m_nSight = other.m_nSight;
  m_Hit1 = other.m_Hit1;
  m_Hit2 = other.m_Hit2;
  m_Effect = other.m_Effect;
  m_nDefeatCounter = other.m_nDefeatCounter;
  m_bVanishAtOnce = other.m_bVanishAtOnce;
  m_bAirborne = other.m_bAirborne;
  m_bJump1 = other.m_bJump1;
  m_bJump2 = other.m_bJump2;
  m_nJumpEnd = other.m_nJumpEnd;
  m_bPendingJump = other.m_bPendingJump;
  m_bSecondJump = other.m_bSecondJump;
  m_bStanding = other.m_bStanding;
  m_nFallCounter = other.m_nFallCounter;
  m_bContactLeft = other.m_bContactLeft;
  m_bContactRight = other.m_bContactRight;
  m_bContactUp = other.m_bContactUp;
  m_bContactDown = other.m_bContactDown;
  m_nLastSide = other.m_nLastSide;
  m_nLandingBlock = other.m_nLandingBlock;
  m_nCarriedById = other.m_nCarriedById;
  m_nLastPusherId = other.m_nLastPusherId;
  m_dPusherX = other.m_dPusherX;
  m_nFrameCounter = other.m_nFrameCounter;
  m_bHiddenThisFrame = other.m_bHiddenThisFrame;
  m_nShowsRanges = other.m_nShowsRanges;
  m_bPinnedX = other.m_bPinnedX;
  m_bPinnedY = other.m_bPinnedY;
  m_dCarrierX = other.m_dCarrierX;
  m_dCarrierY = other.m_dCarrierY;
  m_dCarrierRight = other.m_dCarrierRight;
  m_dCarrierBottom = other.m_dCarrierBottom;
  m_byBlockCharacter = other.m_byBlockCharacter;
}

// ---------------------------------------------------------------------------
// Set-up

void cCharacter::Init(const cEdCharacter* definition, const int32_t setupWords[4], uint16_t instance,
                      int32_t spare) {
  (void)spare;
  ClearTargetLinks();
  m_wInstance = instance;
  m_Targets.assign(kTargetSlotCount, nullptr);
  m_TargetedBy.clear();
  m_Links.clear();
  m_pParent = nullptr;
  m_bReportToParent = 0;
  m_byParentFlowGroup = 0;
  m_nFlowCounter = 0;
  m_TriggerFlags1.assign(kTriggerFlagCount, 0);
  m_TriggerFlags2.assign(kTriggerFlagCount, 0);
  m_TriggerFlags3.assign(kTriggerFlagCount, 0);
  m_bClearTriggerFlags2 = 0;
  m_bRemoveFlows = 0;
  for (int i = 0; i < 4; ++i) m_nSetupWords[i] = setupWords ? setupWords[i] : 0;
  m_bAnimeRequest = m_nAnimeRequest = m_nAnimeRequest3 = 0;
  // Work words: a new character is in the air until it lands.
  m_dKnockbackX = m_dKnockbackY = m_dPrevKnockbackY = 0;
  m_bKnockedBack = 0;
  m_nFootBlock = kNoBlock;
  m_nStateCounter = 0;
  m_bDying = 0;
  m_bSideBump = 0;
  m_bRiding = 0;
  m_bPositionSaved = m_bRestorePosition = 0;
  m_bAirborne = 1;
  m_bJump1 = m_bJump2 = 0;
  m_nJumpEnd = 0;
  m_bPendingJump = m_bSecondJump = 0;
  m_bStanding = 0;
  m_nFallCounter = 0;
  m_bContactLeft = m_bContactRight = m_bContactUp = m_bContactDown = 0;
  m_nLastSide = kNoSide;  // no block met yet
  m_nLandingBlock = kNoBlock;
  m_nCarriedById = 0;
  m_nLastPusherId = -1;
  m_dPusherX = 0;
  m_nFrameCounter = 0;
  m_bHiddenThisFrame = 0;
  m_nShowsRanges = -1;
  m_bPinnedX = m_bPinnedY = 0;
  m_nDefeatCounter = 0;
  m_bVanishAtOnce = g_CharacterSwitches.vanishAtOnce != 0 ? 1 : 0;
  m_nHp = m_nSp = 0;
  m_HpGauge = cGauge{};
  m_SpGauge = cGauge{};
  m_Status.assign(kStatusWordCount, 0);
  m_nInvincibleTimer = 0;
  m_InvincibleList.clear();
  m_AnimeRuns.clear();
  m_pFlows.reset();
  if (definition) {
    m_Definition = *definition;
    m_nHp = std::max(0, m_Definition.MaxHp());
    m_nSp = std::max(0, m_Definition.MaxSp());
  }
  m_bRemoved = 0;
  m_byBlockCharacter = m_Definition.IsBlockCharacter() != 0 ? 1 : 0;
  m_bFollowsScroll = m_Definition.FollowsScroll();
  m_nSight = HblToDots(static_cast<int8_t>(m_Definition.Sight()));
  m_dDeceleration = ConvertSpeed(static_cast<int16_t>(m_Definition.DecelerationSpeed()));
  m_Effect = cGraphicEffectSlot{};
  if (m_Definition.StartEffect() != 0)
    m_Effect.Start(m_Definition.StartEffect(), m_Definition.StartEffectSource(), 0);
  SetBasicAnimeSet(m_Definition.BasicAnimeSet(), 1);
}

void cCharacter::SetBasicAnimeSet(int32_t set, int32_t force) {
  if (!force && set == m_Definition.BasicAnimeSet()) return;
  m_Definition.SetBasicAnimeSetField(set);
  auto& sets = Database.m_AnimeSets;
  int32_t anime = m_AnimePlayer.m_nAnime;
  if (sets.empty()) {
    m_AnimePlayer.ClearAnimes();
  } else {
    // A set number outside the database is logged and set 0 is used; the
    // character stays on the stage instead of ending the game.
    if (set < 0 || static_cast<size_t>(set) >= sets.size()) {
      WriteReportAndECLog("err V[%d] ( %d , %d )", set, static_cast<int>(sets.size()),
                          LegacyElementSize<cAnimeSetRecord>::value);
      set = 0;
    }
    const cAnimeSetRecord& record = sets[set];
    std::vector<std::vector<cAnimeFrameEntry>> animes;
    animes.reserve(record.m_Animes.size());
    for (const cAnimeRecord& a : record.m_Animes) {
      std::vector<cAnimeFrameEntry> frames;
      frames.reserve(a.m_Frames.size() + 1);
      for (const cAnimeFrame& f : a.m_Frames) frames.push_back({f.m_nCell, ClampInt(int64_t{f.m_nDuration} * 6, 0, INT32_MAX), 1});
      frames.push_back({kAnimeLoop, 0, 1});
      animes.push_back(std::move(frames));
    }
    m_AnimePlayer.SetAnimeSet(animes);
  }
  m_AnimePlayer.m_nAnime = anime;
  m_AnimePlayer.m_nFrame = 0;
  m_AnimePlayer.m_nTick = 0;
}

void cCharacter::PlayAnime(int32_t n) {
  if (n >= 0 && static_cast<size_t>(n) < m_AnimePlayer.Animes().size()) m_AnimePlayer.ChangeAnime(n, 1);
}

void cCharacter::SetFlows() { FlowHooks().SetFlows(*this); }
void cCharacter::TriggerFlowsOfKind(int32_t kind) { FlowHooks().TriggerFlowsOfKind(*this, kind); }
void cCharacter::ClearFlowFrameFlags() { FlowHooks().ClearFlowFrameFlags(*this); }

// ---------------------------------------------------------------------------
// Position

void cCharacter::SavePosition() {
  m_dSavedX = m_dX;
  m_dSavedY = m_dY;
  m_dSavedRight = m_dRight;
  m_dSavedBottom = m_dBottom;
}

// The cells and rectangles follow the restored position (they are what they
// were when it was saved).
void cCharacter::RestorePosition() {
  m_dX = m_dSavedX;
  m_dY = m_dSavedY;
  m_dRight = m_dSavedRight;
  m_dBottom = m_dSavedBottom;
  m_nColumnLeft = CellOf(m_dX);
  m_nColumnRight = CellOf(m_dRight);
  m_nRowTop = CellOf(m_dY);
  m_nRowBottom = CellOf(m_dBottom);
  OnMovedX();
  OnMovedY();
}

void cCharacter::SetScreenCentre(int32_t x, int32_t y) {
  SetScreenCentreX(x);
  SetScreenCentreY(y);
}
void cCharacter::SetScreenCentreEx(int32_t x, int32_t y, cCmdState* state) {
  SetScreenCentre(x, y);
  FlowHooks().StopCommand(state);
}
void cCharacter::SetScreenCentreX(int32_t x) {
  ShiftToScreenCentreX(x);
  UpdateX();
}
void cCharacter::SetScreenCentreXEx(int32_t x, cCmdState* state) {
  SetScreenCentreX(x);
  FlowHooks().StopCommand(state);
}
void cCharacter::SetScreenCentreY(int32_t y) {
  ShiftToScreenCentreY(y);
  UpdateY();
}
void cCharacter::SetScreenCentreYEx(int32_t y, cCmdState* state) {
  SetScreenCentreY(y);
  FlowHooks().StopCommand(state);
}

void cCharacter::AdjustForScale(int32_t newScale, int32_t oldScale, int32_t flag) {
  if (newScale == oldScale) return;
  int32_t d = newScale - oldScale;
  if (!g_MotionSwitches.scaleAnchor) {
    if (flag == 0)
      m_dY = m_dY + double(m_nBaseHeight) * oldScale - double(m_nBaseHeight) * newScale;
    else
      m_dY = m_dY - double(m_nBaseDrawHeight) * d + double(m_nBaseMarginY) * d;
  } else if (!g_MotionSwitches.scaleAnchor2) {
    m_dY = m_dY - double(m_nBaseDrawHeight) * d + double(m_nBaseMarginY) * d;
  } else {
    m_dY = m_dY - double(m_nBaseHeight) * d;
  }
  UpdateY();
}

void cCharacter::SetBlockX(int32_t column) {
  m_dX = (StageViewX().blockOffset + column) * 32.0 + m_nBaseMarginX + 0.5;
  ShiftForScale(ScaleFactor(), 1);
  UpdateX();
}

void cCharacter::SetBlockY(int32_t row, int32_t flag) {
  m_dY = (StageViewY().blockOffset + row) * 32.0 + m_nBaseMarginY;
  AdjustForScale(ScaleFactor(), 1, flag);
  UpdateY();
}

void cCharacter::SetBlockPosition(int32_t column, int32_t row, int32_t flag) {
  SetBlockX(column);
  SetBlockY(row, flag);
}

void cCharacter::SetHitRect1(int32_t bottomAligned, int32_t width, int32_t height) {
  m_Hit1.offsetX = 16 - m_nMarginX - (width >> 1);
  m_Hit1.offsetY = bottomAligned ? 32 - m_nMarginY - height : 16 - m_nMarginY - (height >> 1);
  m_Hit1.width = width;
  m_Hit1.height = height;
  m_Hit1.baseOffsetX = m_Hit1.offsetX;
  m_Hit1.baseOffsetY = m_Hit1.offsetY;
  m_Hit1.baseWidth = width;
  m_Hit1.baseHeight = height;
}

// ---------------------------------------------------------------------------
// Motion of one sub-step

int cCharacter::StepX() {
  if (m_dKnockbackX != 0) {
    m_dSpeedX = m_dKnockbackX;
  } else if (m_dAccelX != 0) {
    DecelerateAxis(m_dAccelX, m_bDecelerateX);
    m_dSpeedX += m_dAccelX;
  }
  int r = MoveX(2);
  UpdateX();
  return r == kEdgeMapEnd ? kStepLeave : r;
}

int cCharacter::StepY() {
  PrepareKnockbackY();
  if (m_dKnockbackY == 0 && m_bFreeVertical && m_dAccelY != 0) {
    DecelerateAxis(m_dAccelY, m_bDecelerateY);
    m_dSpeedY += m_dAccelY;
  }
  int r = MoveY(2);
  UpdateY();
  if (!m_bFreeVertical) {
    if (r == kEdgeBelowArea || r == kEdgeMapBottom) r = kStepKilled;
  } else if (r == kEdgeMapEnd || r == kEdgeMapBottom) {
    r = kStepLeaveY;
  }
  return r;
}

// The frame of a character starts by making it the scene's current
// character and clearing the life-check request; the scene, or null.
cStageScene* cCharacter::BeginFrame() {
  cStageScene* scene = CurrentStageScene();
  if (scene) {
    scene->CurrentCharacter = this;
    scene->m_bLifeCheck = 0;
  }
  return scene;
}

int cCharacter::Frame(int32_t deathMode) {
  cStageScene* scene = BeginFrame();
  // Speed of the frame: carried by the forced scroll, or standing still.
  // A falling character keeps its y speed.
  const cAxisView& vx = StageViewX();
  const cAxisView& vy = StageViewY();
  if (!g_MotionSwitches.scrollRelativeAim && m_bFollowsScroll) {
    m_dSpeedX = vx.atLimit ? 0 : vx.step;
    if (m_bFreeVertical) m_dSpeedY = vy.atLimit ? 0 : vy.step;
  } else {
    m_dSpeedX = 0;
    if (m_bFreeVertical) m_dSpeedY = 0;
  }
  m_bHiddenThisFrame = 0;
  m_bStanding = 0;  // set again by a landing or a stop command of this frame
  m_bDecelerateX = 1;
  m_bDecelerateY = 1;
  m_bAnimeRequest = m_nAnimeRequest = m_nAnimeRequest3 = 0;
  if (m_nStateCounter > 0) --m_nStateCounter;

  FlowHooks().PreStep(*this);
  if (FlowHooks().StepFlows(*this, deathMode) != 0 || m_bRemoved) return 1;
  if (scene) {
    scene->CurrentCharacter = nullptr;
    scene->CurrentFlow = nullptr;
    scene->CurrentCommand = nullptr;
  }
  if (m_bRemoveFlows) {
    FlowHooks().ApplyRemoveRequests(*this);
    m_bRemoveFlows = 0;
  }
  if (m_bClearTriggerFlags2) {
    std::fill(m_TriggerFlags2.begin(), m_TriggerFlags2.end(), 0);
    m_bClearTriggerFlags2 = 0;
  }
  if (m_bAnimeRequest) PlayAnime(m_nAnimeRequest);
  else if (m_dAccelX == 0 && m_dAccelY == 0) PlayAnime(m_bFreeVertical ? 2 : 0);
  return m_nHp < 1 ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Floor and ceiling

bool cCharacter::IsSupported() const {
  cStageScene* scene = CurrentStageScene();
  if (m_nFootBlock != kNoBlock && scene && m_nFootBlock >= 0 &&
      static_cast<size_t>(m_nFootBlock) < scene->m_BlockMap.CellCount() &&
      scene->m_BlockMap.IsBlockSolid(m_nFootBlock, m_nBlockFlags) != 0)
    return true;
  return m_bRiding != 0;
}

void cCharacter::Land() {
  m_dSpeedY = 0;
  m_dAccelY = 0;
  m_bStanding = 1;
  m_bContactDown = 1;
  m_bAirborne = 0;
  m_bJump1 = 0;
  m_bJump2 = 0;
  m_bKnockedBack = 0;
  m_nFallCounter = 0;
  if (m_nKind != 0) m_nJumpEnd = 0;
  m_dY -= (TruncToInt(m_dBottom) & 31) + 1;
  UpdateY();
  TriggerFlowsOfKind(kTriggerTouchBlock);
  TriggerFlowsOfKind(kTriggerVertical);
  TriggerFlowsOfKind(kTriggerLand);
}

void cCharacter::HitCeiling() {
  m_bContactUp = 1;
  m_bJump1 = 1;
  m_bJump2 = 1;
  m_nJumpEnd = 1;
  m_bPendingJump = 1;
  m_dSpeedY = 0;
  m_dAccelY = 0;
  cStageScene* scene = CurrentStageScene();
  bool keep = g_CharacterSwitches.ceilingKeepsKnockback != 0;
  if (scene) keep = keep || scene->m_BlockMap.Rules().keepKnockbackAtCeilings;
  if (!keep) m_dKnockbackY = 0;
  m_dY += 32 - (TruncToInt(m_dY) & 31);
  UpdateY();
  TriggerFlowsOfKind(kTriggerTouchBlock);
  TriggerFlowsOfKind(kTriggerVertical);
  TriggerFlowsOfKind(kTriggerCeiling);
}

void cCharacter::StopVertical(int32_t sideBump) {
  m_bRiding = 0;
  if (m_dKnockbackY == 0) m_dSpeedY = 0;
  if (sideBump) m_bSideBump = 1;
}

// ---------------------------------------------------------------------------
// HP and SP

int cCharacter::ChangeHp(int32_t delta, int32_t forced, int32_t gauge) {
  if (!forced && delta < 1 && m_Definition.Invincibility() != 0) return 0;
  int32_t maximum = std::max(0, m_Definition.MaxHp());
  if (delta > 0) delta = static_cast<int32_t>(std::min<int64_t>(delta, int64_t{maximum} - m_nHp));
  m_nHp = ClampInt(int64_t{m_nHp} + delta, 0, maximum);
  if (m_nHp > 0) {
    if (gauge) StartHpGauge(delta);
    return 0;
  }
  m_nHp = 0;
  return 1;
}

// Without SP to speak of (maximum below 1) no gauge starts: its bar would
// divide by the maximum.
int cCharacter::ChangeSp(int32_t delta, int32_t gauge) {
  int32_t maximum = std::max(0, m_Definition.MaxSp());
  m_nSp = ClampInt(int64_t{m_nSp} + delta, 0, maximum);
  if (maximum < 1) return 1;
  if (gauge) StartSpGauge(delta);
  return 0;
}

namespace {
void StartGauge(cGauge& g, int32_t value, int32_t maximum, int32_t delta) {
  if (delta == 0 || maximum < 1) return;
  g.timer = kGaugeFrames;
  g.length = static_cast<int32_t>(int64_t{value} * kGaugeLength / maximum);
  g.change = double(delta) * kGaugeLength / maximum;
  g.step = g.change * (1.0 / 60);
}

void DrawGauge(cGauge& g, const cCharacter& c, DDSURFACEDATA* target, int32_t sourceX, int32_t rise,
               int threshold, int32_t value, int32_t maximum) {
  if (g.timer <= 0 || c.m_bDying) return;
  if (target) {
    int32_t base = 0, step = 0;
    GaugeRows(base, step);
    DDSURFACEDATA* image = &GameSurfaces[SURF_ACCESSORY];
    int32_t left = c.m_rcScreen.left + c.m_nDrawWidth / 2 - 25;
    int32_t top = c.m_rcScreen.top - rise;
    int32_t length = std::clamp(g.length, 0, kGaugeLength);
    DDBlt(target, left, top, kGaugeLength, 2, image, sourceX, base, kColourKey);
    int32_t barRow = SystemData.m_Hud.size() > static_cast<size_t>(threshold) &&
                             SystemData.IsWithinThreshold(threshold, value, maximum)
                         ? base + 2 * step
                         : base + step;
    if (length > 0) DDBlt(target, left, top, length, 2, image, sourceX, barRow, kColourKey);
    if (g.change >= 0) {
      int32_t n = std::min(TruncToInt(g.change), length);
      if (n > 0) DDBlt(target, left + length - n, top, n, 2, image, sourceX + length - n, base + 4 * step, kColourKey);
    } else {
      int32_t n = std::min(TruncToInt(-g.change), kGaugeLength - length);
      if (n > 0) DDBlt(target, left + length, top, n, 2, image, sourceX + length, base + 3 * step, kColourKey);
    }
  }
  --g.timer;
  if (g.timer > 59) g.change -= g.step;
  else g.change = 0;
}
}  // namespace

void cCharacter::StartHpGauge(int32_t delta) { StartGauge(m_HpGauge, m_nHp, m_Definition.MaxHp(), delta); }
void cCharacter::StartSpGauge(int32_t delta) { StartGauge(m_SpGauge, m_nSp, m_Definition.MaxSp(), delta); }

void cCharacter::StepGauges() {
  DrawHpGauge(nullptr);
  DrawSpGauge(nullptr);
}

void cCharacter::DrawHpGauge(DDSURFACEDATA* target) {
  DrawGauge(m_HpGauge, *this, target, 0, 3, 2, m_nHp, m_Definition.MaxHp());
}
void cCharacter::DrawSpGauge(DDSURFACEDATA* target) {
  DrawGauge(m_SpGauge, *this, target, 64, 7, 3, m_nSp, m_Definition.MaxSp());
}

// ---------------------------------------------------------------------------
// Jumps

// v = (-g - sqrt((8d + g) g)) / 2 makes the character rise d dots when the
// gravity is added before each move. Without a downward gravity there is no
// such speed: the jump has none.
double cCharacter::JumpSpeed(int32_t hbl) const {
  double g = StageGravity();
  if (!(g > 0)) return 0;
  double d = hbl * 16.0;
  double root = (8 * d + g) * g;
  if (root < 0) return 0;
  double v = (-g - std::sqrt(root)) / 2;
  if (g_CharacterSwitches.jumpScaling && m_nKind == 0) v *= 0.99 - g_CharacterSwitches.stageJumpValue * 0.025;
  return v;
}

int32_t cCharacter::JumpFrames(double speed) {
  double g = StageGravity();
  if (!(g > 0)) return 1;
  int32_t n = SubStepsOrOne();
  return TruncToInt(StageFrameScale() - speed / g) / n / 6 + 1;
}

void cCharacter::PrepareJump(cJumpCommand& command) const {
  command.initialSpeed = JumpSpeed(command.heightHbl);
  command.frames = JumpFrames(command.initialSpeed);
  command.duration = ClampInt(int64_t{command.frames} * SubStepsOrOne() * 6, 0, INT32_MAX);
  command.remaining = command.duration;
}

void cCharacter::Jump(cJumpCommand& command) {
  auto start = [&] {
    command.started = 1;
    if (command.soundId != 0 && !(command.soundOnScreenOnly && !m_bOnScreen)) RequestSoundEffectById(command.soundId);
    m_dSpeedY = command.initialSpeed;
    m_bJump2 = 1;
    m_bJump1 = 1;
    m_bRiding = 0;
  };
  if (g_CharacterSwitches.freeJump) {
    if (!m_bAirborne && !m_bPendingJump && !m_bKnockedBack && !m_bSecondJump) start();
    return;
  }
  if (!command.started) {
    command.firstRun = 0;
    int32_t jumping = g_CharacterSwitches.secondJumpTiming ? m_bSecondJump : m_bJump2;
    if (!m_bAirborne && !m_bPendingJump && !m_bKnockedBack && !jumping) {
      start();
      return;
    }
    // Waits for a chance, and gives up after four frames' worth of sub-steps.
    if (++command.waited >= 4 * SubStepsOrOne()) {
      command.started = 1;
      m_bPendingJump = 0;
      m_bKnockedBack = 0;
      command.remaining = 0;
    }
    return;
  }
  // Landed again (Land clears the jump): the command is over.
  if (!m_bJump2) {
    m_bPendingJump = 0;
    m_bKnockedBack = 0;
    command.remaining = 0;
  }
}

// ---------------------------------------------------------------------------
// Knock-back

void cCharacter::SetKnockback(int32_t strength, double dx, double dy) {
  if (strength == 0) return;
  int32_t resistance = m_Definition.KnockbackResistance();
  int32_t s = strength < 0 ? std::clamp(strength + resistance, -20, 0) : std::clamp(strength - resistance, 0, 20);
  KnockbackVector(m_dKnockbackX, m_dKnockbackY, s, dx, dy);
  if (Opposes(m_dAccelX, m_dKnockbackX)) m_dAccelX = 0;
  if (Opposes(m_dAccelY, m_dKnockbackY)) m_dAccelY = 0;
  if (Opposes(m_dSpeedY, m_dKnockbackY)) m_dSpeedY = 0;
  m_bKnockedBack = 1;
}

void cCharacter::KnockbackFromCharacter(const cCharacter& attacker) {
  double dx = attacker.m_dSpeedX;
  double dy = attacker.m_dSpeedY;
  if (!attacker.m_bFreeVertical && attacker.m_dSpeedY < StageLandingConstant() * StageGravity()) dy = 0;
  SetKnockback(attacker.m_Definition.KnockbackStrength(), dx, dy);
}

void cCharacter::PrepareKnockbackY() {
  if (m_dKnockbackY != 0) {
    if (!m_bFreeVertical) {
      if (m_dKnockbackY > 0 && IsSupported()) {
        m_dKnockbackY = 0;
      } else {
        bool fellBehind = std::fabs(m_dSpeedY - m_dKnockbackY) > 1.0 / FrameScaleOrOne();
        if (g_CharacterSwitches.knockbackCatchUp || !fellBehind)
          m_dSpeedY = m_dSpeedY - m_dPrevKnockbackY + m_dKnockbackY;
      }
    } else {
      m_dSpeedY += m_dKnockbackY;
    }
  }
  m_dPrevKnockbackY = m_dKnockbackY;
}

void cCharacter::DecayKnockbackX() { DecayToward0(m_dKnockbackX); }
void cCharacter::DecayKnockbackY() { DecayToward0(m_dKnockbackY); }

// ---------------------------------------------------------------------------
// Links

void cCharacter::ClearTargetLinks() {
  std::vector<cTargetedBy> holders;
  holders.swap(m_TargetedBy);
  for (const cTargetedBy& e : holders) {
    if (!e.holder) continue;
    if (e.slot == kParentSlot) {
      if (e.holder->m_pParent == this) e.holder->m_pParent = nullptr;
    } else if (e.slot >= 0 && static_cast<size_t>(e.slot) < e.holder->m_Targets.size() &&
               e.holder->m_Targets[e.slot] == this) {
      e.holder->m_Targets[e.slot] = nullptr;
    }
  }
  for (size_t slot = 0; slot < m_Targets.size(); ++slot) {
    if (cCharacter* target = m_Targets[slot]) {
      RemoveEntry(target->m_TargetedBy, this, static_cast<int32_t>(slot));
      m_Targets[slot] = nullptr;
    }
  }
  if (m_pParent) {
    RemoveEntry(m_pParent->m_TargetedBy, this, kParentSlot);
    m_pParent = nullptr;
  }
  std::vector<cLinkEntry> links;
  links.swap(m_Links);
  for (const cLinkEntry& e : links)
    if (e.word && *e.word == this) *e.word = nullptr;
}

void cCharacter::LinkInitialTargets(cCharacter* hero, cCharacter* parent) {
  if (m_Targets.size() < kTargetSlotCount) m_Targets.resize(kTargetSlotCount, nullptr);
  if (m_Targets[0] && m_Targets[0] != hero) RemoveEntry(m_Targets[0]->m_TargetedBy, this, 0);
  m_Targets[0] = hero == this ? nullptr : hero;
  if (m_Targets[0]) {
    auto& list = m_Targets[0]->m_TargetedBy;
    if (std::find(list.begin(), list.end(), cTargetedBy{this, 0}) == list.end()) list.push_back({this, 0});
  }
  if (m_pParent) RemoveEntry(m_pParent->m_TargetedBy, this, kParentSlot);
  m_pParent = parent == this ? nullptr : parent;
  if (m_pParent) m_pParent->m_TargetedBy.push_back({this, kParentSlot});
}

// ---------------------------------------------------------------------------
// Drawing

// The graphic offsets of the character options. The stored anime sets do
// not name these numbers; this reading takes animations 15, 14 and 13 of the
// set as the slots of the free-vertical, whole-cell and invincibility
// offsets, each holding its offset in the animation's first number. A new
// set has four animations, so a new project's characters take no offset.
const cAnimeSetOffsetSource kAnimeSetGraphicOffsets[kAnimeSetOffsetCount] = {
    {&cEdCharacter::FreeVertical, 15, &cAnimeRecord::m_nValue1, nullptr},
    {&cEdCharacter::WholeCell, 14, &cAnimeRecord::m_nValue1, nullptr},
    {&cEdCharacter::Invincibility, 13, &cAnimeRecord::m_nValue1, nullptr},
};

int32_t AnimeSetGraphicOffset(const cAnimeSetRecord& set, const cAnimeSetOffsetSource& source) {
  if (source.anime == kOffsetOfSet) return source.setField ? set.*source.setField : 0;
  if (source.anime < 0 || static_cast<size_t>(source.anime) >= set.m_Animes.size() || !source.animeField) return 0;
  return set.m_Animes[static_cast<size_t>(source.anime)].*source.animeField;
}

int32_t cCharacter::GetGraphicNumber(int32_t& colourFlag, DDDRAWSTATE& colour) const {
  int64_t number = m_Definition.GraphicNumber();
  const auto& sets = Database.m_AnimeSets;
  if (!sets.empty()) {
    // A set number outside the list reads set 0, as the animations do.
    int32_t index = m_Definition.BasicAnimeSet();
    if (index < 0 || static_cast<size_t>(index) >= sets.size()) index = 0;
    const cAnimeSetRecord& set = sets[static_cast<size_t>(index)];
    for (const cAnimeSetOffsetSource& source : kAnimeSetGraphicOffsets)
      if ((m_Definition.*source.option)() != 0) number += AnimeSetGraphicOffset(set, source);
  }
  colourFlag = 0;
  colour = DDDRAWSTATE{};
  // The colour pair is a draw colour and a colour operation: only the
  // Direct3D back end draws with them.
  const int32_t index = m_Definition.PaletteColour();
  const auto& pairs = g_CharacterSwitches.colourPairs;
  if (m_Definition.Invincibility() != 0 && g_CharacterSwitches.paletteChange && lpDTCon && index != 0 &&
      static_cast<size_t>(index) < pairs.size()) {
    colourFlag = 1;
    colour = pairs[static_cast<size_t>(index)];
  }
  return static_cast<int32_t>(std::clamp<int64_t>(number, INT32_MIN, INT32_MAX));
}

int32_t cCharacter::StepAnimeRuns(bool noAdvance) {
  if (!noAdvance) {
    m_AnimePlayer.Step();
    for (auto it = m_AnimeRuns.begin(); it != m_AnimeRuns.end();) {
      if (it->held) {
        ++it;
        continue;
      }
      if (it->player.Step() == kAnimeEnd) {
        it = m_AnimeRuns.erase(it);
      } else {
        --it->remaining;
        ++it;
      }
    }
  }
  if (m_AnimeRuns.empty()) return m_AnimePlayer.GetCell();
  const cAnimeRun* winner = nullptr;
  int32_t best = 0x7fffffff;
  bool expired = false;
  for (const cAnimeRun& run : m_AnimeRuns) {
    if (run.held) continue;
    if (!expired) {
      if (run.timed && run.remaining <= 0 && best <= 0) {
        winner = &run;
        best = run.remaining;
        expired = true;
      } else if (run.timed && run.remaining < best) {
        winner = &run;
        best = run.remaining;
      } else if (!run.timed && !winner) {
        winner = &run;
      }
    } else if (run.remaining <= 0 && best <= 0 && run.remaining > best) {
      winner = &run;
      best = run.remaining;
    }
  }
  return winner ? winner->player.GetCell() : m_AnimePlayer.GetCell();
}

namespace {

// The stage's special-bitmap sheets: four surfaces an entry (picture,
// mirrored picture, their system-memory copies), entries 1.. of the list.
cSafeVector<DDSURFACEDATA>* SpecialBitmapSheets() {
  cStageScene* scene = CurrentStageScene();
  return scene ? &scene->m_Layers.m_Bitmaps.m_CharaExc : nullptr;
}

DDSURFACEDATA* SheetSurface(int32_t sheets, int32_t id) {
  if (id < 0) return nullptr;
  if (sheets == kSheetsSpecialBitmaps) {
    cSafeVector<DDSURFACEDATA>* list = SpecialBitmapSheets();
    return list && static_cast<size_t>(id) < list->size() ? &(*list)[static_cast<size_t>(id)] : nullptr;
  }
  return id < kGameSurfaceCount ? &GameSurfaces[id] : nullptr;
}

}  // namespace

int32_t SpecialBitmapCellScale(const cBmpCharaExcRecord& record) {
  // The record's second number is the scale its cells are drawn for.
  return std::clamp(record.m_nValue2, 1, 16);
}

void cGraphicSource::Lookup(int32_t variant, int32_t kind, int32_t number, int32_t row, const cStageObject* object,
                            int32_t offset) {
  sheets = kSheetsGameTable;
  cellScale = 1;
  const int32_t facing = object ? (object->m_nFacing != 0 ? 1 : 0) : 0;
  int32_t surface = -1, second = -1;
  // Data values far beyond any sheet are held where the sheet test below
  // turns them away, without overflowing on the way.
  number = std::clamp(number, 0, 1 << 20);
  row = std::clamp(row, 0, 1 << 16);
  offset = std::clamp(offset, 0, 1 << 16);
  switch (kind) {
    case kGraphicBlock:
      surface = SURF_BLOCK;
      second = SURF_BLOCK_SYSTEM;
      x = (number % 15) * 32;
      y = (number / 15) * 32;
      break;
    case kGraphicCharacter: {
      // Sheets of 15 graphics a row; each sheet has a mirrored twin.
      int32_t sheet = number / 15 + 1;
      x = (number % 15) * 32;
      if (variant == 1) {
        surface = facing ? CharacterMirrorSurface(sheet) : CharacterSurface(sheet);
        second = facing ? CharacterSurface(sheet) : CharacterMirrorSurface(sheet);
        y = (offset + row) * 32;
      } else if (row < 20) {
        surface = CharacterSurface(sheet);
        second = CharacterMirrorSurface(sheet);
        y = row * 32;
      } else {
        surface = CharacterMirrorSurface(sheet);
        second = CharacterSurface(sheet);
        y = (row - 20) * 32;
      }
      // A cell beyond its sheet (or on a sheet the game does not have)
      // shows the fallback graphic: the first cell of the first sheet.
      const DDSURFACEDATA* sd = SheetSurface(kSheetsGameTable, surface);
      if (!sd || x >= sd->nWidth || y >= sd->nHeight) {
        surface = CharacterSurface(1);
        second = CharacterMirrorSurface(1);
        x = y = 0;
      }
      break;
    }
    case kGraphicItem:
      surface = SURF_ITEM;
      second = SURF_ITEM_SYSTEM;
      x = (number % 15) * 32;
      y = (number / 15) * 64 + (variant == 2 ? offset * 32 : 0);
      break;
    case kGraphicShot:
      surface = variant == 1 && facing ? SURF_SHOT_MIRROR : SURF_SHOT;
      second = variant == 1 && facing ? SURF_SHOT : SURF_SHOT_MIRROR;
      x = (number % 30) * 32;
      y = (number / 30) * 64;
      break;
    case kGraphicSpecialBitmap: {
      // Picture n of the list: its sheet and the mirrored one (facing right,
      // for the variant that follows the facing). The cells are k x 32
      // dots, 16 / k to a row, counted from the top-left.
      sheets = kSheetsSpecialBitmaps;
      if (number < 1) break;
      const bool mirrored = variant == 1 && facing;
      surface = 4 * number - 4 + (mirrored ? 1 : 0);
      second = 4 * number - 4 + (mirrored ? 0 : 1);
      const auto& records = Database.m_BmpCharaExcs;
      if (static_cast<size_t>(number) < records.size())
        cellScale = SpecialBitmapCellScale(records[static_cast<size_t>(number)]);
      const int32_t size = 32 * cellScale, perRow = 16 / cellScale;
      const int32_t cell = row + offset;
      x = (cell % perRow) * size;
      y = (cell / perRow) * size;
      break;
    }
    default:
      break;
  }
  // A source outside its sheet (other than a character's) draws nothing.
  const DDSURFACEDATA* sd = SheetSurface(sheets, surface);
  if (!sd || x >= sd->nWidth || y >= sd->nHeight) surface = second = -1;
  primary[0] = surface;
  primary[1] = second;
}

bool DrawsVideoSheets() { return lpDTCon == nullptr && GameSettings.nDDVideoStretch != 0; }

int32_t SelectVariantSurface(int32_t surface, int32_t second) {
  if (!second || surface < 0 || surface + kSheetVariantOffset >= kGameSurfaceCount) return surface;
  const int32_t variant = surface + kSheetVariantOffset;
  const DDSURFACEDATA& s = GameSurfaces[surface];
  const DDSURFACEDATA& v = GameSurfaces[variant];
  // The variant holds the same picture: it shares the image the surface
  // shows (its own, or the one it shares; the table links each entry to the
  // one it shares), turned round alike.
  const DDSURFACEDATA* root = s.lpShareSD ? s.lpShareSD : &s;
  if (v.lpShareSD != root || GameSurfaceInfo[variant].nMirrorCellW != GameSurfaceInfo[surface].nMirrorCellW)
    return surface;
  if (v.nWidth <= 0) return surface;
  return variant;
}

DDSURFACEDATA* cGraphicSource::Surface(int32_t which) const {
  // The variant is looked up here, for the one surface drawn from, rather
  // than for both at every lookup: a frame looks up every character.
  const int32_t surface = primary[which != 0 ? 1 : 0];
  const bool variant = sheets == kSheetsGameTable && !DrawsVideoSheets();
  return SheetSurface(sheets, variant ? SelectVariantSurface(surface, 1) : surface);
}

void cGraphicSource::DrawSmall(DDSURFACEDATA* target, int32_t x, int32_t y, int32_t kind, int32_t number,
                               int32_t row) {
  if (!target) return;
  if (kind == kGraphicItem) {
    DDSURFACEDATA* sheet = &GameSurfaces[SURF_ITEM_MINI];
    number = std::clamp(number, 0, 1 << 20);
    int32_t sx = (number % 15) * 16, sy = (number / 15) * 16;
    if (sx + 16 <= sheet->nWidth && sy + 16 <= sheet->nHeight) DDBlt(target, x, y, 16, 16, sheet, sx, sy, kColourKey);
    return;
  }
  cGraphicSource source;
  source.Lookup(0, kind, number, row, nullptr, 0);
  const int32_t size = source.CellSize();
  if (DDSURFACEDATA* src = source.Surface())
    DDBltStretch(target, x, y, 16, 16, src, source.x, source.y, size, size, kColourKey);
}

// The effect's view of the cell to draw: the sheet cell and the screen
// rectangle (an enlarged character reads the work surface), with the colour
// pair of an invincible character.
static bool EffectCell(cCharacter& c, int32_t cell, cEffectDraw& d) {
  const int32_t number = c.GetGraphicNumber(d.colourFlag, d.colour);
  cGraphicSource source;
  source.Lookup(1, c.Definition().GraphicKind(), number, cell, &c, 0);
  d.sheet = source.Surface();
  if (!d.sheet) return false;
  d.sx = source.x;
  d.sy = source.y;
  d.cellW = d.cellH = source.CellSize();
  d.x = c.m_rcScreen.left;
  d.y = c.m_rcScreen.top;
  d.w = c.m_nDrawWidth;
  d.h = c.m_nDrawHeight;
  d.work = &GameSurfaces[kCharacterEffectWorkSurface];
  return true;
}

void cCharacter::DrawBody(DDSURFACEDATA* target, int32_t cell, int32_t still) {
  if (cell >= 0) m_nEffectCell = cell;
  if (!target || cell < 0 || m_Definition.Transparent() || m_bHiddenThisFrame) {
    StepHiddenEffect(still);
    return;
  }
  cEffectDraw d;
  if (!EffectCell(*this, cell, d)) {
    StepHiddenEffect(still);
    return;
  }
  if (m_Effect.Running()) {
    if (DrawGraphicEffect(m_Effect, target, d, still != 0, true)) m_Effect = cGraphicEffectSlot{};
    return;
  }
  DrawPlainCell(target, d);
}

void cCharacter::StepHiddenEffect(int32_t still) {
  if (m_Effect.Running() && DrawGraphicEffect(m_Effect, nullptr, cEffectDraw{}, still != 0, false))
    m_Effect = cGraphicEffectSlot{};
}

// Without a death effect (or once it has ended) the defeated character stays
// out of sight for the stage's defeat display time, or goes at once when it
// vanishes at once.
int cCharacter::DrawDefeated(DDSURFACEDATA* target, int32_t still) {
  if (m_Effect.Running()) {
    cEffectDraw d;
    const bool drawable = target && m_nEffectCell >= 0 && !m_Definition.Transparent() &&
                          EffectCell(*this, m_nEffectCell, d);
    if (!DrawGraphicEffect(m_Effect, drawable ? target : nullptr, d, still != 0, drawable)) return 0;
    m_Effect = cGraphicEffectSlot{};
    return m_bVanishAtOnce ? 1 : 0;
  }
  if (m_bVanishAtOnce) return 1;
  if (!still) ++m_nDefeatCounter;
  return m_nDefeatCounter > g_CharacterSwitches.defeatDisplayFrames ? 1 : 0;
}

// ---------------------------------------------------------------------------

cCharacter* FirstHero() {
  cStageScene* scene = CurrentStageScene();
  if (!scene || scene->m_HeroList.empty()) return nullptr;
  return &scene->m_HeroList.front();
}

cCharacter* FindObjectById(int32_t id) {
  cStageScene* scene = CurrentStageScene();
  if (!scene) return nullptr;
  for (cHero& hero : scene->m_HeroList)
    if (hero.m_nId == id) return &hero;
  for (cStageCharacter& c : scene->m_CharacterList)
    if (c.m_nId == id) return &c;
  return nullptr;
}

#include "play/objects/character.h"

#include <algorithm>
#include <cmath>

#include "base/logs.h"
#include "data/database.h"
#include "data/labels.h"
#include "play/objects/hero.h"
#include "play/objects/stage_character.h"
#include "play/world/block_map.h"
#include "play/world/stage_scene.h"

cCharacterSwitches g_CharacterSwitches;

int32_t StageSizeValue(int field) { return std::clamp(StageData.Int(field), 0, 4096); }

namespace {

int32_t SubStepsOrOne() {
  int32_t n = StageSubSteps();
  return n < 1 ? 1 : n;
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
  double f = StageFrameScaleOrOne();
  kx = KnockbackSpeed(s * dx / sum, f);
  ky = KnockbackSpeed(s * dy / sum, f);
}

// A value moved one decay step toward 0 (never past it).
void DecayToward0(double& v) {
  if (v == 0) return;
  double step = 1.0 / StageFrameScaleOrOne();
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

}  // namespace

// ---------------------------------------------------------------------------
// Construction, copies, destruction

cCharacter::cCharacter() {
  m_Targets.assign(kTargetSlotCount, nullptr);
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
  m_bPendingJump = 0;
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
  m_pFlows.reset();  // the flows made next are numbered from 0 again
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
  TriggerFlowsOfKind(kTriggerTouchedBlock);
  TriggerFlowsOfKind(kTriggerBlockAboveOrBelow);
  TriggerFlowsOfKind(kTriggerBlockBelow);
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
  TriggerFlowsOfKind(kTriggerTouchedBlock);
  TriggerFlowsOfKind(kTriggerBlockAboveOrBelow);
  TriggerFlowsOfKind(kTriggerBlockAbove);
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
    if (!m_bAirborne && !m_bPendingJump && !m_bKnockedBack && !m_nJumpEnd) start();
    return;
  }
  if (!command.started) {
    command.firstRun = 0;
    int32_t jumping = g_CharacterSwitches.secondJumpTiming ? m_nJumpEnd : m_bJump2;
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
        bool fellBehind = std::fabs(m_dSpeedY - m_dKnockbackY) > 1.0 / StageFrameScaleOrOne();
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

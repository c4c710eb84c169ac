// Shots: set-up, the per-sub-step flight (lifetime, range, clamps, blocks),
// drawing, and the stage's list of shots. Where the shots of a volley start
// and how they fly is in shot_patterns.cpp.
#include "play/objects/shot.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "base/logs.h"
#include "gfx/surface_table.h"
#include "play/objects/character.h"
#include "play/objects/sword.h"
#include "play/world/stage_scene.h"

cCombatSwitches g_CombatSwitches;

namespace {

inline constexpr uint32_t kColourKey = 1;
// A sheet's colour variant stands this many entries after it in the surface
// table (the shot sheets 20 and 21: 38 and 39).
inline constexpr int kColourVariantOffset = SURF_SHOT_SYSTEM - SURF_SHOT;

int32_t SubSteps() {
  const int32_t n = StageSubSteps();
  return n < 1 ? 1 : n;
}

int32_t Trunc(double v) { return TruncToInt(v); }

int32_t SaturatingProduct(int64_t a, int64_t b, int64_t c) {
  const int64_t v = std::clamp<int64_t>(a, -100000000, 100000000) * b * c;
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

// ---------------------------------------------------------------------------
// cShot

cShot::~cShot() { Unregister(); }

bool cShot::HasHit(int32_t id) const { return std::find(m_HitIds.begin(), m_HitIds.end(), id) != m_HitIds.end(); }

bool cShot::IsHarmful() const {
  return m_Definition.Power() != 0 || m_Definition.Impact() != 0 || m_Definition.m_nItemPalette != 0;
}

void cShot::OnScaleChanged(int32_t factor) {
  m_Hit.offsetX = m_Hit.baseOffsetX * factor;
  m_Hit.offsetY = m_Hit.baseOffsetY * factor;
  m_Hit.width = m_Hit.baseWidth * factor;
  m_Hit.height = m_Hit.baseHeight * factor;
  ClampX();
  cStageObject::ClampY(2);
}

void cShot::AdjustForScale(int32_t newScale, int32_t oldScale, int32_t) {
  m_dY -= (m_nBaseHeight / 2) * double(newScale - oldScale);
  cStageObject::ClampY(2);
}

void cShot::OnMovedX() { m_Hit.UpdateX(m_dX); }
void cShot::OnMovedY() { m_Hit.UpdateY(m_dY); }

void cShot::AccelerationComponents(double& ax, double& ay, double vx, double vy) const {
  auto conv = [](double v) { return v / StageFrameScaleOrOne() * 0.016666666666666666; };
  if (vx == 0 && vy == 0) {
    ax = ay = 0;
  } else if (vx == 0) {
    ax = 0;
    ay = vy > 0 ? conv(m_dAcceleration) : -conv(m_dAcceleration);
  } else if (vy == 0) {
    ay = 0;
    ax = vx > 0 ? conv(m_dAcceleration) : -conv(m_dAcceleration);
  } else {
    const double len = std::sqrt(vx * vx + vy * vy);
    ax = conv(vx / len * m_dAcceleration);
    ay = conv(vy / len * m_dAcceleration);
  }
}

void cShot::Setup(const cEdShot& d, cCharacter& shooter, const cVolley& v, int32_t commandKind, int32_t id) {
  m_Definition = d;
  const int32_t scale = std::clamp(d.ScaleValue(), 1, 64);
  const double fs = StageFrameScaleOrOne();
  int32_t width = 16, height = 16;
  m_bIsProjectile = commandKind == kCmdSword ? 0 : 1;
  if (!m_bIsProjectile) {
    cSwordFrame frame;
    if (GetSwordFrame(d.MoveKind(), 0, frame)) {
      width = std::clamp(frame.width, 1, 4096);
      height = std::clamp(frame.height, 1, 4096);
    }
  }
  m_nOwnerId = shooter.m_nId;
  cStageObject::Setup(id, shooter.m_nKind, shooter.m_nOwner, -1, 0, kShotAnimeSet, 1, 0, 0, width, height, width,
                      height, shooter.m_nFacing, 1, static_cast<uint16_t>(v.index), &m_Definition);
  int32_t faction = d.FactionNumber();
  if (d.UseShooterFaction()) {
    faction = shooter.Definition().GroupByte();
    m_Definition.m_f27 = static_cast<uint8_t>(faction);
    m_nBlockFlags = faction;
  }
  m_nGroup = std::clamp(faction, 0, kGroupCount - 1);
  // A shot's hit square is centred in its 16-dot cell. A sword hits with
  // its whole frame (set again by each of its frames): the shot's square,
  // put in the corner of a sword's frame, would cover only the hilt of a
  // blade held to the right and only the tip of one held to the left.
  const int32_t side = shooter.m_nKind == 0 ? 0 : 1;
  const int32_t hw = std::clamp(g_CombatSwitches.shotHitWidth[side], 0, 4096);
  const int32_t hh = std::clamp(g_CombatSwitches.shotHitHeight[side], 0, 4096);
  m_Hit.baseOffsetX = m_Hit.offsetX = m_bIsProjectile ? 8 - hw / 2 : 0;
  m_Hit.baseOffsetY = m_Hit.offsetY = m_bIsProjectile ? 8 - hh / 2 : 0;
  m_Hit.baseWidth = m_Hit.width = m_bIsProjectile ? hw : width;
  m_Hit.baseHeight = m_Hit.height = m_bIsProjectile ? hh : height;
  SetScale(scale, 1, 1);
  m_dX = v.x;
  ClampX();
  m_dY = v.y;
  cStageObject::ClampY(2);
  m_dOwnVX = v.vx / fs;
  m_dOwnVY = v.vy / fs;
  m_nIndex = v.index;
  m_nFlowGroup = v.flowGroup;
  m_nMoveKind = d.MoveKind();
  m_bAccelerating = d.Accelerate() != 0 ? 1 : 0;
  if (m_bAccelerating) {
    m_dAcceleration = ((double(d.AccelerationStep()) * v.index + d.Acceleration()) * 0.1) / fs;
    AccelerationComponents(m_dAccelX, m_dAccelY, m_dOwnVX, m_dOwnVY);
  } else {
    m_dAcceleration = 0;
    m_dAccelX = m_dAccelY = 0;
  }
  m_dSpeedX = m_dSpeedY = 0;
  m_bFollowsScroll = d.MovesWithScroll();
  m_bLifeOn = d.LifetimeOn() != 0 ? 1 : 0;
  m_bRangeOn = d.RangeOn() != 0 ? 1 : 0;
  if (m_bLifeOn) m_nLifeFrames = SaturatingProduct(v.lifetime, SubSteps(), 6);
  if (m_bRangeOn) {
    const double D = std::max(0.0, v.range * 16.0 - m_nWidth);
    const double s = std::fabs(v.speed / fs);
    if (D > 0 && s > 0) {
      m_nRangeFrames = Trunc(D / s);
    } else {
      m_nRangeFrames = Trunc(fs);
      if (s > 0 && Trunc(fs * s) > m_nWidth) m_nRangeFrames = Trunc(m_nWidth / s);
    }
    if (m_nRangeFrames < fs) {
      const double sum = std::fabs(v.vx) + std::fabs(v.vy);
      if (sum > 0) {
        m_dOwnVX = (D / fs) * v.vx / sum;
        m_dOwnVY = (D / fs) * v.vy / sum;
      }
      m_nRangeFrames = Trunc(fs);
    }
  }
  m_nFrameCount = 0;
  m_nAimFrame = 0;
  m_nEndFrame = 0;
  m_bDone = 0;
  m_nSwordFrame = 0;
  m_pTarget = shooter.TargetInSlot(d.SecondTargetSlot());
  m_pOwner = &shooter;
  m_bPresent = 1;
}

void cShot::Register() {
  const int32_t kind = m_Definition.MoveKind();
  if (m_bIsProjectile && (kind == 3 || kind == 6) && m_pTarget) {
    auto& links = m_pTarget->m_Links;
    const bool there = std::any_of(links.begin(), links.end(),
                                   [this](const cLinkEntry& e) { return e.object == this && e.kind == 0; });
    if (!there) links.push_back({this, 0, &m_pTarget});
  } else {
    m_pTarget = nullptr;
  }
  if (m_pOwner) {
    auto& links = m_pOwner->m_Links;
    const bool there = std::any_of(links.begin(), links.end(),
                                   [this](const cLinkEntry& e) { return e.object == this && e.kind == 4; });
    if (!there) links.push_back({this, 4, &m_pOwner});
  }
}

void cShot::Unregister() {
  auto drop = [this](cCharacter* c) {
    if (!c) return;
    auto& links = c->m_Links;
    links.erase(std::remove_if(links.begin(), links.end(), [this](const cLinkEntry& e) { return e.object == this; }),
                links.end());
  };
  drop(m_pTarget);
  if (m_pOwner != m_pTarget) drop(m_pOwner);
  m_pTarget = nullptr;
  m_pOwner = nullptr;
}

// The speed carried by the forced scroll, by the hero's rule: without
// scroll-relative aiming only a shot that moves with the scroll is carried
// (a free-flying one on both axes); with it every free-flying shot is
// carried and a falling one is not, as a hero on its feet is not. A
// falling shot keeps its own vertical speed either way.
void cShot::CarryByScroll() {
  const cAxisView& vx = StageViewX();
  const cAxisView& vy = StageViewY();
  const bool carried = g_MotionSwitches.scrollRelativeAim ? m_bFreeVertical != 0 : m_bFollowsScroll != 0;
  m_dSpeedX = carried && !vx.atLimit ? vx.step : 0;
  if (m_bFreeVertical) m_dSpeedY = carried && !vy.atLimit ? vy.step : 0;
}

int cShot::MoveByKind() {
  if (!m_bIsProjectile) return SwordMove();
  CarryByScroll();
  RunMoveKind();
  if (m_bAccelerating) {
    m_dOwnVX += m_dAccelX;
    if (!m_bFreeVertical)
      m_dSpeedY += m_dAccelY;
    else
      m_dOwnVY += m_dAccelY;
  }
  m_dSpeedX += m_dOwnVX;
  if (m_bFreeVertical) m_dSpeedY += m_dOwnVY;
  if (m_bLifeOn) {
    if (m_nLifeFrames < 1) return 1;
    --m_nLifeFrames;
  }
  if (m_dSpeedX > 0) m_nFacing = 1;
  else if (m_dSpeedX < 0) m_nFacing = 0;
  if (m_bRangeOn) {
    if (m_nRangeFrames < 1) {
      if (!m_Definition.StopAtRange()) return 1;
      // Stopped at its range: it stays, carried only by the scroll.
      m_dOwnVX = m_dOwnVY = 0;
      m_nMoveKind = 0;
      m_bAccelerating = 0;
      m_dAccelX = m_dAccelY = 0;
      CarryByScroll();
      m_bRangeOn = 0;
    } else {
      --m_nRangeFrames;
    }
  }
  return 0;
}

int cShot::MoveX() {
  if (m_dAccelX != 0) m_dSpeedX += m_dAccelX;
  if (m_dSpeedX == 0) return 0;
  const double max = StageMaxSpeed();
  m_dSpeedX = std::clamp(m_dSpeedX, -max, max);
  m_dX += m_dSpeedX;
  ClampX();
  return 0;
}

int cShot::MoveY() {
  if (m_dAccelY != 0) m_dSpeedY += m_dAccelY;
  if (m_dSpeedY != 0) cStageObject::MoveY(2);
  return 0;
}

int cShot::ClampX() {
  const cAxisView& v = StageViewX();
  const int64_t margin = int64_t{v.blockOffset} * 32;
  const int32_t w = m_nWidth;
  int code = 0;
  if (m_dX < 0 && w < margin) {
    m_dX = 0;
    code = kEdgeMapEnd;
  } else if (m_dX >= 0 && m_dX + w - 1 >= v.mapExtent && w < margin) {
    m_dX = double(int64_t{v.mapExtent} - w);
    code = kEdgeMapEnd;
  }
  m_dRight = m_dX + w - 1;
  OnMovedX();
  m_nColumnLeft = CellOf(m_dX);
  m_nColumnRight = CellOf(m_dRight);
  return code;
}

int cShot::HitsBlock() {
  if (m_Definition.PassBlocks()) return 0;
  cStageScene* scene = CurrentStageScene();
  if (!scene || scene->BlockMap().IsEmpty()) return 0;
  cBlockMap& map = scene->BlockMap();
  // Cells off the map are not solid: a shot beyond the map's edge (where
  // the clamp leaves wide shots) tests nothing there.
  auto solid = [&](double x, double y) {
    if (x < 0 || y < 0) return false;
    const int32_t column = CellOf(x), row = CellOf(y);
    if (column >= map.Columns() || row >= map.Rows()) return false;
    const int32_t cell = map.CellIndex(column, row);
    return cell >= 0 && map.IsBlockSolid(cell, m_nBlockFlags) != kBlockNotSolid;
  };
  if (m_nWidth > 32) {
    // Sample points 0, 32, 64, ... short of size - 1, then size - 1 (at
    // least 0), rows outside, columns inside; the first solid one answers.
    auto anySample = [](int32_t size, auto&& test) {
      for (int64_t d = 0; d < int64_t{size} - 1; d += 32)
        if (test(static_cast<int32_t>(d))) return true;
      return test(std::max(0, size - 1));
    };
    const bool hit = anySample(m_nHeight, [&](int32_t dy) {
      return anySample(m_nWidth, [&](int32_t dx) { return solid(m_dX + dx, m_dY + dy); });
    });
    return hit ? 1 : 0;
  }
  // The four corners: left/top, left/bottom, right/top, right/bottom, in
  // that order. Corners often share a cell; a cell already found empty (no
  // block, so nothing is evaluated) is not looked at again.
  auto line = [](double v, int32_t count) {
    if (v < 0) return -1;  // off the map (as is a value that is not a number)
    const int32_t n = CellOf(v);
    return n < count ? n : -1;
  };
  const int32_t left = line(m_dX, map.Columns()), right = line(m_dRight, map.Columns());
  const int32_t top = line(m_dY, map.Rows()), bottom = line(m_dBottom, map.Rows());
  int32_t emptyCell = -1;
  auto solidCell = [&](int32_t column, int32_t row) {
    if (column < 0 || row < 0) return false;
    const int32_t cell = map.CellIndex(column, row);
    if (cell < 0 || cell == emptyCell) return false;
    if (!map.HasBlock(cell)) {
      emptyCell = cell;
      return false;
    }
    return map.IsBlockSolid(cell, m_nBlockFlags) != kBlockNotSolid;
  };
  if (solidCell(left, top) || solidCell(left, bottom) || solidCell(right, top) || solidCell(right, bottom)) return 1;
  return 0;
}

void cShot::Draw(DDSURFACEDATA* target, int32_t hold) {
  if (m_Definition.Hidden()) return;
  if (!m_bIsProjectile) {
    DrawSword(target);
    return;
  }
  const int32_t cell = hold ? m_AnimePlayer.GetCell() : m_AnimePlayer.Step();
  if (!target || cell < 0) return;
  const int32_t graphic = m_Definition.Graphic();
  if (graphic < 0) return;
  // The stage-palette choice draws from the sheet's colour variant.
  int sheetId = m_nFacing ? SURF_SHOT_MIRROR : SURF_SHOT;
  if (m_Definition.PaletteChoice() == 1 && GameSurfaces[sheetId + kColourVariantOffset].nWidth > 0)
    sheetId += kColourVariantOffset;
  DDSURFACEDATA* sheet = &GameSurfaces[sheetId];
  const int32_t sx = (cell + (graphic / 30) * 2) * 16;
  const int32_t sy = (graphic % 30) * 16;
  if (sx + 16 > sheet->nWidth || sy + 16 > sheet->nHeight) return;
  UpdateScreenRect();
  // Wholly off the target: the blit would clip it away.
  if (m_rcScreen.left >= target->nWidth || m_rcScreen.top >= target->nHeight ||
      int64_t{m_rcScreen.left} + m_nDrawWidth <= 0 || int64_t{m_rcScreen.top} + m_nDrawHeight <= 0)
    return;
  if (std::max(1, m_Definition.ScaleValue()) < 2)
    DDBlt(target, m_rcScreen.left, m_rcScreen.top, m_nDrawWidth, m_nDrawHeight, sheet, sx, sy, kColourKey);
  else
    DDBltStretch(target, m_rcScreen.left, m_rcScreen.top, m_nDrawWidth, m_nDrawHeight, sheet, sx, sy, 16, 16,
                 kColourKey);
}

// ---------------------------------------------------------------------------
// The stage's shot list

cShot* cStageScene::AddShot() {
  if (m_ShotList.size() >= kMaxStageShots) {
    if (!m_bShotCapLogged) WriteECLog("shots: the stage holds %zu shots; more are not fired", kMaxStageShots);
    m_bShotCapLogged = 1;
    return nullptr;
  }
  m_ShotList.push_back(std::make_shared<cShot>());
  cShot* shot = m_ShotList.back().get();
  shot->m_ListPos = std::prev(m_ShotList.end());
  shot->m_nOrderSerial = m_ShotOrder.Push(shot);
  return shot;
}

void cStageScene::GroupShot(cShot& shot) {
  // Shots are grouped in the order they joined the list (each right after
  // its AddShot), so a walk over the shot order that keeps one group's
  // shots visits them as the group's list holds them.
  assert(!m_ShotList.empty() && m_ShotList.back().get() == &shot);
  m_ShotGroups.resize(kGroupCount);
  std::list<cShot*>& group = m_ShotGroups[static_cast<size_t>(shot.m_nGroup)];
  group.push_back(&shot);
  shot.m_GroupPos = std::prev(group.end());
  shot.m_bGrouped = 1;
  if (cShotOrderEntry* entry = m_ShotOrder.Find(shot.m_nOrderSerial)) entry->group = shot.m_nGroup;
  if (shot.m_Definition.CancelsShots()) ++m_nCancellerShots;
}

void MarkShotForRemoval(cStageScene& scene, cShot& shot) {
  if (shot.m_bRemove) return;
  shot.m_bRemove = 1;
  scene.m_MarkedShots.push_back(&shot);
}

void FlushShots(cStageScene& scene) {
#ifndef NDEBUG
  // Every flag was set through MarkShotForRemoval.
  size_t flagged = 0, cancellers = 0;
  for (const auto& s : scene.m_ShotList) {
    flagged += s->m_bRemove ? 1 : 0;
    cancellers += s->m_bGrouped && s->m_Definition.CancelsShots() ? 1 : 0;
  }
  assert(flagged == scene.m_MarkedShots.size());
  assert(cancellers == scene.m_nCancellerShots);
  assert(scene.m_ShotOrder.size() - scene.m_ShotOrder.Holes() == scene.m_ShotList.size());
#endif
  if (scene.m_MarkedShots.empty()) return;
  // Erasing a node leaves the others where they are: the lists keep their
  // order. The list entry owns the shot, so it goes last.
  for (cShot* shot : scene.m_MarkedShots) {
    if (shot->m_bGrouped) {
      scene.m_ShotGroups[static_cast<size_t>(shot->m_nGroup)].erase(shot->m_GroupPos);
      if (shot->m_Definition.CancelsShots()) --scene.m_nCancellerShots;
    }
    scene.m_ShotOrder.Drop(shot->m_nOrderSerial);
    scene.m_ShotList.erase(shot->m_ListPos);
  }
  scene.m_MarkedShots.clear();
  scene.m_ShotOrder.Compact();
}

void ClearShots(cStageScene& scene) {
  for (auto& group : scene.m_ShotGroups) group.clear();
  scene.m_ShotList.clear();
  scene.m_ShotOrder.Clear();
  scene.m_MarkedShots.clear();
  scene.m_nCancellerShots = 0;
}

void cStageScene::MoveShots(int32_t step) {
  // Shots fired during the walk (by a summon's flows) join at the end and
  // move from the next sub-step: the walk covers the shots that were there.
  // The walk goes over the shot order (the list's order, no shot leaves
  // it before the FlushShots at the end).
  // Half as far ahead as the shots, the block cells under each shot (where
  // it stands before its move, almost always where its block test looks)
  // are brought in too: on a long stage the block map is not cached.
  const size_t count = m_ShotOrder.size();
  for (size_t k = 0; k < kShotLookAhead && k < count; ++k) PrefetchShotAhead(m_ShotOrder, k);
  cBlockMap& map = BlockMap();
  auto prefetchCells = [&map](const cShot* shot) {
    const size_t cells = map.CellCount();
    const int top = map.CellIndex(shot->m_nColumnLeft, shot->m_nRowTop);
    if (top >= 0 && static_cast<size_t>(top) < cells) PrefetchLine(&map.Cell(top));
    const int bottom = map.CellIndex(shot->m_nColumnLeft, shot->m_nRowBottom);
    if (bottom >= 0 && bottom != top && static_cast<size_t>(bottom) < cells) PrefetchLine(&map.Cell(bottom));
  };
  // The removal areas of the players' shots and of the others (nothing a
  // shot's move does changes the stage's parameters).
  cLiveRange ranges[2];
  for (int i = 0; i < 2 && step == 1; ++i)
    ranges[i] = LiveRangeOf(StageData.m_Params[i == 0 ? kRemovalPlayerShots : kRemovalOtherShots]);
  for (size_t k = 0; k < count; ++k) {
    PrefetchShotAhead(m_ShotOrder, k + kShotLookAhead);
    if (k + kShotLookAhead / 2 < count)
      if (const cShot* ahead = m_ShotOrder[k + kShotLookAhead / 2].shot) prefetchCells(ahead);
    cShot* const at = m_ShotOrder[k].shot;
    if (!at) continue;
    cShot& shot = *at;
    if (shot.m_bRemove) continue;
    if (shot.MoveByKind() != 0) {
      MarkShotForRemoval(*this, shot);
      continue;
    }
    shot.ApplyGravity();
    shot.MoveY();
    shot.MoveX();
    shot.m_bOnScreen = shot.IsOnScreen() ? 1 : 0;
    if (step == 1 && shot.IsProjectile()) {
      if (shot.IsOutsideLiveRange(shot.m_nKind == 0 ? ranges[0] : ranges[1])) {
        MarkShotForRemoval(*this, shot);
        continue;
      }
    }
    if (shot.HitsBlock() != 0) MarkShotForRemoval(*this, shot);
  }
  FlushShots(*this);
}

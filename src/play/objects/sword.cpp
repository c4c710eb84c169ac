// Swords: one cShot held beside its owner, frame by frame of its sword type.
#include "play/objects/sword.h"

#include <algorithm>
#include <cmath>

#include "data/database.h"
#include "data/database_records.h"
#include "play/objects/character.h"
#include "play/world/stage_scene.h"

namespace {

inline constexpr uint32_t kColourKey = 1;

// A sword type's entry holds ten values; this program reads them as: 1
// width, 2 height, 3 offset x, 4 offset y, 5 and 6 whether those offsets
// mirror with the owner's facing, 7 placement, 8 the cell on the sword
// sheet, 9 unused, 10 the duration in tenths of a second (1 in a new type).
cSwordFrame FrameOf(const cSwordTypeEntry& e) {
  cSwordFrame f;
  const int32_t* v = e.m_nValues;
  f.width = std::clamp(v[0], 0, 4096);
  f.height = std::clamp(v[1], 0, 4096);
  f.offsetX = std::clamp(v[2], -4096, 4096);
  f.offsetY = std::clamp(v[3], -4096, 4096);
  f.mirrorX = v[4];
  f.mirrorY = v[5];
  f.placement = v[6];
  f.graphic = v[7];
  f.duration = std::clamp(v[9], 0, 100000);
  return f;
}

const cSwordTypeRecord* SwordType(int32_t type) {
  auto& types = Database.m_SwordTypes;
  if (type < 0 || static_cast<size_t>(type) >= types.size()) return nullptr;
  return &types[static_cast<size_t>(type)];
}

}  // namespace

int32_t SwordFrameCount(int32_t type) {
  const cSwordTypeRecord* t = SwordType(type);
  return t ? static_cast<int32_t>(t->m_Entries.size()) : 0;
}

bool GetSwordFrame(int32_t type, int32_t frame, cSwordFrame& out) {
  const cSwordTypeRecord* t = SwordType(type);
  if (!t || frame < 0 || static_cast<size_t>(frame) >= t->m_Entries.size()) return false;
  out = FrameOf(t->m_Entries[static_cast<size_t>(frame)]);
  return true;
}

void FireSword(cStageScene& scene, cCharacter& shooter, const cEdShot& d, int32_t, int32_t flowGroup) {
  // A sword type that does not exist, or has no frames, makes no sword.
  cSwordFrame frame;
  if (!GetSwordFrame(d.MoveKind(), 0, frame)) return;
  cShot* sword = scene.AddShot();
  if (!sword) return;
  cVolley v;
  v.flowGroup = flowGroup;
  v.x = static_cast<int32_t>(shooter.m_dX);
  v.y = static_cast<int32_t>(shooter.m_dY);
  sword->Setup(d, shooter, v, kCmdSword, scene.m_nShotCounter);
  scene.m_nShotCounter = scene.m_nShotCounter == INT32_MAX ? 0 : scene.m_nShotCounter + 1;
  sword->Register();
  scene.GroupShot(*sword);
  // It stands beside its owner from the start.
  if (sword->SwordMove() != 0) MarkShotForRemoval(scene, *sword);
  sword->m_nFrameCount = 0;
}

int cShot::SwordMove() {
  cCharacter* owner = FindObjectById(m_nOwnerId);
  if (!owner) return 1;
  owner->UpdateScreenRect();
  m_nFacing = owner->m_nFacing;
  cSwordFrame f;
  if (!GetSwordFrame(m_Definition.MoveKind(), m_nSwordFrame, f)) return 1;
  const int32_t scale = std::clamp(m_Definition.ScaleValue(), 1, 64);
  if (m_nFrameCount == 0) {
    m_nWidth = m_nBaseWidth = m_nDrawWidth = std::max(1, f.width * scale);
    m_nHeight = m_nBaseHeight = m_nDrawHeight = std::max(1, f.height * scale);
    m_Hit.offsetX = m_Hit.offsetY = 0;
    m_Hit.width = m_nWidth;
    m_Hit.height = m_nHeight;
  }
  const double vx = std::trunc(StageViewX().position), vy = std::trunc(StageViewY().position);
  const double left = owner->m_rcScreen.left + vx, right = owner->m_rcScreen.right + vx;
  const double top = owner->m_rcScreen.top + vy, bottom = owner->m_rcScreen.bottom + vy;
  const double centreX = left + owner->m_nDrawWidth / 2, centreY = top + owner->m_nDrawHeight / 2;
  switch (f.placement) {
    case 1:
      m_nFacing = owner->m_nFacing ? 0 : 1;
      m_dX = m_nFacing == 0 ? left - m_nWidth : right + 1;
      m_dY = centreY - m_nHeight / 2;
      break;
    case 2:
      m_dX = centreX - m_nWidth / 2;
      m_dY = top - m_nHeight;
      break;
    case 3:
      m_dX = centreX - m_nWidth / 2;
      m_dY = bottom + 1;
      break;
    default:
      m_dX = m_nFacing == 0 ? left - m_nWidth : right + 1;
      m_dY = centreY - m_nHeight / 2;
      break;
  }
  const double ox = double(f.offsetX) * scale, oy = double(f.offsetY) * scale;
  m_dX += (owner->m_nFacing == 1 && f.mirrorX) ? -ox : ox;
  m_dY += (owner->m_nFacing == 1 && f.mirrorY) ? -oy : oy;
  ClampX();
  cStageObject::ClampY(2);
  ++m_nFrameCount;
  const int64_t ticks = int64_t{f.duration} * std::max(1, StageSubSteps()) * 6;
  if (m_nFrameCount > ticks) {
    m_nFrameCount = 0;
    ++m_nSwordFrame;
    if (m_nSwordFrame >= SwordFrameCount(m_Definition.MoveKind())) return 1;
  }
  return 0;
}

void cShot::DrawSword(DDSURFACEDATA* target) {
  cStageScene* scene = CurrentStageScene();
  cSwordFrame f;
  if (!target || !scene || !GetSwordFrame(m_Definition.MoveKind(), m_nSwordFrame, f)) return;
  auto& sheets = scene->m_Layers.m_Bitmaps.m_Swords;
  // Four sheets a sword type: the picture, its mirror (facing right), and
  // their system-memory copies.
  const size_t sheet = static_cast<size_t>(std::max(0, m_Definition.MoveKind())) * 4 + (m_nFacing ? 1 : 0);
  if (sheet >= sheets.size()) return;
  DDSURFACEDATA* src = &sheets[sheet];
  const int32_t sx = std::max(0, f.graphic) * std::max(1, f.width);
  if (sx + f.width > src->nWidth || f.height > src->nHeight || f.width < 1 || f.height < 1) return;
  UpdateScreenRect();
  DDBltStretch(target, m_rcScreen.left, m_rcScreen.top, m_nDrawWidth, m_nDrawHeight, src, sx, 0, f.width, f.height,
               kColourKey);
}

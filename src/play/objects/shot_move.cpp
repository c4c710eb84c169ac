// The movement kinds of shots: straight flight, aiming once (at the hero, the
// nearest character of a group, or the target), homing for a stretch of the
// flight, a wave across the flight, and falling from a given distance on.
#include <algorithm>
#include <climits>
#include <cmath>

#include "play/objects/character.h"
#include "play/objects/shot.h"
#include "play/objects/stage_character.h"
#include "play/world/stage_scene.h"

namespace {

// The frame at which a distance of `hbl` half blocks is flown at `speed`.
int32_t DistanceFrame(int32_t hbl, double speed) {
  if (speed == 0) return 0;
  return TruncToInt(hbl * 16.0 / speed);
}

// The target of a seeking shot in group `group`: the nearest character of
// that side as the stage's nearest-target search finds it.
cCharacter* NearestOfGroup(const cShot& shot, int32_t group) {
  cStageScene* scene = CurrentStageScene();
  if (!scene || group < 0 || static_cast<size_t>(group) >= scene->m_CharacterGroups.size()) return nullptr;
  return FindNearestCharacter(shot, {&scene->m_CharacterGroups[static_cast<size_t>(group)]});
}

cCharacter* LiveTarget(cCharacter* target) { return target && !target->m_bDying ? target : nullptr; }

}  // namespace

void cShot::Steer(const cStageObject* target) {
  if (!target) return;
  UpdateScreenRect();
  double vx = 0, vy = 0;
  int32_t direction = 0;
  AimVector(vx, vy, direction, this, ScreenCentreX(), ScreenCentreY(), target->ScreenCentreX(),
            target->ScreenCentreY(), m_dSpeed, false, true, false);
  if (!m_bAccelerating) {
    m_dOwnVX = vx;
    m_dOwnVY = vy;
    return;
  }
  // An accelerating shot turns its acceleration; its own velocity is set
  // only in the frame it starts to steer.
  if (m_nFrameCount == m_nAimFrame) {
    m_dOwnVX = vx;
    m_dOwnVY = vy;
  }
  AccelerationComponents(m_dAccelX, m_dAccelY, vx, vy);
}

void cShot::RunMoveKind() {
  const int32_t kind = m_nMoveKind;
  if (kind <= 0 || kind >= kShotMoveKindCount || m_bDone) return;
  const cEdShot& d = m_Definition;
  const double fs = StageFrameScaleOrOne();
  if (kind == 8) {
    // The wave: a cosine across the flight, integrated into the own velocity.
    const double amplitude = std::clamp(d.MoveParam(0), -10000, 10000) * 16.0;
    const double waveSpeed = std::clamp(d.MoveParam(1), -10000, 10000);
    if (m_nFrameCount == 0) {
      const double start = d.MoveParam(2) + (m_nFacing == 0 ? 180 : 0);
      // A wave speed of 0 makes no wave: its phase stays 0.
      m_dWavePhase = waveSpeed != 0 ? start / waveSpeed * fs : 0;
      double angle = std::atan2(m_dOwnVY, m_dOwnVX);
      if (angle < 0) angle += 2 * M_PI;
      angle -= M_PI / 2;
      m_dWaveX = std::cos(angle);
      m_dWaveY = std::sin(angle);
      const double v = WaveVelocity(amplitude, waveSpeed, m_dWavePhase, 1, 0);
      m_dOwnVX += m_dWaveX * v;
      m_dOwnVY += m_dWaveY * v;
    } else {
      const double a = WaveAcceleration(amplitude, waveSpeed, m_dWavePhase, 1, 0);
      const double beforeX = m_dOwnVX, beforeY = m_dOwnVY;
      m_dOwnVX += m_dWaveX * a;
      m_dOwnVY += m_dWaveY * a;
      if ((beforeX > 0 && m_dOwnVX < 0) || (beforeX < 0 && m_dOwnVX > 0)) m_dOwnVX = 0;
      if ((beforeY > 0 && m_dOwnVY < 0) || (beforeY < 0 && m_dOwnVY > 0)) m_dOwnVY = 0;
    }
    if (m_bAccelerating) AccelerationComponents(m_dAccelX, m_dAccelY, m_dOwnVX, m_dOwnVY);
    if (m_nFrameCount < INT32_MAX) ++m_nFrameCount;
    return;
  }

  if (m_nFrameCount == 0) {
    m_dSpeed = ((double(d.SpeedStep()) * m_nIndex + d.Speed()) * 0.1) / fs;
    m_nAimFrame = DistanceFrame(d.MoveParam(0), m_dSpeed);
    m_nEndFrame = DistanceFrame(d.MoveParam(1), m_dSpeed);
  }
  switch (kind) {
    case 1:
    case 2:
    case 3:
      if (m_nFrameCount == m_nAimFrame) {
        const cCharacter* target = kind == 1   ? FirstHero()
                                   : kind == 2 ? NearestOfGroup(*this, d.MoveParam(1))
                                               : LiveTarget(m_pTarget);
        if (target) {
          UpdateScreenRect();
          double vx = 0, vy = 0;
          int32_t direction = 0;
          AimVector(vx, vy, direction, this, ScreenCentreX(), ScreenCentreY(), target->ScreenCentreX(),
                    target->ScreenCentreY(), m_dSpeed, false, true, false);
          m_dOwnVX = vx;
          m_dOwnVY = vy;
          if (m_bAccelerating) AccelerationComponents(m_dAccelX, m_dAccelY, vx, vy);
        }
        m_bDone = 1;
      }
      break;
    case 4:
    case 5:
    case 6:
    case 7:
      if (m_nFrameCount >= m_nEndFrame) {
        m_bDone = 1;
      } else if (m_nFrameCount >= m_nAimFrame) {
        const cCharacter* target = kind == 4   ? FirstHero()
                                   : kind == 6 ? LiveTarget(m_pTarget)
                                               : NearestOfGroup(*this, d.MoveParam(2));
        Steer(target);
      }
      break;
    case 9:
      if (m_nFrameCount >= m_nAimFrame) {
        m_dSpeedY = m_dOwnVY;
        m_bFreeVertical = 0;
        m_bDone = 1;
      }
      break;
    default:
      break;
  }
  if (!m_bDone && m_nFrameCount < INT32_MAX) ++m_nFrameCount;
}

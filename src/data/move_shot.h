// The parameter objects of movement, shot, sword and summon commands: their
// many settings stored as records instead of parameter words. A command holds
// each through a shared_ptr; a file carries the object only when the command
// has one. Fields are named by their place in the file (m_fN is field N)
// until code here uses one and knows what it means; those carry names, with
// their field number in the comment. What the fields do in play belongs to
// stage play and the flow executors.
#pragma once

#include <cstdint>
#include <memory>

#include "data/record.h"

class cEdMove : public cRecord {
 public:
  cEdMove();
  PELMORA_RECORD_CLASS(cEdMove)
  void DefineFields(int32_t version) override;
  // The base body, then the defaults of fields older files lack.
  bool Read(cDataReader& in) override;

  // A new object (declared for 873, cleared, its defaults) in `holder`,
  // releasing what it held.
  static void Create(std::shared_ptr<cEdMove>& holder);

  uint8_t m_f1 = 0;  // a choice that gained three entries at version 767
  uint8_t m_f2 = 0;
  uint16_t m_f3 = 0, m_f4 = 0;
  uint8_t m_f5 = 0, m_f6 = 0, m_f7 = 0;
  uint16_t m_f8 = 0, m_f9 = 0, m_f10 = 0, m_f11 = 0;
  uint8_t m_f12 = 0, m_f13 = 0, m_f14 = 0, m_f15 = 0, m_f16 = 0, m_f17 = 0, m_f18 = 0, m_f19 = 0, m_f20 = 0,
          m_f21 = 0;
  uint16_t m_f22 = 0, m_f23 = 0, m_f24 = 0, m_f25 = 0;
  uint8_t m_f26 = 0;
  uint16_t m_f27 = 0, m_f28 = 0;
  uint8_t m_f29 = 0;
  uint16_t m_f30 = 0;
  double m_f31 = 0;
  uint8_t m_f32 = 0, m_f33 = 0;

  // ---- Named movement fields (movement commands) ----
  // The roles the movement commands, their preparation and the arrange
  // command give the numbered fields. 16-bit lengths, angles and offsets are
  // signed; the setters store the low 16 bits.
  //   f1 displacement (0 by direction, 1 toward a point; the warp's 0..5)
  //   f2 direction choice 0..12      f3/f4 distance start/step (also the
  //   f5 distance unit (1 dots, else half blocks)  circle radius and the
  //   f6/f7 move along x / y (point mode)          homing period)
  //   f8/f9 target block x / y       f10/f11 target dot offset x / y
  //   f12 point reference 0..3       f13/f14 mirror target x / y by facing
  //   f15/f17 ignore x / y           f16 mirror the angle by facing
  //   f18 stop on arrival (2: and drop the motion at once when reached)
  //   f19 keep facing   f20 turn with facing   f21 acceleration mode
  //   f22/f23 speed start/step (tenths of a dot per frame)
  //   f24/f25 angle start/step (degrees; the circle's start angle)
  //   f26 timing choice (0 time and speed, 1 time and distance, 2 speed and
  //       distance; circle: 0 by time, 1 by speed)
  //   f27/f28 circle end angle start/step   f29 circle sense 0..3
  //   f30 speed limit of acceleration mode (tenths)   f31 acceleration factor
  //   f32 moving animation (0 moving, 1 standing, 2 other)   f33 target slot 0..3
  int32_t Displacement() const { return m_f1; }
  int32_t DirectionChoice() const { return m_f2; }
  int32_t DistanceStart() const { return static_cast<int16_t>(m_f3); }
  int32_t DistanceStep() const { return static_cast<int16_t>(m_f4); }
  bool DistanceInDots() const { return m_f5 == 1; }
  bool MoveAlongX() const { return m_f6 != 0; }
  bool MoveAlongY() const { return m_f7 != 0; }
  int32_t TargetBlockX() const { return static_cast<int16_t>(m_f8); }
  int32_t TargetBlockY() const { return static_cast<int16_t>(m_f9); }
  int32_t TargetDotX() const { return static_cast<int16_t>(m_f10); }
  int32_t TargetDotY() const { return static_cast<int16_t>(m_f11); }
  int32_t PointReference() const { return m_f12; }
  bool MirrorTargetX() const { return m_f13 != 0; }
  bool MirrorTargetY() const { return m_f14 != 0; }
  bool IgnoreX() const { return m_f15 != 0; }
  bool IgnoreY() const { return m_f17 != 0; }
  bool MirrorAngle() const { return m_f16 != 0; }
  bool StopOnArrival() const { return m_f18 != 0; }
  bool StopWhenReached() const { return m_f18 == 2; }
  bool KeepFacing() const { return m_f19 != 0; }
  bool TurnWithFacing() const { return m_f20 != 0; }
  bool AccelerationMode() const { return m_f21 != 0; }
  int32_t SpeedStart() const { return static_cast<int16_t>(m_f22); }
  int32_t SpeedStep() const { return static_cast<int16_t>(m_f23); }
  int32_t AngleStart() const { return static_cast<int16_t>(m_f24); }
  int32_t AngleStep() const { return static_cast<int16_t>(m_f25); }
  int32_t TimingChoice() const { return m_f26; }
  int32_t EndAngleStart() const { return static_cast<int16_t>(m_f27); }
  int32_t EndAngleStep() const { return static_cast<int16_t>(m_f28); }
  int32_t CircleSense() const { return m_f29; }
  int32_t SpeedLimit() const { return static_cast<int16_t>(m_f30); }
  double AccelerationFactor() const { return m_f31; }
  int32_t MoveAnime() const { return m_f32; }
  int32_t TargetSlot() const { return m_f33; }
  void SetDistanceStart(int32_t v) { m_f3 = static_cast<uint16_t>(v); }
  void SetDistanceStep(int32_t v) { m_f4 = static_cast<uint16_t>(v); }
  void SetTargetBlockX(int32_t v) { m_f8 = static_cast<uint16_t>(v); }
  void SetTargetBlockY(int32_t v) { m_f9 = static_cast<uint16_t>(v); }
  void SetTargetDotX(int32_t v) { m_f10 = static_cast<uint16_t>(v); }
  void SetTargetDotY(int32_t v) { m_f11 = static_cast<uint16_t>(v); }
  void SetSpeedStart(int32_t v) { m_f22 = static_cast<uint16_t>(v); }
  void SetSpeedStep(int32_t v) { m_f23 = static_cast<uint16_t>(v); }
  void SetAngleStart(int32_t v) { m_f24 = static_cast<uint16_t>(v); }
  void SetAngleStep(int32_t v) { m_f25 = static_cast<uint16_t>(v); }
  // ---- end of named movement fields ----
};

class cEdShot : public cRecord {
 public:
  cEdShot();
  PELMORA_RECORD_CLASS(cEdShot)
  void DefineFields(int32_t version) override;
  // The base body, the defaults of fields older files lack, then the check.
  bool Read(cDataReader& in) override;
  // The check, then the base body.
  void Write(cDataWriter& out) override;
  // Field 26 at least 1; an effect (field 52) outside the database's Effect
  // list becomes 0.
  void ValidateReferences();

  static void Create(std::shared_ptr<cEdShot>& holder);

  uint8_t m_f1 = 0, m_f2 = 0;
  uint16_t m_f3 = 0;
  uint8_t m_f4 = 0, m_f5 = 0, m_f6 = 0, m_f7 = 0;
  uint16_t m_f8 = 0, m_f9 = 0;
  uint8_t m_f10 = 0;
  uint16_t m_f11 = 0;
  uint8_t m_f12 = 0, m_f13 = 0;
  uint16_t m_f14 = 0, m_f15 = 0, m_f16 = 0, m_f17 = 0;
  uint8_t m_f18 = 0, m_f19 = 0;
  uint16_t m_nGraphic = 0;  // field 20: graphic number
  uint8_t m_f21 = 0, m_f22 = 0, m_f23 = 0, m_f24 = 0, m_f25 = 0, m_f26 = 0, m_f27 = 0;
  uint8_t m_nType = 0;  // field 28; for a sword command the index into the SwordType list
  uint16_t m_f29 = 0;
  uint8_t m_f30 = 0, m_f31 = 0;
  uint16_t m_f32 = 0, m_f33 = 0;
  uint8_t m_f34 = 0;
  uint16_t m_f35 = 0, m_f36 = 0, m_f37 = 0;
  uint8_t m_f38 = 0;
  uint16_t m_f39 = 0;
  uint8_t m_f40 = 0, m_f41 = 0;
  uint16_t m_f42 = 0, m_f43 = 0;
  uint8_t m_f44 = 0, m_f45 = 0, m_f46 = 0, m_f47 = 0, m_f48 = 0;
  int32_t m_f49 = 0;
  uint16_t m_f50 = 0;
  uint8_t m_f51 = 0;
  uint16_t m_nEffect = 0;         // field 52: index into the database's Effect list
  int8_t m_nItemPalette = 0;      // field 53, item dropped or held: 0 none, 1 common, 2 stage palette
  int16_t m_nItemIndex = 0;       // field 54: that item's index in its palette's item list
  uint8_t m_f55 = 0, m_f56 = 0, m_f57 = 0;
  int8_t m_nSummonPalette = 0;    // field 58: 0 common palette, 1 stage palette
  int16_t m_nSummonIndex = 0;     // field 59: summoned block, character or item in that palette
  uint8_t m_f60 = 0, m_f61 = 0, m_f62 = 0, m_f63 = 0, m_f64 = 0;

  // ---- Shots in stage play (combat): the numbered fields by meaning ----
  // Project files name these fields only by the role the editor gives
  // them; this is the one reading stage play uses (all values signed).
  // Fixed by the file's own history: 10 the mirror-angle flag (new at 158),
  // 20 the graphic, 26 the scale, 28 the movement kind (a sword's type),
  // 31 moves-with-scroll (new at 211), 34..36 acceleration (new at 213),
  // 52 the hit effect, 53/54 the item, 58/59 the summoned definition.
  static int32_t S8(uint8_t v) { return static_cast<int8_t>(v); }
  static int32_t S16(uint16_t v) { return static_cast<int16_t>(v); }
  int32_t Pattern() const { return S8(m_f1); }              // firing pattern 0..5
  int32_t DirectionChoice() const { return S8(m_f2); }      // direction choice (MoveDirectionLabels)
  int32_t PatternParam(int i) const {                       // the pattern's three parameters
    return i == 0 ? S16(m_f3) : i == 1 ? S16(m_f50) : S16(m_f39);
  }
  int32_t RotateFormation() const { return S8(m_f4); }      // the formation turns with its angle
  int32_t TargetSlot() const { return S8(m_f5); }           // target slot of the aim target "target"
  int32_t SecondTargetSlot() const { return S8(m_f6); }     // target slot the shot aims at or homes on
  int32_t AimTarget() const { return S8(m_f7); }            // 0 target, 1 hero, 2 self
  int32_t BaseAngle() const { return S16(m_f8); }           // degrees
  int32_t AngleStep() const { return S16(m_f9); }           // degrees per shot
  int32_t MirrorAngle() const { return S8(m_f10); }
  int32_t RandomSpread() const { return S16(m_f11); }       // degrees
  int32_t ExtraCount() const { return S8(m_f12); }          // a volley has count + 1 shots
  int32_t ObjectCount() const { return S8(m_f13); }         // objects of one pattern run
  int32_t StartX() const { return S16(m_f14); }
  int32_t StepX() const { return S16(m_f15); }
  int32_t StartY() const { return S16(m_f16); }
  int32_t StepY() const { return S16(m_f17); }
  int32_t MirrorStartX() const { return S8(m_f18); }
  int32_t MirrorStartY() const { return S8(m_f19); }
  int32_t Graphic() const { return S16(m_nGraphic); }
  int32_t Hidden() const { return S8(m_f21); }
  int32_t DrawLayer() const { return S8(m_f22); }
  int32_t ReportToOwner() const { return S8(m_f23); }       // hits are reported to the shooter
  int32_t AimFlag() const { return S8(m_f24); }             // direction taken toward the aim target
  int32_t UseShooterFaction() const { return S8(m_f25); }
  int32_t ScaleValue() const { return S8(m_f26); }          // 0 read as 1
  int32_t FactionNumber() const { return S8(m_f27); }       // the shot's group 0..7
  int32_t MoveKind() const { return S8(m_nType); }          // 0..9; a sword: its sword type
  int32_t MoveParam(int i) const {                          // the movement kind's three parameters
    return i == 0 ? S16(m_f29) : i == 1 ? S16(m_f37) : S16(m_f42);
  }
  int32_t PassBlocks() const { return S8(m_f30); }          // passes through blocks
  int32_t MovesWithScroll() const { return S8(m_f31); }
  int32_t Speed() const { return S16(m_f32); }              // tenths of a dot a frame
  int32_t SpeedStep() const { return S16(m_f33); }
  int32_t Accelerate() const { return S8(m_f34); }
  int32_t Acceleration() const { return S16(m_f35); }       // tenths
  int32_t AccelerationStep() const { return S16(m_f36); }
  int32_t RangeOn() const { return S8(m_f38); }
  int32_t StopAtRange() const { return S8(m_f40); }
  int32_t LifetimeOn() const { return S8(m_f41); }
  int32_t Range() const { return S8(m_f44); }               // half blocks
  int32_t RangeStep() const { return S8(m_f45); }
  int32_t Lifetime() const { return S16(m_f43); }           // tenths of a second
  int32_t LifetimeStep() const { return S8(m_f46); }
  int32_t PaletteChoice() const { return S8(m_f47); }       // 0 common, 1 stage
  int32_t Impact() const { return S8(m_f48); }              // knock-back strength -20..20
  int32_t Power() const { return m_f49; }
  int32_t VanishOnHit() const { return S8(m_f51); }         // 0: flies through every victim
  int32_t PassThrough1() const { return S8(m_f56); }        // 1: flies on after hitting a victim
  int32_t PassThrough2() const { return S8(m_f57); }        // the same for a victim without contacts
  int32_t CancelsShots() const { return S8(m_f55); }
  int32_t CancelledByShots() const { return S8(m_f60); }
  int32_t SummonMode() const { return S8(m_f61); }          // blocks: 0 place, 1 erase, 2 toggle
  int32_t SummonFacingFlip() const { return S8(m_f62); }    // a summoned character faces away
  int32_t SummonFaction() const { return S8(m_f63); }       // 0 its own, 1 the shooter's, 2 the number
  int32_t KeepHeroFree() const { return S8(m_f64); }        // a block summon never squeezes the hero
  // A summon has no use for the bytes by which shots cancel each other, nor
  // for a shot's lifetime: it reads them as its own options.
  int32_t SummonPlaceCheck() const { return S8(m_f55); }    // a summoned character looks for a free place
  int32_t KeepCharactersFree() const { return S8(m_f60); }  // a block summon never squeezes a character
  int32_t SummonTimed() const { return S8(m_f41); }         // summoned characters leave after a time ...
  int32_t SummonTime() const { return S16(m_f43); }         // ... of this many tenths of a second
  // ---- end of shots in stage play ----
  // ---- Arrange (status_ops.cpp): writers of the fields the arrange command changes ----
  // Values arrive clamped to the parameter's bounds; narrow fields keep
  // their low bits.
  void SetPatternParam(int i, int32_t v) {
    uint16_t& f = i == 0 ? m_f3 : i == 1 ? m_f50 : m_f39;
    f = static_cast<uint16_t>(v);
  }
  void SetMoveParam(int i, int32_t v) {
    uint16_t& f = i == 0 ? m_f29 : i == 1 ? m_f37 : m_f42;
    f = static_cast<uint16_t>(v);
  }
  void SetGraphic(int32_t v) { m_nGraphic = static_cast<uint16_t>(v); }
  void SetDrawLayer(int32_t v) { m_f22 = static_cast<uint8_t>(v); }
  void SetObjectCount(int32_t v) { m_f13 = static_cast<uint8_t>(v); }
  void SetExtraCount(int32_t v) { m_f12 = static_cast<uint8_t>(v); }
  void SetBaseAngle(int32_t v) { m_f8 = static_cast<uint16_t>(v); }
  void SetAngleStep(int32_t v) { m_f9 = static_cast<uint16_t>(v); }
  void SetRandomSpread(int32_t v) { m_f11 = static_cast<uint16_t>(v); }
  void SetStartX(int32_t v) { m_f14 = static_cast<uint16_t>(v); }
  void SetStepX(int32_t v) { m_f15 = static_cast<uint16_t>(v); }
  void SetStartY(int32_t v) { m_f16 = static_cast<uint16_t>(v); }
  void SetStepY(int32_t v) { m_f17 = static_cast<uint16_t>(v); }
  void SetFactionNumber(int32_t v) { m_f27 = static_cast<uint8_t>(v); }
  void SetSpeed(int32_t v) { m_f32 = static_cast<uint16_t>(v); }
  void SetSpeedStep(int32_t v) { m_f33 = static_cast<uint16_t>(v); }
  void SetAcceleration(int32_t v) { m_f35 = static_cast<uint16_t>(v); }
  void SetAccelerationStep(int32_t v) { m_f36 = static_cast<uint16_t>(v); }
  void SetRange(int32_t v) { m_f44 = static_cast<uint8_t>(v); }
  void SetRangeStep(int32_t v) { m_f45 = static_cast<uint8_t>(v); }
  void SetLifetime(int32_t v) { m_f43 = static_cast<uint16_t>(v); }
  void SetLifetimeStep(int32_t v) { m_f46 = static_cast<uint8_t>(v); }
  void SetVanishOnHit(int32_t v) { m_f51 = static_cast<uint8_t>(v); }
  void SetPower(int32_t v) { m_f49 = v; }
  void SetImpact(int32_t v) { m_f48 = static_cast<uint8_t>(v); }
  // ---- end of arrange ----
};

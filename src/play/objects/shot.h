// Shots and swords: the objects that the shot and sword commands of flows
// create. A shot flies by its movement kind, lives for a range or a time,
// stops at solid blocks and at the stage's edges, and hits characters of
// other groups (the stage's hit checks); a sword is the same object held
// beside its owner for the frames of its sword type. One volley of a shot
// command is laid out by one of six firing patterns, which the summon
// commands share to place characters, items and blocks.
//
// A shot never holds a bare pointer that can outlive what it points at: its
// target and owner stand in the character's link list, which clears them
// when the character goes, and its list of characters already hit keeps
// ids. Shots live in the stage's shot list as shared objects (stable
// addresses); removal marks them and the list drops them after the walk.
// Game thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <vector>

#include "base/prefetch.h"
#include "data/labels.h"  // CommandKind: the kinds that lay out a volley
#include "data/move_shot.h"
#include "gfx/dd.h"
#include "play/world/shot_order.h"
#include "play/world/stage_object.h"

class cCharacter;
class cStageScene;
class cEdBlock;

// Direction codes of volleys.
enum : int32_t {
  kCodeLeft = 2,
  kCodeRight = 3,
  kCodeUp = 6,
  kCodeDown = 7,
  kCodeUpLeft = 8,
  kCodeDownLeft = 9,
  kCodeUpRight = 10,
  kCodeDownRight = 11,
};

inline constexpr int kFiringPatternCount = 6;
inline constexpr int kShotMoveKindCount = 10;
// Objects one volley may create at most: a definition asking for more is
// cut down (and says so in the log) instead of exhausting memory.
inline constexpr int32_t kMaxVolleyObjects = 4096;
// Shots a stage holds at most; firing beyond it is refused (logged once).
inline constexpr size_t kMaxStageShots = 20000;

// What the layout of one volley hands to the creation of each object.
struct cVolley {
  int32_t width = 16, height = 16;  // the object box
  int32_t direction = 0;            // direction code
  double speed = 0;                 // dots per frame
  double angle = 0;                 // the volley angle (degrees)
  int32_t index = 0;                // the shot's number in the volley
  int32_t offsetX = 0, offsetY = 0; // the definition's start offsets (truncated)
  int32_t range = 0, lifetime = 0;  // this shot's range (hbl) and lifetime (tenths)
  int32_t flowGroup = 0;            // flow group of the firing flow (triggers 18..20)
  // Filled by the pattern for each object it asks for.
  int32_t x = 0, y = 0;             // world position of the object's left/top
  double vx = 0, vy = 0;            // velocity (dots per frame)
  int32_t created = 0;              // objects asked for so far
};

class cShot : public cStageObject {
 public:
  cShot() = default;
  // Shots are never copied: their link entries name this object.
  cShot(const cShot&) = delete;
  cShot& operator=(const cShot&) = delete;
  ~cShot() override;

  // Slots 3..6.
  void OnScaleChanged(int32_t factor) override;
  void AdjustForScale(int32_t newScale, int32_t oldScale, int32_t flag) override;
  void OnMovedX() override;
  void OnMovedY() override;

  // Set-up from the definition for a volley object of `shooter`.
  void Setup(const cEdShot& definition, cCharacter& shooter, const cVolley& volley, int32_t commandKind,
             int32_t id);
  // Enters the shot in the link lists of its target (aiming and homing
  // kinds only, else the target is dropped) and of its owner.
  void Register();
  // Leaves the link lists of its target and owner.
  void Unregister();

  // The per-sub-step operations of the play frame. MoveByKind: 1 when the
  // shot must vanish.
  int MoveByKind();
  // Speed x (and a free-flying shot's speed y) from the forced scroll.
  void CarryByScroll();
  int MoveX();
  int MoveY();
  // Held at the map's sides only while narrower than the margin; 3 at an
  // edge. Then right, the hit rectangle and the columns follow x.
  int ClampX();
  // 1 when a solid block lies under the shot.
  int HitsBlock();
  void Draw(DDSURFACEDATA* target, int32_t hold);

  // The acceleration magnitude split along the velocity (vx, vy).
  void AccelerationComponents(double& ax, double& ay, double vx, double vy) const;
  // The movement kind handlers (shot_move.cpp).
  void RunMoveKind();
  void Steer(const cStageObject* target);
  // The sword form of MoveByKind (sword.cpp): 1 when the sword ends.
  int SwordMove();
  void DrawSword(DDSURFACEDATA* target);

  bool IsProjectile() const { return m_bIsProjectile != 0; }
  bool HasHit(int32_t id) const;
  void AddHit(int32_t id) { m_HitIds.push_back(id); }
  // Power, impact or an item: hits by this shot hurt.
  bool IsHarmful() const;

  // What the walks of the shots read (moves, hits, drawing) comes first,
  // beside the object's often-read members; what they read seldom or never
  // comes last, the definition (most of whose fields are read only when the
  // shot is fired) at the very end.
  // Flagged for removal: set only through MarkShotForRemoval, which also
  // notes the shot for the next FlushShots.
  int32_t m_bRemove = 0;
  int32_t m_nGroup = 0;             // index of its shot group
  int32_t m_bIsProjectile = 1;
  int32_t m_nRangeFrames = 0;
  int32_t m_nLifeFrames = 0;
  int32_t m_nFrameCount = 0;  // a sword: the tick within its frame
  int32_t m_nSwordFrame = 0;
  int32_t m_nMoveKind = 0;        // the definition's kind, 0 once the range stopped it
  int32_t m_bRangeOn = 0, m_bLifeOn = 0;
  int32_t m_bAccelerating = 0;
  int32_t m_nAimFrame = 0;
  int32_t m_nEndFrame = 0;
  int32_t m_bDone = 0;
  double m_dAcceleration = 0;
  double m_dSpeed = 0;
  double m_dOwnVX = 0, m_dOwnVY = 0;
  double m_dWavePhase = 0;
  double m_dWaveX = 0, m_dWaveY = 0;
  cHitRect m_Hit;
  cCharacter* m_pTarget = nullptr;  // cleared by the target when it goes
  cCharacter* m_pOwner = nullptr;   // cleared by the owner when it goes
  int32_t m_nOwnerId = 0;
  int32_t m_nIndex = 0;           // number in the volley
  int32_t m_nFlowGroup = 0;
  std::vector<int32_t> m_HitIds;  // ids of the characters already hit
  // Where the shot stands in the stage's shot list and in its group's list
  // (set by AddShot and GroupShot), so that FlushShots drops it without
  // walking the lists.
  std::list<std::shared_ptr<cShot>>::iterator m_ListPos{};
  std::list<cShot*>::iterator m_GroupPos{};
  int32_t m_bGrouped = 0;
  uint64_t m_nOrderSerial = 0;  // its serial in the stage's shot order (AddShot)
  cEdShot m_Definition;
};

// Project rule switches of hits and shots, with the values of a new
// project; stage set-up fills them from the project's rules
// (play/world/system_switches.h) and the stage's shot hit sizes.
struct cCombatSwitches {
  int32_t shotHitWidth[2] = {12, 12};   // shot hit rectangle: player-controlled shooters, others
  int32_t shotHitHeight[2] = {12, 12};
  int32_t shotGapOff = 0;               // the lightning pattern ignores its gap
  int32_t skipHarmlessShots = 0;        // shots without power, impact or item stop at trigger 7
  int32_t immediateBodyTriggers = 0;    // body-hit triggers follow each take at once
  int32_t onScreenOnlyCollisions = 0;   // hits only between objects on screen
};
extern cCombatSwitches g_CombatSwitches;

// The direction code of a direction choice for a shooter facing `facing`
// (the movement labels' "front", "back" and the input direction resolved).
// Choice 9 gives code 0 with the flag set and the facing's code with it
// clear; a replay being played back keeps the reading of its data version:
// before 778 code 0 whatever the flag, 778 and 779 the facing's code.
int32_t ConvertFacingToDirection(int32_t choice, int32_t flag, int32_t facing);
// The base angle (degrees) of a direction code.
int32_t DirectionAngle(int32_t code);
// Fires one volley of `definition` for `shooter` (command kind 11, or 12 for
// a sword). `flowDirection` is the firing flow's direction choice (used by
// direction choice 12), `flowGroup` its flow group.
void FireShots(cStageScene& scene, cCharacter& shooter, const cEdShot& definition, int32_t commandKind = kCmdShot,
               int32_t flowDirection = 0, int32_t flowGroup = 0);
// A sword command: one sword of the sword type named by the definition.
void FireSword(cStageScene& scene, cCharacter& shooter, const cEdShot& definition, int32_t flowDirection = 0,
               int32_t flowGroup = 0);
// The summon commands (summon.cpp): one run of the firing pattern placing
// characters, items or blocks of the definition's palette entry.
void SummonCharacters(cStageScene& scene, cCharacter& shooter, const cEdShot& definition, int32_t flowDirection = 0);
void SummonItems(cStageScene& scene, cCharacter& shooter, const cEdShot& definition, int32_t flowDirection = 0);
void SummonBlocks(cStageScene& scene, cCharacter& shooter, const cEdShot& definition, int32_t flowDirection = 0);

// One run of the definition's firing pattern for `shooter` on `volley`
// (its size, direction, speed, angle and offsets set by the caller);
// `create` is called for each object the pattern places.
void RunVolleyPattern(cCharacter& shooter, const cEdShot& definition, cVolley& volley,
                      const std::function<void(cVolley&)>& create);
// The direction code of a definition's direction choice for a shooter
// facing `facing`.
int32_t VolleyDirection(int32_t choice, int32_t facing, int32_t flowDirection);

// Brings shot `at` of the stage's shot order (a few places ahead of the
// move walk) into the caches, whole, while the walk works on the current
// one: with thousands of shots their objects no longer stay cached from one
// walk to the next. Changes nothing.
inline void PrefetchShotAhead(const cShotOrder& order, size_t at) {
  if (at >= order.size()) return;
  if (const cShot* shot = order[at].shot) {
    const char* bytes = reinterpret_cast<const char*>(shot);
    for (size_t offset = 0; offset < sizeof(cShot); offset += 64) PrefetchLine(bytes + offset);
  }
}
// How far ahead the walks over the shot order bring shots in.
inline constexpr size_t kShotLookAhead = 12;

// The look-ahead of the drawing walk, called with the index of the shot the
// walk is at. kShotLookAhead places ahead it brings in what drawing reads of
// a shot (whether it goes and is a projectile, its animation player,
// position and screen rectangle, and the drawing fields of its definition);
// half as far ahead, the list of the current animation's frames (read from
// the player, which is there by then); one place ahead, the current frame
// (read from that list). Changes nothing.
inline void PrefetchShotDrawing(const cShotOrder& order, size_t at) {
  auto shotAt = [&](size_t k) -> const cShot* { return k < order.size() ? order[k].shot : nullptr; };
  if (const cShot* shot = shotAt(at + kShotLookAhead)) {
    const char* bytes = reinterpret_cast<const char*>(shot);
    PrefetchLine(bytes);
    PrefetchLine(reinterpret_cast<const char*>(&shot->m_AnimePlayer) + sizeof(cAnimePlayer) - 1);
    PrefetchLines(&shot->m_rcScreen, &shot->m_nDrawHeight, &shot->m_dX, &shot->m_dY, &shot->m_bFreeVertical,
                  &shot->m_bRemove, &shot->m_bIsProjectile, &shot->m_Definition.m_nGraphic, &shot->m_Definition.m_f47);
  }
  if (const cShot* shot = shotAt(at + kShotLookAhead / 2)) {
    const cAnimePlayer& player = shot->m_AnimePlayer;
    if (player.m_nAnime >= 0 && static_cast<size_t>(player.m_nAnime) < player.Animes().size())
      PrefetchLine(&player.Animes()[static_cast<size_t>(player.m_nAnime)]);
  }
  if (const cShot* shot = shotAt(at + 1)) {
    const cAnimePlayer& player = shot->m_AnimePlayer;
    if (player.m_nAnime >= 0 && static_cast<size_t>(player.m_nAnime) < player.Animes().size()) {
      const cAnimePlayer::Anime& anime = player.Animes()[static_cast<size_t>(player.m_nAnime)];
      if (player.m_nFrame >= 0 && static_cast<size_t>(player.m_nFrame) < anime.size())
        PrefetchLine(&anime[static_cast<size_t>(player.m_nFrame)]);
    }
  }
}

// Flags `shot` (one of the stage's) for removal; the next FlushShots drops
// it. A shot already flagged stays as it is.
void MarkShotForRemoval(cStageScene& scene, cShot& shot);
// Drops every shot flagged for removal from the stage's list and groups; the
// others keep their order. It visits only the flagged shots.
void FlushShots(cStageScene& scene);
// Every shot of the stage goes (set-up and leaving the stage).
void ClearShots(cStageScene& scene);

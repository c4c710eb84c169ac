// Characters: the common part of the hero and of the characters placed on a
// stage. A character runs on its own copy of a character definition, owns the
// runtime state of the definition's event flows (reached only through the
// flow hooks), keeps hit points and skill points with their gauges, suffers
// knock-back, jumps, lands and bumps its head, and knows which graphic it
// shows. The stage-play frame calls it once per sub-step.
//
// Jump state words: the words that the block collision, the character jump
// and the hero's variable jump share are kept once, under these names:
//   m_bAirborne  in the air (no floor under the feet for a while); a new
//                character starts in the air. Landing on a block clears it,
//                and so does standing on a block character for the hero
//                (whose fall sets it, but never while it rides)
//   m_bJump1     a jump was taken (the hero's "jumped")
//   m_bJump2     the jump is under way / its rise is over (the hero's
//                "rise over"; a ceiling sets it, a landing clears it; a
//                hero riding a block character may jump while it is set)
//   m_nJumpEnd   the rise was cut off by a ceiling or a block character
//                above (the hero's rise lock, cleared by its jump logic; a
//                computer-controlled character's landing clears it). The
//                jump command's second-jump word: with the free-jump rule it
//                keeps a character from jumping, and with the second jump
//                timing it stands for the jumping word
//   m_bPendingJump  the jump command's waiting word
// Game thread only.
#pragma once

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "data/character.h"
#include "data/database_records.h"
#include "flow/flow_host.h"
#include "gfx/dd.h"
#include "gfx/surface_table.h"
#include "play/objects/chara_effect.h"
#include "play/world/flow_hooks.h"
#include "play/world/stage_object.h"

class cStageItem;
class cHero;
class cStageScene;

// Project rule switches read by the characters, with the values of a new
// project; stage set-up fills them from the project's rules
// (play/world/system_switches.h).
struct cCharacterSwitches {
  int32_t jumpScaling = 0;          // jumps of player characters scaled by the stage's jump value
  int32_t stageJumpValue = 0;       // the stage's jump-scaling value
  int32_t ceilingKeepsKnockback = 0;  // a ceiling leaves the knock-back y as it is
  int32_t knockbackCatchUp = 0;     // off: a knock-back that fell behind the speed no longer applies
  int32_t freeJump = 0;             // a jump command starts whenever the character is not busy
  int32_t secondJumpTiming = 0;     // the jump command tests the second-jump word
  int32_t jumpTiming = 0;           // the hero's supported take-off is 2 % stronger
  int32_t keepAirOnModeChange = 0;  // a move-mode change keeps the air state
  int32_t initialFallValue = 0;     // fall counter after a change to a free-vertical mode
  int32_t paletteChange = 0;        // invincible characters show their colour pair
  int32_t steadyColour = 0;         // 8-bit screens: no blinking of hit areas
  int32_t defeatDisplayFrames = 60; // frames a defeated character without an effect stays
  int32_t vanishAtOnce = 0;         // defeated characters go as soon as no death effect runs
  // The colour pairs of the palette change: the draw colour and colour
  // operation an invincible character is drawn with, by its palette colour
  // index (an index outside the table draws it plainly).
  std::vector<DDDRAWSTATE> colourPairs;
};
extern cCharacterSwitches g_CharacterSwitches;

// A size setting of the stage (body and hit sizes, in dots), held to
// 0..4096 so that scaling and offsets stay far inside the integer range
// whatever a stage file holds.
int32_t StageSizeValue(int field);

inline constexpr int kStatusWordCount = 9;
inline constexpr int kTargetSlotCount = 4;
inline constexpr int32_t kGaugeFrames = 120;  // drawn frames a gauge stays
inline constexpr int32_t kGaugeLength = 50;   // dots of a full bar
inline constexpr int32_t kNoBlock = -1;       // foot and landing block: none
inline constexpr int32_t kNoSide = -1;        // last side met: no block yet

// An HP or SP gauge: the bar and the part of it still shown as changing.
struct cGauge {
  int32_t timer = 0;    // drawn frames left
  int32_t length = 0;   // 0..50
  double change = 0;    // bar dots still shown as changing
  double step = 0;      // change per drawn frame
};

// A character that holds this one: in target slot 0..3, or (slot 4) as
// its parent.
struct cTargetedBy {
  class cCharacter* holder = nullptr;
  int32_t slot = 0;
  bool operator==(const cTargetedBy&) const = default;
};
inline constexpr int32_t kParentSlot = 4;

// A word of another object (a shot's target or owner) that points at this
// character; cleared when the character goes. Kind 0 target, 4 owner.
struct cLinkEntry {
  cStageObject* object = nullptr;
  int32_t kind = 0;
  cCharacter** word = nullptr;  // the word to clear
};

// An attacker with its own invincibility timer.
struct cInvincibleEntry {
  int32_t attackerId = 0;
  int32_t timer = 0;
};

// A running animation started by the anime command.
struct cAnimeRun {
  cAnimePlayer player;
  int32_t timed = 0;
  int32_t remaining = 0;
  int32_t extra = 0;
  int32_t flow = 0;   // serial number of the flow that started it
  int32_t held = 0;
};


// The state of a running jump command as the jump operations see it: the
// flow runtime fills it from the command and reads it back.
struct cJumpCommand {
  std::array<int32_t, 5> params{};  // command words: 0 the jump kind, 1..4 the run-speed heights of kind 2
  int32_t heightHbl = 0;     // jump height in half blocks
  int32_t holdLimit = 0;     // sub-steps the key can be held to rise further
  double initialSpeed = 0;   // prepared by PrepareJump (negative: upward)
  int32_t frames = 0;        // tenths of a second the jump lasts
  int32_t duration = 0;      // sub-steps
  int32_t remaining = 0;     // sub-steps left; 0 ends the command
  int32_t firstRun = 1;      // the command has not run yet
  int32_t waited = 0;        // sub-steps waited for a chance to jump
  int32_t started = 0;       // the jump was taken
  int32_t repeat = 0;        // the key-driven repeat word
  int32_t soundId = 0;       // database sound id of the jump
  int32_t soundOnScreenOnly = 0;
  int32_t hasKeys = 0;       // the running flow has key steps
  int32_t keysHeld = 0;      // ... and its last step is held now
};

// Graphic sources of blocks, characters and items.
enum : int32_t {
  kGraphicBlock = 0,
  kGraphicCharacter = 1,
  kGraphicItem = 2,
  kGraphicShot = 3,
  kGraphicSpecialBitmap = 4,  // a picture of the special-bitmap list ("専用bmp")
};
// Where the surface ids of a graphic source point.
enum : int32_t { kSheetsGameTable = 0, kSheetsSpecialBitmaps = 1 };

// The cell scale of a special bitmap (its cells are scale x 32 dots, 16 /
// scale to a row): 1..16, 1 for a record that gives none.
int32_t SpecialBitmapCellScale(const cBmpCharaExcRecord& record);

// Where an anime set keeps the graphic offset of one character option: the
// option's byte (the offset counts while it is not 0), and the stored number
// that holds the offset, a number of one of the set's animations or of the
// set itself (anime kOffsetOfSet). The stored files do not say which numbers
// these are; kAnimeSetGraphicOffsets is the one place that decides it.
inline constexpr int32_t kOffsetOfSet = -1;
struct cAnimeSetOffsetSource {
  int32_t (cEdCharacter::*option)() const;
  int32_t anime;                                  // animation index, or kOffsetOfSet
  int16_t cAnimeRecord::*animeField = nullptr;    // with an animation
  int32_t cAnimeSetRecord::*setField = nullptr;   // with kOffsetOfSet
};
inline constexpr int kAnimeSetOffsetCount = 3;
extern const cAnimeSetOffsetSource kAnimeSetGraphicOffsets[kAnimeSetOffsetCount];
// The offset `source` reads from `set` (0 when the set has no such number).
int32_t AnimeSetGraphicOffset(const cAnimeSetRecord& set, const cAnimeSetOffsetSource& source);

// The picture a character is drawn from: which surfaces and where on them.
// The game table keeps a copy of the character and shot sheets this many
// entries further on (system-memory copies of the same pictures).
inline constexpr int32_t kSheetVariantOffset = 18;
// The shot sheet holds 30 graphics of 16 x 16 dots a column, each graphic two
// cells wide. Stage play keeps it, and its twin mirrored cell by cell, at
// twice the size on the two tile work surfaces (256 x 960): graphic n's first
// cell is the 32-dot square at ((n / 30) x 64, (n mod 30) x 32) on both.
// Blocks, characters and items whose picture is a shot graphic draw from
// there; the work surfaces have no variant further on in the table.
inline constexpr int32_t kShotGraphicsPerColumn = 30;
inline constexpr int32_t kShotSheetCell = 16;
inline constexpr int32_t kShotWorkSurface = SURF_EMPTY_FIRST;
inline constexpr int32_t kShotWorkMirrorSurface = SURF_EMPTY_FIRST + 1;
// Surface `surface` of the game table, or, when `second` asks for the
// variant and the table has it (the entry kSheetVariantOffset further on
// shows the same picture and is loaded), that variant.
int32_t SelectVariantSurface(int32_t surface, int32_t second);
// The sheets are drawn from the primary pair (the video-memory sheets):
// under DirectDraw with "DD_VideoStretch" on; else from their variants.
bool DrawsVideoSheets();

struct cGraphicSource {
  int32_t primary[2] = {-1, -1};    // surface ids (none: -1)
  int32_t sheets = kSheetsGameTable;  // the game's surface table, or the stage's special-bitmap sheets
  int32_t cellScale = 1;            // the cell is cellScale x 32 dots on its sheet
  int32_t x = 0, y = 0;
  // Fills the source of graphic `number` of `kind` (kGraphic...) at `row`
  // (plus `offset` cells where the variant adds it), for `object` (its
  // facing). A character cell outside its sheet gives the fallback graphic,
  // the first cell of the first character sheet; any other source outside
  // its sheet (a shot graphic: outside the shot sheet) gives none.
  void Lookup(int32_t variant, int32_t kind, int32_t number, int32_t row, const cStageObject* object,
              int32_t offset);
  // The surface to draw from: the primary pair while DrawsVideoSheets, else
  // the pair's variants (SelectVariantSurface; the stage's special-bitmap
  // sheets have none); null when there is none.
  DDSURFACEDATA* Surface(int32_t which = 0) const;
  int32_t CellSize() const { return 32 * cellScale; }
  // Graphic `number` of `kind` drawn 16 x 16 with its left/top at (x, y):
  // items from the half-size item sheet, the others scaled down from their
  // 32-dot cells (characters at `row`).
  static void DrawSmall(DDSURFACEDATA* target, int32_t x, int32_t y, int32_t kind, int32_t number, int32_t row);
  static bool IsSameRef(int32_t kindA, int32_t numberA, int32_t kindB, int32_t numberB) {
    return kindA == kindB && numberA == numberB;
  }
};

// Flow runtime (commands/flow_host_impl.cpp): a character is the actor its flows run on.
class cCharacter : public cStageObject, public cFlowActor {
 public:
  cCharacter();
  cCharacter(const cCharacter& other);
  cCharacter& operator=(const cCharacter& other);
  // Unlinks the targets when this character owns its links; leaves no
  // current-object slot of the stage pointing at it.
  ~cCharacter() override;

  // --- slots 7..12: the drawn centre put on a screen point ---
  void SetScreenCentre(int32_t x, int32_t y) override;
  void SetScreenCentreEx(int32_t x, int32_t y, cCmdState* state) override;
  void SetScreenCentreX(int32_t x) override;
  void SetScreenCentreXEx(int32_t x, cCmdState* state) override;
  void SetScreenCentreY(int32_t y) override;
  void SetScreenCentreYEx(int32_t y, cCmdState* state) override;
  void AdjustForScale(int32_t newScale, int32_t oldScale, int32_t flag) override;

  // --- slots 13..20 ---
  virtual void CopyFrom(const cCharacter& other);
  virtual cStageItem* GetOwnItem() { return nullptr; }
  virtual int UpdateX() { return 0; }
  virtual int UpdateY() { return 0; }
  // One sub-step of motion on x: knock-back or the decaying acceleration,
  // MoveX(2), UpdateX. 4 (kStepLeave) for a character that left the map.
  virtual int StepX();
  // PrepareKnockbackY, acceleration of free-vertical characters, MoveY(2),
  // UpdateY; 7 for a falling character below the stage, 8 for a free one
  // that left the map.
  virtual int StepY();
  // The per-sub-step update; 1 when the character is out (HP gone or
  // removed), else 0.
  virtual int Frame(int32_t deathMode);
  cStageScene* BeginFrame();
  // The jump command (one run per sub-step while it lasts).
  virtual void Jump(cJumpCommand& command);

  // --- set-up ---
  // Resets the character's state and copies `definition` (may be null).
  void Init(const cEdCharacter* definition, const int32_t setupWords[4], uint16_t instance, int32_t spare);
  // Rebuilds the animation player's animations from anime set `set` of the
  // database; nothing when !force and it is the definition's set already.
  void SetBasicAnimeSet(int32_t set, int32_t force);
  // The flow states from the definition's flow list (through the hooks).
  void SetFlows();
  void TriggerFlowsOfKind(int32_t kind);
  void ClearFlowFrameFlags();

  // --- position ---
  void SavePosition();
  void RestorePosition();
  void SetBlockX(int32_t column);
  void SetBlockY(int32_t row, int32_t flag);
  void SetBlockPosition(int32_t column, int32_t row, int32_t flag);
  // Body rectangle inside the 32-dot cell (bottom aligned or centred).
  void SetHitRect1(int32_t bottomAligned, int32_t width, int32_t height);

  // --- floor and ceiling ---
  bool IsSupported() const;
  // Standing on the block below: the y motion stops, the jump words clear,
  // the bottom goes to the last dot of the cell above; triggers 9, 13, 15.
  void Land();
  // Bumped a ceiling: the rise ends, the top goes to the first dot of the
  // next cell; triggers 9, 13, 14.
  void HitCeiling();
  void StopVertical(int32_t sideBump);

  // --- HP and SP ---
  // 1 when HP ran out (HP is then 0), else 0.
  int ChangeHp(int32_t delta, int32_t forced, int32_t gauge);
  // 1 when the character has no SP to speak of (maximum below 1).
  int ChangeSp(int32_t delta, int32_t gauge);
  void StartHpGauge(int32_t delta);
  void StartSpGauge(int32_t delta);
  // Draws the gauge while it runs (nothing with a null target) and steps it.
  void DrawHpGauge(DDSURFACEDATA* target);
  void DrawSpGauge(DDSURFACEDATA* target);

  // --- jumps ---
  // Upward start speed that rises `hbl` half blocks under the stage's
  // gravity (0 without gravity).
  double JumpSpeed(int32_t hbl) const;
  // Tenths of a second such a jump lasts.
  static int32_t JumpFrames(double speed);
  // The jump command's preparation: speed, frames, duration.
  void PrepareJump(cJumpCommand& command) const;

  // --- knock-back ---
  void SetKnockback(int32_t strength, double dx, double dy);
  void KnockbackFromCharacter(const cCharacter& attacker);
  void PrepareKnockbackY();
  void DecayKnockbackX();
  void DecayKnockbackY();

  // --- links ---
  // Every link to and from this character is taken away.
  void ClearTargetLinks();
  // Target slot 1 := the hero (registered with it), parent := `parent`.
  void LinkInitialTargets(cCharacter* hero, cCharacter* parent);

  // --- drawing ---
  // Graphic number to draw: the definition's number plus the graphic
  // offsets its anime set gives the options that are on (the table
  // kAnimeSetGraphicOffsets). `colourFlag` 1 with `colour` set to the colour
  // pair of an invincible character (palette change on, Direct3D, a pair
  // for its palette colour index), else 0.
  int32_t GetGraphicNumber(int32_t& colourFlag, DDDRAWSTATE& colour) const;
  // The cell shown now: the running animations' winner or the own player's.
  int32_t StepAnimeRuns(bool noAdvance);
  // Draws the current cell at the screen rectangle, through the running
  // graphic effect when there is one (which advances unless `still`, and is
  // cleared on the frame it ends).
  void DrawBody(DDSURFACEDATA* target, int32_t cell, int32_t still);
  // The defeat display: a running death effect is drawn until it ends; then,
  // or without one, 1 once the stage's defeat display time has passed (with
  // the vanish-at-once flag: 1 as soon as no effect runs).
  int DrawDefeated(DDSURFACEDATA* target, int32_t still);
  // Advances the graphic effect of a character that is not drawn this frame.
  void StepHiddenEffect(int32_t still);

  // Starts animation n by force unless it plays already; a number the
  // character's animation set does not have is passed over (the character
  // keeps its animation) instead of ending the game.
  void PlayAnime(int32_t n);

  const cEdCharacter& Definition() const { return m_Definition; }
  cEdCharacter& Definition() { return m_Definition; }
  int32_t ScaleFactor() const { int32_t s = m_Definition.Scale(); return s < 1 ? 1 : s; }

  // --- members (the class's data model) ---
  // The words that the walks over the stage's characters read or write
  // every sub-step lie together, next to the object's presence and removal
  // words: a walk then touches one or two cache lines of a character it
  // passes over.
  int32_t m_bDying = 0;
  // Non-zero: a block character (solid for other objects; block characters
  // act first in every sub-step). Set at set-up from the definition.
  uint8_t m_byBlockCharacter = 0;
  int32_t m_bRemoved = 0;
  int32_t m_nInvincibleTimer = 0;
  int32_t m_bContactLeft = 0, m_bContactRight = 0, m_bContactUp = 0, m_bContactDown = 0;
  int32_t m_bPinnedX = 0, m_bPinnedY = 0;
  double m_dSavedX = 0, m_dSavedY = 0, m_dSavedRight = 0, m_dSavedBottom = 0;
  std::list<cInvincibleEntry> m_InvincibleList;
  // So do the words the drawing walk reads of every character it draws.
  std::list<cAnimeRun> m_AnimeRuns;
  cGauge m_HpGauge;
  cGauge m_SpGauge;
  int32_t m_nEffectCell = -1;   // the cell last drawn (shown by a death effect)
  int32_t m_bHiddenThisFrame = 0;
  // Whether one of its distance conditions shows its range on the screen:
  // -1 until the drawing walk has looked (again after its definition or
  // flow list changed), then 0 or 1.
  int32_t m_nShowsRanges = -1;
  cGraphicEffectSlot m_Effect;  // graphic effect: start and death displays, the effect command
  // The rest of the data model.
  cCharacter* m_pLinkOwner = nullptr;              // null: owns its target links
  std::vector<cCharacter*> m_Targets;              // 4 target slots
  // The object in target slot `slot`; null for an empty slot or a slot
  // number outside 0..3.
  cCharacter* TargetInSlot(int32_t slot) const {
    return slot >= 0 && static_cast<size_t>(slot) < m_Targets.size() ? m_Targets[static_cast<size_t>(slot)] : nullptr;
  }
  cCharacter* m_pParent = nullptr;
  std::vector<cTargetedBy> m_TargetedBy;
  std::vector<cLinkEntry> m_Links;
  int32_t m_bReportToParent = 0;
  uint8_t m_byParentFlowGroup = 0;
  cEdCharacter m_Definition;
  // Built by the flow hooks; it numbers the flows it makes from a counter of
  // its own, which a new set starts at 0.
  std::unique_ptr<cCharacterFlows> m_pFlows;
  int32_t m_bRemoveFlows = 0;
  std::array<int32_t, 4> m_nSetupWords{};
  int32_t m_bAnimeRequest = 0;
  int32_t m_nAnimeRequest = 0;
  int32_t m_nAnimeRequest3 = 0;
  double m_dKnockbackX = 0, m_dKnockbackY = 0;
  double m_dPrevKnockbackY = 0;
  int32_t m_bKnockedBack = 0;
  int32_t m_nFootBlock = kNoBlock;                 // cell index of the block under the feet
  int32_t m_nStateCounter = 0;
  int32_t m_bSideBump = 0;
  int32_t m_bRiding = 0;                           // resting on something other than a block
  int32_t m_bPositionSaved = 0;
  int32_t m_bRestorePosition = 0;
  int32_t m_nHp = 0;
  int32_t m_nSp = 0;
  std::vector<int32_t> m_Status;                   // 9 status words
  int32_t m_nSight = 0;                            // dots
  cHitRect m_Hit1;                                 // body: contacts between characters
  cHitRect m_Hit2;                                 // attack: shots and swords
  int32_t m_nDefeatCounter = 0;
  int32_t m_bVanishAtOnce = 0;  // defeated: gone as soon as no death effect runs

  // Work words of a frame and of the block collision.
  int32_t m_bAirborne = 1;
  int32_t m_bJump1 = 0, m_bJump2 = 0;
  int32_t m_nJumpEnd = 0;
  int32_t m_bPendingJump = 0;
  int32_t m_bStanding = 0;
  int32_t m_nFallCounter = 0;
  int32_t m_nLastSide = kNoSide;  // 0 after a block on the left, 1 on the right
  int32_t m_nLandingBlock = kNoBlock;
  int32_t m_nCarriedById = 0;
  int32_t m_nLastPusherId = -1;   // block character that pushed it sideways
  double m_dPusherX = 0;          // its x when it pushed
  int32_t m_nFrameCounter = 0;

  // Block collision (rules/block_collision.cpp): where the block character this
  // one rides (m_nCarriedById) stood when the ride was last confirmed.
  double m_dCarrierX = 0, m_dCarrierY = 0, m_dCarrierRight = 0, m_dCarrierBottom = 0;
  // ---- end of block collision ----

  // ---- Play frame (scene, stage/play_frame.cpp): per-sub-step bookkeeping ----
  // Invincibility timer - 1 (never below 0); every attacker entry - 1, and
  // entries that reach 0 are dropped.
  void CountDownInvincibility();
  // The four contact flags := 0.
  void ClearContactFlags();
  // The fall of one sub-step: speed y += the stage's gravity per sub-step,
  // unless the character flies, rides, was stopped this frame or is knocked
  // upward. (Shots fall by the object form, cStageObject::ApplyGravity.)
  void ApplyGravity();
  // ---- end of play frame ----

  // ---- Damage, defeat and anime runs (combat, rules/damage.cpp) ----
  // Invincibility for the stage's time of this character's side, in
  // sub-steps; From also keeps `attackerId` off for its own time.
  void StartInvincibility();
  void StartInvincibilityFrom(int32_t attackerId);
  bool IsInvincible() const { return m_nInvincibleTimer > 0; }
  bool IsInvincibleTo(int32_t attackerId) const;
  // Damage of a body contact / of a shot or sword: power less defence,
  // held in 0..999999, the hit effect, the knock-back. 1 when HP ran out.
  int TakeBodyHit(cCharacter& attacker);
  int TakeAttackHit(class cShot& attack);
  // Triggers 1/18 (power) and 2/19 (impact) of a hit just taken.
  void RaiseBodyHitTriggers(cCharacter& attacker);
  void RaiseAttackHitTriggers(cShot& attack);
  // Knock-back from a shot: along its facing when it has no motion of its
  // own, else along its speed.
  void KnockbackFromShot(const cShot& attack);
  // The defeat: death flows, score, the carried item's reaction, then the
  // death display. 1 when the stage must end, else 0.
  int Defeat();
  // Starts the flows of trigger `kind` with `context` and flow group
  // `group` (0 all) through the flow hooks.
  void TriggerFlows(int32_t kind, cCharacter* context, int32_t group);
  // Anime runs of the flow with serial number `flow`.
  void RemoveAnimeRuns(int32_t flow);
  void HoldAnimeRuns(int32_t flow);
  void ReleaseAnimeRuns(int32_t flow);
  // ---- end of damage, defeat and anime runs ----
};

// The stage's hero as a character, or null when no stage runs.
cCharacter* FirstHero();
// The hero records first, then the stage characters; null when absent.
cCharacter* FindObjectById(int32_t id);

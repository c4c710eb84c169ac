// The stage-play scene (scene 4): the running stage's own state and the
// eight modes it moves through (fade-in, start banner, play, pause menu,
// result, continue menu, game over, fade-out).
//
// Objects live in node lists (std::list), so an object never moves while a
// target link, a current-object slot or a list walk points at it. A walk that
// removes objects marks them and unlinks them once it has moved on.
//
// Threads: the scene runs on the game thread. The quit request of the base is
// written by the main window's thread; the frame-keeping loops of message
// waits draw through the same scene while the game thread waits for them.
#pragma once

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <set>
#include <string>
#include <functional>
#include <limits>
#include <vector>

#include "data/record.h"
#include "data/stage_data.h"
#include "data/stage_load.h"
#include "flow/flow_state.h"
#include "play/world/block_map.h"
#include "play/world/screen_effect.h"
#include "play/world/shot_order.h"
#include "play/world/stage_draw.h"  // Running stage and drawing: cStageLayers
#include "play/world/stage_object.h"
#include "scene/scene.h"

class cCharacter;
class cInput;
class cStageCharacter;
class cStageItem;
class cHero;
class cShot;
class cMessageWindow;
struct cMessageSettings;
class cEffectObject;
struct cShownPicture;  // fxobj: pictures of the picture command
class cFlowState;
class cCmdState;

// Modes of the stage scene, in the order of its handler table.
enum StageMode : int32_t {
  kStageModeNone = -1,  // not initialised: the next Run enters the scene
  kStageModeFadeIn = 0,
  kStageModeBanner = 1,
  kStageModePlay = 2,
  kStageModePause = 3,
  kStageModeResult = 4,
  kStageModeContinue = 5,
  kStageModeGameOver = 6,
  kStageModeFadeOut = 7,
  kStageModeCount = 8,
};

// What every check of the play frame answers.
enum StageCheck : int32_t {
  kCheckGoOn = 0,
  kCheckStageEnd = 1,  // the stage ends: EndStage and the result mode
  kCheckKilled = 2,    // the object tested (or the hero) is killed
};

// The stage-end request that flow commands write and the play frame reads
// once per sub-step, after the hero has acted.
enum StageEndRequest : int32_t { kEndNone = 0, kEndClear = 1, kEndKillHero = 2 };

// System sound numbers the stage scene plays.
enum StageSound : int32_t {
  kSoundDecide = 1,
  kSoundCancel = 2,
  kSoundBuzzer = 3,
  kSoundPause = 4,
  kSoundGenre = 6,
  kSoundHit = 7,
  kSoundHeroDeath = 8,
  kSoundEnemyDeath = 9,
  kSoundSpring = 10,
  kSoundMessage = 11,
  kSoundMessageDecide = 12,
  kSoundTimeWarning = 13,
  kSoundClear = 14,
  kSoundExtraLife = 15,
  kSoundRanking = 16,
};

// Sizes of the scene's fixed vectors.
inline constexpr int kStageVariableCount = 1000;
inline constexpr int kGroupWakeUpCount = 60;
inline constexpr int kGroupCount = 8;
inline constexpr int kResultValueCount = 5;
inline constexpr int kPauseRowCount = 4;
inline constexpr int kBannerFrames = 80;  // frames a start banner stays
inline constexpr int32_t kTimeLimitMax = 999;
inline constexpr int32_t kNoLifeCountdown = 0x7fffffff;
// Sub-steps a frame runs at most. The editor's speed levels give 1..9; a
// stage file with a wild level (millions) would otherwise freeze the game
// in one frame and ask for a flag per sub-step.
inline constexpr int32_t kMaxSubSteps = 1000;
// The sub-steps of one frame of the working stage: 1..kMaxSubSteps.
int32_t SubStepsPerFrame();

// Forced scroll and the view range of one axis, in dots. The position is the
// view's left (or top) edge in map dots, the map carrying a margin of ten
// blocks on every side. What the objects read of it (position, at-limit,
// step, the scroll range as rangeLow/rangeHigh, the stage area) is the
// cAxisView part.
class cAutoScroll : public cAxisView {
 public:
  // Keeps the view inside [rangeLow, rangeHigh]; atLimit tells whether it
  // touched an end.
  void Clamp();
  // One sub-step of forced scroll, then Clamp.
  void Step();
  // Forced scroll on at `speed` tenths of a dot a frame (spread over the
  // frame's sub-steps by the stage's frame scale `frameScale`), or off.
  void Start(int32_t on, int32_t speed, double frameScale);
  // The view range: from block `first` when limitFirst, else from the map's
  // edge; to the end of block `last` when limitLast, else to the full extent.
  void SetRange(int32_t first, int32_t last, int32_t limitFirst, int32_t limitLast);

  int32_t m_nViewSize = 640;   // 640 or 480
  int32_t m_nBase = 320;       // the ten-block margin in dots
  int32_t m_nFullUpper = 0;    // (extent - margin) x 32, at least 0
  int32_t m_nExtent = 20;      // size in blocks + 20
  int32_t m_nBitCount = 0;     // bits of a map row's width (x only)
  int32_t m_bActive = 0;
};

class cStageScene : public cStageSceneBase {
 public:
  using ModeHandler = int (cStageScene::*)();

  cStageScene();
  ~cStageScene() override;
  cStageScene(const cStageScene&) = delete;
  cStageScene& operator=(const cStageScene&) = delete;

  int Run() override;
  int Enter() override;
  int FadeIn() override;    // mode 0
  int FadeOut() override;   // mode 7
  int RunStartBanner();     // mode 1
  int RunPlay();            // mode 2 (stage/play_frame.cpp)
  int RunPauseMenu();       // mode 3
  int RunResult();          // mode 4 (stage/stage_end.cpp)
  int RunContinueMenu();    // mode 5
  int RunGameOver();        // mode 6

  // Space with pausing allowed: sound 4, the mode and sub-state saved; 1.
  int CheckPauseKey();
  // F1 saves the running attempt as a replay, F2 the one before; 1 while a
  // save was asked for (the caller ends its frame).
  int CheckReplaySaveKeys();
  // Enter's reset of the attempt's counters (lives, score, sums, scroll).
  void ResetPlayCounters();
  void SetMode(int32_t mode) { m_nMode = mode; }
  // Pause rows of the play mode (system texts 19..22, gated by the settings
  // and the progress).
  void BuildPauseRows();
  bool IsCurrentWorldCleared() const;
  bool IsCurrentChallengeCleared() const;
  void DrawMenuCursor();
  // The hero's animation as the play begins (2 for a free-vertical hero).
  void SetHeroStartAnime();

  // ---- set-up (stage/stage_setup.cpp) ----
  // Builds the running stage from the working stage (restored from the
  // master copy when bLoadStage). bFirst: the first start of this stage (a
  // retry leaves the music playing).
  void SetStage(int32_t bLoadStage, int32_t bFirst);
  // The flags of the sub-steps in which hits are resolved.
  static std::vector<int32_t> BuildHitCheckSteps(int32_t subSteps, int32_t checksPerFrame);
  // Scroll layout of both axes from the working stage.
  void LayOutScroll();
  // The steps of SetStage that build the stage's objects.
  void DestroyObjects();
  void PlaceHero();
  // The hero's HP and SP carried over from the stage before (play record
  // parts 11 and 12), when the play record keeps them.
  void RestoreCarriedCounters(cHero& hero);
  void PlaceCharactersAndItems();
  void IndexGroups();
  void GatherCharactersIntoLargePages();
  void StartStageMusic(int32_t bFirst);
  // Trigger 21 ("before the stage starts") of the hero and the characters.
  void RaiseStageStartFlows();

  // ---- stage end (stage/stage_end.cpp) ----
  // A clear: sound 14, the award, the result values; the caller enters mode 4.
  void EndStage();
  void AwardStageClear();
  // A character's Frame reported it dead or gone: 0 go on, 1 the stage ended
  // (mode 4 already set), 2 the hero was killed.
  int HandleCharacterKilled(cCharacter& character);
  // The hero was killed by a check: the log line (when given), sound 8,
  // Defeat, and EndStage with mode 4 when the defeat ends the stage.
  void KillHero(const char* logLine);
  // The end of the hero's death sequence: replay restart, game over, continue
  // menu or a retry.
  void FinishHeroDeath();
  // EndStage and the result mode.
  void EnterResult();
  // The hero's defeat: its death sequence starts; 1 when the stage ends.
  int DefeatHero();
  // What a character's defeat leads to: 0, 1 the stage ends, 2 the hero dies.
  int CheckCharacterDefeat(cCharacter& character);
  // The restore-variables option of the current play mode.
  static bool RestoreVariablesOption();
  // 1: the scene's next stage number names no next stage file.
  int IsFinalStage();
  // The next file of a chain; 0 (out empty) when there is none.
  int MakeNextStageFileName(std::string& out, int32_t n);
  // Next scene id when the result screen is left.
  int32_t Tally();
  // ---- result screen and ranking registration (stage/stage_result.cpp) ----
  // Reads the ranking file of the current play mode and stage (on entry).
  void LoadStageRanking();
  // The places the result values take in the stage's ranking (EndStage).
  void FindRankingPositions();
  // Registers the result once (never in a replay or test play), saves the
  // ranking file and shows the list until decide; 1 when it registered.
  int RunRankingEntry();
  // The result screen over the drawn frame: the ranking hint or the play
  // record box once the count is done.
  void DrawResultScreen(bool rankingHint);
  // Whether the result screen shows the registration hint instead of the
  // key hint (a manual registration not done yet with a place won).
  bool WantsRankingHint() const;
  // The after-clear action of the current world: 0 none, 1 a new round,
  // 2 back to the title.
  static int32_t CurrentAfterClearAction();
  // Asks for the ranking name (text-entry dialog); `name` comes in with the
  // last one used. Set by the front end; null keeps the name given.
  static void (*s_pAskRankingName)(std::string& name);
  // F3, the key of a manual registration, read from the keyboard.
  static bool RankingKeyDown();
  // ---- end of result screen block ----

  // ---- Waits and stage commands (commands: stage/stage_end.cpp, commands/action_commands.cpp) ----
  // The frame keeper of a wait (game wait, extra-life message, message
  // commands): the stage is drawn still and presented frame by frame while
  // nothing moves, until the wait state set by SetWaitState is over (its
  // frames counted down, or decide pressed when it waits for decide) or the
  // window closes. Each frame polls the input, latches its buttons and
  // checks the replay save keys (a frame that saves a replay counts nothing
  // down). Runs on the game thread; the frames presented.
  int32_t KeepFramesWhileWaiting();
  // The pacing of one kept frame (WaitFrameTime); tests put in a pacer that
  // does not sleep.
  static void (*s_pWaitPacer)();
  // Whether a kept frame is drawn and presented: always in a real run. Tests
  // that keep an hour of frames turn it off; the wait polls, counts and
  // ends on decide as it does with it on.
  static bool s_bWaitDrawsFrames;
  // The most frames a timed wait's counters hold (message, picture, effect
  // and game waits): a longer stored time waits this long. A wait for
  // decide has no bound: it waits until decide, or until the window closes
  // (which is also how a scripted run ends inside one).
  static constexpr int32_t kMaxWaitFrames = std::numeric_limits<int32_t>::max();
  // What a frame-keeping wait (the message waits and the ranking list)
  // does before its own step each pass.
  struct cFrameKeeper {
    bool recordHistory = true;  // the message waits keep the key history going
    bool quitSeen = false;      // the quit flag was seen ...
    uint32_t quitSeenAt = 0;    // ... at this time of the platform clock (ms)
    bool closing = false;       // the wait ended because the window is closing
    // Where a kept frame's input comes from when not from the devices (a
    // replay's log, or the devices with the polled words kept for the log);
    // false ends the wait.
    std::function<bool(cInput&)> input;
  };
  // One pass: false when the wait must end (the thread's end-of-wait
  // message or WM_QUIT arrived, or kQuitGraceMs have passed on the platform
  // clock since the quit flag was seen). `frame` tells whether this pass is
  // a kept frame (paced, surfaces restored, input polled, buttons latched),
  // or an idle one (the program inactive, or the window closing: 1 ms
  // slept). Messages for windows of this thread are dispatched.
  bool KeepFramePass(cFrameKeeper& keeper, bool& frame);
  // A wait that ended for the window's close asks the window to close
  // (without asking again), whatever mode the stage goes on in.
  void EndWaitForClose(const cFrameKeeper& keeper);
  // Replay playback, a wait for decide the viewer ended: reads the rest of
  // its recorded frames, up to the player's own fresh decide.
  void SkipRecordedWait(const cFrameKeeper& keeper);
  static constexpr uint32_t kQuitGraceMs = 2000;
  // ---- message windows (objects/message_window.cpp) ----
  // Windows open at once at most this many; the message command drops the
  // oldest beyond it.
  static constexpr size_t kMaxMessageWindows = 64;
  // Steps and draws every window (DrawFrame), removing the finished ones.
  void UpdateMessageWindows(DDSURFACEDATA* back, int32_t still);
  // ---- end of message windows ----
  // The position mode of the pop-ups over the hero: above it.
  static constexpr int32_t kMessageAboveHero = 4;
  // A window appended to the stage's list (the oldest dropped beyond
  // kMaxMessageWindows), and a window taken out of it again.
  std::shared_ptr<cMessageWindow> AddMessageWindow(const cMessageSettings& settings);
  void RemoveMessageWindow(const std::shared_ptr<cMessageWindow>& window);
  // Extra lives awarded at one clear that show their message and wait;
  // beyond it the lives are still counted (and capped at 99) silently.
  static constexpr int32_t kMaxExtraLifeMessages = 99;
  // ---- end of waits and stage commands ----

  // ---- the play frame's helpers (stage/play_frame.cpp) ----
  // One sub-step i (1-based); false: the frame ends without drawing.
  bool RunSubStep(int32_t i);
  bool RunBlockCharacters();
  bool RunHero();
  bool RunOrdinaryCharacters();
  bool RunShots(int32_t i);
  // A character's Frame reported it out / its moves killed it; false ends
  // the frame.
  bool HandleFrameOut(cStageCharacter& character);
  bool HandleMoveKill(cStageCharacter& character);
  void SweepOutsideRemovalAreas();
  // Removal during a walk only marks the object (walks skip marked ones);
  // FlushRemovals unlinks (target links, group index, list) and destroys
  // them at the end of the sub-step or frame.
  void FlushRemovals();
  void RemoveCharacter(cStageCharacter& character);
  void RemoveItem(cStageItem& item);
  bool IsDoomed(const cStageObject& object) const { return object.m_RemovalMark.on; }
  // Characters and items marked and not yet flushed.
  size_t m_nDoomed = 0;
  // Counts every character marked and every flush, so that what was
  // gathered from the marks is gathered again (BlockCharacters).
  uint32_t m_nRemovalCount = 0;
  // 1 when the hits of sub-step `step` (1-based) are resolved.
  int32_t IsHitCheckStep(int32_t step) const;
  // The hero (element 0 of the hero list).
  cHero& Hero();
  bool HasHero() const { return !m_HeroList.empty(); }
  // The hero is dead or dying: the frame skips what needs a live hero.
  bool IsHeroDying();

  // ---- state (in the order of the scene's data model) ----
  int32_t m_nMode = kStageModeNone;
  int32_t m_nSubState = 0;
  std::array<ModeHandler, kStageModeCount> m_Handlers{};
  int32_t m_nSavedMode = 0;
  int32_t m_nSavedSubState = 0;
  int32_t m_nEndRequest = kEndNone;  // StageEndRequest
  cAutoScroll m_ScrollX;
  cAutoScroll m_ScrollY;
  // Shots, message windows and effects come with their own kinds of object;
  // their lists stay empty until then.
  std::list<std::shared_ptr<cShot>> m_ShotList;
  cShotOrder m_ShotOrder;  // the list's shots as an array in list order, for the walks (shot_order.h)
  std::vector<std::list<cCharacter*>> m_CharacterGroups;  // 8 lists: the characters of each group
  std::vector<std::list<cShot*>> m_ShotGroups;            // 8 lists: the shots of each group
  std::vector<cShot*> m_MarkedShots;  // shots flagged for removal since the last FlushShots
  size_t m_nCancellerShots = 0;       // shots in the groups whose definition cancels other shots
  std::list<std::shared_ptr<cMessageWindow>> m_MessageWindows;
  std::list<std::shared_ptr<cEffectObject>> m_Effects;
  // ---- fxobj: pictures and the drawing of effect objects ----
  // Pictures of the picture command, in the order they were shown.
  std::list<std::shared_ptr<cShownPicture>> m_Pictures;
  // Steps and draws every effect object, removing the finished ones.
  void DrawEffectObjects(DDSURFACEDATA* dst, int32_t still);
  // Counts, places and draws the pictures of one layer (front 0: behind
  // the objects), removing the finished ones.
  void DrawPictures(DDSURFACEDATA* dst, int32_t still, int32_t front);
  // ---- end fxobj ----
  uint16_t m_wVirtualBackBuffer = 0;  // non-zero: DrawFrame switches the virtual back buffer on
  // >>> screen effects
  cScreenEffectSlot m_ScreenEffect;  // the running screen effect (number 0: none)
  // The handlers' surfaces and the hero's centre for this frame.
  cScreenEffectView ScreenEffectView();
  // <<< screen effects
  // Message waits: kind (1: decide plays sound 12), delay frames, wait for
  // decide, frames to wait, spare.
  int32_t m_nWaitKind = 0;
  int32_t m_nWaitDelay = 0;
  int32_t m_bWaitForDecide = 0;
  int32_t m_nWaitFrames = 0;
  int32_t m_nWaitSpare = 0;
  void SetWaitState(int32_t kind, int32_t waitForDecide, int32_t frames, int32_t noDelay);
  // The quit flag is the base's m_nQuitRequest (written by the main window).
  cCharacter* CurrentCharacter = nullptr;
  cFlowState* CurrentFlow = nullptr;
  cCmdState* CurrentCommand = nullptr;
  int32_t m_nStepIndex = 0;  // 1-based sub-step of this frame
  int32_t m_nStepCount = 0;  // sub-steps since SetStage
  std::vector<int32_t> m_HitCheckSteps;
  int32_t m_nTimeLeft = 0;       // seconds, 0..999
  int32_t m_bTimeLimitOff = 0;
  int32_t m_nFramesPlayed = 0;   // for the clear time
  int32_t m_nClearTime = 0;      // hundredths of a second, 0..599999
  int32_t m_nBannerCounter = 0;
  int32_t m_nBanner2Counter = 0;
  uint32_t m_nRandomSeed = 0;
  int32_t m_bButtonLatch = 0;    // 1: the play frame clears buttons until all are released
  int32_t m_bLifeCheck = 0;      // the life-check request
  std::vector<int32_t> m_StageVariables;  // exactly 1000
  std::vector<uint8_t> m_GroupWakeUp;     // exactly 60
  int32_t m_bRemoveCharacters = 0;  // removal switches: ordinary characters,
  int32_t m_bRemoveBlockCharacters = 0;  // block characters,
  int32_t m_bRemoveItems = 0;            // items
  int32_t m_nFrameCounter = 0;   // frames since SetStage
  int32_t m_nNextStageNumber = 0;
  std::string m_strNextStageName;  // ends with "." when set
  int32_t m_bNewRanking = 0;
  std::vector<int32_t> m_RankingPositions;  // 5; -1 not ranked
  std::vector<int32_t> m_ResultValues;      // 5: the ranking's values, taken at a chain's end
  int32_t m_bRankingRegistered = 0;
  cSafeVector<cCmd> m_PauseRows;  // the pause menu's 4 rows, rebuilt every frame of mode 3
  int32_t m_nResultCounter = 0;

  // The running stage's objects.
  std::list<cHero> m_HeroList;  // exactly one while a stage runs
  std::list<cStageCharacter> m_CharacterList;
  std::list<cStageItem> m_ItemList;
  // The flows of each character type, prepared once and shared by the
  // characters of the type (set up or summoned); emptied with the objects.
  cPreparedFlowCache m_PreparedFlows;
  cBlockMap m_BlockMap;
  cBlockMap& BlockMap() { return m_BlockMap; }
  // Counters of the objects' ids (hero and characters) and of the items.
  int32_t m_nObjectIdCounter = 0;
  int32_t m_nItemCounter = 0;

  // The hero's character record as the loaded stage placed it (kept for
  // retries: SetStage restores it over the working stage's).
  static cEdCharacter KeptHeroRecord;

  // ---- the "stage" helper's operations (stage/running_stage.cpp, stage/stage_draw.cpp) ----
  // Running stage and drawing (stage/running_stage.cpp, stage/stage_draw.cpp)
  // Creates the copies of one placed character record on stage block
  // (column, row) (the map's margin added); copies outside the stage are
  // dropped without taking an id. The number of copies kept. `flag` is
  // handed to the copies' set-up as their spare word.
  int CreateCharacter(std::list<cStageCharacter>& list, int32_t column, int32_t row, int32_t& idCounter,
                      const cEdCharacter& definition, int32_t flag);
  // The project's keep-start-position switch: a copy's step leaves its
  // start position (set-up words 0 and 1) where the record put it. Off in a
  // new project; stage set-up sets it from the project's rules.
  static int32_t s_bKeepStartPosition;
  // The summon command's placement test: the copy is tried at its place, one
  // dot higher, one dot to the left, and one dot left and higher; the first
  // place that no stopping block or live character takes keeps it there.
  // False when all four are taken.
  bool FindSummonPlace(cStageCharacter& character);
  // One run of a block summon: the command's summon mode (0 place, 1 erase,
  // 2 place where empty and erase where a block stands), its two
  // do-not-squeeze bytes, the project's summon-over-conditional-blocks
  // switch, and the cells the run has toggled already (mode 2 changes a
  // cell once per run).
  struct cBlockSummon {
    int32_t mode = 0;
    int32_t keepHero = 0;        // a block that would squeeze the hero is taken back
    int32_t keepCharacters = 0;  // the same for live, acting characters
    int32_t overConditional = 0; // only the protected byte stops a summon
    std::vector<int32_t> toggled;
  };
  // Changes the block cell under dot (x, y); nothing outside the map.
  void SummonBlock(double x, double y, const cEdBlock& block, cBlockSummon& run);
  // After a block was written into `cell` (map column, row): every object it
  // would squeeze gets state counter 2; 1 when the placement must be taken
  // back (a do-not-squeeze byte covers a squeezed object).
  int PlacedBlockSqueezes(int32_t cell, int32_t column, int32_t row, const cBlockSummon& run);
  // One placed item at map cell (column, row); false when it lies outside
  // the stage (it is not kept and takes no id).
  bool CreateItem(std::list<cStageItem>& list, int32_t column, int32_t row, int32_t& idCounter, const cEdItem& record);
  // Once per sub-step before anything moves: which objects exist, are on
  // screen and act.
  void ActivateObjects();
  // Its parts: the characters' presence, screen and group tests (with the
  // hero's presence); deciding whether one character acts (after every
  // character had its chance to wake its group); the items' presence.
  void ActivateCharacters();
  void DecideActing(cStageCharacter& c);
  void PrefetchForActing(const class cCharacterLookAhead& ahead);
  // ActivateCharacters in pieces: the hero's presence and the group flags
  // cleared, then each character's tests.
  void StartActivation();
  void ActivateCharacter(cStageCharacter& c);
  void PrefetchForActivating(const class cCharacterLookAhead& ahead);
  void ActivateItems();
  // No item of the stage has appearance conditions: the items' presence
  // then reads nothing of the characters.
  bool ItemsTestNoConditions() const;
  // Appearance conditions (subject: the character itself; for items the hero).
  bool CheckCharacterConditions(cStageCharacter& character);
  bool CheckItemConditions(cStageItem& item);
  // Once a play frame: 1 when the time limit runs out now.
  int CountDownTime(int32_t delta);
  void CountClearTime();
  // Input record 0 made fresh for a new stage; the history trim's result.
  int ResetInput();
  // The stage's music: WM_USER+6 with sub-code 4 and the track, looping
  // when `keep` is set (0 plays it once).
  void PlayStageBGM(int32_t track, int32_t keep);

  // The frame, back to front (playing: the play frame; still: nothing moves;
  // timeWarningSound: the time-limit warning may sound; keyHint: the test-play
  // hint line).
  void DrawFrame(int32_t playing, int32_t still, int32_t timeWarningSound, int32_t keyHint);
  void ScrollBackgroundLayers();
  void DrawBackgroundLayers(DDSURFACEDATA* lpDst, int32_t layer);
  void DrawBlockLayer(DDSURFACEDATA* lpDst, int32_t layer);
  void DrawHUD(DDSURFACEDATA* lpDst);
  void DrawStageDigits(DDSURFACEDATA* lpDst, int32_t soundFlag);
  // The ranges of the distance conditions that ask to be shown: those of the
  // characters' appearance conditions, then those of their flows' conditions
  // (the blink counter steps once a call).
  void DrawPositionConditions(DDSURFACEDATA* lpDst);
  // The two tile work surfaces made anew: the shot sheet and its mirrored
  // twin at twice their size (the sheets of enlarged shots).
  void ClearWorkSurfaces();
  void ReleasePictures();
  // The hero's sight mask for its sight radius and shape (none without a sight).
  void BuildHeroSightMask();
  // The view the backgrounds and blocks are drawn for.
  cBackgroundView BackgroundView() const;
  // The per-stage sheets of the database's bitmaps (m_Layers.m_Bitmaps).
  void LoadCharacterBitmaps();
  void LoadSwordBitmaps();
  void LoadEffectBitmaps();
  // The hero, or its death display; at the display's end FinishHeroDeath.
  void DrawHero(DDSURFACEDATA* lpDst, int32_t still);
  // One character; false when its death display has ended (the caller
  // removes it).
  bool DrawCharacter(DDSURFACEDATA* lpDst, cStageCharacter& character, int32_t still);
  cStageLayers m_Layers;
  // Set when a work surface lost its contents: DrawFrame clears them first.
  int32_t m_bWorkSurfaceDirty[2] = {};
  // ---- end of the "stage" helper's operations ----

  // ---- block map and collision (block_map.cpp, rules/block_collision.cpp) ----
  // The collision operations themselves are members of m_BlockMap; these
  // are the ones that also need the scene's character list.
  // 1 when a stopping block or a live block character takes the object's place.
  int IsPlaceBlocked(cCharacter& object);
  // Block characters against one object (the hero or a character): pushes,
  // standing on and ceilings; 2 when the object is caught between them (or
  // a touch is deadly to it), else 0.
  int ResolveCharacterContacts(cCharacter& object);
  // Moves an object riding a block character with its carrier; always 0.
  int CarryRider(cCharacter& object);
  // HP after the hits: the hero at 0 HP is defeated (1); characters at 0 HP
  // are handed to HandleCharacterKilled (1 when that ends the frame); 0.
  int CheckLifePoints();
  // The block characters of the character list, gathered once per sub-step
  // (and again when the list grows): the contact checks of every character
  // then cost one pass over them, not over the whole list. Characters leave
  // the list only between sub-steps (FlushRemovals) or in SetStage, which
  // rebuilds the block map; both start a new gathering.
  const std::vector<cStageCharacter*>& BlockCharacters();
  std::vector<cStageCharacter*> m_BlockCharacters;
  // What tells that the character list changed, short of a removal: its
  // size and its first and last nodes (the caches below add a counter of
  // removals).
  struct cCharacterListShape {
    size_t size = 0;
    const void* first = nullptr;
    const void* last = nullptr;
    bool operator==(const cCharacterListShape&) const = default;
  };
  cCharacterListShape CharacterListShape() const;
  struct cBlockCharactersKey {
    uint32_t mapBuild = 0;
    int32_t step = -1;
    cCharacterListShape list;
    uint32_t removals = 0;
    bool operator==(const cBlockCharactersKey&) const = default;
  } m_BlockCharactersKey;
  // ---- end of block map and collision ----

  // ---- Play frame (stage/play_frame.cpp): the list order for look-aheads ----
  // The character list's nodes in list order, gathered again when the list
  // changed (its size, first or last node, or a flush). Walks take the
  // addresses of the characters some places ahead from it
  // (cCharacterLookAhead) instead of following the links one by one; the
  // entries are addresses only, never read through.
  const std::vector<cStageCharacter*>& CharacterOrder();
  std::vector<cStageCharacter*> m_CharacterOrder;
  // No character of the list has appearance conditions or wakes a group:
  // one character's presence and acting then read nothing of the others,
  // and the bookkeeping of the characters before it changes nothing its
  // tests read (gathered with the list order).
  bool CharactersActivateAlone();
  bool m_bCharactersActivateAlone = true;
  struct cCharacterOrderKey {
    cCharacterListShape list;
    uint32_t flushes = 0;
    bool operator==(const cCharacterOrderKey&) const = default;
  } m_CharacterOrderKey;
  uint32_t m_nCharacterFlushes = 0;  // FlushRemovals that took characters out
  // Set by RunPlay: the stage characters' flow frame flags and pins are
  // cleared in the bookkeeping walk of the frame's first sub-step.
  bool m_bFrameFlagsPending = false;
  // The per-sub-step bookkeeping of one character (life countdown,
  // invincibility, contacts, saved position; with `clearFrameFlags` its flow
  // frame flags and pins).
  void BookKeep(cStageCharacter& character, bool countLife, bool clearFrameFlags);
  // Block characters not marked for removal when the bookkeeping walk of
  // sub-step m_nBlockCountStep ended: with none, the block characters' walk
  // right after it has nothing to do.
  size_t m_nLiveBlockCharacters = 0;
  int32_t m_nBlockCountStep = -1;
  cCharacterListShape m_BlockCountShape;  // the list's when that walk ended
  // ---- end of the list order ----

  // ---- Flow commands (commands/commands.cpp) ----
  // Set by an item's message command: later message commands of the same
  // item run continue its window. Cleared when an item run starts.
  int32_t m_bItemMessage = 0;
  // ---- end of flow commands ----

  // ---- Hits, shots and summons (combat: rules/hits.cpp, objects/shot.cpp, objects/summon.cpp) ----
  // Shots against characters, body contacts and shots against shots of one
  // sub-step: 0, 1 (the stage ends) or 2 (the hero dies).
  int CheckHits();
  // The hero against the items: 0 or the first non-zero reaction result.
  int TakeItems(cHero& hero);
  // What taking item `item` does to the hero (its reaction record): nothing
  // (0) without an item, with the record off (`on` 0: a carried-item slot
  // that holds none), for an item that cannot be taken or one without
  // commands; otherwise the pop-up above the hero when the item asks for
  // one, its sound, then its commands: 0, 1 (the stage ends) or 2 (the hero
  // died).
  int RunReactionRecord(const cEdItem* item, cHero& hero, int32_t on = 1);
  // The shots of the sub-step: moved, tested against the removal area (on
  // step 1) and the blocks; those that end are removed.
  void MoveShots(int32_t step);
  // A new shot in the stage's list and its group; null when the stage holds
  // the most shots it may.
  cShot* AddShot();
  // Enters a set-up shot from AddShot in the list of its group.
  void GroupShot(cShot& shot);
  // The summon command's options for the characters it places.
  struct cSummonOptions {
    int32_t placeCheck = 0;  // try the place and three beside it (FindSummonPlace)
    int32_t timed = 0;       // the character leaves after `time` tenths of a second
    int32_t time = 0;
  };
  // A summoned character (a copy of `definition`) at world (x, y), facing
  // `facing`, in group `group`; null when refused (outside the stage, or no
  // free place with the place check).
  cStageCharacter* SummonCharacter(const cEdCharacter& definition, double x, double y, int32_t facing,
                                   int32_t group, cCharacter* parent, const cSummonOptions& options);
  cStageItem* SummonItem(const cEdItem& definition, double x, double y);
  int32_t m_nShotCounter = 0;    // ids of shots
  int32_t m_bShotCapLogged = 0;  // the shot cap has been reported
  // ---- end of hits, shots and summons ----
};

// ---- Waits and stage commands (commands) ----
// Project switches of the warp and object-state commands, with a new
// project's values; stage set-up fills them from the project's rules
// (play/world/system_switches.h).
struct cCommandSwitches {
  int32_t warpAxis = 0;     // an input-direction warp keeps the axis mode (off: every warp is free)
  int32_t screenWarp = 0;   // block and screen warps put every character on cells / at its margin
  int32_t scaleNoCountdown = 0;  // a change of scale leaves the state countdown alone
};
extern cCommandSwitches g_CommandSwitches;
// Target slot `slot` (0..3) of `character` := `object`, keeping both sides'
// links: with `clear` 0 a null object leaves the slot as it is, with it set a
// null empties the slot (commands/target_commands.cpp).
void SetTargetSlot(cCharacter& character, int32_t slot, cCharacter* object, int32_t clear);
// ---- end of waits and stage commands ----

// The stage scene that exists now (null when none): what flow commands and
// the frame-keeping loops act on.
cStageScene* CurrentStageScene();

// Stage play's running-game globals that no other layer holds.
// (The editor flag, bFromEditor, is the program's: base/program.h.)
extern int32_t bRankingOn;  // the chosen play kind keeps rankings

// Sound effect n of the sound list, played by the main window (waits).
void RequestSoundEffect(int32_t n);
// Sound id of the database: 0 none, else sound id + 16.
void RequestSoundEffectById(int32_t id);
// Lives of the play record: 1 without change in test play or with
// unlimited lives; 0 when none is left; else one taken and 1.
int TakeLife();

// Starts the stage file `path` on its own (free play of one file).
int StartSingleStagePlay(const std::string& path, int32_t numbered);
// Names the eight background entries of the surface table after the loaded
// stage's background layers (an empty name where a layer paints no picture).
void NameStageBackgroundSurfaces();

// The scene factory of id 4 (registered by the program at start-up).
cScene* CreateStageScene();

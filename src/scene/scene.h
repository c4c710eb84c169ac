// Scenes, the scene manager and the frame step of the game thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/window_host.h"

// A screen of the game. The manager only deletes scenes and runs them; a scene
// leaves by writing the next id into the manager and, when its fade-out has
// ended, copying it into the current id: the switch happens at the next step.
class cScene {
 public:
  virtual ~cScene() = default;
  virtual int Run() = 0;  // one frame's work, drawing included; result ignored
  virtual int Enter() { return 0; }
  virtual int FadeIn() { return 0; }
  virtual int FadeOut() { return 0; }
};

// The screens of the game. A scene leaves for another by writing that one's
// id into the manager.
enum SceneId : int32_t {
  kSceneTitle = 0,
  kSceneWorldMap = 1,
  kSceneWorldMapMenu = 2,
  kSceneWorldSelect = 3,
  kSceneStage = 4,
  kSceneOptions = 5,
  kSceneCount = 6,
};

// Play modes, and the title menu's actions in the order of its entries.
enum PlayMode : int32_t { kPlayStory = 0, kPlayChallenge = 1, kPlayFree = 2, kPlayReplay = 3 };
enum TitleAction : int32_t {
  kTitleNewGame = 0,
  kTitleContinue = 1,
  kTitleChallenge = 2,
  kTitleFreePlay = 3,
  kTitleReplay = 4,
  kTitleOptions = 5,
  kTitleQuit = 6,
};

class cSceneManager {
 public:
  cSceneManager();
  ~cSceneManager();  // deletes the scenes: title, world map, menu, world select, options, stage

  // One frame; false ends the game.
  bool Step();
  // Deletes every scene but `id` and creates `id` when its slot is empty.
  void SwitchScene(int32_t id);
  // Asks the main window for screen music `screen` (0 title, 1 world map and
  // its menu, 2 world select, 3 options) unless the same looping track goes on.
  void PlaySceneMusic(int32_t track, int32_t keep, int32_t screen);

  // The scene in the slot of `id` (null when none or id out of range).
  cScene* Scene(int32_t id) const;
  // Deletes every scene in destructor order (shutdown).
  void DeleteAll();

  // Slots in this order: title, world map, world-map menu, world select,
  // options, stage play.
  std::array<cScene*, kSceneCount> m_lpScenes{};
  std::atomic<int32_t> m_nCurrent{0};
  std::atomic<int32_t> m_nNext{0};
  std::atomic<int32_t> m_nPrevious{0};
  int32_t m_nLastTitleAction = 0;  // the title menu's last chosen action (TitleAction)
  int32_t m_nPlayMode = 0;         // kPlayStory, kPlayChallenge, kPlayFree or kPlayReplay
  // 1: the stage file named on the command line (GameSettings.szFreeStage)
  // is played on its own: lives never run out and leaving it ends the game.
  int32_t m_bTestPlay = 0;
  std::atomic<uint32_t> m_nFrameRate{0};  // frames per second for pacing
  int32_t m_nFadeSpeed = 0;
  // The music last asked for and its keep flag: the screens' requests
  // (PlaySceneMusic) and stage play's (its music and the flows'), so that a
  // screen does not ask again for a looping track that goes on. The main
  // window plays stage music looping when the keep flag is set.
  int32_t m_nLastMusicTrack = 0;
  int32_t m_nLastMusicKeep = 0;
};

extern cSceneManager SceneManager;

// The scene constructors, registered by the subsystems that own the scenes
// (the front end for ids 0, 1, 2, 3 and 5, stage play for 4). A slot with no
// constructor stays empty and its frames run no scene.
using SceneFactory = std::function<cScene*()>;
void RegisterSceneFactory(int32_t id, SceneFactory factory);
// Whether id has a constructor (a test may have put its own scene there).
bool HasSceneFactory(int32_t id);

// What the core knows of the stage-play scene (id 4): stage play derives its
// scene from this. The window handler writes the quit request (while the
// pause thread runs), and the present reads the running stage's own frame
// rate.
class cStageSceneBase : public cScene {
 public:
  std::atomic<int32_t> m_nQuitRequest{0};      // 1: the window is closing
  std::atomic<uint32_t> m_nStageFrameRate{60}; // the running stage's frames per second
  // 1 while a wait of stage play keeps the frames going on the game thread
  // (message windows, game waits): the window's close handling then sets
  // the quit request and posts kEndFrameKeeping to the game thread, as it
  // posts WM_QUIT to a pause thread.
  std::atomic<int32_t> m_bKeepingFrames{0};
};
// The thread message that ends a frame-keeping wait of the game thread
// (WM_APP + 1; the game thread's own loop drops it).
inline constexpr uint32_t kEndFrameKeeping = 0x8001;
// Set by the switch each time it creates scene 4; null while none exists.
extern std::atomic<cStageSceneBase*> g_lpStageScene;

// Frame figures (game thread; read by tests and the display of the rate).
extern std::atomic<uint32_t> g_nFrameCounter;
extern std::atomic<uint32_t> g_nFramesLastSecond;
extern uint32_t g_nWorkMilliseconds;
extern uint32_t g_nAverageWorkTime;

// The procedure of the game thread: frames while the window is active, until
// WM_QUIT. Returns 1.
uint32_t GameThreadProc(void* argument);
// The parts of a frame; the waiting threads of stage play call the same
// (with UpdateInput of scene/input.h between the restore and the present).
void WaitFrameTime();
// DirectDraw mode: after the display was lost, the display's own surfaces,
// then every registered surface collection; false when one cannot be had back.
bool RestoreLostSurfaces();
void PresentFrame();

// Surface collections of scenes and stage play that the restore walks (the
// owner registers them once; they live for the whole run).
struct DDSURFACEDATA;
template <class T>
class cSafeList;
template <class T>
class cSafeVector;
void RegisterSurfaceCollection(cSafeVector<DDSURFACEDATA>* collection);
void RegisterSurfaceCollection(cSafeList<DDSURFACEDATA>* collection);

// 1: the full-screen DirectDraw present copies instead of flipping.
extern uint32_t g_bNoFlip;

// Tests: reset the manager and the frame figures (no scene may be alive).
void ResetSceneManagerForTest();

#include "scene/scene.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/errors.h"
#include "base/logs.h"
#include "base/program.h"
#include "base/timers.h"
#include "data/settings.h"
#include "data/system_data.h"
#include "gfx/dd.h"
#include "gfx/game_fonts.h"
#include "gfx/palette_tools.h"
#include "gfx/surface_table.h"
#include "platform/clock.h"
#include "platform/frame_hand_over.h"
#include "platform/image_decode.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "scene/frame_trace.h"
#include "scene/input.h"

cSceneManager SceneManager;
std::atomic<cStageSceneBase*> g_lpStageScene{nullptr};
std::atomic<uint32_t> g_nFrameCounter{0};
uint32_t g_bNoFlip = 0;
std::atomic<uint32_t> g_nFramesLastSecond{0};
uint32_t g_nWorkMilliseconds = 0;
uint32_t g_nAverageWorkTime = 0;

namespace {

constexpr uint32_t kMusicRequest = plat::WM_USER + 6;
constexpr uint32_t kInactiveWaitMs = 100;

// The surface collections of the scenes and stage play, walked by the
// restore after a lost display.
std::vector<cSafeVector<DDSURFACEDATA>*> g_SurfaceVectors;
std::vector<cSafeList<DDSURFACEDATA>*> g_SurfaceLists;

std::array<SceneFactory, kSceneCount> g_factories;

// Slot of each id: the options scene's slot comes before the stage scene's.
int SlotOf(int32_t id) {
  static constexpr int kSlots[kSceneCount] = {0, 1, 2, 3, 5, 4};
  return (id >= 0 && id < kSceneCount) ? kSlots[id] : -1;
}

// The last 16 work times while the rate is shown.
uint32_t g_workRing[16] = {};
int g_workRingIndex = 0;

void DeleteScene(cSceneManager& manager, int32_t id) {
  const int index = SlotOf(id);
  if (index < 0) return;
  cScene*& slot = manager.m_lpScenes[index];
  if (!slot) return;
  if (id == kSceneStage) g_lpStageScene.store(nullptr);
  delete slot;
  slot = nullptr;
}

}  // namespace


cSceneManager::cSceneManager() = default;

cSceneManager::~cSceneManager() { DeleteAll(); }

void cSceneManager::DeleteAll() {
  for (int32_t id : {kSceneTitle, kSceneWorldMap, kSceneWorldMapMenu, kSceneWorldSelect, kSceneOptions,
                     kSceneStage})
    DeleteScene(*this, id);
}

cScene* cSceneManager::Scene(int32_t id) const {
  int slot = SlotOf(id);
  return slot < 0 ? nullptr : m_lpScenes[slot];
}

void RegisterSceneFactory(int32_t id, SceneFactory factory) {
  if (id >= 0 && id < kSceneCount) g_factories[id] = std::move(factory);
}

bool HasSceneFactory(int32_t id) { return id >= 0 && id < kSceneCount && static_cast<bool>(g_factories[id]); }

void cSceneManager::SwitchScene(int32_t id) {
  for (int32_t other : {kSceneTitle, kSceneWorldMapMenu, kSceneWorldMap, kSceneWorldSelect, kSceneStage,
                        kSceneOptions})
    if (other != id) DeleteScene(*this, other);
  int slot = SlotOf(id);
  if (slot < 0 || m_lpScenes[slot] || !g_factories[id]) return;
  cScene* scene = nullptr;
  try {
    scene = g_factories[id]();
  } catch (const std::bad_alloc&) {
    ShowOutOfMemory("while making the next scene");
    return;
  }
  m_lpScenes[slot] = scene;
  if (id == kSceneStage) g_lpStageScene.store(dynamic_cast<cStageSceneBase*>(scene));
}

bool cSceneManager::Step() {
  WaitFrameTime();
  g_nFrameCounter.fetch_add(1);
  StartStopwatch();
  if (!lpDTCon && !RestoreLostSurfaces()) return false;
  UpdateInput(InputRecords);
  int32_t current = m_nCurrent.load();
  SwitchScene(current);
  // After a failed creation the slot is empty: the frame runs no scene (the
  // posted WM_CLOSE is already ending the program).
  if (cScene* scene = Scene(current)) scene->Run();
  // The first scene has loaded its pictures: what start-up decoded ahead for
  // it and it did not take is dropped.
  if (g_nFrameCounter.load() == 1) plat::ForgetDecodedAhead();
  g_nFramesLastSecond.store(CountFramesPerSecond(1));
  g_nWorkMilliseconds = ReadStopwatch(1);
  if (GameSettings.nShowFps != 0) {
    g_workRing[g_workRingIndex++] = g_nWorkMilliseconds;
    if (g_workRingIndex >= 16) {
      g_workRingIndex = 0;
      uint32_t sum = 0;
      for (uint32_t v : g_workRing) sum += v;
      g_nAverageWorkTime = sum >> 4;
    }
    DrawFrameRateDisplay(GameSettings.nShowFps, g_nFramesLastSecond.load(), g_nAverageWorkTime);
  }
  PresentFrame();
  return true;
}

void cSceneManager::PlaySceneMusic(int32_t track, int32_t keep, int32_t screen) {
  if (track != 0 && keep && track == m_nLastMusicTrack && m_nLastMusicKeep) return;
  m_nLastMusicTrack = track;
  m_nLastMusicKeep = keep;
  plat::SendMessage(g_hMainWnd.load(), kMusicRequest, static_cast<uint64_t>(screen), 0);
}

uint32_t GameThreadProc(void*) {
  bool first = true;  // no frame has started yet
  for (;;) {
    plat::Message msg;
    if (plat::PeekMessage(msg, true)) {
      if (msg.message == plat::WM_QUIT) break;
      continue;  // the start hand-shake and anything else: dropped
    }
    if (g_bActive.load() && !QuitRequested()) {
      if (first) {
        // Before the first frame, as between frames: a test stepping the
        // game holds it here until it lets the first frame go.
        first = false;
        plat::FrameHandOver(false);
        continue;  // what came meanwhile (the end, a deactivation) first
      }
      if (!SceneManager.Step()) {
        RequestQuit();
        return 1;
      }
    } else {
      // Inactive, or a fault is ending the game: no frames. The activation
      // (or the end, WM_QUIT) posts a message that ends the wait; the bound
      // only keeps the flag looked at should that post fail.
      plat::WaitMessageTimeout(kInactiveWaitMs);
    }
  }
  WriteECLog("GameLoop WM_QUIT!");
  return 1;
}

void WaitFrameTime() {
  if (lpDTCon) return;  // in Direct3D mode the present paces
  // Sleeps through to the due time rather than waking every millisecond.
  while (!IsFrameDue(SceneManager.m_nFrameRate.load())) plat::Sleep(std::max(1u, MillisecondsUntilFrameDue()));
}

void RegisterSurfaceCollection(cSafeVector<DDSURFACEDATA>* collection) { g_SurfaceVectors.push_back(collection); }
void RegisterSurfaceCollection(cSafeList<DDSURFACEDATA>* collection) { g_SurfaceLists.push_back(collection); }

bool RestoreLostSurfaces() {
  if (lpDTCon || !DDPrimaryLost()) return true;
  if (!DDRestore()) return false;
  for (cSafeVector<DDSURFACEDATA>* vector : g_SurfaceVectors)
    for (DDSURFACEDATA& sd : *vector)
      if (!DDRestoreLostSurface(&sd)) return false;
  for (cSafeList<DDSURFACEDATA>* list : g_SurfaceLists)
    for (DDSURFACEDATA& sd : *list)
      if (!DDRestoreLostSurface(&sd)) return false;
  RestoreDigitSurfaces();
  return true;
}

bool StageRunsAboveSixty() {
  cStageSceneBase* stage = g_lpStageScene.load();
  return stage && stage->m_nStageFrameRate.load() > 60;
}

void PresentFrame() {
  if (lpDTCon) {
    if (!DDPresent(static_cast<int>(SceneManager.m_nFrameRate.load())) && lpDTCon && DDState.bWindowed)
      plat::SendMessage(g_hMainWnd.load(), plat::WM_USER + 100, 0, 0);
  } else {
    DDPresentDirectDraw(g_bNoFlip, StageRunsAboveSixty() ? 1 : 0);
  }
  NotifyFramePresented();  // scripted runs: trace, screenshot, next frame's keys
  // The frame is done with: a test stepping the game holds it here.
  plat::FrameHandOver(true);
}

void ResetSceneManagerForTest() {
  SceneManager.DeleteAll();
  SceneManager.m_nCurrent = SceneManager.m_nNext = SceneManager.m_nPrevious = 0;
  SceneManager.m_nLastTitleAction = SceneManager.m_nPlayMode = 0;
  SceneManager.m_bTestPlay = 0;
  SceneManager.m_nFrameRate = 0;
  SceneManager.m_nFadeSpeed = SceneManager.m_nLastMusicTrack = SceneManager.m_nLastMusicKeep = 0;
  for (auto& f : g_factories) f = nullptr;
  g_nFrameCounter = 0;
  g_nFramesLastSecond = 0;
  g_nWorkMilliseconds = g_nAverageWorkTime = 0;
  g_workRingIndex = 0;
  for (uint32_t& v : g_workRing) v = 0;
}

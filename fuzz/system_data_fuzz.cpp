// The record reader through its largest record: the system data with its
// fifteen lists and every version gate. Settings that load are then played
// as the game plays them: the title's first frames (its menu, the colour
// cycle) and a small stage set up with them, a few frames of play, its
// clear and its result, in the Direct3D display where every number of the
// colour cycle counts. An undefined operation there stops the run.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/program.h"
#include "data/stage_data.h"
#include "data/system_data.h"
#include "front/front_scenes.h"
#include "gfx/colour_cycle.h"
#include "gfx/dd.h"
#include "gfx/surface_table.h"
#include "platform/messages.h"
#include "play/commands/flow_host_impl.h"
#include "play/world/stage_scene.h"
#include "scene/play_record.h"
#include "scene/scene.h"

namespace {

constexpr int kTitleFrames = 3;
constexpr int kPlayFrames = 3;
constexpr int kResultFrames = 2;

// An 8 x 8 picture of one colour, as a 24-bit BMP file.
std::string SmallPicture() {
  constexpr int kSide = 8, kRow = kSide * 3, kPixels = kRow * kSide, kFile = 54 + kPixels;
  std::string b(kFile, '\0');
  const auto put = [&](size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put(2, kFile, 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, kSide, 4);
  put(22, kSide, 4);
  put(26, 1, 2);
  put(28, 24, 2);
  put(34, kPixels, 4);
  for (size_t i = 54; i < b.size(); ++i) b[i] = static_cast<char>(0x40);
  return b;
}

// A stage of 20 x 15 blocks, empty but for its hero.
cStageData SmallStage() {
  cStageData s;
  s.Int(kStageWidth) = 20;
  s.Int(kStageHeight) = 15;
  cEdCharacter hero;
  hero.m_nGraphic = 1;
  hero.m_nControl = 0;
  hero.m_nWord1 = 3;
  hero.m_nWord2 = 4;
  hero.m_nPlacedItem = -1;
  s.m_PlacedCharacters = {hero};
  return s;
}

// The folder of the title's pictures, removed when the run ends.
char g_PictureFolder[] = "/tmp/pelmora-system-fuzz-XXXXXX";
std::string g_Picture;
void RemovePictures() {
  std::remove(g_Picture.c_str());
  std::remove(g_PictureFolder);
}

// What the game has before its first scene: a Direct3D display without a
// window system, the stage's flows, a window that takes what the scenes
// post and send, and the title's pictures (small ones) to load.
void StartOnce() {
  static const bool started = [] {
    setenv("PELMORA_HEADLESS", "1", 0);
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    InstallStageFlows();
    g_hMainWnd = plat::CreateWindowEntry([](plat::WindowHandle, uint32_t, uint64_t, int64_t) -> int64_t { return 0; });
    g_bActive = 1;
    DDInit(1, 0, 640, 480, 32, 0, 1, 1, 60, 0, GameSurfaces, GameSurfaceInfo, kGameSurfaceCount);
    if (!mkdtemp(g_PictureFolder)) std::abort();
    g_Picture = std::string(g_PictureFolder) + "/picture.bmp";
    std::atexit(RemovePictures);
    const std::string& picture = g_Picture;
    FILE* file = std::fopen(picture.c_str(), "wb");
    const std::string bytes = SmallPicture();
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0)
      std::abort();
    const SurfaceList title = TitleSurfaces();
    for (int i = 0; i < title.count; ++i)
      std::snprintf(GameSurfaceInfo[title.indices[i]].szFileName, sizeof GameSurfaceInfo[0].szFileName, "%s",
                    picture.c_str());
    return true;
  }();
  (void)started;
}

// The title's first frames, as the scene manager runs a new title scene.
void PlayTitle() {
  std::unique_ptr<cScene> title(CreateTitleScene());
  for (int i = 0; i < kTitleFrames; ++i) title->Run();
}

// A new story game's lives and worlds, the small stage set up and played a
// few frames, then cleared: its result counted and tallied.
void PlayStage() {
  ResetGameProgress();
  StageData = SmallStage();
  StageMasterData.CopySettingsFrom(StageData);
  cStageScene::KeptHeroRecord = StageData.m_PlacedCharacters.At(0);
  SceneManager.m_nLastTitleAction = kTitleNewGame;
  SceneManager.m_nPlayMode = kPlayStory;
  auto scene = std::make_unique<cStageScene>();
  g_lpStageScene = scene.get();
  scene->SetStage(0, 1);
  scene->SetMode(kStageModePlay);
  for (int i = 0; i < kPlayFrames; ++i) scene->Run();
  scene->m_nEndRequest = kEndClear;
  scene->Run();
  for (int i = 0; i < kResultFrames; ++i) scene->Run();
  scene->Tally();
  g_lpStageScene = nullptr;
  scene.reset();
}

}  // namespace

// An undefined operation ends the run with the input kept, as an access out
// of bounds does, rather than a line in the log.
extern "C" const char* __ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  cSystemData record;
  if (!record.LoadFromBytes(input)) return 0;
  // What loads must write back and load again.
  std::string again = record.SaveToBytes();
  cSystemData copy;
  if (!copy.LoadFromBytes(again) || copy.SaveToBytes() != again) __builtin_trap();
  if (!SystemData.LoadFromBytes(input)) __builtin_trap();
  StartOnce();
  ResetColourCycleForTest();
  PlayTitle();
  PlayStage();
  // What the scenes posted (a close on a fault, music and sounds) goes with
  // this input.
  plat::DropQueue();
  return 0;
}

// The stage's side of the screen effects and the presentation commands that
// change the whole screen: starting a screen effect, the screen colour and
// showing or hiding a background.
#include "data/stage_data.h"
#include "gfx/surface_table.h"
#include "play/commands/commands.h"
#include "play/objects/hero.h"
#include "play/world/stage_scene.h"

namespace {

// A work surface that exists and holds a whole screen.
DDSURFACEDATA* Usable(DDSURFACEDATA* sd, int32_t width, int32_t height) {
  return (sd->lpDDS || sd->lpDT) && sd->nWidth >= width && sd->nHeight >= height ? sd : nullptr;
}

// The two screen-sized work surfaces of stage play (640 x 480 each): the
// finished frame is lifted onto the first, the lens reads from the second.
// (The table's first two empty entries are the 256 x 960 tile work
// surfaces, too small for a screen.)
constexpr int kScreenWorkFirst = SURF_EMPTY_FIRST + 2;
constexpr int kScreenWorkSecond = SURF_EMPTY_FIRST + 3;

}  // namespace

cScreenEffectView cStageScene::ScreenEffectView() {
  cScreenEffectView view;
  view.back = DDBackBuffer();
  view.work1 = Usable(&GameSurfaces[kScreenWorkFirst], view.width, view.height);
  view.work2 = Usable(&GameSurfaces[kScreenWorkSecond], view.width, view.height);
  if (HasHero()) {
    view.heroX = Hero().ScreenCentreX();
    view.heroY = Hero().ScreenCentreY();
  }
  view.redrawBackgrounds = [this, back = view.back] {
    DrawBackgroundLayers(back, 0);
    DrawBackgroundLayers(back, 1);
  };
  return view;
}

int32_t ExecuteScreenEffect(cCharacter&, const cEdCmd& command) {
  cStageScene* scene = CurrentStageScene();
  if (!scene) return 0;
  scene->m_ScreenEffect.Start(static_cast<int16_t>(command.Word(0)), static_cast<int32_t>(command.Word(1)),
                              static_cast<int32_t>(command.Word(2)));
  if (!scene->m_ScreenEffect.Running() && (lpDTCon && lpDTCon->bVirtualBackBuffer)) DDSetVirtualBackBuffer(0);
  return 0;
}

int32_t ExecuteScreenColour(cCharacter&, const cEdCmd& command) {
  cStageScene* scene = CurrentStageScene();
  if (!scene) return 0;
  int32_t words[8];
  for (size_t i = 0; i < 8; ++i) words[i] = static_cast<int32_t>(command.Word(i));
  scene->m_Layers.m_ScreenColor.Start(words);
  return 0;
}

int32_t ExecuteBackgroundChange(cCharacter&, const cEdCmd& command) {
  // Backgrounds are numbered from 1; 0 and numbers past the list do nothing.
  const uint32_t n = command.Word(0);
  if (n == 0 || n - 1 >= StageData.m_Backgrounds.size()) return 0;
  cStageBackground& b = StageData.m_Backgrounds[n - 1];
  switch (command.Word(1)) {
    case 0: b.m_nLayer1 = 1; break;
    case 1: b.m_nLayer1 = 0; break;
    case 2: b.m_nLayer1 = BackgroundShown(b) ? 0 : 1; break;
    default: break;
  }
  return 0;
}

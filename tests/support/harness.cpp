#include "support/harness.h"

#include <chrono>

#include "app/winmain.h"
#include "base/logs.h"
#include "base/program.h"
#include "base/timers.h"
#include "data/settings.h"
#include "gfx/dd.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "platform/soft_draw.h"
#include "support/project_files.h"

uint32_t TestScenePaletteNumber(uint32_t run) { return 16 + run % 192; }

uint32_t TestSceneColour(uint32_t run) {
  const auto& entry = DDState.DDPalette[TestScenePaletteNumber(run)];
  return 0xFF000000u | (uint32_t{entry.peRed} << 16) | (uint32_t{entry.peGreen} << 8) | entry.peBlue;
}

int TestScene::Run() {
  ++runs;
  DDFillRect(DDBackBuffer(), 0, 0, 640, 480, TestScenePaletteNumber(runs));
  if (onRun_) onRun_(*this);
  return 0;
}

GameHarness::GameHarness() : GameHarness(Options{}) {}

GameHarness::GameHarness(Options options)
    : options_(std::move(options)), folder_("harness"), working_(folder_.Path()),
      cursorCount_(plat::CursorDisplayCount()) {
  if (options_.writeProject) WriteMinimalProject(folder_.Path(), options_.iniLines);
  folder_.Write("run/.keep", "");
  env_.Set("PELMORA_RUNTIME_DIR", folder_ / "run");
  env_.Set("PELMORA_DIALOG_LOG", folder_ / "dialogs.log");
  if (options_.dialogAnswers.empty())
    env_.Unset("PELMORA_DIALOG_ANSWERS");
  else
    env_.Set("PELMORA_DIALOG_ANSWERS", options_.dialogAnswers);
  run_ = std::make_unique<HeadlessRun>(HeadlessRun::Options{options_.virtualClock, options_.commandLine});
}

GameHarness::~GameHarness() {
  run_.reset();  // closes the game and puts the process-wide state back
  RestoreCursorCount(cursorCount_);
}

uint32_t GameHarness::FrameCounter() const { return g_nFrameCounter.load(); }

#include "support/display.h"

#include "gfx/dd.h"
#include "gfx/surface_table.h"
#include "platform/soft_device.h"
#include "platform/soft_draw.h"

namespace {

void ResetDisplay() {
  DDResetForTest();
  for (PALETTEENTRY& entry : DDState.DDPalette) entry = PALETTEENTRY{};
  for (PALETTEENTRY& entry : DDState.DDPaletteWork) entry = PALETTEENTRY{};
  ResetGameSurfaceTablesForTest();
  plat::DrawFaultInjection() = plat::DrawFaults{};
  plat::DeviceConfiguration() = plat::DeviceConfig{};
  plat::SetDrawFastPaths(true);
}

}  // namespace

DisplaySandbox::DisplaySandbox() : cursorCount_(plat::CursorDisplayCount()) {
  ResetDisplay();
  plat::SetVerticalBlankWait(false);
}

DisplaySandbox::~DisplaySandbox() {
  ResetDisplay();
  plat::SetVerticalBlankWait(true);
  RestoreCursorCount(cursorCount_);
}

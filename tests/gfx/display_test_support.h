// Set-up shared by the display tests: a fresh folder with both logs, the
// headless window host, no vertical-blank waits, no injected faults and no
// display set up yet. EndDisplayTest puts the waits back.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "base/logs.h"
#include "gfx/dd.h"
#include "platform/dialogs.h"
#include "platform/window_host.h"

// Returns the folder (made from `pattern`, a mkdtemp template).
inline std::string BeginDisplayTest(std::string pattern) {
  std::string dir = mkdtemp(pattern.data());
  ResetLogsForTest();
  OpenReportLog((dir + "/Report_Game.txt").c_str());
  SetECLog(1, (dir + "/EC_Game.txt").c_str());
  setenv("PELMORA_DIALOG_LOG", (dir + "/dialogs.log").c_str(), 1);
  setenv("PELMORA_DIALOG_ANSWERS", "", 1);
  plat::ResetDialogScript();
  plat::SetWindowHost(plat::MakeHeadlessWindowHost());
  plat::SetVerticalBlankWait(false);
  plat::DrawFaultInjection() = plat::DrawFaults{};
  plat::DeviceConfiguration() = plat::DeviceConfig{};
  DDResetForTest();
  return dir;
}

inline void EndDisplayTest(const std::string& dir) {
  DDResetForTest();
  plat::SetVerticalBlankWait(true);  // the default the game's pacing relies on
  plat::DrawFaultInjection() = plat::DrawFaults{};
  plat::DeviceConfiguration() = plat::DeviceConfig{};
  ResetLogsForTest();
  std::filesystem::remove_all(dir);
}

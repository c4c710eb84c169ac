#include "core/startup.h"

#include <cstdio>
#include <cstring>

#include "core/app.h"
#include "core/errors.h"
#include "core/logs.h"
#include "core/main_window.h"
#include "core/scene.h"
#include "core/settings.h"
#include "core/text_path.h"
#include "core/timers.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/window_host.h"

GameSettingsRecord GameSettings;

const char* const kStartupFolders[22] = {
    "user_data", "user_data\\story", "user_data\\challenge", "user_data\\free", "user_data\\rpl4",
    "data", "data\\database", "data\\stg4", "data\\stg4\\old_ver", "data\\work", "data\\plt4",
    "bmp", "bmp\\back", "bmp\\chara_sp", "bmp\\effect", "bmp\\picture", "bmp\\sword", "bmp\\convert",
    "bmp\\plt", "bmp\\hbt", "wave", "bgm"};

namespace {

const char* kMissingStage() { return plat::Sjis("「%s」の読み込みに失敗しました！").c_str(); }

// A stage file named on the command line: the newest numbered version of it
// when there is one. A name that does not exist is reported and forgotten
// (the title comes first).
void ResolveCommandLineStage() {
  if (GameSettings.szFreeStage[0] == '\0') return;
  char found[MAX_PATH];
  if (FindLastNumberedFile(found, GameSettings.szFreeStage, "stg4"))
    std::snprintf(GameSettings.szFreeStage, sizeof GameSettings.szFreeStage, "%s", found);
  if (!plat::FileExists(GameSettings.szFreeStage)) {
    WriteReportAndECLog(kMissingStage(), GameSettings.szFreeStage);
    GameSettings.szFreeStage[0] = '\0';
  }
}

}  // namespace

bool InitGame(const char* commandLine, int showCommand) {
  // The 1 ms timer resolution the original asked for is what Linux gives.
  SRand(plat::TickCount());

  for (const char* folder : kStartupFolders) plat::CreateDirectory(folder);
  ResetStopwatch();

  if (commandLine && commandLine[0] != '\0') {
    // A path longer than the setting can hold is reported like a missing
    // file instead of overrunning it.
    if (std::strlen(commandLine) >= sizeof GameSettings.szFreeStage) {
      WriteReportAndECLog(kMissingStage(), commandLine);
    } else {
      std::snprintf(GameSettings.szFreeStage, sizeof GameSettings.szFreeStage, "%s", commandLine);
    }
  }

  SceneManager.m_nFrameRate = 60;
  SceneManager.m_nFadeSpeed = 10;

  ResetStopwatch();
  plat::GetWindowHost().Show(GameSettings.nWindowMode != 0 ? showCommand : plat::SW_MAXIMIZE);

  ResolveCommandLineStage();
  return true;
}

void ShutdownGame() { SceneManager.DeleteAll(); }

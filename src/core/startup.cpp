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
#include "data/data_paths.h"
#include "data/labels.h"
#include "data/record.h"
#include "data/system_data.h"
#include "data/user_records.h"
#include "core/timers.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/window_host.h"


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
  if (FindLastNumberedFile(found, GameSettings.szFreeStage, DataExtensions.At(kExtStage).c_str()))
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

  nDataVersion = kDataVersion;
  bFileTooNew = 0;
  bStripCarriageReturns = 1;
  BuildOperableParameterTable();

  if (!CreateDefaultData(MainWindow.m_hWnd)) {
    WriteReportAndShowError("%s", plat::Sjis("「data」フォルダの作成に失敗…\n「default」フォルダに問題がある可能性があります。").c_str());
    return false;
  }
  for (const char* folder : kStartupFolders) plat::CreateDirectory(folder);
  ResetStopwatch();

  const std::string& systemPath = DataPaths.At(kPathSystemData);
  if (!SystemData.LoadFromFile(systemPath)) {
    WriteReportAndShowError(plat::Sjis("%s の読み込みに失敗しました！").c_str(), systemPath.c_str());
    return false;
  }

  SetDefaultSettings(GameSettings, SystemData.m_Keys);
  if (!ReadSystemIni("System.ini", GameSettings, SystemData.m_Keys)) {
    WriteReportAndShowError("%s", plat::Sjis("System.ini の読み込みに失敗しました！").c_str());
    SetDefaultSettings(GameSettings, SystemData.m_Keys);
  }

  if (GameSettings.nDirect3D > 1) {
    BootRecord.LoadFromFile(DataPaths.At(kPathBoot));  // a missing record keeps its defaults
    if (BootRecord.m_bDontAsk) GameSettings.nDirect3D = BootRecord.m_nMode == 1 ? 1 : 0;
  }

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

  MainWindow.SetText(SystemData.m_strTitle.c_str());
  ResetStopwatch();
  plat::WindowHost& host = plat::GetWindowHost();
  if (GameSettings.nWindowMode != 0 && WindowPosition.LoadFromFile(DataPaths.At(kPathWindow))) {
    host.Move(WindowPosition.m_nX, WindowPosition.m_nY);
    // A size the desktop cannot hold (or a nonsense one) is not restored.
    plat::Rect work = host.Desktop().workArea;
    if (GameSettings.nWindowMode == 2 && WindowPosition.m_nWidth > 0 && WindowPosition.m_nHeight > 0 &&
        WindowPosition.m_nWidth <= work.Width() && WindowPosition.m_nHeight <= work.Height())
      host.SetClientSize(WindowPosition.m_nWidth, WindowPosition.m_nHeight);
    if (WindowPosition.m_bMaximised) showCommand = plat::SW_MAXIMIZE;
  }
  host.Show(GameSettings.nWindowMode != 0 ? showCommand : plat::SW_MAXIMIZE);

  OptionData.LoadFromFile(DataPaths.At(kPathOption));  // a missing record keeps its defaults

  ResolveCommandLineStage();
  return true;
}

void ShutdownGame() { SceneManager.DeleteAll(); }

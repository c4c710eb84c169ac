#include "app/startup.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/system_report.h"
#include "audio/bgm.h"
#include "audio/sound.h"
#include "base/errors.h"
#include "base/logs.h"
#include "base/program.h"
#include "base/random.h"
#include "base/text_path.h"
#include "base/timers.h"
#include "data/common_palette.h"
#include "data/data_paths.h"
#include "data/database.h"
#include "data/labels.h"
#include "data/record.h"
#include "data/settings.h"
#include "data/system_data.h"
#include "data/user_records.h"
#include "data/window_position.h"
#include "gfx/colour_cycle.h"
#include "gfx/dd.h"
#include "gfx/surface_table.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/window_host.h"
#include "scene/scene.h"


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

  if (!LoadDatabase()) {
    WriteReportAndShowError("%s", plat::Sjis("データベースの読み込みに失敗…").c_str());
    return false;
  }
  PrepareDatabaseTables();

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

  plat::WindowHost& host = plat::GetWindowHost();
  DDDISPLAYCHOICE display;
  if (!DDDecideDisplay(GameSettings, SystemData.Num(kSysDDDepth), SystemData.Num(kSysD3DDepth),
                       SystemData.Num(kSysFixedColourKey), host.Desktop().bitsPerPixel, display))
    return false;

  host.SetResizable(display.bSizingBorder != 0);
  MainWindow.SetText(SystemData.m_strTitle.c_str());
  ResetStopwatch();
  if (display.nBpp == 8) GameSettings.nDDVideoStretch = 0;

  if (!DDInitWithFallback(GameSettings, MainWindow.m_hWnd, display, GameSurfaces, GameSurfaceInfo,
                          kGameSurfaceCount, showCommand))
    return false;
  if (lpDTCon) LinkSurfaceDescriptors();

  if (GameSettings.nWindowMode != 0 && WindowPosition.LoadFromFile(DataPaths.At(kPathWindow))) {
    host.Move(WindowPosition.m_nX, WindowPosition.m_nY);
    // A size the desktop cannot hold (or a nonsense one) is not restored.
    plat::Rect work = host.Desktop().workArea;
    if (lpDTCon && GameSettings.nWindowMode == 2 && WindowPosition.m_nWidth > 0 && WindowPosition.m_nHeight > 0 &&
        WindowPosition.m_nWidth <= work.Width() && WindowPosition.m_nHeight <= work.Height())
      host.SetClientSize(WindowPosition.m_nWidth, WindowPosition.m_nHeight);
    if (WindowPosition.m_bMaximised) showCommand = plat::SW_MAXIMIZE;
  }
  host.Show(!lpDTCon && GameSettings.nWindowMode == 0 ? plat::SW_MAXIMIZE : showCommand);

  WriteDisplayReport();
  WriteECLog("%s", plat::Sjis("DDInit成功").c_str());

  if (!DDSetupPaletteAndKey(GameSurfaceInfo[SURF_PALETTE].szFileName, SystemData.Num(kSysFixedColourKey),
                            static_cast<uint8_t>(SystemData.Num(kSysColourKeyRed)),
                            static_cast<uint8_t>(SystemData.Num(kSysColourKeyGreen)),
                            static_cast<uint8_t>(SystemData.Num(kSysColourKeyBlue))))
    return false;
  WriteECLog("1");

  if (!lpDTCon) g_bNoFlip = DDNoFlipFlag(GameSettings.nVSync != 0, 60);

  SurfaceList startup = StartupSurfaces();
  if (!DDLoadSurfaces(GameSurfaces, startup.indices, startup.count)) return false;

  OptionData.LoadFromFile(DataPaths.At(kPathOption));  // a missing record keeps its defaults
  if (display.nBpp == 8 && !LoadScreenPalette(OptionData.m_nPalette)) return false;

  if (GameSettings.nWindowMode == 0) GameSettings.nMidiDirectMusic = 0;
  if (OptionData.m_bMusic)
    g_BGMPlayer.Init(1, g_OggTrackTable, g_MidiTrackTable, kBGMTrackCount, GameSettings.nMidiDirectMusic);

  // The sound list: the game's seventeen system sounds, then the project's
  // sounds from database entry 1 on as sounds 17, 18, ...
  std::vector<std::string> sounds(Database.m_Sounds.size() + 16);
  for (int i = 0; i <= 16 && i < static_cast<int>(sounds.size()); ++i) sounds[i] = SystemData.m_SystemSounds.At(i);
  for (size_t k = 1; k < Database.m_Sounds.size(); ++k) sounds[16 + k] = Database.m_Sounds[k].m_strName;
  if (!DS_Init(MainWindow.m_hWnd, 22050, 8, 1)) {
    WriteReportAndECLog("%s", plat::Sjis("DS_Init失敗！").c_str());
    return false;
  }
  DSLoadSoundEffects(sounds, OptionData.m_nSoundVolume);

  for (cRecord* record : {static_cast<cRecord*>(&WorldMapData), static_cast<cRecord*>(&CommonPalette)}) {
    const std::string& path = DataPaths.At(record == &WorldMapData ? kPathWorldMap : kPathCommonPalette);
    if (!record->LoadFromFile(path)) {
      WriteReportAndShowError(plat::Sjis("%s のロードに失敗！").c_str(), path.c_str());
      return false;
    }
  }
  WriteECLog("4");

  ResolveCommandLineStage();
  return true;
}

void ShutdownGame() {
  DSRelease();
  g_BGMPlayer.Release();
  SceneManager.DeleteAll();
  DDEnd();
}

#include "app/startup.h"

#include <algorithm>
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
#include "data/key_config.h"
#include "data/labels.h"
#include "data/record.h"
#include "data/settings.h"
#include "data/stage_data.h"
#include "data/system_data.h"
#include "data/user_records.h"
#include "data/window_position.h"
#include "front/front_scenes.h"
#include "front/start_dialog.h"
#include "gfx/colour_cycle.h"
#include "gfx/dd.h"
#include "gfx/game_fonts.h"
#include "gfx/surface_table.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/image_decode.h"
#include "platform/text.h"
#include "platform/window_host.h"
#include "play/commands/flow_host_impl.h"  // flow runtime
#include "play/world/stage_draw.h"
#include "play/world/stage_limits.h"
#include "play/world/stage_scene.h"
#include "scene/input.h"
#include "scene/play_record.h"
#include "scene/scene.h"


const char* const kStartupFolders[22] = {
    "user_data", "user_data\\story", "user_data\\challenge", "user_data\\free", "user_data\\rpl4",
    "data", "data\\database", "data\\stg4", "data\\stg4\\old_ver", "data\\work", "data\\plt4",
    "bmp", "bmp\\back", "bmp\\chara_sp", "bmp\\effect", "bmp\\picture", "bmp\\sword", "bmp\\convert",
    "bmp\\plt", "bmp\\hbt", "wave", "bgm"};

namespace {

// What the steps hand each other: the entry point's arguments and the
// display decision.
struct StartupState {
  const char* commandLine;
  int showCommand;
  DDDISPLAYCHOICE display;
  // The drawing mode came from a boot record that says not to ask.
  bool modeNotAsked = false;
  // The stage named on the command line cannot be played (a failure that
  // says nothing about the drawing mode).
  bool stageUnplayable = false;
  // The player cancelled the start dialog: the program ends, nothing failed.
  bool cancelled = false;
};

const char* kMissingStage() { return plat::Sjis("「%s」の読み込みに失敗しました！").c_str(); }

// The longest line of the no-game message, in CP932 bytes: a half-width
// character's column, a double-byte character two. A message box wraps its
// text at its own width and may then break inside a word (a folder's name);
// lines this short fit any box the game shows, so the box never breaks them.
constexpr size_t kNoGameLineColumns = 48;

// Pieces of a folder path a line may end after: each component with the "/"
// that follows it. A piece longer than a line is cut between characters.
std::vector<std::string> FolderPieces(const std::string& folder) {
  std::vector<std::string> pieces;
  std::string piece;
  auto flush = [&] {
    if (!piece.empty()) pieces.push_back(piece);
    piece.clear();
  };
  for (size_t i = 0; i < folder.size();) {
    const size_t len = IsDoubleByteChar(folder.c_str() + i) ? 2 : 1;
    if (piece.size() + len > kNoGameLineColumns) flush();
    piece.append(folder, i, len);
    i += len;
    if (len == 1 && folder[i - 1] == '/') flush();
  }
  flush();
  return pieces;
}

}  // namespace

namespace {

// `path` (CP932) as lines of the message: each as long as kNoGameLineColumns
// allows, broken after a "/" where one can be, each line after a "\n".
std::string PathLines(const std::string& path) {
  std::string text, line;
  for (const std::string& piece : FolderPieces(path)) {
    if (!line.empty() && line.size() + piece.size() > kNoGameLineColumns) {
      text += "\n" + line;
      line.clear();
    }
    line += piece;
  }
  if (!line.empty()) text += "\n" + line;
  return text;
}

}  // namespace

bool WorkingFolderHoldsGame() {
  return plat::IsDirectory(DataPaths.At(kPathData)) || plat::IsDirectory(DataPaths.At(kPathDefault));
}

std::string FindCommandLineStage(const std::string& name) {
  if (name.empty()) return {};
  std::string file = name;
  char found[MAX_PATH];
  if (name.size() < MAX_PATH && FindLastNumberedFile(found, name.c_str(), DataExtensions.At(kExtStage).c_str()))
    file = found;
  return plat::FileExists(file) ? file : std::string();
}

std::string NoGameHereText(const std::string& folder) {
  return plat::Sjis("このフォルダにゲームがありません：") + PathLines(folder) +
         plat::Sjis(
             "\n「data」フォルダも、それを作る元の\n「default」フォルダもありません。\n"
             "ゲームのプロジェクトフォルダで起動して下さい。");
}

std::string NothingToPlayText(const std::string& word, const std::string& folder) {
  return plat::Sjis("ゲームフォルダもステージファイルもありません：") + PathLines(word) +
         plat::Sjis("\n起動したフォルダにもゲームがありません：") + PathLines(folder) +
         plat::Sjis("\nゲームのプロジェクトフォルダを指定するか、\nそこで起動して下さい。");
}

namespace {

// ---- the steps of start-up, in order; each returns whether to go on ----

bool SeedRandomNumbers(StartupState&) {
  // Linux timers already have the 1 ms resolution the frame pacing needs.
  SRand(plat::TickCount());
  return true;
}

bool PrepareRecordFormat(StartupState&) {
  nDataVersion = kDataVersion;
  bFileTooNew = 0;
  bStripCarriageReturns = 1;
  BuildOperableParameterTable();
  return true;
}

// "data\" (made from "default\" when it is missing) and the folders every
// game has. A folder with neither holds no game at all (the program was
// started somewhere else than in a game's project folder): the message says
// that, and which folder it looked in, not that a copy failed.
bool MakeFolders(StartupState&) {
  if (!CreateDefaultData(MainWindow.m_hWnd)) {
    if (!WorkingFolderHoldsGame())
      WriteReportAndShowError("%s", NoGameHereText(plat::GetCurrentDirectory()).c_str());
    else
      WriteReportAndShowError("%s", plat::Sjis("「data」フォルダの作成に失敗…\n「default」フォルダに問題がある可能性があります。").c_str());
    return false;
  }
  for (const char* folder : kStartupFolders) plat::CreateDirectory(folder);
  ResetStopwatch();
  return true;
}

bool LoadProjectDatabase(StartupState&) {
  if (!LoadDatabase()) {
    WriteReportAndShowError("%s", plat::Sjis("データベースの読み込みに失敗…").c_str());
    return false;
  }
  return true;
}

bool LoadSystemData(StartupState&) {
  const std::string& path = DataPaths.At(kPathSystemData);
  if (!SystemData.LoadFromFile(path)) {
    // Settings past what a game can hold say which, under the file's name.
    const std::string& why = LastSystemDataLimitProblem();
    WriteReportAndShowError(plat::Sjis("%s の読み込みに失敗しました！%s%s").c_str(), path.c_str(),
                            why.empty() ? "" : "\n", why.c_str());
    return false;
  }
  return true;
}

// "System.ini" over the defaults of the system data's key table; a missing
// or broken file leaves the defaults after its message. A missing one is
// then written with those defaults (only the defaults: what start-up later
// decides for this run, such as the drawing mode chosen in the start dialog
// or the colour depth, stays out of it), so the next start reads it and the
// player has the file to edit. A broken one is left for the player to mend.
bool ReadSettings(StartupState&) {
  SetDefaultSettings(GameSettings, SystemData.m_Keys);
  if (!ReadSystemIni("System.ini", GameSettings, SystemData.m_Keys)) {
    WriteReportAndShowError("%s", plat::Sjis("System.ini の読み込みに失敗しました！").c_str());
    SetDefaultSettings(GameSettings, SystemData.m_Keys);
    if (WriteDefaultSystemIni("System.ini", SystemData.m_Keys))
      WriteReportLog("System.ini : written with the default settings");
  }
  // The boxes' standard buttons speak the game's language from now on.
  plat::SetEnglishDialogs(GameSettings.nEnglish != 0);
  return true;
}

// "Direct3D" above 1 leaves the drawing mode to the player: the choice
// stored in the boot record, asked for with the start dialog unless the
// player asked not to be asked again (Direct3D in a new installation).
// Cancelling the dialog ends the program.
bool ChooseDrawingMode(StartupState& state) {
  if (GameSettings.nDirect3D <= 1) return true;
  BootRecord = cBootRecord();
  BootRecord.LoadFromFile(DataPaths.At(kPathBoot));  // a missing record keeps its defaults
  state.modeNotAsked = BootRecord.m_bDontAsk != 0;
  state.cancelled = !ChooseDrawingModeWithStartDialog(BootRecord, DataPaths.At(kPathBoot));
  return !state.cancelled;
}

// A start that fails after a drawing mode the player asked not to be asked
// about again (a mode this machine or project cannot show, say) would fail
// the same way at every start, with no way to choose the other mode: the
// next start asks again. The stored mode stays the one offered first.
void AskForTheDrawingModeNextTime(const StartupState& state) {
  if (!state.modeNotAsked) return;
  BootRecord.m_bDontAsk = 0;
  BootRecord.SaveToFile(DataPaths.At(kPathBoot));  // one that cannot be written is named in the log
}

bool TakeCommandLineStage(StartupState& state) {
  const char* commandLine = state.commandLine;
  if (!commandLine || commandLine[0] == '\0') return true;
  // A path longer than the setting can hold is reported like a missing file
  // instead of overrunning it.
  if (std::strlen(commandLine) >= sizeof GameSettings.szFreeStage)
    WriteReportAndECLog(kMissingStage(), commandLine);
  else
    std::snprintf(GameSettings.szFreeStage, sizeof GameSettings.szFreeStage, "%s", commandLine);
  return true;
}

// The stage named on the command line, as StartCommandLineStage will find
// it. Empty when the title comes first.
std::string CommandLineStageFile() { return FindCommandLineStage(GameSettings.szFreeStage); }

// The pictures of the first scene (the title, or the stage of the command
// line) are decoded by worker threads while the display, the fonts and the
// sounds are made; the scene's loading then finds them decoded. The stage's
// backgrounds follow once the stage file has been read.
bool DecodeFirstScenePicturesAhead(StartupState&) {
  const SurfaceList list = CommandLineStageFile().empty() ? TitleSurfaces() : StageSurfaces();
  std::vector<std::string> files;
  for (int i = 0; i < list.count; ++i) {
    const int index = list.indices[i];
    // The background entries are the stage's own, named when it starts.
    if (index >= SURF_BACKGROUND_FIRST && index < SURF_BACKGROUND_FIRST + kBackgroundLayerCount) continue;
    const char* file = GameSurfaceInfo[index].szFileName;
    if (std::strcmp(file, "E") != 0) files.emplace_back(file);
  }
  plat::DecodeAhead(files);
  return true;
}

// The command-line stage's background pictures, named as the stage scene
// will name them (SetBackgroundSurface: a layer that paints a picture).
void DecodeStageBackgroundsAhead() {
  std::vector<std::string> files;
  for (int i = 0; i < kBackgroundLayerCount && i < static_cast<int>(StageData.m_Backgrounds.size()); ++i) {
    const cStageBackground& background = StageData.m_Backgrounds[static_cast<size_t>(i)];
    if (!BackgroundIsFill(background))
      files.push_back(background.m_strFile.substr(0, sizeof(DDSURFACEINFO{}.szFileName) - 1));
  }
  plat::DecodeAhead(files);
}

bool SetFramePacing(StartupState&) {
  SceneManager.m_nFrameRate = 60;
  SceneManager.m_nFadeSpeed = 10;
  return true;
}

// Held keys repeat in menus after 18 frames, then every 6.
bool SetKeyRepeat(StartupState&) {
  for (cInput& input : InputRecords) input.SetRepeat(18, 6);
  return true;
}

// The display mode from "System.ini", the system data and the desktop, then
// the display itself (Direct3D falling back to DirectDraw).
bool SetUpDisplay(StartupState& state) {
  plat::WindowHost& host = plat::GetWindowHost();
  DDDISPLAYCHOICE& display = state.display;
  if (!DDDecideDisplay(GameSettings, SystemData.Num(kSysDDDepth), SystemData.Num(kSysD3DDepth),
                       SystemData.Num(kSysFixedColourKey), host.Desktop().bitsPerPixel, display))
    return false;
  MainWindow.SetText(SystemData.m_strTitle.c_str());
  ResetStopwatch();
  if (display.nBpp == 8) GameSettings.nDDVideoStretch = 0;
  if (!DDInitWithFallback(GameSettings, MainWindow.m_hWnd, display, GameSurfaces, GameSurfaceInfo,
                          kGameSurfaceCount, state.showCommand))
    return false;
  if (lpDTCon) LinkSurfaceDescriptors();
  // "WindowMode=2" gives a Direct3D window a sizing border: the window
  // manager's resize and maximise work there and the picture scales with the
  // window (the host keeps whole scales). Every other window keeps the size
  // it is given; a Direct3D window's right-click menu still sets whole
  // scales. A fall-back to DirectDraw drops the border.
  host.SetResizable(lpDTCon != nullptr && DDState.bWindowed && display.bSizingBorder != 0);
  return true;
}

// In a window: where the player left it ("user_data\Window.dat"); then the
// window is shown and the display described in the report.
bool ShowGameWindow(StartupState& state) {
  plat::WindowHost& host = plat::GetWindowHost();
  int showCommand = state.showCommand;
  if (GameSettings.nWindowMode != 0 && WindowPosition.LoadFromFile(DataPaths.At(kPathWindow))) {
    host.Move(WindowPosition.m_nX, WindowPosition.m_nY);
    // A size the desktop cannot hold (or a nonsense one) is not restored.
    plat::Rect work = host.Desktop().workArea;
    if (lpDTCon && GameSettings.nWindowMode == 2 && WindowPosition.m_nWidth > 0 && WindowPosition.m_nHeight > 0 &&
        WindowPosition.m_nWidth <= work.Width() && WindowPosition.m_nHeight <= work.Height())
      host.SetClientSize(WindowPosition.m_nWidth, WindowPosition.m_nHeight);
    if (WindowPosition.m_bMaximised) showCommand = plat::SW_MAXIMIZE;
    // The whole window on the screen: a place saved on a larger screen, or
    // with the window half off it, would leave the game, and every box
    // drawn over it, out of sight.
    const plat::Rect window = host.WindowRectOnScreen();
    const int x = std::clamp(window.left, work.left, std::max(work.left, work.right - window.Width()));
    const int y = std::clamp(window.top, work.top, std::max(work.top, work.bottom - window.Height()));
    if (x != window.left || y != window.top) host.Move(x, y);
  }
  host.Show(!lpDTCon && GameSettings.nWindowMode == 0 ? plat::SW_MAXIMIZE : showCommand);
  WriteDisplayReport();
  WriteECLog("%s", plat::Sjis("DDInit成功").c_str());
  return true;
}

// The game palette and the transparent colour from the palette bitmap (or
// the system data's fixed key), and how the DirectDraw present waits.
bool SetPaletteAndColourKey(StartupState&) {
  if (!DDSetupPaletteAndKey(GameSurfaceInfo[SURF_PALETTE].szFileName, SystemData.Num(kSysFixedColourKey),
                            static_cast<uint8_t>(SystemData.Num(kSysColourKeyRed)),
                            static_cast<uint8_t>(SystemData.Num(kSysColourKeyGreen)),
                            static_cast<uint8_t>(SystemData.Num(kSysColourKeyBlue))))
    return false;
  WriteECLog("1");
  if (!lpDTCon) g_bNoFlip = DDNoFlipFlag(GameSettings.nVSync != 0, 60);
  return true;
}

bool LoadStartupSurfaces(StartupState&) {
  SurfaceList startup = StartupSurfaces();
  return DDLoadSurfaces(GameSurfaces, startup.indices, startup.count) != 0;
}

// The three game fonts from their settings, then their digit strips.
bool MakeGameFonts(StartupState&) {
  if (CreateGameFonts(GameFontOptionsFromSettings())) return true;
  WriteReportAndShowError("%s", plat::Sjis("フォントの作成に失敗しました！").c_str());
  return false;
}

// The buttons' default masks, then the player's key configuration
// ("user_data\KeyConfig.dat"); a missing or unreadable file gives the
// default keys.
bool LoadKeyConfiguration(StartupState&) {
  for (cInput& input : InputRecords) input.SetDefaultButtonMasks();
  if (!LoadKeyConfig(DataPaths.At(kPathKeyConfig).c_str(), KeyConfig)) SetDefaultKeys(KeyConfig);
  return true;
}

// The player's options ("user_data\Option.dat"). Read early: whether music
// plays decides whether the synthesiser starts reading its SoundFont.
bool LoadOptions(StartupState&) {
  OptionData = cOptionData();
  OptionData.LoadFromFile(DataPaths.At(kPathOption));  // a missing record keeps its defaults
  return true;
}

// In 8-bit mode the screen palette the options choose.
bool SetScreenPalette(StartupState& state) {
  return state.display.nBpp != 8 || LoadScreenPalette(OptionData.m_nPalette);
}

// Early, before the display: the synthesiser's SoundFont (read in the
// background) is then ready by the time the first scene asks for its tune.
bool StartMusic(StartupState&) {
  if (GameSettings.nWindowMode == 0) GameSettings.nMidiDirectMusic = 0;
  if (OptionData.m_bMusic)
    g_BGMPlayer.Init(1, g_OggTrackTable, g_MidiTrackTable, kBGMTrackCount, GameSettings.nMidiDirectMusic);
  return true;
}

// The sound list: the game's seventeen system sounds, then the project's
// sounds from database entry 1 on as sounds 17, 18, ...
bool LoadSoundEffects(StartupState&) {
  std::vector<std::string> sounds(Database.m_Sounds.size() + 16);
  for (int i = 0; i <= 16 && i < static_cast<int>(sounds.size()); ++i) sounds[i] = SystemData.m_SystemSounds.At(i);
  for (size_t k = 1; k < Database.m_Sounds.size(); ++k) sounds[16 + k] = Database.m_Sounds[k].m_strName;
  if (!DS_Init(MainWindow.m_hWnd, 22050, 8, 1)) {
    // Shown, not only logged: the game ends here and the player must learn
    // why (the report log holds the device's own reason).
    WriteReportAndShowError("%s", plat::Sjis("DS_Init失敗！").c_str());
    return false;
  }
  DSLoadSoundEffects(sounds, OptionData.m_nSoundVolume);
  return true;
}

bool LoadWorldMapAndCommonPalette(StartupState&) {
  const struct {
    cRecord* record;
    int path;
  } files[] = {{&WorldMapData, kPathWorldMap}, {&CommonPalette, kPathCommonPalette}};
  for (const auto& file : files) {
    const std::string& path = DataPaths.At(file.path);
    if (!file.record->LoadFromFile(path)) {
      WriteReportAndShowError(plat::Sjis("%s のロードに失敗！").c_str(), path.c_str());
      return false;
    }
  }
  WriteECLog("4");
  return true;
}

// A stage file named on the command line: the newest numbered version of it
// when there is one. A name that does not exist is reported and forgotten
// (the title comes first). One that exists is played on its own as free
// play: the stage scene comes first and finds the file in "FreeStage". One
// that exists but cannot be played (unreadable, no hero) has shown why, and
// start-up fails: the program ends there, with nothing to ask.
bool StartCommandLineStage(StartupState& state) {
  if (GameSettings.szFreeStage[0] == '\0') return true;
  const std::string file = CommandLineStageFile();
  if (file.empty()) {
    WriteReportAndECLog(kMissingStage(), GameSettings.szFreeStage);
    GameSettings.szFreeStage[0] = '\0';
    return true;
  }
  std::snprintf(GameSettings.szFreeStage, sizeof GameSettings.szFreeStage, "%s", file.c_str());
  SceneManager.m_bTestPlay = 1;
  SceneManager.m_nPlayMode = kPlayFree;
  SceneManager.m_nLastTitleAction = kTitleFreePlay;
  // It ranks as free play does: the result screen's F3 registers its
  // results when the free-play settings keep rankings.
  bRankingOn = kPlayFree < static_cast<int>(SystemData.m_Ranking.size()) ? SystemData.m_Ranking.At(kPlayFree).m_bOn : 0;
  // Test play: unlimited lives.
  if (!BeginSingleStagePlay(GameSettings.szFreeStage, 0, true)) {
    state.stageUnplayable = true;
    return false;
  }
  DecodeStageBackgroundsAhead();
  SaveData.m_nValue4 = 0;  // the world select's mark: a test play is not one of its plays
  SceneManager.m_nCurrent = kSceneStage;
  SceneManager.m_nNext = kSceneStage;
  SceneManager.m_nPrevious = kSceneTitle;
  return true;
}

// Stage play is scene 4; its frames also fill the stage part of the frame
// trace when one is written.
bool RegisterStagePlay(StartupState&) {
  RegisterSceneFactory(kSceneStage, CreateStageScene);
  InstallStageTraceFiller();
  InstallStageFlows();  // flow runtime: characters run their event flows
  InstallStageSetUpCheck();  // no stage is taken that its set-up would not lay out
  return true;
}

// The front end's scenes (title, world map and its menu, world select,
// options), over the world map just loaded.
bool RegisterFrontEnd(StartupState&) {
  RegisterFrontScenes();
  return true;
}

// The title's pictures are loaded now: one that cannot be loaded (a missing
// or damaged "bmp\Title.bmp" ...) fails the start after its message, as a
// data file does, instead of ending the game from the first frame of the
// title, or of a stage played on its own (its scene loads the title picture
// and the box and menu pictures too). The first scene loads them again as
// it enters.
bool LoadTitlePictures(StartupState&) {
  const SurfaceList title = TitleSurfaces();
  return DDLoadSurfaces(GameSurfaces, title.indices, title.count);
}

// A stage played on its own has its pictures loaded now as well (its
// blocks, its backgrounds ...), for the same reason: one that cannot be
// loaded (a broken "bmp\Block.bmp") fails the start after its message,
// naming it, instead of ending the game from the stage's first frame.
bool LoadCommandLineStagePictures(StartupState&) {
  if (GameSettings.szFreeStage[0] == '\0') return true;
  NameStageBackgroundSurfaces();
  const SurfaceList stage = StageSurfaces();
  return DDLoadSurfaces(GameSurfaces, stage.indices, stage.count);
}

using StartupStep = bool (*)(StartupState&);

constexpr StartupStep kStartupSteps[] = {
    SeedRandomNumbers,
    PrepareRecordFormat,
    MakeFolders,
    LoadProjectDatabase,
    LoadSystemData,
    ReadSettings,
    LoadOptions,
    StartMusic,
    ChooseDrawingMode,
    TakeCommandLineStage,
    DecodeFirstScenePicturesAhead,
    SetFramePacing,
    SetKeyRepeat,
    SetUpDisplay,
    ShowGameWindow,
    SetPaletteAndColourKey,
    LoadStartupSurfaces,
    MakeGameFonts,
    LoadKeyConfiguration,
    SetScreenPalette,
    LoadSoundEffects,
    LoadWorldMapAndCommonPalette,
    RegisterStagePlay,
    RegisterFrontEnd,
    StartCommandLineStage,
    LoadTitlePictures,
    LoadCommandLineStagePictures,
};

// ---- shutdown, in order; each release is safe when its part was never built ----

void ReleaseSoundEffects() { DSRelease(); }
void ReleaseMusic() { g_BGMPlayer.Release(); }
void DeleteScenes() { SceneManager.DeleteAll(); }
void ReleaseDisplay() { DDEnd(); }

constexpr void (*kShutdownSteps[])() = {plat::ForgetDecodedAhead, WriteGameFontReport, ReleaseSoundEffects,
                                        ReleaseMusic,             DeleteScenes,        ReleaseGameFonts,
                                        ReleaseDisplay};

}  // namespace

StartupOutcome InitGame(const char* commandLine, int showCommand) {
  StartupState state{commandLine, showCommand, {}};
  for (StartupStep step : kStartupSteps) {
    if (!step(state)) {
      if (state.cancelled) return StartupOutcome::kCancelled;
      if (!state.stageUnplayable) AskForTheDrawingModeNextTime(state);
      return StartupOutcome::kFailed;
    }
  }
  return StartupOutcome::kStarted;
}

void ShutdownGame() {
  for (auto release : kShutdownSteps) release();
}

// The real entry point and frame step, driven by the headless harness on the
// virtual clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "app/main_window.h"
#include "app/startup.h"
#include "app/winmain.h"
#include "base/program.h"
#include "base/safe_containers.h"
#include "base/thread.h"
#include "data/settings.h"
#include "data/user_records.h"
#include "gfx/dd.h"
#include "data/window_position.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/frame_hand_over.h"
#include "platform/keys.h"
#include "platform/text.h"
#include "scene/scene.h"
#include "support/harness.h"
#include "support/stage_builder.h"

namespace {

// A boot record in the game's folder, as the start dialog writes it.
void WriteBootRecord(GameHarness& game, int32_t mode, int32_t dontAsk) {
  std::filesystem::create_directories(game.PathOf("user_data"));
  cBootRecord boot;
  boot.m_nMode = mode;
  boot.m_bDontAsk = dontAsk;
  ASSERT_TRUE(boot.SaveToFile("user_data\\Boot.dat"));
}

void RegisterTitle(std::function<void(TestScene&)> onRun = {}) {
  RegisterSceneFactory(kSceneTitle, [onRun] { return new TestScene(onRun); });
}

TEST(GameTest, StartsOnAProjectAndPresentsTheScenesFramesAtSixtyPerSecondOfGameTime) {
  GameHarness game;
  RegisterTitle();
  ASSERT_TRUE(game.Start());
  EXPECT_EQ(game.ReadFile("Report_Game.txt").substr(0, 14), "App : ver 873\n");
  for (const char* folder : kStartupFolders) {
    std::string path = folder;
    for (char& c : path)
      if (c == '\\') c = '/';
    EXPECT_TRUE(std::filesystem::is_directory(game.PathOf(path))) << path;
  }
  EXPECT_FALSE(std::filesystem::exists(game.PathOf("EC_Game.txt")));

  ASSERT_TRUE(game.StepFrames(1));
  const uint32_t t0 = plat::TickCount();
  ASSERT_TRUE(game.StepFrames(60));
  EXPECT_EQ(plat::TickCount() - t0, 1000u);  // 60 frames, one second of game time

  plat::Frame frame;
  ASSERT_TRUE(game.LastFrame(frame));
  ASSERT_EQ(frame.pixels.size(), 640u * 480u);
  auto* title = static_cast<TestScene*>(SceneManager.Scene(kSceneTitle));
  ASSERT_NE(title, nullptr);
  // The n-th frame presented is the scene's n-th picture (the scene may
  // already have drawn the next one while the present waits for its time).
  const uint64_t presented = game.FramesPresented();
  EXPECT_EQ(frame.pixels[0], TestSceneColour(static_cast<uint32_t>(presented)));
  EXPECT_EQ(frame.pixels[640 * 479], TestSceneColour(static_cast<uint32_t>(presented)));  // clear of the rate display
  EXPECT_LE(title->runs - presented, 1u);
  EXPECT_EQ(game.Close(), 0);
}

// Until the game stands still without the clock moving: held between
// frames, or asleep on the virtual clock (a game that were not held would
// have run on into its next frame, as far as the wait for its present).
void WaitUntilStill() {
  while (!plat::HeldAtHandOver(plat::FramesHandedOver()) && plat::VirtualClockSleepers() == 0)
    plat::WaitForVirtualClockWork(500);
}

// Between two steps the game stands at the frame presented last, however
// long the test takes: its scene has run once for each frame presented,
// and a key pressed or released between two steps is what the next frame
// sees. Twelve steps, the key changing after every other; then frames run
// freely, and a step stands still again.
TEST(GameTest, BetweenStepsTheGameStandsAtTheFramePresentedLastAndKeysGoToTheNextFrame) {
  GameHarness game;
  std::vector<bool> seen;  // Z held in each run of the scene
  RegisterTitle([&seen](TestScene&) { seen.push_back(plat::IsKeyDown('Z')); });
  ASSERT_TRUE(game.Start());
  auto title = [] { return static_cast<const TestScene*>(SceneManager.Scene(kSceneTitle)); };
  std::vector<bool> held;  // Z as the test left it for each frame
  for (int step = 0; step < 12; ++step) {
    held.push_back(step % 4 >= 2);
    ASSERT_TRUE(game.StepFrames(1));
    WaitUntilStill();
    ASSERT_NE(title(), nullptr);
    EXPECT_EQ(title()->runs, game.FramesPresented()) << "step " << step;
    (step + 1) % 4 >= 2 ? game.PressKey('Z') : game.ReleaseKey('Z');
  }
  EXPECT_EQ(seen, held);
  ASSERT_TRUE(game.Run().AdvanceUntil([&] { return game.FramesPresented() >= 30; }));
  ASSERT_TRUE(game.StepFrames(2));
  WaitUntilStill();
  EXPECT_EQ(title()->runs, game.FramesPresented());
  EXPECT_EQ(seen.size(), title()->runs);
  EXPECT_EQ(game.Close(), 0);
}

TEST(GameTest, EscapeOnTheTitleEndsTheGameWithoutAQuestion) {
  GameHarness game;
  RegisterTitle();
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(game.StepFrames(3));
  game.PressKey(plat::VK_ESCAPE);
  EXPECT_EQ(game.WaitForExit(), 0);
  EXPECT_FALSE(thGame.Running());
  // Only the start dialog (it asks for the drawing mode) came up.
  EXPECT_EQ(game.DialogLog().find("終了確認"), std::string::npos) << game.DialogLog();
}

TEST(GameTest, ClosingAWindowedGameAsksAndNoKeepsItRunningThenItRemembersItsWindow) {
  GameHarness::Options options;
  options.dialogAnswers = "ok;no;yes";  // the start dialog first
  options.iniLines = "WindowMode=1\n";
  GameHarness game(options);
  RegisterSceneFactory(kSceneOptions, [] { return new TestScene(); });
  SceneManager.m_nCurrent = kSceneOptions;
  ASSERT_TRUE(game.Start());
  ASSERT_TRUE(game.StepFrames(2));
  game.PressKey(plat::VK_ESCAPE);
  game.ReleaseKey(plat::VK_ESCAPE);
  ASSERT_TRUE(game.StepFrames(5));  // answered no: frames go on
  EXPECT_TRUE(game.Running());
  game.PressKey(plat::VK_ESCAPE);
  EXPECT_EQ(game.WaitForExit(), 0);
  const std::string log = game.DialogLog();
  EXPECT_NE(log.find("終了確認\t終了しますか？\\n\tno"), std::string::npos) << log;
  EXPECT_NE(log.find("終了確認\t終了しますか？\\n\tyes"), std::string::npos) << log;

  cWindowPosition saved;
  ASSERT_TRUE(saved.LoadFromFile(game.PathOf("user_data/Window.dat")));
  EXPECT_EQ(saved.m_nWidth, 640);
  EXPECT_EQ(saved.m_nHeight, 480);
  EXPECT_EQ(saved.m_bMaximised, 0);
}

// A harness let go while its game still runs (a test that stopped at a
// failed assertion) closes the game and leaves nothing running behind.
TEST(GameTest, AHarnessLetGoWhileItsGameRunsClosesTheGame) {
  {
    GameHarness game;
    RegisterTitle();
    ASSERT_TRUE(game.Start());
    ASSERT_TRUE(game.StepFrames(3));
    ASSERT_TRUE(game.Running());
  }
  EXPECT_FALSE(thGame.Running());
  EXPECT_EQ(g_hMainWnd.load(), 0u);
}

// Waiting for the end of a game that shows frames on gives up once it has
// shown the frames the wait allows (the game goes on, and closes after).
TEST(GameTest, AWaitForTheEndOfAGameThatGoesOnGivesUpAfterItsFrames) {
  GameHarness game;
  RegisterTitle();
  ASSERT_TRUE(game.Start());
  const uint64_t before = game.FramesPresented();
  EXPECT_EQ(game.WaitForExit(30), -1);
  EXPECT_GE(game.FramesPresented(), before + 30);
  EXPECT_TRUE(game.Running());
  EXPECT_EQ(game.Close(), 0);
}

TEST(GameTest, BadIndexOnTheGameThreadEndsTheProgramInOrder) {
  GameHarness game;
  RegisterTitle([](TestScene& scene) {
    if (scene.runs == 3) {
      cSafeVector<int32_t> values(3);
      values.At(3) = 7;
    }
  });
  ASSERT_TRUE(game.Start());
  EXPECT_EQ(game.WaitForExit(), kExitFault) << "a fault is no orderly end the program can report as success";
  const std::string report = game.ReadFile("Report_Game.txt");
  EXPECT_EQ(report.substr(0, 14), "App : ver 873\n");
  const std::string badIndex = "\nerr V[3] ( 3 , 4 )\n";
  ASSERT_GE(report.size(), badIndex.size());
  EXPECT_EQ(report.substr(report.size() - badIndex.size()), badIndex);
  EXPECT_FALSE(thGame.Running());
  EXPECT_EQ(g_hMainWnd.load(), 0u);
}

TEST(GameTest, CommandLineStageTakesTheNewestNumberedFileOrIsReportedMissing) {
  struct Case {
    const char* commandLine;
    const char* chosen;
  };
  for (const Case& c : {Case{"S.stg4_873", "S.stg4_010"}, Case{"data\\stg4\\none.stg4_873", ""}}) {
    SCOPED_TRACE(c.commandLine);
    GameHarness::Options options;
    options.commandLine = c.commandLine;
    GameHarness game(options);
    // The newest is a stage that plays; the older one would not load.
    std::ofstream(game.PathOf("S.stg4_003")) << "x";
    std::filesystem::copy_file(game.PathOf("data/stg4/demo.stg4_1"), game.PathOf("S.stg4_010"));
    ASSERT_TRUE(game.Start());
    EXPECT_STREQ(GameSettings.szFreeStage, c.chosen);
    const bool found = *c.chosen != '\0';
    const bool reported = game.ReadFile("Report_Game.txt")
                              .find("「data\\stg4\\none.stg4_873」の読み込みに失敗しました！") != std::string::npos;
    EXPECT_EQ(reported, !found);
    // A stage found is handed to stage play: a single free-play stage, its scene first.
    EXPECT_EQ(SceneManager.m_nCurrent.load(), found ? kSceneStage : kSceneTitle);
    if (found) {  // previous scene, play mode, title action, test play
      EXPECT_EQ(std::vector<int32_t>({SceneManager.m_nPrevious.load(), SceneManager.m_nPlayMode,
                                      SceneManager.m_nLastTitleAction, SceneManager.m_bTestPlay}),
                std::vector<int32_t>({kSceneTitle, kPlayFree, kTitleFreePlay, 1}));
    }
    EXPECT_EQ(game.Close(), 0);
  }
}

TEST(GameTest, AskingForTheDrawingModeKeepsTheBootRecordsChoice) {
  struct Row {
    const char* iniLines;
    int bootMode;  // -1: no boot record
    int32_t direct3D;
  };
  // In a window (the desktop's depth serves both modes); "Direct3D" is 2 by
  // default.
  for (const Row& row : {Row{"", -1, 1}, Row{"", 0, 0}, Row{"Direct3D=2\n", 1, 1}, Row{"Direct3D=1\n", 0, 1}}) {
    SCOPED_TRACE(std::string(row.iniLines) + " boot " + std::to_string(row.bootMode));
    GameHarness::Options options;
    options.iniLines = std::string("WindowMode=1\n") + row.iniLines;
    GameHarness game(options);
    if (row.bootMode >= 0) {
      std::filesystem::create_directories(game.PathOf("user_data"));
      cBootRecord boot;
      boot.m_nMode = row.bootMode;
      ASSERT_TRUE(boot.SaveToFile("user_data\\Boot.dat"));
    }
    ASSERT_TRUE(game.Start());
    EXPECT_EQ(GameSettings.nDirect3D, row.direct3D);
    EXPECT_EQ(lpDTCon != nullptr, row.direct3D == 1);
    EXPECT_EQ(game.Close(), 0);
  }
}

// A window place saved off the screen (a larger screen then) brings the
// whole window back onto the work area, where the player and every box drawn
// over the game can be seen; one that fits stays where it was.
TEST(GameTest, ASavedWindowPlaceOffTheScreenIsBroughtBackWhole) {
  struct Row {
    int x, y;                  // saved
    int left, top;             // where the client area starts
  };
  // The headless desktop: 1920 x 1080 with a work area 1040 high.
  for (const Row& row : {Row{100000, 100000, 1920 - 640, 1040 - 480}, Row{1500, 20, 1920 - 640, 20}, Row{300, 200, 300, 200}}) {
    SCOPED_TRACE(std::to_string(row.x) + "," + std::to_string(row.y));
    GameHarness::Options options;
    options.iniLines = "WindowMode=1\nDirect3D=1\n";
    GameHarness game(options);
    std::filesystem::create_directories(game.PathOf("user_data"));
    cWindowPosition place;
    place.Store(row.x, row.y, 640, 480, 0);
    ASSERT_TRUE(place.SaveToFile("user_data\\Window.dat"));
    ASSERT_TRUE(game.Start());
    const plat::Rect client = plat::GetWindowHost().ClientRectOnScreen();
    EXPECT_EQ(client.left, row.left);
    EXPECT_EQ(client.top, row.top);
    EXPECT_EQ(game.Close(), 0);
  }
}

// The window-size dialog (the menu key opens it) marks the scale the
// window's picture is drawn at now, so its OK keeps that size: 100% for a
// new window, 200% for a window of WindowMode=2 that starts at the 1280x960
// it was left at, and 200% too for one left at a size between two scales
// (its picture drawn at 200%), which OK then sizes to 1280x960 exactly.
TEST(GameTest, TheWindowSizeDialogMarksTheScaleTheWindowHasNow) {
  struct Row {
    const char* iniLines;
    int savedWidth, savedHeight;  // the size Window.dat keeps (0: no record)
    const char* result;           // the dialog's, in its transcript line
    int width, height;            // the client size after its OK
  };
  const Row rows[] = {{"WindowMode=1\nDirect3D=1\n", 0, 0, "result 1 (ok)", 640, 480},
                      {"WindowMode=2\nDirect3D=1\n", 1280, 960, "result 2 (ok)", 1280, 960},
                      {"WindowMode=2\nDirect3D=1\n", 1500, 1000, "result 2 (ok)", 1280, 960}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.savedWidth) + "x" + std::to_string(row.savedHeight));
    GameHarness::Options options;
    options.iniLines = row.iniLines;
    options.dialogAnswers = "ok";
    GameHarness game(options);
    if (row.savedWidth != 0) {
      std::filesystem::create_directories(game.PathOf("user_data"));
      cWindowPosition place;
      place.Store(100, 20, row.savedWidth, row.savedHeight, 0);
      ASSERT_TRUE(place.SaveToFile("user_data\\Window.dat"));
    }
    ASSERT_TRUE(game.Start());
    ASSERT_EQ(plat::GetWindowHost().ClientRectOnScreen().Width(), row.savedWidth != 0 ? row.savedWidth : 640);
    game.PressKey(plat::VK_APPS);
    game.ReleaseKey(plat::VK_APPS);
    for (int i = 0; i < 600 && game.DialogLog().find("result") == std::string::npos; ++i)
      ASSERT_TRUE(game.StepFrames(1));
    ASSERT_TRUE(game.StepFrames(2));
    EXPECT_NE(game.DialogLog().find(plat::Cp932ToUtf8(plat::Sjis("ウインドウのサイズ")) + "\t\t" + row.result),
              std::string::npos)
        << game.DialogLog();
    const plat::Rect client = plat::GetWindowHost().ClientRectOnScreen();
    EXPECT_EQ(client.Width(), row.width);
    EXPECT_EQ(client.Height(), row.height);
    EXPECT_EQ(game.Close(), 0);
  }
}

// A start that fails after taking the drawing mode from a boot record that
// says not to ask makes the next start ask again (the stored mode kept); a
// start that succeeds leaves the record alone.
TEST(GameTest, AFailedStartWithAnUnaskedDrawingModeAsksNextTime) {
  for (bool fails : {true, false}) {
    SCOPED_TRACE(fails ? "a start that fails" : "a start that succeeds");
    GameHarness::Options options;
    options.iniLines = "WindowMode=1\nDirect3D=2\n";
    options.dialogAnswers = "ok";  // the failure's message box
    GameHarness game(options);
    WriteBootRecord(game, 0, 1);
    if (fails) std::filesystem::remove(game.PathOf("data/WorldMap.dat"));
    EXPECT_EQ(game.Start(), !fails);
    if (fails)
      EXPECT_EQ(game.WaitForExit(), kExitStartFailed);
    else
      EXPECT_EQ(game.Close(), 0);
    EXPECT_EQ(game.DialogLog().find("描画モード"), std::string::npos);  // not asked this time
    cBootRecord after;
    ASSERT_TRUE(after.LoadFromFile(game.PathOf("user_data/Boot.dat")));
    EXPECT_EQ(after.m_nMode, 0);
    EXPECT_EQ(after.m_bDontAsk, fails ? 0 : 1);
  }
}

// Cancel in the start dialog ends the program at start-up: exit code 0 (the
// player's choice, not a failure), no frame, no window shown, and the boot record as it was (missing or not).
TEST(GameTest, CancellingTheStartDialogEndsTheProgramBeforeAnyFrame) {
  for (bool withRecord : {false, true}) {
    SCOPED_TRACE(withRecord ? "with a boot record" : "without a boot record");
    GameHarness::Options options;
    options.iniLines = "WindowMode=1\nDirect3D=2\n";
    options.dialogAnswers = "cancel";
    GameHarness game(options);
    std::string record;
    if (withRecord) {
      std::filesystem::create_directories(game.PathOf("user_data"));
      cBootRecord boot;
      boot.m_nMode = 0;
      ASSERT_TRUE(boot.SaveToFile("user_data\\Boot.dat"));
      record = game.ReadFile("user_data/Boot.dat");
    }
    EXPECT_FALSE(game.Start());
    EXPECT_EQ(game.WaitForExit(), 0);
    EXPECT_EQ(game.FramesPresented(), 0u);
    EXPECT_FALSE(plat::GetWindowHost().Exists());
    EXPECT_EQ(std::filesystem::exists(game.PathOf("user_data/Boot.dat")), withRecord);
    EXPECT_EQ(game.ReadFile("user_data/Boot.dat"), record);
    const std::string log = game.DialogLog();
    EXPECT_NE(log.find("描画モード\tresult 0 (cancel)"), std::string::npos) << log;
  }
}

// "System.ini" decides the window's sizing border (a Direct3D window of
// WindowMode=2 only) and the language of the boxes' standard buttons
// (English=1).
TEST(GameTest, SystemIniChoosesTheSizingBorderAndTheBoxesLanguage) {
  struct Row {
    const char* iniLines;
    bool resizable, english;
  };
  for (const Row& row : {Row{"WindowMode=1\nDirect3D=1\n", false, false}, Row{"WindowMode=2\nDirect3D=1\n", true, false},
                         Row{"WindowMode=2\nDirect3D=0\nEnglish=1\n", false, true}}) {
    SCOPED_TRACE(row.iniLines);
    GameHarness::Options options;
    options.iniLines = row.iniLines;
    GameHarness game(options);
    ASSERT_TRUE(game.Start());
    EXPECT_EQ(plat::GetWindowHost().Resizable(), row.resizable);
    EXPECT_EQ(plat::EnglishDialogs(), row.english);
    EXPECT_EQ(game.Close(), 0);
  }
}

// A stage named on the command line that exists but cannot be played ends
// start-up after the loader's own message: the program exits as a failed
// start before any frame, asks nothing (no quit question over a black screen), and leaves
// the boot record's "do not ask" as it was (the drawing mode is not what
// failed).
TEST(GameTest, AnUnplayableCommandLineStageEndsStartUpWithItsMessage) {
  StageBuilder noHero;
  noHero.Floor(10, 0, 19);
  const std::string playable = StageBuilder().Hero(2, 9).Floor(10, 0, 19).Bytes();
  ASSERT_GT(playable.size(), 8u);
  std::string unreadable = playable.substr(0, 8) + std::string(64, '\x7F') + playable.substr(playable.size() - 4);
  struct Row {
    const char* what;
    std::string bytes;
    const char* message;  // in the dialog transcript
  };
  const Row rows[] = {
      {"cut short", playable.substr(0, playable.size() - 4), "ステージファイル data\\stg4\\bad.stg4 が破損しています！"},
      {"unreadable", unreadable, "ステージファイル data\\stg4\\bad.stg4 の読み込みに失敗しました！"},
      {"without a hero", noHero.Bytes(), "主人公が配置されていないのでプレイできません！"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    GameHarness::Options options;
    options.commandLine = "data\\stg4\\bad.stg4";
    options.iniLines = "WindowMode=1\n";
    options.dialogAnswers = "ok;ok;ok";
    GameHarness game(options);
    WriteBootRecord(game, 1, 1);
    std::ofstream(game.PathOf("data/stg4/bad.stg4"), std::ios::binary) << row.bytes;
    EXPECT_FALSE(game.Start());
    EXPECT_EQ(game.WaitForExit(), kExitStartFailed);
    EXPECT_EQ(game.FramesPresented(), 0u);
    const std::string log = game.DialogLog();
    EXPECT_NE(log.find(row.message), std::string::npos) << log;
    EXPECT_EQ(log.find("終了確認"), std::string::npos) << log;
    cBootRecord after;
    ASSERT_TRUE(after.LoadFromFile(game.PathOf("user_data/Boot.dat")));
    EXPECT_EQ(after.m_bDontAsk, 1);
  }
}

}  // namespace

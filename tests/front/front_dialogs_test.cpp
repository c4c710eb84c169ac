// The game's dialogs run for real on the scripted back end (and, for the
// worker test, on a host that lets the test look in while a dialog is up).
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>
#include <tuple>

#include "base/program.h"
#include "base/thread.h"
#include "data/record.h"
#include "data/settings.h"
#include "data/stage_data.h"
#include "data/user_records.h"
#include "front/dialog_requests.h"
#include "front/file_select_dialog.h"
#include "front/start_dialog.h"
#include "front/text_entry_dialog.h"
#include "platform/dialog_view.h"
#include "platform/file_chooser.h"
#include "platform/keys.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "platform/threads.h"
#include "platform/window_host.h"
#include "scene/replay_recorder.h"
#include "scene/scene.h"
#include "support/forwarding_window_host.h"
#include "support/sandbox.h"

namespace {

TEST(TextEntryDialogTest, TheNameKeepsThreeBytesAndCancelLeavesItAsItWas) {
  struct Row {
    const char* answers;
    const char* typed;     // UTF-8 in, name out
    int32_t result;
  };
  const Row rows[] = {
      {"text:abcd", "abc", 1},
      {"text:あいう", "あ", 1},  // the third byte would split "い"
      {"text:ab\ncd", "ab", 1},  // a pasted second line does not go into a name
      {"cancel", "XY", 0},
      {"", "XY", 1},  // no script, no display: OK, the name as it was
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.answers);
    Sandbox sandbox(row.answers);
    std::string name = "XY";
    cTextEntryDialog dialog(&name);
    EXPECT_EQ(dialog.RunModal(), row.result);
    EXPECT_EQ(name, plat::Utf8ToCp932(row.typed));
  }
}

// A headless host on which the test plays the player: it sees each dialog
// (a modal view) when it comes up and acts on it.
class DrivingHost : public ForwardingWindowHost {
 public:
  explicit DrivingHost(std::function<void(plat::ModalView&)> drive) : drive_(std::move(drive)) {}
  bool RunModalView(plat::ModalView& view) override {
    drive_(view);
    return true;
  }

 private:
  std::function<void(plat::ModalView&)> drive_;
};

// A project folder with stage files and replays.
class FileSelectTest : public testing::Test {
 protected:
  FileSelectTest() {
    for (const char* f : {"data/stg4/a.stg4_1", "data/stg4/b.rpl4_873", "data/stg4/d.txt", "user_data/rpl4/b.rpl4_873",
                          "user_data/rpl4/c.rpl4_800"})
      sandbox_.Write(f, "x");
    // Links that lead out of the project.
    std::filesystem::create_directory_symlink(outside_.Path(), sandbox_ / "out");
    std::filesystem::create_symlink(outside_ / "victim", sandbox_ / "user_data/rpl4/link.rpl4_873");
  }
  int32_t Choose(int32_t mode, const std::string& answers, std::string& path) {
    sandbox_.Answer(answers);
    cFileSelectDialog dialog(mode, &path);
    return dialog.RunModal();
  }
  TempFolder outside_{"outside"};
  Sandbox sandbox_;
};

TEST_F(FileSelectTest, EachModeListsItsFiles) {
  struct Row { const char* folder; const char* pattern; std::vector<std::string> entries; };
  const Row rows[] = {
      {"data\\stg4\\", "*.stg4_*;*.rpl4_*", {"a.stg4_1", "b.rpl4_873"}},
      {"user_data\\rpl4", "*.rpl4_*", {"b.rpl4_873", "c.rpl4_800"}},
      {"user_data\\rpl4\\", "*.rpl4_873", {"b.rpl4_873"}},  // the dangling link is no file
      {"", "*.RPL4_*", {"data\\", "out\\", "user_data\\"}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> entries;
    EXPECT_TRUE(plat::ListChooserFolder(row.folder, row.pattern, entries)) << row.folder;
    EXPECT_EQ(entries, row.entries) << row.folder;
  }
  std::vector<std::string> entries{"stale"};
  EXPECT_FALSE(plat::ListChooserFolder("gone\\", "*", entries));
  EXPECT_TRUE(entries.empty());
}

TEST_F(FileSelectTest, ScriptedChoicesAndRefusals) {
  struct Row {
    int32_t mode;
    const char* proposal;
    const char* answers;
    int32_t result;
    const char* path;     // "" when nothing is chosen
    const char* message;  // a box that must have come up, or ""
  };
  const Row rows[] = {
      {kFileSelectStage, "", "file:a.stg4_1", 1, "data\\stg4\\a.stg4_1", ""},
      {kFileSelectStage, "", "file:user_data\\rpl4\\c.rpl4_800", 1, "user_data\\rpl4\\c.rpl4_800", ""},
      {kFileSelectStage, "", "cancel", 0, "", ""},
      {kFileSelectStage, "", "file:none.stg4_1", 0, "", "ファイルが見つかりません"},
      {kFileSelectReplay, "", "file:..\\..\\etc\\passwd", 0, "", "ファイル名が正しくありません"},
      {kFileSelectReplay, "", "file:/etc/passwd", 0, "", "ファイル名が正しくありません"},
      {kFileSelectReplay, "", "file:a:b", 0, "", "ファイル名が正しくありません"},
      {kFileSelectReplay, "", "file:gone\\x.rpl4_1", 0, "", "を開けません"},
      {kFileSelectReplay, "", "file:out\\x.rpl4_1", 0, "", "を開けません"},  // a link to a folder elsewhere
      {kFileSelectSaveReplay, "user_data\\rpl4\\new", "file:link", 0, "", "ファイル名が正しくありません"},
      {kFileSelectSaveReplay, "user_data\\rpl4\\new", "ok", 1, "user_data\\rpl4\\new.rpl4_873", ""},
      {kFileSelectSaveReplay, "user_data\\rpl4\\new", "file:b;no", 0, "", "上書きしますか"},
      {kFileSelectSaveReplay, "user_data\\rpl4\\new", "file:b;yes", 1, "user_data\\rpl4\\b.rpl4_873", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.answers);
    std::filesystem::remove(sandbox_ / "dialogs.log");
    std::string path = row.proposal;
    EXPECT_EQ(Choose(row.mode, row.answers, path), row.result);
    EXPECT_EQ(path, row.result == 1 ? row.path : row.proposal);  // untouched when nothing is chosen
    if (*row.message) {
      EXPECT_NE(sandbox_.DialogLog().find(row.message), std::string::npos) << sandbox_.DialogLog();
    }
  }
  EXPECT_TRUE(std::filesystem::exists(sandbox_ / "user_data/rpl4/b.rpl4_873"));
}

TEST_F(FileSelectTest, SeveralFilesAreAppendedToThePathList) {
  sandbox_.Answer("file:a.stg4_1|b.rpl4_873");
  std::string name;
  std::vector<std::string> paths{"kept"};
  EXPECT_EQ(ShowOpenFileDialog(name, "t", "f", "*", "data\\stg4\\", &paths), 1);
  EXPECT_EQ(paths, (std::vector<std::string>{"kept", "data\\stg4\\a.stg4_1", "data\\stg4\\b.rpl4_873"}));
  // Without a list only one file is taken.
  sandbox_.Answer("file:a.stg4_1|b.rpl4_873");
  EXPECT_EQ(ShowOpenFileDialog(name, "t", "f", "*", "data\\stg4\\"), 1);
  EXPECT_EQ(name, "data\\stg4\\a.stg4_1");
}

// The chooser in the player's hands: Escape cancels, several files are
// marked with the keys or the mouse, and every file of a long list can be
// reached.
TEST_F(FileSelectTest, ThePlayerChoosesWithKeysAndTheMouseAndEscapeCancels) {
  for (int i = 0; i < 30; ++i) sandbox_.Write("data/stg4/z" + std::to_string(10 + i) + ".stg4_1", "x");
  sandbox_.Answer("");  // no script: the dialogs come up on the host
  using Drive = std::function<void(plat::DialogView&)>;
  auto drive = [](Drive act) {
    plat::SetWindowHost(std::make_unique<DrivingHost>([act](plat::ModalView& modal) {
      auto* view = dynamic_cast<plat::DialogView*>(&modal);
      ASSERT_NE(view, nullptr);
      act(*view);
      if (!view->Finished()) view->EndDialog(0);  // a step that did not end it fails below
    }));
  };
  auto key = [](plat::DialogView& v, int vk, bool ctrl = false, bool shift = false) { v.HandleKey(vk, ctrl, shift); };

  drive([&](plat::DialogView& v) { key(v, plat::VK_ESCAPE); });
  std::string path = "kept";
  EXPECT_EQ(Choose(kFileSelectStage, "", path), 0);
  EXPECT_EQ(path, "kept");

  // The list: "..\", a.stg4_1, b.rpl4_873, z10 ... z39. The last is reached
  // with End; Enter opens it.
  drive([&](plat::DialogView& v) {
    key(v, plat::VK_END);
    key(v, plat::VK_RETURN);
  });
  EXPECT_EQ(Choose(kFileSelectStage, "", path), 1);
  EXPECT_EQ(path, "data\\stg4\\z39.stg4_1");

  // Several: Shift and the arrows, then Enter; the name box shows them all.
  std::string names;
  drive([&](plat::DialogView& v) {
    key(v, plat::VK_DOWN);
    key(v, plat::VK_DOWN, false, true);
    key(v, plat::VK_DOWN, false, true);
    names = v.ItemText(1103);
    key(v, plat::VK_RETURN);
  });
  std::string name;
  std::vector<std::string> paths;
  EXPECT_EQ(ShowOpenFileDialog(name, "t", "f", "*.stg4_*;*.rpl4_*", "data\\stg4\\", &paths), 1);
  EXPECT_EQ(names, "\"a.stg4_1\" \"b.rpl4_873\" \"z10.stg4_1\"");
  EXPECT_EQ(paths, (std::vector<std::string>{"data\\stg4\\a.stg4_1", "data\\stg4\\b.rpl4_873", "data\\stg4\\z10.stg4_1"}));

  // With the mouse: a click, a Ctrl+click further down, then Open.
  drive([&](plat::DialogView& v) {
    plat::Frame canvas;
    canvas.pixels.assign(static_cast<size_t>(canvas.width) * canvas.height, 0xFF000000u);
    v.Render(canvas);
    const plat::Rect list = v.ItemRect(1101), open = v.ItemRect(1000);
    const int row = v.ListRowPixels();
    auto click = [&](int x, int y, bool ctrl) {
      v.HandleMouseDown(x, y, false, ctrl, false);
      v.HandleClick(x, y);
    };
    click(list.left + 20, list.top + 2 + row + row / 2, false);      // a.stg4_1
    click(list.left + 20, list.top + 2 + 3 * row + row / 2, true);   // z10.stg4_1
    click((open.left + open.right) / 2, (open.top + open.bottom) / 2, false);
  });
  paths.clear();
  EXPECT_EQ(ShowOpenFileDialog(name, "t", "f", "*.stg4_*;*.rpl4_*", "data\\stg4\\", &paths), 1);
  EXPECT_EQ(paths, (std::vector<std::string>{"data\\stg4\\a.stg4_1", "data\\stg4\\z10.stg4_1"}));
}

// Escape in the name-entry dialog is its Cancel (the dialog has no Cancel
// button; its close is one): the name stays as it was. While the input
// method composes, Escape only drops the composition.
TEST(TextEntryDialogTest, EscapeClosesTheNameEntryAsCancel) {
  struct Row {
    const char* what;
    std::function<void(plat::DialogView&)> act;
    int32_t result;
    const char* name;
  };
  auto key = [](plat::DialogView& v, int vk) { v.HandleKey(vk, false, false); };
  const Row rows[] = {
      {"typed, then Escape", [&](plat::DialogView& v) { v.TypeText("abc"); key(v, plat::VK_ESCAPE); }, 0, "XY"},
      {"Escape in a composition, then Enter",
       [&](plat::DialogView& v) {
         v.HandleTextEditing("あ");
         key(v, plat::VK_ESCAPE);
         EXPECT_FALSE(v.Finished());
         key(v, plat::VK_RETURN);
       },
       1, "XY"},
      {"typed, then Enter", [&](plat::DialogView& v) { v.TypeText("abc"); key(v, plat::VK_RETURN); }, 1, "abc"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Sandbox sandbox;  // no script: the dialog comes up on the host
    plat::SetWindowHost(std::make_unique<DrivingHost>([&row](plat::ModalView& modal) {
      auto* view = dynamic_cast<plat::DialogView*>(&modal);
      ASSERT_NE(view, nullptr);
      row.act(*view);
      if (!view->Finished()) view->EndDialog(-1);  // still open: the result below fails
    }));
    std::string name = "XY";
    cTextEntryDialog dialog(&name);
    EXPECT_EQ(dialog.RunModal(), row.result);
    EXPECT_EQ(name, row.name);
  }
}

// GameSettings values the dialogs read, put back after each test.
class SettingsGuard {
 public:
  SettingsGuard() : saved_(GameSettings) {}
  ~SettingsGuard() { GameSettings = saved_; }

 private:
  decltype(GameSettings) saved_;
};

TEST(StartDialogTest, StartStoresTheChoiceAndCancelLeavesTheBootRecord) {
  SettingsGuard settings;
  struct Row {
    const char* answers;
    bool started;
    int32_t mode, dontAsk;  // stored (when started)
  };
  const Row rows[] = {
      {"click:1003,1004,1000", true, 0, 1},
      {"ok", true, 1, 0},  // a new installation: Direct3D checked, the box clear
      {"click:1003,1001", false, 0, 0},
      {"cancel", false, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.answers);
    Sandbox sandbox(row.answers);
    cBootRecord boot;
    GameSettings.nDirect3D = 2;
    EXPECT_EQ(ChooseDrawingModeWithStartDialog(boot, "Boot.dat"), row.started);
    cBootRecord stored;
    EXPECT_EQ(stored.LoadFromFile("Boot.dat") != 0, row.started);
    if (!row.started) continue;
    EXPECT_EQ(stored.m_nMode, row.mode);
    EXPECT_EQ(stored.m_bDontAsk, row.dontAsk);
    EXPECT_EQ(GameSettings.nDirect3D, row.mode);
  }
  // Asked not to ask: no dialog, the stored mode.
  Sandbox sandbox("cancel");
  cBootRecord boot;
  boot.m_nMode = 0;
  boot.m_bDontAsk = 1;
  EXPECT_TRUE(ChooseDrawingModeWithStartDialog(boot, "Boot.dat"));
  EXPECT_EQ(GameSettings.nDirect3D, 0);
  EXPECT_EQ(sandbox.DialogLog(), "");
}

// The test's thread is the main thread and owns a game window whose
// handler serves the dialog requests; a game thread asks.
class DialogRequestTest : public testing::Test {
 protected:
  DialogRequestTest() {
    plat::SetMainThread();
    window_ = plat::CreateWindowEntry([](plat::WindowHandle, uint32_t message, uint64_t wParam, int64_t) -> int64_t {
      ServeDialogRequest(message, wParam);
      return 0;
    });
    g_hMainWnd.store(window_);
    savedScene_ = SceneManager.m_nCurrent.load();
    SceneManager.m_nCurrent = kSceneOptions;  // the options screen asks for the name
    savedName_ = OptionData.m_strRankingName;
  }
  ~DialogRequestTest() override {
    if (plat::IsWindowEntry(window_)) plat::DestroyWindowEntry(window_);
    g_hMainWnd.store(0);
    g_ReplayFileOps = ReplayFileOps{};
    ReplayRecorder.m_AskSave = nullptr;
    SceneManager.m_nCurrent = savedScene_;
    OptionData.m_strRankingName = savedName_;
    plat::DropQueue();
    plat::ClearMainThread();
  }
  // Runs `ask` on a game thread and serves the window until it returns.
  void AskFromGameThread(const std::function<void()>& ask) {
    std::atomic<bool> finished{false};
    plat::Thread game;
    ASSERT_TRUE(game.Start([&]() -> uint32_t {
      ask();
      finished.store(true);
      plat::PostThreadMessage(plat::MainThreadId(), plat::WM_NULL, 0, 0);
      return 0;
    }));
    while (!finished.load()) plat::WaitMessageTimeout(50);
    ASSERT_TRUE(game.Join(60000));
  }
  Sandbox sandbox_;
  plat::WindowHandle window_ = 0;
  int32_t savedScene_ = 0;
  std::string savedName_;
};

TEST_F(DialogRequestTest, TheDoneFlagIsSetWhenConfirmedCancelledOrTheWindowHasGone) {
  // Answers, whether the window has gone, the name afterwards.
  for (const auto& [answers, windowGone, name] :
       {std::tuple{"text:abc", false, "abc"}, std::tuple{"cancel", false, "old"}, std::tuple{"text:zz", true, "old"}}) {
    SCOPED_TRACE(answers);
    sandbox_.Answer(answers);
    OptionData.m_strRankingName = "old";
    if (windowGone) plat::DestroyWindowEntry(window_);
    g_bTextEntryDone.store(0);
    AskFromGameThread([] { AskTextEntry(); });
    EXPECT_EQ(g_bTextEntryDone.load(), 1);
    EXPECT_EQ(OptionData.m_strRankingName, name);
  }
}

TEST_F(DialogRequestTest, ReplaySaveRequestsChooseTheNameAndReportTheResult) {
  std::string saved;
  int32_t previous = -1;
  bool nameFree = true;
  g_ReplayFileOps.makeName = [&](std::string& name) {
    name = "user_data\\rpl4\\rpl4_x";
    return nameFree;
  };
  g_ReplayFileOps.save = [&](const std::string& path, int32_t prev) {
    saved = path;
    previous = prev;
    return true;
  };
  std::filesystem::create_directories(sandbox_ / "user_data/rpl4");
  // Answers, whether the proposed name is free, the result, the path saved.
  for (const auto& [answers, free, expected, path] :
       {std::tuple{"ok", true, 1, "user_data\\rpl4\\rpl4_x.rpl4_873"}, std::tuple{"cancel", true, 0, ""},
        std::tuple{"ok", false, 0, ""}}) {
    SCOPED_TRACE(answers);
    sandbox_.Answer(answers);
    nameFree = free;
    saved.clear();
    int32_t result = -1;
    g_bFileRequestDone.store(0);
    AskFromGameThread([&] { result = AskSaveReplay(1); });
    EXPECT_EQ(g_bFileRequestDone.load(), 1);
    EXPECT_EQ(result, expected);
    EXPECT_EQ(saved, path);
    if (*path) {
      EXPECT_EQ(previous, 1);
    }
  }
}

TEST_F(DialogRequestTest, ABrokenReplayIsRefusedWithAMessageAndTheGameGoesOn) {
  sandbox_.Write("user_data/rpl4/r.rpl4_873", "x");
  InstallReplayFileOps();
  const std::string savedPath = StageData.m_strLoadedPath;
  // A free-play stage (true) or a replay asked for, and the answers.
  for (const auto& [stage, answers] : {std::pair{true, "cancel"}, std::pair{false, "cancel"},
                                       std::pair{false, "file:r.rpl4_873;ok"}}) {
    SCOPED_TRACE(answers);
    sandbox_.Answer(answers);
    g_bFileRequestDone.store(0);
    int32_t result = -1;
    const bool askStage = stage;
    AskFromGameThread([&] { result = askStage ? AskFreePlayStage() : AskReplayFile(); });
    EXPECT_EQ(g_bFileRequestDone.load(), 1);
    EXPECT_EQ(result, 0);
  }
  EXPECT_NE(sandbox_.DialogLog().find("r.rpl4_873"), std::string::npos);  // the message names the file
  EXPECT_EQ(StageData.m_strLoadedPath, savedPath);
  int closes = 0;
  for (plat::Message posted; plat::PeekMessage(posted);) closes += posted.message == plat::WM_CLOSE ? 1 : 0;
  EXPECT_EQ(closes, 0);
}

std::atomic<uint64_t> g_workerSteps{0};
std::atomic<bool> g_workerStop{false};

uint32_t CountingWorker(void*) {
  while (!g_workerStop.load()) {
    g_workerSteps.fetch_add(1);
    plat::SafePoint();  // every platform call of a worker is one
  }
  return 0;
}

TEST(WorkerSuspensionTest, AWorkerMakesNoProgressWhileAModalDialogIsUp) {
  Sandbox sandbox;
  g_workerSteps = 0;
  g_workerStop = false;
  uint64_t before = 0, after = 0;
  plat::SetWindowHost(std::make_unique<DrivingHost>([&](plat::ModalView& view) {
    before = g_workerSteps.load();
    // Give a running worker every chance to move on.
    for (int i = 0; i < 2000; ++i) std::this_thread::yield();
    after = g_workerSteps.load();
    view.HandleKey(plat::VK_RETURN, false, false);  // OK
  }));
  ASSERT_TRUE(thGame.Create(CountingWorker, nullptr));
  while (g_workerSteps.load() < 10) std::this_thread::yield();
  g_bTextEntryDone.store(0);
  ServeDialogRequest(kTextEntryRequest, 0);  // no binding: the empty box
  EXPECT_EQ(g_bTextEntryDone.load(), 1);
  EXPECT_GE(before, 10u);
  EXPECT_EQ(before, after);
  // Resumed after the dialog: it moves on.
  const uint64_t resumedAt = g_workerSteps.load();
  while (g_workerSteps.load() == resumedAt) std::this_thread::yield();
  g_workerStop = true;
  thGame.Exit();
}

}  // namespace

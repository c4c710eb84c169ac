#include "app/main_window.h"

#include <algorithm>

#include "audio/bgm.h"
#include "audio/sound.h"
#include "base/errors.h"
#include "base/logs.h"
#include "base/program.h"
#include "base/thread.h"
#include "data/data_paths.h"
#include "data/database.h"
#include "data/settings.h"
#include "data/system_data.h"
#include "data/window_position.h"
#include "gfx/dd.h"
#include "platform/dialog_view.h"
#include "platform/dialogs.h"
#include "platform/instance.h"
#include "platform/keys.h"
#include "platform/text.h"
#include "platform/window_host.h"
#include "scene/frame_trace.h"
#include "scene/play_record.h"
#include "scene/scene.h"

cMainWindow MainWindow;

int64_t MainWndProc(plat::WindowHandle hWnd, uint32_t message, uint64_t wParam, int64_t lParam) {
  return MainWindow.OnMessage(hWnd, message, wParam, lParam);
}

bool ConfirmQuit(plat::WindowHandle, int32_t english) {
  const std::string& text = english ? plat::Sjis("Would you like to quit?\n") : plat::Sjis("終了しますか？\n");
  const std::string& title = english ? plat::Sjis("End confirmation") : plat::Sjis("終了確認");
  return ShowMessageBox(text.c_str(), title.c_str(), plat::MB_YESNO) == plat::IDYES;
}

int ShowWindowSizeMenu(plat::WindowHandle window) {
  plat::WindowHost& host = plat::GetWindowHost();
  const std::vector<int> factors = WindowSizeMenuFactors(host.Desktop().workArea);
  if (factors.empty()) return 0;
  std::vector<std::string> labels;
  for (int k : factors) labels.push_back(WindowSizeMenuLabel(k));
  enum : int { kList = 1, kOk = 2, kCancel = 3 };
  plat::DialogTemplate t;
  t.title = GameSettings.nEnglish ? "Window size" : plat::Sjis("ウインドウのサイズ");
  t.width = 120;
  t.height = 30 + 11 * static_cast<int>(factors.size());
  const int listHeight = 6 + 11 * static_cast<int>(factors.size());
  t.controls = {{kList, plat::ControlKind::List, "", 5, 4, 110, listHeight},
                {kOk, plat::ControlKind::Button, "OK", 8, listHeight + 8, 50, 14, plat::kDefaultButton},
                {kCancel, plat::ControlKind::Button, GameSettings.nEnglish ? "Cancel" : plat::Sjis("キャンセル"), 62,
                 listHeight + 8, 50, 14}};
  plat::DialogView view(t);
  view.SetListItems(kList, labels);
  // The size the window has now is the one marked (OK keeps it).
  view.SetListSelection(kList, WindowSizeMenuMark(factors, host.ClientRectOnScreen()));
  view.SetFocus(kList);
  view.SetCommandHandler([&](int id, int code) {
    if (code != plat::kClicked) return;
    if (id == kList || id == kOk) view.EndDialog(view.ListSelection(kList) + 1);
    if (id == kCancel) view.EndDialog(0);
  });
  // No frame is drawn under the menu.
  SuspendWorkerThreads();
  const int chosen = plat::RunDialog(view);
  ResumeWorkerThreads();
  if (chosen < 1 || chosen > static_cast<int>(factors.size())) return 0;
  const int factor = factors[chosen - 1];
  MainWindow.OnMessage(window, plat::WM_SYSCOMMAND, static_cast<uint64_t>(factor), 0);
  return factor;
}

namespace {

// WM_USER+6: screen music 0..3 (the system data's per-screen track and its
// keep flag), or 4: the music number in lParam (0 stops), noted as the
// track the stage plays, and looping as the requester's keep flag (noted in
// the scene manager before it asked) says.
void HandleMusicRequest(uint64_t wParam, int64_t lParam) {
  if (wParam <= 3) {
    int screen = static_cast<int>(wParam);
    uint32_t track = SystemData.m_ScreenMusic.At(screen);
    NoteTraceMusic(track == 0 ? std::nullopt : std::optional<int32_t>(static_cast<int32_t>(track)));
    if (track == 0) {
      BGMStopRequest();
      return;
    }
    cBgmRecord& music = Database.m_Bgms.At(static_cast<int>(track));
    BGMPlayTrackRequest(screen, music.m_strName.c_str(), music.m_nValue2, SystemData.m_ScreenMusicLoop.At(screen));
  } else if (wParam == 4) {
    SaveData.m_nTrackPlaying = static_cast<int32_t>(lParam);
    NoteTraceMusic(lParam == 0 ? std::nullopt : std::optional<int32_t>(static_cast<int32_t>(lParam)));
    cBgmRecord& music = Database.m_Bgms.At(static_cast<int>(lParam));
    g_BGMPlayer.AddTrack(4, music.m_strName.c_str(), music.m_nValue2);
    if (lParam == 0)
      BGMStopRequest();
    else
      g_BGMPlayer.Play(0, 4, static_cast<uint32_t>(SceneManager.m_nLastMusicKeep), 0, 1);
  }
}

bool NotifyEditor(uint64_t wParam, uint32_t dwData, int32_t value) {
  return plat::SendEditorNotification(kEditorClassName, wParam, dwData, &value, sizeof value);
}

}  // namespace

bool cMainWindow::NotifyEditorStarted() { return NotifyEditor(m_hWnd, 1, 1); }

bool cMainWindow::NotifyEditorFailed(int32_t result) { return NotifyEditor(m_hWnd, 0, result); }

void cMainWindow::Destroy() {
  plat::WindowHandle hWnd = m_hWnd;
  plat::GetWindowHost().Destroy();
  plat::UnregisterWindowOwner(kWindowClassName);
  OnMessage(hWnd, plat::WM_DESTROY, 0, 0);
  plat::DestroyWindowEntry(hWnd);
}

int64_t cMainWindow::OnMessage(plat::WindowHandle hWnd, uint32_t message, uint64_t wParam, int64_t lParam) {
  m_hWnd = hWnd;
  TraceMessage(message, wParam, lParam);
  plat::WindowHost& host = plat::GetWindowHost();
  // A Direct3D picture scales with its window: the window-size menu is
  // offered from now on.
  if (!m_bSizeMenuAdded && lpDTCon && DDState.bWindowed) m_bSizeMenuAdded = true;

  switch (message) {
    case plat::WM_CREATE:
    case plat::WM_MOVE:
      return 0;

    case plat::WM_PAINT:
      if (!lpDTCon && g_bStartupComplete.load()) DDRepaint();
      return 0;

    case plat::WM_QUERYNEWPALETTE:
      if (!lpDTCon) DDRealizePalette();
      return 0;

    case plat::WM_ACTIVATEAPP:
      // Coming back to a full-screen Direct3D display: the device first.
      if (!g_bActive.load() && wParam != 0 && lpDTCon && !DDState.bWindowed)
        plat::SendMessage(hWnd, WM_RESTORE_DEVICE_REQUEST, 0, 0);
      g_bActive.store(wParam != 0 ? 1 : 0);
      // An inactive game thread waits for a message: this one starts its frames at once.
      if (wParam != 0 && thGame.Running()) plat::PostThreadMessage(thGame.ThreadId(), plat::WM_NULL, 0, 0);
      return 0;

    case WM_SOUND_REQUEST:
      NoteTraceSound(static_cast<int32_t>(wParam));
      return DSPlayRequest(static_cast<int64_t>(wParam));

    case WM_MUSIC_REQUEST:
      HandleMusicRequest(wParam, lParam);
      return 0;

    case WM_RESTORE_DEVICE_REQUEST:
      DDRestoreSurface();
      return 0;

    case plat::WM_KEYDOWN:
      if (wParam == plat::VK_ESCAPE) plat::PostMessage(hWnd, plat::WM_CLOSE, 0, 0);
      // The menu key, or Shift+F10, opens the window-size menu.
      if (m_bSizeMenuAdded &&
          (wParam == plat::VK_APPS || (wParam == plat::VK_F10 && plat::IsKeyDown(plat::VK_SHIFT))))
        ShowWindowSizeMenu(hWnd);
      return 0;

    case plat::WM_RBUTTONUP:
      if (m_bSizeMenuAdded) ShowWindowSizeMenu(hWnd);
      return 0;

    case WM_TEXT_ENTRY_REQUEST:
    case WM_LOAD_STAGE_REQUEST:
    case WM_LOAD_REPLAY_REQUEST:
    case WM_SAVE_REPLAY_REQUEST:
    case kOptionApplyRequest:
      ServeDialogRequest(message, wParam);
      return 0;

    case plat::WM_SYSCOMMAND: {
      int factor = static_cast<int>(wParam & 0xFFFF);
      if (factor < 1 || factor > 5) return 0;
      WindowPlacement p = PlaceScaledWindow(factor, host.ClientRectOnScreen(), host.Desktop().workArea);
      host.Move(p.x, p.y);
      host.SetClientSize(p.width, p.height);
      return 0;
    }

    case plat::WM_CLOSE: {
      // A player closing a window mid-game is asked first; the editor's test
      // plays, the title screen and a close that must not ask are not.
      bool ask = wParam != plat::kCloseWithoutAsking && !bFromEditor.load() && GameSettings.nWindowMode != 0 &&
                 SceneManager.m_nCurrent.load() != kSceneTitle;
      if (ask) {
        SuspendWorkerThreads();
        bool quit = ConfirmQuit(hWnd, GameSettings.nEnglish);
        ResumeWorkerThreads();
        if (!quit) return 0;
      }
      if (GameSettings.nWindowMode != 0 && g_bStartupComplete.load() && !host.Minimised()) {
        // Where the window stands (its frame's corner, which is what the
        // next start moves it to) and the size of its picture area.
        const plat::Rect window = host.WindowRectOnScreen(), client = host.ClientRectOnScreen();
        WindowPosition.Store(window.left, window.top, client.Width(), client.Height(), host.Maximised() ? 1 : 0);
        WindowPosition.SaveToFile(DataPaths.At(kPathWindow));
      }
      // A wait of stage play keeps the frames going: it ends, and stage play
      // closes the window afterwards.
      cStageSceneBase* waiting = g_lpStageScene.load();
      if (waiting && !waiting->m_bKeepingFrames.load()) waiting = nullptr;
      if (thPause.Running() || waiting) {
        WriteECLog("WM_CLOSE thPause.m_hThread");
        if (cStageSceneBase* stage = g_lpStageScene.load()) stage->m_nQuitRequest.store(1);
        if (thPause.Running())
          plat::PostThreadMessage(thPause.ThreadId(), plat::WM_QUIT, 0, 0);
        else
          plat::PostThreadMessage(thGame.ThreadId(), kEndFrameKeeping, 0, 0);
        return 0;
      }
      WriteECLog("%s", plat::Sjis("WM_CLOSE 成功！").c_str());
      g_bClosing.store(1);
      g_BGMPlayer.Stop();
      thStageLoad.Exit();
      thPause.Exit();
      WriteECLog("thPause.Exit()");
      thGame.Exit();
      WriteECLog("thGame.Exit()");
      Destroy();
      return 0;
    }

    case plat::WM_DESTROY:
      WriteECLog("WM_DESTROY");
      m_hWnd = 0;
      g_hMainWnd.store(0);
      if (bFromEditor.load()) NotifyEditorFailed(1);
      plat::PostQuitMessage(0);
      return 0;

    default:
      return 0;
  }
}

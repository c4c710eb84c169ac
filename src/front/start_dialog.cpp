#include "front/start_dialog.h"

#include "data/settings.h"
#include "data/system_data.h"
#include "data/user_records.h"
#include "platform/text.h"
#include "platform/window_host.h"

cStartDialog::cStartDialog(cBootRecord* boot, std::string bootPath)
    : m_pBoot(boot), m_strBootPath(std::move(bootPath)) {}

plat::DialogTemplate cStartDialog::BuildTemplate() {
  plat::DialogTemplate t;
  t.title = SystemData.m_strTitle;
  t.width = 222;
  t.height = 171;
  const bool en = GameSettings.nEnglish != 0;
  using plat::ControlKind;
  auto text = [en](const char* english, const char* japanese) { return en ? std::string(english) : plat::Sjis(japanese); };
  t.controls = {
      {kIdPicture, ControlKind::Picture, "", 7, 7, 20, 21},  // the game has no picture of its own for it
      {kIdGroup, ControlKind::Group, text("Drawing mode", "描画モード"), 15, 15, 190, 55},
      {kIdDirect3D, ControlKind::Radio, "Direct3D", 20, 30, 42, 10, plat::kGroupStart},
      {kIdDirectDraw, ControlKind::Radio, "DirectDraw", 80, 30, 45, 10},
      {kIdHint, ControlKind::Static,
       text("Configure the detail settings at \"System.ini\".", "詳細な設定は環境設定ファイル「System.ini」で行って下さい。"),
       20, 50, 177, 12},
      {kIdDontAsk, ControlKind::Check, text("Do not ask this dialog again", "次回からこのダイアログを表示しない"), 50, 85,
       120, 10},
      {kIdOk, ControlKind::Button, text("Start", "ゲーム開始"), 80, 105, 50, 25, plat::kDefaultButton},
      {kIdCancel, ControlKind::Button, text("Cancel", "ゲーム中止"), 80, 140, 50, 18},
  };
  return t;
}

void cStartDialog::Attach() {
  auto direct3D = std::make_unique<cRadioBinder>();
  direct3D->Attach(this, kIdDirect3D, &m_pBoot->m_nMode, 1);
  auto directDraw = std::make_unique<cRadioBinder>();
  directDraw->Attach(this, kIdDirectDraw, &m_pBoot->m_nMode, 0);
  auto dontAsk = std::make_unique<cCheckBinder>();
  dontAsk->Attach(this, kIdDontAsk, &m_pBoot->m_bDontAsk);
  AddControl(std::move(direct3D));
  AddControl(std::move(directDraw));
  AddControl(std::move(dontAsk));
  InitControls();
  // A stored mode other than 0 and 1 checks no button; Start then keeps it
  // unless the player picks one, and the run treats it as DirectDraw.
  View()->SetFocus(kIdOk);
  // The dialog stands by the middle of the (still hidden) game window, its
  // corner 187 and 136 pixels up and left of it, and the pointer starts
  // over Start. Without a game window (a tool shows the dialog alone) it is
  // centred on the screen.
  plat::WindowHost& host = plat::GetWindowHost();
  if (host.Exists()) {
    const plat::Rect client = host.ClientRectOnScreen();
    View()->SetPlacement(client.left + plat::kScreenWidth / 2 - kPlacementLeft,
                         client.top + plat::kScreenHeight / 2 - kPlacementUp);
  }
  View()->SetPointerOffset(kPointerX, kPointerY);
}

void cStartDialog::OnCommand(int32_t id, int32_t notification) {
  RouteCommand(id, notification);
  if (notification != plat::kClicked) return;
  if (id == kIdOk) {
    ReadControls();
    // A boot record that cannot be written (the log says why) still starts
    // the game with the choice made; the next start asks again.
    m_pBoot->SaveToFile(m_strBootPath);
    Close(1);
  } else if (id == kIdCancel) {
    Close(0);
  }
}

std::string cStartDialog::LogText() { return plat::Sjis("描画モード"); }

bool ChooseDrawingModeWithStartDialog(cBootRecord& boot, const std::string& bootPath) {
  if (!boot.m_bDontAsk) {
    cStartDialog dialog(&boot, bootPath);
    if (dialog.RunModal() != 1) return false;
  }
  GameSettings.nDirect3D = boot.m_nMode == 1 ? 1 : 0;
  return true;
}

#include "front/text_entry_dialog.h"

#include "data/settings.h"
#include "data/user_records.h"
#include "front/dialog_requests.h"
#include "platform/text.h"
#include "scene/scene.h"

cTextEntryDialog::cTextEntryDialog() {
  if (SceneManager.m_nCurrent.load() == kSceneOptions)
    m_pName = &OptionData.m_strRankingName;
  else if (g_lpStageScene.load() != nullptr)
    m_pName = &g_strStageRankingName;
}

cTextEntryDialog::cTextEntryDialog(std::string* name) : m_pName(name) {}

plat::DialogTemplate cTextEntryDialog::BuildTemplate() {
  plat::DialogTemplate t;
  t.caption = false;
  t.width = 110;
  t.height = 65;
  t.controls = {
      {kIdIcon, plat::ControlKind::Picture, "", 7, 7, 20, 21},
      {kIdName, plat::ControlKind::Edit, "", 75, 12, 24, 14},
      {kIdOk, plat::ControlKind::Button, "OK", 30, 35, 50, 18, plat::kDefaultButton},
      {kIdLabel, plat::ControlKind::Static, plat::Sjis("登録名(3文字まで)"), 15, 15, 56, 16},
  };
  return t;
}

void cTextEntryDialog::Attach() {
  if (m_pName) {
    // The name is stored in a 4-byte field: three bytes and the end mark.
    // Counted in bytes, a name never ends in half a double-byte character.
    auto edit = std::make_unique<cEditBox>();
    cEditBox::Binding binding;
    binding.value = m_pName;
    binding.textLimit = kNameBytes;
    edit->Attach(this, kIdName, binding);
    AddControl(std::move(edit));
  }
  InitControls();
  // No entry (neither the options nor a stage asked): an empty box, which
  // nothing reads back.
  if (m_pName) {
    View()->SetFocus(kIdName);
    View()->SetSelection(kIdName, 0, -1);
  }
  if (GameSettings.nEnglish) SetDialogItemString(this, kIdLabel, "     Name");
  View()->SetPointerItem(0);  // the pointer starts in the dialog's middle
}

void cTextEntryDialog::OnCommand(int32_t id, int32_t notification) {
  RouteCommand(id, notification);
  if (id == kIdOk && notification == plat::kClicked) {
    ReadControls();
    Close(1);
  } else if (id == kIdCancel && notification == plat::kClicked) {
    Close(0);
  }
}

std::string cTextEntryDialog::LogText() { return plat::Sjis("登録名"); }

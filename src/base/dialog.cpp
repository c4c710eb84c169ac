#include "base/dialog.h"

#include <algorithm>

#include "platform/keys.h"

namespace {
constexpr int32_t kItemTextBuffer = 5120;

bool PreFilteredKey(int vk) {
  return vk == plat::VK_SPACE || vk == plat::VK_LEFT || vk == plat::VK_RIGHT || vk == plat::VK_UP ||
         vk == plat::VK_DOWN || vk == plat::VK_DELETE || (vk >= plat::VK_F1 && vk <= plat::VK_F8);
}
}  // namespace

void cControl::Attach(cDialog* dialog, int32_t kind, int32_t id) {
  m_pDialog = dialog;
  m_nKind = kind;
  m_nId = id;
}

void cControl::Enable(bool on) {
  if (m_pDialog && m_pDialog->View()) m_pDialog->View()->Enable(m_nId, on);
}

void GetDialogItemString(cDialog* dialog, int32_t id, std::string& out, int32_t maxCount) {
  out.clear();
  if (!dialog || !dialog->View()) return;
  std::string text = dialog->View()->ItemText(id);
  const size_t limit = static_cast<size_t>(std::clamp(maxCount, 0, kItemTextBuffer - 1));
  if (text.size() > limit) {
    size_t cut = 0;
    while (cut < text.size()) {
      const size_t len = plat::Cp932CharLength(text, cut);
      if (cut + len > limit) break;
      cut += len;
    }
    text.resize(cut);
  }
  out = text;
}

bool SetDialogItemString(cDialog* dialog, int32_t id, const std::string& text) {
  if (!dialog || !dialog->View() || !dialog->View()->HasItem(id)) return false;
  dialog->View()->SetItemText(id, text);
  return true;
}

void cEditBox::Attach(cDialog* dialog, int32_t id, const Binding& binding) {
  cControl::Attach(dialog, kControlEdit, id);
  m_pValue = binding.value;
  m_Limits.textBytes = binding.textLimit > 0 ? binding.textLimit : 4096;
  m_Limits.characters = binding.charLimit > 0 ? binding.charLimit : 1024;
  m_Limits.lines = binding.lineLimit > 0 ? binding.lineLimit : 32;
  m_Limits.doubleByte = binding.doubleByte;
  if (dialog && dialog->View()) dialog->View()->SetEditLimits(id, m_Limits);
  SetDialogItemString(dialog, id, m_pValue ? *m_pValue : std::string());
  m_strPrevious = m_pValue ? *m_pValue : std::string();
  OnChange();
}

void cEditBox::Write() { SetDialogItemString(m_pDialog, m_nId, m_pValue ? *m_pValue : std::string()); }

void cEditBox::Read() {
  if (!m_pValue || !m_pDialog || m_pDialog->Cancelling()) return;
  GetDialogItemString(m_pDialog, m_nId, *m_pValue, m_Limits.MaxBytes());
}

void cEditBox::OnChange() {
  if (!m_pDialog || !m_pDialog->View()) return;
  plat::DialogView& view = *m_pDialog->View();
  std::string text;
  GetDialogItemString(m_pDialog, m_nId, text, m_Limits.MaxBytes());
  if (!plat::FitsEditLimits(text, m_Limits)) {
    int start = 0, end = 0;
    view.GetSelection(m_nId, &start, &end);
    text = plat::CutToEditLimits(text, m_Limits);
    view.SetItemText(m_nId, text);
    view.SetSelection(m_nId, start, end);
  }
  m_strPrevious = text;
}

void cCheckBinder::Attach(cDialog* dialog, int32_t id, int32_t* value) {
  cControl::Attach(dialog, kControlCheck, id);
  m_pValue = value;
}
void cCheckBinder::Write() {
  if (m_pValue && m_pDialog->View()) m_pDialog->View()->SetCheck(m_nId, *m_pValue != 0);
}
void cCheckBinder::Read() {
  if (m_pValue && m_pDialog->View()) *m_pValue = m_pDialog->View()->Checked(m_nId) ? 1 : 0;
}

void cRadioBinder::Attach(cDialog* dialog, int32_t id, int32_t* value, int32_t own) {
  cControl::Attach(dialog, kControlRadio, id);
  m_pValue = value;
  m_nOwn = own;
}
void cRadioBinder::Write() {
  if (m_pValue && m_pDialog->View()) m_pDialog->View()->SetCheck(m_nId, *m_pValue == m_nOwn);
}
void cRadioBinder::Read() {
  if (m_pValue && m_pDialog->View() && m_pDialog->View()->Checked(m_nId)) *m_pValue = m_nOwn;
}

void cDialog::AddControl(std::unique_ptr<cControl> control) { m_Controls.push_back(std::move(control)); }

void cDialog::InitControls() {
  m_bInitialising = true;
  for (auto& control : m_Controls) control->Write();
  m_bInitialising = false;
}

void cDialog::ReadControls() {
  for (auto& control : m_Controls) control->Read();
}

void cDialog::NotifyControls() {
  for (auto& control : m_Controls)
    if (control->m_nKind == 8) control->Update();
}

void cDialog::RouteCommand(int32_t id, int32_t notification) {
  for (auto& control : m_Controls) {
    if (control->m_nId != id) continue;
    const int32_t kind = control->m_nKind;
    if ((kind == 2 || kind == 3) && notification == plat::kEditChange) {
      control->OnChange();
      break;
    }
    if ((kind == 2 || kind == 3) && notification == plat::kEditKillFocus) {
      control->OnOther();
      break;
    }
    if ((kind == 7 || kind == 8) && notification == 1) {
      control->OnChange();
      break;
    }
    if (kind == 8 && notification == 5) {
      control->OnOther();
      break;
    }
  }
  NotifyControls();
}

void cDialog::OnKeyDown(int vk, bool ctrl) {
  for (auto& control : m_Controls) control->OnKeyDown(vk, ctrl);
}

void cDialog::Close(int32_t result) {
  m_nResult = result;
  m_bCancelling = result == 0;
  if (m_pView) m_pView->EndDialog(result);
}

int32_t cDialog::RunModal() {
  if (m_pView) return 0;
  m_nResult = 0;
  m_bCancelling = false;
  m_Controls.clear();
  m_pView = std::make_unique<plat::DialogView>(BuildTemplate());
  plat::DialogView& view = *m_pView;
  view.SetCommandHandler([this](int id, int code) {
    // A command that comes while another is handled (a handler that clicks
    // or sets a text) is not handled again.
    if (m_bInCommand || m_bInitialising || !AcceptCommand()) return;
    m_bInCommand = true;
    OnCommand(id, code);
    m_bInCommand = false;
  });
  view.SetCloseHandler([this]() { OnClose(); });
  // Escape is the dialog's Cancel: it closes the dialog as its close box
  // does (the bound values stay as they were), also in a dialog whose only
  // button is OK.
  view.SetEscapeHandler([this]() {
    if (!m_bInCommand && AcceptCommand()) OnClose();
  });
  // The key pre-filter: navigation and function keys reach the dialog and
  // its controls as key presses, except while the input method composes
  // (the keys are the input method's then); the dialog engine then does
  // its own work with them (focus, caret, radio buttons).
  view.SetKeyFilter([this](int vk, bool composing) {
    if (!composing && PreFilteredKey(vk)) OnKeyDown(vk, plat::IsKeyDown(plat::VK_CONTROL));
    return m_pView->Finished();
  });
  Attach();
  if (!view.Finished()) plat::RunDialog(view, LogText());
  m_nResult = view.Result();
  m_Controls.clear();
  m_pView.reset();
  return m_nResult;
}

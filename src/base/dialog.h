// The game's dialog objects over the platform's dialog engine: a dialog
// (cDialog) made from a template, holding control objects bound to the
// program's variables. At start each control writes its bound value into
// its item; on OK (id 1000) the values are read back; Cancel (1001), Escape
// and the close box leave them as they were. Dialogs run on the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialog_view.h"

class cDialog;

// Control kinds: 2 the edit box; 3 to 8 are the front end's binders.
enum : int32_t {
  kControlEdit = 2,
  kControlCheck = 3,
  kControlRadio = 4,
  kControlStatic = 5,
};

// The dialogs' own buttons.
enum : int32_t { kIdOk = 1000, kIdCancel = 1001 };

class cControl {
 public:
  virtual ~cControl() = default;
  // Binds the object to item `id` of the dialog.
  void Attach(cDialog* dialog, int32_t kind, int32_t id);
  void Enable(bool on);

  virtual void Write() {}                       // bound value -> item
  virtual void Read() {}                        // item -> bound value
  virtual void OnChange() {}                    // the item changed
  virtual void OnOther() {}                     // other notification (an edit box lost the focus)
  virtual void Update() {}                      // kind 8: refresh after every command
  virtual void OnKeyDown(int vk, bool ctrl) {}  // a key while the dialog has it

  cDialog* m_pDialog = nullptr;
  int32_t m_nKind = 0;
  int32_t m_nId = 0;
};

// The edit box (kind 2) bound to a string. Limits of 0 take the defaults:
// 4096 bytes, 1024 characters, 32 lines. With the double-byte flag up to
// 2 * limit - 1 bytes are kept and a double-byte character counts as one.
class cEditBox : public cControl {
 public:
  struct Binding {
    std::string* value = nullptr;
    int32_t textLimit = 0;
    int32_t charLimit = 0;
    int32_t lineLimit = 0;
    bool doubleByte = false;
  };
  void Attach(cDialog* dialog, int32_t id, const Binding& binding);
  void Write() override;
  void Read() override;
  void OnChange() override;  // keeps the text within the limits
  const plat::EditLimits& Limits() const { return m_Limits; }

 private:
  std::string* m_pValue = nullptr;
  plat::EditLimits m_Limits;
  std::string m_strPrevious;
};

// A check box bound to a 0/1 value.
class cCheckBinder : public cControl {
 public:
  void Attach(cDialog* dialog, int32_t id, int32_t* value);
  void Write() override;
  void Read() override;

 private:
  int32_t* m_pValue = nullptr;
};

// One radio button of a group bound to a shared value: checked when the
// value equals the button's own; a checked button writes its own back.
class cRadioBinder : public cControl {
 public:
  void Attach(cDialog* dialog, int32_t id, int32_t* value, int32_t own);
  void Write() override;
  void Read() override;

 private:
  int32_t* m_pValue = nullptr;
  int32_t m_nOwn = 0;
};

// The item text helpers (CP932). Reading keeps at most maxCount bytes
// (bounded by 5120), cut at a character boundary.
void GetDialogItemString(cDialog* dialog, int32_t id, std::string& out, int32_t maxCount);
bool SetDialogItemString(cDialog* dialog, int32_t id, const std::string& text);

class cDialog {
 public:
  virtual ~cDialog() = default;

  // Runs the dialog modally; 0 when it runs already. Returns its result.
  // While any dialog runs the game window takes no input (the dialog's loop
  // takes every event), so there are no owner windows to hide or disable.
  int32_t RunModal();
  // Ends the dialog with `result`.
  void Close(int32_t result);

  void InitControls();  // every bound value into its item
  void ReadControls();  // every item back into its bound value
  void NotifyControls();
  // Hands a command to the control with that id: edit boxes take the
  // change (1024) and lost-focus (512) notifications.
  void RouteCommand(int32_t id, int32_t notification);
  virtual bool AcceptCommand() { return true; }

  void AddControl(std::unique_ptr<cControl> control);
  plat::DialogView* View() { return m_pView.get(); }
  bool Running() const { return m_pView != nullptr; }
  bool Initialising() const { return m_bInitialising; }
  bool Cancelling() const { return m_bCancelling; }
  int32_t Result() const { return m_nResult; }

 protected:
  // The concrete dialog: its template, its set-up once the items exist, its
  // commands and its close (Escape, close box; Cancel by default).
  virtual plat::DialogTemplate BuildTemplate() = 0;
  virtual void Attach() {}
  virtual void OnCommand(int32_t id, int32_t notification) { RouteCommand(id, notification); }
  virtual void OnClose() { Close(0); }
  // Keys the pre-filter hands to the dialog (space, arrows, Delete, F1..F8,
  // not while the input method composes); every control gets them too.
  virtual void OnKeyDown(int vk, bool ctrl);
  // Text written to the dialog transcript.
  virtual std::string LogText() { return ""; }

  std::vector<std::unique_ptr<cControl>> m_Controls;

 private:
  std::unique_ptr<plat::DialogView> m_pView;
  int32_t m_nResult = 0;
  bool m_bInitialising = false;
  bool m_bCancelling = false;
  bool m_bInCommand = false;
};

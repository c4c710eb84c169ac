// The text-entry dialog: the registration name of up to three bytes (the
// options screen's registration name, or the stage's ranking name). Runs
// on the main thread at the game thread's request (dialog_requests.h).
#pragma once

#include <string>

#include "base/dialog.h"

class cTextEntryDialog : public cDialog {
 public:
  // Binds the name box to the options' registration name when the options
  // screen asks, else to the stage's ranking name when a stage scene
  // exists, else to nothing (an empty box).
  cTextEntryDialog();
  // Binds the box to `name` (tests and other callers).
  explicit cTextEntryDialog(std::string* name);

  enum : int32_t { kIdName = 1003, kIdLabel = 1007, kIdIcon = 1075 };
  enum : int32_t { kNameBytes = 3 };

 protected:
  plat::DialogTemplate BuildTemplate() override;
  void Attach() override;
  void OnCommand(int32_t id, int32_t notification) override;
  std::string LogText() override;

 private:
  std::string* m_pName = nullptr;
};

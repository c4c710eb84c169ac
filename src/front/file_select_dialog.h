// The file-selection dialog: a stage file for free play, a replay to watch,
// or the name of a replay to save, chosen in our file chooser. Runs on the
// main thread at the game thread's request (dialog_requests.h).
#pragma once

#include <string>

#include "base/dialog.h"

enum : int32_t { kFileSelectStage = 0, kFileSelectReplay = 1, kFileSelectSaveReplay = 2 };

class cFileSelectDialog : public cDialog {
 public:
  // `path` receives the chosen path (only when one is chosen); for saving
  // it also holds the proposed name.
  cFileSelectDialog(int32_t mode, std::string* path);

 protected:
  plat::DialogTemplate BuildTemplate() override;
  void Attach() override;

 private:
  int32_t m_nMode;
  std::string* m_pPath;
};

// The file-selection dialog: a stage file for free play, a replay to watch,
// or the name of a replay to save, chosen in our file chooser. Runs on the
// main thread at the game thread's request (dialog_requests.h).
#pragma once

#include <string>
#include <vector>

#include "base/dialog.h"

enum : int32_t { kFileSelectStage = 0, kFileSelectReplay = 1, kFileSelectSaveReplay = 2 };

// The open and save file choosers (names CP932, relative to the working
// folder, "\" separators; the choosers' own messages follow the English
// setting). `filterPattern` holds ";"-separated wildcards. Open: `name`
// gets the chosen file; with `paths`, several files may be chosen (typed
// as "a" "b") and each is appended as "folder\name". Save: `name` is the
// proposal when `keepName` is set (else the box starts empty), a name
// without an extension gets `extension`, and an existing file is
// confirmed first. 0 when cancelled, with `name` left as it was.
int32_t ShowOpenFileDialog(std::string& name, const std::string& title, const std::string& filterName,
                           const std::string& filterPattern, const std::string& folder,
                           std::vector<std::string>* paths = nullptr);
int32_t ShowSaveFileDialog(std::string& name, const std::string& title, const std::string& filterName,
                           const std::string& filterPattern, const std::string& folder,
                           const std::string& extension, int32_t keepName);

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

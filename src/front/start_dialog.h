// The start dialog: before the display is set up, the player chooses the
// drawing mode (Direct3D or DirectDraw), may ask not to be asked again, and
// starts or cancels the game. Start writes the choice to the boot record
// "user_data\Boot.dat"; Cancel and closing leave the file as it was.
#pragma once

#include <string>

#include "base/dialog.h"

class cBootRecord;

class cStartDialog : public cDialog {
 public:
  // Edits `boot` (the global boot record at start-up); `bootPath` is where
  // Start stores it.
  cStartDialog(cBootRecord* boot, std::string bootPath);

  enum : int32_t {
    kIdDirect3D = 1002, kIdDirectDraw = 1003, kIdDontAsk = 1004, kIdHint = 1005, kIdGroup = 1006, kIdPicture = 1075,
  };

 protected:
  plat::DialogTemplate BuildTemplate() override;
  void Attach() override;
  void OnCommand(int32_t id, int32_t notification) override;
  std::string LogText() override;

 private:
  // Where the dialog stands: its top-left corner this far left of and above
  // the game window's middle; and where the pointer starts in the dialog.
  static constexpr int kPlacementLeft = 187, kPlacementUp = 136;
  static constexpr int kPointerX = 181, kPointerY = 198;

  cBootRecord* m_pBoot;
  std::string m_strBootPath;
};

// Start-up's step: the boot record's drawing mode decides the run's, asked
// for with the start dialog unless the record says not to ask. False when
// the player cancelled (the program then ends).
bool ChooseDrawingModeWithStartDialog(cBootRecord& boot, const std::string& bootPath);

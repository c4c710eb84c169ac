#include "front/file_select_dialog.h"

#include "data/record.h"
#include "data/settings.h"
#include "platform/dialog_view.h"
#include "platform/file_chooser.h"
#include "platform/text.h"

cFileSelectDialog::cFileSelectDialog(int32_t mode, std::string* path) : m_nMode(mode), m_pPath(path) {}

plat::DialogTemplate cFileSelectDialog::BuildTemplate() {
  // The chooser is the whole dialog; this one only carries it.
  plat::DialogTemplate t;
  t.title = plat::Sjis("ファイルの選択");
  t.width = 53;
  t.height = 35;
  return t;
}

void cFileSelectDialog::Attach() {
  const bool english = GameSettings.nEnglish != 0;
  plat::FileChooserSpec spec;
  spec.english = english;
  switch (m_nMode) {
    case kFileSelectStage:
      spec.title = english ? "load stage file" : plat::Sjis("ステージファイルの読み込み");
      spec.folder = "data\\stg4\\";
      spec.filterName = "StageFile ( *.stg4_*;*.rpl4_* )";
      spec.filterPattern = "*.stg4_*;*.rpl4_*";
      break;
    case kFileSelectReplay:
      spec.title = english ? "load replay file" : plat::Sjis("リプレイファイルの読み込み");
      spec.folder = "user_data\\rpl4";
      spec.filterName = "ReplayFile ( *.rpl4_* )";
      spec.filterPattern = "*.rpl4_*";
      break;
    default: {
      // Only files of the running data version's replays are offered.
      const std::string extension = "rpl4_" + std::to_string(kDataVersion);
      spec.save = true;
      spec.mustExist = false;
      spec.overwritePrompt = true;
      spec.title = english ? "save replay file" : plat::Sjis("リプレイファイルの保存");
      spec.folder = "user_data\\rpl4\\";
      spec.filterName = "ReplayFile ( *." + extension + " )";
      spec.filterPattern = "*." + extension;
      spec.defaultExtension = extension;
      if (m_pPath) {
        // The proposal may carry its folder: the name box takes the name.
        const std::string& proposed = *m_pPath;
        size_t nameStart = 0;
        for (size_t i = 0; i < proposed.size(); i += plat::Cp932CharLength(proposed, i))
          if (proposed[i] == '\\') nameStart = i + 1;
        spec.defaultName = proposed.substr(nameStart);
      }
      break;
    }
  }
  const plat::FileChooserResult result = plat::RunFileChooser(spec);
  if (result.chosen && !result.paths.empty()) {
    if (m_pPath) *m_pPath = result.paths.front();
    Close(1);
  } else {
    Close(0);
  }
}

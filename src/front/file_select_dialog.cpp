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

int32_t ShowOpenFileDialog(std::string& name, const std::string& title, const std::string& filterName,
                           const std::string& filterPattern, const std::string& folder,
                           std::vector<std::string>* paths) {
  plat::FileChooserSpec spec;
  spec.english = GameSettings.nEnglish != 0;
  spec.title = title;
  spec.folder = folder;
  spec.filterName = filterName;
  spec.filterPattern = filterPattern;
  spec.multiSelect = paths != nullptr;
  const plat::FileChooserResult result = plat::RunFileChooser(spec);
  if (!result.chosen || result.paths.empty()) return 0;
  name = result.paths.front();
  if (paths) paths->insert(paths->end(), result.paths.begin(), result.paths.end());
  return 1;
}

int32_t ShowSaveFileDialog(std::string& name, const std::string& title, const std::string& filterName,
                           const std::string& filterPattern, const std::string& folder,
                           const std::string& extension, int32_t keepName) {
  plat::FileChooserSpec spec;
  spec.english = GameSettings.nEnglish != 0;
  spec.save = true;
  spec.mustExist = false;
  spec.overwritePrompt = true;
  spec.title = title;
  spec.folder = folder;
  spec.filterName = filterName;
  spec.filterPattern = filterPattern;
  spec.defaultExtension = extension;
  if (keepName) {
    // The proposal may carry its folder: the name box takes the name.
    size_t nameStart = 0;
    for (size_t i = 0; i < name.size(); i += plat::Cp932CharLength(name, i))
      if (name[i] == '\\') nameStart = i + 1;
    spec.defaultName = name.substr(nameStart);
  }
  const plat::FileChooserResult result = plat::RunFileChooser(spec);
  if (!result.chosen || result.paths.empty()) return 0;
  name = result.paths.front();
  return 1;
}

void cFileSelectDialog::Attach() {
  const bool english = GameSettings.nEnglish != 0;
  std::string path = m_pPath ? *m_pPath : std::string();
  int32_t chosen = 0;
  switch (m_nMode) {
    case kFileSelectStage:
      chosen = ShowOpenFileDialog(path, english ? "load stage file" : plat::Sjis("ステージファイルの読み込み"),
                                  "StageFile ( *.stg4_*;*.rpl4_* )", "*.stg4_*;*.rpl4_*", "data\\stg4\\");
      break;
    case kFileSelectReplay:
      chosen = ShowOpenFileDialog(path, english ? "load replay file" : plat::Sjis("リプレイファイルの読み込み"),
                                  "ReplayFile ( *.rpl4_* )", "*.rpl4_*", "user_data\\rpl4");
      break;
    default: {
      // Only files of the running data version's replays are offered.
      const std::string extension = "rpl4_" + std::to_string(kDataVersion);
      chosen = ShowSaveFileDialog(path, english ? "save replay file" : plat::Sjis("リプレイファイルの保存"),
                                  "ReplayFile ( *." + extension + " )", "*." + extension, "user_data\\rpl4\\",
                                  extension, 1);
      break;
    }
  }
  // The caller's string changes only when a file was chosen.
  if (chosen && m_pPath) *m_pPath = path;
  Close(chosen ? 1 : 0);
}

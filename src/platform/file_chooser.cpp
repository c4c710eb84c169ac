#include "platform/file_chooser.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "platform/dialog_view.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/text.h"

namespace plat {
namespace {

enum : int { kOk = 1000, kCancel = 1001, kFolderLabel = 1100, kList = 1101, kNameLabel = 1102, kName = 1103, kFilter = 1104 };

// "a\b\" from "a\b", "a/b/" or "a\b\"; "" stays "" (the working folder).
std::string AsFolder(std::string folder) {
  for (size_t i = 0; i < folder.size(); i += Cp932CharLength(folder, i))
    if (folder[i] == '/') folder[i] = '\\';
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  if (folder == ".\\") folder.clear();
  return folder;
}

// The folder above `folder` ("" above a top folder).
std::string Parent(const std::string& folder) {
  size_t last = std::string::npos;
  for (size_t i = 0; i + 1 < folder.size(); i += Cp932CharLength(folder, i))
    if (folder[i] == '\\') last = i;
  return last == std::string::npos ? std::string() : folder.substr(0, last + 1);
}

// Splits at "\" and "/", never inside a double-byte character.
std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < path.size();) {
    const size_t len = Cp932CharLength(path, i);
    if (len == 1 && (path[i] == '\\' || path[i] == '/'))
      parts.emplace_back();
    else
      parts.back().append(path, i, len);
    i += len;
  }
  return parts;
}

// True when the folder, with every link in its path followed, lies in the
// working folder: a link inside the project that points elsewhere is not
// a way out.
bool RealFolderInside(const std::string& folder) {
  char* here = realpath(".", nullptr);
  const std::string resolved = ResolvePath(folder.empty() ? "." : folder);
  char* there = resolved.empty() ? nullptr : realpath(resolved.c_str(), nullptr);
  bool inside = false;
  if (here && there) {
    const std::string h(here), t(there);
    inside = t == h || (t.size() > h.size() && t.compare(0, h.size(), h) == 0 && (h == "/" || t[h.size()] == '/'));
  }
  std::free(here);
  std::free(there);
  return inside;
}

std::string Format(const std::string& pattern, const std::string& value) {
  std::string out = pattern;
  const size_t at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, value);
  return out;
}

class Chooser {
 public:
  explicit Chooser(const FileChooserSpec& spec) : spec_(spec), view_(MakeTemplate(spec)) {
    view_.SetItemText(kFilter, spec.filterName);
    view_.SetEditLimits(kName, EditLimits{259, 0, 1, false});
    view_.SetCommandHandler([this](int id, int code) { OnCommand(id, code); });
    view_.SetFileAnswerHandler([this](const std::string& utf8) { OnFileAnswer(utf8); });
    // Escape (outside a composition) and the close box cancel, as Cancel does.
    std::string first = AsFolder(spec.folder);
    // A folder that does not exist, or lies outside, is not shown.
    if (!Inside(first) || !IsDirectory(first.empty() ? "." : first)) first.clear();
    Navigate(first, false);
    if (spec.save) view_.SetItemText(kName, spec.defaultName);
    view_.SetFocus(spec.save ? kName : kList);
    if (spec.save) view_.SetSelection(kName, 0, -1);
  }

  FileChooserResult Run() {
    RunDialog(view_, spec_.title);
    if (view_.Result() != 1) result_ = FileChooserResult{};
    return result_;
  }

 private:
  static DialogTemplate MakeTemplate(const FileChooserSpec& spec) {
    DialogTemplate t;
    t.title = spec.title;
    t.width = 260;
    t.height = 190;
    const bool en = spec.english;
    t.controls = {
        {kFolderLabel, ControlKind::Static, "", 7, 5, 246, 10},
        {kList, ControlKind::List, "", 7, 18, 246, 110, spec.multiSelect ? kMultiSelect : 0u},
        {kNameLabel, ControlKind::Static, en ? "File name:" : Sjis("ファイル名:"), 7, 135, 42, 10},
        {kName, ControlKind::Edit, "", 50, 133, 203, 13},
        {kFilter, ControlKind::Static, "", 7, 151, 246, 10},
        {kOk, ControlKind::Button, en ? (spec.save ? "Save" : "Open") : Sjis(spec.save ? "保存" : "開く"), 140, 167, 55, 16,
         kDefaultButton},
        {kCancel, ControlKind::Button, en ? "Cancel" : Sjis("キャンセル"), 198, 167, 55, 16},
    };
    return t;
  }

  // Every folder the chooser shows lies under the working folder.
  static bool Inside(const std::string& folder) {
    if (IsAbsolutePath(folder)) return false;
    for (const std::string& part : Components(folder))
      if (part == "..") return false;
    return true;
  }

  void Message(const std::string& cp932Text, uint32_t type = MB_OK | MB_ICONWARNING) {
    MessageBox(cp932Text, spec_.title, type);
  }

  // Shows `folder`; one that cannot be read (it vanished, or may not be
  // read) is reported and its nearest readable parent shown instead.
  void Navigate(std::string folder, bool report) {
    std::vector<std::string> entries;
    while (!RealFolderInside(folder) || !ListChooserFolder(folder, spec_.filterPattern, entries)) {
      if (report)
        Message(Format(spec_.english ? "The folder %s cannot be opened." : Sjis("フォルダ %s を開けません。"),
                       folder.empty() ? "." : folder));
      report = false;
      if (folder.empty()) break;  // nothing above the working folder
      folder = Parent(folder);
    }
    folder_ = folder;
    if (!folder_.empty()) entries.insert(entries.begin(), "..\\");
    entries_ = entries;
    view_.SetListItems(kList, entries_);
    view_.SetItemText(kFolderLabel, ".\\" + folder_);
  }

  bool SelectedEntry(std::string& entry) const {
    const int sel = view_.ListSelection(kList);
    if (sel < 0 || sel >= static_cast<int>(entries_.size())) return false;
    entry = entries_[sel];
    return true;
  }

  // The files (not folders) marked in the list, in list order.
  std::vector<std::string> MarkedFiles() const {
    std::vector<std::string> files;
    for (int row : view_.ListMarked(kList))
      if (row >= 0 && row < static_cast<int>(entries_.size()) && entries_[row].back() != '\\')
        files.push_back(entries_[row]);
    return files;
  }

  void OpenEntry(const std::string& entry) {
    if (entry == "..\\") {
      Navigate(Parent(folder_), true);
    } else if (!entry.empty() && entry.back() == '\\') {
      Navigate(folder_ + entry, true);
    } else {
      view_.SetItemText(kName, entry);
      Confirm({entry});
    }
  }

  void OnCommand(int id, int code) {
    if (id == kCancel && code == kClicked) {
      view_.EndDialog(0);
    } else if (id == kList && code == kSelChange) {
      // The name box shows the marked file, or the marked files as "a" "b".
      const std::vector<std::string> files = MarkedFiles();
      if (files.size() == 1) {
        view_.SetItemText(kName, files[0]);
      } else if (files.size() > 1) {
        std::string names;
        for (const std::string& f : files) names += (names.empty() ? "\"" : " \"") + f + "\"";
        view_.SetItemText(kName, names);
      }
    } else if (id == kList && code == kClicked) {
      const std::vector<std::string> files = MarkedFiles();
      std::string entry;
      if (files.size() > 1)
        Confirm(files);
      else if (SelectedEntry(entry))
        OpenEntry(entry);
    } else if (id == kOk && code == kClicked) {
      std::string entry;
      const std::string name = view_.ItemText(kName);
      if (name.empty() && SelectedEntry(entry) && entry.back() == '\\')
        OpenEntry(entry);
      else if (!name.empty())
        Confirm(NamesOf(name));
    }
  }

  // Several files are typed as "a" "b" where several may be chosen.
  std::vector<std::string> NamesOf(const std::string& typed) const {
    if (!spec_.multiSelect || typed.find('"') == std::string::npos) return {typed};
    std::vector<std::string> names;
    size_t at = 0;
    while ((at = typed.find('"', at)) != std::string::npos) {
      const size_t end = typed.find('"', at + 1);
      if (end == std::string::npos) break;
      if (end > at + 1) names.push_back(typed.substr(at + 1, end - at - 1));
      at = end + 1;
    }
    if (names.empty()) names.push_back(typed);
    return names;
  }

  // A scripted "file:" answer: names in the shown folder, or paths from the
  // working folder.
  void OnFileAnswer(const std::string& utf8) {
    std::vector<std::string> names;
    const std::string all = Utf8ToCp932(utf8);
    size_t start = 0;
    while (start <= all.size()) {
      size_t end = all.find('|', start);
      if (end == std::string::npos) end = all.size();
      std::string one = all.substr(start, end - start);
      std::vector<std::string> parts = Components(one);
      if (parts.size() > 1) {
        std::string folder;
        for (size_t i = 0; i + 1 < parts.size(); ++i) folder += parts[i] + "\\";
        if (IsAbsolutePath(one) || !Inside(folder)) {
          Message(FileNameProblem("\\", spec_.english));
          return;
        }
        if (folder != folder_) Navigate(folder, true);
        if (folder_ != folder) return;  // the folder is not there
        one = parts.back();
      }
      names.push_back(one);
      start = end + 1;
    }
    if (names.size() == 1) view_.SetItemText(kName, names[0]);
    Confirm(names);
  }

  // The chosen names (in the shown folder) become the result, when they pass.
  void Confirm(std::vector<std::string> names) {
    if (names.size() > 1 && !spec_.multiSelect) names.resize(1);
    // A listed folder may have vanished (or been replaced) meanwhile.
    if (!IsDirectory(folder_.empty() ? "." : folder_) || !RealFolderInside(folder_)) {
      Navigate(folder_, true);
      return;
    }
    std::vector<std::string> paths;
    for (std::string& name : names) {
      const std::string problem = FileNameProblem(name, spec_.english);
      if (!problem.empty()) {
        Message(problem);
        return;
      }
      if (spec_.save && !spec_.defaultExtension.empty() && name.find('.') == std::string::npos)
        name += "." + spec_.defaultExtension;
      const std::string path = folder_ + name;
      if (IsDirectory(path)) {
        if (names.size() == 1) Navigate(path, true);
        return;
      }
      const bool exists = FileExists(path);
      // A link would have the save written wherever it points.
      struct stat st {};
      const std::string resolved = ResolvePath(path);
      if (spec_.save && lstat(resolved.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        Message(FileNameProblem("", spec_.english));
        return;
      }
      if (!spec_.save && spec_.mustExist && !exists) {
        Message(Format(spec_.english ? "%s\nFile not found.\nCheck the file name."
                                     : Sjis("%s\nファイルが見つかりません。\nファイル名を確認してください。"),
                       name));
        return;
      }
      if (spec_.save && spec_.overwritePrompt && exists &&
          MessageBox(Format(spec_.english ? "%s already exists.\nDo you want to replace it?"
                                          : Sjis("%s は既に存在します。\n上書きしますか？"),
                            name),
                     spec_.title, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
        return;
      paths.push_back(path);
    }
    result_.chosen = true;
    result_.paths = paths;
    view_.EndDialog(1);
  }

  FileChooserSpec spec_;
  DialogView view_;
  std::string folder_;
  std::vector<std::string> entries_;
  FileChooserResult result_;
};

}  // namespace

bool MatchesFilter(const std::string& cp932Name, const std::string& pattern) {
  const std::string name = Cp932ToUtf8(cp932Name);
  size_t start = 0;
  while (start <= pattern.size()) {
    size_t end = pattern.find(';', start);
    if (end == std::string::npos) end = pattern.size();
    const std::string one = Cp932ToUtf8(pattern.substr(start, end - start));
    if (!one.empty() && fnmatch(one.c_str(), name.c_str(), FNM_CASEFOLD | FNM_PERIOD) == 0) return true;
    start = end + 1;
  }
  return false;
}

bool ListChooserFolder(const std::string& folder, const std::string& pattern, std::vector<std::string>& entries) {
  entries.clear();
  const std::string resolved = ResolvePath(folder.empty() ? "." : folder);
  DIR* dir = resolved.empty() ? nullptr : opendir(resolved.c_str());
  if (dir == nullptr) return false;
  std::vector<std::string> folders, files;
  while (const dirent* entry = readdir(dir)) {
    const std::string name(entry->d_name);
    if (name == "." || name == "..") continue;
    bool lossless = false;
    const std::string cp932 = Utf8ToCp932(name, &lossless);
    if (!lossless) continue;  // a name the game could not open again
    struct stat st {};
    if (stat((resolved + "/" + name).c_str(), &st) != 0) continue;  // gone meanwhile
    if (S_ISDIR(st.st_mode))
      folders.push_back(cp932 + "\\");
    else if (S_ISREG(st.st_mode) && MatchesFilter(cp932, pattern))
      files.push_back(cp932);
  }
  closedir(dir);
  std::sort(folders.begin(), folders.end());
  std::sort(files.begin(), files.end());
  entries = folders;
  entries.insert(entries.end(), files.begin(), files.end());
  return true;
}

std::string FileNameProblem(const std::string& name, bool english) {
  bool bad = name.empty() || name == "." || name == ".." || name.size() > 255;
  for (size_t i = 0; i < name.size() && !bad;) {
    const size_t len = Cp932CharLength(name, i);
    const uint8_t b = static_cast<uint8_t>(name[i]);
    if (len == 1 && (b < 0x20 || std::string("\\/:*?\"<>|").find(static_cast<char>(b)) != std::string::npos)) bad = true;
    if (len == 1 && IsCp932LeadByte(b)) bad = true;  // half a character
    i += len;
  }
  if (!bad) return "";
  return english ? "The file name is not valid.\nA name cannot hold \\ / : * ? \" < > | or be . or .."
                 : Sjis("ファイル名が正しくありません。\n\\ / : * ? \" < > | は使えません。");
}

FileChooserResult RunFileChooser(const FileChooserSpec& spec) {
  Chooser chooser(spec);
  return chooser.Run();
}

}  // namespace plat

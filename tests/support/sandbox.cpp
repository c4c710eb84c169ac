#include "support/sandbox.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "base/logs.h"
#include "platform/audio_device.h"
#include "platform/dialogs.h"
#include "platform/soft_draw.h"
#include "platform/window_host.h"

namespace fs = std::filesystem;

ScopedEnv::~ScopedEnv() {
  for (const auto& [name, value] : saved_) {
    if (value)
      setenv(name.c_str(), value->c_str(), 1);
    else
      unsetenv(name.c_str());
  }
  plat::ResetDialogScript();
}

void ScopedEnv::Save(const std::string& name) {
  if (saved_.count(name)) return;
  const char* old = std::getenv(name.c_str());
  saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
}

ScopedEnv& ScopedEnv::Set(const std::string& name, const std::string& value) {
  Save(name);
  setenv(name.c_str(), value.c_str(), 1);
  plat::ResetDialogScript();
  return *this;
}

ScopedEnv& ScopedEnv::Unset(const std::string& name) {
  Save(name);
  unsetenv(name.c_str());
  plat::ResetDialogScript();
  return *this;
}

TempFolder::TempFolder(const std::string& tag) {
  std::string pattern = "/tmp/pelmora-" + tag + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = fs::canonical(pattern).string();
}

TempFolder::~TempFolder() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempFolder::Write(const std::string& relative, const std::string& bytes) const {
  const fs::path path = fs::path(path_) / relative;
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  return path.string();
}

std::string TempFolder::Read(const std::string& relative) const {
  std::ifstream in(fs::path(path_) / relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

ScopedWorkingFolder::ScopedWorkingFolder(const std::string& folder) {
  previous_ = fs::current_path().string();
  fs::current_path(folder);
}

ScopedWorkingFolder::~ScopedWorkingFolder() {
  std::error_code ec;
  fs::current_path(previous_, ec);
}

Sandbox::Sandbox(const std::string& answers) : folder_("sandbox"), working_(folder_.Path()) {
  ResetLogsForTest();
  OpenReportLog((folder_ / "Report_Game.txt").c_str());
  SetECLog(1, (folder_ / "EC_Game.txt").c_str());
  env_.Set("PELMORA_DIALOG_LOG", folder_ / "dialogs.log");
  env_.Set("PELMORA_DIALOG_ANSWERS", answers);
  plat::SetWindowHost(plat::MakeHeadlessWindowHost());
}

Sandbox::~Sandbox() {
  plat::SetWindowHost(nullptr);
  ResetLogsForTest();
}

void Sandbox::Answer(const std::string& answers) { env_.Set("PELMORA_DIALOG_ANSWERS", answers); }

ScopedManualAudioPull::ScopedManualAudioPull() : previous_(plat::ManualAudioPull()) {
  plat::SetManualAudioPull(true);
}

ScopedManualAudioPull::~ScopedManualAudioPull() { plat::SetManualAudioPull(previous_); }

void RestoreCursorCount(int count) {
  while (plat::CursorDisplayCount() < count) plat::ShowCursor(true);
  while (plat::CursorDisplayCount() > count) plat::ShowCursor(false);
}

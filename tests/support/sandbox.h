// One test's share of the process. Every test binary runs as one process in
// any order, so whatever a test changes of the process-wide state (working
// folder, environment, logs, window host, display and cursor state) goes back
// as it was when the test ends; support/leak_guard.cpp checks that it did.
#pragma once

#include <map>
#include <optional>
#include <string>

// Environment variables set for a scope and put back after it. The dialog
// script reads PELMORA_DIALOG_* once, so it is reloaded on every change.
class ScopedEnv {
 public:
  ScopedEnv() = default;
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ScopedEnv& Set(const std::string& name, const std::string& value);
  ScopedEnv& Unset(const std::string& name);

 private:
  void Save(const std::string& name);
  std::map<std::string, std::optional<std::string>> saved_;
};

// A fresh folder under /tmp, removed with its contents at the end.
class TempFolder {
 public:
  explicit TempFolder(const std::string& tag = "test");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return path_; }
  // A Linux path inside the folder.
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }
  // Writes a file (its folders made as needed) and returns its path.
  std::string Write(const std::string& relative, const std::string& bytes) const;
  std::string Read(const std::string& relative) const;  // "" when missing

 private:
  std::string path_;
};

// The working folder for a scope.
class ScopedWorkingFolder {
 public:
  explicit ScopedWorkingFolder(const std::string& folder);
  ~ScopedWorkingFolder();
  ScopedWorkingFolder(const ScopedWorkingFolder&) = delete;
  ScopedWorkingFolder& operator=(const ScopedWorkingFolder&) = delete;

 private:
  std::string previous_;
};

// What most tests of files and game state stand in: a fresh folder that is
// the working folder, the report log ("Report_Game.txt") and error-check log
// ("EC_Game.txt") in it, message boxes answered by a script (by default none,
// so each box takes its default button, never shown: a headless window host
// is installed) and written to "dialogs.log".
class Sandbox {
 public:
  explicit Sandbox(const std::string& answers = "");
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const TempFolder& Folder() const { return folder_; }
  std::string operator/(const std::string& relative) const { return folder_ / relative; }
  std::string Write(const std::string& relative, const std::string& bytes) const {
    return folder_.Write(relative, bytes);
  }
  std::string Read(const std::string& relative) const { return folder_.Read(relative); }
  std::string Report() const { return Read("Report_Game.txt"); }
  std::string ErrorCheckLog() const { return Read("EC_Game.txt"); }
  std::string DialogLog() const { return Read("dialogs.log"); }
  // Replaces the answer script (see PELMORA_DIALOG_ANSWERS).
  void Answer(const std::string& answers);

 private:
  TempFolder folder_;
  ScopedWorkingFolder working_;
  ScopedEnv env_;
};

// The mix is pulled by the test itself (no audio device opens) for a scope.
class ScopedManualAudioPull {
 public:
  ScopedManualAudioPull();
  ~ScopedManualAudioPull();
  ScopedManualAudioPull(const ScopedManualAudioPull&) = delete;
  ScopedManualAudioPull& operator=(const ScopedManualAudioPull&) = delete;

 private:
  bool previous_;
};

// Brings the cursor display count back to `count`.
void RestoreCursorCount(int count);

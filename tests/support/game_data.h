// The project data the loaders fill in (database, system data, common
// palette, the stage and its master copy, the tables built from them) and the
// loaders' switches: at their defaults for a scope, put back as they were
// after it.
#pragma once

#include <memory>

class ScopedGameData {
 public:
  ScopedGameData();
  ~ScopedGameData();
  ScopedGameData(const ScopedGameData&) = delete;
  ScopedGameData& operator=(const ScopedGameData&) = delete;

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;
};

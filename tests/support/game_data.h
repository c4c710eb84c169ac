// The project data the loaders fill in (database, system data, common
// palette, the stage and its master copy, the tables built from them) and the
// loaders' switches: at their defaults for a scope, put back as they were
// after it. The effect runs point into the database's lists: none for the
// scope's fresh lists, and put back pointing into the lists put back.
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

// Points every graphic- and screen-effect run at the definition of its number
// in Database's lists as they are now (null where the list is shorter): for
// runs copied aside and put back after the lists were replaced and put back.
void PointEffectRunsIntoTheDatabase();

// Every file of a game is named through one table of paths relative to the
// working folder; the order of the table is part of how it is used (the
// ranking folders by 39 + play kind, the database files at 16, 18, ...).
#pragma once

#include <cstdint>
#include <string>

#include "base/safe_containers.h"

// The 49 paths (CP932, "\" separators).
extern cSafeVector<std::string> DataPaths;
// File extensions: 0 "cplt4", 1 "stg4", 2 "plt4", 3 "rkg".
extern cSafeVector<std::string> DataExtensions;

// Indices the program names.
enum : int {
  kPathData = 0,
  kPathDefault = 1,
  kPathCommonPalette = 8,
  kPathWorldMap = 14,
  kPathDatabaseFirst = 16,  // then every second entry, ten files
  kPathSystemData = 36,
  kPathWorldSelectStages = 38,
  kPathRankingFirst = 39,  // + play kind 0..2
  kPathStorySlots = 42,
  kPathChallenge = 43,
  kPathOption = 44,
  kPathUserData = 45,
  kPathKeyConfig = 46,
  kPathBoot = 47,
  kPathWindow = 48,
};
enum : int { kExtCommonPalette = 0, kExtStage = 1, kExtPalette = 2, kExtRanking = 3 };

// When "data\" is missing and "default\" exists, asks (Yes/No) whether to
// create "data\" as a copy of "default\". 1 when "data\" exists afterwards;
// 0 when it does not (no "default\", the answer was no, or the copy failed:
// nothing the user had is touched, and a half-made copy is removed).
int CreateDefaultData(uint32_t ownerWindow);

// What a stage needs to be laid out for play, reckoned from the stage record
// before anything is made of it, and the one test of it that the stage
// loader, the replay reader and `pelmora-tool check` apply.
//
// A stage file is read as it is (its numbers as the file gives them); it is
// its set-up that has limits:
// - each side 1 to 32,768 blocks (kStageMaxSide: objects stand at signed
//   16-bit columns and rows), and the block map's cells, (height + 20) rows
//   of a power-of-two stride of at least width + 20, within the 32-bit cell
//   indexes;
// - the ends of a scroll range from -32,768 (kStageMinScrollBlock);
// - a finite gravity;
// - the memory the set-up builds: the block map's cells, every character it
//   makes (each placed computer character with its placed copies, and the
//   hero) with a flow state for each of its type's flows and a command state
//   for each of their unrolled commands, each placed item, and each type's
//   flows prepared once: at most kStageSetUpBudget bytes in all. There is
//   no count of placed objects of its own.
#pragma once

#include <cstdint>
#include <string>

class cStageData;

// The most a stage's set-up may build, in bytes of heap. Far above what a
// game made in the editor needs (a 3,000 x 3,000 stage takes about 50 MB of
// map, a thousand characters of fifty flows of ten commands about 60 MB),
// and low enough that no stage takes the game past a couple of gigabytes.
inline constexpr int64_t kStageSetUpBudget = int64_t{1} << 30;

// What the set-up of a stage would build (estimated from the record: the
// sizes of the objects and their states, the heap's rounding included).
struct cStageSetUpCost {
  int64_t mapCells = 0;        // the block map's cells, margins and stride included
  int64_t mapBytes = 0;        // its cells and its table of block types
  int64_t characters = 0;      // running characters: the hero and the placed copies
  int64_t flowStates = 0;      // a state per flow per character
  int64_t commandStates = 0;   // a state per unrolled command per flow state
  int64_t characterBytes = 0;  // the characters, their flow states and the types' prepared flows
  int64_t items = 0;           // placed items not carried by a character
  int64_t itemBytes = 0;
  int64_t bytes = 0;           // all of it
  // Counting stopped where the flows of a character would have passed
  // `stopAbove` (the rest unknown: the set-up takes more than that).
  bool stopped = false;
};

// The cost of laying `stage` out. Counting stops once it passes `stopAbove`
// bytes (the work of reckoning grows with what it counts). Any thread.
cStageSetUpCost EstimateStageSetUp(const cStageData& stage, int64_t stopAbove = kStageSetUpBudget);

// Why the game would not lay `stage` out (the limits above, in words, with
// the numbers that pass them); empty when it would. Any thread.
std::string StageSetUpProblem(const cStageData& stage);

// Makes StageSetUpProblem the check that the stage loader and the replay
// reader apply to every stage they take (data/stage_load.h).
void InstallStageSetUpCheck();

// The set-up's limits (play/world/stage_limits.h): the stage's sides and
// scroll ends, the block map's indexes, and what its set-up would build,
// counted as the set-up builds it (stage_setup.cpp, running_stage.cpp,
// the characters' flows in flow/flow_state.cpp).
#include "play/world/stage_limits.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

#include "data/record.h"
#include "data/stage_data.h"
#include "data/stage_load.h"
#include "flow/flow_state.h"
#include "play/commands/commands.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/hero.h"
#include "play/objects/stage_character.h"
#include "play/objects/stage_item.h"
#include "play/world/block_map.h"

namespace {

// Sums of bytes stop growing here, far past any budget (no sum overflows).
constexpr int64_t kCountedAtMost = int64_t{1} << 60;
void Add(int64_t& total, int64_t bytes) { total = std::min(kCountedAtMost, total + std::min(bytes, kCountedAtMost)); }

int64_t Heap(int64_t bytes) { return bytes <= 0 ? 0 : static_cast<int64_t>(HeapBytes(static_cast<size_t>(bytes))); }
template <class T>
int64_t HeapOf(size_t count) {
  return Heap(static_cast<int64_t>(count * sizeof(T)));
}
// The room a list grown one element at a time has for `n` (it doubles).
size_t RoomFor(size_t n) { return n == 0 ? 0 : std::bit_ceil(n); }

// A text's own heap, past what the string object holds itself.
int64_t TextHeap(const std::string& text) { return text.size() < sizeof(std::string) - 8 ? 0 : Heap(text.size() + 1); }

int64_t FlowHeap(const cEdFlow& flow);

// The heap of one command past its own object (copies of it own all of it).
int64_t CommandHeap(const cEdCmd& command) {
  int64_t bytes = HeapOf<uint32_t>(command.m_vParams.size()) + TextHeap(command.m_strText);
  if (command.m_pMove) bytes += Heap(sizeof(cEdMove));
  if (command.m_pShot) bytes += Heap(sizeof(cEdShot));
  if (command.m_pCondList) bytes += Heap(sizeof(cCondList)) + HeapOf<cCond>(command.m_pCondList->m_vConds.size());
  bytes += HeapOf<cEdFlow>(command.m_vFlows.size());
  for (const cEdFlow& nested : command.m_vFlows) bytes += FlowHeap(nested);
  return bytes;
}

// The heap of a flow past its own object, but for its commands.
int64_t FlowHeapButCommands(const cEdFlow& flow) {
  int64_t bytes = TextHeap(flow.m_strName) + HeapOf<cCond>(flow.m_vConds.size()) + HeapOf<cFlowKey>(flow.m_vKeys.size());
  for (const cFlowKey& key : flow.m_vKeys) bytes += HeapOf<uint8_t>(key.m_vKeys.size());
  return bytes;
}

// The heap of a flow past its own object.
int64_t FlowHeap(const cEdFlow& flow) {
  int64_t bytes = FlowHeapButCommands(flow) + HeapOf<cEdCmd>(flow.m_vCmds.size());
  for (const cEdCmd& command : flow.m_vCmds) bytes += CommandHeap(command);
  return bytes;
}

// What one flow list costs: its preparation, once (the type's flows with
// their loops unrolled), and for each character that takes it a flow state
// per flow with a command state per unrolled command.
struct cFlowListCost {
  int64_t preparedBytes = 0;
  int64_t perCharacterBytes = 0;
  int64_t flowStates = 0;
  int64_t commandStates = 0;
};

// The cost of `flows` for `characters` characters taking them, on top of
// `before` bytes: the reckoning stops (false) once that passes `stopAbove`.
bool CostOfFlows(const std::vector<cEdFlow>& flows, int64_t characters, int64_t before, int64_t stopAbove,
                 cFlowListCost& cost) {
  cost.flowStates = static_cast<int64_t>(flows.size());
  cost.preparedBytes = HeapOf<std::shared_ptr<cEdFlow>>(flows.size());
  // The character's list of states and of their triggers.
  cost.perCharacterBytes = HeapOf<std::unique_ptr<cFlowState>>(flows.size()) + HeapOf<uint8_t>(flows.size());
  std::vector<std::string> notes;
  std::vector<int64_t> heapOf;  // of each command of the flow, as its copies hold it
  for (const cEdFlow& flow : flows) {
    int64_t total = before;
    Add(total, cost.preparedBytes);
    Add(total, characters * cost.perCharacterBytes);
    if (total > stopAbove) return false;
    notes.clear();
    const std::vector<uint32_t> order = UnrolledCommandOrder(flow.m_vCmds, notes);
    heapOf.assign(flow.m_vCmds.size(), -1);
    // The prepared definition (one object with its count beside it) with
    // the unrolled commands; the state with a command state for each.
    int64_t prepared = Heap(sizeof(cEdFlow) + 16) + FlowHeapButCommands(flow) + HeapOf<cEdCmd>(order.size());
    int64_t state = Heap(sizeof(cFlowState)) + HeapOf<cCmdState>(order.size()) +
                    HeapOf<const cFlowKey*>(RoomFor(flow.m_vKeys.size()));
    size_t animes = 0;
    for (uint32_t i : order) {
      const cEdCmd& command = flow.m_vCmds[i];
      if (heapOf[i] < 0) heapOf[i] = CommandHeap(command);
      prepared += heapOf[i];
      state += Heap(static_cast<int64_t>(CommandWorkBytes(command)));
      if (command.m_nAnime != 0) ++animes;
    }
    // Entries are added one by one: the list's room doubles as it grows.
    state += HeapOf<cTimelineEntry>(RoomFor(animes));
    Add(cost.preparedBytes, prepared);
    Add(cost.perCharacterBytes, state);
    cost.commandStates += static_cast<int64_t>(order.size());
  }
  return true;
}

// The heap a running character holds besides its flows: its node in the
// scene's list, its flow set, and what its set-up gives it (animation
// players, hit lists) in a few small pieces.
template <class Character>
int64_t CharacterBytes() {
  constexpr int64_t kSmallPieces = 512;
  return Heap(sizeof(Character) + 16) + Heap(sizeof(cCharacterFlowSet)) + kSmallPieces;
}

std::string Megabytes(int64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB"; }
std::string Count(int64_t n, const char* thing) { return std::to_string(n) + " " + thing + (n == 1 ? "" : "s"); }

}  // namespace

cStageSetUpCost EstimateStageSetUp(const cStageData& stage, int64_t stopAbove) {
  cStageSetUpCost cost;

  // The block map: four bytes a cell, and a table of the distinct block
  // types placed (as many as the placed blocks, 65,535 at most).
  cost.mapCells = cBlockMap::CellsFor(stage.Int(kStageWidth), stage.Int(kStageHeight));
  const int64_t types = std::min<int64_t>(static_cast<int64_t>(stage.m_PlacedBlocks.size()), 0xffff);
  // A type: its copy, its slot in the table, its entry in the index (a tree
  // node keyed by the type's 17 numbers).
  constexpr int64_t kIndexNode = 96;
  cost.mapBytes = Heap(std::max<int64_t>(cost.mapCells, 0) * static_cast<int64_t>(sizeof(cBlockCell))) +
                  types * (Heap(sizeof(cEdBlock)) + 8 + Heap(kIndexNode) + HeapOf<int64_t>(17));
  cost.bytes = cost.mapBytes;

  // Placed items, but those a character carries (inside the character).
  const cSafeVector<cEdCharacter>& characters = stage.m_PlacedCharacters;
  std::vector<uint8_t> held(stage.m_PlacedItems.size(), 0);
  for (const cEdCharacter& c : characters)
    if (c.ControlKind() == 1 && c.m_nPlacedItem >= 0 && static_cast<size_t>(c.m_nPlacedItem) < held.size())
      held[static_cast<size_t>(c.m_nPlacedItem)] = 1;
  for (uint8_t h : held) cost.items += h ? 0 : 1;
  cost.itemBytes = cost.items * (Heap(sizeof(cStageItem) + 16) + 32);
  cost.bytes += cost.itemBytes;

  // The hero and every copy of every placed computer character; each flow
  // list counted once for its preparation, which its characters share.
  std::unordered_map<const void*, cFlowListCost> lists;
  const int32_t heroIndex = stage.FindHeroIndex();
  for (size_t i = 0; i < characters.size() && !cost.stopped; ++i) {
    const cEdCharacter& c = characters[i];
    const bool hero = static_cast<int32_t>(i) == heroIndex;
    if (!hero && c.ControlKind() != 1) continue;
    const int64_t copies = hero ? 1 : int64_t{std::max(0, c.RepeatCount())} + 1;
    const void* key = c.m_vFlows.Holder().get();
    auto found = key ? lists.find(key) : lists.end();
    if (found == lists.end()) {
      // Reckoning a list takes time as its loops unroll: past the budget
      // nothing more need be known.
      cFlowListCost listCost;
      if (!CostOfFlows(c.m_vFlows.Get(), copies, cost.bytes, stopAbove, listCost)) {
        cost.stopped = true;
        break;
      }
      Add(cost.characterBytes, listCost.preparedBytes);
      Add(cost.bytes, listCost.preparedBytes);
      found = lists.emplace(key ? key : &c, listCost).first;
    }
    const cFlowListCost& list = found->second;
    const int64_t each = (hero ? CharacterBytes<cHero>() : CharacterBytes<cStageCharacter>()) + list.perCharacterBytes;
    cost.characters += copies;
    cost.flowStates += copies * list.flowStates;
    cost.commandStates += copies * list.commandStates;
    Add(cost.characterBytes, copies * each);
    Add(cost.bytes, copies * each);
  }
  return cost;
}

std::string StageSetUpProblem(const cStageData& stage) {
  const auto number = [](int64_t n) { return std::to_string(n); };
  const int32_t width = stage.Int(kStageWidth), height = stage.Int(kStageHeight);
  if (width < 1 || width > kStageMaxSide)
    return "its width (" + number(width) + " blocks) is not 1 to " + number(kStageMaxSide);
  if (height < 1 || height > kStageMaxSide)
    return "its height (" + number(height) + " blocks) is not 1 to " + number(kStageMaxSide);
  static constexpr struct {
    int field;
    const char* name;
  } kScrollEnds[] = {{kStageScrollLeft, "first column"},
                     {kStageScrollRight, "last column"},
                     {kStageScrollTop, "first row"},
                     {kStageScrollBottom, "last row"}};
  for (const auto& end : kScrollEnds)
    if (stage.Int(end.field) < kStageMinScrollBlock)
      return "the " + std::string(end.name) + " of its scroll range (" + number(stage.Int(end.field)) +
             ") is below " + number(kStageMinScrollBlock);
  if (!std::isfinite(stage.Dbl(kStageGravity))) return "its gravity is not a finite number";
  const int64_t cells = cBlockMap::CellsFor(width, height);
  if (cells > cBlockMap::kMaxCells)
    return "its block map would be " + number(cells) + " cells (" + number(int64_t{height} + 2 * kStageMarginBlocks) +
           " rows of " + number(int64_t{1} << cBlockMap::WidthShiftFor(width)) + "), more than its indexes reach (" +
           number(cBlockMap::kMaxCells) + ")";
  const cStageSetUpCost cost = EstimateStageSetUp(stage);
  if (!cost.stopped && cost.bytes <= kStageSetUpBudget) return std::string();
  const std::string parts = "block map " + Megabytes(cost.mapBytes) + "; " + Count(cost.characters, "character") +
                            " " + Megabytes(cost.characterBytes) + ", with " + Count(cost.flowStates, "flow state") +
                            " and " + Count(cost.commandStates, "command state") + "; " + Count(cost.items, "item") +
                            " " + Megabytes(cost.itemBytes);
  const std::string budget = "the " + Megabytes(kStageSetUpBudget) + " a stage may take";
  if (cost.stopped)
    return "its set-up would take more than " + budget + " (counted before the flows of a character passed it: " +
           parts + ")";
  return "its set-up would take " + Megabytes(cost.bytes) + ", more than " + budget + " (" + parts + ")";
}

void InstallStageSetUpCheck() { SetStageSetUpCheck(StageSetUpProblem); }

#include "play/world/flow_hooks.h"

void cFlowHooks::SetFlows(cCharacter&) {}
void cFlowHooks::TriggerFlowsOfKind(cCharacter&, int32_t) {}
void cFlowHooks::PreStep(cCharacter&) {}
int cFlowHooks::StepFlows(cCharacter&, int32_t) { return 0; }
void cFlowHooks::ApplyRemoveRequests(cCharacter&) {}
void cFlowHooks::ClearFlowFrameFlags(cCharacter&) {}
void cFlowHooks::RunPendingCommands(cHero&) {}
bool cFlowHooks::CheckConditionList(const std::vector<cCond>&, int32_t, cCharacter*) { return true; }
int cFlowHooks::RunItemCommand(cHero&, const cEdCmd&) { return 0; }
void cFlowHooks::StopCommand(cCmdState*) {}

namespace {
cFlowHooks g_DefaultHooks;
cFlowHooks* g_pHooks = &g_DefaultHooks;
}  // namespace

cFlowHooks& FlowHooks() { return *g_pHooks; }
void SetFlowHooks(cFlowHooks* hooks) { g_pHooks = hooks ? hooks : &g_DefaultHooks; }

// ---------------------------------------------------------------------------
// The running game's hooks: characters' flows run by the flow runtime.

#include <algorithm>
#include <limits>

#include "data/database.h"
#include "flow/conditions.h"
#include "play/commands/commands.h"
#include "play/commands/flow_host_impl.h"
#include "play/objects/hero.h"
#include "play/world/stage_object.h"
#include "play/world/stage_scene.h"

namespace {

uint16_t ToTicks(int64_t value) { return static_cast<uint16_t>(std::clamp<int64_t>(value, 0, 65535)); }

// Tenths of a second an anime plays before its first held frame (all of it
// when no frame holds); null when the database has no such anime.
const cAnimeRecord* FindAnime(int32_t number) {
  if (number <= 0 || static_cast<size_t>(number) >= Database.m_Animes.size()) return nullptr;
  return &Database.m_Animes[number];
}

int64_t LeadIn(const cAnimeRecord& anime) {
  int64_t tenths = 0;
  for (const cAnimeFrame& frame : anime.m_Frames) {
    if (frame.m_nHold) break;
    tenths += frame.m_nDuration;
  }
  return tenths;
}

class cStageFlowHooks : public cFlowHooks {
 public:
  void SetFlows(cCharacter& character) override {
    auto set = std::make_unique<cCharacterFlowSet>();
    cActorFlows& flows = set->flows;
    character.m_pFlows = std::move(set);
    // The characters of one type share its flows' preparation (the running
    // stage keeps it); without a stage each prepares its own.
    const cSharedList<cEdFlow>& list = character.Definition().m_vFlows;
    if (cStageScene* scene = CurrentStageScene())
      flows.SetFlows(&character, *scene->m_PreparedFlows.Of(list), 0, -1, 0);
    else
      flows.SetFlows(&character, list.Get(), 0, -1, 0);
  }
  void TriggerFlowsOfKind(cCharacter& character, int32_t kind) override {
    if (cActorFlows* flows = FindFlowsOfCharacter(character)) flows->TriggerFlows(&character, kind, nullptr, 0);
  }
  void TriggerFlows(cCharacter& character, int32_t kind, cCharacter* context, int32_t group) override {
    if (cActorFlows* flows = FindFlowsOfCharacter(character)) flows->TriggerFlows(&character, kind, context, group);
  }
  void PreStep(cCharacter& character) override { StartTimelineAnimes(character); }
  int StepFlows(cCharacter& character, int32_t deathMode) override {
    cActorFlows* flows = FindFlowsOfCharacter(character);
    return flows ? flows->StepFlows(&character, deathMode) : 0;
  }
  void ApplyRemoveRequests(cCharacter& character) override {
    if (cActorFlows* flows = FindFlowsOfCharacter(character)) flows->ApplyRemoveRequests(&character);
  }
  void ClearFlowFrameFlags(cCharacter& character) override {
    if (cActorFlows* flows = FindFlowsOfCharacter(character)) flows->ClearFrameFlags();
  }
  void RunPendingCommands(cHero& hero) override {
    // Flow changes queued while the hero's own flows ran; run on a copy, as
    // a change may queue nothing further but the list is the hero's.
    const std::vector<cEdCmd> pending = hero.m_PendingCommands;
    for (const cEdCmd& command : pending) ExecuteChangeFlow(&hero, command, 1);
  }
  bool CheckConditionList(const std::vector<cCond>& list, int32_t mode, cCharacter* character) override {
    if (list.empty()) return true;
    return ::CheckConditionList(list, mode, character);
  }
  void StopCommand(cCmdState* state) override { StopMoveVelocity(state); }
  int RunItemCommand(cHero& hero, const cEdCmd& command) override {
    // The hero is the current object while its item's commands run, so a
    // flow change waits for the hero's frame instead of editing its flows
    // in the middle of the hit checks.
    cCurrentObjectsGuard guard;
    SetCurrentObjects({&hero, nullptr, nullptr});
    return ExecuteItemCommand(hero, command);
  }
};

cStageFlowHost g_StageFlowHost;
cStageFlowHooks g_StageFlowHooks;

}  // namespace

cStageFlowHost& StageFlowHost() { return g_StageFlowHost; }

void InstallStageFlows() {
  SetFlowHost(&g_StageFlowHost);
  SetFlowHooks(&g_StageFlowHooks);
}

void BuildAnimeTimeline(cCharacter&, cFlowState& flow) {
  const int64_t subSteps = std::max<int32_t>(1, SubStepsPerFrame());
  std::vector<cCmdState>& commands = flow.m_Commands;
  int64_t start = 0;  // sub-steps into the flow at which command k starts
  for (size_t k = 0; k < commands.size(); ++k) {
    const cEdCmd& record = *commands[k].m_pCommand;
    const cAnimeRecord* anime = record.m_nAnime != 0 ? FindAnime(record.m_nAnime) : nullptr;
    if (anime && (!record.m_pMove || record.m_pMove->MoveAnime() == 2)) {
      // The anime's lead-in plays before the command, its held frame with it.
      const int64_t lead = LeadIn(*anime);
      int64_t left = lead * 6 * subSteps;
      for (size_t j = k; j-- > 0 && left > 0;)
        if (commands[j].m_pCommand->m_nTogether != 1) left -= commands[j].m_nDuration;
      cTimelineEntry entry;
      if (left <= 0) {
        entry.start = static_cast<int32_t>(std::clamp<int64_t>(start - lead * 6 * subSteps, INT32_MIN, INT32_MAX));
        entry.skip = 0;
        entry.length = ToTicks(lead * 6);
      } else {
        const int64_t skip = std::min(left / subSteps, lead * 6);
        entry.start = 0;
        entry.skip = ToTicks(skip);
        entry.length = ToTicks(lead * 6 - skip);
      }
      entry.anime = record.m_nAnime;
      entry.hold = ToTicks(int64_t{static_cast<int16_t>(record.m_nDuration)} * 6);
      // A jump's and a sword's anime is not held for the command's length.
      entry.extend = (record.m_nFamily == 0 && (record.m_nKind == kCmdJump || record.m_nKind == kCmdSword)) ? 0 : 1;
      flow.m_Timeline.push_back(entry);
    }
    if (record.m_nTogether != 1) start += commands[k].m_nDuration;
  }
}

void StartTimelineAnimes(cCharacter& character) {
  cActorFlows* flows = FindFlowsOfCharacter(character);
  if (!flows) return;
  for (size_t i = 0; i < flows->Count(); ++i) {
    const cFlowState& flow = flows->At(i);
    if (!flow.m_bRunning || flow.m_bPaused) continue;
    for (const cTimelineEntry& entry : flow.m_Timeline) {
      if (entry.start != flow.m_nFrameCounter) continue;
      const cAnimeRecord* anime = FindAnime(entry.anime);
      if (!anime) continue;
      std::vector<cAnimeFrameEntry> frames;
      frames.reserve(anime->m_Frames.size() + 1);
      bool extended = false;
      for (const cAnimeFrame& f : anime->m_Frames) {
        int64_t ticks = int64_t{f.m_nDuration} * 6;
        // The held frame lasts as long as the command holds it.
        if (f.m_nHold && !extended && entry.hold > 1 && entry.extend) {
          ticks += entry.hold - 1;
          extended = true;
        }
        frames.push_back({f.m_nCell, static_cast<int32_t>(std::clamp<int64_t>(ticks, 0, INT32_MAX)), f.m_nHold ? 1 : 0});
      }
      frames.push_back({kAnimeHold, 0, 0});
      cAnimeRun run;
      run.player.SetAnimeSet(std::vector<std::vector<cAnimeFrameEntry>>{frames});
      run.player.SetAnime(0, 1);
      run.player.m_nTick += entry.skip;
      run.timed = 1;
      run.remaining = entry.length;
      run.extra = entry.hold;
      run.flow = flow.m_nFlowId;
      run.held = 0;
      character.m_AnimeRuns.push_back(std::move(run));
    }
  }
}

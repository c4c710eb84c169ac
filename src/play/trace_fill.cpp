// Stage play's part of the frame trace: the running stage as the trace
// records it after each presented frame (mode, hero, characters and items
// in list order, the non-zero stage variables, lives, score, time left and
// the stage-end request).
#include "play/hero.h"
#include "play/stage_character.h"
#include "play/stage_draw.h"
#include "play/stage_item.h"
#include "play/stage_scene.h"
#include "scene/frame_trace.h"
#include "scene/play_record.h"

namespace {

// An object's type as the trace names it: the palette (1 common, 2 stage)
// x 100000 + the index of the type in that palette's list.
int32_t TypeReference(const cEdDefinition& definition) {
  return definition.m_nBaseKind * 100000 + definition.m_nBaseIndex;
}

void FillStageTrace(FrameTrace& t) {
  // The play record is there in every scene.
  t.lives = SaveData.m_nLives;
  t.score = SaveData.m_nScore;
  cStageScene* scene = CurrentStageScene();
  if (scene == nullptr) return;
  t.mode = scene->m_nMode;
  t.time = scene->m_nTimeLeft;
  if (scene->m_nEndRequest != kEndNone) t.end = scene->m_nEndRequest;
  for (const cHero& hero : scene->m_HeroList)
    t.hero.push_back(FrameTraceHero{hero.m_dX, hero.m_dY, hero.m_dSpeedX, hero.m_dSpeedY, hero.m_nHp, hero.m_nSp,
                                    hero.m_nFacing, hero.m_bDying});
  for (const cStageCharacter& c : scene->m_CharacterList)
    t.chars.push_back(FrameTraceCharacter{TypeReference(c.Definition()), c.m_dX, c.m_dY, c.m_nHp, c.m_bPresent});
  for (const cStageItem& item : scene->m_ItemList)
    t.items.push_back(FrameTraceItem{TypeReference(item.m_Definition), item.m_dX, item.m_dY});
  const std::vector<int32_t>& vars = scene->m_StageVariables;
  for (size_t i = 0; i < vars.size(); ++i)
    if (vars[i] != 0) t.vars.emplace_back(static_cast<int32_t>(i), vars[i]);
}

}  // namespace

void InstallStageTraceFiller() { SetFrameTraceFiller(FillStageTrace); }

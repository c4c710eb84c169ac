// Stage play's part of the frame trace: the running stage as the trace
// records it after each presented frame (mode, hero, characters and items
// in list order with their ids and graphic effects, the non-zero variables,
// lives, score, time left, the open messages, effect objects, pictures, the
// screen effect and the stage-end request).
#include <string>

#include "play/objects/effect_object.h"
#include "play/objects/hero.h"
#include "play/objects/message_window.h"
#include "play/objects/picture.h"
#include "play/objects/shot.h"
#include "play/objects/stage_character.h"
#include "play/objects/stage_item.h"
#include "play/world/stage_draw.h"
#include "play/world/stage_scene.h"
#include "scene/frame_trace.h"
#include "scene/play_record.h"

namespace {

// v1..v8: the first status words of a character.
constexpr size_t kCharacterVariableCount = 8;

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
    t.hero.push_back(FrameTraceHero{hero.m_nId, hero.m_dX, hero.m_dY, hero.m_dSpeedX, hero.m_dSpeedY, hero.m_nHp,
                                    hero.m_nSp, hero.m_nFacing, hero.m_bDying, hero.m_Effect.Kind()});
  for (const cStageCharacter& c : scene->m_CharacterList)
    t.chars.push_back(FrameTraceCharacter{c.m_nId, TypeReference(c.Definition()), c.m_dX, c.m_dY, c.m_nHp,
                                          c.m_bPresent, c.m_Effect.Kind()});
  for (const cStageItem& item : scene->m_ItemList)
    t.items.push_back(FrameTraceItem{item.m_nId, TypeReference(item.m_Definition), item.m_dX, item.m_dY});
  // Shots (combat): in list order, with the id of the character that fired them.
  for (const auto& shot : scene->m_ShotList)
    if (!shot->m_bRemove) t.shots.push_back(FrameTraceShot{shot->m_dX, shot->m_dY, shot->m_nOwnerId});
  // ---- message windows: the shown texts, and the item pop-ups as "icon
  // KIND NUMBER ROW", in list order ----
  for (const auto& window : scene->m_MessageWindows) {
    const cMessageSettings& w = window->m_Settings;
    if (w.style == kMessageText) t.messages.push_back(window->m_strShown);
    if (w.style == kMessageIcon)
      t.messages.push_back("icon " + std::to_string(w.iconKind) + " " + std::to_string(w.iconNumber) + " " +
                           std::to_string(w.iconRow));
  }
  // ---- end of message windows ----
  // Effect objects, pictures and the screen effect, as the last drawn frame
  // left them.
  for (const auto& effect : scene->m_Effects)
    t.effects.push_back(FrameTraceEffect{effect->m_nNumber, effect->m_dX, effect->m_dY, effect->m_Player.m_nFrame});
  for (const auto& shown : scene->m_Pictures) {
    const cPicture& p = shown->picture;
    t.pictures.push_back(FrameTracePicture{p.m_nNumber, p.m_nDrawnX, p.m_nDrawnY, p.m_bShown});
  }
  if (const cScreenEffectSlot& slot = scene->m_ScreenEffect; slot.Running())
    t.screen = FrameTraceScreen{slot.nNumber, slot.pDef ? slot.pDef->m_nKind : 0,
                                slot.bTimeOnly ? slot.dElapsed : slot.dValue};
  // Flow commands: the variables flows change, by the code language's names.
  const std::vector<int32_t>& common = SaveData.m_CommonVariables;
  for (size_t i = 0; i < common.size(); ++i)
    if (common[i] != 0) t.vars.emplace_back('C' + std::to_string(i), common[i]);
  const std::vector<int32_t>& vars = scene->m_StageVariables;
  for (size_t i = 0; i < vars.size(); ++i)
    if (vars[i] != 0) t.vars.emplace_back('S' + std::to_string(i), vars[i]);
  auto characterVariables = [&](const cCharacter& c, const std::string& name) {
    for (size_t i = 0; i < c.m_Status.size() && i < kCharacterVariableCount; ++i)
      if (c.m_Status[i] != 0) t.vars.emplace_back(name + ".v" + std::to_string(i + 1), c.m_Status[i]);
  };
  for (const cHero& hero : scene->m_HeroList) characterVariables(hero, "pl");
  size_t index = 0;
  for (const cStageCharacter& c : scene->m_CharacterList) characterVariables(c, "ch" + std::to_string(index++));
}

}  // namespace

void InstallStageTraceFiller() { SetFrameTraceFiller(FillStageTrace); }

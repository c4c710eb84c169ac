// The demo project's small builders (see demo_builders.h).
#include "demo_builders.h"

#include "data/common_palette.h"
#include "flow/flow_host.h"
#include "flow/status_ops.h"

namespace tool::demo {

cAnimeRecord Animation(const char* name, std::initializer_list<std::array<int32_t, 3>> frames) {
  cAnimeRecord anime;
  anime.m_strName = plat::Sjis(name);
  anime.m_Frames.clear();
  for (const auto& [cell, tenths, hold] : frames) {
    cAnimeFrame f;
    f.m_nCell = cell;
    f.m_nDuration = tenths;
    f.m_nHold = hold;
    anime.m_Frames.push_back(f);
  }
  return anime;
}

cEdCmd Command(uint8_t kind, std::vector<uint32_t> words, uint8_t family) {
  cEdCmd c;
  c.m_nFamily = family;
  c.m_nKind = kind;
  c.m_vParams = std::move(words);
  return c;
}

cEdCmd ItemCommand(int flowKind, std::vector<uint32_t> words) {
  return Command(static_cast<uint8_t>(ItemKindOfFlowKind(flowKind)), std::move(words), 1);
}

cEdCmd Lasting(cEdCmd c, uint16_t tenths) {
  c.m_nDuration = tenths;
  return c;
}

cEdCmd Wait(uint16_t tenths) { return Lasting(Command(kCmdWait, {}), tenths); }

cEdCmd Move(uint8_t kind, uint8_t direction, uint16_t speed) {
  cEdCmd c = Command(kind, {});
  cEdMove::Create(c.m_pMove);
  c.m_pMove->m_f2 = direction;
  c.m_pMove->SetSpeedStart(speed);
  return c;
}

cEdCmd Jump(uint32_t height) {
  cEdCmd c = Command(kCmdJump, {0, 0, height, 0, 0});
  c.m_nSound = kSndJump;
  return c;
}

cEdCmd Code(const char* text) {
  cEdCmd c = Command(kCmdRunCode, {});
  c.m_strText = text;
  return c;
}

cEdCmd Sword(int32_t power) {
  cEdCmd c = Command(kCmdSword, {});
  cEdShot::Create(c.m_pShot);
  c.m_pShot->m_nType = 1;  // the demo's sword type
  c.m_pShot->SetPower(power);
  c.m_pShot->m_f25 = 1;  // in its owner's group
  c.m_nDuration = 3;
  return c;
}

cEdCmd Shot(uint16_t graphic, uint16_t speed, uint16_t lifetime) {
  cEdCmd c = Command(kCmdShot, {});
  cEdShot::Create(c.m_pShot);
  cEdShot& shot = *c.m_pShot;
  shot.m_f1 = 0;  // one straight line
  shot.m_f2 = 0;  // towards the shooter's front
  shot.m_f26 = 1;
  shot.SetObjectCount(1);
  shot.SetSpeed(speed);
  shot.SetPower(1);
  shot.SetVanishOnHit(1);
  shot.m_f41 = 1;  // it has a lifetime
  shot.SetLifetime(lifetime);
  shot.m_nGraphic = graphic;
  shot.m_f25 = 1;  // in its shooter's group
  // Fired on the command's first sub-step, once: it lasts a tenth.
  c.m_nDuration = 1;
  return c;
}

cEdCmd Summon(uint8_t kind, int16_t index) {
  cEdCmd c = Command(kind, {});
  cEdShot::Create(c.m_pShot);
  c.m_pShot->m_nSummonPalette = 0;
  c.m_pShot->m_nSummonIndex = index;
  c.m_pShot->SetObjectCount(1);
  c.m_pShot->m_f2 = 0;
  c.m_pShot->m_f26 = 1;
  return c;
}

std::vector<uint32_t> StatusAddWords(StatusSubject subject, int32_t field, int32_t amount) {
  // A status (not a variable) of the subject, added to from a constant.
  constexpr uint32_t kTargetStatus = 0, kOperandConstant = 0;
  std::vector<uint32_t> words(kStatusOperationWords, 0);
  words[kSoTargetClass] = kTargetStatus;
  words[kSoSubject] = subject;
  words[kSoField] = static_cast<uint32_t>(field);
  words[kSoOperation] = kOpAdd;
  words[kSoSource] = kOperandConstant;
  words[kSoConstant] = static_cast<uint32_t>(amount);
  return words;
}

cEdCmd AddToGame(int32_t field, int32_t amount, bool item) {
  std::vector<uint32_t> words = StatusAddWords(kSubjectGame, field, amount);
  return item ? ItemCommand(kCmdStatus, std::move(words)) : Command(kCmdStatus, std::move(words));
}

cEdCmd Message(const char* utf8, uint16_t tenths, bool item) {
  // Words: the screen's centre (0), kept on screen (5), shown until decide
  // (6 = 0, the game waiting: 8) or for a time (6 = 2, 7 tenths), the
  // variables in the text expanded (9), fixed in place (10), framed (14).
  std::vector<uint32_t> words(18, 0);
  words[5] = 1;
  words[6] = tenths == 0 ? 0 : 2;
  words[7] = tenths;
  words[8] = tenths == 0 ? 1 : 0;
  words[9] = 1;
  words[10] = 1;
  words[14] = 1;
  cEdCmd c = item ? ItemCommand(kCmdMessage, std::move(words)) : Command(kCmdMessage, std::move(words));
  c.m_strText = plat::Sjis(utf8);
  return c;
}

cEdFlow Flow(uint8_t trigger, std::vector<cEdCmd> commands) {
  cEdFlow f;
  f.m_nTrigger = trigger;
  f.m_vCmds = std::move(commands);
  return f;
}

cCond HeroWithin(int32_t dots) {
  cCond near;
  near.m_nKind = 7;  // the distance to the hero
  near.m_nConstant = dots;
  near.m_nOperator = 3;  // at most
  return near;
}

cFlowKey KeyStep(size_t input, bool held, uint16_t minFrames, uint16_t maxFrames) {
  cFlowKey k;
  k.m_vKeys.assign(19, 0);
  k.m_vKeys[input] = held ? 1 : 2;
  k.m_nWord1 = minFrames;       // shortest hold
  k.m_nWord2 = maxFrames;       // longest hold
  k.m_nByte2 = maxFrames == 0;  // any hold length
  return k;
}

cEdFlow WhileHeld(size_t input, std::vector<cEdCmd> commands) {
  cEdFlow f = Flow(kTriggerAlways, std::move(commands));
  f.m_vKeys = {KeyStep(input, true)};
  f.m_nKeyOption = 1;  // starts on every frame the key is held
  return f;
}

cEdFlow OnPress(size_t input, std::vector<cEdCmd> commands) {
  cEdFlow f = Flow(kTriggerAlways, std::move(commands));
  f.m_vKeys = {KeyStep(input, true)};
  return f;
}

cEdBlock Block(const char* name, uint16_t graphic, uint8_t hit, int8_t itemKind, uint16_t itemIndex) {
  cEdBlock b;
  b.m_strName = plat::Sjis(name);
  b.m_nGraphic = graphic;
  b.m_nOption7 = hit;  // solidity: 1 characters collide with it (drawn either way)
  b.m_nItemKind = itemKind;
  b.m_nItemIndex = itemIndex;
  return b;
}

cEdCharacter Character(const char* name, int16_t graphic, uint8_t control, int16_t animeSet) {
  cEdCharacter c;
  c.m_strName = plat::Sjis(name);
  c.m_nGraphic = graphic;
  c.m_nControl = control;
  c.m_nAnimeSet = animeSet;
  c.m_nParam40 = control == 0 ? 3 : 1;  // hit points
  c.m_nParam50 = static_cast<uint8_t>(control == 0 ? kHeroGroup : kEnemyGroup);
  return c;
}

cEdItem Item(const char* name, uint16_t graphic, uint16_t sound, std::vector<cEdCmd> commands) {
  cEdItem item;
  item.m_strName = plat::Sjis(name);
  item.m_nGraphic = graphic;
  item.m_nSound = sound;
  item.m_nParam15 = 0;  // taken once, then gone
  item.m_vCmds = std::move(commands);
  return item;
}

void SetInvincibilityTimes(cStageData& s, int32_t heroFrames) {
  s.Int(kStageHeroInvincibility) = 0;
  s.Int(kStageHeroInvincibilityPer) = 0;
  s.Int(kStageEnemyInvincibility) = heroFrames;
  s.Int(kStageEnemyInvincibilityPer) = heroFrames;
}

void PlaceBlock(cStageData& s, const cCommonPalette& common, size_t index, int column, int row) {
  cEdBlock b = common.m_Blocks[index];
  b.m_nBaseKind = 1;
  b.m_nBaseIndex = static_cast<uint16_t>(index);
  b.m_nWord1 = static_cast<uint16_t>(column);
  b.m_nWord2 = static_cast<uint16_t>(row);
  s.m_PlacedBlocks.push_back(b);
}

void PlaceCharacter(cStageData& s, const cCommonPalette& common, size_t index, int column, int row, int32_t item) {
  cEdCharacter c = common.m_Characters[index];
  c.m_nBaseKind = 1;
  c.m_nBaseIndex = static_cast<uint16_t>(index);
  c.m_nWord1 = static_cast<uint16_t>(column);
  c.m_nWord2 = static_cast<uint16_t>(row);
  c.m_nPlacedItem = item;
  s.m_PlacedCharacters.push_back(c);
}

void PlaceItem(cStageData& s, const cCommonPalette& common, size_t index, int column, int row) {
  cEdItem i = common.m_Items[index];
  i.m_nBaseKind = 1;
  i.m_nBaseIndex = static_cast<uint16_t>(index);
  i.m_nWord1 = static_cast<uint16_t>(column);
  i.m_nWord2 = static_cast<uint16_t>(row);
  s.m_PlacedItems.push_back(i);
}

}  // namespace tool::demo

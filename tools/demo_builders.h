// The small builders the demo project's data is written with: database
// records, flow commands, flows, block, character and item types, and the
// placing of types on a stage. Each returns a record as the editor would
// have made it, so that the demo's project files read like a game author's.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "data/block.h"
#include "data/character.h"
#include "data/database_records.h"
#include "data/flow.h"
#include "data/item.h"
#include "data/labels.h"
#include "data/move_shot.h"
#include "data/stage_data.h"
#include "platform/text.h"

class cCommonPalette;

namespace tool::demo {

// Database sound entries: 1.. are the demo's WAVs in this order (the
// running game plays entry n as sound 16 + n).
enum DemoSound : uint16_t {
  kSndCursor = 1, kSndDecide, kSndCancel, kSndJump, kSndShot, kSndCoin, kSndDamage, kSndExplosion, kSndClear,
  kSndSword, kSndBossRoar, kSndPowerUp, kSndWarp,
};

// Key-step inputs of flow key conditions: the ten direction records (each
// an exact set of arrows: RIGHT held with UP is the right-up record, not
// the right one), then the nine button records (none, B1..B8).
enum DemoKeyInput : size_t {
  kKeyLeft = 1, kKeyRight = 2, kKeyUp = 3, kKeyDown = 4,
  kKeyLeftUp = 5, kKeyLeftDown = 6, kKeyRightUp = 7, kKeyRightDown = 8,
  kKeyB1 = 11, kKeyB2 = 12, kKeyB3 = 13, kKeyB4 = 14,
};

// Direction choices of movement commands (front, back, left, right, front
// on the y axis, back on it, up, down, then the diagonals).
enum DemoDirection : uint8_t {
  kDirFront = 0, kDirBack = 1, kDirLeft = 2, kDirRight = 3, kDirUp = 6, kDirDown = 7,
  kDirLeftUp = 8, kDirLeftDown = 9, kDirRightUp = 10, kDirRightDown = 11,
};

// The character groups: shots and swords hurt characters of other groups.
// The hero is alone in its group, every other character is an enemy.
constexpr int32_t kHeroGroup = 0, kEnemyGroup = 1;

// An animation of (cell, tenths of a second, hold) frames.
cAnimeRecord Animation(const char* name, std::initializer_list<std::array<int32_t, 3>> frames);

// The index of the entry named `utf8` in a list of named records; 0 (the
// list's "none") when there is none.
template <class List>
int32_t IndexByName(const List& list, const char* utf8) {
  const std::string name = plat::Sjis(utf8);
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].m_strName == name) return static_cast<int32_t>(i);
  return 0;
}

// ---- commands ----
cEdCmd Command(uint8_t kind, std::vector<uint32_t> words, uint8_t family = 0);
// The item command that runs flow kind `flowKind` (the stage clear and after).
cEdCmd ItemCommand(int flowKind, std::vector<uint32_t> words);
// A command that lasts `tenths` tenths of a second.
cEdCmd Lasting(cEdCmd c, uint16_t tenths);
// A wait of `tenths` tenths of a second.
cEdCmd Wait(uint16_t tenths);
// A movement command with a new movement record: direction choice and
// speed in tenths of a dot per frame.
cEdCmd Move(uint8_t kind, uint8_t direction, uint16_t speed);
// A jump of `height` half blocks with the jump sound (a character's jump,
// or the hero's fixed-height one).
cEdCmd Jump(uint32_t height);
// The code-execution command running `text`.
cEdCmd Code(const char* text);
// A shot record flying straight ahead of its shooter: `speed` tenths of a
// dot a frame for `lifetime` tenths of a second, one point of damage to
// characters of other groups than its shooter's, gone at its first hit.
cEdCmd Shot(uint16_t graphic, uint16_t speed, uint16_t lifetime);
// A swing of the demo's sword: `power` points of damage to characters of
// other groups than its owner's, for three tenths of a second.
cEdCmd Sword(int32_t power);
// A summon (kind 13 block, 14 character, 15 item) of entry `index` of the
// common palette, one object in front of the summoner.
cEdCmd Summon(uint8_t kind, int16_t index);
// Whose status a status operation changes: the character running it, or
// the game (its game fields).
enum StatusSubject : uint32_t { kSubjectSelf = 0, kSubjectGame = 5 };
// The words of a status operation that adds the constant `amount` to field
// `field` of `subject`'s status.
std::vector<uint32_t> StatusAddWords(StatusSubject subject, int32_t field, int32_t amount);
// Adds `amount` to a game value (time, scroll speeds, score, lives: the
// status operation's game fields), as an item command when `item` is set.
cEdCmd AddToGame(int32_t field, int32_t amount, bool item);
// A message window: `text` in a frame at the screen's centre, shown for
// `tenths` tenths of a second while the play goes on (0: until decide, the
// game waiting).
cEdCmd Message(const char* utf8, uint16_t tenths, bool item = false);

// ---- flows ----
cEdFlow Flow(uint8_t trigger, std::vector<cEdCmd> commands);
// The condition that the hero is within `dots` of the character.
cCond HeroWithin(int32_t dots);
// One key step: `input` held for min..max frames (max 0: any length), or
// released (held false).
cFlowKey KeyStep(size_t input, bool held, uint16_t minFrames = 1, uint16_t maxFrames = 0);
// A flow started on every frame `input` is held.
cEdFlow WhileHeld(size_t input, std::vector<cEdCmd> commands);
// A flow started when `input` is pressed.
cEdFlow OnPress(size_t input, std::vector<cEdCmd> commands);

// ---- types ----
cEdBlock Block(const char* name, uint16_t graphic, uint8_t hit, int8_t itemKind = 0, uint16_t itemIndex = 0);
cEdCharacter Character(const char* name, int16_t graphic, uint8_t control, int16_t animeSet);
cEdItem Item(const char* name, uint16_t graphic, uint16_t sound, std::vector<cEdCmd> commands);

// A stage type taking everything from the common palette entry `index`,
// placed at (column, row).
template <class T>
T FromCommon(uint16_t index, size_t groups, uint16_t column, uint16_t row) {
  T t;
  t.m_nBaseKind = 1;
  t.m_nBaseIndex = index;
  t.m_vInherit.assign(groups, 1);
  t.m_nWord1 = column;
  t.m_nWord2 = row;
  return t;
}

// ---- stages ----
// Invincibility after a hit: `heroFrames` frames for the hero (from all
// of its attackers and from the one that hit it), none for the others. The
// stage's times named after the hero go to computer-controlled characters
// and those named after the enemies to the hero.
void SetInvincibilityTimes(cStageData& s, int32_t heroFrames);
// Copies of common palette types placed on a stage at a block.
void PlaceBlock(cStageData& s, const cCommonPalette& common, size_t index, int column, int row);
void PlaceCharacter(cStageData& s, const cCommonPalette& common, size_t index, int column, int row,
                    int32_t item = -1);
void PlaceItem(cStageData& s, const cCommonPalette& common, size_t index, int column, int row);

}  // namespace tool::demo

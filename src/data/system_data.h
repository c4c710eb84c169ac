// The game-wide settings the author made in the editor ("data\System.dat"):
// the title, rules and play-mode settings, the HUD items, menu texts and
// command lists, the menu screens' music, and the "System.ini" key table.
// Most numbers are switches that keep games made with older editors
// behaving as they did: files older than a switch's version get the value
// the older behaviour needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/record.h"

// Where the data layer's menu texts are drawn: the display layer's system
// font on a surface implements it (this layer draws nothing itself).
class cTextTarget {
 public:
  virtual ~cTextTarget() = default;
  // Draws `text` (CP932, lines ended by "\n") with its top left at (x, y).
  virtual void DrawSystemText(int32_t x, int32_t y, const std::string& text) = 0;
};

// A HUD item of stage play.
class cThresholdEntry : public cRecord {
 public:
  cThresholdEntry() { Clear(); }
  PELMORA_RECORD_CLASS(cThresholdEntry)
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;

  int32_t m_bShown = 0;       // the item is drawn
  int32_t m_bIcon = 0;        // a 16×16 icon in place of the label
  int32_t m_nDigits = 0;      // digit places, 16 dots each
  int32_t m_bGaugeNumber = 0; // the value is also written on a gauge
  int32_t m_nLimit = 0;       // warning range limit
  int32_t m_bPercent = 0;     // the limit is a percentage of the maximum
  std::string m_strLabel;
};

// Ranking per play mode: on or off, and which of the five genres it keeps.
class cRankingModeSetting : public cRecord {
 public:
  static constexpr size_t kMinBodyBytes = 12;  // base body and the flag count
  cRankingModeSetting();
  // An entry about to be read: its flags come from the file.
  explicit cRankingModeSetting(cForReading);
  PELMORA_RECORD_CLASS(cRankingModeSetting)
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;
  void Write(cDataWriter& out) override;
  void DumpLists(cJsonWriter& json) override;

  int32_t m_bOn = 0;
  // Score, time left, clear time, HP left, SP left.
  cSafeVector<uint8_t> m_Genres;
};

// One key of "System.ini" with its default.
class cOptionKey : public cRecord {
 public:
  cOptionKey() { Clear(); }
  PELMORA_RECORD_CLASS(cOptionKey)
  void DefineFields(int32_t version) override;
  void SetNumber(const std::string& name, int32_t number);
  void SetText(const std::string& name, const std::string& text);

  int32_t m_nKind = 0;  // 0 a number, 1 a text
  int32_t m_nDefault = 0;
  std::string m_strKey;
  std::string m_strDefault;
};
template <>
struct LegacyElementSize<cOptionKey> {
  static constexpr int value = 76;
};

class cSystemData : public cRecord {
 public:
  cSystemData();
  PELMORA_RECORD_CLASS(cSystemData)
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;
  void Write(cDataWriter& out) override;
  void DumpLists(cJsonWriter& json) override;

  // The defaults of a new project (the constructor applies them).
  void SetDefaults();

  // Number #k of the field table (1..80); #29..#31 are the colour key bytes.
  int32_t Num(int k) const;
  void SetNum(int k, int32_t value);

  // Non-zero genre flags of play mode n's ranking; 0 when its ranking is off.
  int32_t CountSetFlags(int n);
  // HUD item n is in its warning range.
  bool IsWithinThreshold(int n, int32_t value, int32_t maximum);
  // Left edge of a menu of system texts first..first+count-1 centred on x.
  int32_t GetMenuLeft(int32_t x, int first, int count, bool cursor);
  // The same texts as one text of lines, as the menus draw them: each
  // "%s\n", or " %s\n" leaving the cursor symbol room.
  std::string MenuLabelText(int first, int count, bool cursor);
  // Draws that text at (x, y) with the system font of `target`.
  void DrawMenuLabels(int32_t x, int32_t y, int first, int count, bool cursor, cTextTarget& target);

  std::string m_strTitle;
  int32_t m_n[81] = {};           // #1..#80 (index 0 unused; #29..#31 live in m_byColourKey)
  uint8_t m_byColourKey[3] = {};  // #29 red, #30 green, #31 blue of the fixed colour key
  int32_t m_nDropped = 0;         // #33 (kSysDroppedNumber)

  cSafeVector<uint8_t> m_CarryOver;               // L1: 25 flags
  cSafeVector<uint8_t> m_ResetFlags;              // L2: 25 flags
  cSafeVector<cThresholdEntry> m_Hud;             // L3
  cSafeVector<uint32_t> m_StartLives;             // L4: per play mode
  cSafeVector<uint32_t> m_UnlimitedLives;         // L5: per play mode
  cSafeVector<cRankingModeSetting> m_Ranking;     // L6: per play mode
  cSafeVector<std::string> m_Texts;               // L7: 29 system texts
  cSafeVector<std::string> m_SystemSounds;        // L8: 17 sound file names
  cSafeVector<uint32_t> m_ScreenMusic;            // L9: Bgm numbers of the 4 menu screens
  cSafeVector<uint8_t> m_ScreenMusicLoop;         // L10: their keep flags
  cSafeVector<cCmd> m_TitleCmds;                  // L11
  cSafeVector<cCmd> m_WorldMapCmds;               // L12
  cSafeVector<cCmd> m_OptionCmds;                 // L13
  cSafeVector<std::string> m_RankingModeLabels;   // L14
  cSafeVector<cOptionKey> m_Keys;                 // L15: the "System.ini" keys

 private:
  void Upgrade(int32_t version);
  // Screen music numbers outside the project's Bgm list become 0.
  void CheckMusicNumbers();
};

// Field numbers the program reads by name.
enum : int {
  kSysPictureLetters = 5,  // the second game font's picture letters
  kSysFontFace = 6,
  kSysCentredLetters = 7,  // the second game font's centred letters
  kSysKeepTestFlows = 8,
  kSysTitleTextMenu = 11,  // the title's menu is text (0: the menu picture's rows)
  kSysNewGameSlotChoice = 12,
  kSysWorldCount = 16,
  kSysFixedColourKey = 28,
  kSysColourKeyRed = 29,
  kSysColourKeyGreen = 30,
  kSysColourKeyBlue = 31,
  kSysDroppedNumber = 33,  // stored only by files 221..259, then dropped
  kSysColourCycleStep = 37,
  kSysPaletteCycling = 38,
  kSysD3DDepth = 79,
  kSysDDDepth = 80,
};

// The most worlds a game may have (#16): the play record keeps an entry for
// each world, in memory and in every save. A file with more is broken: its
// read fails, saying why (SystemDataLimitProblem).
inline constexpr int32_t kSysMaxWorldCount = 1 << 20;

// Why these settings are more than any game can hold (empty: they are not).
std::string SystemDataLimitProblem(const cSystemData& system);
// Why the last read on this thread was refused by that rule (empty when it
// was not).
const std::string& LastSystemDataLimitProblem();

// The switches of stage play and the flows are read by role through the
// play layer's table of project rules (play/rules/system_switches.cpp), which
// says for each role which of these numbers it reads.

extern cSystemData SystemData;

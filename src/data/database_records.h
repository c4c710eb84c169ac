// The elements of the ten project database lists ("data\database\*.dat"):
// animation sets, animations, special character bitmaps, sword types,
// effects, graphic effects of characters, screen effects, pictures, sounds
// and music tracks. Each is a small versioned record; the gates in
// DefineFields are the first data versions whose files hold a field, and the
// Read overrides apply the upgrades of older files after the base read.
//
// Entry 0 of every list stands for "none". Numbers called `m_nNumber` were
// stored from 151/152 on but only trusted from 153 on (older ones read as 0).
#pragma once

#include <cstdint>
#include <string>

#include "data/int_pair.h"
#include "data/record.h"

class cAnimeFrame;
class cAnimeRecord;
class cAnimeSetRecord;
class cBmpCharaExcRecord;
class cSwordTypeEntry;
class cSwordTypeRecord;
class cEffectRecord;
class cCharaEffectRecord;
class cScrEffectRecord;
class cPictureRecord;
class cSoundRecord;
class cBgmRecord;

// The element size that the "err V" line of a bad index into one of the lists
// below gives, the same on every build so that log lines compare across
// machines: 36 bytes of record base, the numbers' bytes (an animation's three
// small numbers take 8), 16 bytes per text and 16 per counted list.
constexpr int LoggedRecordSize(int numberBytes, int texts, int lists) {
  return 36 + numberBytes + 16 * texts + 16 * lists;
}
#define PELMORA_LOGGED_RECORD_SIZE(T, numberBytes, texts, lists)               \
  template <>                                                                   \
  struct LegacyElementSize<T> {                                                 \
    static constexpr int value = LoggedRecordSize(numberBytes, texts, lists);   \
  }
PELMORA_LOGGED_RECORD_SIZE(cAnimeFrame, 12, 0, 0);         // 48
PELMORA_LOGGED_RECORD_SIZE(cAnimeRecord, 8, 1, 1);         // 76
PELMORA_LOGGED_RECORD_SIZE(cAnimeSetRecord, 12, 1, 1);     // 80
PELMORA_LOGGED_RECORD_SIZE(cBmpCharaExcRecord, 12, 2, 0);  // 80
PELMORA_LOGGED_RECORD_SIZE(cSwordTypeEntry, 40, 0, 0);     // 76
PELMORA_LOGGED_RECORD_SIZE(cSwordTypeRecord, 4, 3, 1);     // 104
PELMORA_LOGGED_RECORD_SIZE(cEffectRecord, 16, 2, 1);       // 100
PELMORA_LOGGED_RECORD_SIZE(cCharaEffectRecord, 24, 1, 0);  // 76
PELMORA_LOGGED_RECORD_SIZE(cScrEffectRecord, 24, 1, 0);    // 76
PELMORA_LOGGED_RECORD_SIZE(cPictureRecord, 4, 2, 0);       // 72
PELMORA_LOGGED_RECORD_SIZE(cSoundRecord, 4, 2, 0);         // 72
PELMORA_LOGGED_RECORD_SIZE(cBgmRecord, 8, 2, 0);           // 76
#undef PELMORA_LOGGED_RECORD_SIZE

// A frame of an animation.
class cAnimeFrame : public cRecord {
 public:
  cAnimeFrame() { m_nDuration = 1; }
  PELMORA_RECORD_CLASS(cAnimeFrame)
  void DefineFields(int32_t version) override;

  int32_t m_nCell = 0;      // graphic cell shown
  int32_t m_nDuration = 0;  // tenths of a second
  // Non-zero: from this frame to the end the animation cannot be interrupted.
  int32_t m_nHold = 0;
};

class cAnimeRecord : public cRecord {
 public:
  static constexpr size_t kMinBodyBytes = 12;  // base body and the frame count
  cAnimeRecord();
  // An animation about to be read: its frames come from the file.
  explicit cAnimeRecord(cForReading);
  PELMORA_RECORD_CLASS(cAnimeRecord)
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;
  void Write(cDataWriter& out) override;
  void DumpLists(cJsonWriter& json) override;

  int16_t m_nValue1 = 0;  // from 55
  uint8_t m_nValue2 = 0;  // from 55; 1 for a new animation
  int16_t m_nValue3 = 0;  // from 55
  std::string m_strName;
  cSafeVector<cAnimeFrame> m_Frames;  // a new animation: one frame {0, 1, 0}
};

// A named set of animations (a character's standing, walking, flying ...).
class cAnimeSetRecord : public cRecord {
 public:
  static constexpr size_t kMinBodyBytes = 12;
  cAnimeSetRecord();
  // A set about to be read: its animations come from the file.
  explicit cAnimeSetRecord(cForReading);
  PELMORA_RECORD_CLASS(cAnimeSetRecord)
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;
  void Write(cDataWriter& out) override;
  void DumpLists(cJsonWriter& json) override;

  int32_t m_nValue1 = 0;  // 4 for a new set
  int32_t m_nValue2 = 0;  // 8 for a new set
  int32_t m_nValue3 = 0;  // from 119
  std::string m_strName;
  cSafeVector<cAnimeRecord> m_Animes;
};

class cBmpCharaExcRecord : public cRecord {
 public:
  cBmpCharaExcRecord() { Clear(); }
  PELMORA_RECORD_CLASS(cBmpCharaExcRecord)
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;

  int32_t m_nNumber = 0;  // from 152
  int32_t m_nValue2 = 0;  // from 172
  int32_t m_nValue3 = 0;  // from 172
  std::string m_strName;
  std::string m_strText2;
};

// One entry of a sword type: ten numbers (3 and 4 from version 138).
class cSwordTypeEntry : public cRecord {
 public:
  cSwordTypeEntry() = default;
  PELMORA_RECORD_CLASS(cSwordTypeEntry)
  void DefineFields(int32_t version) override;

  int32_t m_nValues[10] = {};  // values 1..10 at indices 0..9
};

class cSwordTypeRecord : public cRecord {
 public:
  static constexpr size_t kMinBodyBytes = 12;
  cSwordTypeRecord();
  // A sword type about to be read: its entries come from the file.
  explicit cSwordTypeRecord(cForReading);
  PELMORA_RECORD_CLASS(cSwordTypeRecord)
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;
  void Write(cDataWriter& out) override;
  void DumpLists(cJsonWriter& json) override;

  int32_t m_nNumber = 0;  // from 151
  std::string m_strName;
  std::string m_strText2;
  std::string m_strText3;
  cSafeVector<cSwordTypeEntry> m_Entries;  // a new type: one entry, value 10 = 1
};

class cEffectRecord : public cRecord {
 public:
  static constexpr size_t kMinBodyBytes = 12;
  cEffectRecord();
  // An effect about to be read: its frames come from the file.
  explicit cEffectRecord(cForReading);
  PELMORA_RECORD_CLASS(cEffectRecord)
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;
  void Write(cDataWriter& out) override;
  void DumpLists(cJsonWriter& json) override;

  int32_t m_nNumber = 0;  // from 151
  int32_t m_nValue2 = 0;  // 32 for a new effect (cell width)
  int32_t m_nValue3 = 0;  // 32 for a new effect (cell height)
  int32_t m_nValue4 = 0;
  std::string m_strName;
  std::string m_strText2;
  // Frames: first value the cell, second the duration in tenths of a second.
  cSafeVector<cIntPair> m_Frames;
};

// A graphic effect of characters (CharaEffect.dat) or a screen effect
// (ScrEffect.dat): a kind and five parameters, parameter 1 being the running
// time in tenths of a second. The parameters are one declaration of five.
class cCharaEffectRecord : public cRecord {
 public:
  cCharaEffectRecord() { Clear(); }
  PELMORA_RECORD_CLASS(cCharaEffectRecord)
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;

  int32_t m_nKind = 0;
  int32_t m_nParams[5] = {};  // parameters 1..5 at indices 0..4
  std::string m_strName;
};

class cScrEffectRecord : public cRecord {
 public:
  cScrEffectRecord() { Clear(); }
  PELMORA_RECORD_CLASS(cScrEffectRecord)
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;

  int32_t m_nKind = 0;
  int32_t m_nParams[5] = {};
  std::string m_strName;
};

class cPictureRecord : public cRecord {
 public:
  cPictureRecord() { Clear(); }
  PELMORA_RECORD_CLASS(cPictureRecord)
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;

  int32_t m_nNumber = 0;  // from 151
  std::string m_strName;
  std::string m_strText2;
};

class cSoundRecord : public cRecord {
 public:
  cSoundRecord() { Clear(); }
  PELMORA_RECORD_CLASS(cSoundRecord)
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;

  int32_t m_nNumber = 0;  // from 151
  std::string m_strName;
  std::string m_strText2;
};

class cBgmRecord : public cRecord {
 public:
  cBgmRecord() { Clear(); }
  PELMORA_RECORD_CLASS(cBgmRecord)
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;

  int32_t m_nNumber = 0;  // from 151
  int32_t m_nValue2 = 0;  // from 814
  std::string m_strName;
  std::string m_strText2;
};


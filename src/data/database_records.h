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

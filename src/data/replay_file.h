// Replays: one attempt at one stage kept as the stage itself, the player's
// input frame by frame (the key log) and the play record as the attempt
// began.
//
// File form: u32 data version; the stage in its replay form (read back as a
// stage body); the key log (its record carrying the random seed, then four
// counted lists: u16 direction values, u16 button values, u32 direction
// runs, u32 button runs); the play record (files of version 173 and later).
//
// The two input words are run-length coded each on its own: a value and the
// number of consecutive frames it lasted. Frames of play are recorded, and
// the frames of a wait inside one (a message waiting for decide, a timed
// wait) with kWaitFrameMark in their button word; a log without such frames
// (written by another program) plays back with its waits answered at once. A key log is checked when read:
// every value has its run, every run is at least one frame, and both words
// cover the same number of frames; any other log is refused, so playback
// never indexes past a list or stands still on a run of zero.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/record.h"

class cStageData;
struct cSaveTime;

class cKeyLog : public cRecord {
 public:
  // Marks, in the button word, a frame recorded while the stage stood
  // still waiting (a message waiting for decide, a timed wait): the wait
  // takes it back in playback. Input never sets this bit (eight buttons).
  static constexpr uint16_t kWaitFrameMark = 0x8000;
  static constexpr size_t kMinBodyBytes = 8 + 4 * 4;  // the record and four counts
  cKeyLog() { Clear(); }
  PELMORA_RECORD_CLASS(cKeyLog)
  void DefineFields(int32_t version) override;
  bool Read(cDataReader& in) override;
  void Write(cDataWriter& out) override;
  void DumpLists(cJsonWriter& json) override;

  // The seed cleared, the lists emptied (their storage kept), playback at
  // the start.
  void Reset();
  // Playback from the first frame again.
  void Rewind();
  // Appends one frame's direction word (1 left, 2 right, 4 up, 8 down) and
  // button word (bit 0 decide, bit 1 cancel, ...).
  void AddFrame(uint16_t direction, uint16_t buttons);
  // The next frame's two words; 1 (the words untouched) once either list is
  // played out, else 0.
  int GetFrame(uint16_t& direction, uint16_t& buttons);
  // The words GetFrame would give next, without moving on; false once
  // played out.
  bool PeekFrame(uint16_t& direction, uint16_t& buttons) const;
  // Frames recorded (those of the direction word).
  uint64_t FrameCount() const;
  bool Empty() const { return m_Directions.empty(); }

  uint32_t m_nSeed = 0;
  // The data version of the replay file this log was read from (the
  // program's own for a log recorded here); not stored in the file's log.
  int32_t m_nFileVersion = kDataVersion;
  std::vector<uint16_t> m_Directions;
  std::vector<uint16_t> m_Buttons;
  std::vector<uint32_t> m_DirectionRuns;
  std::vector<uint32_t> m_ButtonRuns;
  // Playback position: the run being played and the frames played of it.
  uint32_t m_nDirectionIndex = 0;
  uint32_t m_nButtonIndex = 0;
  uint32_t m_nDirectionCount = 0;
  uint32_t m_nButtonCount = 0;
};

// The current attempt's key log (recorded, or played back) and the previous
// attempt's.
extern cKeyLog KeyLogRecord;
extern cKeyLog KeyLogPrevious;

// The whole replay file in memory: `stage` is the working stage (palettes
// and placed objects), `settings` its master copy (the settings as the
// attempt began), `snapshot` the play record as it began.
std::string MakeReplayBytes(cKeyLog& log, cStageData& stage, cStageData& settings, cRecord& snapshot);
// Writes the replay atomically (folders made as needed); false when the
// file could not be written (an older file of that name is whole).
bool SaveReplay(cKeyLog& log, const std::string& path, cStageData& stage, cStageData& settings, cRecord& snapshot);

enum class ReplayLoad : int32_t {
  kOk,
  kMissing,  // no such file
  kTooNew,   // written by a newer program
  kBroken,   // cut short, damaged, or a key log that cannot be played
};
// Reads a replay: the stage into `stage`, its settings into `running` (the
// definition and placed lists emptied), the log (rewound), and the play
// record when the file holds one. Everything is read into copies first;
// nothing changes unless the whole file was read and its stage passes the
// set-up check (StageSetUpRefusal: a stage the game would not lay out is a
// broken replay, its reason in `refusal` when given).
ReplayLoad LoadReplayBytes(const std::string& bytes, cKeyLog& log, cStageData& stage, cStageData& running,
                           cRecord& playRecord, std::string* refusal = nullptr);
// The same from the file `path`; a stage refused by the set-up check is
// said in the report log (ReportStageRefused).
ReplayLoad LoadReplay(cKeyLog& log, const std::string& path, cStageData& stage, cStageData& running,
                      cRecord& playRecord);

// The replay folder and the file extension ("rpl4_873").
inline constexpr const char* kReplayFolder = "user_data\\rpl4\\";
std::string ReplayExtension();

// "user_data\rpl4\<stage title><_cNNN_N>__YYYY__MM_DD__hh_mm.rpl4_873" for
// a stage path, the play record's three stage numbers and a local time;
// empty for an empty stage path.
std::string MakeReplayBaseName(const std::string& stagePath, int32_t n1, int32_t n2, int32_t n3,
                               const cSaveTime& time);
// `path` itself when no such file exists, else the first free of
// "<name> (2).<ext>" … "<name> (999).<ext>"; false when all are taken (the
// caller reports it: nothing may be written over).
bool MakeNumberedName(const std::string& path, std::string& out);
// The name to offer for saving the current attempt: the base name, numbered,
// made absolute. False when the stage path is empty or the numbering ran out.
bool MakeReplayFileName(std::string& out, const std::string& stagePath, int32_t n1, int32_t n2, int32_t n3,
                        const cSaveTime& time);

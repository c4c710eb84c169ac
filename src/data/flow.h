// Event flows and their commands as the editor stored them: a flow is a list
// of commands started by a trigger and guarded by conditions and key-input
// conditions; a command is one step of a kind with its parameter words and,
// for some kinds, a parameter object (movement, shot, condition list) and
// nested flows. Running them is the event flows' business; here they are
// stored, brought up from every older data version and checked against the
// project database and the palettes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/conditions.h"
#include "data/move_shot.h"
#include "data/record.h"
#include "data/shared_list.h"

class cEdFlow;

// A key-input condition of a flow.
class cFlowKey : public cRecord {
 public:
  static constexpr size_t kMinBodyBytes = 12;
  cFlowKey();
  // A key condition about to be read: its key bytes come from the file.
  explicit cFlowKey(cForReading);
  PELMORA_RECORD_CLASS(cFlowKey)
  void DefineFields(int32_t version) override;
  // The base body, then u32 n and n key bytes.
  bool Read(cDataReader& in) override;
  void Write(cDataWriter& out) override;
  void WriteAsChecked(cDataWriter& out) const override;
  void DumpLists(cJsonWriter& json) override;

  uint8_t m_nMode = 0;  // all keys / one or more / exactly one key true
  uint16_t m_nWord1 = 0;
  uint16_t m_nWord2 = 0;
  uint8_t m_nByte1 = 0;
  uint8_t m_nByte2 = 0;
  // One byte per key, non-zero = the key takes part (19 in a new condition).
  std::vector<uint8_t> m_vKeys;
};

// One command. Family 0 is a flow command (a CommandKind, the rows of
// CommandKindTable), any other family an item command (kinds of
// ItemCommandKindTable; item kind k for k = 2..24 is flow kind k + 15).
class cEdCmd : public cRecord {
 public:
  // Base body, the presence words, the flow count and the word count.
  static constexpr size_t kMinBodyBytes = 24;
  cEdCmd();
  // Copies own their parameter objects: two commands never share one.
  cEdCmd(const cEdCmd& other);
  cEdCmd& operator=(const cEdCmd& other);
  cEdCmd(cEdCmd&& other) noexcept;
  cEdCmd& operator=(cEdCmd&& other) noexcept;
  ~cEdCmd() override;
  PELMORA_RECORD_CLASS(cEdCmd)
  void DefineFields(int32_t version) override;
  // Base body, the parameter objects, nested flows, parameter words; then the
  // migrations of older files, the removal of test-play flows and the
  // database check.
  bool Read(cDataReader& in) override;
  // The database check, then everything Read reads (all three presence
  // words, always).
  void Write(cDataWriter& out) override;
  void WriteAsChecked(cDataWriter& out) const override;
  void DumpLists(cJsonWriter& json) override;

  // Resets indices outside the project database's lists, sizes the
  // parameter words to the kind's count, recomputes a sword's duration,
  // checks the shot object as its own write would, and runs the same check
  // on every nested flow.
  void ValidateDatabaseIndices();
  // Second pass once both palettes are loaded: items dropped by shots and
  // swords, summon targets and the item of the item-get command that point
  // past their palette lists; then every nested flow's commands.
  void ValidatePaletteReferences();
  // Whether those checks would change anything (they change nothing here).
  bool DatabaseChecksChange() const;
  bool PaletteChecksChange() const;

  bool IsItemCommand() const { return m_nFamily != 0; }
  // The parameter word i, 0 when the command has fewer words.
  uint32_t Word(size_t i) const { return i < m_vParams.size() ? m_vParams[i] : 0; }

  uint8_t m_nFamily = 0;       // 0 flow command, non-zero item command
  uint8_t m_nKind = 0;         // index into the family's kind table
  std::string m_strText;       // the code of the code-execution kind
  uint16_t m_nDuration = 0;    // a sword's duration, recomputed by the check
  uint16_t m_nWord = 0;        // kept for the flow runtime
  uint8_t m_nTogether = 0;     // 1: the next command starts in the same frame
  uint16_t m_nSound = 0;       // index into the database's Sound list
  uint8_t m_nOption = 0;       // 1 in a new command
  uint16_t m_nAnime = 0;       // index into the database's Anime list

  std::vector<uint32_t> m_vParams;  // as many as the kind's table entry says
  std::shared_ptr<cEdMove> m_pMove;
  std::shared_ptr<cEdShot> m_pShot;
  std::shared_ptr<cCondList> m_pCondList;
  std::vector<cEdFlow> m_vFlows;  // nested flows

 private:
  void CopyContents(const cEdCmd& other);
  void Migrate(int32_t version);
  // The database check at the end of a read.
  void CheckOwnDatabaseIndices();
};

class cEdFlow : public cRecord {
 public:
  // Base body and the three list counts.
  static constexpr size_t kMinBodyBytes = 20;
  cEdFlow();
  PELMORA_RECORD_CLASS(cEdFlow)
  void DefineFields(int32_t version) override;
  // Base body, conditions, key conditions, commands; then the trigger
  // renumbering of older files, the name emptied and the database check.
  bool Read(cDataReader& in) override;
  // The database check, then the base body and the three lists.
  void Write(cDataWriter& out) override;
  void WriteAsChecked(cDataWriter& out) const override;
  void DumpLists(cJsonWriter& json) override;

  // The database check of every command (conditions and key conditions
  // name nothing to check).
  void ValidateDatabaseIndices();
  void ValidatePaletteReferences();
  bool DatabaseChecksChange() const;
  bool PaletteChecksChange() const;
  // Group 0, trigger 0, exclusive flag 0 and no conditions, key conditions
  // or commands: a flow the editor left blank.
  bool IsEmpty() const;

  std::string m_strName;      // from 676; emptied after reading
  uint8_t m_nGroup = 0;       // a trigger raised for group g >= 1 starts only that group
  uint8_t m_nExclusive = 0;   // exclusive-group flag set when the flow starts
  uint8_t m_nTestPlay = 0;    // non-zero: only in the editor's test play (see KeepTestPlayFlows)
  uint8_t m_nCondMode = 0;    // all / any of the conditions
  uint8_t m_nOnlyOnce = 0;    // the conditions are tested only once
  uint8_t m_nTrigger = 0;     // a FlowTrigger (labels.h), 0..22
  uint8_t m_nTargetOther = 0; // from 762: the object that raised the trigger becomes a target
  uint8_t m_nTargetSlot = 0;  // from 767: which target slot receives it
  uint8_t m_nKeyTolerance = 0;
  uint8_t m_nKeyOption = 0;

  std::vector<cCond> m_vConds;
  std::vector<cFlowKey> m_vKeys;
  std::vector<cEdCmd> m_vCmds;
};

// Counted lists of flows and of commands (new default elements, then each
// element's Read), and their writers (the elements' checks have run: the
// holder's own check covers them).
bool ReadFlowList(cDataReader& in, std::vector<cEdFlow>& list);
void WriteFlowList(cDataWriter& out, const std::vector<cEdFlow>& list);
bool ReadCommandList(cDataReader& in, std::vector<cEdCmd>& list);
void WriteCommandList(cDataWriter& out, const std::vector<cEdCmd>& list);

// The checks of the flows of a character type and of the commands of an item
// type, over lists that types may share (a change copies a shared list first,
// once per pass of checks): the database checks (a character's blank flows
// removed too), and the palette checks of the second pass.
void CheckFlowDatabaseIndices(cSharedList<cEdFlow>& flows);
// Only the removal of blank flows: after a character's read, when its flows
// (read or inherited) have had their database checks.
void EraseBlankFlows(cSharedList<cEdFlow>& flows);
void CheckFlowPaletteReferences(cSharedList<cEdFlow>& flows);
void CheckCommandDatabaseIndices(cSharedList<cEdCmd>& commands);
void CheckCommandPaletteReferences(cSharedList<cEdCmd>& commands);

// Flows marked for test play are kept when the editor started the game or
// the system data's flow switch (field 8) is on; otherwise they are removed
// after loading.
bool KeepTestPlayFlows();
void EraseTestPlayFlows(std::vector<cEdFlow>& flows);

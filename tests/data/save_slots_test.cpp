#include "data/save_slots.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>

#include "data/system_data.h"
#include "support/kill_while_writing.h"
#include "support/sandbox.h"
#include "support/test_files.h"

namespace {

// A play record as the slot files see it: lives, continues and a payload
// list long enough that a write takes a while.
class cSlotRecord : public cSaveRecordBase {
 public:
  cSlotRecord() { Clear(); }
  PELMORA_RECORD_CLASS(cSlotRecord)
  void DefineFields(int32_t version) override {
    ClearDeclarations();
    Declare(m_nContinues);
    Declare(m_nLives);
  }
  bool Read(cDataReader& in) override {
    return cRecord::Read(in) && m_SaveTime.Read(in) && ReadValueList(in, m_Payload);
  }
  void Write(cDataWriter& out) override {
    cRecord::Write(out);
    m_SaveTime.Write(out);
    WriteValueList(out, m_Payload);
  }
  void ApplyLivesRule(int32_t unlimited, int32_t startLives) override {
    if (unlimited)
      m_nContinues = m_nLives = kUnlimitedLives;
    else if (m_nLives == kUnlimitedLives)
      m_nLives = startLives;
  }
  int32_t m_nContinues = 0;
  int32_t m_nLives = 0;
  std::vector<int32_t> m_Payload;
};

cSlotRecord Filled(int32_t value, size_t words) {
  cSlotRecord r;
  r.m_nLives = value;
  r.m_Payload.assign(words, value);
  return r;
}

const cSaveTime kTime{2023, 11, 2, 14, 9, 5, 59, 123};

// Restores the system data's lives settings after a test.
struct ScopedLivesSettings {
  cSafeVector<uint32_t> start = SystemData.m_StartLives, unlimited = SystemData.m_UnlimitedLives;
  ~ScopedLivesSettings() {
    SystemData.m_StartLives = start;
    SystemData.m_UnlimitedLives = unlimited;
  }
};

TEST(SaveSlotsTest, SlotFileNames) {
  EXPECT_EQ(MakeSaveSlotFileName(0), "user_data\\story\\Story01.dat");
  EXPECT_EQ(MakeSaveSlotFileName(9), "user_data\\story\\Story10.dat");
  EXPECT_EQ(ChallengeProgressFileName(), "user_data\\challenge\\Challenge.dat");
}

TEST(SaveSlotsTest, SavedSlotsListAndLoad) {
  Sandbox box;
  ScopedLivesSettings settings;
  SystemData.m_StartLives.assign(3, 0);
  SystemData.m_StartLives[kPlayModeStory] = 5;
  SystemData.m_UnlimitedLives.assign(3, 0);

  cSaveSlotList list;
  cSlotRecord record = Filled(kUnlimitedLives, 10);
  ASSERT_EQ(SaveSlot(record, list, 9, &kTime), SlotResult::kOk);
  EXPECT_EQ(list.Entry(9)->nState, SlotState::kUsed);
  EXPECT_EQ(FormatSaveTime(*list.Entry(9)), "2023/11/14 09:05\n");
  EXPECT_EQ(FormatSaveTime(*list.Entry(0)), "");
  EXPECT_FALSE(box.Read("user_data/story/Story10.dat").empty());

  cSaveSlotList rebuilt;
  rebuilt.Rebuild(cSlotRecord());
  for (int i = 0; i < kSaveSlotCount; ++i) EXPECT_EQ(rebuilt.Entry(i)->bUsed, i == 9 ? 1 : 0) << i;
  EXPECT_EQ(rebuilt.Entry(9)->time, kTime);

  cSlotRecord loaded;
  ASSERT_EQ(LoadSlot(loaded, 9), SlotResult::kOk);
  EXPECT_EQ(loaded.m_Payload, record.m_Payload);
  // Unlimited lives are not granted by the story mode: its start value.
  EXPECT_EQ(loaded.m_nLives, 5);
  SystemData.m_UnlimitedLives[kPlayModeStory] = 1;
  ASSERT_EQ(LoadSlot(loaded, 9), SlotResult::kOk);
  EXPECT_EQ(loaded.m_nContinues, kUnlimitedLives);

  EXPECT_EQ(LoadSlot(loaded, 3), SlotResult::kMissing);
  for (int bad : {-1, kSaveSlotCount, 1 << 30}) {
    EXPECT_EQ(SaveSlot(record, list, bad, &kTime), SlotResult::kBadSlot);
    EXPECT_EQ(LoadSlot(loaded, bad), SlotResult::kBadSlot);
  }
  EXPECT_TRUE(box.Read("user_data/story/Story00.dat").empty());
}

TEST(SaveSlotsTest, UnreadableSlotsShowAsTakenAndLeaveTheRecordAlone) {
  Sandbox box;
  cSlotRecord good = Filled(3, 100);
  good.m_SaveTime = kTime;
  const std::string bytes = good.SaveToBytes();
  std::string tooNew = bytes;
  tooNew[0] = static_cast<char>(0xFF);
  std::string lying = bytes;
  lying.replace(lying.size() - 100 * 4 - 4, 4, "\xFF\xFF\xFF\xFF");
  const std::string files[] = {"", bytes.substr(0, 3), bytes.substr(0, bytes.size() - 1), tooNew, lying,
                               std::string(5000, '\xFF')};
  for (size_t i = 0; i < std::size(files); ++i) box.Write("user_data/story/Story0" + std::to_string(i + 1) + ".dat", files[i]);

  cSaveSlotList list;
  list.Rebuild(cSlotRecord());
  for (size_t i = 0; i < std::size(files); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(list.Entry(static_cast<int>(i))->nState, SlotState::kBroken);
    EXPECT_EQ(FormatSaveTime(*list.Entry(static_cast<int>(i))), "----/--/-- --:--\n");
    cSlotRecord record = Filled(42, 2);
    EXPECT_NE(LoadSlot(record, static_cast<int>(i)), SlotResult::kOk);
    EXPECT_EQ(record.m_nLives, 42);
    EXPECT_EQ(record.m_Payload.size(), 2u);
  }
  cSlotRecord record;
  EXPECT_EQ(LoadSlot(record, 3), SlotResult::kTooNew);
  EXPECT_EQ(list.Entry(7)->nState, SlotState::kEmpty);
}

TEST(SaveSlotsTest, UnreadableChallengeProgressIsKeptAside) {
  Sandbox box;
  box.Write("user_data/challenge/Challenge.dat", "ju");
  cSlotRecord record;
  EXPECT_EQ(LoadChallengeProgress(record), SlotResult::kBroken);
  EXPECT_EQ(box.Read("user_data/challenge/Challenge.dat.bak"), "ju");
  EXPECT_EQ(LoadChallengeProgress(record), SlotResult::kMissing);
  cSlotRecord saved = Filled(7, 4);
  ASSERT_EQ(SaveChallengeProgress(saved), SlotResult::kOk);
  ASSERT_EQ(LoadChallengeProgress(record), SlotResult::kOk);
  EXPECT_EQ(record.m_Payload, saved.m_Payload);
  EXPECT_EQ(box.Read("user_data/challenge/Challenge.dat.bak"), "ju");
}

// Runs `body` in a child process and returns its exit status (-1 when it
// did not exit normally).
template <class Body>
int InChild(Body body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SaveSlotsTest, AFailedWriteLeavesTheOldSlotAndTheListAlone) {
  Sandbox box;
  cSaveSlotList list;
  cSlotRecord old = Filled(1, 1000);
  ASSERT_EQ(SaveSlot(old, list, 0, &kTime), SlotResult::kOk);
  const std::string before = box.Read("user_data/story/Story01.dat");
  // A disk that fills up half-way through the file.
  const int status = InChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    cSaveSlotList childList;
    cSlotRecord big = Filled(2, 5000);
    cSaveTime later = kTime;
    later.wYear = 2030;
    const bool failed = SaveSlot(big, childList, 0, &later) == SlotResult::kWriteFailed;
    return failed && childList.Entry(0)->bUsed == 0 && big.m_SaveTime == cSaveTime{} ? 0 : 1;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(box.Read("user_data/story/Story01.dat"), before);
}

TEST(SaveSlotsTest, AKilledSaveLeavesAWholeSlot) {
  Sandbox box;
  ScopedLivesSettings settings;
  SystemData.m_UnlimitedLives.assign(3, 0);
  cSaveSlotList list;
  const cSlotRecord a = Filled(1, 200000);
  const cSlotRecord b = Filled(2, 150000);
  cSlotRecord first = a;
  ASSERT_EQ(SaveSlot(first, list, 4, &kTime), SlotResult::kOk);
  cSaveSlotList childList;
  cSlotRecord records[2] = {b, a};
  KillWhileWriting(
      4, [&](int version) { SaveSlot(records[version], childList, 4, &kTime); },
      [&](int round) {
        cSlotRecord loaded;
        ASSERT_EQ(LoadSlot(loaded, 4), SlotResult::kOk) << round;
        const bool isA = loaded.m_Payload == a.m_Payload && loaded.m_nLives == 1;
        const bool isB = loaded.m_Payload == b.m_Payload && loaded.m_nLives == 2;
        EXPECT_TRUE(isA || isB) << round;
      });
}

}  // namespace

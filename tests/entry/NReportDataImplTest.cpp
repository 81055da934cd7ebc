// The report-data channel: messages through the shared-memory queue from many writers at once,
// the fall-back to result files when the queue stays full, and the file's name and bytes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "entry/NReportDataImpl.h"
#include "platform/NMisc.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformSystem.h"
#include "support/ForkedChild.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

namespace {

using cvdt::test::ForkedChild;
using cvdt::test::TestMachine;
using report::ReportMessage;
using report::ReportQueue;
using Clock = std::chrono::steady_clock;

constexpr const char* kKey = "WS0000000001";
constexpr const char* kDateTime = "20260102030405";

// The reporting component's side of the queue, as small as a test needs.
class TestQueue {
 public:
  TestQueue() {
    EXPECT_TRUE(m_evtFilled.create("Global\\Global\\CVReportDataImplCommand_IPC_evt_filled", false, false));
    EXPECT_TRUE(m_evtAvail.create("Global\\Global\\CVReportDataImplCommand_IPC_evt_avail", false, false));
    EXPECT_TRUE(m_shm.create("Global\\Global\\CVReportDataImplCommand_IPC_mem", sizeof(ReportQueue)));
    m_pQueue = static_cast<ReportQueue*>(m_shm.map());
    for (uint32_t i = 1; i < report::kSlotCount; ++i)
      m_pQueue->m_slots[i].m_nNext = i + 1 < report::kSlotCount ? i + 1 : 0;
    plat::interlockedExchange(&m_pQueue->m_nFreeHead, 1);
  }

  bool waitFilled(uint32_t ms) { return m_evtFilled.wait(ms); }

  // Takes the filled list in arrival order. Its slots rest for restMs before they go back on
  // the free list, as the host's collector lets them rest, so that a writer that read the old
  // head cannot take a slot that is in use.
  std::vector<ReportMessage> drain(uint32_t restMs = 100) {
    std::vector<uint32_t> slots;
    for (uint32_t i = plat::interlockedExchange(&m_pQueue->m_nFilledHead, 0);
         i != 0 && slots.size() < report::kSlotCount; i = m_pQueue->m_slots[i].m_nNext)
      slots.push_back(i);
    EXPECT_LT(slots.size(), report::kSlotCount) << "the filled list runs in a circle";
    std::reverse(slots.begin(), slots.end());
    std::vector<ReportMessage> messages;
    auto due = Clock::now() + std::chrono::milliseconds(restMs);
    for (uint32_t i : slots) {
      EXPECT_EQ(m_pQueue->m_slots[i].m_nUsed, sizeof(ReportMessage));
      messages.emplace_back();
      std::memcpy(&messages.back(), m_pQueue->m_slots[i].m_data, sizeof(ReportMessage));
      m_resting.emplace_back(i, due);
    }
    giveBackRested();
    return messages;
  }
  bool resting() const { return !m_resting.empty(); }

  // The distinct slots on the free list.
  std::set<uint32_t> freeSlots() const {
    std::set<uint32_t> seen;
    for (uint32_t i = m_pQueue->m_nFreeHead; i != 0 && seen.insert(i).second;
         i = m_pQueue->m_slots[i].m_nNext) {
    }
    return seen;
  }
  uint32_t filledHead() const { return m_pQueue->m_nFilledHead; }

 private:
  void giveBackRested() {
    bool gave = false;
    while (!m_resting.empty() && m_resting.front().second <= Clock::now()) {
      uint32_t slot = m_resting.front().first;
      m_resting.erase(m_resting.begin());
      uint32_t head = plat::interlockedRead(&m_pQueue->m_nFreeHead);
      do {
        m_pQueue->m_slots[slot].m_nNext = head;
      } while ((head = plat::interlockedCompareExchange(&m_pQueue->m_nFreeHead, slot, head)) !=
               m_pQueue->m_slots[slot].m_nNext);
      gave = true;
    }
    if (gave) m_evtAvail.set();
  }


  plat::NamedEvent m_evtFilled;
  plat::NamedEvent m_evtAvail;
  plat::SharedMemory m_shm;
  ReportQueue* m_pQueue = nullptr;
  std::vector<std::pair<uint32_t, Clock::time_point>> m_resting;
};

const HostEnvironment& environment(const char* equipId) {
  static HostEnvironment env;  // 110 KB: not on the stack
  std::memset(&env, 0, sizeof env);
  std::memcpy(env.m_szEquipId, equipId, strnlen(equipId, sizeof env.m_szEquipId - 1));
  return env;
}

std::string resultFolder(const TestMachine& machine) { return machine.config().agentFolder + "\\dataV2"; }

std::string resultName(uint32_t cmdId, const char* key = kKey, const char* dateTime = kDateTime) {
  char name[64];
  std::snprintf(name, sizeof name, "M01_%s_%s_%012u", key, dateTime, cmdId);
  return name;
}

// The exact bytes of a result file holding line.
std::string resultBytes(const std::u16string& line) {
  std::string bytes("\xFF\xFE", 2);
  for (char16_t unit : line + u'\0') {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

long long msSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Sends count command results with ids from first on; returns how many were not queued.
int sendMany(uint32_t first, int count) {
  int failed = 0;
  for (int i = 0; i < count; ++i) {
    uint32_t id = first + static_cast<uint32_t>(i);
    std::string detail = "detail of " + std::to_string(id);
    NReportDataImpl channel;
    if (channel.SendReportDataRequest(4386, id, "", "", kDateTime, "060", detail.c_str()) != 1) ++failed;
  }
  return failed;
}

TEST(NReportDataImplTest, ConcurrentWritersInThreadsAndProcessesEachArriveOnce) {
  TestMachine machine([](auto&, auto& options) { options.traceLevel = "1"; });
  TestQueue queue;
  constexpr int kPerWriter = 300;
  std::vector<ForkedChild> children;
  for (uint32_t c = 0; c < 2; ++c)  // before any thread starts
    children.emplace_back([c] { return sendMany(100000 * (c + 1), kPerWriter) == 0 ? 0 : 1; });
  std::atomic<int> failed{0};
  std::vector<std::thread> writers;
  for (uint32_t t = 0; t < 4; ++t)
    writers.emplace_back([&failed, t] { failed += sendMany(1000000 * (t + 1), kPerWriter); });

  std::map<uint32_t, int> arrivals;
  size_t expected = 6 * kPerWriter;
  auto deadline = Clock::now() + std::chrono::seconds(60);
  while ((arrivals.size() < expected || queue.resting()) && Clock::now() < deadline) {
    queue.waitFilled(20);  // or a resting slot falls due
    for (const ReportMessage& message : queue.drain()) {
      ++arrivals[message.m_record.m_nCmdId];
      EXPECT_EQ(message.m_nCode, 4386u);
      EXPECT_EQ(message.m_nLength, 3996u);
      EXPECT_STREQ(message.m_record.m_szDetail,
                   ("detail of " + std::to_string(message.m_record.m_nCmdId)).c_str());
    }
  }
  for (auto& writer : writers) writer.join();
  for (ForkedChild& child : children) EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(failed, 0);
  ASSERT_EQ(arrivals.size(), expected);
  for (const auto& [id, count] : arrivals) EXPECT_EQ(count, 1) << id;
  EXPECT_EQ(queue.filledHead(), 0u);
  EXPECT_EQ(queue.freeSlots().size(), report::kSlotCount - 1);
}

TEST(NReportDataImplTest, TheMessageCarriesEveryFieldCutToItsWidth) {
  TestMachine machine;
  TestQueue queue;
  std::string longText(1500, 'x');
  NReportDataImpl channel;
  ASSERT_EQ(channel.SendReportDataRequest(4386, 7, longText.c_str(), "b", longText.c_str(),
                                          longText.c_str(), longText.c_str()), 1);
  ASSERT_EQ(channel.SendReportDataRequest(4386, 8, nullptr, nullptr, kDateTime, "060", nullptr), 1);
  std::vector<ReportMessage> messages = queue.drain(0);
  ASSERT_EQ(messages.size(), 2u);

  const report::ReportRecord& cut = messages[0].m_record;
  EXPECT_EQ(cut.m_nCmdId, 7u);
  EXPECT_EQ(std::string(cut.m_szTextA), std::string(259, 'x'));
  EXPECT_STREQ(cut.m_szTextB, "b");
  EXPECT_EQ(std::string(cut.m_szDateTime), std::string(30, 'x'));
  EXPECT_EQ(std::string(cut.m_szResultCode), std::string(30, 'x'));
  EXPECT_EQ(std::string(cut.m_szDetail), std::string(1024, 'x'));
  const auto* raw = reinterpret_cast<const unsigned char*>(&messages[0]);
  EXPECT_TRUE(std::all_of(raw + 8 + 1611, raw + sizeof(ReportMessage), [](unsigned char b) { return b == 0; }));

  const report::ReportRecord& plain = messages[1].m_record;
  EXPECT_EQ(plain.m_nCmdId, 8u);
  EXPECT_STREQ(plain.m_szDateTime, kDateTime);
  EXPECT_STREQ(plain.m_szResultCode, "060");
  EXPECT_STREQ(plain.m_szTextA, "");
  EXPECT_STREQ(plain.m_szDetail, "");
}

// A queue that stays full for two seconds sends the result to a file, in a folder made on the
// way, when the caller allows it.
TEST(NReportDataImplTest, AFullQueueThatDoesNotDrainFallsBackToTheFile) {
  TestMachine machine([](auto&, auto& options) { options.traceLevel = "3"; });
  NMisc::deleteTree(resultFolder(machine).c_str());
  TestQueue queue;
  for (uint32_t id = 1; id < report::kSlotCount; ++id) {
    NReportDataImpl channel;
    ASSERT_EQ(channel.SendReportDataRequest(4386, id, "", "", kDateTime, "060", ""), 1) << id;
  }
  auto start = Clock::now();
  EXPECT_EQ(NReportDataImpl::reportCmdResult(environment(kKey), 4386, 500, "", "", kDateTime, "941",
                                             "ban", 1),
            0);
  long long elapsed = msSince(start);
  EXPECT_GE(elapsed, 1900);
  EXPECT_LT(elapsed, 5000);
  EXPECT_EQ(machine.readFile(resultFolder(machine) + "\\" + resultName(500)), resultBytes(u"500|@941|@ban\n"));
  EXPECT_THAT(machine.traceLog(), HasSubstr("write wait ERROR () \n"));
  EXPECT_EQ(
      NReportDataImpl::reportCmdResult(environment(kKey), 4386, 9, "", "", kDateTime, "060", "", 0),
      0);
  EXPECT_EQ(machine.readFile(resultFolder(machine) + "\\" + resultName(9)), "<missing>");

  // A reader that frees slots while a writer waits lets the writer through.
  std::thread reader([&] { queue.drain(0); });
  EXPECT_EQ(NReportDataImpl::reportCmdResult(environment(kKey), 4386, 501, "", "", kDateTime, "060", "", 1), 1);
  reader.join();
  std::vector<ReportMessage> last = queue.drain(0);
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(last[0].m_record.m_nCmdId, 501u);
  EXPECT_EQ(machine.readFile(resultFolder(machine) + "\\" + resultName(501)), "<missing>");
  EXPECT_EQ(queue.freeSlots().size(), report::kSlotCount - 1);
}

// Result files: the line is read in the OEM code page (on a 1252/437 machine an ANSI "é"
// arrives as the 437 character at that byte); the name's parts; what is refused.
TEST(NReportDataImplTest, ResultFileNamesLinesAndRefusals) {
  TestMachine machine;
  std::string folder = resultFolder(machine);
  NMisc::saveCmdResultFile_V2(folder.c_str(), kKey, kDateTime, 6, "060", "caf\xE9");
  EXPECT_EQ(machine.readFile(folder + "\\" + resultName(6)), resultBytes(u"6|@060|@caf\u0398\n"));
  struct Row {
    uint32_t cmdId;
    const char* key;
    const char* dateTime;
    const char* name;  // nullptr: nothing written
    std::u16string line;
  };
  const Row rows[] = {
      {7, kKey, kDateTime, "M01_WS0000000001_20260102030405_000000000007", u"7|@060|@x\n"},
      {4294967295u, kKey, kDateTime, "M01_WS0000000001_20260102030405_004294967295",
       u"-1|@060|@x\n"},
      // Only the total counts: 11 + 15 characters still make a 44-character name.
      {8, "WS000000001", "202601020304050", "M01_WS000000001_202601020304050_000000000008",
       u"8|@060|@x\n"},
      {9, "WS1", kDateTime, nullptr, u""},
  };
  for (const Row& row : rows) {
    NString name = NMisc::saveCmdResultFile_V2(folder.c_str(), row.key, row.dateTime, row.cmdId, "060", "x");
    if (row.name == nullptr) {
      EXPECT_TRUE(name.isEmpty()) << row.cmdId;
      EXPECT_EQ(machine.readFile(folder + "\\" + resultName(row.cmdId, row.key, row.dateTime)), "<missing>");
    } else {
      EXPECT_STREQ(name.text(), row.name);
      EXPECT_EQ(machine.readFile(folder + "\\" + row.name), resultBytes(row.line));
    }
  }

  // An existing file of the name is overwritten.
  NMisc::saveCmdResultFile_V2(folder.c_str(), kKey, kDateTime, 7, "072", "");
  EXPECT_EQ(machine.readFile(folder + "\\" + resultName(7)), resultBytes(u"7|@072|@\n"));

  // SaveToFFDR writes command results with an id only.
  report::ReportRecord record{};
  NReportDataImpl::buildRecord(record, 11, "", "", kDateTime, "060", "");
  NReportDataImpl::SaveToFFDR(4387, kKey, record);
  EXPECT_EQ(machine.readFile(folder + "\\" + resultName(11)), "<missing>");
  NReportDataImpl::buildRecord(record, 0, "", "", kDateTime, "060", "");
  NReportDataImpl::SaveToFFDR(4386, kKey, record);
  EXPECT_EQ(machine.readFile(folder + "\\" + resultName(0)), "<missing>");
}

}  // namespace

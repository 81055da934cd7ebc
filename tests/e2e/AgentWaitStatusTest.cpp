// `wait-status` of `cvdt-host agent` against automatic state blocks the test publishes the way
// the worker does (the counter value first, then the block), with the agent's watcher looking
// at the record between two writes. What an earlier run left is not news until this run
// publishes; then a status equal to the earlier run's counts, and a block written under a
// counter the watcher has already read (the last publication of a pass, when a look fell
// between its counter and its block) is seen all the same.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "AgentProcess.h"
#include "autodist/ADistItem.h"
#include "platform/PlatformRegistry.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using namespace std::chrono_literals;

struct Shown {
  int32_t id;
  const char* status;
};

// A block with the items and the status record of the last one.
std::unique_ptr<ADistSharedState> blockOf(const std::vector<Shown>& items, const char* recordStatus) {
  auto block = std::make_unique<ADistSharedState>();
  std::memset(block.get(), 0, sizeof(ADistSharedState));
  block->m_nItemCount = static_cast<int32_t>(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    block->m_items[i].m_nDistId = items[i].id;
    std::strcpy(block->m_items[i].m_szName, ("Item" + std::to_string(items[i].id)).c_str());
    std::strcpy(block->m_items[i].m_szStatus, items[i].status);
  }
  block->m_status.m_nDistId = items.back().id;
  std::strcpy(block->m_status.m_szStatus, recordStatus);
  block->m_status.m_nPercent = -1;
  return block;
}

plat::RegKey openStateKey() {
  plat::RegKey key;
  EXPECT_EQ(plat::RegKey::create(plat::RegRoot::LocalMachine, "SOFTWARE\\Plumbex\\Corvane",
                                 plat::kKeyAllAccess | plat::kKeyWow64_32Key, key), 0u);
  return key;
}

void writeCounter(const std::string& counter) {
  ASSERT_EQ(openStateKey().setValue(kADistDlgCounterValue, plat::kRegSz, counter.c_str(), counter.size() + 1), 0u);
}

void writeBlock(const ADistSharedState& block) {
  ASSERT_EQ(openStateKey().setValue(kADistDlgRecordValue, plat::kRegBinary, &block, sizeof block), 0u);
}

class AgentWaitStatusTest : public testing::Test {
 protected:
  // Sends a line (none when empty) and waits until the agent printed one holding expected
  // since the last line sent; false at the deadline.
  bool sendAndWait(const std::string& line, const std::string& expected) {
    if (!line.empty()) {
      m_nSentAt = m_agent->linesFrom(0).size();
      m_agent->send(line);
    }
    size_t from = m_nSentAt;
    auto deadline = std::chrono::steady_clock::now() + 60s;
    for (;;) {
      std::vector<std::string> lines = m_agent->linesFrom(from);
      for (const std::string& printed : lines)
        if (printed.find(expected) != std::string::npos) return true;
      from += lines.size();
      if (std::chrono::steady_clock::now() >= deadline || m_agent->outputEnded()) return false;
      m_agent->waitForMoreThan(from, 100ms);
    }
  }
  std::string output() const {
    std::string text;
    for (const std::string& line : m_agent->linesFrom(0)) text += line + "\n";
    return text;
  }

  cvdt::test::TestMachine m_machine;
  std::unique_ptr<cvdt::test::AgentProcess> m_agent;
  size_t m_nSentAt = 0;  // lines printed before the last line sent
};

TEST_F(AgentWaitStatusTest, CountsWhatThisRunPublishedUnderAnyCounterButNotAnEarlierRunsState) {
  // An earlier run ended with both items complete.
  ASSERT_NO_FATAL_FAILURE(writeCounter("7"));
  ASSERT_NO_FATAL_FAILURE(writeBlock(*blockOf({{202, "060"}, {201, "060"}}, "060")));
  m_agent = std::make_unique<cvdt::test::AgentProcess>(std::vector<std::string>{});
  ASSERT_TRUE(sendAndWait("", "agent: module")) << output();
  ASSERT_TRUE(sendAndWait("wait-status 201 060 0", "wait-status 201 060: ")) << output();
  EXPECT_THAT(output(), HasSubstr("wait-status 201 060: NOT SEEN"))
      << "the earlier run's state counted as news\n"
      << output();

  // A new pass: its first publications, which the watcher prints. The counter comes first; a
  // look before the block follows sees the earlier run's block, which is not this run's news.
  ASSERT_NO_FATAL_FAILURE(writeCounter("0"));
  std::this_thread::sleep_for(300ms);
  ASSERT_TRUE(sendAndWait("wait-status 201 060 0", "wait-status 201 060: ")) << output();
  EXPECT_THAT(output(), Not(HasSubstr("wait-status 201 060: seen")))
      << "the earlier run's block counted as news once the counter moved\n"
      << output();
  ASSERT_NO_FATAL_FAILURE(writeBlock(*blockOf({{202, "060"}, {201, "010"}}, "071")));
  ASSERT_TRUE(sendAndWait("", "adist-item {\"dist\":201,\"name\":\"Item201\",\"status\":\"010\"}")) << output();
  ASSERT_NO_FATAL_FAILURE(writeCounter("1"));
  ASSERT_NO_FATAL_FAILURE(writeBlock(*blockOf({{202, "060"}, {201, "070"}}, "075")));
  ASSERT_TRUE(sendAndWait("", "adist {\"dist\":201,\"status\":\"075\"")) << output();
  // The last publication's block under the counter the watcher already took with the block
  // before it, as when a look falls between the worker's two writes: nothing follows it.
  ASSERT_NO_FATAL_FAILURE(writeBlock(*blockOf({{202, "060"}, {201, "060"}}, "060")));
  ASSERT_TRUE(sendAndWait("wait-status 201 060 30", "wait-status 201 060: ")) << output();
  EXPECT_THAT(output(), HasSubstr("wait-status 201 060: seen"));
  EXPECT_THAT(output(), HasSubstr("adist {\"dist\":201,\"status\":\"060\""));
  // Item 202 was found installed again: it showed 060 all through this pass, as the earlier
  // run had left it.
  ASSERT_TRUE(sendAndWait("wait-status 202 060 5", "wait-status 202 060: ")) << output();
  EXPECT_THAT(output(), HasSubstr("wait-status 202 060: seen"));
  EXPECT_EQ(m_agent->finish(60s), 0) << output();
}

}  // namespace

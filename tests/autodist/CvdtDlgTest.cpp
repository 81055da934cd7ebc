// cvdtdlg.exe, the automatic progress dialog: its block reader on blocks the test writes into
// the registry, its refusal without the launch token, and its redraw when the state changes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "ADistStateReader.h"
#include "TerminalStateView.h"
#include "autodist/ADistItem.h"
#include "platform/PlatformRegistry.h"
#include "support/CommandOutput.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

namespace cvdt::test {
namespace {

void publish(const ADistSharedState& block, const char* counter, size_t size = sizeof(ADistSharedState)) {
  plat::RegKey key;
  ASSERT_EQ(plat::RegKey::create(plat::RegRoot::LocalMachine, "SOFTWARE\\Plumbex\\Corvane",
                                 plat::kKeyAllAccess | plat::kKeyWow64_32Key, key), 0u);
  ASSERT_EQ(key.setValue(kADistDlgCounterValue, plat::kRegSz, counter, std::strlen(counter) + 1), 0u);
  ASSERT_EQ(key.setValue(kADistDlgRecordValue, plat::kRegBinary, &block, size), 0u);
}

std::unique_ptr<ADistSharedState> sampleBlock() {
  auto block = std::make_unique<ADistSharedState>();
  std::memset(block.get(), 0, sizeof(ADistSharedState));
  block->m_nItemCount = 3;
  const struct { int id; const char* name; const char* status; } items[] = {
      {7, "Tools", "060"}, {8, "Office Suite", "075"}, {9, "Viewer", "010"}};
  for (int i = 0; i < 3; ++i) {
    block->m_items[i].m_nDistId = items[i].id;
    std::strcpy(block->m_items[i].m_szName, items[i].name);
    std::strcpy(block->m_items[i].m_szStatus, items[i].status);
  }
  block->m_status.m_nDistId = 8;
  std::strcpy(block->m_status.m_szStatus, "075");
  std::strcpy(block->m_status.m_szDetail, "sub\\b.bin");
  block->m_status.m_nPercent = 42;
  return block;
}

TEST(CvdtDlgTest, ReaderShowsEveryItemAndTheCurrentStatus) {
  TestMachine machine;
  ADistStateReader reader;
  ADistDialogState state;
  EXPECT_FALSE(reader.read(state));  // nothing published yet

  auto block = sampleBlock();
  // A name that fills its whole field without a terminating zero is cut at the field's end.
  std::memset(block->m_items[2].m_szName, 'n', sizeof block->m_items[2].m_szName);
  publish(*block, "17");
  ASSERT_TRUE(reader.read(state));
  EXPECT_EQ(state.counter, 17u);
  ASSERT_EQ(state.items.size(), 3u);
  EXPECT_EQ(state.items[1].name, "Office Suite");
  EXPECT_EQ(state.items[2].name, std::string(65, 'n'));
  EXPECT_EQ(state.currentId, 8);
  EXPECT_EQ(state.detail, "sub\\b.bin");
  EXPECT_EQ(state.percentOf(state.items[0]), 100);
  EXPECT_EQ(state.percentOf(state.items[1]), 42);
  EXPECT_EQ(state.percentOf(state.items[2]), -1);
  uint32_t counter = 0;
  ASSERT_TRUE(reader.readCounter(counter));
  EXPECT_EQ(counter, 17u);
  const std::string text = TerminalStateView::render(state);
  EXPECT_THAT(text, HasSubstr("         8  075   42%  Office Suite\n"));
  EXPECT_THAT(text, HasSubstr("         7  060  100%  Tools\n"));
  EXPECT_THAT(text, HasSubstr("Now: 8  075  42%  sub\\b.bin\n"));

  // Blocks that are not blocks leave the last state alone.
  ADistDialogState kept = state;
  block->m_nItemCount = 101;
  publish(*block, "18");
  EXPECT_FALSE(reader.read(state));
  block->m_nItemCount = -1;
  publish(*block, "19");
  EXPECT_FALSE(reader.read(state));
  block->m_nItemCount = 1;
  publish(*block, "20", sizeof(ADistSharedState) - 1);
  EXPECT_FALSE(reader.read(state));
  EXPECT_EQ(state.items.size(), kept.items.size());
  EXPECT_EQ(state.counter, 17u);
}

TEST(CvdtDlgTest, ProgramRefusesToRunWithoutItsTokenAndDrawsOnce) {
  TestMachine machine;
  const std::string program = machine.host(machine.config().moduleFolder + "\\cvdtdlg.exe");
  ASSERT_EQ(machine.readFile(machine.config().moduleFolder + "\\cvdtdlg.exe") == "<missing>", false)
      << "machine init installs cvdtdlg.exe";
  const std::string prefix = "CVDT_MACHINE='" + machine.root() + "' '" + program + "'";
  EXPECT_THAT(commandOutput(prefix + " --once 2>&1; echo rc=$?"), HasSubstr("no launch token"));
  EXPECT_THAT(commandOutput(prefix + " --once 7E2A9F04B13D 2>&1; echo rc=$?"), HasSubstr("rc=2"));
  EXPECT_THAT(commandOutput(prefix + " --once 7E2A9F04B13C 2>&1; echo rc=$?"), HasSubstr("rc=3"));
  publish(*sampleBlock(), "3");
  std::string output = commandOutput(prefix + " --once 7E2A9F04B13C 2>&1; echo rc=$?");
  EXPECT_THAT(output, HasSubstr("Office Suite"));
  EXPECT_THAT(output, HasSubstr("rc=0"));
}

// Waits until the file holds text, or the deadline passes.
bool waitForText(const std::string& path, const std::string& text) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    if (content.str().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

bool processGone(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  size_t close = line.rfind(')');
  return close != std::string::npos && line.size() > close + 2 && line[close + 2] == 'Z';
}

TEST(CvdtDlgTest, ProgramRedrawsWhenThePublishedStateChanges) {
  TestMachine machine;
  const std::string program = machine.host(machine.config().moduleFolder + "\\cvdtdlg.exe");
  const std::string out = machine.root() + "/dialog.txt";
  auto block = sampleBlock();
  publish(*block, "3");
  const std::string pid = commandOutput("CVDT_MACHINE='" + machine.root() + "' '" + program +
                                        "' --interval-ms 20 7E2A9F04B13C > '" + out +
                                        "' 2>&1 & echo $!");
  const int dialog = std::atoi(pid.c_str());
  ASSERT_GT(dialog, 0) << pid;
  EXPECT_TRUE(waitForText(out, "Now: 8  075  42%  sub\\b.bin"));
  std::strcpy(block->m_status.m_szDetail, "sub\\c.bin");
  block->m_status.m_nPercent = 77;
  publish(*block, "4");
  EXPECT_TRUE(waitForText(out, "Now: 8  075  77%  sub\\c.bin"));
  kill(dialog, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!processGone(dialog) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(processGone(dialog));
}

}  // namespace
}  // namespace cvdt::test

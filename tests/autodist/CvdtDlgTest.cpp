// cvdtdlg.exe, the automatic progress dialog: its block reader on blocks the test writes into
// the registry, and its refusal without the launch token.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "ADistStateReader.h"
#include "TerminalStateView.h"
#include "autodist/ADistItem.h"
#include "platform/PlatformRegistry.h"
#include "support/Subprocess.h"
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
  EXPECT_THAT(text, HasSubstr("Now: 8  075  42%  sub\\b.bin\n"));

  // Blocks that are not blocks leave the last state alone.
  ADistDialogState kept = state;
  block->m_nItemCount = 101;
  publish(*block, "18");
  EXPECT_FALSE(reader.read(state));
  block->m_nItemCount = 1;
  publish(*block, "20", sizeof(ADistSharedState) - 1);
  EXPECT_FALSE(reader.read(state));
  EXPECT_EQ(state.items.size(), kept.items.size());
  EXPECT_EQ(state.counter, 17u);
}

std::string dialogProgram(const TestMachine& machine) {
  return machine.host(machine.config().moduleFolder + "\\cvdtdlg.exe");
}

TEST(CvdtDlgTest, ProgramRefusesToRunWithoutItsTokenAndDrawsOnce) {
  TestMachine machine;
  Subprocess dialog = Subprocess(dialogProgram(machine)).mergeErrors();
  EXPECT_THAT(dialog.run({"--once"}).out, HasSubstr("no launch token"));
  EXPECT_EQ(dialog.run({"--once", "7E2A9F04B13D"}).exitStatus, 2);
  EXPECT_EQ(dialog.run({"--once", "7E2A9F04B13C"}).exitStatus, 3);
  publish(*sampleBlock(), "3");
  ProcessResult drawn = dialog.run({"--once", "7E2A9F04B13C"});
  EXPECT_THAT(drawn.out, HasSubstr("Office Suite"));
  EXPECT_EQ(drawn.exitStatus, 0);
}

}  // namespace
}  // namespace cvdt::test

// The trace log: threshold from the registry on every call, daily file, entry format, limits.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <thread>

#include "detect/NRegistry.h"
#include "platform/NMisc.h"
#include "platform/PlatformSystem.h"
#include "platform/Trace.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

namespace {

using cvdt::test::TestMachine;

std::string todaysLogPath() {
  std::tm local{};
  plat::localTime(std::time(nullptr), local);
  char name[96];
  std::snprintf(name, sizeof name,
                "C:\\Program Files (x86)\\Plumbex\\Corvane\\Modules\\cvdt_%4.4d%2.2d%2.2d.log",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  return name;
}

void setThreshold(const char* value) {
  NRegistry agent;
  ASSERT_TRUE(agent.open(plat::RegRoot::LocalMachine, "SOFTWARE\\Plumbex\\Corvane", true, false,
                         false));
  if (value == nullptr) agent.deleteValue("cvdt");
  else agent.writeText("cvdt", value);
}

TEST(TraceTest, ThresholdIsReadOnEveryCall) {
  TestMachine machine;
  setThreshold("3");
  trace(3, "NGenDistMgr::post:queued %d\n", 7);
  trace(5, "hidden detail\n");
  setThreshold("5");
  trace(5, "now visible\r\n");
  setThreshold(nullptr);
  trace(1, "no value: nothing\n");
  setThreshold("0");
  trace(1, "zero: nothing\n");

  std::string log = machine.readFile(todaysLogPath());
  std::regex entry(R"(\(\d{8} \d{6}\))");
  EXPECT_EQ(std::regex_replace(log, entry, "(T)"),
            "(T)NGenDistMgr::post:queued 7\n(T)now visible\r\n");
}

TEST(TraceTest, NothingIsWrittenWithoutTheKeyOrTheFolder) {
  TestMachine machine([](auto&, auto& options) { options.traceLevel.clear(); });
  trace(1, "no value\n");
  EXPECT_EQ(machine.readFile(todaysLogPath()), "<missing>");
  setThreshold("3");
  NMisc::setThisModule(plat::moduleHandleForFile("C:\\No\\Such\\Folder\\cvdt.dll"));
  trace(1, "folder missing\n");  // silently dropped
  NMisc::setThisModule(machine.moduleHandle());
  trace(1, "back\n");
  EXPECT_THAT(machine.readFile(todaysLogPath()), HasSubstr("back\n"));
}

TEST(TraceTest, LongMessagesAreCutAndConcurrentEntriesStayWhole) {
  TestMachine machine;
  std::string huge(100000, 'x');
  trace(1, "%s\n", huge.c_str());
  std::string log = machine.readFile(todaysLogPath());
  EXPECT_EQ(log.size(), std::string("(20260101 000000)").size() + 40959);

  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 25; ++i) trace(3, "thread %d entry %d %s\n", t, i, std::string(500, 'a' + t).c_str());
    });
  }
  for (auto& thread : threads) thread.join();
  log = machine.readFile(todaysLogPath()).substr(log.size());
  std::regex line(R"(\(\d{8} \d{6}\)thread (\d) entry \d+ ([a-d])\2{499}\n)");
  size_t count = 0;
  for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator(); ++it) {
    EXPECT_EQ((*it)[2].str()[0], 'a' + std::stoi((*it)[1].str()));
    ++count;
  }
  EXPECT_EQ(count, 100u);
}

}  // namespace

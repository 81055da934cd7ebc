// `cvdt-host reports`: the host's reporting component collects result files and what the module
// queues, and prints one JSON line per command result.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <thread>
#include <vector>

#include "entry/NReportDataImpl.h"
#include "platform/NMisc.h"
#include "platform/posix/KernelObjectName.h"
#include "support/RunningProgram.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

namespace {

using cvdt::test::TestMachine;
using Clock = std::chrono::steady_clock;

// cvdt-host with its standard output and error on one pipe.
using HostProcess = cvdt::test::RunningProgram;

std::vector<std::string> allLines(HostProcess& host) {
  std::vector<std::string> lines;
  std::string line;
  while (host.readLine(line, Clock::now() + std::chrono::seconds(30))) lines.push_back(line);
  return lines;
}

TEST(CvdtHostReportsTest, OnceCollectsTheCompleteResultFilesAndPrintsTheirJsonLines) {
  TestMachine machine([](auto& config, auto&) { config.language = 1042; });
  std::string folder = machine.config().agentFolder + "\\dataV2";
  NString name = NMisc::saveCmdResultFile_V2(folder.c_str(), "WS0000000001", "20260102030405", 7, "060",
                                             "\xBC\xB3\xC4\xA1 \"\xBF\xCF\xB7\xE1\"\\");  // 949
  ASSERT_FALSE(name.isEmpty());
  std::string unfinished = folder + "\\M01_WS0000000001_20260102030405_000000000008";
  machine.writeFile(unfinished, std::string("\xFF\xFE" "8\0|\0", 6));  // no terminating zero yet
  machine.writeFile(folder + "\\notes.txt", "not a result");

  HostProcess host({CVDT_HOST_PATH, "reports", "--once"}, true);
  std::vector<std::string> lines = allLines(host);
  EXPECT_EQ(host.wait(), 0);
  std::vector<std::string> json;
  for (const std::string& line : lines)
    if (!line.empty() && line[0] == '{') json.push_back(line);
  ASSERT_EQ(json.size(), 1u) << ::testing::PrintToString(lines);
  EXPECT_EQ(json[0],
            "{\"source\":\"file\",\"cmd_id\":7,\"datetime\":\"20260102030405\",\"code\":\"060\","
            "\"detail\":\"설치 \\\"완료\\\"\\\\\",\"unit_key\":\"WS0000000001\"}");
  EXPECT_EQ(machine.readFile(folder + "\\" + name.text()), "<missing>");
  EXPECT_NE(machine.readFile(unfinished), "<missing>");
  EXPECT_EQ(machine.readFile(folder + "\\notes.txt"), "not a result");
}

TEST(CvdtHostReportsTest, ARunningCollectorTakesEveryQueuedResultOnceAndCleansUp) {
  TestMachine machine([](auto&, auto& options) { options.traceLevel = "1"; });
  HostProcess host({CVDT_HOST_PATH, "reports", "--seconds", "120"}, true);
  std::string line, output;
  auto deadline = Clock::now() + std::chrono::seconds(20);
  while (host.readLine(line, deadline) && line.find("collecting from") == std::string::npos)
    output += line + "\n";
  ASSERT_THAT(line, HasSubstr("collecting from")) << output;

  static HostEnvironment env{};
  std::memcpy(env.m_szEquipId, "WS0000000001", 12);
  constexpr int kPerThread = 40;
  std::atomic<int> queued{0};
  std::vector<std::thread> writers;
  for (uint32_t t = 1; t <= 3; ++t) {
    writers.emplace_back([&queued, t] {
      for (uint32_t i = 0; i < kPerThread; ++i)
        queued += NReportDataImpl::reportCmdResult(env, 4386, t * 1000 + i, "", "", "20260102030405",
                                                   "060", "ok", 1);
    });
  }
  std::string folder = machine.config().agentFolder + "\\dataV2";
  NMisc::saveCmdResultFile_V2(folder.c_str(), "WS0000000001", "20260102030405", 999, "941", "ban");
  for (auto& writer : writers) writer.join();
  EXPECT_EQ(queued, 3 * kPerThread);

  std::map<uint32_t, std::string> sources;
  std::regex result(R"re(^\{"source":"(\w+)","cmd_id":(\d+),)re");
  deadline = Clock::now() + std::chrono::seconds(30);
  while (sources.size() < 3 * kPerThread + 1 && host.readLine(line, deadline)) {
    std::smatch match;
    if (!std::regex_search(line, match, result)) continue;
    uint32_t id = static_cast<uint32_t>(std::stoul(match[2]));
    EXPECT_TRUE(sources.emplace(id, match[1]).second) << "twice: " << line;
  }
  ASSERT_EQ(sources.size(), 3u * kPerThread + 1);
  EXPECT_EQ(sources[999], "file");
  EXPECT_EQ(sources[2017], "queue");

  ASSERT_TRUE(host.terminate());
  EXPECT_EQ(host.wait(), 0);
  // The queue's mapping and events went with the last process that held them.
  std::string tag = plat::posix::kernelObjectName('m', "Global\\x").substr(1, 22);
  for (const auto& entry : std::filesystem::directory_iterator("/dev/shm"))
    EXPECT_EQ(entry.path().filename().string().rfind(tag, 0), std::string::npos) << entry.path();
}

}  // namespace

// The Windows companion programs and cvsw.dll of this build's stage folder, on the system's own
// registry, processes and windows (Wine's under scripts/test-windows, which gives Wine an X
// display of its own so that windows are real): the software status library, the logon
// program's value protocol, the progress window following a job's record, and the message box.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include "gendist/NDtDlgRecord.h"
#include "gendist/SwStatusApi.h"
#include "platform/PlatformLibrary.h"
#include "platform/PlatformProcess.h"
#include "platform/PlatformRegistry.h"
#include "win32/Win32Scratch.h"

namespace {

using namespace plat;
using cvdt::win32test::ScratchFolder;

const std::string kStage = CVDT_WIN_STAGE;

bool eventually(const std::function<bool()>& condition, int seconds = 20) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return condition();
}

void setValue(const char* key, const std::string& name, uint32_t type, const void* data, size_t size) {
  RegKey handle;
  ASSERT_EQ(RegKey::create(RegRoot::LocalMachine, key, kKeyAllAccess | kKeyWow64_32Key, handle), 0u);
  ASSERT_EQ(handle.setValue(name, type, data, size), 0u);
}

void deleteValue(const char* key, const std::string& name) {
  RegKey handle;
  if (RegKey::open(RegRoot::LocalMachine, key, kKeyAllAccess | kKeyWow64_32Key, handle) == 0)
    handle.deleteValue(name);
}

// Starts a program of the stage folder and waits for it; its exit code, or -1.
int runStaged(const std::string& arguments, Process* started = nullptr) {
  Process own;
  Process& process = started ? *started : own;
  LaunchRequest request{arguments, "", false, nullptr, nullptr};
  if (!process.start(request, true)) return -1;
  return started ? 0 : process.wait();
}

bool hasDisplay() { return std::getenv("DISPLAY") != nullptr; }

TEST(Win32CompanionsTest, SoftwareStatusComesFromEitherRegistryView) {
  const char* key = "SOFTWARE\\Plumbex\\Corvane\\SoftwareStatus";
  uint32_t flags = kSwStatusValid | 5;
  setValue(key, "4711", kRegDword, &flags, sizeof flags);
  setValue(key, "4712", kRegSz, "5", 2);
  Library library;
  ASSERT_TRUE(library.load(kStage + "\\cvsw.dll")) << library.error();
  auto query = reinterpret_cast<SwGiveStatusFlagFn>(library.symbol("cvfSwGiveStatusFlag"));
  ASSERT_NE(query, nullptr);
  EXPECT_EQ(query("4711"), flags);
  EXPECT_EQ(query("0004711"), flags);
  EXPECT_EQ(query("4713"), 0u);                  // nothing recorded
  EXPECT_EQ(query("4712"), kSwStatusUnknown);    // not a REG_DWORD
  EXPECT_EQ(query("47a1"), kSwStatusUnknown);
  EXPECT_EQ(query(""), kSwStatusUnknown);
  deleteValue(key, "4711");
  deleteValue(key, "4712");
}

TEST(Win32CompanionsTest, LogonProgramRunsWhatItsValueDescribesAndEndsWithItsCode) {
  const char* key = "SOFTWARE\\Plumbex\\Corvane\\LGN";
  ScratchFolder scratch;
  std::string logon = "\"" + kStage + "\\cvlgn.exe\" ";
  struct Case {
    const char* name;
    std::string value;
    int exitCode;
  } cases[] = {
      // Commanded form: a whole command line and its working folder.
      {"command line", "USER_WAIT_HIDE|$cmd.exe /c exit 5|$" + scratch.path(), 5},
      {"visible", "USER_WAIT|$cmd.exe /c exit 0|$" + scratch.path(), 0},
      // Automatic form: a program path and its argument text.
      {"program and arguments", "USER_WAIT_HIDE|$C:\\windows\\system32\\cmd.exe|$/c exit 7", 7},
      {"unknown mode", "RUN_AS|$cmd.exe|$/c exit 0", 9103},
      {"no separator", "USER_WAIT cmd.exe", 9103},
  };
  for (const Case& c : cases) {
    std::string name = cvdt::win32test::uniqueKeyName(c.name);
    setValue(key, name, kRegSz, c.value.c_str(), c.value.size() + 1);
    EXPECT_EQ(runStaged(logon + "\"" + name + "\""), c.exitCode) << c.name;
    deleteValue(key, name);
  }
  EXPECT_EQ(runStaged(logon + "no-such-value"), 9102);
  EXPECT_EQ(runStaged("\"" + kStage + "\\cvlgn.exe\""), 9101);
}

void writeRecord(const std::string& id, uint32_t progress, const char* status, const char* message) {
  NDtDlgRecord record{};
  record.m_nProgress = progress;
  std::strncpy(record.m_szStatus, status, sizeof record.m_szStatus - 1);
  std::strncpy(record.m_szMessage, message, sizeof record.m_szMessage - 1);
  setValue(kAgentKey, kNDtDlgRecordPrefix + id, kRegBinary, &record, sizeof record);
}

std::string windowText(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

TEST(Win32CompanionsTest, ProgressWindowFollowsTheJobsRecordUntilItEnds) {
  std::string dialog = "\"" + kStage + "\\cvdtndlg.exe\" ";
  std::string id = std::to_string(GetCurrentProcessId());
  EXPECT_EQ(runStaged(dialog + "--once 7E2A9F04B13D " + id), 3);  // no record yet
  EXPECT_EQ(runStaged(dialog + "WRONGTOKEN " + id), 2);
  if (!hasDisplay()) GTEST_SKIP() << "no X display for Wine's windows (scripts/test-windows gives one)";

  writeRecord(id, 40, "070", "Downloading package");
  std::string caption = "Progress " + id;
  Process process;
  ASSERT_EQ(runStaged(dialog + "--interval-ms 50 --linger-ms 300 7E2A9F04B13D " + id +
                          " \"Office\" \"2.1\" \"Suite\" \"" + caption + "\"",
                      &process),
            0);
  // The window exists a moment before its controls do.
  HWND window = nullptr;
  HWND bar = nullptr;
  HWND status = nullptr;
  ASSERT_TRUE(eventually([&] {
    window = FindWindowA("CvdtProgressDialog", caption.c_str());
    bar = window ? GetDlgItem(window, 102) : nullptr;
    status = window ? GetDlgItem(window, 103) : nullptr;
    return bar != nullptr && status != nullptr;
  }));
  EXPECT_TRUE(eventually([&] { return SendMessageA(bar, PBM_GETPOS, 0, 0) == 40; }));
  EXPECT_EQ(windowText(status), "070  Downloading package");
  EXPECT_EQ(windowText(GetDlgItem(window, 101)), "Office 2.1\r\nSuite");
  writeRecord(id, 100, "060", "Done");
  EXPECT_TRUE(eventually([&] { return SendMessageA(bar, PBM_GETPOS, 0, 0) == 100; }));
  EXPECT_EQ(process.wait(), 0);  // gone once the job ended and the linger time passed
  EXPECT_EQ(FindWindowA("CvdtProgressDialog", caption.c_str()), nullptr);
  deleteValue(kAgentKey, kNDtDlgRecordPrefix + id);
}

TEST(Win32CompanionsTest, MessageProgramShowsARealMessageBoxAndEndsWithTheButton) {
  EXPECT_EQ(runStaged("\"" + kStage + "\\crvmsg.exe\" \"only one\""), 0);  // bad arguments
  if (!hasDisplay()) GTEST_SKIP() << "no X display for Wine's windows (scripts/test-windows gives one)";
  struct Case {
    const char* style;
    int button;  // the button the user presses
  } cases[] = {{"4", IDNO}, {"0x24", IDYES}, {"1", IDCANCEL}, {"0", IDOK}};
  for (const Case& c : cases) {
    Process process;
    ASSERT_EQ(runStaged("\"" + kStage + "\\crvmsg.exe\" \"Install now?\" \"Office 2.1\" \"" +
                            c.style + "\"",
                        &process),
              0);
    HWND box = nullptr;
    ASSERT_TRUE(eventually([&] { return (box = FindWindowA("#32770", "Corvane")) != nullptr; })) << c.style;
    // The box holds both texts and the buttons of its style.
    EXPECT_NE(GetDlgItem(box, c.button), nullptr) << c.style;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(c.button, BN_CLICKED), 0);
    EXPECT_EQ(process.wait(), c.button) << c.style;
  }
}

}  // namespace

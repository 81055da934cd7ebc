// cvlgn.exe VALUE_NAME: the logon program. The module starts it as the user logged on in a
// session and names a value under HKLM\SOFTWARE\Plumbex\Corvane\LGN (32-bit view) that holds
// "USER_WAIT[_HIDE]|$FIRST|$SECOND"; it runs what the texts describe, waits, and ends with the
// program's exit code (0 only on success) or with one of its own codes below.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "LogonRequest.h"
#include "platform/PlatformProcess.h"
#include "platform/PlatformRegistry.h"
#include "platform/Status.h"
#include "platform/WinError.h"

#if !defined(_WIN32)
extern char** environ;
#endif

namespace {

constexpr const char* kHandoverKey = "SOFTWARE\\Plumbex\\Corvane\\LGN";

// Exit codes of the logon program itself; none is 0.
constexpr uint32_t kExitUsage = 9101;
constexpr uint32_t kExitNoValue = 9102;
constexpr uint32_t kExitMalformed = 9103;
constexpr uint32_t kExitCannotStart = 9104;
constexpr uint32_t kExitCodeUnknown = 9105;

[[noreturn]] void fail(uint32_t code, const std::string& reason) {
  std::fprintf(stderr, "cvlgn.exe: %s\n", reason.c_str());
  plat::exitProcess(code);
}

// The hand-over value's text; a failure says why it cannot be had.
plat::Status readValue(const std::string& name, std::string& text) {
  plat::RegKey key;
  uint32_t rc = plat::RegKey::open(plat::RegRoot::LocalMachine, kHandoverKey,
                                   plat::kKeyRead | plat::kKeyWow64_32Key, key);
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (rc == 0) rc = key.queryValue(name, type, data);
  if (rc != 0) {
    return plat::Status::failure("cannot read the value \"" + name + "\" under HKLM\\" +
                                 kHandoverKey + " (error " + std::to_string(rc) + ")");
  }
  if (type != plat::kRegSz && type != plat::kRegExpandSz) {
    return plat::Status::failure("the value \"" + name + "\" is not text (type " +
                                 std::to_string(type) + ")");
  }
  text.assign(data.begin(), data.end());
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
  return {};
}

// Our environment for the program. On Linux the exit-code channel that our own parent reads is
// ours alone, and the show flag is set afresh by the launch from the value's mode; on Windows
// neither exists and the program simply inherits our environment.
std::vector<std::string> childEnvironment() {
  std::vector<std::string> block;
#if !defined(_WIN32)
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string text = *entry;
    if (!plat::isExitCodeChannelEntry(text) && text.rfind("CVDT_SHOW_WINDOW=", 0) != 0)
      block.push_back(text);
  }
#endif
  return block;
}

uint32_t run(const LogonRequest& request) {
  std::vector<std::string> environment = childEnvironment();
  plat::LaunchRequest launch{request.commandLine(), request.workingFolder(), request.hidden(),
                             nullptr, environment.empty() ? nullptr : &environment};
  plat::Process process;
  if (!process.start(launch, true)) {
    fail(kExitCannotStart, "cannot start \"" + launch.commandLine + "\" in \"" +
                               launch.workingFolder + "\" (error " +
                               std::to_string(plat::lastError()) + ")");
  }
  int code = process.wait();
  if (code == -1) fail(kExitCodeUnknown, "the exit code of \"" + launch.commandLine + "\" is unknown");
  return static_cast<uint32_t>(code);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0') fail(kExitUsage, "usage: cvlgn.exe VALUE_NAME");
  std::string value;
  if (plat::Status s = readValue(argv[1], value); !s) fail(kExitNoValue, s.message());
  LogonRequest request;
  if (plat::Status s = LogonRequest::parse(value, request); !s)
    fail(kExitMalformed, "value \"" + std::string(argv[1]) + "\": " + s.message());
  plat::exitProcess(run(request));
}

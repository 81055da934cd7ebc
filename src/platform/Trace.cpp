// The trace writer. The registry read and the open/append/close per entry are deliberate: an
// operator can change the threshold while the host runs, and a new day starts a new file.
#include "platform/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "platform/NMisc.h"
#include "platform/PlatformFile.h"
#include "platform/PlatformRegistry.h"
#include "platform/PlatformSystem.h"

namespace {

constexpr int kMessageBufferSize = 40960;
constexpr const char* kAgentKey = "SOFTWARE\\Plumbex\\Corvane";
constexpr const char* kThresholdValue = "cvdt";
constexpr uint32_t kReadRights = 0x20019;  // KEY_READ

void writeEntry(const std::tm& local, const char* message) {
  NString path = NMisc::getModuleFolder(NMisc::thisModule());
  char name[64];
  std::snprintf(name, sizeof name, "\\cvdt_%4.4d%2.2d%2.2d.log", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday);
  path += name;
  plat::File file;
  if (!file.open(path.text(), plat::FileMode::Append)) return;
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%4.4d%2.2d%2.2d %2.2d%2.2d%2.2d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  // One write per entry, so concurrent writers interleave only between entries.
  NString entry;
  entry.format("(%s)%s", stamp, message);
  file.write(entry.text(), static_cast<size_t>(entry.length()));
}

}  // namespace

// The agent key is read in the 32-bit view, where a 32-bit module finds it on 64-bit Windows.
int traceThreshold() {
  uint32_t access = kReadRights;
  if (NMisc::is64BitWindows()) access |= plat::kKeyWow64_32Key;
  plat::RegKey agent;
  if (plat::RegKey::open(plat::RegRoot::LocalMachine, kAgentKey, access, agent) != 0) return -1;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (agent.queryValue(kThresholdValue, type, data) != 0) return 0;
  // The value's bytes up to the first zero, whatever its type.
  std::string text(data.begin(), data.end());
  return std::atoi(text.c_str());
}

void trace(int level, const char* format, ...) {
  if (format == nullptr) return;
  int threshold = traceThreshold();
  if (threshold < 0 || threshold < level) return;
  std::tm local{};
  if (!plat::localTime(std::time(nullptr), local)) return;
  // vsnprintf cuts an over-long message at the buffer's end.
  char message[kMessageBufferSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  writeEntry(local, message);
}

// The trace writer. The registry read and the open/append/close per entry are deliberate: an
// operator can change the threshold while the host runs, and a new day starts a new file.
#include "entry/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "detect/NRegistry.h"
#include "platform/NMisc.h"
#include "platform/PlatformFile.h"
#include "platform/PlatformSystem.h"

namespace {

constexpr int kMessageBufferSize = 40960;
constexpr const char* kAgentKey = "SOFTWARE\\Plumbex\\Corvane";
constexpr const char* kThresholdValue = "cvdt";

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

int traceThreshold() {
  NRegistry registry;
  if (!registry.open(plat::RegRoot::LocalMachine, kAgentKey, true, true, false)) return -1;
  NString value = registry.readText(kThresholdValue);
  registry.close();
  return std::atoi(value.text());
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

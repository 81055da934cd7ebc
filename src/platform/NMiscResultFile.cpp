// NMisc::saveCmdResultFile_V2: the command-result file that the host's reporting component
// collects from its "\dataV2" folder when the shared-memory queue is not there.
#include <cstdio>
#include <string>

#include "platform/NMisc.h"
#include "platform/PlatformFile.h"
#include "platform/PlatformText.h"

namespace NMisc {
namespace {

constexpr int kNameLength = 44;
constexpr size_t kLineBuffer = 1024;

const char* orEmpty(const char* text) { return text != nullptr ? text : ""; }

// The line as UTF-16LE with the byte-order mark, including the converted terminating zero. The
// line is ANSI text but is read in the OEM code page: where the two differ (1252 and 437), a
// character above 127 arrives as the OEM page's character at that byte, as hosts have always
// received it.
std::string encodeLine(const char* line) {
  std::u16string wide = plat::oemToWide(line);
  wide.push_back(u'\0');
  std::string bytes("\xFF\xFE", 2);
  for (char16_t unit : wide) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

}  // namespace

NString saveCmdResultFile_V2(const char* folder, const char* unitKey, const char* dateTime,
                             uint32_t cmdId, const char* resultCode, const char* detail) {
  char id[16];
  std::snprintf(id, sizeof id, "%012u", cmdId);
  makePath(orEmpty(folder));
  NString name("M01_");
  name += orEmpty(unitKey);
  name += "_";
  name += orEmpty(dateTime);
  name += "_";
  name += id;
  if (name.length() != kNameLength) return NString();

  char line[kLineBuffer];
  std::snprintf(line, sizeof line, "%d%s%s%s%s\n", static_cast<int>(cmdId), "|@",
                orEmpty(resultCode), "|@", orEmpty(detail));
  std::string bytes = encodeLine(line);
  plat::File file;
  std::string path = std::string(orEmpty(folder)) + "\\" + name.text();
  if (!file.open(path, plat::FileMode::Write)) return NString();
  if (file.write(bytes.data(), bytes.size()) != bytes.size()) return NString();
  return name;
}

}  // namespace NMisc

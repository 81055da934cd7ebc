// Mapping of Windows kernel object names to POSIX shared-memory names, per machine.
#include "platform/posix/KernelObjectName.h"

#include <cstdint>
#include <cstdio>

#include "platform/WinError.h"
#include "platform/posix/ErrorPosix.h"
#include "platform/posix/MachineConfig.h"

namespace plat::posix {
namespace {

constexpr size_t kMaxObjectName = 255;  // NAME_MAX of the shared-memory folder

std::string machineTag() {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : currentMachine()->root) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

bool startsWith(const std::string& text, size_t at, const char* prefix) {
  return text.compare(at, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool isPlain(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '.' || c == '_' || c == '-';
}

void appendEscaped(std::string& out, const std::string& text, size_t from) {
  for (size_t i = from; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (isPlain(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", c);
      out += code;
    }
  }
}

}  // namespace

std::string kernelObjectName(char kind, const std::string& windowsName) {
  size_t at = 0;
  char space = 'L';
  while (startsWith(windowsName, at, "Global\\")) {
    space = 'G';
    at += 7;
  }
  if (space == 'L' && startsWith(windowsName, at, "Local\\")) at += 6;
  std::string name = "/cvdt." + machineTag() + "." + kind + "." + space + ".";
  appendEscaped(name, windowsName, at);
  if (name.size() > kMaxObjectName || at == windowsName.size()) {
    failWith(kErrorInvalidName);
    return {};
  }
  return name;
}

}  // namespace plat::posix

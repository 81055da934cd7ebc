// The command line reader of cvdtndlg.exe.
#include "DialogCommandLine.h"

#include <algorithm>
#include <cstdlib>

namespace {

// A non-negative decimal number of milliseconds (at most a day).
bool readMilliseconds(const std::string& text, int& out) {
  if (text.empty() || text.size() > 8 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > 86400000) return false;
  out = static_cast<int>(value);
  return true;
}

uint32_t readNumber(const std::string& text) {
  return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
}

}  // namespace

plat::Status DialogCommandLine::takeOption(const std::vector<std::string>& arguments, size_t& i) {
  const std::string& option = arguments[i];
  if (option == "--once") {
    m_bOnce = true;
    return {};
  }
  int* target = option == "--interval-ms" ? &m_nIntervalMs
                : option == "--linger-ms" ? &m_nLingerMs
                : option == "--wait-ms"   ? &m_nWaitMs
                                          : nullptr;
  if (target == nullptr) return plat::Status::failure("unknown option " + option);
  if (i + 1 >= arguments.size() || !readMilliseconds(arguments[i + 1], *target))
    return plat::Status::failure(option + " needs a number of milliseconds");
  ++i;
  return {};
}

DialogCommandLine::Result DialogCommandLine::parse(const std::vector<std::string>& arguments,
                                                   DialogCommandLine& out, std::string& error) {
  DialogCommandLine line;
  size_t i = 0;
  for (; i < arguments.size() && arguments[i].rfind("--", 0) == 0; ++i) {
    if (plat::Status s = line.takeOption(arguments, i); !s) {
      error = s.message();
      return Result::Usage;
    }
  }
  if (arguments.size() - i < 2 || arguments[i + 1].empty()) {
    error = "expected the launch token and a distribution id";
    return Result::Usage;
  }
  if (arguments[i] != kLaunchToken) {
    error = "refused: wrong launch token \"" + arguments[i] + "\"";
    return Result::WrongToken;
  }
  line.m_strDistId = arguments[i + 1];
  std::vector<std::string> rest(arguments.begin() + static_cast<long>(i) + 2, arguments.end());
  rest.resize(std::max<size_t>(rest.size(), 7));
  line.m_title = DialogTitle{rest[3], rest[0], rest[1], rest[2]};
  line.m_bAgree = rest[4] == "1";
  line.m_nActorKind = readNumber(rest[5]);
  line.m_nActorProcessId = readNumber(rest[6]);
  out = line;
  return Result::Ok;
}

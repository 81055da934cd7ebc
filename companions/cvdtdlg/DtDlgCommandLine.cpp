// The command line reader of cvdtdlg.exe.
#include "DtDlgCommandLine.h"

#include <cstdlib>

namespace {

// A decimal number of milliseconds from 1 to a minute.
bool readInterval(const std::string& text, int& out) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  long value = std::strtol(text.c_str(), nullptr, 10);
  if (value < 1 || value > 60000) return false;
  out = static_cast<int>(value);
  return true;
}

}  // namespace

DtDlgCommandLine::Result DtDlgCommandLine::parse(const std::vector<std::string>& arguments,
                                                 DtDlgCommandLine& out, std::string& error) {
  DtDlgCommandLine line;
  size_t i = 0;
  for (; i < arguments.size() && arguments[i].rfind("--", 0) == 0; ++i) {
    if (arguments[i] == "--once") {
      line.m_bOnce = true;
    } else if (arguments[i] == "--interval-ms") {
      if (i + 1 >= arguments.size() || !readInterval(arguments[i + 1], line.m_nIntervalMs)) {
        error = "--interval-ms needs a number of milliseconds from 1 to 60000";
        return Result::Usage;
      }
      ++i;
    } else {
      error = "unknown option " + arguments[i];
      return Result::Usage;
    }
  }
  if (i >= arguments.size() || arguments[i] != kLaunchToken) {
    error = i >= arguments.size() ? "refused: no launch token"
                                  : "refused: wrong launch token \"" + arguments[i] + "\"";
    return Result::WrongToken;
  }
  if (i + 1 < arguments.size()) {
    error = "unexpected argument " + arguments[i + 1];
    return Result::Usage;
  }
  out = line;
  return Result::Ok;
}

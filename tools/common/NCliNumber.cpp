// Strict decimal numbers for the tools' options.
#include "NCliNumber.h"

#include <charconv>

namespace cvdt::cli {

bool NCliNumber::parse(const std::string& text, int64_t nLow, int64_t nHigh, int64_t& value) {
  if (text.empty() || text.size() > 40) return false;
  size_t nDigitsFrom = text[0] == '-' && nLow < 0 ? 1 : 0;
  if (nDigitsFrom == text.size()) return false;
  for (size_t i = nDigitsFrom; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  int64_t parsed = 0;
  // from_chars reads base 10 only and reports a value beyond int64_t.
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed, 10);
  if (error != std::errc() || end != text.data() + text.size() || parsed < nLow || parsed > nHigh)
    return false;
  value = parsed;
  return true;
}

std::string NCliNumber::refusal(const std::string& text, int64_t nLow, int64_t nHigh) {
  return "'" + text + "' is not a decimal number from " + std::to_string(nLow) + " to " +
         std::to_string(nHigh);
}

int64_t NCliNumber::checked(const std::string& what, const std::string& text, int64_t nLow,
                            int64_t nHigh) {
  int64_t value = 0;
  if (!parse(text, nLow, nHigh, value)) throw CLI::ValidationError(what, refusal(text, nLow, nHigh));
  return value;
}

std::string NCliNumber::optionName(const std::string& names) {
  size_t nStart = 0;
  while (nStart < names.size()) {
    size_t nEnd = names.find(',', nStart);
    std::string name = names.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart);
    if (name.rfind("--", 0) == 0) return name;
    if (nEnd == std::string::npos) break;
    nStart = nEnd + 1;
  }
  return names;
}

}  // namespace cvdt::cli

// Strict reading of the numbers in an agent script line.
#include "ScriptNumber.h"

#include <charconv>

namespace cvdt::host {
namespace {

template <typename T>
T parseWhole(const std::string& text, const char* what, const char* range) {
  T value{};
  const char* begin = text.data();
  const char* end = begin + text.size();
  // from_chars takes no '+', no blanks and no '-' for an unsigned T, and reports a value
  // beyond T's range.
  std::from_chars_result parsed = std::from_chars(begin, end, value, 10);
  if (text.empty() || parsed.ec != std::errc() || parsed.ptr != end) {
    throw BadScriptNumber(std::string(what) + " \"" + text + "\" is not a number from " + range);
  }
  return value;
}

}  // namespace

uint32_t scriptUint32(const std::string& text, const char* what) {
  return parseWhole<uint32_t>(text, what, "0 to 4294967295");
}

int32_t scriptInt32(const std::string& text, const char* what) {
  return parseWhole<int32_t>(text, what, "-2147483648 to 2147483647");
}

}  // namespace cvdt::host

// NMisc texts: unique names, dotted IPv4 texts, decimal numbers and 14-digit local time texts.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/NMisc.h"
#include "platform/PlatformSystem.h"
#include "platform/WinError.h"

namespace NMisc {
namespace {

constexpr int kUuidStep = 100;
constexpr int kUuidTextStep = 200;
constexpr int kMaxIpTextLength = 15;

// Splits a dotted text into four numbers when it has at most 15 characters, exactly three dots
// and a non-empty fourth part.
bool splitIpAddress(const NString& text, int parts[4]) {
  const char* s = text.text();
  size_t length = std::strlen(s);
  if (length > kMaxIpTextLength) return false;
  int dots = 0;
  const char* fields[4] = {s, nullptr, nullptr, nullptr};
  for (const char* p = s; *p != '\0'; ++p) {
    if (*p != '.') continue;
    if (++dots > 3) return false;
    fields[dots] = p + 1;
  }
  if (dots != 3 || *fields[3] == '\0') return false;
  for (int i = 0; i < 4; ++i) parts[i] = std::atoi(fields[i]);
  return true;
}

int fieldAt(const char* text, size_t offset, size_t width) {
  size_t length = std::strlen(text);
  if (offset >= length) return 0;
  std::string digits(text + offset, std::min(width, length - offset));
  return std::atoi(digits.c_str());
}

NString formatTimeText(std::time_t when) {
  std::tm local{};
  NString text;
  if (when == static_cast<std::time_t>(-1) || !plat::localTime(when, local)) return text;
  text.format("%4.4d%2.2d%2.2d%2.2d%2.2d%2.2d", local.tm_year + 1900, local.tm_mon + 1,
              local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

}  // namespace

int makeUniqueName(NString& name, int* step, int* error) {
  std::string uuid;
  if (!plat::createUuidText(uuid)) {
    if (step != nullptr) *step = kUuidStep;
    if (error != nullptr) *error = static_cast<int>(plat::lastError());
    return 0;
  }
  if (uuid.empty()) {
    if (step != nullptr) *step = kUuidTextStep;
    if (error != nullptr) *error = static_cast<int>(plat::lastError());
    return 0;
  }
  name.format("%s__%08x__%08x__%d", uuid.c_str(), plat::processId(), plat::threadId(),
              static_cast<int>(plat::tickCount()));
  return 1;
}

int normalizeIpAddress(NString& text) {
  int parts[4];
  if (!splitIpAddress(text, parts)) return 0;
  text.format("%d.%d.%d.%d", parts[0], parts[1], parts[2], parts[3]);
  return 1;
}

int padIpAddress(NString& text) {
  int parts[4];
  if (!splitIpAddress(text, parts)) return 0;
  text.format("%3.3d.%3.3d.%3.3d.%3.3d", parts[0], parts[1], parts[2], parts[3]);
  return 1;
}

int32_t decimalToInt(const char* text) {
  if (text == nullptr) return 0;
  long long value = std::strtoll(text, nullptr, 10);  // saturates at its own limits
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

NString getCurrentTimeText() { return formatTimeText(std::time(nullptr)); }

std::time_t parseTimeText(const char* text) {
  if (text == nullptr) return static_cast<std::time_t>(-1);
  std::tm fields{};
  fields.tm_year = fieldAt(text, 0, 4) - 1900;
  fields.tm_mon = fieldAt(text, 4, 2) - 1;
  fields.tm_mday = fieldAt(text, 6, 2);
  fields.tm_hour = fieldAt(text, 8, 2);
  fields.tm_min = fieldAt(text, 10, 2);
  fields.tm_sec = fieldAt(text, 12, 2);
  return plat::makeLocalTime(fields);
}

NString addSecondsToTimeText(const char* text, long seconds) {
  std::time_t when = parseTimeText(text);
  if (when == static_cast<std::time_t>(-1)) return NString();
  return formatTimeText(when + seconds);
}

}  // namespace NMisc

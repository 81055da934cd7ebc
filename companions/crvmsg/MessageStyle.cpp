// Buttons and answers of the MessageBox button sets.
#include "MessageStyle.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace {

constexpr uint32_t kTypeMask = 0xF;
constexpr uint32_t kDefaultButtonMask = 0xF00;

std::vector<MessageButton> buttonsOf(uint32_t type) {
  switch (type) {
    case 1: return {{"OK", kIdOk}, {"Cancel", kIdCancel}};
    case 2: return {{"Abort", kIdAbort}, {"Retry", kIdRetry}, {"Ignore", kIdIgnore}};
    case 3: return {{"Yes", kIdYes}, {"No", kIdNo}, {"Cancel", kIdCancel}};
    case 4: return {{"Yes", kIdYes}, {"No", kIdNo}};
    case 5: return {{"Retry", kIdRetry}, {"Cancel", kIdCancel}};
    case 6: return {{"Cancel", kIdCancel}, {"Try Again", kIdTryAgain}, {"Continue", kIdContinue}};
    default: return {{"OK", kIdOk}};
  }
}

}  // namespace

MessageStyle::MessageStyle(uint32_t style) : m_style(style), m_buttons(buttonsOf(style & kTypeMask)) {}

bool MessageStyle::parse(const std::string& text, uint32_t& style) {
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  std::string digits = hex ? text.substr(2) : text;
  if (digits.empty()) return false;
  for (char c : digits) {
    if (hex ? !std::isxdigit(static_cast<unsigned char>(c)) : !std::isdigit(static_cast<unsigned char>(c)))
      return false;
  }
  errno = 0;
  unsigned long long value = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
  if (errno != 0 || value > 0xFFFFFFFFull) return false;
  style = static_cast<uint32_t>(value);
  return true;
}

const MessageButton& MessageStyle::defaultButton() const {
  size_t index = (m_style & kDefaultButtonMask) >> 8;
  return m_buttons[index < m_buttons.size() ? index : 0];
}

int MessageStyle::closedAnswer() const {
  for (const MessageButton& button : m_buttons) {
    if (button.id == kIdCancel) return kIdCancel;
  }
  return m_buttons.size() == 1 ? kIdOk : m_buttons.back().id == kIdNo ? kIdNo : kIdAbort;
}

// The MessageBox style word: which buttons a box has, which one Return presses, and what a box
// closed without a choice answers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Button ids as MessageBox returns them.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;
inline constexpr int kIdTryAgain = 10;
inline constexpr int kIdContinue = 11;

struct MessageButton {
  const char* label;
  int id;
};

class MessageStyle {
 public:
  explicit MessageStyle(uint32_t style);

  // The style as the callers write it: decimal digits ("266244"), or hex after "0x". False for
  // anything else, or a number beyond 32 bits.
  static bool parse(const std::string& text, uint32_t& style);

  const std::vector<MessageButton>& buttons() const { return m_buttons; }
  // The button that MB_DEFBUTTON1 to 4 name (the first one when the box has fewer).
  const MessageButton& defaultButton() const;
  // The answer of a box that was closed, or never shown, without a choice: Cancel when the box
  // has one, No for Yes/No, Abort for Abort/Retry/Ignore, OK for a lone OK.
  int closedAnswer() const;

 private:
  uint32_t m_style;
  std::vector<MessageButton> m_buttons;
};

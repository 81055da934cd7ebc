// One hand-over value of the logon program: its mode, its two texts, and the launch they describe.
#pragma once

#include <string>

#include "platform/Status.h"

class LogonRequest {
 public:
  // Splits "USER_WAIT|$FIRST|$SECOND" (or "USER_WAIT_HIDE|$...") at its first two separators;
  // the second text keeps any later separator. A failure with a one-line reason when the mode
  // is unknown, a separator is missing or the first text is empty; out is then unchanged.
  static plat::Status parse(const std::string& value, LogonRequest& out);

  bool hidden() const { return m_bHidden; }
  // True when the texts are a whole command line and its working folder (commanded
  // distribution); false when they are a program path and its argument text (automatic).
  bool isCommandLineForm() const;
  // What to run and where, by the form above.
  std::string commandLine() const;
  std::string workingFolder() const;

 private:
  std::string programPath() const;

  bool m_bHidden = false;
  std::string m_strFirst;
  std::string m_strSecond;
};

// Draws the commanded progress dialog on a terminal: a title, then one progress line that is
// redrawn in place on an interactive terminal and appended line by line anywhere else.
#pragma once

#include <cstdio>
#include <string>

#include "DialogFrame.h"

class TerminalProgressView {
 public:
  // interactive: out is a terminal, so the progress line is redrawn in place.
  TerminalProgressView(std::FILE* out, bool interactive);

  void showTitle(const DialogTitle& title);
  void showFrame(const DialogFrame& frame);
  // Ends the progress line, so that whatever follows starts on its own line.
  void finish();

  // "[#####---------------]  25%  070  message": the line showFrame draws.
  static std::string progressLine(const DialogFrame& frame);

 private:
  std::FILE* m_pOut;
  bool m_bInteractive;
  bool m_bLineOpen = false;
};

// Draws the automatic progress dialog on a terminal: one line per item (id, name, status,
// percent) and the current status detail. An interactive terminal is cleared and redrawn;
// anywhere else each state is appended as a block.
#pragma once

#include <cstdio>
#include <string>

#include "ADistDialogState.h"

class TerminalStateView {
 public:
  TerminalStateView(std::FILE* out, bool interactive);

  void show(const ADistDialogState& state);

  // The text show draws, without any terminal control sequence.
  static std::string render(const ADistDialogState& state);

 private:
  std::FILE* m_pOut;
  bool m_bInteractive;
};

// The terminal view of cvdtdlg.exe.
#include "TerminalStateView.h"

#include <algorithm>

namespace {

// Texts on one line: control characters become blanks.
std::string oneLine(std::string text) {
  std::replace_if(text.begin(), text.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
  return text;
}

std::string itemLine(const ADistDialogState& state, const ADistDialogItem& item) {
  char head[48];
  std::snprintf(head, sizeof head, "%10d  %-3s  ", item.distId,
                item.status.empty() ? "---" : oneLine(item.status).c_str());
  std::string line = head;
  int32_t percent = state.percentOf(item);
  if (percent >= 0) {
    char number[8];
    std::snprintf(number, sizeof number, "%3d%%", static_cast<int>(std::min(percent, 100)));
    line += number;
  } else {
    line += "    ";
  }
  return line + "  " + oneLine(item.name);
}

}  // namespace

TerminalStateView::TerminalStateView(std::FILE* out, bool interactive)
    : m_pOut(out), m_bInteractive(interactive) {}

std::string TerminalStateView::render(const ADistDialogState& state) {
  std::string text = "Automatic software distribution\n";
  for (const ADistDialogItem& item : state.items) text += itemLine(state, item) + "\n";
  if (state.items.empty()) text += "  (no items)\n";
  text += "Now: ";
  if (state.currentId != 0) {
    text += std::to_string(state.currentId) + "  " + oneLine(state.currentStatus);
    if (state.percent >= 0) text += "  " + std::to_string(state.percent) + "%";
    if (!state.detail.empty()) text += "  " + oneLine(state.detail);
  } else {
    text += "-";
  }
  return text + "\n";
}

void TerminalStateView::show(const ADistDialogState& state) {
  if (m_bInteractive) std::fputs("\x1b[H\x1b[2J", m_pOut);  // home and clear, then redraw
  std::fputs(render(state).c_str(), m_pOut);
  if (!m_bInteractive) std::fputs("\n", m_pOut);
  std::fflush(m_pOut);
}

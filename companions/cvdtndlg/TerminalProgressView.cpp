// The terminal view of cvdtndlg.exe.
#include "TerminalProgressView.h"

#include <algorithm>

namespace {

constexpr int kBarWidth = 20;

// The message on one line: line breaks and tabs become blanks.
std::string oneLine(std::string text) {
  std::replace_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
  return text;
}

}  // namespace

TerminalProgressView::TerminalProgressView(std::FILE* out, bool interactive)
    : m_pOut(out), m_bInteractive(interactive) {}

std::string TerminalProgressView::progressLine(const DialogFrame& frame) {
  int percent = static_cast<int>(std::min<uint32_t>(frame.progress, 100));
  int filled = percent * kBarWidth / 100;
  std::string line = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "] ";
  char number[8];
  std::snprintf(number, sizeof number, "%3d%%", percent);
  line += number;
  line += "  " + (frame.status.empty() ? std::string("---") : frame.status);
  if (!frame.message.empty()) line += "  " + oneLine(frame.message);
  return line;
}

void TerminalProgressView::showTitle(const DialogTitle& title) {
  std::string caption = title.caption.empty() ? "Software distribution" : oneLine(title.caption);
  std::string heading = caption + ": " + oneLine(title.name);
  if (!title.version.empty()) heading += " " + oneLine(title.version);
  std::fprintf(m_pOut, "%s\n", heading.c_str());
  if (!title.description.empty()) std::fprintf(m_pOut, "%s\n", oneLine(title.description).c_str());
  std::fflush(m_pOut);
}

void TerminalProgressView::showFrame(const DialogFrame& frame) {
  std::string line = progressLine(frame);
  if (m_bInteractive) {
    std::fprintf(m_pOut, "\r%s\x1b[K", line.c_str());  // redraw in place, clear what was longer
    m_bLineOpen = true;
  } else {
    std::fprintf(m_pOut, "%s\n", line.c_str());
  }
  std::fflush(m_pOut);
}

void TerminalProgressView::finish() {
  if (m_bLineOpen) std::fprintf(m_pOut, "\n");
  m_bLineOpen = false;
  std::fflush(m_pOut);
}

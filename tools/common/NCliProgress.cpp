// The terminal progress line of the tools.
#include "NCliProgress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace cvdt::cli {

NCliProgress::NCliProgress(std::string strLabel, Unit unit)
    : m_strLabel(std::move(strLabel)), m_unit(unit), m_bActive(isatty(STDOUT_FILENO) == 1) {}

NCliProgress::~NCliProgress() { clear(); }

size_t NCliProgress::terminalWidth() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 10) return size.ws_col;
  return 80;
}

std::string NCliProgress::bytesText(uint64_t nBytes) {
  const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(nBytes);
  size_t unit = 0;
  while (value >= 1024 && unit + 1 < sizeof units / sizeof units[0]) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
  return text;
}

void NCliProgress::update(uint64_t nDone, uint64_t nTotal, const std::string& strItem) {
  if (!m_bActive) return;
  auto now = std::chrono::steady_clock::now();
  bool bLast = nTotal != 0 && nDone >= nTotal;
  if (m_bDrawn && !bLast && now - m_tLastDraw < std::chrono::milliseconds(100)) return;
  m_tLastDraw = now;
  auto count = [this](uint64_t n) { return m_unit == Unit::Bytes ? bytesText(n) : std::to_string(n); };
  std::string line = m_strLabel + " " + count(nDone);
  if (nTotal != 0)
    line += " of " + count(nTotal) + " (" + std::to_string(nDone * 100 / nTotal) + "%)";
  if (!strItem.empty()) line += " " + strItem;
  size_t nWidth = terminalWidth() - 1;
  if (line.size() > nWidth) line = line.substr(0, nWidth - 3) + "...";
  std::fprintf(stdout, "\r\033[K%s", line.c_str());
  std::fflush(stdout);
  m_bDrawn = true;
}

void NCliProgress::clear() {
  if (!m_bDrawn) return;
  std::fprintf(stdout, "\r\033[K");
  std::fflush(stdout);
  m_bDrawn = false;
}

}  // namespace cvdt::cli

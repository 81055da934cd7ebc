// NCliProgress: one self-rewriting progress line for long work, drawn only when standard
// output is a terminal; when it is not (a pipe, a file), nothing is drawn at all.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace cvdt::cli {

class NCliProgress {
 public:
  enum class Unit { Count, Bytes };
  // strLabel starts the line ("packing", "checking"); unit says how the counts read.
  explicit NCliProgress(std::string strLabel, Unit unit = Unit::Count);
  // Erases the line.
  ~NCliProgress();
  NCliProgress(const NCliProgress&) = delete;
  NCliProgress& operator=(const NCliProgress&) = delete;

  // True when standard output is a terminal (the line is drawn).
  bool active() const { return m_bActive; }
  // nDone of nTotal (nTotal 0: unknown), with the item being worked on. Redrawn at most ten
  // times a second, and always when nDone reaches nTotal.
  void update(uint64_t nDone, uint64_t nTotal, const std::string& strItem);
  // Erases the line, so that an ordinary line can be printed; the next update draws it again.
  void clear();

  // "1.5 MiB": a byte count for the line.
  static std::string bytesText(uint64_t nBytes);

 private:
  static size_t terminalWidth();

  std::string m_strLabel;
  Unit m_unit;
  bool m_bActive = false;
  bool m_bDrawn = false;
  std::chrono::steady_clock::time_point m_tLastDraw{};
};

}  // namespace cvdt::cli

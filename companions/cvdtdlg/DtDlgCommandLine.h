// The command line of cvdtdlg.exe: options for tests and tools, then what the module passes,
//   [--once] [--interval-ms N] TOKEN
// where TOKEN must be the module's launch token for the automatic dialog.
#pragma once

#include <string>
#include <vector>

class DtDlgCommandLine {
 public:
  static constexpr const char* kLaunchToken = "7E2A9F04B13C";

  enum class Result { Ok, Usage, WrongToken };

  // Reads the arguments (without the program name). On Usage or WrongToken, error says why and
  // out is unchanged. A missing token is refused like a wrong one.
  static Result parse(const std::vector<std::string>& arguments, DtDlgCommandLine& out,
                      std::string& error);

  bool once() const { return m_bOnce; }
  int intervalMs() const { return m_nIntervalMs; }

 private:
  bool m_bOnce = false;
  int m_nIntervalMs = 250;
};

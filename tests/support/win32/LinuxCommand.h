// Programs of the Linux host run from a Windows test program under Wine. Wine starts a Linux
// executable given to CreateProcess, but hands back neither a process handle nor its standard
// handles; so the command runs through /bin/sh with its output and exit status written to files
// of a folder that both sides see, and the caller reads those.
#pragma once

#include <chrono>
#include <string>

#include "support/Subprocess.h"

namespace cvdt::test {

// The Linux path of a path of this Windows machine (Wine's drive mapping); empty when Wine
// names none.
std::string linuxPath(const std::string& windowsPath);

class LinuxCommand {
 public:
  // Starts the command (POSIX shell syntax) in the background; started() tells whether Wine
  // took it.
  explicit LinuxCommand(const std::string& shellCommand);
  // Removes the command's folder; a command still running is left to run.
  ~LinuxCommand();
  LinuxCommand(const LinuxCommand&) = delete;
  LinuxCommand& operator=(const LinuxCommand&) = delete;

  bool started() const { return m_bStarted; }
  // Waits up to timeout for the command's end: its exit status, or -2 when it still runs.
  int wait(std::chrono::milliseconds timeout) const;
  // What it has written to standard output and standard error so far.
  std::string out() const;
  std::string err() const;

 private:
  std::string m_strFolder;
  bool m_bStarted = false;
};

// Runs a shell command on the Linux host and waits up to timeout for it (-2 at the time-out).
ProcessResult runOnLinux(const std::string& shellCommand,
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

// A word for a POSIX shell command line: the text in single quotes.
std::string shellQuoted(const std::string& text);

}  // namespace cvdt::test

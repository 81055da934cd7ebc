// Stand-in programs: this test program installed under another name (a package's setup.exe,
// msiexec.exe, cvdtndlg.exe). Run under that name it records how it was run beside itself and
// exits with the code the test chose.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace cvdt::test {

struct StandInRun {
  bool ran = false;
  std::string uid;
  std::string cwd;      // host path
  std::string show;     // CVDT_SHOW_WINDOW, "-" when unset (a visible window)
  std::string session;  // CVDT_SESSION, "-" when unset
  std::vector<std::string> args;  // without the program name
};

// Installs the stand-in at a host path (its folder is created and opened to every user, so
// that a program run as the console user can record there).
void installStandIn(const std::string& hostPath, uint32_t exitCode);
// What the stand-in at hostPath recorded, waiting up to timeout for a program that was not
// waited for; ran is false when nothing was recorded in time.
StandInRun standInRun(const std::string& hostPath,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds(0));
// Where the stand-in installed as program writes its record.
std::string standInRecordFile(const std::string& program);
// Reads a record file into run (ran set); false when the file cannot be read.
bool readStandInRecord(const std::string& path, StandInRun& run);

}  // namespace cvdt::test

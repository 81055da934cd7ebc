// WineProgram: runs a program of the win64 build under wine64 for a Linux test, in the
// WINEPREFIX that scripts/test-windows made for the run. Wine maps the Linux root to drive Z:.
#pragma once

#include <string>
#include <vector>

namespace cvdt::test {

class WineProgram {
 public:
  // Why Windows programs cannot run here ("" when they can): no wine64, no WINEPREFIX (the
  // tests run through scripts/test-windows), or no win64 build.
  static std::string unavailable();
  // The win64 build's stage folder (cvdt.dll, the companions, cvdt-host.exe), a host path.
  static std::string stageFolder();
  // A host path as Wine sees it: "Z:\tmp\x".
  static std::string windowsPath(const std::string& hostPath);

  // Runs program (a host path) with the arguments; what it printed on standard output (its
  // standard error goes to the test's).
  static std::string run(const std::string& program, const std::vector<std::string>& arguments,
                         int& exitCode);
};

}  // namespace cvdt::test

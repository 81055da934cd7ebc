// Lays out an installed V3 anti-virus product in a test machine: the install folder in the
// registry, the product file with a chosen file version text, the settings file, the
// replacement V3 libraries and their engine date file.
//
// Contract: call installV3 after the TestMachine is built; it writes only inside the machine.
// It needs the PE test files and the replacement libraries of the build; v3InstallAvailable
// tells whether they are there (a test should GTEST_SKIP with the reason otherwise).
#pragma once

#include <string>

#include "support/TestMachine.h"

namespace cvdt::test {

struct V3Product {
  // Install folder; written as the default value of HKLM\Software\Ahnlab\V3Pro (32-bit view)
  // when registerFolder is set.
  std::string folder = "C:\\Program Files\\AhnLab\\V3";
  bool registerFolder = true;
  // "V3MainUI.dll" or "V3Pro32.exe" (a PE file whose FileVersion text is fileVersion); empty:
  // no product file.
  std::string productFile = "V3MainUI.dll";
  // At most 32 characters. "" gives a product file without a version resource.
  std::string fileVersion = "6.0.3.5";
  // Written to "V3Sec.dat" in the folder ([V3Sec] IsV3Net, IsV3CSS, MasterType) when
  // settingsFile is set.
  bool isV3Net = false;
  bool isV3Css = false;
  bool masterType = false;
  bool settingsFile = true;
  // Copies V3VName.dll, AhnInst.dll and V3Cfg32.dll into the folder.
  bool libraries = true;
  // First line of "V3EngineDate.txt" beside V3VName.dll; empty: no such file.
  std::string engineDate = "2026.12.01";
  // Also puts V3VName.dll and its date file in the system folder (as this 32-bit module sees
  // it: SysWOW64 on a 64-bit machine), where a bare-name load finds them. The detection
  // language reads the engine date with an empty V3 folder, so only this reaches it.
  bool engineInSystemFolder = false;
};

// True when the files installV3 needs were built; otherwise why holds the reason.
bool v3InstallAvailable(std::string& why);
// Writes the product into the machine. Adds a GoogleTest failure and returns false when a file
// cannot be made.
bool installV3(const TestMachine& machine, const V3Product& product);
// Writes a product file (a PE library whose FileVersion text is fileVersion, or one without a
// version resource when fileVersion is empty) at a Windows path of the machine.
bool writeV3ProductFile(const TestMachine& machine, const std::string& windowsPath,
                        const std::string& fileVersion);

}  // namespace cvdt::test

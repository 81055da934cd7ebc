// Helpers for the detection tests: condition texts, evaluation, and the facts a test machine is
// given (files in both program folders and system folders, registry values in both views).
#pragma once

#include <initializer_list>
#include <string>
#include <utility>

#include "support/TestMachine.h"

namespace cvdt::test {

using Operands = std::initializer_list<std::pair<const char*, std::string>>;

// "<expression><tag><name>value</name>...</tag></expression>".
std::string condition(const std::string& tag, Operands operands);
std::string andOf(const std::string& a, const std::string& b);
std::string orOf(const std::string& a, const std::string& b);
std::string notOf(const std::string& a);
// 1 or 0 on success, -1 when the evaluation fails.
int evaluateText(const std::string& text);

// A string value in the 32- or 64-bit view of HKLM (32-bit machines have one view).
void setRegistryText(bool view64, const std::string& key, const std::string& name,
                     const std::string& value);

// Lays out the facts the language tests look for:
//   C:\Program Files (x86)\Vendor\App\app.exe and \bin\ (32-bit program folder)
//   C:\Program Files\Vendor\App64\app64.exe (64-bit program folder; on 32-bit machines absent)
//   C:\Windows\System32\only64.dll (64-bit machines)
//   HKLM\SOFTWARE\Vendor\App (32-bit view): InstallDir, ExePath, Version "5.2.1", Edition,
//   default value "App"; HKLM\SOFTWARE\Vendor\App64 (64-bit view): InstallDir, Version.
void layOutDetectFacts(const TestMachine& machine);

// Copies a PE file with a known version resource from the build's version data (for example
// "fixed1234.dll", file version 1.2.3.40) to a Windows path of the machine, redirection off.
// False when the build could not make those files.
bool placeVersionFile(const TestMachine& machine, const std::string& windowsPath,
                      const std::string& dataName);

}  // namespace cvdt::test

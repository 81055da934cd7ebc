// The 32-bit Windows module as the host agent's loader sees it: exactly the seven exports under
// their undecorated names, cdecl, only system DLLs imported (the compiler's runtime is inside),
// a version resource, and an i386 image. Read from the win32 preset's cvdt.dll with the
// MinGW-w64 binutils and our own PE reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/PeVersionResource.h"
#include "platform/PlatformFile.h"
#include "platform/VersionBlock.h"
#include "support/CommandOutput.h"

namespace {

using cvdt::test::commandOutput;

const std::string kModule = CVDT_WIN32_MODULE;

const std::set<std::string> kExports = {
    "cvfADistFunc", "cvfADistCmd", "cvfADistNow", "cvfNDistFunc",
    "cvfNDistCmd",  "cvfNDistCmdOuterRequest",    "cvfNDistUrgentTopCancelForceCmd"};

// DLLs every Windows installation has; anything else would have to ship beside the module.
const std::set<std::string> kSystemDlls = {"advapi32.dll", "kernel32.dll", "msvcrt.dll",
                                           "rpcrt4.dll",   "user32.dll",   "version.dll",
                                           "ws2_32.dll",   "userenv.dll",  "wtsapi32.dll",
                                           "psapi.dll",    "ntdll.dll",    "wininet.dll",
                                           "comctl32.dll", "gdi32.dll"};

// The companions of the module folder and the entry points each must export (none for programs).
const std::map<std::string, std::set<std::string>> kCompanions = {
    {"cvftc.dll", {"FtcCreateConnection1V2", "FtcGet1", "FtcEndConnection2"}},
    {"cvlgz.dll", {"GZipCreateExtract", "GZipExtractFile", "GZipCloseHandle", "GZipLastError"}},
    {"cvsw.dll", {"cvfSwGiveStatusFlag"}},
    {"cvlgn.exe", {}},
    {"crvmsg.exe", {}},
    {"cvdtndlg.exe", {}}};

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

class WindowsModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (commandOutput("command -v i686-w64-mingw32-objdump").empty())
      GTEST_SKIP() << "needs the MinGW-w64 binutils (scripts/deps.sh installs them)";
    std::string content;
    if (!plat::readHostFile(kModule, content))
      GTEST_SKIP() << "no " << kModule << ": the MinGW-w64 compilers are missing "
                   << "(scripts/deps.sh --windows) or the win32 preset was not built";
  }

  static std::string privateHeaders() { return commandOutput("i686-w64-mingw32-objdump -p '" + kModule + "'"); }

  // The names of the export name table ("[Ordinal/Name Pointer] Table" rows "[   n] name").
  static std::vector<std::string> exportedNames(const std::string& dump) {
    std::vector<std::string> names;
    std::istringstream lines(dump.substr(std::min(dump.size(), dump.find("[Ordinal/Name Pointer] Table"))));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && line.find('[') != std::string::npos)
      names.push_back(line.substr(line.find(']') + 2));
    return names;
  }

  static std::vector<std::string> importedDlls(const std::string& dump) {
    std::vector<std::string> dlls;
    std::istringstream lines(dump);
    for (std::string line; std::getline(lines, line);) {
      size_t at = line.find("DLL Name: ");
      if (at != std::string::npos) dlls.push_back(line.substr(at + 10));
    }
    return dlls;
  }
};

// A cdecl function's symbol is "_name"; stdcall would decorate it as "_name@bytes".
TEST_F(WindowsModuleTest, ExportsExactlyTheSevenCdeclFunctionsUndecoratedAndImportsOnlySystemDlls) {
  std::string dump = privateHeaders();
  EXPECT_NE(dump.find("file format pei-i386"), std::string::npos) << dump.substr(0, 200);
  std::vector<std::string> names = exportedNames(dump);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), kExports);
  EXPECT_EQ(names.size(), kExports.size()) << "an export appears twice";
  std::string symbols = commandOutput("i686-w64-mingw32-nm '" + kModule + "'");
  for (const std::string& name : kExports) {
    EXPECT_NE(symbols.find(" _" + name + "\n"), std::string::npos) << name;
    EXPECT_EQ(symbols.find("_" + name + "@"), std::string::npos) << name << " is stdcall";
  }
  std::vector<std::string> dlls = importedDlls(dump);
  ASSERT_FALSE(dlls.empty());
  for (const std::string& dll : dlls)
    EXPECT_TRUE(kSystemDlls.count(lower(dll)) == 1) << dll << " is not a system DLL";
}

// The companions are built with the module folder (cvdt_stage: scripts/test-windows and
// scripts/package-windows build it; the ctest fixture builds the module alone).
TEST_F(WindowsModuleTest, CompanionsAreI386ImagesWithTheirEntryPointsAndSystemImports) {
  std::string folder = kModule.substr(0, kModule.rfind('/') + 1);
  std::string content;
  if (!plat::readHostFile(folder + "cvftc.dll", content))
    GTEST_SKIP() << "no companions in " << folder << " (scripts/test-windows builds them)";
  for (const auto& [file, entryPoints] : kCompanions) {
    std::string dump = commandOutput("i686-w64-mingw32-objdump -p '" + folder + file + "'");
    EXPECT_NE(dump.find("file format pei-i386"), std::string::npos) << file;
    std::vector<std::string> names = exportedNames(dump);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), entryPoints) << file;
    std::vector<std::string> dlls = importedDlls(dump);
    EXPECT_FALSE(dlls.empty()) << file;
    for (const std::string& dll : dlls)
      EXPECT_TRUE(kSystemDlls.count(lower(dll)) == 1) << file << " imports " << dll;
  }
}

TEST_F(WindowsModuleTest, CarriesAVersionResource) {
  plat::File file;
  ASSERT_TRUE(file.openHost(kModule, plat::FileMode::Read));
  plat::ReadAt readAt = [&file](uint64_t offset, void* buffer, size_t count) {
    return file.seek(offset) && file.read(buffer, count) == count;
  };
  std::string resource;
  ASSERT_TRUE(plat::readPeVersionResource(readAt, static_cast<uint64_t>(file.size()), resource));
  std::vector<char> block(plat::versionBlockSize(static_cast<uint32_t>(resource.size())));
  ASSERT_TRUE(plat::fillVersionBlock(resource, block.data(), static_cast<uint32_t>(block.size())));
  const void* value = nullptr;
  uint32_t length = 0;
  ASSERT_TRUE(plat::queryVersionBlock(block.data(), "\\StringFileInfo\\040904b0\\OriginalFilename",
                                      &value, &length));
  EXPECT_EQ(std::string(static_cast<const char*>(value), length), "cvdt.dll");
  ASSERT_TRUE(plat::queryVersionBlock(block.data(), "\\", &value, &length));
  EXPECT_EQ(length, 52u);  // VS_FIXEDFILEINFO
}

}  // namespace

// NDownload and NLgzExtract when their libraries are missing, incomplete, or never connected.
#include <gtest/gtest.h>

#include <filesystem>

#include "net/NDownload.h"
#include "net/NLgzExtract.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::TestMachine;
namespace fs = std::filesystem;

void removeCompanions(const TestMachine& machine) {
  for (const char* name : {"\\cvftc.dll", "\\cvlgz.dll"})
    fs::remove(machine.host(machine.config().moduleFolder + name));
}

TEST(NCompanionWrapperTest, MissingLibrariesFailEveryOperation) {
  TestMachine machine;
  removeCompanions(machine);
  NDownload download;
  EXPECT_FALSE(download.connect("http", "", "127.0.0.1", 80, 1, nullptr));
  EXPECT_FALSE(download.get("/a", "C:\\Temp\\a"));
  download.close(1);
  NLgzExtract extract;
  EXPECT_FALSE(extract.extract("C:\\Temp", "C:\\Temp\\x.lgz"));
  EXPECT_FALSE(extract.extract("x.lgz"));
  std::string log = machine.traceLog();
  for (const char* line : {
           "NDownload::loadFtcLibrary: LoadLibrary failed 1 (C:\\Program Files (x86)\\Plumbex\\"
           "Corvane\\Modules\\cvftc.dll)\n",
           "NDownload::connect: dll load error\n", "NDownload::get: FtcHandle is null\n",
           "NDownload::close: close error, m_pFtcHandle is null \n",
           "NDownload::loadGZipLibrary: LoadLibrary failed 1 (",
           "NLgzExtract::extract: dll load error\n"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
}

TEST(NCompanionWrapperTest, LibrariesWithoutAllEntryPointsAreUnloadedAtOnce) {
  TestMachine machine;
  for (const char* name : {"\\cvftc.dll", "\\cvlgz.dll"}) {
    fs::copy_file(CVDT_PARTIAL_COMPANION, machine.host(machine.config().moduleFolder + name),
                  fs::copy_options::overwrite_existing);
  }
  NDownload download;
  EXPECT_FALSE(download.connect("http", "", "127.0.0.1", 80, 1, nullptr));
  NLgzExtract extract;
  EXPECT_FALSE(extract.extract("C:\\Temp\\x.lgz"));
  std::string log = machine.traceLog();
  EXPECT_NE(log.find("NDownload::loadFtcLibrary: LoadLibrary failed 2 ("), std::string::npos);
  EXPECT_NE(log.find("NDownload::loadGZipLibrary: LoadLibrary failed 2 ("), std::string::npos);
  EXPECT_NE(log.find("NDownload::connect: dll load error\n"), std::string::npos);
  EXPECT_NE(log.find("NLgzExtract::extract: dll load error\n"), std::string::npos);
}

}  // namespace

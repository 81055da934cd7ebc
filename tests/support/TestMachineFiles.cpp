// The file helpers of a test machine, the same on the emulated Linux machine and on Windows:
// Windows paths through the platform's path mapping, the day's trace file in the module folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/PlatformFs.h"
#include "platform/PlatformSystem.h"
#include "support/TestMachine.h"

namespace cvdt::test {

namespace fs = std::filesystem;

std::string TestMachine::host(const std::string& windowsPath) const {
  return plat::toHostPath(windowsPath);
}

void TestMachine::writeFile(const std::string& windowsPath, const std::string& content) const {
  fs::path path(host(windowsPath));
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << content;
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string TestMachine::readFile(const std::string& windowsPath) const {
  std::ifstream in(host(windowsPath), std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string TestMachine::traceLog() const {
  std::tm local{};
  plat::localTime(std::time(nullptr), local);
  char name[48];
  std::snprintf(name, sizeof name, "\\cvdt_%4.4d%2.2d%2.2d.log", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday);
  return readFile(m_config.moduleFolder + name);
}

plat::ModuleHandle TestMachine::moduleHandle() const {
  return plat::moduleHandleForFile(m_config.moduleFolder + "\\cvdt.dll");
}

}  // namespace cvdt::test

// Fresh machines for tests.
#include "support/TestMachine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/NMisc.h"
#include "platform/PlatformFs.h"

namespace cvdt::test {
namespace fs = std::filesystem;

std::string makeTempFolder(const std::string& prefix) {
  static std::atomic<int> counter{0};
  fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate = base / (prefix + "-" + std::to_string(getpid()) + "-" +
                                 std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) return candidate.string();
    if (ec) ADD_FAILURE() << "cannot create " << candidate << ": " << ec.message();
  }
}

TestMachine::TestMachine(const Customize& customize) {
  std::string root = makeTempFolder("cvdt-machine");
  m_config = plat::posix::defaultMachine(root, true);
  plat::posix::LayoutOptions options;
  options.traceLevel = "10";
#ifdef CVDT_STAGE_DIR
  options.stageFolder = CVDT_STAGE_DIR;
#endif
  if (customize) customize(m_config, options);
  std::string error;
  if (!plat::posix::layOutMachine(m_config, options, error)) ADD_FAILURE() << error;
  NMisc::setThisModule(moduleHandle());
}

TestMachine::~TestMachine() {
  NMisc::setThisModule(nullptr);
  unsetenv("CVDT_MACHINE");
  plat::posix::reloadMachine();
  std::error_code ec;
  fs::permissions(m_config.root, fs::perms::owner_all, fs::perm_options::add, ec);
  for (auto it = fs::recursive_directory_iterator(m_config.root, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(m_config.root, ec);
}

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

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

}  // namespace cvdt::test

// A fresh emulated machine in a temporary folder for one test: CVDT_MACHINE points at it for
// the test's lifetime and the folder is removed afterwards.
#pragma once

#include <functional>
#include <string>

#include "platform/PlatformSystem.h"
#include "platform/posix/MachineConfig.h"
#include "platform/posix/MachineLayout.h"

namespace cvdt::test {

class TestMachine {
 public:
  using Customize = std::function<void(plat::posix::MachineConfig&, plat::posix::LayoutOptions&)>;

  // A 64-bit Windows 10 machine, language 1033, C: fixed, trace level 10, the build's stage
  // folder installed; customize may change any of that before the layout is written.
  explicit TestMachine(const Customize& customize = nullptr);
  ~TestMachine();
  TestMachine(const TestMachine&) = delete;
  TestMachine& operator=(const TestMachine&) = delete;

  const std::string& root() const { return m_config.root; }
  const plat::posix::MachineConfig& config() const { return m_config; }
  // Host path of a Windows path of this machine.
  std::string host(const std::string& windowsPath) const;
  // Writes a file (parent folders created) at a Windows path.
  void writeFile(const std::string& windowsPath, const std::string& content) const;
  // The file's content, or "<missing>".
  std::string readFile(const std::string& windowsPath) const;
  // Today's trace log of the module folder, or "<missing>".
  std::string traceLog() const;
  // A module handle naming "<module folder>\cvdt.dll", so the module's folder is this machine's.
  plat::ModuleHandle moduleHandle() const;

 private:
  plat::posix::MachineConfig m_config;
};

// A unique empty temporary folder (host path), removed by the caller.
std::string makeTempFolder(const std::string& prefix);

}  // namespace cvdt::test

// Condition texts and machine facts for the detection tests.
#include "DetectTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "detect/NEswDetectParser.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformRegistry.h"

namespace cvdt::test {

std::string condition(const std::string& tag, Operands operands) {
  std::string text = "<expression><" + tag + ">";
  for (const auto& [name, value] : operands)
    text += "<" + std::string(name) + ">" + value + "</" + name + ">";
  return text + "</" + tag + "></expression>";
}

std::string andOf(const std::string& a, const std::string& b) {
  return "<expression><and>" + a + b + "</and></expression>";
}

std::string orOf(const std::string& a, const std::string& b) {
  return "<expression><or>" + a + b + "</or></expression>";
}

std::string notOf(const std::string& a) { return "<expression><not>" + a + "</not></expression>"; }

int evaluateText(const std::string& text) {
  NEswDetectParser parser;
  int result = 7;
  if (!parser.evaluate(text.c_str(), result)) return result == 7 ? -1 : -2;  // -2: result written
  return result;
}

void setRegistryText(bool view64, const std::string& key, const std::string& name,
                     const std::string& value) {
  plat::RegKey handle;
  uint32_t access = plat::kKeyAllAccess | (view64 ? plat::kKeyWow64_64Key : plat::kKeyWow64_32Key);
  ASSERT_EQ(plat::RegKey::create(plat::RegRoot::LocalMachine, key, access, handle), 0u) << key;
  ASSERT_EQ(handle.setValue(name, plat::kRegSz, value.c_str(), value.size() + 1), 0u) << key;
}

void layOutDetectFacts(const TestMachine& machine) {
  bool is64 = machine.config().is64Bit;
  std::string programs32 = is64 ? "C:\\Program Files (x86)" : "C:\\Program Files";
  machine.writeFile(programs32 + "\\Vendor\\App\\app.exe", "MZ");
  std::filesystem::create_directories(machine.host(programs32 + "\\Vendor\\App") + "/bin");
  std::filesystem::create_directories(machine.host(programs32 + "\\Vendor\\App") + "/folder.exe");
  const std::string key = "SOFTWARE\\Vendor\\App";
  setRegistryText(false, key, "InstallDir", programs32 + "\\Vendor\\App\\");
  setRegistryText(false, key, "ExePath", programs32 + "\\Vendor\\App\\bin\\app.exe");
  setRegistryText(false, key, "Version", "5.2.1");
  setRegistryText(false, key, "Edition", "Professional Edition");
  setRegistryText(false, key, "", "App");
  if (!is64) return;
  machine.writeFile("C:\\Program Files\\Vendor\\App64\\app64.exe", "MZ");
  void* old = nullptr;
  plat::disableRedirection(&old);  // System32 itself, not its 32-bit view
  machine.writeFile("C:\\Windows\\System32\\only64.dll", "MZ");
  plat::revertRedirection(old);
  setRegistryText(true, "SOFTWARE\\Vendor\\App64", "InstallDir", "C:\\Program Files\\Vendor\\App64");
  setRegistryText(true, "SOFTWARE\\Vendor\\App64", "Version", "10.0");
}

bool placeVersionFile(const TestMachine& machine, const std::string& windowsPath,
                      const std::string& dataName) {
  std::string source = std::string(CVDT_VERSION_DATA_DIR) + "/" + dataName;
  if (std::string(CVDT_VERSION_DATA_DIR).empty() || !std::filesystem::exists(source)) return false;
  void* old = nullptr;
  plat::disableRedirection(&old);
  std::filesystem::path target(machine.host(windowsPath));
  plat::revertRedirection(old);
  std::filesystem::create_directories(target.parent_path());
  std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
  return true;
}

}  // namespace cvdt::test

// Installs V3 products into test machines from the build's PE test files and replacement
// libraries.
#include "support/V3Install.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "detect/NRegistry.h"
#include "platform/NMisc.h"
#include "platform/PlatformFile.h"

namespace cvdt::test {
namespace {

namespace fs = std::filesystem;

constexpr char kPlaceholder[] = "@@V3-FILE-VERSION-PLACEHOLDER@@@";
constexpr size_t kPlaceholderLength = sizeof kPlaceholder - 1;

std::string utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

std::string dataFile(const char* name) { return std::string(CVDT_VERSION_DATA_DIR) + "/" + name; }

bool readData(const char* name, std::string& content) {
  if (plat::readHostFile(dataFile(name), content)) return true;
  ADD_FAILURE() << "cannot read test file " << dataFile(name);
  return false;
}

bool copyLibrary(const TestMachine& machine, const std::string& folder, const char* name) {
  std::string content;
  std::string source = std::string(CVDT_V3_COMPANION_DIR) + "/" + name;
  if (!plat::readHostFile(source, content)) {
    ADD_FAILURE() << "cannot read " << source;
    return false;
  }
  machine.writeFile(folder + "\\" + name, content);
  return true;
}

}  // namespace

bool v3InstallAvailable(std::string& why) {
  if (std::string(CVDT_VERSION_DATA_DIR).empty()) {
    why =
        "PE test files were not built (install binutils-mingw-w64-i686 and "
        "binutils-mingw-w64-x86-64, then re-run cmake)";
    return false;
  }
  for (const char* name : {"V3VName.dll", "AhnInst.dll", "V3Cfg32.dll"}) {
    if (!fs::exists(std::string(CVDT_V3_COMPANION_DIR) + "/" + name)) {
      why = std::string("replacement library ") + name + " was not built";
      return false;
    }
  }
  return true;
}

bool writeV3ProductFile(const TestMachine& machine, const std::string& windowsPath,
                        const std::string& fileVersion) {
  std::string content;
  if (fileVersion.empty()) {
    if (!readData("noversion.dll", content)) return false;
  } else {
    if (fileVersion.size() > kPlaceholderLength || !readData("v3product.dll", content)) {
      ADD_FAILURE() << "file version text longer than " << kPlaceholderLength;
      return false;
    }
    size_t at = content.find(utf16(kPlaceholder));
    if (at == std::string::npos) {
      ADD_FAILURE() << "v3product.dll lacks its placeholder";
      return false;
    }
    std::string text = utf16(fileVersion);
    text.resize(kPlaceholderLength * 2, '\0');
    content.replace(at, text.size(), text);
  }
  machine.writeFile(windowsPath, content);
  return true;
}

bool installV3(const TestMachine& machine, const V3Product& product) {
  if (product.registerFolder) {
    NRegistry key;
    if (!key.open(plat::RegRoot::LocalMachine, "Software\\Ahnlab\\V3Pro", false, false, false) ||
        !key.writeText("", product.folder.c_str())) {
      ADD_FAILURE() << "cannot register the V3 folder";
      return false;
    }
  }
  if (!product.productFile.empty() &&
      !writeV3ProductFile(machine, product.folder + "\\" + product.productFile,
                          product.fileVersion))
    return false;
  if (product.settingsFile) {
    machine.writeFile(product.folder + "\\V3Sec.dat",
                      "[V3Sec]\r\nIsV3Net=" + std::to_string(product.isV3Net ? 1 : 0) +
                          "\r\nIsV3CSS=" + std::to_string(product.isV3Css ? 1 : 0) +
                          "\r\nMasterType=" + std::to_string(product.masterType ? 1 : 0) + "\r\n");
  }
  if (product.libraries) {
    for (const char* name : {"V3VName.dll", "AhnInst.dll", "V3Cfg32.dll"}) {
      if (!copyLibrary(machine, product.folder, name)) return false;
    }
  }
  std::vector<std::string> engineFolders = {product.folder};
  if (product.engineInSystemFolder) {
    engineFolders.push_back(NMisc::getSystemFolder(0).text());
    if (!copyLibrary(machine, engineFolders.back(), "V3VName.dll")) return false;
  }
  for (const std::string& folder : engineFolders) {
    if (!product.engineDate.empty())
      machine.writeFile(folder + "\\V3EngineDate.txt", product.engineDate + "\r\n");
  }
  return true;
}

}  // namespace cvdt::test

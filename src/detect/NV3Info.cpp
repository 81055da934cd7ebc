// Which V3 anti-virus product is installed and how recent its scan engine is: the install
// folder from the registry, the product file's version, the settings through the product's
// libraries, and the engine date through its name library.
#include "detect/NV3Info.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "detect/NFileVersion.h"
#include "detect/NRegistry.h"
#include "detect/V3Library.h"
#include "platform/NMisc.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformLibrary.h"
#include "platform/PlatformText.h"

namespace {

constexpr int kEngineTextUnits = 49;
constexpr char kUnknownProduct[] = "Unknown V3 Product Name";

std::basic_string<V3Char> toLibraryText(const std::string& text) {
  std::u16string wide = plat::ansiToWide(text);
  return std::basic_string<V3Char>(wide.begin(), wide.end());
}

// The folder (at most 259 characters) ending with one backslash.
std::string folderWithBackslash(const char* folder) {
  std::string text(folder != nullptr ? folder : "");
  if (text.size() > 259) text.resize(259);
  if (text.empty() || text.back() != '\\') text += '\\';
  return text;
}

// The ANSI form of the engine's UTF-16 text, at most 49 characters, never cutting a character.
NString engineText(const V3Char* units) {
  std::u16string wide;
  for (int i = 0; i < kEngineTextUnits && units[i] != 0; ++i)
    wide.push_back(static_cast<char16_t>(units[i]));
  std::string ansi = plat::wideToAnsi(wide);
  // A character takes one or more bytes in the code page: drop whole characters until it fits.
  while (ansi.size() > kEngineTextUnits && !wide.empty()) {
    wide.pop_back();
    if (!wide.empty() && wide.back() >= 0xD800 && wide.back() < 0xDC00) wide.pop_back();
    ansi = plat::wideToAnsi(wide);
  }
  return NString(ansi.c_str());
}

// The pieces of a version text between ".", ",", tabs and spaces; empty pieces are skipped.
std::vector<std::string> versionPieces(const char* text) {
  std::vector<std::string> pieces;
  std::string piece;
  for (const char* p = text;; ++p) {
    if (*p == '\0' || std::strchr(".,\t ", *p) != nullptr) {
      if (!piece.empty()) pieces.push_back(piece);
      piece.clear();
      if (*p == '\0') break;
    } else {
      piece.push_back(*p);
    }
  }
  return pieces;
}

// The name's form with " SP%d" when withServicePack holds.
NString nameWithServicePack(const char* name, bool withServicePack, int servicePack) {
  char text[512];
  if (withServicePack)
    std::snprintf(text, sizeof text, "%s SP%d", name, servicePack);
  else
    std::snprintf(text, sizeof text, "%s", name);
  return NString(text);
}

NString pickName(int major, int sp, bool net, bool css, bool master) {
  if (major == 4) {
    if (css) return NString(kUnknownProduct);
    return nameWithServicePack(net ? "V3Net for Windows Server" : "V3Pro 2000 DLX", sp > 0, sp);
  }
  if (major == 5) {
    if (!net && !css) return nameWithServicePack("V3Pro 2002 DLX", sp > 0, sp);
    if (!net)
      return nameWithServicePack("V3Pro 2002 DLX (for Ahnlab Client Security)", sp > 0 && sp != 2,
                                 sp);
    if (!css) return nameWithServicePack("V3Net for Windows Server SE", sp > 1, sp);
    return nameWithServicePack("V3Net for Windows Server (for Ahnlab Client Security)", sp > 0, sp);
  }
  if (major == 6) {
    if (net) return nameWithServicePack("V3Net for Windows Server 6.0", sp > 1, sp);
    if (css) return NString("");
    return nameWithServicePack(master ? "V3Pro 2004 (for V3 Internet Security)" : "V3Pro 2004",
                               sp > 0, sp);
  }
  return NString(kUnknownProduct);
}

}  // namespace

void NV3Info::init(const char* folder) {
  m_strFolder = folder != nullptr ? folder : "";
  int length = m_strFolder.length();
  if (length > 0 && m_strFolder.getAt(length - 1) == '\\')
    m_strFolder = m_strFolder.left(length - 1);
}

NString NV3Info::getInstallDir() {
  NRegistry key;
  if (!key.open(plat::RegRoot::LocalMachine, "Software\\Ahnlab\\V3Pro", true, true, false))
    return NString("");
  return key.readValue("");
}

NString NV3Info::getEngineVersion() {
  plat::Library library;
  std::string path = std::string(m_strFolder.text()) + "\\V3VName.dll";
  if (!library.load(path) && !library.load("V3VName.dll")) return NString("");
  auto initialize =
      reinterpret_cast<AhnInitializeNameFileFn>(library.symbol("AhnInitializeNameFile"));
  if (initialize != nullptr) {
    std::string systemFolder(NMisc::getSystemFolder(0).text());
    if (systemFolder.size() > 259) systemFolder.resize(259);
    initialize(toLibraryText(systemFolder).c_str());
  }
  auto engineDate =
      reinterpret_cast<AhnGetEngineDateStringFn>(library.symbol("AhnGetEngineDateString"));
  if (engineDate == nullptr) return NString("");
  V3Char buffer[kEngineTextUnits + 1] = {};
  int answer = engineDate(1, buffer, kEngineTextUnits);
  buffer[kEngineTextUnits] = 0;
  return answer != 0 ? engineText(buffer) : NString("");
}

bool NV3Info::getProductVersion(const char* folder, int& major, int& servicePack) {
  const char* productFile = fileExistsIn(folder, "V3MainUI.dll")  ? "V3MainUI.dll"
                            : fileExistsIn(folder, "V3Pro32.exe") ? "V3Pro32.exe"
                                                                  : nullptr;
  if (productFile == nullptr) return false;
  NFileVersion version;
  version.load((folderWithBackslash(folder) + productFile).c_str());
  char text[260];
  std::snprintf(text, sizeof text, "%.259s", version.fileVersion());
  if (text[0] == '\0' || std::strcmp(text, "None") == 0) return false;
  std::vector<std::string> pieces = versionPieces(text);
  if (pieces.empty()) return false;
  major = std::atoi(pieces[0].c_str());
  if (pieces.size() < 3) return false;
  servicePack = std::atoi(pieces[2].c_str());
  return true;
}

bool NV3Info::isSettingSet(const char* folder, const char* name, int major) {
  std::string base = folderWithBackslash(folder);
  plat::Library library;
  if (!library.load(base + (major >= 5 ? "AhnInst.dll" : "V3Cfg32.dll"))) return false;
  std::basic_string<V3Char> setting = toLibraryText(name != nullptr ? name : "");
  std::basic_string<V3Char> settingsFile = toLibraryText(base + "V3Sec.dat");
  int value = 0;
  if (major >= 5) {
    auto read =
        reinterpret_cast<AhnInst2GetSecProfileIntFn>(library.symbol("AhnInst2_GetSecProfileInt"));
    if (read == nullptr) return false;
    value = read(0, setting.c_str(), 0, settingsFile.c_str());
  } else {
    auto read = reinterpret_cast<V3CfgI2GetSecretIntFn>(library.symbol("V3CfgI2_GetSecretInt"));
    if (read == nullptr) return false;
    value = read(setting.c_str(), 0, settingsFile.c_str());
  }
  return value != 0;
}

NString NV3Info::getProductName() {
  NString folder = getInstallDir();
  int major = 0;
  int servicePack = 0;
  if (!getProductVersion(folder.text(), major, servicePack) || major < 4 || servicePack < 0)
    return NString("");
  bool net = isSettingSet(folder.text(), "IsV3Net", major);
  bool css = isSettingSet(folder.text(), "IsV3CSS", major);
  bool master = isSettingSet(folder.text(), "MasterType", major);
  return pickName(major, servicePack, net, css, master);
}

bool NV3Info::fileExistsIn(const char* folder, const char* fileName) {
  if (fileName == nullptr) return false;
  return plat::pathKind(folderWithBackslash(folder) + fileName) != plat::PathKind::None;
}

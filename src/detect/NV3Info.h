// NV3Info: which V3 anti-virus product is installed and how recent its scan engine is, from its
// installation folder, its version resource, its settings file and two of its libraries. Every
// lookup that fails gives the empty text or false.
#pragma once

#include "platform/NString.h"

class NV3Info {
 public:
  NV3Info() = default;
  virtual ~NV3Info() = default;

  // Stores the folder without one trailing backslash; getEngineVersion looks there first.
  void init(const char* folder);
  // Default value of HKLM\Software\Ahnlab\V3Pro (32-bit view), or empty.
  NString getInstallDir();
  // Engine date text from V3VName.dll, or empty.
  NString getEngineVersion();
  // Major and service pack from the file version of V3MainUI.dll, else V3Pro32.exe.
  bool getProductVersion(const char* folder, int& major, int& servicePack);
  // "IsV3Net", "IsV3CSS" or "MasterType" through AhnInst.dll (major 5 and up) or V3Cfg32.dll.
  bool isSettingSet(const char* folder, const char* name, int major);
  // Product name, "Unknown V3 Product Name", or empty when no product is found.
  NString getProductName();
  // True when an entry of that name exists in the folder.
  bool fileExistsIn(const char* folder, const char* fileName);

 private:
  NString m_strFolder;
};

// This machine's platform strings, built from the version facts, the system language and the
// product type, from the most general entry to the most specific.
#include "detect/NPlatformStrings.h"

#include <cstdio>

#include "detect/NRegistry.h"
#include "platform/NMisc.h"
#include "platform/PlatformSystem.h"

namespace {

const char* const kPlatformNames[] = {"", "ver_platform_win32_windows", "ver_platform_win32_nt"};

struct SuiteName {
  uint16_t bit;
  const char* name;
};

const SuiteName kSuites[] = {
    {0x0001, "ver_suite_smallbusiness"},     {0x0002, "ver_suite_enterprise"},
    {0x0004, "ver_suite_backoffice"},        {0x0008, "ver_suite_communications"},
    {0x0010, "ver_suite_terminal"},          {0x0020, "ver_suite_smallbusiness_restricted"},
    {0x0040, "ver_suite_embedednt"},        {0x0080, "ver_suite_datacenter"},
    {0x0100, "ver_suite_singleusernt"},      {0x0200, "ver_suite_personal"},
    {0x0400, "ver_suite_blade"},             {0x0800, "ver_suite_embeded_restricted"},
    {0x1000, "ver_suite_security_appliance"},
};

// The facts every entry is made of; empty texts stand for empty fields.
struct Fields {
  const char* platform = "";
  unsigned major = 0;
  unsigned minor = 0;
  const char* arch = "";
  NString language;
  unsigned build = 0;
  unsigned spMajor = 0;
  unsigned spMinor = 0;
};

// Adds P + "." + the ten-field suffix formatted into a 100-character buffer.
void addEntry(NStringArray& list, const Fields& f, const char* suffix) {
  NString entry(f.platform);
  entry += suffix;
  list.add(entry);
}

void addVersion(NStringArray& list, const Fields& f, const char* lang, const char* type,
                const char* suite, bool build, bool servicePack) {
  char buildText[16] = "";
  char spMajor[16] = "";
  char spMinor[16] = "";
  if (build) std::snprintf(buildText, sizeof buildText, "%u", f.build);
  if (servicePack) {
    std::snprintf(spMajor, sizeof spMajor, "%u", f.spMajor);
    std::snprintf(spMinor, sizeof spMinor, "%u", f.spMinor);
  }
  char suffix[100];
  std::snprintf(suffix, sizeof suffix, ".%u.%u.%s.%s.%s.%s.%s.%s.%s", f.major, f.minor, f.arch,
                lang, type, suite, buildText, spMajor, spMinor);
  addEntry(list, f, suffix);
}

void addGeneral(NStringArray& list, const Fields& f) {
  list.add(".........");
  char suffix[100];
  std::snprintf(suffix, sizeof suffix, ".%u..%s......", f.major, f.arch);
  addEntry(list, f, suffix);
  std::snprintf(suffix, sizeof suffix, ".%u.%u.%s......", f.major, f.minor, f.arch);
  addEntry(list, f, suffix);
}

void buildWindows9x(NStringArray& list, const Fields& f) {
  addGeneral(list, f);
  const char* lang = f.language.text();
  if (f.minor >= 90) {
    addVersion(list, f, "", "", "", true, false);
    addVersion(list, f, lang, "", "", true, false);
  } else {
    addVersion(list, f, lang, "", "", false, false);
  }
}

void buildOldNt(NStringArray& list, const Fields& f) {
  addGeneral(list, f);
  const char* lang = f.language.text();
  addVersion(list, f, lang, "", "", false, false);
  const char* type = isServerNt() ? "ver_nt_server" : "ver_nt_workstation";
  addVersion(list, f, "", type, "", false, false);
  addVersion(list, f, lang, type, "", false, false);
}

const char* productTypeName(uint8_t productType) {
  switch (productType) {
    case 1: return "ver_nt_workstation";
    case 2: return "ver_nt_domain_controller";
    case 3: return "ver_nt_server";
    default: return nullptr;
  }
}

void buildNt(NStringArray& list, const Fields& f, const plat::OsVersion& version) {
  addGeneral(list, f);
  const char* lang = f.language.text();
  addVersion(list, f, "", "", "", true, false);
  addVersion(list, f, lang, "", "", true, false);
  addVersion(list, f, "", "", "", true, true);
  addVersion(list, f, lang, "", "", true, true);
  const char* type = productTypeName(version.productType);
  if (type == nullptr) return;
  for (const char* suite : {"", "n"}) {
    addVersion(list, f, "", type, suite, true, false);
    addVersion(list, f, lang, type, suite, true, false);
    addVersion(list, f, "", type, suite, true, true);
    addVersion(list, f, lang, type, suite, true, true);
  }
  for (const SuiteName& suite : kSuites) {
    if ((version.suiteMask & suite.bit) == 0) continue;
    addVersion(list, f, "", type, suite.name, true, true);
    addVersion(list, f, lang, type, suite.name, true, true);
  }
}

void buildList(NStringArray& list, const char* arch) {
  list.clear();
  plat::OsVersion version;
  if (!plat::osVersion(version)) return;
  if (version.platformId != plat::kPlatformWindows9x && version.platformId != plat::kPlatformNt)
    return;
  Fields f;
  f.platform = kPlatformNames[version.platformId];
  f.major = version.major;
  f.minor = version.minor;
  f.arch = arch;
  f.language = getSystemLanguageCode();
  f.spMajor = version.servicePackMajor;
  f.spMinor = version.servicePackMinor;
  if (version.platformId == plat::kPlatformWindows9x) {
    f.build = version.build & 0xFFFF;
    buildWindows9x(list, f);
  } else if (version.major < 5) {
    buildOldNt(list, f);
  } else {
    f.build = version.build;
    buildNt(list, f, version);
  }
}

}  // namespace

bool buildPlatformStringsX86(NStringArray& list) {
  if (NMisc::is64BitWindows()) return false;
  buildList(list, "x86");
  return true;
}

bool buildPlatformStringsX64(NStringArray& list) {
  if (!NMisc::is64BitWindows()) return false;
  buildList(list, "x64");
  return true;
}

void buildPlatformStrings(NStringArray& list) {
  if (NMisc::is64BitWindows()) buildPlatformStringsX64(list);
  else buildPlatformStringsX86(list);
}

NString getSystemLanguageCode() {
  switch (plat::systemLanguage()) {
    case 0x0404: case 0x0804: case 0x0C04: case 0x1004: return NString("");
    case 0x0411: return NString("ja");
    case 0x0412: case 0x0812: return NString("ko");
    default: return NString("en");
  }
}

bool isServerNt() {
  NRegistry key;
  if (!key.open(plat::RegRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
                true, true, false))
    return false;
  return key.readText("ProductType").equalsNoCase("servernt");
}

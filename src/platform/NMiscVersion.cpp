// NMisc Windows version codes and predicates, 64-bit detection and redirection switches.
#include "platform/NMisc.h"
#include "platform/PlatformFs.h"
#include "platform/PlatformSystem.h"

namespace NMisc {
namespace {

int windows9xCode(const plat::OsVersion& v) {
  if (v.major != 4) return 99;
  if (v.minor == 0) return 1;
  if (v.minor == 10) return 3;
  if (v.minor == 90) return 4;
  return 99;
}

int ntCode(const plat::OsVersion& v, bool withTen) {
  if (v.major < 4) return 91;
  if (v.major == 4) return v.minor == 0 ? 5 : 99;
  if (v.major == 5) return v.minor == 0 ? 6 : v.minor == 1 ? 7 : v.minor == 2 ? 8 : 99;
  if (v.major == 6) return 9;
  if (v.major == 10 && withTen) return 11;
  return 99;
}

int versionCode(bool withTen) {
  plat::OsVersion version;
  if (!plat::osVersion(version)) return 99;
  if (version.platformId == plat::kPlatformWindows9x) return windows9xCode(version);
  if (version.platformId == plat::kPlatformNt) return ntCode(version, withTen);
  return 99;
}

bool codeAtLeast(int lowest) {
  int code = getOsVersionCode();
  return code >= lowest && code <= 90;
}

}  // namespace

int getOsVersionCode() { return versionCode(true); }
int getOsVersionCodeNo10() { return versionCode(false); }
int getOsVersionCodeEx(int flag) { return flag != 0 ? getOsVersionCode() : getOsVersionCodeNo10(); }

bool isVistaOrLater() { return codeAtLeast(9); }
bool is2003OrLater() { return codeAtLeast(8); }
bool isXpOrLater() { return codeAtLeast(7); }
bool is2000OrLater() { return codeAtLeast(6); }

bool isNtPlatform() {
  plat::OsVersion version;
  return plat::osVersion(version) && version.platformId == plat::kPlatformNt;
}

bool is64BitWindows() { return isXpOrLater() && plat::isNative64Bit(); }

bool disableWow64Redirection(void** oldValue) {
  return is64BitWindows() && plat::disableRedirection(oldValue);
}

bool revertWow64Redirection(void* oldValue) {
  return is64BitWindows() && plat::revertRedirection(oldValue);
}

}  // namespace NMisc

// Replacement of V3Cfg32.dll: settings of V3 products below major version 5.
#include "V3Text.h"
#include "net/CompanionApi.h"

CVDT_COMPANION_EXPORT int CVDT_STDCALL V3CfgI2_GetSecretInt(const V3Char* name, int defaultValue,
                                                            const V3Char* path) {
  return cvdt::v3::readSetting(name, defaultValue, path);
}

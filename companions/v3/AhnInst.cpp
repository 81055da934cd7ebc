// Replacement of AhnInst.dll: settings of V3 products of major version 5 and up.
#include "V3Text.h"
#include "net/CompanionApi.h"

CVDT_COMPANION_EXPORT int CVDT_STDCALL AhnInst2_GetSecProfileInt(int /*profile*/,
                                                                 const V3Char* name,
                                                                 int defaultValue,
                                                                 const V3Char* path) {
  return cvdt::v3::readSetting(name, defaultValue, path);
}

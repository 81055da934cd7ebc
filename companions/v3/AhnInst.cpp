// Replacement of AhnInst.dll: settings of V3 products of major version 5 and up.
#include "V3Text.h"

#define V3_EXPORT extern "C" __attribute__((visibility("default")))

V3_EXPORT int CVDT_STDCALL AhnInst2_GetSecProfileInt(int /*profile*/, const V3Char* name,
                                                     int defaultValue, const V3Char* path) {
  return cvdt::v3::readSetting(name, defaultValue, path);
}

// The entry points of the V3 anti-virus libraries that NV3Info calls, shared with the
// replacement libraries so both sides agree on every signature. Texts handed to the libraries
// are UTF-16 (16-bit units, zero-ended).
#pragma once

#include <cstdint>

#include "platform/Compiler.h"

// Character unit of the libraries' texts: wchar_t on Windows, char16_t elsewhere.
#if defined(_WIN32)
using V3Char = wchar_t;
#else
using V3Char = char16_t;
#endif

// "V3VName.dll": prepares the engine's name file from the system directory; result ignored.
using AhnInitializeNameFileFn = int(CVDT_CDECL*)(const V3Char* systemDirectory);
// "V3VName.dll": writes the engine date text (at most capacity units with its zero) into
// buffer; non-zero on success. kind is 1.
using AhnGetEngineDateStringFn = int(CVDT_CDECL*)(int kind, V3Char* buffer, int capacity);
// "AhnInst.dll" (product major 5 and up): the setting's integer from the settings file, or
// defaultValue. profile is 0.
using AhnInst2GetSecProfileIntFn = int(CVDT_STDCALL*)(int profile, const V3Char* name,
                                                      int defaultValue, const V3Char* path);
// "V3Cfg32.dll" (product major below 5): the same without the profile.
using V3CfgI2GetSecretIntFn = int(CVDT_STDCALL*)(const V3Char* name, int defaultValue,
                                                 const V3Char* path);

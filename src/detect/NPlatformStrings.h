// This machine's platform strings: ten dot-separated fields (platform, major, minor,
// architecture, language, product type, suite, build, service-pack major and minor), from the
// most general to the most specific. A policy names a platform by one of them.
#pragma once

#include "platform/NString.h"
#include "platform/NStringArray.h"

// Empty the list and fill it with the x86 form; only on a 32-bit system (otherwise the list is
// left untouched and the result is false).
bool buildPlatformStringsX86(NStringArray& list);
// The same with "x64" as architecture; only on a 64-bit system.
bool buildPlatformStringsX64(NStringArray& list);
// The form that fits this machine (NMisc::is64BitWindows).
void buildPlatformStrings(NStringArray& list);

// "ja", "ko", the empty text for the Chinese variants, "en" for every other language.
NString getSystemLanguageCode();
// "ProductType" under HKLM\SYSTEM\CurrentControlSet\Control\ProductOptions reads "servernt".
bool isServerNt();

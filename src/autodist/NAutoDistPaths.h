// NAutoDistPaths: the path and digest rules the automatic stages share: digests of local files,
// part names, and which index entry paths stay inside the folder they are joined to.
#pragma once

#include <cstdint>

#include "platform/NString.h"

namespace NAutoDistPaths {

// Digest text of a file (MD5, upper-case hexadecimal) through the module's digest service;
// empty when the file cannot be read or is empty.
NString digestOf(const NString& path);
// True when path names a file whose digest text equals digest exactly. A missing file never
// matches, not even the empty digest of an empty file.
bool isFileWithDigest(const NString& path, const char* digest);
// Part n of an entry: "<path>.lgz" for part 0, "<path>.l%5.5d" after it.
NString partName(const NString& path, uint32_t part);
// True when path is a non-empty relative path whose every component stays below the folder it
// is joined to: no leading separator, no drive letter or stream colon, no ".." component nor
// one Windows trims to it ("... ", ". ."); "\" and "/" both count as separators.
bool isContainedRelative(const char* path);

}  // namespace NAutoDistPaths

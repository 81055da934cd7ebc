// Version resources of executable files (GetFileVersionInfoSizeA / GetFileVersionInfoA /
// VerQueryValueA).
//
// Paths are Windows paths of the machine; the read honours the calling thread's WOW64
// redirection switch. A file that is not a PE image, or whose resources are malformed, has no
// version resource. Failures set plat::lastError().
#pragma once

#include <cstdint>
#include <string>

namespace plat {

// Bytes a caller must give fileVersionInfo for the file's version resource: the resource
// itself plus room for the ANSI copies of its texts. 0 when the file has none.
uint32_t fileVersionInfoSize(const std::string& windowsPath);
// Copies the version resource into block (size bytes, at least what fileVersionInfoSize
// answered, or the texts cannot be queried). False when the file has no version resource.
bool fileVersionInfo(const std::string& windowsPath, void* block, uint32_t size);
// Looks up subBlock in a block that fileVersionInfo filled:
//   "\"                                  the fixed part (52 bytes: VS_FIXEDFILEINFO)
//   "\VarFileInfo\Translation"           pairs of 16-bit language and code page
//   "\StringFileInfo\<lang><cp>\<Name>"  the text, in the ANSI code page, zero-ended
// Names compare ignoring case. On success *value points into block and *length is the
// value's size (bytes for binary values, characters without the zero for texts). False, with
// the out-parameters untouched, when the entry is absent or the block is malformed.
bool queryVersionValue(void* block, const char* subBlock, const void** value, uint32_t* length);

}  // namespace plat

// The path and digest rules of the automatic stages.
#include "autodist/NAutoDistPaths.h"

#include <cstring>

#include "platform/NHash.h"
#include "platform/PlatformFs.h"

namespace NAutoDistPaths {

NString digestOf(const NString& path) {
  NHash hash;
  return NString(hash.getHash(NHash::kAlgorithmMd5, NHash::kInputFile, path.text(), 256));
}

bool isFileWithDigest(const NString& path, const char* digest) {
  if (plat::pathKind(path.text()) != plat::PathKind::File) return false;
  return digestOf(path) == (digest != nullptr ? digest : "");
}

NString partName(const NString& path, uint32_t part) {
  NString name;
  if (part == 0) name.format("%s.lgz", path.text());
  else name.format("%s.l%5.5u", path.text(), part);
  return name;
}

namespace {

// "..", and names Windows would trim to it (dots and spaces only, at least two dots).
bool isParentLike(const char* component, size_t length) {
  size_t dots = 0;
  for (size_t i = 0; i < length; ++i) {
    if (component[i] == '.') ++dots;
    else if (component[i] != ' ') return false;
  }
  return dots >= 2;
}

}  // namespace

bool isContainedRelative(const char* path) {
  if (path == nullptr || *path == '\0' || *path == '\\' || *path == '/') return false;
  if (std::strchr(path, ':') != nullptr) return false;
  const char* component = path;
  for (const char* at = path;; ++at) {
    if (*at == '\\' || *at == '/' || *at == '\0') {
      if (isParentLike(component, static_cast<size_t>(at - component))) return false;
      if (*at == '\0') return true;
      component = at + 1;
    }
  }
}

}  // namespace NAutoDistPaths

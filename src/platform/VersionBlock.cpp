// Lookup of entries in a version resource block, with texts converted to the ANSI code page
// into the area that follows the resource.
#include "platform/VersionBlock.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/PlatformText.h"

namespace plat {
namespace {

// Written after the resource: marks a block this code filled and gives its text area's size.
constexpr uint32_t kAreaMagic = 0x38415643;  // "CVA8"

uint32_t align4(uint32_t n) { return (n + 3u) & ~3u; }
uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// One node of the resource: offsets relative to the block start.
struct Node {
  uint32_t end = 0;
  uint16_t type = 0;
  uint16_t valueLength = 0;
  std::u16string key;
  uint32_t valueOffset = 0;
  uint32_t children = 0;
};

// Parses the node at start, which must end at or before limit.
bool parseNode(const uint8_t* block, uint32_t start, uint32_t limit, Node& node) {
  if (start > limit || limit - start < 6) return false;
  uint32_t length = get16(block + start);
  if (length < 6 || length > limit - start) return false;
  node.end = start + length;
  node.valueLength = get16(block + start + 2);
  node.type = get16(block + start + 4);
  node.key.clear();
  uint32_t at = start + 6;
  for (;; at += 2) {
    if (node.end - at < 2) return false;  // key without its zero
    char16_t unit = get16(block + at);
    if (unit == 0) break;
    node.key.push_back(unit);
  }
  node.valueOffset = std::min(align4(at + 2), node.end);
  uint32_t valueBytes = node.type == 1 ? node.valueLength * 2u : node.valueLength;
  uint32_t valueEnd = valueBytes > node.end - node.valueOffset ? node.end : node.valueOffset + valueBytes;
  node.children = std::min(align4(valueEnd), node.end);
  return true;
}

bool keyEquals(const std::u16string& key, const std::string& name) {
  std::u16string wide = ansiToWide(name);
  if (wide.size() != key.size()) return false;
  for (size_t i = 0; i < key.size(); ++i) {
    char16_t a = key[i], b = wide[i];
    if (a < 128 && a >= 'A' && a <= 'Z') a = static_cast<char16_t>(a + 32);
    if (b < 128 && b >= 'A' && b <= 'Z') b = static_cast<char16_t>(b + 32);
    if (a != b) return false;
  }
  return true;
}

bool findChild(const uint8_t* block, const Node& parent, const std::string& name, Node& child) {
  uint32_t at = parent.children;
  while (at < parent.end) {
    if (!parseNode(block, at, parent.end, child)) return false;
    if (keyEquals(child.key, name)) return true;
    at = align4(child.end);
  }
  return false;
}

std::vector<std::string> splitPath(const char* subBlock) {
  std::vector<std::string> parts;
  std::string part;
  for (const char* p = subBlock; *p != '\0'; ++p) {
    if (*p == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part.push_back(*p);
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

// Converts a text value into the block's text area; its place follows from its offset, so
// each text has its own room (an ANSI text takes at most 1.5 times its UTF-16 bytes).
bool convertText(uint8_t* block, const Node& node, const char** text, uint32_t* length) {
  uint32_t rootLength = get16(block);
  uint8_t* areaHeader = block + align4(rootLength);
  if (get32(areaHeader) != kAreaMagic) return false;
  uint32_t areaSize = get32(areaHeader + 4);
  std::u16string units;
  for (uint32_t at = node.valueOffset; node.end - at >= 2 && units.size() < node.valueLength; at += 2) {
    char16_t unit = get16(block + at);
    if (unit == 0) break;
    units.push_back(unit);
  }
  std::string ansi = wideToAnsi(units);
  uint64_t place = static_cast<uint64_t>(node.valueOffset) * 3 / 2;
  if (place > areaSize || ansi.size() + 1 > areaSize - place) return false;
  char* out = reinterpret_cast<char*>(areaHeader + 8 + place);
  std::memcpy(out, ansi.c_str(), ansi.size() + 1);
  *text = out;
  *length = static_cast<uint32_t>(ansi.size());
  return true;
}

}  // namespace

uint32_t versionBlockSize(uint32_t resourceSize) {
  return align4(resourceSize) + 8 + resourceSize + resourceSize / 2 + 8;
}

bool fillVersionBlock(const std::string& resource, void* block, uint32_t size) {
  if (resource.size() < 6 || resource.size() > 0xFFFF) return false;
  uint32_t length = static_cast<uint32_t>(resource.size());
  if (get16(reinterpret_cast<const uint8_t*>(resource.data())) != length) return false;
  if (size < versionBlockSize(length)) return false;
  uint8_t* bytes = static_cast<uint8_t*>(block);
  std::memset(bytes, 0, size);
  std::memcpy(bytes, resource.data(), length);
  put32(bytes + align4(length), kAreaMagic);
  put32(bytes + align4(length) + 4, size - align4(length) - 8);
  return true;
}

bool queryVersionBlock(void* block, const char* subBlock, const void** value, uint32_t* length) {
  if (block == nullptr || subBlock == nullptr || value == nullptr || length == nullptr) return false;
  uint8_t* bytes = static_cast<uint8_t*>(block);
  Node node;
  if (!parseNode(bytes, 0, get16(bytes), node)) return false;
  std::vector<std::string> parts = splitPath(subBlock);
  for (const std::string& part : parts) {
    Node child;
    if (!findChild(bytes, node, part, child)) return false;
    node = child;
  }
  bool text = !parts.empty() && keyEquals(ansiToWide(parts[0]), "StringFileInfo");
  if (text) {
    const char* out = nullptr;
    if (parts.size() != 3 || !convertText(bytes, node, &out, length)) return false;
    *value = out;
    return true;
  }
  uint32_t size = std::min<uint32_t>(node.valueLength, node.end - node.valueOffset);
  if (size == 0) return false;
  *value = bytes + node.valueOffset;
  *length = size;
  return true;
}

}  // namespace plat

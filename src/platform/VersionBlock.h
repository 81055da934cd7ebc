// The block that the version-information functions hand out: a copy of a version resource
// (VS_VERSIONINFO, UTF-16 keys and texts) followed by an area for the ANSI copies of its texts,
// and the lookup of entries in it by path.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

// Block size for a resource of resourceSize bytes.
uint32_t versionBlockSize(uint32_t resourceSize);
// Copies the resource into block and prepares the text area. False (block untouched) when
// size is smaller than versionBlockSize or the resource is shorter than its root node.
bool fillVersionBlock(const std::string& resource, void* block, uint32_t size);
// VerQueryValueA over a filled block (see PlatformVersionInfo.h). Every node length, key and
// value is checked against its parent, so a malformed resource answers "absent".
bool queryVersionBlock(void* block, const char* subBlock, const void** value, uint32_t* length);

}  // namespace plat

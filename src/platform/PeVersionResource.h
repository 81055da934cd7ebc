// Finds the version resource (RT_VERSION) inside a PE image (PE32 or PE32+) by walking its
// resource directory. Every offset and count of the image is checked against the file, so a
// malformed or hostile image gives "no resource", never a read outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace plat {

// Reads size bytes at offset into buffer; false when they are not all there.
using ReadAt = std::function<bool(uint64_t offset, void* buffer, size_t size)>;

// The bytes of the image's first version resource (first name, first language), trimmed to
// the length its root block states. False when the image has none or is malformed.
bool readPeVersionResource(const ReadAt& readAt, uint64_t fileSize, std::string& resource);

}  // namespace plat

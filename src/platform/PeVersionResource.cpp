// Walks a PE image's headers, section table and resource directory to the version resource.
#include "platform/PeVersionResource.h"

#include <algorithm>
#include <vector>

namespace plat {
namespace {

constexpr uint32_t kResourceTypeVersion = 16;
constexpr uint32_t kSubdirectoryBit = 0x80000000u;
constexpr uint32_t kMaxSections = 0xFFFF;
constexpr uint32_t kMaxResourceBytes = 0x10000;  // a version block's length is 16 bits

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct Section {
  uint32_t virtualAddress;
  uint32_t virtualSize;
  uint32_t rawSize;
  uint32_t rawOffset;
};

class Image {
 public:
  Image(const ReadAt& readAt, uint64_t fileSize) : m_readAt(readAt), m_fileSize(fileSize) {}

  bool read(uint64_t offset, void* buffer, size_t size) const {
    if (offset > m_fileSize || size > m_fileSize - offset) return false;
    return m_readAt(offset, buffer, size);
  }
  bool loadHeaders();
  // The file offset of size bytes at an image address, when one section's file data holds them.
  bool rvaToOffset(uint32_t rva, uint32_t size, uint64_t& offset) const;
  bool readRva(uint32_t rva, void* buffer, uint32_t size) const {
    uint64_t offset = 0;
    return rvaToOffset(rva, size, offset) && read(offset, buffer, size);
  }
  uint32_t resourceRva() const { return m_resourceRva; }
  uint32_t resourceSize() const { return m_resourceSize; }

 private:
  bool loadSections(uint64_t tableOffset, uint32_t count);

  const ReadAt& m_readAt;
  uint64_t m_fileSize;
  uint32_t m_resourceRva = 0;
  uint32_t m_resourceSize = 0;
  std::vector<Section> m_sections;
};

bool Image::loadHeaders() {
  uint8_t dos[64];
  if (!read(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
  uint64_t peOffset = get32(dos + 0x3C);
  uint8_t coff[24];
  if (!read(peOffset, coff, sizeof coff)) return false;
  if (coff[0] != 'P' || coff[1] != 'E' || coff[2] != 0 || coff[3] != 0) return false;
  uint32_t sectionCount = get16(coff + 6);
  uint32_t optionalSize = get16(coff + 20);
  uint8_t optional[240] = {};
  if (optionalSize < 2 || !read(peOffset + 24, optional, std::min<uint32_t>(optionalSize, 240)))
    return false;
  uint16_t magic = get16(optional);
  uint32_t directories = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
  if (directories == 0 || optionalSize < directories + 3 * 8) return false;
  if (get32(optional + directories - 4) < 3) return false;  // NumberOfRvaAndSizes
  m_resourceRva = get32(optional + directories + 2 * 8);
  m_resourceSize = get32(optional + directories + 2 * 8 + 4);
  if (m_resourceRva == 0 || m_resourceSize < 16) return false;
  return loadSections(peOffset + 24 + optionalSize, sectionCount);
}

bool Image::loadSections(uint64_t tableOffset, uint32_t count) {
  if (count == 0 || count > kMaxSections) return false;
  std::vector<uint8_t> table(static_cast<size_t>(count) * 40);
  if (!read(tableOffset, table.data(), table.size())) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* entry = table.data() + i * 40;
    m_sections.push_back({get32(entry + 12), get32(entry + 8), get32(entry + 16), get32(entry + 20)});
  }
  return true;
}

bool Image::rvaToOffset(uint32_t rva, uint32_t size, uint64_t& offset) const {
  for (const Section& s : m_sections) {
    uint64_t span = s.virtualSize != 0 ? std::min(s.virtualSize, s.rawSize) : s.rawSize;
    if (rva < s.virtualAddress) continue;
    uint64_t inside = static_cast<uint64_t>(rva) - s.virtualAddress;
    if (inside > span || size > span - inside) continue;
    offset = s.rawOffset + inside;
    return true;
  }
  return false;
}

// One directory entry: the identifier (or name offset) and the data or subdirectory offset.
struct Entry {
  uint32_t name;
  uint32_t target;
};

// The entries of the resource directory at dirOffset (relative to the resource section).
bool readDirectory(const Image& image, uint32_t dirOffset, std::vector<Entry>& entries) {
  uint8_t header[16];
  uint32_t size = image.resourceSize();
  if (dirOffset > size || size - dirOffset < 16) return false;
  if (!image.readRva(image.resourceRva() + dirOffset, header, sizeof header)) return false;
  uint32_t count = static_cast<uint32_t>(get16(header + 12)) + get16(header + 14);
  if (count == 0 || static_cast<uint64_t>(count) * 8 > size - dirOffset - 16) return false;
  std::vector<uint8_t> raw(count * 8);
  if (!image.readRva(image.resourceRva() + dirOffset + 16, raw.data(), count * 8)) return false;
  for (uint32_t i = 0; i < count; ++i) entries.push_back({get32(&raw[i * 8]), get32(&raw[i * 8 + 4])});
  return true;
}

// The subdirectory offset of the version type, then of its first name.
bool findVersionDirectory(const Image& image, uint32_t& dirOffset) {
  std::vector<Entry> types;
  if (!readDirectory(image, 0, types)) return false;
  for (const Entry& e : types) {
    if (e.name != kResourceTypeVersion || (e.target & kSubdirectoryBit) == 0) continue;
    std::vector<Entry> names;
    if (!readDirectory(image, e.target & ~kSubdirectoryBit, names)) return false;
    if ((names[0].target & kSubdirectoryBit) == 0) return false;
    dirOffset = names[0].target & ~kSubdirectoryBit;
    return true;
  }
  return false;
}

}  // namespace

bool readPeVersionResource(const ReadAt& readAt, uint64_t fileSize, std::string& resource) {
  Image image(readAt, fileSize);
  uint32_t languages = 0;
  if (!image.loadHeaders() || !findVersionDirectory(image, languages)) return false;
  std::vector<Entry> entries;
  if (!readDirectory(image, languages, entries)) return false;
  uint32_t dataEntry = entries[0].target;
  if ((dataEntry & kSubdirectoryBit) != 0 || dataEntry > image.resourceSize() ||
      image.resourceSize() - dataEntry < 16)
    return false;
  uint8_t data[16];
  if (!image.readRva(image.resourceRva() + dataEntry, data, sizeof data)) return false;
  uint32_t size = std::min(get32(data + 4), kMaxResourceBytes);
  if (size < 6) return false;
  std::string bytes(size, '\0');
  if (!image.readRva(get32(data), bytes.data(), size)) return false;
  uint16_t length = get16(reinterpret_cast<const uint8_t*>(bytes.data()));
  if (length < 6 || length > size) return false;
  bytes.resize(length);
  resource.swap(bytes);
  return true;
}

}  // namespace plat

// Crc32: the CRC-32 of gzip (reflected polynomial 0xEDB88320). Large inputs are folded with
// carry-less multiplication where the processor has it, the rest goes through tables.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cvlgz {

class Crc32 {
 public:
  void update(const void* data, size_t size);
  uint32_t value() const { return ~m_nState; }

 private:
  static uint32_t updateTables(uint32_t state, const unsigned char* p, size_t size);
  static uint32_t updateFolding(uint32_t state, const unsigned char* p, size_t size);

  uint32_t m_nState = 0xFFFFFFFFu;
};

}  // namespace cvlgz

// NMd5: streaming MD5 message digest (RFC 1321).
#pragma once

#include <cstddef>
#include <cstdint>

// Feed any number of update() calls between init() and final(); the digest does not depend
// on how the input is cut. Not shared between threads.
class NMd5 {
 public:
  static constexpr size_t kDigestSize = 16;
  static constexpr size_t kBlockSize = 64;

  NMd5();

  // Starts a new digest; the constructor has already done this once.
  void init();
  // Adds size bytes; a null pointer is accepted when size is 0.
  void update(const void* data, size_t size);
  // Pads, writes the 16-byte digest and starts a new digest (as init()).
  void final(uint8_t digest[kDigestSize]);

 private:
  uint32_t m_arState[4];
  uint64_t m_nLength;  // bytes fed since init()
  uint8_t m_arBlock[kBlockSize];
  size_t m_nBlockUsed;  // bytes of m_arBlock waiting for a full block
};

// NMd5: the MD5 compression function, unrolled round by round, and the streaming frame.
#include "platform/NMd5.h"

#include <bit>
#include <cstring>

namespace {

// Message word i of the block, little-endian whatever the host order.
inline uint32_t loadWord(const uint8_t* block, int i) {
  uint32_t word;
  std::memcpy(&word, block + 4 * i, sizeof word);
  if constexpr (std::endian::native == std::endian::big) {
    word = (word >> 24) | ((word >> 8) & 0xFF00u) | ((word << 8) & 0xFF0000u) | (word << 24);
  }
  return word;
}

inline void storeWord(uint8_t* out, uint32_t word) {
  out[0] = static_cast<uint8_t>(word);
  out[1] = static_cast<uint8_t>(word >> 8);
  out[2] = static_cast<uint8_t>(word >> 16);
  out[3] = static_cast<uint8_t>(word >> 24);
}

// The four round functions in the forms that shorten the dependency chain on b: F selects
// with one AND, G adds two disjoint terms of which one does not wait for b.
#define MD5_F(b, c, d) ((d) ^ ((b) & ((c) ^ (d))))
#define MD5_G(b, c, d) (((d) & (b)) + (~(d) & (c)))
#define MD5_H(b, c, d) ((b) ^ (c) ^ (d))
#define MD5_I(b, c, d) ((c) ^ ((b) | ~(d)))

#define MD5_STEP(f, a, b, c, d, x, t, s) \
  a += f(b, c, d) + (x) + (t);           \
  a = std::rotl(a, s) + (b)

// Runs the compression function over count consecutive 64-byte blocks.
void compress(uint32_t state[4], const uint8_t* data, size_t count) {
  uint32_t a = state[0];
  uint32_t b = state[1];
  uint32_t c = state[2];
  uint32_t d = state[3];
  for (; count > 0; --count, data += 64) {
    const uint32_t x0 = loadWord(data, 0), x1 = loadWord(data, 1), x2 = loadWord(data, 2),
                   x3 = loadWord(data, 3), x4 = loadWord(data, 4), x5 = loadWord(data, 5),
                   x6 = loadWord(data, 6), x7 = loadWord(data, 7), x8 = loadWord(data, 8),
                   x9 = loadWord(data, 9), x10 = loadWord(data, 10), x11 = loadWord(data, 11),
                   x12 = loadWord(data, 12), x13 = loadWord(data, 13),
                   x14 = loadWord(data, 14), x15 = loadWord(data, 15);
    const uint32_t aa = a, bb = b, cc = c, dd = d;

    MD5_STEP(MD5_F, a, b, c, d, x0, 0xd76aa478u, 7);
    MD5_STEP(MD5_F, d, a, b, c, x1, 0xe8c7b756u, 12);
    MD5_STEP(MD5_F, c, d, a, b, x2, 0x242070dbu, 17);
    MD5_STEP(MD5_F, b, c, d, a, x3, 0xc1bdceeeu, 22);
    MD5_STEP(MD5_F, a, b, c, d, x4, 0xf57c0fafu, 7);
    MD5_STEP(MD5_F, d, a, b, c, x5, 0x4787c62au, 12);
    MD5_STEP(MD5_F, c, d, a, b, x6, 0xa8304613u, 17);
    MD5_STEP(MD5_F, b, c, d, a, x7, 0xfd469501u, 22);
    MD5_STEP(MD5_F, a, b, c, d, x8, 0x698098d8u, 7);
    MD5_STEP(MD5_F, d, a, b, c, x9, 0x8b44f7afu, 12);
    MD5_STEP(MD5_F, c, d, a, b, x10, 0xffff5bb1u, 17);
    MD5_STEP(MD5_F, b, c, d, a, x11, 0x895cd7beu, 22);
    MD5_STEP(MD5_F, a, b, c, d, x12, 0x6b901122u, 7);
    MD5_STEP(MD5_F, d, a, b, c, x13, 0xfd987193u, 12);
    MD5_STEP(MD5_F, c, d, a, b, x14, 0xa679438eu, 17);
    MD5_STEP(MD5_F, b, c, d, a, x15, 0x49b40821u, 22);

    MD5_STEP(MD5_G, a, b, c, d, x1, 0xf61e2562u, 5);
    MD5_STEP(MD5_G, d, a, b, c, x6, 0xc040b340u, 9);
    MD5_STEP(MD5_G, c, d, a, b, x11, 0x265e5a51u, 14);
    MD5_STEP(MD5_G, b, c, d, a, x0, 0xe9b6c7aau, 20);
    MD5_STEP(MD5_G, a, b, c, d, x5, 0xd62f105du, 5);
    MD5_STEP(MD5_G, d, a, b, c, x10, 0x02441453u, 9);
    MD5_STEP(MD5_G, c, d, a, b, x15, 0xd8a1e681u, 14);
    MD5_STEP(MD5_G, b, c, d, a, x4, 0xe7d3fbc8u, 20);
    MD5_STEP(MD5_G, a, b, c, d, x9, 0x21e1cde6u, 5);
    MD5_STEP(MD5_G, d, a, b, c, x14, 0xc33707d6u, 9);
    MD5_STEP(MD5_G, c, d, a, b, x3, 0xf4d50d87u, 14);
    MD5_STEP(MD5_G, b, c, d, a, x8, 0x455a14edu, 20);
    MD5_STEP(MD5_G, a, b, c, d, x13, 0xa9e3e905u, 5);
    MD5_STEP(MD5_G, d, a, b, c, x2, 0xfcefa3f8u, 9);
    MD5_STEP(MD5_G, c, d, a, b, x7, 0x676f02d9u, 14);
    MD5_STEP(MD5_G, b, c, d, a, x12, 0x8d2a4c8au, 20);

    MD5_STEP(MD5_H, a, b, c, d, x5, 0xfffa3942u, 4);
    MD5_STEP(MD5_H, d, a, b, c, x8, 0x8771f681u, 11);
    MD5_STEP(MD5_H, c, d, a, b, x11, 0x6d9d6122u, 16);
    MD5_STEP(MD5_H, b, c, d, a, x14, 0xfde5380cu, 23);
    MD5_STEP(MD5_H, a, b, c, d, x1, 0xa4beea44u, 4);
    MD5_STEP(MD5_H, d, a, b, c, x4, 0x4bdecfa9u, 11);
    MD5_STEP(MD5_H, c, d, a, b, x7, 0xf6bb4b60u, 16);
    MD5_STEP(MD5_H, b, c, d, a, x10, 0xbebfbc70u, 23);
    MD5_STEP(MD5_H, a, b, c, d, x13, 0x289b7ec6u, 4);
    MD5_STEP(MD5_H, d, a, b, c, x0, 0xeaa127fau, 11);
    MD5_STEP(MD5_H, c, d, a, b, x3, 0xd4ef3085u, 16);
    MD5_STEP(MD5_H, b, c, d, a, x6, 0x04881d05u, 23);
    MD5_STEP(MD5_H, a, b, c, d, x9, 0xd9d4d039u, 4);
    MD5_STEP(MD5_H, d, a, b, c, x12, 0xe6db99e5u, 11);
    MD5_STEP(MD5_H, c, d, a, b, x15, 0x1fa27cf8u, 16);
    MD5_STEP(MD5_H, b, c, d, a, x2, 0xc4ac5665u, 23);

    MD5_STEP(MD5_I, a, b, c, d, x0, 0xf4292244u, 6);
    MD5_STEP(MD5_I, d, a, b, c, x7, 0x432aff97u, 10);
    MD5_STEP(MD5_I, c, d, a, b, x14, 0xab9423a7u, 15);
    MD5_STEP(MD5_I, b, c, d, a, x5, 0xfc93a039u, 21);
    MD5_STEP(MD5_I, a, b, c, d, x12, 0x655b59c3u, 6);
    MD5_STEP(MD5_I, d, a, b, c, x3, 0x8f0ccc92u, 10);
    MD5_STEP(MD5_I, c, d, a, b, x10, 0xffeff47du, 15);
    MD5_STEP(MD5_I, b, c, d, a, x1, 0x85845dd1u, 21);
    MD5_STEP(MD5_I, a, b, c, d, x8, 0x6fa87e4fu, 6);
    MD5_STEP(MD5_I, d, a, b, c, x15, 0xfe2ce6e0u, 10);
    MD5_STEP(MD5_I, c, d, a, b, x6, 0xa3014314u, 15);
    MD5_STEP(MD5_I, b, c, d, a, x13, 0x4e0811a1u, 21);
    MD5_STEP(MD5_I, a, b, c, d, x4, 0xf7537e82u, 6);
    MD5_STEP(MD5_I, d, a, b, c, x11, 0xbd3af235u, 10);
    MD5_STEP(MD5_I, c, d, a, b, x2, 0x2ad7d2bbu, 15);
    MD5_STEP(MD5_I, b, c, d, a, x9, 0xeb86d391u, 21);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef MD5_STEP
#undef MD5_I
#undef MD5_H
#undef MD5_G
#undef MD5_F

}  // namespace

NMd5::NMd5() { init(); }

void NMd5::init() {
  m_arState[0] = 0x67452301u;
  m_arState[1] = 0xefcdab89u;
  m_arState[2] = 0x98badcfeu;
  m_arState[3] = 0x10325476u;
  m_nLength = 0;
  m_nBlockUsed = 0;
}

void NMd5::update(const void* data, size_t size) {
  if (data == nullptr || size == 0) {
    return;
  }
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  m_nLength += size;
  if (m_nBlockUsed > 0) {
    const size_t take = size < kBlockSize - m_nBlockUsed ? size : kBlockSize - m_nBlockUsed;
    std::memcpy(m_arBlock + m_nBlockUsed, bytes, take);
    m_nBlockUsed += take;
    bytes += take;
    size -= take;
    if (m_nBlockUsed < kBlockSize) {
      return;
    }
    compress(m_arState, m_arBlock, 1);
    m_nBlockUsed = 0;
  }
  // Whole blocks straight from the caller's buffer; only the tail is copied.
  const size_t blocks = size / kBlockSize;
  if (blocks > 0) {
    compress(m_arState, bytes, blocks);
    bytes += blocks * kBlockSize;
    size -= blocks * kBlockSize;
  }
  if (size > 0) {
    std::memcpy(m_arBlock, bytes, size);
    m_nBlockUsed = size;
  }
}

void NMd5::final(uint8_t digest[kDigestSize]) {
  const uint64_t bitLength = m_nLength * 8;
  // A 0x80 byte, zeros up to 56 mod 64, then the bit length as a little-endian 64-bit number.
  m_arBlock[m_nBlockUsed++] = 0x80;
  if (m_nBlockUsed > kBlockSize - 8) {
    std::memset(m_arBlock + m_nBlockUsed, 0, kBlockSize - m_nBlockUsed);
    compress(m_arState, m_arBlock, 1);
    m_nBlockUsed = 0;
  }
  std::memset(m_arBlock + m_nBlockUsed, 0, kBlockSize - 8 - m_nBlockUsed);
  storeWord(m_arBlock + 56, static_cast<uint32_t>(bitLength));
  storeWord(m_arBlock + 60, static_cast<uint32_t>(bitLength >> 32));
  compress(m_arState, m_arBlock, 1);
  for (int i = 0; i < 4; ++i) {
    storeWord(digest + 4 * i, m_arState[i]);
  }
  init();
}

// CRC-32 two ways. Tables: sixteen of them, so sixteen input bytes take sixteen independent
// look-ups. Folding (x86-64 with PCLMULQDQ): four 128-bit lanes are carried 512 bits forward at
// a time by multiplying their halves with x^(512+32) and x^(512-32) modulo the polynomial (the
// 32 accounts for the bit-reflected operands), then folded into one lane, whose 16 bytes are
// congruent to everything read so far and finish through the tables.
#include "Crc32.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace cvlgz {
namespace {

using Tables = std::array<std::array<uint32_t, 256>, 16>;

constexpr Tables makeTables() {
  Tables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    tables[0][i] = c;
  }
  for (size_t k = 1; k < tables.size(); ++k) {
    for (size_t i = 0; i < 256; ++i) {
      uint32_t previous = tables[k - 1][i];
      tables[k][i] = (previous >> 8) ^ tables[0][previous & 0xFF];
    }
  }
  return tables;
}

constexpr Tables kTables = makeTables();

uint32_t load32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

#if defined(__x86_64__)
// x^n modulo the polynomial, bit-reflected into 33 bits (bit j holds x^(32-j)), the form a
// reflected carry-less multiplication needs.
constexpr uint64_t foldConstant(int n) {
  uint64_t r = 1;
  for (int i = 0; i < n; ++i) {
    r <<= 1;
    if (r & (uint64_t{1} << 32)) r ^= 0x104C11DB7ull;
  }
  uint64_t reflected = 0;
  for (int bit = 0; bit < 32; ++bit) {
    if (r & (uint64_t{1} << bit)) reflected |= uint64_t{1} << (31 - bit);
  }
  return reflected << 1;
}

constexpr uint64_t kFold512Low = foldConstant(512 + 32), kFold512High = foldConstant(512 - 32);
constexpr uint64_t kFold128Low = foldConstant(128 + 32), kFold128High = foldConstant(128 - 32);

__attribute__((target("pclmul,sse2"))) inline __m128i fold(__m128i lane, __m128i constants) {
  return _mm_xor_si128(_mm_clmulepi64_si128(lane, constants, 0x00),
                       _mm_clmulepi64_si128(lane, constants, 0x11));
}

__attribute__((target("pclmul,sse2"))) inline __m128i load128(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Folds size bytes (a multiple of 16, at least 64) into one lane, stored to out.
__attribute__((target("pclmul,sse2"))) void foldLanes(uint32_t state, const unsigned char* p,
                                                      size_t size, unsigned char out[16]) {
  __m128i x1 = _mm_xor_si128(load128(p), _mm_cvtsi32_si128(static_cast<int>(state)));
  __m128i x2 = load128(p + 16), x3 = load128(p + 32), x4 = load128(p + 48);
  const __m128i k512 = _mm_set_epi64x(static_cast<long long>(kFold512High),
                                      static_cast<long long>(kFold512Low));
  for (p += 64, size -= 64; size >= 64; p += 64, size -= 64) {
    x1 = _mm_xor_si128(fold(x1, k512), load128(p));
    x2 = _mm_xor_si128(fold(x2, k512), load128(p + 16));
    x3 = _mm_xor_si128(fold(x3, k512), load128(p + 32));
    x4 = _mm_xor_si128(fold(x4, k512), load128(p + 48));
  }
  const __m128i k128 = _mm_set_epi64x(static_cast<long long>(kFold128High),
                                      static_cast<long long>(kFold128Low));
  x2 = _mm_xor_si128(fold(x1, k128), x2);
  x3 = _mm_xor_si128(fold(x2, k128), x3);
  x4 = _mm_xor_si128(fold(x3, k128), x4);
  for (; size >= 16; p += 16, size -= 16) x4 = _mm_xor_si128(fold(x4, k128), load128(p));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), x4);
}
#endif

}  // namespace

uint32_t Crc32::updateTables(uint32_t c, const unsigned char* p, size_t size) {
  const auto& t = kTables;
  for (; size >= 16; p += 16, size -= 16) {
    uint32_t a = load32(p) ^ c, b = load32(p + 4), d = load32(p + 8), e = load32(p + 12);
    c = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
        t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
        t[7][d & 0xFF] ^ t[6][(d >> 8) & 0xFF] ^ t[5][(d >> 16) & 0xFF] ^ t[4][d >> 24] ^
        t[3][e & 0xFF] ^ t[2][(e >> 8) & 0xFF] ^ t[1][(e >> 16) & 0xFF] ^ t[0][e >> 24];
  }
  for (; size > 0; ++p, --size) c = t[0][(c ^ *p) & 0xFF] ^ (c >> 8);
  return c;
}

uint32_t Crc32::updateFolding(uint32_t state, const unsigned char* p, size_t size) {
#if defined(__x86_64__)
  static const bool kHasClmul = __builtin_cpu_supports("pclmul");
  if (kHasClmul && size >= 256) {
    size_t folded = size & ~size_t{15};
    unsigned char lane[16];
    foldLanes(state, p, folded, lane);
    // The lane stands for everything folded so far, as if it had been read from state 0.
    state = updateTables(0, lane, sizeof lane);
    return updateTables(state, p + folded, size - folded);
  }
#endif
  return updateTables(state, p, size);
}

void Crc32::update(const void* data, size_t size) {
  m_nState = updateFolding(m_nState, static_cast<const unsigned char*>(data), size);
}

}  // namespace cvlgz

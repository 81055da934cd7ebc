// NCrypt: Simplified DES rounds (without P8 in the key schedule) turned into byte tables, and
// the scramble/unscramble helpers of the frame protocol.
#include "platform/NCrypt.h"

#include "platform/NMisc.h"

namespace {

// Permutation tables; entries number the input bits from 1, the most significant first.
constexpr int kP10[10] = {3, 5, 2, 7, 4, 10, 1, 9, 8, 6};
constexpr int kIp[8] = {2, 6, 3, 1, 4, 8, 5, 7};
constexpr int kIpInverse[8] = {4, 1, 3, 5, 7, 2, 8, 6};
constexpr int kExpand[8] = {4, 1, 2, 3, 2, 3, 4, 1};
constexpr int kP4[4] = {2, 4, 3, 1};

constexpr uint8_t kS0[4][4] = {{1, 0, 3, 2}, {3, 2, 1, 0}, {0, 2, 1, 3}, {3, 1, 3, 2}};
constexpr uint8_t kS1[4][4] = {{0, 1, 2, 3}, {2, 0, 1, 3}, {3, 0, 1, 0}, {2, 1, 0, 3}};

template <int N>
unsigned permute(unsigned input, int inputBits, const int (&table)[N]) {
  unsigned output = 0;
  for (int position : table) {
    output = (output << 1) | ((input >> (inputBits - position)) & 1u);
  }
  return output;
}

// Row from bits 1 and 4 of the nibble, column from bits 2 and 3.
uint8_t sbox(const uint8_t (&box)[4][4], unsigned nibble) {
  const unsigned row = ((nibble >> 2) & 2u) | (nibble & 1u);
  const unsigned column = (nibble >> 1) & 3u;
  return box[row][column];
}

unsigned rotateFive(unsigned half, int count) {
  return ((half << count) | (half >> (5 - count))) & 0x1Fu;
}

uint8_t swapNibbles(unsigned x) { return static_cast<uint8_t>(((x << 4) | (x >> 4)) & 0xFFu); }

// fk: the right nibble passes; the left one is XORed with P4 of the S-box outputs.
uint8_t mix(uint8_t key, unsigned x) {
  const unsigned left = x >> 4;
  const unsigned right = x & 0x0Fu;
  const unsigned t = permute(right, 4, kExpand) ^ key;
  const unsigned s = sbox(kS0, t >> 4) * 4u + sbox(kS1, t & 0x0Fu);
  return static_cast<uint8_t>(((left ^ permute(s, 4, kP4)) << 4) | right);
}

}  // namespace

NCrypt::NCrypt() {
  for (int i = 0; i < 256; ++i) {
    m_arEncrypt[i] = static_cast<uint8_t>(i);
    m_arDecrypt[i] = static_cast<uint8_t>(i);
  }
}

void NCrypt::setKey(int keyNumber) {
  const unsigned key = permute(static_cast<unsigned>(keyNumber) & 0x3FFu, 10, kP10);
  unsigned left = rotateFive(key >> 5, 1);
  unsigned right = rotateFive(key & 0x1Fu, 1);
  m_nKey1 = static_cast<uint8_t>((left * 32u + right) & 0xFFu);
  left = rotateFive(left, 2);
  right = rotateFive(right, 2);
  m_nKey2 = static_cast<uint8_t>((left * 32u + right) & 0xFFu);
  for (int i = 0; i < 256; ++i) {
    m_arEncrypt[i] = cipherByte(static_cast<uint8_t>(i), m_nKey1, m_nKey2);
    m_arDecrypt[i] = cipherByte(static_cast<uint8_t>(i), m_nKey2, m_nKey1);
  }
}

uint8_t NCrypt::cipherByte(uint8_t input, uint8_t firstKey, uint8_t secondKey) {
  const uint8_t first = mix(firstKey, permute(input, 8, kIp));
  const uint8_t second = mix(secondKey, swapNibbles(first));
  return static_cast<uint8_t>(permute(second, 8, kIpInverse));
}

void NCrypt::encrypt(unsigned char* buffer, int length) const {
  if (buffer == nullptr) {
    return;
  }
  for (int i = 0; i < length; ++i) {
    buffer[i] = m_arEncrypt[buffer[i]];
  }
}

void NCrypt::decrypt(unsigned char* buffer, int length) const {
  if (buffer == nullptr) {
    return;
  }
  for (int i = 0; i < length; ++i) {
    buffer[i] = m_arDecrypt[buffer[i]];
  }
}

void NMisc::scramble(int keyNumber, unsigned char* buffer, int length) {
  NCrypt crypt;
  crypt.setKey(keyNumber);
  crypt.encrypt(buffer, length);
}

void NMisc::unscramble(int keyNumber, unsigned char* buffer, int length) {
  NCrypt crypt;
  crypt.setKey(keyNumber);
  crypt.decrypt(buffer, length);
}

// Tests of NCrypt and the frame scrambler: round trips, the ten-bit key and a worked example.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "platform/NCrypt.h"
#include "platform/NMisc.h"

namespace {

std::array<unsigned char, 256> allBytes() {
  std::array<unsigned char, 256> bytes{};
  for (int i = 0; i < 256; ++i) {
    bytes[i] = static_cast<unsigned char>(i);
  }
  return bytes;
}

std::array<unsigned char, 256> encryptedBytes(int keyNumber) {
  NCrypt crypt;
  crypt.setKey(keyNumber);
  std::array<unsigned char, 256> bytes = allBytes();
  crypt.encrypt(bytes.data(), static_cast<int>(bytes.size()));
  return bytes;
}

TEST(NCryptTest, EveryKeyRoundTripsEveryByte) {
  const std::array<unsigned char, 256> plain = allBytes();
  for (int key = 0; key < 1024; ++key) {
    NCrypt crypt;
    crypt.setKey(key);
    std::array<unsigned char, 256> bytes = plain;
    crypt.encrypt(bytes.data(), 256);
    // A round trip on all 256 values also proves the encryption table is a permutation.
    crypt.decrypt(bytes.data(), 256);
    ASSERT_EQ(plain, bytes) << "key " << key;
  }
}

TEST(NCryptTest, OnlyTheLowTenBitsOfTheKeyCount) {
  const struct {
    int a;
    int b;
  } pairs[] = {
      {399, 21903},
      {1023, -1},
      {512, 0x7FFFFE00},
  };
  for (const auto& p : pairs) {
    EXPECT_EQ(encryptedBytes(p.a), encryptedBytes(p.b)) << p.a << " vs " << p.b;
  }
  // Each of the ten bits matters for some byte.
  for (int bit = 0; bit < 10; ++bit) {
    EXPECT_NE(encryptedBytes(642), encryptedBytes(642 ^ (1 << bit))) << "bit " << bit;
  }
}

// Key 642 = 10 1000 0010, byte 0x97 = 1001 0111 (bits numbered from 1, most significant first).
//   P10 (3 5 2 7 4 10 1 9 8 6) of 1010000010 gives 10000 01100.
//   Rotate each half left by one: 00001 11000; K1 = low 8 bits of 0000111000 = 0x38.
//   Rotate each half left by two more: 00100 00011; K2 = low 8 bits of 0010000011 = 0x83.
//   IP (2 6 3 1 4 8 5 7) of 10010111 gives 0101 1101.
//   fk(K1): E/P (4 1 2 3 2 3 4 1) of 1101 = 11101011, XOR 00111000 = 1101 0011;
//     S0(1101): row 11, column 10 -> 3; S1(0011): row 01, column 01 -> 0; s = 1100;
//     P4 (2 4 3 1) of 1100 = 1001; 0101 XOR 1001 = 1100, so fk gives 1100 1101.
//   SW gives 1101 1100.
//   fk(K2): E/P of 1100 = 01101001, XOR 10000011 = 1110 1010;
//     S0(1110): row 10, column 11 -> 3; S1(1010): row 10, column 01 -> 0; s = 1100;
//     P4 gives 1001; 1101 XOR 1001 = 0100, so fk gives 0100 1100.
//   IP^-1 (4 1 3 5 7 2 8 6) of 01001100 gives 00010101 = 0x15.
TEST(NCryptTest, WorkedExampleForKey642) {
  NCrypt crypt;
  crypt.setKey(642);
  EXPECT_EQ(0x38, crypt.subkey1());
  EXPECT_EQ(0x83, crypt.subkey2());
  unsigned char byte = 0x97;
  crypt.encrypt(&byte, 1);
  EXPECT_EQ(0x15, byte);
  crypt.decrypt(&byte, 1);
  EXPECT_EQ(0x97, byte);
}

TEST(NCryptTest, ScrambleIsTheTableCipherWithTheGivenKey) {
  const std::array<unsigned char, 256> plain = allBytes();
  std::array<unsigned char, 256> frame = plain;
  NMisc::scramble(21903, frame.data(), 256);
  EXPECT_EQ(encryptedBytes(21903), frame);
  EXPECT_NE(plain, frame);
  // Pieces may be unscrambled separately, as the receiver does with the length field.
  NMisc::unscramble(21903, frame.data(), 4);
  NMisc::unscramble(21903, frame.data() + 4, 252);
  EXPECT_EQ(plain, frame);

  NMisc::unscramble(21903, frame.data(), -5);  // nothing to do and nothing touched
  EXPECT_EQ(plain, frame);
}

}  // namespace

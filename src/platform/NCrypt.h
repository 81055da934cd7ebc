// NCrypt: the keyed byte-substitution cipher of the stored-procedure frames (a Simplified DES
// variant reduced to two 256-byte tables).
#pragma once

#include <cstdint>

// Every byte is replaced independently, so a buffer may be transformed in any number of
// pieces. Not shared between threads while setKey runs; encrypt and decrypt only read.
class NCrypt {
 public:
  // Until setKey is called both tables leave bytes unchanged.
  NCrypt();
  virtual ~NCrypt() = default;

  // Derives the two subkeys from the low ten bits of keyNumber and fills both tables; key
  // numbers equal in those bits give equal tables.
  void setKey(int keyNumber);
  // Replace each of length bytes in place; a null buffer or length <= 0 does nothing.
  void encrypt(unsigned char* buffer, int length) const;
  void decrypt(unsigned char* buffer, int length) const;

  uint8_t subkey1() const { return m_nKey1; }
  uint8_t subkey2() const { return m_nKey2; }

 private:
  static uint8_t cipherByte(uint8_t input, uint8_t firstKey, uint8_t secondKey);

  uint8_t m_nKey1 = 0;
  uint8_t m_nKey2 = 0;
  uint8_t m_arEncrypt[256];
  uint8_t m_arDecrypt[256];
};

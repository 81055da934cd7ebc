// NHash: digest of a text or of a file as upper-case hexadecimal text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

// Only MD5 (algorithm 5) is built; every other algorithm id gives the empty text. Not shared
// between threads.
class NHash {
 public:
  static constexpr uint32_t kAlgorithmMd5 = 5;
  static constexpr int kInputText = 1;  // the input is the text itself
  static constexpr int kInputFile = 2;  // the input is a Windows file path
  static constexpr size_t kResultSize = 200;
  // File content is hashed through one buffer of this size, allocated per file.
  static constexpr size_t kReadBufferSize = 0x80000;

  NHash() = default;
  virtual ~NHash() = default;
  NHash(const NHash&) = delete;
  NHash& operator=(const NHash&) = delete;

  // Returns the digest of the input as upper-case hexadecimal text, two digits per digest
  // byte; for MD5 32 characters. A file that cannot be opened or read, an empty file, a null
  // input, an unknown input kind or an unbuilt algorithm give the empty text. The text of a
  // kind-1 input is hashed up to its terminating zero (the empty text has a digest). The
  // returned text belongs to this object and stays valid until the next call. bitLength only
  // matters to the SHA-2 choice, which is not built.
  const char* getHash(uint32_t algorithm, int inputKind, const char* input,
                      int bitLength = 256);
  // Called on the hashing thread after each piece of a file input, so that a caller hashing a
  // large file can look after other work (a stop to pass on) meanwhile. None by default.
  void setPieceHook(std::function<void()> hook) { m_fnPieceHook = std::move(hook); }

 private:
  bool md5OfText(uint8_t digest[16]) const;
  bool md5OfFile(uint8_t digest[16]) const;
  void writeHex(const uint8_t* digest, size_t size);

  uint32_t m_nAlgorithm = kAlgorithmMd5;
  int m_nInputKind = kInputFile;
  int m_nBitLength = 256;
  std::string m_strInput;
  std::function<void()> m_fnPieceHook;
  char m_szResult[kResultSize] = {};
};

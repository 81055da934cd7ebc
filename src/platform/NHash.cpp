// NHash: MD5 of a text or a file, written as upper-case hexadecimal text.
#include "platform/NHash.h"

#include <cstring>
#include <memory>
#include <new>

#include "platform/NMd5.h"
#include "platform/PlatformFile.h"

const char* NHash::getHash(uint32_t algorithm, int inputKind, const char* input,
                           int bitLength) {
  std::memset(m_szResult, 0, sizeof m_szResult);
  m_nAlgorithm = algorithm;
  m_nInputKind = inputKind;
  m_nBitLength = bitLength;
  m_strInput = input != nullptr ? input : "";
  if (input == nullptr || m_nAlgorithm != kAlgorithmMd5) {
    return m_szResult;
  }
  uint8_t digest[NMd5::kDigestSize];
  bool done = false;
  if (m_nInputKind == kInputText) {
    done = md5OfText(digest);
  } else if (m_nInputKind == kInputFile) {
    done = md5OfFile(digest);
  }
  if (done) {
    writeHex(digest, sizeof digest);
  }
  return m_szResult;
}

bool NHash::md5OfText(uint8_t digest[16]) const {
  NMd5 md5;
  md5.update(m_strInput.data(), m_strInput.size());
  md5.final(digest);
  return true;
}

// The file is read in pieces of kReadBufferSize rather than small ones: the digest does not
// depend on the piece size, and large reads keep hashing near the speed of the MD5 core. The
// count of bytes read is the success mark, so an unreadable and an empty file both fail, and so
// does a file whose reading fails part of the way (its digest would be that of a shorter file).
bool NHash::md5OfFile(uint8_t digest[16]) const {
  plat::File file;
  if (m_strInput.empty() || !file.open(m_strInput, plat::FileMode::Read)) {
    return false;
  }
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kReadBufferSize]);
  if (!buffer) {
    return false;
  }
  NMd5 md5;
  uint64_t total = 0;
  for (;;) {
    const size_t got = file.read(buffer.get(), kReadBufferSize);
    if (got == 0) {
      break;
    }
    md5.update(buffer.get(), got);
    total += got;
    if (m_fnPieceHook) {
      m_fnPieceHook();
    }
  }
  if (total == 0 || file.readFailed()) {
    return false;
  }
  md5.final(digest);
  return true;
}

void NHash::writeHex(const uint8_t* digest, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (size_t i = 0; i < size && 2 * i + 2 < sizeof m_szResult; ++i) {
    m_szResult[2 * i] = kDigits[digest[i] >> 4];
    m_szResult[2 * i + 1] = kDigits[digest[i] & 0x0F];
  }
}

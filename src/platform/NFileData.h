// NFileData: the record of one file named in an index file.
#pragma once

#include <cstdint>

#include "platform/NString.h"
#include "platform/NStringArray.h"

class NFileData {
 public:
  static constexpr int kDigestChars = 40;
  static constexpr int kStateChars = 2;

  // Texts longer than their field are cut; a null text counts as empty, a null state as "A".
  NFileData(const char* name, uint32_t size, char type, const char* digest, uint32_t partCount);
  NFileData(const char* name, uint32_t size, char type, const char* digest, uint32_t partCount,
            const char* state);
  virtual ~NFileData();

  const NString& name() const { return m_strName; }
  uint32_t size() const { return m_nSize; }
  char type() const { return m_cType; }
  const char* digest() const { return m_szDigest; }
  uint32_t partCount() const { return m_nPartCount; }
  const char* state() const { return m_szState; }
  const NStringArray& parts() const { return m_arrParts; }

  // Keeps the first two characters of text; a null text leaves the state unchanged.
  void setState(const char* text);
  // Appends a part digest; returns its index.
  int addPart(const char* text) { return m_arrParts.add(text); }

 private:
  NString m_strName;
  uint32_t m_nSize;
  char m_cType;
  char m_szDigest[kDigestChars + 1] = {};
  uint32_t m_nPartCount;
  char m_szState[kStateChars + 1] = {};
  NStringArray m_arrParts;
};

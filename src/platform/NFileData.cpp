// NFileData: one index entry with its bounded digest and state fields.
#include "platform/NFileData.h"

#include <cstring>

#include "platform/FixedText.h"

NFileData::NFileData(const char* name, uint32_t size, char type, const char* digest, uint32_t partCount)
    : NFileData(name, size, type, digest, partCount, "A") {}

NFileData::NFileData(const char* name, uint32_t size, char type, const char* digest, uint32_t partCount,
                     const char* state)
    : m_strName(name), m_nSize(size), m_cType(type), m_nPartCount(partCount) {
  plat::setFixedText(m_szDigest, digest);
  plat::setFixedText(m_szState, state ? state : "A");
}

NFileData::~NFileData() = default;

void NFileData::setState(const char* text) {
  if (text) plat::setFixedText(m_szState, text);
}

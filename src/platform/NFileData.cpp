// NFileData: one index entry with its bounded digest and state fields.
#include "platform/NFileData.h"

#include <cstring>

namespace {

// Bounded copy into a field of width bytes: width - 1 characters and a terminating zero.
void copyField(char* field, size_t width, const char* text) {
  size_t n = 0;
  while (text && n + 1 < width && text[n] != 0) ++n;
  if (n > 0) std::memcpy(field, text, n);
  field[n] = 0;
}

}  // namespace

NFileData::NFileData(const char* name, uint32_t size, char type, const char* digest, uint32_t partCount)
    : NFileData(name, size, type, digest, partCount, "A") {}

NFileData::NFileData(const char* name, uint32_t size, char type, const char* digest, uint32_t partCount,
                     const char* state)
    : m_strName(name), m_nSize(size), m_cType(type), m_nPartCount(partCount) {
  copyField(m_szDigest, sizeof(m_szDigest), digest);
  copyField(m_szState, sizeof(m_szState), state ? state : "A");
}

NFileData::~NFileData() = default;

void NFileData::setState(const char* text) {
  if (text) copyField(m_szState, sizeof(m_szState), text);
}

// HostEnvironment: the block the host agent passes to every export; the module copies it whole
// and reads only the server addresses and the equipment id. Laid out by the host, byte for byte.
#pragma once

#include <cstddef>

struct HostEnvironment {
  static constexpr size_t kSize = 110644;

  char m_szEquipId[13];       // equipment id, at most 12 characters (the unit key)
  char m_szDbAddress[25];     // database gateway address
  char m_szDbPort[41];        // database gateway port, decimal text
  char m_szFtAddress[31];     // file-transfer server address
  char m_szFtSecond[31];      // file-transfer second connection text
  char m_szFtPort[10];        // file-transfer port, decimal text
  char m_szTransferMode[2];   // "A": active transfers
  char m_reserved[kSize - 153];  // the host's other fields, carried unchanged
};

static_assert(sizeof(HostEnvironment) == HostEnvironment::kSize);
static_assert(offsetof(HostEnvironment, m_szEquipId) == 0);
static_assert(offsetof(HostEnvironment, m_szDbAddress) == 13);
static_assert(offsetof(HostEnvironment, m_szDbPort) == 38);
static_assert(offsetof(HostEnvironment, m_szFtAddress) == 79);
static_assert(offsetof(HostEnvironment, m_szFtSecond) == 110);
static_assert(offsetof(HostEnvironment, m_szFtPort) == 141);
static_assert(offsetof(HostEnvironment, m_szTransferMode) == 151);
static_assert(offsetof(HostEnvironment, m_reserved) == 153);

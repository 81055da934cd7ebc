// DistContent: a commanded package as parsed from the host's contents text ("|$" fields), in
// the fixed 3,996-byte layout that is posted with the command and copied into the job.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

struct DistContent {
  static constexpr size_t kSize = 3996;

  uint32_t m_nWord0;            // carried, never read
  uint32_t m_nActorKind;        // 0 command actor, 1 user actor
  uint32_t m_nActorProcessId;
  uint32_t m_nActorSessionId;
  int32_t m_nDistId;
  char m_szDistName[65];
  char m_szVersion[65];
  char m_szBaseFolder[257];
  char m_szDescr[129];
  int32_t m_bAgree;
  int32_t m_bPublic;
  char m_szExecFile[129];
  char m_szExecOpt[129];
  char m_szExecUser[2];
  char m_szRegFile[129];
  char m_pad0[3];
  uint32_t m_nSplitCount;
  uint32_t m_nTotalSize;          // KiB
  uint32_t m_nCompressedSizeSum;
  uint32_t m_nField19;            // carried
  uint32_t m_nField13;            // carried flag
  char m_szIdxFileDigest[36];     // 33 used
  int32_t m_nProcType;            // 1 NDT, 2 SWDT, 3 DELDT; 0 when not given
  int32_t m_nSwId;
  char m_szPlatform[2096];
  char m_reserved[kSize - 3096];
};

static_assert(std::endian::native == std::endian::little, "records are little-endian");
static_assert(sizeof(DistContent) == DistContent::kSize);
static_assert(offsetof(DistContent, m_nActorKind) == 4);
static_assert(offsetof(DistContent, m_nActorProcessId) == 8);
static_assert(offsetof(DistContent, m_nActorSessionId) == 12);
static_assert(offsetof(DistContent, m_nDistId) == 16);
static_assert(offsetof(DistContent, m_szDistName) == 20);
static_assert(offsetof(DistContent, m_szVersion) == 85);
static_assert(offsetof(DistContent, m_szBaseFolder) == 150);
static_assert(offsetof(DistContent, m_szDescr) == 407);
static_assert(offsetof(DistContent, m_bAgree) == 536);
static_assert(offsetof(DistContent, m_bPublic) == 540);
static_assert(offsetof(DistContent, m_szExecFile) == 544);
static_assert(offsetof(DistContent, m_szExecOpt) == 673);
static_assert(offsetof(DistContent, m_szExecUser) == 802);
static_assert(offsetof(DistContent, m_szRegFile) == 804);
static_assert(offsetof(DistContent, m_nSplitCount) == 936);
static_assert(offsetof(DistContent, m_nTotalSize) == 940);
static_assert(offsetof(DistContent, m_nCompressedSizeSum) == 944);
static_assert(offsetof(DistContent, m_nField19) == 948);
static_assert(offsetof(DistContent, m_nField13) == 952);
static_assert(offsetof(DistContent, m_szIdxFileDigest) == 956);
static_assert(offsetof(DistContent, m_nProcType) == 992);
static_assert(offsetof(DistContent, m_nSwId) == 996);
static_assert(offsetof(DistContent, m_szPlatform) == 1000);

inline constexpr int32_t kProcTypeNdt = 1;
inline constexpr int32_t kProcTypeSwdt = 2;
inline constexpr int32_t kProcTypeDeldt = 3;

// Parses the contents text into content (zero-filled first). 1, or 0 with fewer than 15 fields.
int parseDistContent(const char* contents, DistContent& content);

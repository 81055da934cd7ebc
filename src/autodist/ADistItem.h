// ADistItem: one automatic distribution item as the manager keeps it and the pass copies it;
// ADistSharedState: the pass's item array and status record, published whole to the automatic
// progress dialog as the registry value "dtdlg_cfg". Both are byte images read by another
// program: fixed offsets, little-endian, no padding of the compiler's own.
#pragma once

#include <cstddef>
#include <cstdint>

struct ADistItem {
  static constexpr size_t kSize = 1152;

  int32_t m_nDistId;
  uint32_t iCmd;               // 1 now, 2 command, 3 periodic
  char m_szName[65];           // at most 64 characters
  char m_szIdxDigest[41];      // at most 40 characters
  char m_szStatus[4];          // three digits
  char m_reserved1[2];
  int32_t m_nAttempts;
  char m_reserved2[128];
  uint32_t m_bFreshCmd;        // set on add or re-command, cleared when the pass copies it
  int32_t m_nUpdateId;
  char m_szLabel[261];         // index header field 3
  char m_szDstFolder[261];     // index header field 4
  char m_szSubFolder[2];       // "Y": walk subfolders of the destination
  char m_szCleanUp[2];         // "Y": remove destination files the index does not name
  char m_szProgram[261];       // relative to the destination folder
  char m_szProgramArgs[100];
  char m_szAccount[2];         // "L", "C" or "S" (the default)
  char m_reserved3[3];
};

static_assert(sizeof(ADistItem) == ADistItem::kSize);
static_assert(offsetof(ADistItem, iCmd) == 4);
static_assert(offsetof(ADistItem, m_szName) == 8);
static_assert(offsetof(ADistItem, m_szIdxDigest) == 73);
static_assert(offsetof(ADistItem, m_szStatus) == 114);
static_assert(offsetof(ADistItem, m_nAttempts) == 120);
static_assert(offsetof(ADistItem, m_bFreshCmd) == 252);
static_assert(offsetof(ADistItem, m_nUpdateId) == 256);
static_assert(offsetof(ADistItem, m_szLabel) == 260);
static_assert(offsetof(ADistItem, m_szDstFolder) == 521);
static_assert(offsetof(ADistItem, m_szSubFolder) == 782);
static_assert(offsetof(ADistItem, m_szCleanUp) == 784);
static_assert(offsetof(ADistItem, m_szProgram) == 786);
static_assert(offsetof(ADistItem, m_szProgramArgs) == 1047);
static_assert(offsetof(ADistItem, m_szAccount) == 1147);

// The manager's list node: the item followed by the link to the next (newer items first).
struct ADistItemNode {
  ADistItem item;
  ADistItemNode* pNext;
};

// The status record every stage updates; the manager thread sends it to the gateway.
struct ADistStatusRecord {
  int32_t m_nDistId;
  char m_szStatus[4];
  char m_szDetail[261];  // at most 260 characters
  char m_reserved[3];
  int32_t m_nPercent;    // -1 when not applicable
  uint32_t m_nStartTick; // set when "071" is recorded
  uint32_t m_nLastTick;  // tick of the last change
};

static_assert(sizeof(ADistStatusRecord) == 284);
static_assert(offsetof(ADistStatusRecord, m_nPercent) == 272);

struct ADistSharedState {
  static constexpr size_t kSize = 115488;
  static constexpr int kMaxItems = 100;

  int32_t m_nItemCount;  // 0 to 100
  ADistItem m_items[kMaxItems];
  ADistStatusRecord m_status;
};

static_assert(sizeof(ADistSharedState) == ADistSharedState::kSize);
static_assert(offsetof(ADistSharedState, m_items) == 4);
static_assert(offsetof(ADistSharedState, m_status) == 115204);
static_assert(offsetof(ADistSharedState, m_status) + offsetof(ADistStatusRecord, m_szStatus) ==
              115208);
static_assert(offsetof(ADistSharedState, m_status) + offsetof(ADistStatusRecord, m_szDetail) ==
              115212);
static_assert(offsetof(ADistSharedState, m_status) + offsetof(ADistStatusRecord, m_nPercent) ==
              115476);
static_assert(offsetof(ADistSharedState, m_status) + offsetof(ADistStatusRecord, m_nLastTick) ==
              115484);

inline constexpr const char* kADistDlgRecordValue = "dtdlg_cfg";
inline constexpr const char* kADistDlgCounterValue = "dtdlg_cfgcnt";
inline constexpr const char* kADistDlgImage = "cvdtdlg.exe";
inline constexpr const char* kADistDlgToken = "7E2A9F04B13C";

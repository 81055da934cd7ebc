// The report-data channel shared with the host's reporting component: the command-result
// record, the message that carries it, and the queue of slots in the shared mapping. Both sides
// use these layouts byte for byte.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little, "the records are little-endian");

namespace report {

inline constexpr uint32_t kMsgCmdResult = 4386;  // 0x1122
inline constexpr uint32_t kMessageSize = 4096;
inline constexpr uint32_t kSlotCount = 128;      // slot 0 is never used: index 0 ends a list
inline constexpr uint32_t kWaitAvailMs = 2000;

inline constexpr const char* kQueueBaseName = "Global\\CVReportDataImplCommand_IPC";
inline constexpr const char* kMappingTemplate = "Global\\%s_mem";
inline constexpr const char* kFilledTemplate = "Global\\%s_evt_filled";
inline constexpr const char* kAvailTemplate = "Global\\%s_evt_avail";

// One command result. Texts are zero-terminated and zero-padded, in the ANSI code page.
struct ReportRecord {
  uint32_t m_nCmdId;
  char m_szTextA[260];
  char m_szTextB[260];
  char m_szDateTime[31];    // 14 digits, year to second
  char m_szResultCode[31];
  char m_szDetail[1025];
  char m_reserved[2385];
};
static_assert(sizeof(ReportRecord) == 3996);
static_assert(offsetof(ReportRecord, m_szTextA) == 4);
static_assert(offsetof(ReportRecord, m_szTextB) == 264);
static_assert(offsetof(ReportRecord, m_szDateTime) == 524);
static_assert(offsetof(ReportRecord, m_szResultCode) == 555);
static_assert(offsetof(ReportRecord, m_szDetail) == 586);
static_assert(offsetof(ReportRecord, m_reserved) == 1611);

struct ReportMessage {
  uint32_t m_nCode;    // kMsgCmdResult
  uint32_t m_nLength;  // sizeof(ReportRecord)
  ReportRecord m_record;
  char m_reserved[kMessageSize - 8 - sizeof(ReportRecord)];
};
static_assert(sizeof(ReportMessage) == kMessageSize);
static_assert(offsetof(ReportMessage, m_nLength) == 4);
static_assert(offsetof(ReportMessage, m_record) == 8);

struct ReportSlot {
  uint32_t m_nNext;  // next slot of the list it is on; 0 ends the list
  uint32_t m_nUsed;  // bytes of m_data in use, at most kMessageSize
  unsigned char m_data[kMessageSize];
};
static_assert(sizeof(ReportSlot) == 4104);
static_assert(offsetof(ReportSlot, m_nUsed) == 4);
static_assert(offsetof(ReportSlot, m_data) == 8);

// The whole mapping. Writers pop slots off the free list and push them on the filled list; the
// reporting component takes the filled list and gives the slots back. Both heads change only
// through interlocked operations.
struct ReportQueue {
  uint32_t m_nFreeHead;
  uint32_t m_nFilledHead;
  ReportSlot m_slots[kSlotCount];
};
static_assert(sizeof(ReportQueue) == 525320);
static_assert(offsetof(ReportQueue, m_nFilledHead) == 4);
static_assert(offsetof(ReportQueue, m_slots) == 8);
static_assert(offsetof(ReportQueue, m_slots[1]) == 8 + 4104);

}  // namespace report

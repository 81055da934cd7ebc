// The commanded progress dialog's record: the binary registry value "ndtdlg_cfg_<id>" under
// HKLM\SOFTWARE\Plumbex\Corvane (32-bit view), written by the job and read by cvdtndlg.exe.
#pragma once

#include <cstddef>
#include <cstdint>

struct NDtDlgRecord {
  static constexpr size_t kSize = 264;

  uint32_t m_nProgress;      // percent during downloads, 0 between steps
  char m_szStatus[4];        // at most 3 characters
  char m_szMessage[256];     // at most 255 characters
};

static_assert(sizeof(NDtDlgRecord) == NDtDlgRecord::kSize);
static_assert(offsetof(NDtDlgRecord, m_szStatus) == 4);
static_assert(offsetof(NDtDlgRecord, m_szMessage) == 8);

inline constexpr const char* kAgentKey = "SOFTWARE\\Plumbex\\Corvane";
inline constexpr const char* kNDtDlgRecordPrefix = "ndtdlg_cfg_";
inline constexpr const char* kNDtDlgCounterPrefix = "ndtdlg_cfgcnt_";

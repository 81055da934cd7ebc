// Reads a commanded job's progress record: the binary value "ndtdlg_cfg_<id>" and the counter
// "ndtdlg_cfgcnt_<id>" under HKLM\SOFTWARE\Plumbex\Corvane (32-bit view).
#pragma once

#include <string>

#include "DialogFrame.h"

class DialogRecordReader {
 public:
  explicit DialogRecordReader(const std::string& distId);

  // The current frame. False when the record is missing or is not a record (wrong type or
  // size); frame is then unchanged.
  bool read(DialogFrame& frame) const;

  const std::string& recordName() const { return m_strRecordName; }

 private:
  std::string m_strRecordName;
  std::string m_strCounterName;
};

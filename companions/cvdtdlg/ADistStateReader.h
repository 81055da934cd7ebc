// ADistStateReader: reads the automatic worker's published state block, the binary value
// "dtdlg_cfg" (115,488 bytes) and the counter "dtdlg_cfgcnt" under
// HKLM\SOFTWARE\Plumbex\Corvane (32-bit view), into what the dialog shows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ADistDialogState.h"

class ADistStateReader {
 public:
  // The counter alone, so a caller can skip re-reading an unchanged block. False when missing.
  bool readCounter(uint32_t& counter) const;
  // The whole state. False when the block is missing or is not a block (wrong type or size,
  // item count outside 0 to 100); state is then unchanged.
  bool read(ADistDialogState& state) const;
  // The state from a block image of exactly 115,488 bytes; false (state unchanged) otherwise.
  static bool decode(const uint8_t* data, size_t size, ADistDialogState& state);
};

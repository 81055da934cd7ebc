// What the automatic progress dialog shows: every item of the worker's pass with its status, and
// the status record of the item being worked on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ADistDialogItem {
  int32_t distId = 0;
  std::string name;
  std::string status;  // three digits, empty before the pass touched the item
};

struct ADistDialogState {
  uint32_t counter = 0;  // publications so far; 0 when the counter value is missing
  std::vector<ADistDialogItem> items;
  int32_t currentId = 0;  // the status record's item
  std::string currentStatus;
  std::string detail;
  int32_t percent = -1;  // -1 when not applicable

  // The percent to show beside an item: the record's for the current item, 100 for a completed
  // one, -1 (nothing to show) otherwise.
  int32_t percentOf(const ADistDialogItem& item) const {
    if (item.distId == currentId && item.status == currentStatus && percent >= 0) return percent;
    return item.status == "060" ? 100 : -1;
  }
};

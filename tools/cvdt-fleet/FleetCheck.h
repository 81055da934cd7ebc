// FleetCheck: reads back the run's reports from the gateway's database (SQLite or PostgreSQL)
// and checks every acknowledged one is stored exactly once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FleetPlan.h"

namespace cvdt::fleet {

struct CheckResult {
  bool read = false;  // false: the database could not be read (error says why)
  std::string error;
  int64_t lost = 0;             // acknowledged, not stored
  int64_t duplicated = 0;       // stored more than once
  int64_t storedUnacknowledged = 0;  // stored although the reply never came (allowed)
  int64_t unexpected = 0;       // rows of this run that no sent report explains
  bool passed() const { return read && lost == 0 && duplicated == 0 && unexpected == 0; }
};

class FleetCheck {
 public:
  // acknowledged and failed: sorted plan indexes of the reports sent.
  static CheckResult run(const std::string& location, const FleetPlan& plan,
                         const std::vector<int64_t>& acknowledged,
                         const std::vector<int64_t>& failed);
};

}  // namespace cvdt::fleet

// LatencyStats: request latencies of a run, and their percentiles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cvdt::fleet {

class LatencyStats {
 public:
  void add(uint32_t micros) { m_samples.push_back(micros); }
  void merge(const LatencyStats& other);
  size_t count() const { return m_samples.size(); }
  // The p-th percentile (0 to 100) in milliseconds; 0 without samples. Sorts the samples.
  double percentileMs(double p);

 private:
  std::vector<uint32_t> m_samples;
  bool m_bSorted = false;
};

}  // namespace cvdt::fleet

// Latency percentiles, nearest rank.
#include "LatencyStats.h"

#include <algorithm>
#include <cmath>

namespace cvdt::fleet {

void LatencyStats::merge(const LatencyStats& other) {
  m_samples.insert(m_samples.end(), other.m_samples.begin(), other.m_samples.end());
  m_bSorted = false;
}

double LatencyStats::percentileMs(double p) {
  if (m_samples.empty()) return 0;
  if (!m_bSorted) std::sort(m_samples.begin(), m_samples.end());
  m_bSorted = true;
  size_t rank = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(m_samples.size())));
  return m_samples[std::clamp<size_t>(rank, 1, m_samples.size()) - 1] / 1000.0;
}

}  // namespace cvdt::fleet

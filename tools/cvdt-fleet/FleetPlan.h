// FleetPlan: which report each simulated workstation sends, and how each is recognized in the
// database afterwards.
#pragma once

#include <cstdint>
#include <string>

namespace cvdt::fleet {

enum class ReportKind { Commanded, Automatic, Deletion };

// One report: the procedure, its packed parameters as the module packs them, and the key that
// finds its row (commanded: command id; automatic: processing time; deletion: distribution id).
struct PlannedReport {
  ReportKind kind = ReportKind::Commanded;
  std::string equipId;
  const char* procedure = "";
  int parameterCount = 0;
  std::string parameters;
  int64_t key = 0;
};

// Workstation w's equipment id is TAG-wwwwww; its report number k is one of the three kinds in
// turn, with statuses spread so that a status page has done, running and failed items.
class FleetPlan {
 public:
  static constexpr int64_t kCommandedDist = 100;
  static constexpr int64_t kAutomaticDist = 200;
  static constexpr int64_t kDeletionDistBase = 300;

  FleetPlan(std::string tag, int workstations, int reportsEach)
      : m_strTag(std::move(tag)), m_nWorkstations(workstations), m_nReportsEach(reportsEach) {}

  int64_t total() const { return int64_t{m_nWorkstations} * m_nReportsEach; }
  // Report number index of the whole run, workstations interleaved.
  PlannedReport report(int64_t index) const;
  std::string equipId(int workstation) const;
  const std::string& tag() const { return m_strTag; }

 private:
  std::string m_strTag;
  int m_nWorkstations;
  int m_nReportsEach;
};

}  // namespace cvdt::fleet

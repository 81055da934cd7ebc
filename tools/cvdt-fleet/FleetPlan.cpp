// The reports of the simulated fleet.
#include "FleetPlan.h"

#include <cstdio>

namespace cvdt::fleet {
namespace {

// Mostly done, some running and some failed, as a real site looks.
constexpr const char* kCommandedStatuses[] = {"060", "060", "060", "060", "071", "920", "904"};
constexpr const char* kAutomaticStatuses[] = {"060", "060", "060", "072", "904"};

}  // namespace

std::string FleetPlan::equipId(int workstation) const {
  char number[16];
  std::snprintf(number, sizeof number, "%06d", workstation);
  return m_strTag + "-" + number;
}

PlannedReport FleetPlan::report(int64_t index) const {
  int workstation = static_cast<int>(index % m_nWorkstations);
  int64_t sequence = index / m_nWorkstations + 1;
  PlannedReport r;
  r.equipId = equipId(workstation);
  r.kind = static_cast<ReportKind>((workstation + sequence) % 3);
  std::string equip = "EQUIP_ID|#S|#" + r.equipId;
  if (r.kind == ReportKind::Commanded) {
    const char* status = kCommandedStatuses[(workstation + sequence) % 7];
    r.procedure = "SP_SV_DT_N_EQUIP_IU";
    r.parameterCount = 7;
    r.key = sequence;
    r.parameters = equip + "|$DIST_ID|#I|#" + std::to_string(kCommandedDist) +
                   "|$PROC_TYPE|#S|#NDT|$STATUS|#S|#" + status +
                   "|$STATUS_DETAIL|#S|#fleet report " + std::to_string(sequence) +
                   "|$CMD_ID|#I|#" + std::to_string(sequence) + "|$ACTOR|#I|#1";
  } else if (r.kind == ReportKind::Automatic) {
    const char* status = kAutomaticStatuses[(workstation + sequence) % 5];
    r.procedure = "SP_SV_DT_TDT_A_EQUIP_U3";
    r.parameterCount = 8;
    r.key = sequence;
    r.parameters = equip + "|$DIST_ID|#I|#" + std::to_string(kAutomaticDist) +
                   "|$UPDATE_ID|#I|#1|$STATUS|#S|#" + status + "|$STATUS_DETAIL|#S|#" +
                   "|$PROC_TIME|#I|#" + std::to_string(sequence) +
                   "|$DIST_SERVER_IP|#S|#127.000.000.001|$ERR_DETAIL|#S|#" +
                   (status[0] == '9' ? "download failed" : "");
  } else {
    r.procedure = "SP_SV_DT_N_EQUIP_DELETE_DATETIME_U";
    r.parameterCount = 2;
    r.key = kDeletionDistBase + sequence;
    r.parameters = equip + "|$DIST_ID_DATA|#S|#" + std::to_string(r.key);
  }
  return r;
}

}  // namespace cvdt::fleet

// The five stored procedures of the gateway: their signatures, the checks of a request against
// them, and their work on the store.
#include "GatewayProcedures.h"

#include <charconv>
#include <set>
#include <span>

#include "GatewayRequest.h"

namespace cvdt::gateway {
namespace {

struct ParamSpec {
  const char* name;
  char type;
  bool mayBeEmpty;
};

enum class Kind { Commanded, Deletion, Automatic, AutomaticWithDetail, Targets };

constexpr ParamSpec kCommandedParams[] = {
    {"EQUIP_ID", 'S', false}, {"DIST_ID", 'I', false},      {"PROC_TYPE", 'S', false},
    {"STATUS", 'S', false},   {"STATUS_DETAIL", 'S', true}, {"CMD_ID", 'I', false},
    {"ACTOR", 'I', false}};
constexpr ParamSpec kDeletionParams[] = {{"EQUIP_ID", 'S', false}, {"DIST_ID_DATA", 'S', false}};
constexpr ParamSpec kAutomaticParams[] = {
    {"EQUIP_ID", 'S', false},      {"DIST_ID", 'I', false},   {"UPDATE_ID", 'I', false},
    {"STATUS", 'S', false},        {"STATUS_DETAIL", 'S', true}, {"PROC_TIME", 'I', false},
    {"DIST_SERVER_IP", 'S', true}, {"ERR_DETAIL", 'S', true}};
// The length at which the module cuts a deletion list.
constexpr size_t kCutDeletionListLength = 999;
constexpr ParamSpec kTargetParams[] = {{"EQUIP_ID", 'S', false}, {"DT_ID", 'S', false}};

bool parseInteger(std::string_view text, int64_t& value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// A distribution id: a decimal number greater than 0.
bool parseDistId(std::string_view text, int64_t& value) {
  return parseInteger(text, value) && value > 0;
}

}  // namespace

struct GatewayProcedures::Procedure {
  const char* name;
  std::span<const ParamSpec> params;
  Kind kind;
};

const GatewayProcedures::Procedure* GatewayProcedures::find(std::string_view name) {
  static const Procedure kProcedures[] = {
      {"SP_SV_DT_N_EQUIP_IU", kCommandedParams, Kind::Commanded},
      {"SP_SV_DT_N_EQUIP_DELETE_DATETIME_U", kDeletionParams, Kind::Deletion},
      {"SP_SV_DT_TDT_A_EQUIP_U", std::span(kAutomaticParams).first(7), Kind::Automatic},
      {"SP_SV_DT_TDT_A_EQUIP_U3", kAutomaticParams, Kind::AutomaticWithDetail},
      {"SP_SV_ADT_PROD_BY_EQUIP_S1", kTargetParams, Kind::Targets},
  };
  for (const Procedure& procedure : kProcedures) {
    if (name == procedure.name) return &procedure;
  }
  return nullptr;
}

GatewayOutcome GatewayProcedures::run(std::string_view requestText) {
  GatewayRequest request;
  if (plat::Status s = request.parse(requestText); !s) return {false, s.message()};
  const Procedure* procedure = find(request.procedure());
  if (procedure == nullptr) return {false, "unknown procedure " + printable(request.procedure())};
  Values values;
  if (plat::Status s = bindParams(*procedure, request, values); !s) return {false, s.message()};
  switch (procedure->kind) {
    case Kind::Commanded: return commandedResult(values);
    case Kind::Deletion: return deletions(values);
    case Kind::Automatic: return automaticStatus(values, false);
    case Kind::AutomaticWithDetail: return automaticStatus(values, true);
    case Kind::Targets: return productTargets(values);
  }
  return {false, "unknown procedure"};
}

plat::Status GatewayProcedures::bindParams(const Procedure& procedure,
                                           const GatewayRequest& request, Values& values) {
  if (request.params().size() != procedure.params.size()) {
    return plat::Status::failure(std::string(procedure.name) + " takes " +
                                 std::to_string(procedure.params.size()) + " parameters, not " +
                                 std::to_string(request.params().size()));
  }
  for (const GatewayParam& param : request.params()) {
    std::string reason;
    const ParamSpec* spec = nullptr;
    for (const ParamSpec& candidate : procedure.params) {
      if (param.name == candidate.name) spec = &candidate;
    }
    std::string name = printable(param.name);
    if (spec == nullptr) reason = std::string(procedure.name) + " has no parameter " + name;
    else if (values.count(param.name) != 0) reason = "parameter " + name + " given twice";
    else if (param.type != spec->type)
      reason = "parameter " + name + " must have type " + spec->type + ", not " + param.type;
    else if (int64_t number; param.type == 'I' && !parseInteger(param.value, number))
      reason = "parameter " + name + " '" + printable(param.value) + "' is not a decimal integer";
    else if (param.value.empty() && !spec->mayBeEmpty) reason = "parameter " + name + " is empty";
    else {
      values.emplace(param.name, param.value);
      continue;
    }
    return plat::Status::failure(reason);
  }
  return {};
}

std::string GatewayProcedures::text(const Values& values, const char* name) const {
  return m_site.toStored(values.find(name)->second);
}

GatewayOutcome GatewayProcedures::storeFailure() {
  return {false, "database error: " + m_store.error()};
}

GatewayOutcome GatewayProcedures::commandedResult(const Values& values) {
  CommandedReport report;
  report.equipId = text(values, "EQUIP_ID");
  parseInteger(values.find("DIST_ID")->second, report.distId);
  report.procType = text(values, "PROC_TYPE");
  report.status = text(values, "STATUS");
  report.statusDetail = text(values, "STATUS_DETAIL");
  parseInteger(values.find("CMD_ID")->second, report.cmdId);
  parseInteger(values.find("ACTOR")->second, report.actor);
  if (!m_store.recordCommandedResult(report)) return storeFailure();
  return {true, "1"};
}

// DIST_ID_DATA lists the distribution ids joined by "|&". The module cuts the list at 999
// characters, so a list of exactly that length may end in a cut id or half a separator: its last
// element is ignored then, and empty elements are skipped anywhere.
GatewayOutcome GatewayProcedures::deletions(const Values& values) {
  const std::string& data = values.find("DIST_ID_DATA")->second;
  std::vector<std::string_view> fields = splitFields(data, "|&");
  if (data.size() == kCutDeletionListLength && !fields.empty()) fields.pop_back();
  std::vector<int64_t> distIds;
  for (std::string_view field : fields) {
    if (field.empty()) continue;
    int64_t distId = 0;
    if (!parseDistId(field, distId))
      return {false, "DIST_ID_DATA holds '" + printable(field) + "', not a distribution id"};
    distIds.push_back(distId);
  }
  if (!m_store.recordDeletions(text(values, "EQUIP_ID"), distIds)) return storeFailure();
  return {true, std::to_string(distIds.size())};
}

GatewayOutcome GatewayProcedures::automaticStatus(const Values& values, bool withErrorDetail) {
  AutomaticReport report;
  report.equipId = text(values, "EQUIP_ID");
  parseInteger(values.find("DIST_ID")->second, report.distId);
  parseInteger(values.find("UPDATE_ID")->second, report.updateId);
  report.status = text(values, "STATUS");
  report.statusDetail = text(values, "STATUS_DETAIL");
  parseInteger(values.find("PROC_TIME")->second, report.procTime);
  report.serverIp = text(values, "DIST_SERVER_IP");
  if (withErrorDetail) report.errDetail = text(values, "ERR_DETAIL");
  if (!m_store.recordAutomaticStatus(report)) return storeFailure();
  return {true, "1"};
}

// Rows joined by "|$"; fields joined by "|#": distribution id, name, policy, update id, install
// status.
GatewayOutcome GatewayProcedures::productTargets(const Values& values) {
  const std::string& distText = values.find("DT_ID")->second;
  int64_t distId = 0;
  if (!parseDistId(distText, distId))
    return {false, "DT_ID '" + printable(distText) + "' is not a distribution id"};
  std::vector<ProductTargetRow> rows;
  if (!m_store.productTargets(text(values, "EQUIP_ID"), distId, rows))
    return storeFailure();
  std::string result;
  for (const ProductTargetRow& row : rows) {
    if (!result.empty()) result += "|$";
    result += std::to_string(row.distId) + "|#" + row.name + "|#" + row.policy + "|#" +
              std::to_string(row.updateId) + "|#" + row.installStatus;
  }
  result = m_site.toWire(result);  // names and policies go back in the agents' code page
  if (result.size() > kMaxResultLength)
    return {false, "result of " + std::to_string(result.size()) + " bytes exceeds the reply limit"};
  return {true, result};
}

}  // namespace cvdt::gateway

// `cvdt-gateway target add|list|remove`: administering the product targets.
#include "TargetCommand.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "ResultTable.h"

namespace cvdt::gateway {
namespace {

constexpr int64_t kMaxId = 2147483647;
constexpr const char* kUsage =
    "usage: target add --db PATH --dist ID --name TEXT (--policy TEXT | --policy-file FILE)\n"
    "                  [--update-id N] [--equip ID]\n"
    "       target list --db PATH [--dist ID] [--equip ID] [--json]\n"
    "       target remove --db PATH TARGET_ID...";

}  // namespace

int TargetCommand::usage(const std::string& problem) const {
  std::fprintf(stderr, "cvdt-gateway target: %s\n%s\n", problem.c_str(), kUsage);
  return 2;
}

int TargetCommand::run() {
  const auto& words = m_args.words();
  std::string action = words.size() > 1 ? words[1] : "";
  std::string problem = m_args.problem(
      {"db", "dist", "equip", "name", "policy", "policy-file", "update-id", "json"});
  if (!problem.empty()) return usage(problem);
  if (action != "add" && action != "list" && action != "remove")
    return usage("unknown action '" + action + "'");
  if (!m_args.has("db")) return usage("--db is required");
  GatewayStore store;
  if (!store.connect(m_args.value("db"), action == "add")) {
    std::fprintf(stderr, "cvdt-gateway target: %s\n", store.error().c_str());
    return 1;
  }
  if (action == "add") return add(store);
  return action == "list" ? list(store) : remove(store);
}

std::string TargetCommand::unfit(const std::string& what, const std::string& text,
                                 size_t maxLength) {
  if (text.size() > maxLength)
    return what + " is longer than " + std::to_string(maxLength) + " bytes";
  for (const char* separator : {"|@", "|#", "|$"}) {
    if (text.find(separator) != std::string::npos) return what + " holds " + separator;
  }
  return {};
}

bool TargetCommand::readPolicy(std::string& policy, std::string& error) const {
  if (m_args.has("policy") == m_args.has("policy-file")) {
    error = "give either --policy or --policy-file";
    return false;
  }
  if (m_args.has("policy")) {
    policy = m_args.value("policy");
    return true;
  }
  std::ifstream file(m_args.value("policy-file"), std::ios::binary);
  std::ostringstream content;
  if (!file || !(content << file.rdbuf())) {
    error = "cannot read " + m_args.value("policy-file");
    return false;
  }
  policy = content.str();
  return true;
}

int TargetCommand::add(GatewayStore& store) {
  int64_t distId = 0, updateId = 1;
  if (!m_args.has("dist") || !m_args.integer("dist", 1, kMaxId, distId))
    return usage("--dist wants a distribution id from 1 to 2147483647");
  if (!m_args.integer("update-id", 1, kMaxId, updateId))
    return usage("--update-id wants a number from 1 to 2147483647");
  std::string name = m_args.value("name"), equip = m_args.value("equip"), policy, problem;
  if (name.empty()) return usage("--name is required");
  if (!readPolicy(policy, problem)) return usage(problem);
  for (std::string fault : {unfit("the name", name, kMaxNameLength),
                            unfit("the policy", policy, kMaxPolicyLength),
                            unfit("the equipment id", equip, 199)}) {
    if (!fault.empty()) return usage(fault);
  }
  int64_t id = 0;
  if (!store.addTarget(distId, equip, name, policy, updateId, id)) {
    std::fprintf(stderr, "cvdt-gateway target: %s\n", store.error().c_str());
    return 1;
  }
  std::printf("added target %lld\n", static_cast<long long>(id));
  return 0;
}

int TargetCommand::list(GatewayStore& store) {
  int64_t distId = 0;
  if (!m_args.integer("dist", 1, kMaxId, distId)) return usage("--dist wants a distribution id");
  std::vector<SqlRow> rows;
  std::optional<std::string> equip;
  if (m_args.has("equip")) equip = m_args.value("equip");
  if (!store.listTargets(m_args.has("dist") ? distId : 0, equip, rows)) {
    std::fprintf(stderr, "cvdt-gateway target: %s\n", store.error().c_str());
    return 1;
  }
  using Kind = ResultTable::Kind;
  ResultTable table({{"target_id", Kind::Integer}, {"dist_id", Kind::Integer},
                     {"equip_id", Kind::Text}, {"update_id", Kind::Integer},
                     {"name", Kind::Text}, {"policy", Kind::Text}, {"created_at", Kind::Text}});
  table.fill(std::move(rows));
  std::printf("%s", m_args.has("json") ? (table.json() + "\n").c_str() : table.text().c_str());
  return 0;
}

int TargetCommand::remove(GatewayStore& store) {
  const auto& words = m_args.words();
  if (words.size() < 3) return usage("name the targets to remove");
  std::vector<int64_t> ids, missingIds;
  for (size_t i = 2; i < words.size(); ++i) {
    int64_t id = 0;
    if (!ArgList::parseInteger(words[i], 1, INT64_MAX, id))
      return usage("not a target id: " + words[i]);
    ids.push_back(id);
  }
  if (!store.removeTargets(ids, missingIds)) {
    std::fprintf(stderr, "cvdt-gateway target: %s\n", store.error().c_str());
    return 1;
  }
  for (int64_t id : missingIds)
    std::fprintf(stderr, "cvdt-gateway target: no target %lld\n", static_cast<long long>(id));
  size_t missing = missingIds.size();
  std::printf("removed %zu target(s)\n", words.size() - 2 - missing);
  return missing == 0 ? 0 : 1;
}

}  // namespace cvdt::gateway

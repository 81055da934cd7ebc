// `cvdt-gateway target add|list|remove`: administering the product targets.
#include "TargetCommand.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "NCliNumber.h"
#include "ResultTable.h"

namespace cvdt::gateway {
namespace {

constexpr int64_t kMaxId = 2147483647;

}  // namespace

void TargetCommand::addTo(cli::NCliApp& cli) {
  auto options = std::make_shared<Options>();
  Options* o = options.get();
  CLI::App* target = cli.addCommand(cli.root(), "target",
                                    "the product targets handed to agents for automatic distribution",
                                    "cvdt-gateway target list --db gateway.db --json");
  auto command = [&cli, target, options](const char* name, const char* description, const char* example,
                                         Action action) {
    CLI::App* sub = cli.addCommand(*target, name, description, example,
                                   [action, options] { return TargetCommand(action, *options).run(); });
    sub->add_option("--db", options->strDb, "the gateway's database: an SQLite file or postgresql://...")
        ->required()->type_name("DB");
    return sub;
  };
  CLI::App* add = command("add", "add a product target",
                          "cvdt-gateway target add --db gateway.db --dist 12 --name Viewer --policy-file viewer.xml",
                          Action::Add);
  cli::NCliNumber::add(*add, "--dist", o->nDist, 1, kMaxId, "the distribution id")->required()->default_str("");
  add->add_option("--name", o->strName, "the product's name (at most 127 bytes)")->required();
  add->add_option("--policy", o->strPolicy, "the detection policy text (at most 5119 bytes)")
      ->each([o](const std::string&) { o->bPolicyGiven = true; });
  add->add_option("--policy-file", o->strPolicyFile, "read the policy from FILE")->type_name("FILE");
  cli::NCliNumber::add(*add, "--update-id", o->nUpdateId, 1, kMaxId, "the update id");
  add->add_option("--equip", o->strEquip, "only for this equipment (default: every one)")->type_name("ID");
  CLI::App* list = command("list", "list the product targets",
                           "cvdt-gateway target list --db gateway.db --dist 12 --json", Action::List);
  cli::NCliNumber::add(*list, "--dist", o->nDist, 1, kMaxId, "only this distribution")->default_str("");
  list->add_option("--equip", o->strEquip, "only this equipment")
      ->type_name("ID")->each([o](const std::string&) { o->bEquipGiven = true; });
  list->add_flag("--json", o->bJson, "print a JSON array of the targets");
  CLI::App* remove = command("remove", "remove product targets by id",
                             "cvdt-gateway target remove --db gateway.db 3 4", Action::Remove);
  remove->add_option("TARGET_ID", o->targetIds, "the ids that 'target list' shows")->required()->type_name("ID");
}

int TargetCommand::run() {
  GatewayStore store;
  if (!store.connect(m_options.strDb, m_action == Action::Add)) {
    std::fprintf(stderr, "cvdt-gateway target: %s\n", store.error().c_str());
    return cli::kExitFailed;
  }
  if (m_action == Action::Add) return add(store);
  return m_action == Action::List ? list(store) : remove(store);
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

plat::Status TargetCommand::readPolicy(std::string& policy) const {
  if (m_options.bPolicyGiven == !m_options.strPolicyFile.empty()) {
    return plat::Status::failure("give either --policy or --policy-file");
  }
  if (m_options.bPolicyGiven) {
    policy = m_options.strPolicy;
    return {};
  }
  std::ifstream file(m_options.strPolicyFile, std::ios::binary);
  std::ostringstream content;
  if (!file || !(content << file.rdbuf()))
    throw std::runtime_error("cannot read " + m_options.strPolicyFile);  // exit 1, not a usage error
  policy = content.str();
  return {};
}

int TargetCommand::add(GatewayStore& store) {
  int64_t distId = m_options.nDist, updateId = m_options.nUpdateId;
  std::string name = m_options.strName, equip = m_options.strEquip, policy;
  if (name.empty()) throw cli::NCliUsageError("--name is required");
  if (plat::Status s = readPolicy(policy); !s) throw cli::NCliUsageError(s.message());
  for (std::string fault : {unfit("the name", name, kMaxNameLength),
                            unfit("the policy", policy, kMaxPolicyLength),
                            unfit("the equipment id", equip, 199)}) {
    if (!fault.empty()) throw cli::NCliUsageError(fault);
  }
  int64_t id = 0;
  if (!store.addTarget(distId, equip, name, policy, updateId, id)) {
    std::fprintf(stderr, "cvdt-gateway target: %s\n", store.error().c_str());
    return cli::kExitFailed;
  }
  std::printf("added target %lld\n", static_cast<long long>(id));
  return cli::kExitOk;
}

int TargetCommand::list(GatewayStore& store) {
  std::vector<SqlRow> rows;
  std::optional<std::string> equip;
  if (m_options.bEquipGiven) equip = m_options.strEquip;
  if (!store.listTargets(m_options.nDist, equip, rows)) {
    std::fprintf(stderr, "cvdt-gateway target: %s\n", store.error().c_str());
    return cli::kExitFailed;
  }
  using Kind = ResultTable::Kind;
  ResultTable table({{"target_id", Kind::Integer}, {"dist_id", Kind::Integer},
                     {"equip_id", Kind::Text}, {"update_id", Kind::Integer},
                     {"name", Kind::Text}, {"policy", Kind::Text}, {"created_at", Kind::Text}});
  table.fill(std::move(rows));
  if (m_options.bJson) std::printf("%s\n", cli::NCliJson::line(table.json()).c_str());
  else std::printf("%s", table.text().c_str());
  return cli::kExitOk;
}

int TargetCommand::remove(GatewayStore& store) {
  std::vector<int64_t> ids;
  for (const std::string& text : m_options.targetIds) {
    int64_t id = 0;
    if (!cli::NCliNumber::parse(text, 1, INT64_MAX, id)) throw cli::NCliUsageError("not a target id: " + text);
    ids.push_back(id);
  }
  std::vector<int64_t> missingIds;
  if (!store.removeTargets(ids, missingIds)) {
    std::fprintf(stderr, "cvdt-gateway target: %s\n", store.error().c_str());
    return cli::kExitFailed;
  }
  for (int64_t id : missingIds)
    std::fprintf(stderr, "cvdt-gateway target: no target %lld\n", static_cast<long long>(id));
  std::printf("removed %zu target(s)\n", ids.size() - missingIds.size());
  return missingIds.empty() ? cli::kExitOk : cli::kExitFailed;
}

}  // namespace cvdt::gateway

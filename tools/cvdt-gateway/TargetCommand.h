// TargetCommand: `cvdt-gateway target add|list|remove`: the product targets that the gateway
// hands to agents for automatic distribution.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "GatewayStore.h"
#include "NCliApp.h"
#include "platform/Status.h"

namespace cvdt::gateway {

class TargetCommand {
 public:
  static constexpr size_t kMaxNameLength = 127;
  static constexpr size_t kMaxPolicyLength = 5119;

  enum class Action { Add, List, Remove };
  struct Options {
    std::string strDb, strName, strEquip, strPolicy, strPolicyFile;
    bool bEquipGiven = false, bPolicyGiven = false, bJson = false;
    int64_t nDist = 0, nUpdateId = 1;  // nDist 0: not given (list: every distribution)
    std::vector<std::string> targetIds;
  };

  // Adds "target" with "add", "list" and "remove" to the tool.
  static void addTo(cli::NCliApp& cli);

  TargetCommand(Action action, const Options& options) : m_action(action), m_options(options) {}
  // 0 on success, 1 when the database refuses the work or an id is unknown, 2 on a usage error.
  int run();

 private:
  int add(GatewayStore& store);
  int list(GatewayStore& store);
  int remove(GatewayStore& store);
  // The policy text; a failure when neither or both of --policy and --policy-file
  // were given. Throws std::runtime_error when the file cannot be read.
  plat::Status readPolicy(std::string& policy) const;
  // Empty when text may travel inside the agent's reply; otherwise why not.
  static std::string unfit(const std::string& what, const std::string& text, size_t maxLength);

  Action m_action;
  const Options& m_options;
};

}  // namespace cvdt::gateway

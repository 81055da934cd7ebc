// TargetCommand: `cvdt-gateway target add|list|remove`: the product targets that the gateway
// hands to agents for automatic distribution.
#pragma once

#include <string>

#include "ArgList.h"
#include "GatewayStore.h"

namespace cvdt::gateway {

class TargetCommand {
 public:
  static constexpr size_t kMaxNameLength = 127;
  static constexpr size_t kMaxPolicyLength = 5119;

  explicit TargetCommand(const ArgList& args) : m_args(args) {}
  // 0 on success, 1 when the database refuses the work or an id is unknown, 2 on a usage error.
  int run();

 private:
  int add(GatewayStore& store);
  int list(GatewayStore& store);
  int remove(GatewayStore& store);
  bool readPolicy(std::string& policy, std::string& error) const;
  // Empty when text may travel inside the agent's reply; otherwise why not.
  static std::string unfit(const std::string& what, const std::string& text, size_t maxLength);
  int usage(const std::string& problem) const;

  const ArgList& m_args;
};

}  // namespace cvdt::gateway

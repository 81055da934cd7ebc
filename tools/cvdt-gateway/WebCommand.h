// WebCommand: `cvdt-gateway web`: the operator's read-only status page and its JSON API over
// HTTP, on the gateway's database (SQLite or PostgreSQL).
#pragma once

#include <string>

#include "ArgList.h"

namespace cvdt::gateway {

class WebCommand {
 public:
  explicit WebCommand(const ArgList& args) : m_args(args) {}
  // 0 after a stop by SIGINT or SIGTERM, 1 when the database or the address cannot be used,
  // 2 on a usage error.
  int run();

 private:
  const ArgList& m_args;
};

}  // namespace cvdt::gateway

// WebCommand: `cvdt-gateway web`: the operator's read-only status page and its JSON API over
// HTTP, on the gateway's database (SQLite or PostgreSQL).
#pragma once

#include <cstdint>
#include <string>

#include "NCliApp.h"

namespace cvdt::gateway {

class WebCommand {
 public:
  struct Options {
    std::string strListen = "127.0.0.1:7280", strDb;
    uint32_t nCodePage = 0;  // shows stored texts that are not UTF-8 decoded from it
  };

  // Adds "web" and its options to the tool.
  static void addTo(cli::NCliApp& cli);

  explicit WebCommand(const Options& options) : m_options(options) {}
  // 0 after a stop by SIGINT or SIGTERM, 1 when the database or the address cannot be used,
  // 2 on a usage error.
  int run();

 private:
  const Options& m_options;
};

}  // namespace cvdt::gateway

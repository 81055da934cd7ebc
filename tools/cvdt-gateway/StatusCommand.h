// StatusCommand: `cvdt-gateway status`: the latest commanded and automatic status of every
// equipment and distribution, as a table or as JSON, once or refreshed with --watch.
#pragma once

#include <cstdint>
#include <string>

#include "NCliApp.h"
#include "ResultTable.h"
#include "SiteText.h"

namespace cvdt::gateway {

class GatewayStore;

class StatusCommand {
 public:
  struct Options {
    std::string strDb, strEquip;
    bool bEquipGiven = false, bJson = false, bWatch = false;
    int64_t nIntervalSeconds = 2;
    uint32_t nCodePage = 0;  // decodes stored texts that are not UTF-8 for printing
  };

  // Adds "status" and its options to the tool.
  static void addTo(cli::NCliApp& cli);

  explicit StatusCommand(const Options& options) : m_options(options) {}
  // 0 when printed (with --watch: when stopped by SIGINT or SIGTERM), 1 when the database cannot
  // be read.
  int run();

 private:
  // Both tables read now; false when a query fails.
  bool read(GatewayStore& store, ResultTable& commanded, ResultTable& automatic) const;
  bool query(SqlSession& session, const char* sql, ResultTable& table) const;
  // The tables as printed: one JSON line, or the two text tables.
  std::string render(const ResultTable& commanded, const ResultTable& automatic) const;
  // Prints the status every interval until a stop signal. On a terminal the screen is redrawn
  // with the time of the reading; otherwise the status is printed again only when it changed.
  int watch(GatewayStore& store);

  const Options& m_options;
};

}  // namespace cvdt::gateway

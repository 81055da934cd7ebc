// StatusCommand: `cvdt-gateway status`: the latest commanded and automatic status of every
// equipment and distribution, as a table or as JSON.
#pragma once

#include "ArgList.h"
#include "ResultTable.h"
#include "SiteText.h"

namespace cvdt::gateway {

class StatusCommand {
 public:
  explicit StatusCommand(const ArgList& args) : m_args(args) {}
  // 0 when printed, 1 when the database cannot be read, 2 on a usage error.
  int run();

 private:
  bool query(sqlite3* db, const char* sql, ResultTable& table) const;

  const ArgList& m_args;
  SiteText m_site;  // decodes stored texts that are not UTF-8 for printing
};

}  // namespace cvdt::gateway

// GatewayProcedures: runs one request text against the store: finds the stored procedure, checks
// its parameters' names, count and types, and does the procedure's work.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "GatewayStore.h"
#include "SiteText.h"
#include "platform/Status.h"

namespace cvdt::gateway {

// ok: text is the result text for "C00440AOK|@"; otherwise text is the reason for refusing.
struct GatewayOutcome {
  bool ok = false;
  std::string text;
};

class GatewayProcedures {
 public:
  // Largest result text: the reply body may not exceed 1,048,576 bytes.
  static constexpr size_t kMaxResultLength = 0x100000 - 11;

  // site: the code page agents send their texts in, decoded before they are stored.
  explicit GatewayProcedures(GatewayStore& store, SiteText site = SiteText())
      : m_store(store), m_site(site) {}

  // A refused request writes nothing.
  GatewayOutcome run(std::string_view requestText);

 private:
  using Values = std::map<std::string, std::string, std::less<>>;
  struct Procedure;

  static const Procedure* find(std::string_view name);
  static plat::Status bindParams(const Procedure& procedure, const class GatewayRequest& request,
                                 Values& values);

  GatewayOutcome commandedResult(const Values& values);
  GatewayOutcome deletions(const Values& values);
  GatewayOutcome automaticStatus(const Values& values, bool withErrorDetail);
  GatewayOutcome productTargets(const Values& values);
  GatewayOutcome storeFailure();

  // The stored form of a bound text parameter.
  std::string text(const Values& values, const char* name) const;

  GatewayStore& m_store;
  SiteText m_site;
};

}  // namespace cvdt::gateway

// NLinkGuard: tells whether a path below a base folder passes through a link (a symbolic link
// or a junction) that already exists there. The automatic copy refuses such paths, since the
// system account would otherwise write wherever a link someone placed in the destination points.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/NString.h"

class NLinkGuard {
 public:
  explicit NLinkGuard(const NString& base) : m_strBase(base) {}

  // True when some component of relative ("\"-separated), the last one included, exists below
  // the base as a link. Components that do not exist yet are no links. Each folder is listed
  // once per guard.
  bool passesThroughLink(const NString& relative);

 private:
  // The link names of a folder (empty when it cannot be listed, such as one not made yet).
  const std::vector<std::string>& linksOf(const std::string& folder);

  NString m_strBase;
  std::map<std::string, std::vector<std::string>> m_links;
};

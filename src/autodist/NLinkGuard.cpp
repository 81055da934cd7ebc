// Links below a base folder, found by listing each folder on the way once.
#include "autodist/NLinkGuard.h"

#include "platform/NStrtok.h"
#include "platform/PlatformFs.h"

bool NLinkGuard::passesThroughLink(const NString& relative) {
  NStrtok tokenizer;
  NStringArray& parts = tokenizer.split(relative.text(), "\\");
  std::string folder = m_strBase.text();
  for (int i = 0; i < parts.getCount(); ++i) {
    const NString& name = parts.getAt(i);
    for (const std::string& link : linksOf(folder)) {
      if (name.equalsNoCase(link.c_str())) return true;
    }
    folder += std::string("\\") + name.text();
  }
  return false;
}

const std::vector<std::string>& NLinkGuard::linksOf(const std::string& folder) {
  auto known = m_links.find(folder);
  if (known != m_links.end()) return known->second;
  std::vector<std::string>& links = m_links[folder];
  std::vector<plat::DirEntry> entries;
  if (plat::listDirectory(folder, entries)) {
    for (const plat::DirEntry& entry : entries) {
      if (entry.isLink) links.push_back(entry.name);
    }
  }
  return links;
}

// Host name and host-name lookup of the Linux backend: gethostname and gethostbyname_r, whose
// address list keeps the resolver's order (the order of /etc/hosts for local names).
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/PlatformHost.h"

namespace plat {

bool localHostName(std::string& name) {
  char buffer[256] = {};
  if (gethostname(buffer, sizeof buffer - 1) != 0) return false;
  name = buffer;
  return true;
}

bool lookupHostIpv4(const std::string& hostName, std::vector<uint32_t>& addresses) {
  addresses.clear();
  if (hostName.empty()) return false;
  std::vector<char> work(16 * 1024);
  hostent entry{};
  hostent* result = nullptr;
  int error = 0;
  for (;;) {
    int rc = gethostbyname2_r(hostName.c_str(), AF_INET, &entry, work.data(), work.size(), &result,
                              &error);
    if (rc != ERANGE || work.size() >= 4 * 1024 * 1024) break;
    work.resize(work.size() * 2);
  }
  if (result == nullptr || result->h_addrtype != AF_INET || result->h_length != 4) return false;
  for (char** item = result->h_addr_list; *item != nullptr; ++item) {
    in_addr address{};
    std::memcpy(&address, *item, sizeof address);
    addresses.push_back(ntohl(address.s_addr));
  }
  return true;
}

}  // namespace plat

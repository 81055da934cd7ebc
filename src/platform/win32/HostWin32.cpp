// Host name and host-name lookup of the win32 backend through Windows Sockets.
#include "platform/PlatformHost.h"
#include "platform/win32/WindowsApi.h"

namespace plat {

bool localHostName(std::string& name) {
  if (!win32::startWinsock()) return false;
  char buffer[256] = {};
  if (gethostname(buffer, sizeof buffer - 1) != 0) return false;
  name = buffer;
  return true;
}

bool lookupHostIpv4(const std::string& hostName, std::vector<uint32_t>& addresses) {
  addresses.clear();
  if (hostName.empty() || !win32::startWinsock()) return false;
  // gethostbyname keeps its answer per thread, so no lock is needed around the copy.
  hostent* result = gethostbyname(hostName.c_str());
  if (result == nullptr || result->h_addrtype != AF_INET || result->h_length != 4) return false;
  for (char** item = result->h_addr_list; *item != nullptr; ++item) {
    in_addr address;
    memcpy(&address, *item, sizeof address);
    addresses.push_back(ntohl(address.s_addr));
  }
  return true;
}

}  // namespace plat

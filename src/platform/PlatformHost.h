// The local host's name and the IPv4 addresses the host-name lookup gives for a name
// (gethostname / gethostbyname of Windows Sockets).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// gethostname: the local host name. False (name untouched) when it cannot be read.
bool localHostName(std::string& name);
// gethostbyname: every IPv4 address of the host name, in the order the resolver gives, each in
// host byte order (10.0.0.5 is 0x0A000005). False (addresses emptied) when the lookup fails.
bool lookupHostIpv4(const std::string& hostName, std::vector<uint32_t>& addresses);

}  // namespace plat

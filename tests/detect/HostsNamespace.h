// Runs a piece of a test in a child process with its own host name and its own /etc/hosts (a
// private mount and host-name namespace), so the host-name lookup answers with chosen addresses.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace cvdt::test {

// The text fn returned in the child, or nothing when this system refuses the namespaces (the
// caller skips).
std::optional<std::string> inHostsNamespace(const std::string& hostName,
                                            const std::string& hostsText,
                                            const std::function<std::string()>& fn);

}  // namespace cvdt::test

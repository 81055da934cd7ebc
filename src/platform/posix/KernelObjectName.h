// The POSIX shared-memory names that stand for Windows kernel object names on this machine.
#pragma once

#include <string>

namespace plat::posix {

inline constexpr char kObjectMapping = 'm';
inline constexpr char kObjectEvent = 'e';

// "/cvdt.<machine>.<kind>.<namespace>.<name>": <machine> is 16 hex digits of a hash of the
// machine root, so machines never share objects; <kind> keeps mappings and events apart;
// <namespace> is G for "Global\" names (repeated "Global\" prefixes resolve to the same
// namespace, as on Windows) and L for session-local ones; characters other than letters,
// digits, '.', '_' and '-' are written as %XX. Empty (kErrorInvalidName) when the result does
// not fit a file name.
std::string kernelObjectName(char kind, const std::string& windowsName);

}  // namespace plat::posix

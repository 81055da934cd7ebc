// Mapping of errno values to the Windows error codes that the platform layer reports.
#pragma once

#include <cstdint>

namespace plat::posix {

uint32_t windowsErrorFromErrno(int error);
// Sets plat::lastError() from errno and returns false, for one-line failure returns.
bool failWithErrno();
bool failWith(uint32_t windowsError);

}  // namespace plat::posix

// Pipes whose ends are owned from the moment they exist.
#include <fcntl.h>
#include <unistd.h>

#include "platform/UniqueFd.h"

namespace plat {

bool makePipe(UniqueFd& readEnd, UniqueFd& writeEnd, int flags) {
  int ends[2];
  if (pipe2(ends, flags) != 0) return false;
  readEnd.reset(ends[0]);
  writeEnd.reset(ends[1]);
  return true;
}

}  // namespace plat

// The console user of the tests, from the password database.
#include "support/ConsoleUser.h"

#include <pwd.h>
#include <unistd.h>

namespace cvdt::test {

std::string testConsoleUser() {
  if (geteuid() == 0 && getpwnam("cvdt-test") != nullptr) return "cvdt-test";
  passwd* self = getpwuid(geteuid());
  return self ? self->pw_name : "";
}

}  // namespace cvdt::test

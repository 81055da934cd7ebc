// The Linux account that plays the user logged on at the console in tests that launch as that
// user: cvdt-test when the tests run as root and it exists (so launches really switch users),
// else the account running the tests.
#pragma once

#include <string>

namespace cvdt::test {

std::string testConsoleUser();

}  // namespace cvdt::test

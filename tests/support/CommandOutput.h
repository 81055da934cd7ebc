// Runs a shell command for a test and gives back what it printed (standard output and error).
#pragma once

#include <string>

namespace cvdt::test {

std::string commandOutput(const std::string& command);

}  // namespace cvdt::test

// NCliUsageError: what a tool's command throws for a command line that parsed but cannot be used
// (a value that breaks a rule only the command knows); NCliApp reports it like a parse error,
// with exit code 2.
#pragma once

#include <stdexcept>

namespace cvdt::cli {

class NCliUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace cvdt::cli

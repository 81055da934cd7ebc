// PackError: the one failure type of cvdt-pack; main prints its text and exits non-zero.
#pragma once

#include <stdexcept>
#include <string>

namespace cvdt::pack {

// Bad input (an option, a folder, a file) or a failed write. The text names what failed and
// is printed as it stands, so it says enough on its own.
class PackError : public std::runtime_error {
 public:
  explicit PackError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace cvdt::pack

// CallCommand: `cvdt-gateway call`: packs parameters as the agent does and runs one stored
// procedure through the module's own gateway client, printing the result text.
#pragma once

#include <string>

#include "ArgList.h"

namespace cvdt::gateway {

class CallCommand {
 public:
  explicit CallCommand(const ArgList& args) : m_args(args) {}
  // 0 with the result text printed; 1 when the request failed; 2 on a usage error.
  int run();

 private:
  // "NAME:TYPE:VALUE" (the value may hold colons) as NAME|#TYPE|#VALUE; false with error set.
  static bool packParam(const std::string& spec, std::string& packed, std::string& error);
  int usage(const std::string& problem) const;

  const ArgList& m_args;
};

}  // namespace cvdt::gateway

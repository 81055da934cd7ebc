// CallCommand: `cvdt-gateway call`: packs parameters as the agent does and runs one stored
// procedure through the module's own gateway client, printing the result text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "NCliApp.h"
#include "platform/Status.h"

namespace cvdt::gateway {

class CallCommand {
 public:
  struct Options {
    std::string strHost, strProcedure;
    int64_t nPort = 0, nWaitMs = 0;  // set to the module client's defaults by addTo
    std::vector<std::string> params;
    uint32_t nCodePage = 0;  // the site's code page; 0: texts kept as they came
  };

  // Adds "call" and its options to the tool.
  static void addTo(cli::NCliApp& cli);

  explicit CallCommand(const Options& options) : m_options(options) {}
  // 0 with the result text printed; 1 when the request failed; 2 on a usage error.
  int run();

 private:
  // "NAME:TYPE:VALUE" (the value may hold colons) as NAME|#TYPE|#VALUE; a failure says why not.
  static plat::Status packParam(const std::string& spec, std::string& packed);

  const Options& m_options;
};

}  // namespace cvdt::gateway

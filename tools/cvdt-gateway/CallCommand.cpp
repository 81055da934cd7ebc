// `cvdt-gateway call --host H --port P [--codepage N] PROC NAME:TYPE:VALUE...`.
#include "CallCommand.h"

#include <cstdio>
#include <memory>

#include "GatewayConnection.h"
#include "GatewayRequest.h"
#include "NCliNumber.h"
#include "SiteText.h"
#include "net/NDBQuery.h"

namespace cvdt::gateway {

void CallCommand::addTo(cli::NCliApp& cli) {
  auto options = std::make_shared<Options>();
  options->nPort = NDBQuery::kDefaultPort;
  options->nWaitMs = NDBQuery::kReplyWaitMs;
  CLI::App* call = cli.addCommand(
      cli.root(), "call", "run one stored procedure through the module's own gateway client",
      "cvdt-gateway call --host 127.0.0.1 SP_SV_ADT_PROD_BY_EQUIP_S1 EQUIP_ID:S:EQ1 DT_ID:S:5",
      [options] { return CallCommand(*options).run(); });
  call->add_option("--host", options->strHost, "the gateway's address")->required();
  cli::NCliNumber::add(*call, "--port", options->nPort, 1, 65535, "the gateway's port");
  cli::NCliNumber::add(*call, "--wait-ms", options->nWaitMs, 1, 600000, "how long to wait for the reply");
  call->add_option("PROC", options->strProcedure, "the stored procedure")->required();
  call->add_option("PARAM", options->params,
                   "a parameter NAME:TYPE:VALUE, TYPE S (text) or I (decimal integer); the value "
                   "may hold colons")->type_name("NAME:TYPE:VALUE");
  SiteText::addOption(*call, options->nCodePage,
                      "send the values, and read the result, in this code page, as the site's "
                      "agents do");
}

plat::Status CallCommand::packParam(const std::string& spec, std::string& packed) {
  size_t first = spec.find(':');
  size_t second = first == std::string::npos ? first : spec.find(':', first + 1);
  if (second == std::string::npos) {
    return plat::Status::failure("parameter '" + spec + "' is not NAME:TYPE:VALUE");
  }
  std::string name = spec.substr(0, first), type = spec.substr(first + 1, second - first - 1);
  std::string value = spec.substr(second + 1);
  if (name.empty() || (type != "S" && type != "I")) {
    return plat::Status::failure("parameter '" + spec + "' needs a name and the type S or I");
  }
  for (const char* separator : {"|@", "|#", "|$"}) {
    if (spec.find(separator) != std::string::npos) {
      return plat::Status::failure("parameter '" + spec + "' holds " + separator +
                                   ", which cannot be sent");
    }
  }
  packed = name + "|#" + type + "|#" + value;
  return {};
}

int CallCommand::run() {
  SiteText site(m_options.nCodePage);
  std::string parameters;
  for (size_t i = 0; i < m_options.params.size(); ++i) {
    std::string packed;
    if (plat::Status s = packParam(site.toWire(m_options.params[i]), packed); !s)
      throw cli::NCliUsageError(s.message());
    parameters += (i == 0 ? "" : "|$") + packed;
  }
  const std::string& procedure = m_options.strProcedure;
  size_t requestLength = GatewayRequest::kPrefix.size() + procedure.size() + 2 +
                         std::to_string(m_options.params.size()).size() + 2 + parameters.size();
  if (requestLength > GatewayConnection::kMaxRequestLength)
    throw cli::NCliUsageError("the request has " + std::to_string(requestLength) + " bytes; at most " +
                              std::to_string(GatewayConnection::kMaxRequestLength) + " go");
  NDBQuery query;
  query.setServer(m_options.strHost.c_str(), static_cast<int>(m_options.nPort));
  query.setReplyWaitMs(static_cast<uint32_t>(m_options.nWaitMs));
  NString result;
  if (!query.execStoredProc(procedure.c_str(), static_cast<int>(m_options.params.size()),
                            parameters.c_str(), result)) {
    std::fprintf(stderr, "cvdt-gateway call: %s failed: no connection, no reply, or a refusal"
                 " (the gateway's log says why)\n", procedure.c_str());
    return cli::kExitFailed;
  }
  std::printf("%s\n", site.toStored(result.text()).c_str());
  return cli::kExitOk;
}

}  // namespace cvdt::gateway

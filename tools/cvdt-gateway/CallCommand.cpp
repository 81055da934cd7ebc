// `cvdt-gateway call --host H --port P [--codepage N] PROC NAME:TYPE:VALUE...`.
#include "CallCommand.h"

#include <cstdio>

#include "GatewayConnection.h"
#include "GatewayRequest.h"
#include "SiteText.h"
#include "net/NDBQuery.h"

namespace cvdt::gateway {

int CallCommand::usage(const std::string& problem) const {
  std::fprintf(stderr,
               "cvdt-gateway call: %s\n"
               "usage: call --host H [--port P] [--wait-ms N] [--codepage N] PROC NAME:TYPE:VALUE...\n"
               "       TYPE is S (text) or I (decimal integer); with --codepage the values are\n"
               "       sent, and the result read, in that code page, as the site's agents do\n",
               problem.c_str());
  return 2;
}

bool CallCommand::packParam(const std::string& spec, std::string& packed, std::string& error) {
  size_t first = spec.find(':');
  size_t second = first == std::string::npos ? first : spec.find(':', first + 1);
  if (second == std::string::npos) {
    error = "parameter '" + spec + "' is not NAME:TYPE:VALUE";
    return false;
  }
  std::string name = spec.substr(0, first), type = spec.substr(first + 1, second - first - 1);
  std::string value = spec.substr(second + 1);
  if (name.empty() || (type != "S" && type != "I")) {
    error = "parameter '" + spec + "' needs a name and the type S or I";
    return false;
  }
  for (const char* separator : {"|@", "|#", "|$"}) {
    if (spec.find(separator) != std::string::npos) {
      error = "parameter '" + spec + "' holds " + separator + ", which cannot be sent";
      return false;
    }
  }
  packed = name + "|#" + type + "|#" + value;
  return true;
}

int CallCommand::run() {
  std::string problem = m_args.problem({"host", "port", "wait-ms", "codepage"});
  if (!problem.empty()) return usage(problem);
  uint32_t codePage = 0;
  if (m_args.has("codepage") && !SiteText::parse(m_args.value("codepage"), codePage))
    return usage("--codepage wants a code page number such as 949");
  SiteText site(codePage);
  const auto& words = m_args.words();
  int64_t port = NDBQuery::kDefaultPort, waitMs = NDBQuery::kReplyWaitMs;
  if (!m_args.has("host") || words.size() < 2) return usage("name the host and the procedure");
  if (!m_args.integer("port", 1, 65535, port) || !m_args.integer("wait-ms", 1, 600000, waitMs))
    return usage("--port wants 1 to 65535 and --wait-ms 1 to 600000");
  std::string parameters;
  for (size_t i = 2; i < words.size(); ++i) {
    std::string packed;
    if (!packParam(site.toWire(words[i]), packed, problem)) return usage(problem);
    parameters += (i == 2 ? "" : "|$") + packed;
  }
  size_t requestLength = GatewayRequest::kPrefix.size() + words[1].size() + 2 +
                         std::to_string(words.size() - 2).size() + 2 + parameters.size();
  if (requestLength > GatewayConnection::kMaxRequestLength)
    return usage("the request has " + std::to_string(requestLength) + " bytes; at most " +
                 std::to_string(GatewayConnection::kMaxRequestLength) + " go");
  NDBQuery query;
  query.setServer(m_args.value("host").c_str(), static_cast<int>(port));
  query.setReplyWaitMs(static_cast<uint32_t>(waitMs));
  NString result;
  if (!query.execStoredProc(words[1].c_str(), static_cast<int>(words.size() - 2),
                            parameters.c_str(), result)) {
    std::fprintf(stderr, "cvdt-gateway call: %s failed: no connection, no reply, or a refusal"
                 " (the gateway's log says why)\n", words[1].c_str());
    return 1;
  }
  std::printf("%s\n", site.toStored(result.text()).c_str());
  return 0;
}

}  // namespace cvdt::gateway

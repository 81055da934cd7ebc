// Taking apart and checking the form of gateway request texts.
#include "GatewayRequest.h"

#include <charconv>

namespace cvdt::gateway {

std::vector<std::string_view> splitFields(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    size_t at = text.find(separator, start);
    if (at == std::string_view::npos) break;
    fields.push_back(text.substr(start, at - start));
    start = at + separator.size();
  }
  fields.push_back(text.substr(start));
  return fields;
}

std::string printable(std::string_view text) {
  std::string out;
  for (char c : text.substr(0, 64)) out += (c >= 0x20 && c < 0x7F) ? c : '?';
  if (text.size() > 64) out += "...";
  return out;
}

plat::Status GatewayRequest::parse(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) {
    return plat::Status::failure("request holds a zero byte");
  }
  if (text.substr(0, kPrefix.size()) != kPrefix) {
    return plat::Status::failure("request does not start with C00440A");
  }
  std::vector<std::string_view> fields = splitFields(text.substr(kPrefix.size()), "|@");
  if (fields.size() != 3) {
    return plat::Status::failure("request has " + std::to_string(fields.size()) +
                                 " |@ fields, not 3");
  }
  if (fields[0].empty()) {
    return plat::Status::failure("procedure name is empty");
  }
  m_strProcedure = std::string(fields[0]);
  unsigned count = 0;
  auto [end, error] = std::from_chars(fields[1].data(), fields[1].data() + fields[1].size(), count);
  if (fields[1].empty() || error != std::errc() || end != fields[1].data() + fields[1].size()) {
    return plat::Status::failure("parameter count '" + printable(fields[1]) +
                                 "' is not a decimal number");
  }
  if (plat::Status s = parseParams(fields[2]); !s) return s;
  if (count != m_params.size()) {
    return plat::Status::failure("parameter count " + std::to_string(count) + " but " +
                                 std::to_string(m_params.size()) + " parameters");
  }
  return {};
}

plat::Status GatewayRequest::parseParams(std::string_view list) {
  m_params.clear();
  if (list.empty()) return {};
  for (std::string_view text : splitFields(list, "|$")) {
    GatewayParam param;
    if (plat::Status s = parseParam(text, param); !s) return s;
    m_params.push_back(std::move(param));
  }
  return {};
}

plat::Status GatewayRequest::parseParam(std::string_view text, GatewayParam& param) {
  std::vector<std::string_view> parts = splitFields(text, "|#");
  if (parts.size() != 3) {
    return plat::Status::failure("parameter '" + printable(text) + "' is not NAME|#TYPE|#VALUE");
  }
  if (parts[0].empty()) {
    return plat::Status::failure("parameter with an empty name");
  }
  if (parts[1] != "S" && parts[1] != "I") {
    return plat::Status::failure("parameter " + printable(parts[0]) + " has type '" +
                                 printable(parts[1]) + "', not S or I");
  }
  param.name = std::string(parts[0]);
  param.type = parts[1][0];
  param.value = std::string(parts[2]);
  return {};
}

}  // namespace cvdt::gateway

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

bool GatewayRequest::parse(std::string_view text, std::string& reason) {
  if (text.find('\0') != std::string_view::npos) {
    reason = "request holds a zero byte";
    return false;
  }
  if (text.substr(0, kPrefix.size()) != kPrefix) {
    reason = "request does not start with C00440A";
    return false;
  }
  std::vector<std::string_view> fields = splitFields(text.substr(kPrefix.size()), "|@");
  if (fields.size() != 3) {
    reason = "request has " + std::to_string(fields.size()) + " |@ fields, not 3";
    return false;
  }
  if (fields[0].empty()) {
    reason = "procedure name is empty";
    return false;
  }
  m_strProcedure = std::string(fields[0]);
  unsigned count = 0;
  auto [end, error] = std::from_chars(fields[1].data(), fields[1].data() + fields[1].size(), count);
  if (fields[1].empty() || error != std::errc() || end != fields[1].data() + fields[1].size()) {
    reason = "parameter count '" + printable(fields[1]) + "' is not a decimal number";
    return false;
  }
  if (!parseParams(fields[2], reason)) return false;
  if (count != m_params.size()) {
    reason = "parameter count " + std::to_string(count) + " but " +
             std::to_string(m_params.size()) + " parameters";
    return false;
  }
  return true;
}

bool GatewayRequest::parseParams(std::string_view list, std::string& reason) {
  m_params.clear();
  if (list.empty()) return true;
  for (std::string_view text : splitFields(list, "|$")) {
    GatewayParam param;
    if (!parseParam(text, param, reason)) return false;
    m_params.push_back(std::move(param));
  }
  return true;
}

bool GatewayRequest::parseParam(std::string_view text, GatewayParam& param,
                                std::string& reason) {
  std::vector<std::string_view> parts = splitFields(text, "|#");
  if (parts.size() != 3) {
    reason = "parameter '" + printable(text) + "' is not NAME|#TYPE|#VALUE";
    return false;
  }
  if (parts[0].empty()) {
    reason = "parameter with an empty name";
    return false;
  }
  if (parts[1] != "S" && parts[1] != "I") {
    reason = "parameter " + printable(parts[0]) + " has type '" + printable(parts[1]) +
             "', not S or I";
    return false;
  }
  param.name = std::string(parts[0]);
  param.type = parts[1][0];
  param.value = std::string(parts[2]);
  return true;
}

}  // namespace cvdt::gateway

// GatewayRequest: the request text of one stored-procedure call, taken apart and checked for
// form: "C00440A" + name + "|@" + count + "|@" + NAME|#T|#VALUE joined by "|$".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Status.h"

namespace cvdt::gateway {

struct GatewayParam {
  std::string name;
  char type = 0;  // 'S' text or 'I' integer
  std::string value;
};

class GatewayRequest {
 public:
  static constexpr std::string_view kPrefix = "C00440A";

  // Fills the request from text. A failure with a short reason when the text is not a well-formed
  // request: missing prefix, not exactly three "|@" fields, an empty name, a count that is not
  // a decimal number or differs from the number of parameters, a parameter that is not three
  // "|#" fields with a non-empty name and type S or I, or a zero byte anywhere. Whether the
  // procedure exists and what it takes is not checked here.
  plat::Status parse(std::string_view text);

  const std::string& procedure() const { return m_strProcedure; }
  const std::vector<GatewayParam>& params() const { return m_params; }

 private:
  plat::Status parseParams(std::string_view list);
  static plat::Status parseParam(std::string_view text, GatewayParam& param);

  std::string m_strProcedure;
  std::vector<GatewayParam> m_params;
};

// The fields of text cut at every occurrence of separator, empty ones kept.
std::vector<std::string_view> splitFields(std::string_view text, std::string_view separator);
// A reason may quote client text: non-printing bytes become '?' and it is cut at 64 bytes.
std::string printable(std::string_view text);

}  // namespace cvdt::gateway

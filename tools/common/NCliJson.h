// NCliJson: the JSON lines and documents the tools print, through nlohmann::json, keeping the
// fields in the order they are set.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace cvdt::cli {

using NJson = nlohmann::ordered_json;

class NCliJson {
 public:
  // text as valid UTF-8: every byte that does not belong to a valid sequence stands for the
  // code point of the same value (U+0080 to U+00FF), so no byte is lost and the output stays
  // JSON.
  static std::string utf8(const std::string& text);
  // value on one line, compact.
  static std::string line(const NJson& value);
};

}  // namespace cvdt::cli

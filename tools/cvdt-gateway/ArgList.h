// ArgList: the command line of cvdt-gateway: positional words and --name value options.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cvdt::gateway {

class ArgList {
 public:
  // Splits argv from first on: "--name value" and "--name=value" become options (the last one
  // given wins), everything else positional words. Options named in flags take no value.
  ArgList(int argc, char** argv, int first, const std::vector<std::string>& flags);

  const std::vector<std::string>& words() const { return m_words; }
  bool has(const std::string& name) const { return m_options.count(name) != 0; }
  std::string value(const std::string& name, const std::string& fallback = "") const;
  // The option as a decimal integer within [low, high]: false (value untouched) when it is
  // given but is not one.
  bool integer(const std::string& name, int64_t low, int64_t high, int64_t& value) const;
  // text as a decimal integer within [low, high]; false (value untouched) otherwise.
  static bool parseInteger(const std::string& text, int64_t low, int64_t high, int64_t& value);
  // Empty when the line is usable; otherwise what is wrong with it (an unknown option, or one
  // that lacks its value).
  std::string problem(const std::vector<std::string>& known) const;

 private:
  std::vector<std::string> m_words;
  std::map<std::string, std::string> m_options;
  std::string m_strMissingValue;
};

}  // namespace cvdt::gateway

// A small command-line reader for the host tool: positional words and --name value options.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace cvdt::host {

class CommandLine {
 public:
  // Splits argv: "--name value" and "--name=value" become options (repeatable), everything else
  // positional words. Options listed in flags take no value.
  CommandLine(int argc, char** argv, const std::vector<std::string>& flags);

  const std::vector<std::string>& words() const { return m_words; }
  bool has(const std::string& name) const { return m_options.count(name) != 0; }
  // The last value given for the option, or fallback.
  std::string value(const std::string& name, const std::string& fallback = "") const;
  std::vector<std::string> values(const std::string& name) const;
  // Options that are not in known; the caller reports them.
  std::vector<std::string> unknown(const std::vector<std::string>& known) const;
  // An option that needed a value but had none.
  const std::string& missingValue() const { return m_missingValue; }

 private:
  std::vector<std::string> m_words;
  std::multimap<std::string, std::string> m_options;
  std::string m_missingValue;
};

}  // namespace cvdt::host

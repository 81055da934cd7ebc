// PackArgs: the command line of one cvdt-pack command, checked against the options it knows.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace cvdt::pack {

class PackArgs {
 public:
  enum class Kind { Value, Flag, List };
  using Known = std::map<std::string, Kind>;

  // Reads args ("--name value", "--name=value", flags, positional words). Throws PackError for
  // an unknown option, an option without its value, a flag given a value, or a non-list option
  // given twice.
  PackArgs(const std::vector<std::string>& args, const Known& known);

  const std::vector<std::string>& words() const { return m_words; }
  bool has(const std::string& name) const { return m_values.count(name) != 0; }
  // The option's value, or fallback when it was not given.
  std::string value(const std::string& name, const std::string& fallback = "") const;
  // The option's value; throws PackError when it was not given or is empty.
  std::string required(const std::string& name) const;
  // Every value of a list option, in command-line order.
  std::vector<std::string> values(const std::string& name) const;

 private:
  void take(const std::string& name, const std::string& value, Kind kind);

  std::vector<std::string> m_words;
  std::map<std::string, std::vector<std::string>> m_values;
};

}  // namespace cvdt::pack

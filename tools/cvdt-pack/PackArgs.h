// PackArgs: the options of one cvdt-pack command: declared on its CLI11 command from a table
// (name, kind, value form, help), and read back by name once the command line is parsed.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace cvdt::pack {

class PackArgs {
 public:
  enum class Kind { Value, Flag, List };
  struct Spec {
    std::string strName;  // without "--"
    Kind kind;
    std::string strForm;  // the value's form in the help ("N", "DIR", ...); empty for a flag
    std::string strHelp;
  };
  using Known = std::vector<Spec>;

  // Declares every option of known on command; the values land in this object while it parses,
  // so the object must outlive the parse.
  void declare(CLI::App& command, const Known& known);
  // After the parse: throws PackError for a non-list option given more than once.
  void check() const;

  bool has(const std::string& name) const;
  // The option's value, or fallback when it was not given.
  std::string value(const std::string& name, const std::string& fallback = "") const;
  // The option's value; throws PackError when it was not given or is empty.
  std::string required(const std::string& name) const;
  // Every value of a list option, in command-line order.
  std::vector<std::string> values(const std::string& name) const;

 private:
  std::map<std::string, std::vector<std::string>> m_values;
  std::map<std::string, bool> m_flags;
  std::map<std::string, Kind> m_kinds;
};

}  // namespace cvdt::pack

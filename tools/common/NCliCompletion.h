// NCliCompletion: a bash completion script drawn from a tool's command and option definitions,
// so completion knows exactly the commands, options and choices the parser accepts.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

namespace cvdt::cli {

class NCliCompletion {
 public:
  // The script for app (its name is the program's name): defines a function and registers it
  // with `complete -F`. It completes commands and options at each level, the choices of options
  // that have a fixed set, files for options whose value is a path and for positionals.
  static std::string bashScript(const CLI::App& app);
};

}  // namespace cvdt::cli

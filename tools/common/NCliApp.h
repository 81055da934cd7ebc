// NCliApp: the command-line front end every cvdt tool shares: commands and subcommands with
// -h/--help (their own options and an example), `help COMMAND...`, --version, the bash
// completion script drawn from the same definitions, and one exit-code policy.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "NCliUsageError.h"

namespace cvdt::cli {

// The exit codes of every tool.
constexpr int kExitOk = 0;      // the operation succeeded
constexpr int kExitFailed = 1;  // the operation failed
constexpr int kExitUsage = 2;   // the command line is wrong

class NCliApp {
 public:
  using Action = std::function<int()>;

  // strTool: the program's name as typed; strDescription: one line for the top of its help.
  NCliApp(const std::string& strTool, const std::string& strDescription);
  NCliApp(const NCliApp&) = delete;
  NCliApp& operator=(const NCliApp&) = delete;

  CLI::App& root() { return m_app; }
  // A subcommand of parent. strExample goes to the end of its help ("Example:" lines; several
  // examples separated by '\n'). action, when given, runs when it is the last command typed.
  CLI::App* addCommand(CLI::App& parent, const std::string& strName,
                       const std::string& strDescription, const std::string& strExample,
                       Action action = {});
  // The action of the root itself (a tool without subcommands), and its example.
  void setRootAction(const std::string& strExample, Action action);

  // Parses argv and runs the chosen action. Help, version and completion requests print to
  // stdout and return 0; a wrong command line prints "TOOL COMMAND: what is wrong" and a hint to
  // stderr and returns 2; an exception from an action prints its text and returns 1 (2 for
  // NCliUsageError). Never throws.
  int run(int argc, char** argv);

  // "cvdt-host machine init": the names from the root down to app.
  static std::string commandPath(const CLI::App* app);
  // "TOOL VERSION" plus " (commit HASH)" when built from a git checkout.
  static std::string versionText(const std::string& strTool);

 private:
  void addHelpCommands(CLI::App& app);
  int printHelpFor(CLI::App* parent, const std::vector<std::string>& words);
  int usageError(const CLI::App* where, const std::string& message) const;
  std::string parseProblem(const CLI::ParseError& error);
  int runAction(CLI::App* command);
  static CLI::App* deepestParsed(CLI::App* app);

  std::string m_strTool;
  CLI::App m_app;
  std::map<const CLI::App*, Action> m_actions;
  std::deque<std::vector<std::string>> m_helpWords;  // the words of each help command
  bool m_bHelpAdded = false;
};

}  // namespace cvdt::cli

// The tools' shared command-line front end.
#include "NCliApp.h"

#include <cstdio>
#include <iostream>

#include "CvdtVersion.h"
#include "NCliCompletion.h"

namespace cvdt::cli {
namespace {

// Asked for by --bash-completion: print the script and stop.
class CompletionRequest : public CLI::Success {
 public:
  CompletionRequest() : CLI::Success("bash completion requested", CLI::ExitCodes::Success) {}
};

std::string exampleFooter(const std::string& example) {
  if (example.empty()) return "";
  std::string out = "Example:\n";
  size_t nStart = 0;
  while (nStart <= example.size()) {
    size_t nEnd = example.find('\n', nStart);
    if (nEnd == std::string::npos) nEnd = example.size();
    out += "  " + example.substr(nStart, nEnd - nStart) + "\n";
    nStart = nEnd + 1;
  }
  out.pop_back();
  return out;
}

}  // namespace

NCliApp::NCliApp(const std::string& strTool, const std::string& strDescription)
    : m_strTool(strTool), m_app(strDescription, strTool) {
  m_app.set_help_flag("-h,--help", "print this help and exit");
  m_app.set_version_flag("--version", versionText(strTool), "print the version and exit");
  m_app.get_formatter()->column_width(34);
  m_app.add_flag_callback("--bash-completion", [] { throw CompletionRequest(); },
                          "print the bash completion script and exit")
      ->trigger_on_parse();
}

CLI::App* NCliApp::addCommand(CLI::App& parent, const std::string& strName,
                              const std::string& strDescription, const std::string& strExample,
                              Action action) {
  CLI::App* command = parent.add_subcommand(strName, strDescription);
  command->footer(exampleFooter(strExample));
  if (parent.get_require_subcommand_min() == 0 && m_actions.count(&parent) == 0)
    parent.require_subcommand(1);
  if (action) m_actions[command] = std::move(action);
  return command;
}

void NCliApp::setRootAction(const std::string& strExample, Action action) {
  m_app.footer(exampleFooter(strExample));
  m_actions[&m_app] = std::move(action);
}

std::string NCliApp::commandPath(const CLI::App* app) {
  std::string path;
  for (const CLI::App* at = app; at != nullptr; at = at->get_parent())
    path = at->get_name() + (path.empty() ? "" : " " + path);
  return path;
}

std::string NCliApp::versionText(const std::string& strTool) {
  std::string text = strTool + " " + CVDT_VERSION;
  std::string commit = CVDT_GIT_COMMIT;
  if (!commit.empty()) text += " (commit " + commit + ")";
  return text;
}

// Every command that has subcommands gets "help [COMMAND...]", which prints the help of the
// command the words name below it.
void NCliApp::addHelpCommands(CLI::App& app) {
  std::vector<CLI::App*> children = app.get_subcommands([](CLI::App*) { return true; });
  if (children.empty()) return;
  for (CLI::App* child : children) addHelpCommands(*child);
  std::vector<std::string>& words = m_helpWords.emplace_back();
  CLI::App* help = app.add_subcommand("help", "show the help of a command");
  help->add_option("command", words, "the command (and subcommand) to describe");
  help->footer(exampleFooter(commandPath(&app) + " help " + children.front()->get_name()));
  CLI::App* parent = &app;
  m_actions[help] = [this, parent, &words] { return printHelpFor(parent, words); };
}

int NCliApp::printHelpFor(CLI::App* parent, const std::vector<std::string>& words) {
  CLI::App* target = parent;
  for (const std::string& word : words) {
    CLI::App* next = nullptr;
    try {
      next = target->get_subcommand(word);
    } catch (const CLI::OptionNotFound&) {
      next = nullptr;
    }
    if (next == nullptr || word == "help")
      return usageError(target, "no command '" + word + "' (see '" + commandPath(target) + " --help')");
    target = next;
  }
  // The formatter directly: App::help() would describe the help command itself, which is the
  // subcommand chosen below target when target is this help command's parent.
  std::cout << target->get_formatter()->make_help(target, commandPath(target), CLI::AppFormatMode::Normal);
  return kExitOk;
}

CLI::App* NCliApp::deepestParsed(CLI::App* app) {
  std::vector<CLI::App*> chosen = app->get_subcommands();
  return chosen.empty() ? app : deepestParsed(chosen.front());
}

// CLI11 reports a word that names no command as a missing command; say which word it was.
std::string NCliApp::parseProblem(const CLI::ParseError& error) {
  CLI::App* last = deepestParsed(&m_app);
  std::vector<std::string> extras = last->remaining(false);
  bool bWantsCommand = !last->get_subcommands([](CLI::App*) { return true; }).empty();
  if (bWantsCommand && !extras.empty() && extras.front().rfind("-", 0) != 0)
    return "unknown command '" + extras.front() + "'";
  return error.what();
}

int NCliApp::usageError(const CLI::App* where, const std::string& message) const {
  std::string path = commandPath(where);
  std::fprintf(stderr, "%s: %s\nRun '%s --help' for the options.\n", path.c_str(), message.c_str(),
               path.c_str());
  return kExitUsage;
}

int NCliApp::runAction(CLI::App* command) {
  auto found = m_actions.find(command);
  if (found == m_actions.end()) return usageError(command, "name a command");
  try {
    return found->second();
  } catch (const NCliUsageError& error) {
    return usageError(command, error.what());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", commandPath(command).c_str(), error.what());
    return kExitFailed;
  }
}

int NCliApp::run(int argc, char** argv) {
  try {
    if (!m_bHelpAdded) addHelpCommands(m_app);
    m_bHelpAdded = true;
    try {
      m_app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
      std::cout << m_app.help();  // the help of the last command typed
      return kExitOk;
    } catch (const CLI::CallForAllHelp&) {
      std::cout << m_app.help("", CLI::AppFormatMode::All);
      return kExitOk;
    } catch (const CLI::CallForVersion&) {
      std::cout << versionText(m_strTool) << "\n";
      return kExitOk;
    } catch (const CompletionRequest&) {
      std::cout << NCliCompletion::bashScript(m_app);
      return kExitOk;
    } catch (const CLI::ParseError& error) {
      return usageError(deepestParsed(&m_app), parseProblem(error));
    }
    return runAction(deepestParsed(&m_app));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", m_strTool.c_str(), error.what());
    return kExitFailed;
  }
}

}  // namespace cvdt::cli

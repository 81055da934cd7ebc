// Windows command-line splitting and quoting.
#include "platform/WindowsCommandLine.h"

namespace plat {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

size_t skipBlanks(const std::string& text, size_t i) {
  while (i < text.size() && isBlank(text[i])) ++i;
  return i;
}

// The program name: no escapes, quotes only group.
std::string programName(const std::string& text, size_t& i) {
  std::string name;
  bool quoted = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (isBlank(c) && !quoted) {
      break;
    } else {
      name.push_back(c);
    }
  }
  return name;
}

// Backslashes starting at i: appended by the rule for a following quote; i moves past them.
// Returns true when a literal quote was produced (the quote is then consumed too).
bool takeBackslashes(const std::string& text, size_t& i, std::string& argument) {
  size_t count = 0;
  while (i < text.size() && text[i] == '\\') {
    ++count;
    ++i;
  }
  if (i >= text.size() || text[i] != '"') {
    argument.append(count, '\\');
    return false;
  }
  argument.append(count / 2, '\\');
  if (count % 2 == 0) return false;
  argument.push_back('"');
  ++i;
  return true;
}

std::string nextArgument(const std::string& text, size_t& i) {
  std::string argument;
  bool quoted = false;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\\') {
      takeBackslashes(text, i, argument);
    } else if (c == '"') {
      if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
        argument.push_back('"');  // "" inside quotes
        i += 2;
        continue;
      }
      quoted = !quoted;
      ++i;
    } else if (isBlank(c) && !quoted) {
      break;
    } else {
      argument.push_back(c);
      ++i;
    }
  }
  return argument;
}

}  // namespace

std::vector<std::string> splitCommandLine(const std::string& commandLine) {
  std::vector<std::string> argv;
  size_t i = skipBlanks(commandLine, 0);
  if (i >= commandLine.size()) return argv;
  argv.push_back(programName(commandLine, i));
  for (i = skipBlanks(commandLine, i); i < commandLine.size(); i = skipBlanks(commandLine, i))
    argv.push_back(nextArgument(commandLine, i));
  return argv;
}

std::string quoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, '\\');  // before the closing quote
  quoted.push_back('"');
  return quoted;
}

}  // namespace plat

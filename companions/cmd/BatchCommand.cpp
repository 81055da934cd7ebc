// Reading the /c form of the interpreter's command line.
#include "BatchCommand.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/PlatformFs.h"
#include "platform/PlatformText.h"
#include "platform/WindowsCommandLine.h"

namespace {

bool isSwitch(const std::string& argument, char letter) {
  return argument.size() == 2 && argument[0] == '/' &&
         (argument[1] == letter || argument[1] == letter - 'a' + 'A');
}

bool hasBlank(const std::string& text) { return text.find_first_of(" \t") != std::string::npos; }

// Arguments of an option text, split as a Windows program splits its command line.
std::vector<std::string> splitOptions(const std::string& text) {
  std::vector<std::string> words = plat::splitCommandLine("x " + text);
  words.erase(words.begin());
  return words;
}

}  // namespace

std::string BatchCommand::hostPath(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  bool drivePath = path.size() >= 2 && path[1] == ':';
  // The command line arrives as UTF-8; the machine's Windows paths are in its ANSI code page.
  std::string windows = plat::utf8ToAnsi(path);
  if (drivePath || path.rfind("\\\\", 0) == 0) return plat::toHostPath(windows);
  if (path[0] == '\\') {  // the root of the current folder's drive
    std::string current = plat::toWindowsPath(std::filesystem::current_path().string());
    return plat::toHostPath(current.substr(0, 2) + windows);
  }
  std::string relative = path;
  for (char& c : relative) {
    if (c == '\\') c = '/';
  }
  return relative;
}

bool BatchCommand::isFile(const std::string& path) {
  std::string host = hostPath(path);
  struct stat info {};
  return !host.empty() && stat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

plat::Status BatchCommand::parse(const std::vector<std::string>& arguments, BatchCommand& out) {
  size_t next = 0;
  while (next < arguments.size() && !isSwitch(arguments[next], 'c')) {
    if (arguments[next].empty() || arguments[next][0] != '/')
      return plat::Status::failure("expected /c before \"" + arguments[next] + "\"");
    ++next;  // other switches (/q, /d, ...) change nothing here
  }
  if (next + 1 >= arguments.size() || arguments[next + 1].find_first_not_of(" \t") == std::string::npos) {
    return plat::Status::failure(next < arguments.size()
                                     ? "nothing to run after /c"
                                     : "usage: CMD.EXE /c BATCHFILE [arguments]");
  }
  const std::string& first = arguments[next + 1];
  BatchCommand command;
  if (!isFile(first) && hasBlank(first)) {
    command.takeCombined(first);
  } else {
    command.m_strBatchPath = first;
  }
  command.m_arguments.insert(command.m_arguments.end(), arguments.begin() + next + 2, arguments.end());
  out = std::move(command);
  return {};
}

void BatchCommand::takeCombined(const std::string& text) {
  size_t start = text.find_first_not_of(" \t");
  if (text[start] == '"') {
    size_t close = text.find('"', start + 1);
    if (close == std::string::npos) close = text.size();
    m_strBatchPath = text.substr(start + 1, close - start - 1);
    m_arguments = splitOptions(close < text.size() ? text.substr(close + 1) : "");
    return;
  }
  size_t firstBlank = text.find_first_of(" \t", start);
  for (size_t blank = firstBlank; blank != std::string::npos;
       blank = text.find_first_of(" \t", blank + 1)) {
    if (isFile(text.substr(start, blank - start))) {
      m_strBatchPath = text.substr(start, blank - start);
      m_arguments = splitOptions(text.substr(blank + 1));
      return;
    }
  }
  // Nothing exists: the first word is what was meant, so that the failure names it.
  m_strBatchPath = text.substr(start, firstBlank - start);
  m_arguments = splitOptions(firstBlank == std::string::npos ? "" : text.substr(firstBlank + 1));
}

// Reading a hand-over value and telling the commanded form from the automatic one.
#include "LogonRequest.h"

#include "BatchCommand.h"
#include "platform/AsciiText.h"
#include "platform/PlatformFs.h"
#include "platform/WindowsCommandLine.h"

namespace {

constexpr const char* kSeparator = "|$";

std::string withoutQuotes(const std::string& text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    return text.substr(1, text.size() - 2);
  return text;
}

// The folder part of a Windows or host path, as a Windows path; empty when there is none.
std::string folderOf(const std::string& path) {
  if (path.empty()) return {};
  size_t slash = path.find_last_of(path[0] == '/' ? "/" : "\\");
  if (slash == std::string::npos || slash == 0) return {};
  std::string folder = path.substr(0, slash);
  return path[0] == '/' ? plat::toWindowsPath(folder) : folder;
}

std::string fileNameOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

plat::Status LogonRequest::parse(const std::string& value, LogonRequest& out) {
  size_t first = value.find(kSeparator);
  size_t second = first == std::string::npos ? first : value.find(kSeparator, first + 2);
  if (second == std::string::npos)
    return plat::Status::failure(
        "the value does not hold a mode and two texts separated by \"|$\"");
  std::string mode = value.substr(0, first);
  if (mode != "USER_WAIT" && mode != "USER_WAIT_HIDE")
    return plat::Status::failure("unknown mode \"" + mode +
                                 "\" (USER_WAIT or USER_WAIT_HIDE expected)");
  LogonRequest request;
  request.m_bHidden = mode == "USER_WAIT_HIDE";
  request.m_strFirst = value.substr(first + 2, second - first - 2);
  request.m_strSecond = value.substr(second + 2);
  if (request.m_strFirst.find_first_not_of(" \t") == std::string::npos)
    return plat::Status::failure("the value names no program");
  out = std::move(request);
  return {};
}

bool LogonRequest::isCommandLineForm() const {
  if (plat::pathKind(programPath()) == plat::PathKind::File) return false;
  return !m_strSecond.empty() && plat::pathKind(m_strSecond) == plat::PathKind::Directory;
}

std::string LogonRequest::programPath() const { return withoutQuotes(m_strFirst); }

std::string LogonRequest::commandLine() const {
  if (isCommandLineForm()) return m_strFirst;
  std::string line = plat::quoteArgument(programPath());
  return m_strSecond.empty() ? line : line + " " + m_strSecond;
}

std::string LogonRequest::workingFolder() const {
  if (isCommandLineForm()) return m_strSecond;
  // The interpreter lives in the system folder; the batch file it runs wants its own folder.
  if (plat::equalsAsciiNoCase(fileNameOf(programPath()), "CMD.EXE")) {
    std::vector<std::string> words = plat::splitCommandLine("x " + m_strSecond);
    words.erase(words.begin());
    BatchCommand batch;
    if (BatchCommand::parse(words, batch) && !folderOf(batch.batchPath()).empty())
      return folderOf(batch.batchPath());
  }
  return folderOf(programPath());
}

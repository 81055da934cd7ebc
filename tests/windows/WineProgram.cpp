// Running programs of the win64 build under wine64.
#include "WineProgram.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "support/CommandOutput.h"

namespace cvdt::test {
namespace {

constexpr const char* kExitMarker = "\ncvdt-wine-exit=";

std::string wineLoader() {
  for (const char* path : {"/usr/lib/wine/wine64", "/usr/bin/wine64", "/usr/bin/wine"})
    if (std::filesystem::exists(path)) return path;
  return "";
}

std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::string WineProgram::unavailable() {
  if (wineLoader().empty()) return "no wine64 (scripts/deps.sh --windows installs it)";
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix == nullptr || *prefix == '\0')
    return "no WINEPREFIX: the Wine tests run through scripts/test-windows";
  if (!std::filesystem::exists(stageFolder() + "/cvdt.dll"))
    return "no win64 build in " + stageFolder() + " (scripts/test-windows builds it)";
  return "";
}

std::string WineProgram::stageFolder() { return std::string(CVDT_WIN64_BUILD) + "/stage"; }

std::string WineProgram::windowsPath(const std::string& hostPath) {
  std::string path = "Z:" + std::filesystem::absolute(hostPath).lexically_normal().string();
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string WineProgram::run(const std::string& program, const std::vector<std::string>& arguments,
                             int& exitCode) {
  std::string command = shellQuoted(wineLoader()) + " " + shellQuoted(program);
  for (const std::string& argument : arguments) command += " " + shellQuoted(argument);
  std::string output = commandOutput(command + "; printf '" + std::string(kExitMarker) + "%d' $?");
  size_t marker = output.rfind(kExitMarker);
  exitCode = marker == std::string::npos ? -1 : std::atoi(output.c_str() + marker + std::string(kExitMarker).size());
  output = marker == std::string::npos ? output : output.substr(0, marker);
  // Windows programs end their lines with "\r\n".
  output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
  return output;
}

}  // namespace cvdt::test

// Command-line reading for cvdt-host.
#include "CommandLine.h"

#include <algorithm>

namespace cvdt::host {

CommandLine::CommandLine(int argc, char** argv, const std::vector<std::string>& flags) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--", 0) != 0 || arg.size() == 2) {
      m_words.push_back(arg);
      continue;
    }
    std::string name = arg.substr(2);
    size_t equals = name.find('=');
    if (equals != std::string::npos) {
      m_options.emplace(name.substr(0, equals), name.substr(equals + 1));
    } else if (std::find(flags.begin(), flags.end(), name) != flags.end()) {
      m_options.emplace(name, "1");
    } else if (i + 1 < argc) {
      m_options.emplace(name, argv[++i]);
    } else {
      m_missingValue = name;
    }
  }
}

std::string CommandLine::value(const std::string& name, const std::string& fallback) const {
  auto range = m_options.equal_range(name);
  return range.first == range.second ? fallback : std::prev(range.second)->second;
}

std::vector<std::string> CommandLine::values(const std::string& name) const {
  std::vector<std::string> out;
  auto range = m_options.equal_range(name);
  for (auto it = range.first; it != range.second; ++it) out.push_back(it->second);
  return out;
}

std::vector<std::string> CommandLine::unknown(const std::vector<std::string>& known) const {
  std::vector<std::string> out;
  for (const auto& [name, value] : m_options) {
    if (std::find(known.begin(), known.end(), name) == known.end()) out.push_back(name);
  }
  return out;
}

}  // namespace cvdt::host

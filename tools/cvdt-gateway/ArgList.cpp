// Command-line reading for cvdt-gateway.
#include "ArgList.h"

#include <algorithm>
#include <charconv>

namespace cvdt::gateway {

ArgList::ArgList(int argc, char** argv, int first, const std::vector<std::string>& flags) {
  for (int i = first; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--", 0) != 0 || arg.size() == 2) {
      m_words.push_back(arg);
      continue;
    }
    std::string name = arg.substr(2);
    size_t equals = name.find('=');
    if (equals != std::string::npos) {
      m_options[name.substr(0, equals)] = name.substr(equals + 1);
    } else if (std::find(flags.begin(), flags.end(), name) != flags.end()) {
      m_options[name] = "1";
    } else if (i + 1 < argc) {
      m_options[name] = argv[++i];
    } else {
      m_strMissingValue = name;
    }
  }
}

std::string ArgList::value(const std::string& name, const std::string& fallback) const {
  auto it = m_options.find(name);
  return it == m_options.end() ? fallback : it->second;
}

bool ArgList::integer(const std::string& name, int64_t low, int64_t high, int64_t& value) const {
  auto it = m_options.find(name);
  return it == m_options.end() || parseInteger(it->second, low, high, value);
}

bool ArgList::parseInteger(const std::string& text, int64_t low, int64_t high, int64_t& value) {
  int64_t parsed = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || parsed < low ||
      parsed > high)
    return false;
  value = parsed;
  return true;
}

std::string ArgList::problem(const std::vector<std::string>& known) const {
  if (!m_strMissingValue.empty()) return "option --" + m_strMissingValue + " needs a value";
  for (const auto& [name, value] : m_options) {
    if (std::find(known.begin(), known.end(), name) == known.end())
      return "unknown option --" + name;
  }
  return {};
}

}  // namespace cvdt::gateway

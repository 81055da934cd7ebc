// Reading and checking the options of one cvdt-pack command.
#include "PackArgs.h"

#include "PackError.h"

namespace cvdt::pack {

PackArgs::PackArgs(const std::vector<std::string>& args, const Known& known) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
      m_words.push_back(arg);
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(2, equals == std::string::npos ? equals : equals - 2);
    const auto found = known.find(name);
    if (found == known.end()) throw PackError("unknown option --" + name);
    if (found->second == Kind::Flag) {
      if (equals != std::string::npos) throw PackError("option --" + name + " takes no value");
      take(name, "Y", Kind::Flag);
    } else if (equals != std::string::npos) {
      take(name, arg.substr(equals + 1), found->second);
    } else if (i + 1 < args.size()) {
      take(name, args[++i], found->second);
    } else {
      throw PackError("option --" + name + " needs a value");
    }
  }
}

void PackArgs::take(const std::string& name, const std::string& value, Kind kind) {
  std::vector<std::string>& slot = m_values[name];
  if (!slot.empty() && kind != Kind::List) throw PackError("option --" + name + " given twice");
  slot.push_back(value);
}

std::string PackArgs::value(const std::string& name, const std::string& fallback) const {
  const auto found = m_values.find(name);
  return found == m_values.end() ? fallback : found->second.back();
}

std::string PackArgs::required(const std::string& name) const {
  const std::string text = value(name);
  if (text.empty()) throw PackError("option --" + name + " is required");
  return text;
}

std::vector<std::string> PackArgs::values(const std::string& name) const {
  const auto found = m_values.find(name);
  return found == m_values.end() ? std::vector<std::string>() : found->second;
}

}  // namespace cvdt::pack

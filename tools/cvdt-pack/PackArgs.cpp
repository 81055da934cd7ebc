// Declaring and reading the options of one cvdt-pack command.
#include "PackArgs.h"

#include "PackError.h"

namespace cvdt::pack {

void PackArgs::declare(CLI::App& command, const Known& known) {
  for (const Spec& spec : known) {
    m_kinds[spec.strName] = spec.kind;
    if (spec.kind == Kind::Flag) {
      command.add_flag("--" + spec.strName, m_flags[spec.strName], spec.strHelp)->disable_flag_override();
      continue;
    }
    // One value per occurrence; a repeated option is collected and judged by check().
    CLI::Option* option = command.add_option("--" + spec.strName, m_values[spec.strName], spec.strHelp)
                              ->type_name(spec.strForm)
                              ->allow_extra_args(false);
    if (spec.kind == Kind::Value) option->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  }
}

void PackArgs::check() const {
  for (const auto& [name, values] : m_values) {
    if (values.size() > 1 && m_kinds.at(name) != Kind::List)
      throw PackError("option --" + name + " given twice");
  }
}

bool PackArgs::has(const std::string& name) const {
  const auto flag = m_flags.find(name);
  if (flag != m_flags.end()) return flag->second;
  const auto found = m_values.find(name);
  return found != m_values.end() && !found->second.empty();
}

std::string PackArgs::value(const std::string& name, const std::string& fallback) const {
  const auto found = m_values.find(name);
  return found == m_values.end() || found->second.empty() ? fallback : found->second.back();
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

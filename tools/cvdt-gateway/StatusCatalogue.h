// StatusCatalogue: what a status code means, in English or Korean, from the module's message
// catalogue sources built into the program.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace cvdt::gateway {

class StatusCatalogue {
 public:
  enum class Language { English, Korean };
  enum class Outcome { Done, Running, Failed };

  StatusCatalogue();

  // The explanation of a commanded or automatic status; a short generic text for a code that
  // has none in the catalogue.
  std::string explain(const std::string& status, bool automatic, Language language) const;
  // 060 is done; 100 and the 900 range are failures; anything else is still under way.
  static Outcome outcome(const std::string& status);
  static const char* outcomeName(Outcome outcome);

 private:
  std::string text(uint32_t id, Language language) const;

  std::map<uint32_t, std::string> m_english;
  std::map<uint32_t, std::string> m_korean;
};

}  // namespace cvdt::gateway

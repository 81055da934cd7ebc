// Status codes to message catalogue texts.
#include "StatusCatalogue.h"

#include <span>
#include <sstream>

#include "EmbeddedFiles.h"

namespace cvdt::gateway {
namespace {

// Catalogue source lines are ID<TAB>text; # starts a comment. "\n" in a text is a line break,
// shown here as a space.
std::map<uint32_t, std::string> parseCatalogue(const char* source) {
  std::map<uint32_t, std::string> texts;
  std::istringstream lines(source);
  for (std::string line; std::getline(lines, line);) {
    size_t tab = line.find('\t');
    if (line.empty() || line[0] == '#' || tab == std::string::npos) continue;
    std::string text;
    for (size_t i = tab + 1; i < line.size(); ++i) {
      bool lineBreak = line[i] == '\\' && i + 1 < line.size() && line[i + 1] == 'n';
      text += lineBreak ? ' ' : line[i];
      i += lineBreak ? 1 : 0;
    }
    size_t start = text.find_first_not_of(' ');
    size_t end = text.find_last_not_of(' ');
    texts[static_cast<uint32_t>(std::stoul(line.substr(0, tab)))] =
        start == std::string::npos ? "" : text.substr(start, end - start + 1);
  }
  return texts;
}

struct StatusText {
  const char* status;
  uint32_t id;
};

// A commanded job's status and the step or failure text the agent's dialog shows for it.
constexpr StatusText kCommanded[] = {
    {"072", 1901}, {"073", 1901}, {"074", 1902}, {"075", 1903}, {"076", 1906}, {"070", 1909},
    {"901", 1911}, {"926", 1911}, {"904", 1912}, {"905", 1913}, {"906", 1915}, {"928", 1915},
    {"927", 1914}, {"907", 1930}, {"908", 1931}, {"910", 1933}, {"920", 1934}, {"921", 1935},
    {"922", 1917}, {"923", 1936}, {"924", 1937}, {"925", 1938}, {"940", 1940}, {"941", 1941},
    {"942", 1942}, {"943", 1943}, {"944", 1944}, {"945", 1945}, {"946", 1946}};
// An automatic item's failure and the detail the agent reports with it.
constexpr StatusText kAutomatic[] = {
    {"909", 1530}, {"901", 1531}, {"902", 1532}, {"903", 1533}, {"907", 1534},
    {"910", 1535}, {"904", 1536}, {"905", 1537}, {"906", 1538}, {"908", 1539}};

struct GenericText {
  const char* status;
  const char* english;
  const char* korean;
};

constexpr GenericText kGeneric[] = {
    {"060", "Completed.", "완료되었습니다."},
    {"010", "Waiting to be distributed.", "배포를 기다리는 중입니다."},
    {"071", "Started.", "시작되었습니다."},
    {"100", "Refused: the same distribution is queued or running.",
     "같은 배포가 이미 대기 중이거나 진행 중이어서 거부되었습니다."},
};

}  // namespace

StatusCatalogue::StatusCatalogue()
    : m_english(parseCatalogue(embedded::kMessagesEnglish)),
      m_korean(parseCatalogue(embedded::kMessagesKorean)) {}

std::string StatusCatalogue::text(uint32_t id, Language language) const {
  const auto& texts = language == Language::Korean ? m_korean : m_english;
  auto it = texts.find(id);
  if (it != texts.end()) return it->second;
  it = m_english.find(id);
  return it == m_english.end() ? std::string() : it->second;
}

std::string StatusCatalogue::explain(const std::string& status, bool automatic,
                                     Language language) const {
  // An automatic item's stages use the commanded job's step texts.
  if (automatic) {
    for (const StatusText& entry : kAutomatic) {
      if (status == entry.status) return text(entry.id, language);
    }
  }
  for (const StatusText& entry : kCommanded) {
    if (status == entry.status) return text(entry.id, language);
  }
  for (const GenericText& entry : kGeneric) {
    if (status == entry.status) return language == Language::Korean ? entry.korean : entry.english;
  }
  Outcome kind = outcome(status);
  if (language == Language::Korean)
    return kind == Outcome::Failed ? "실패했습니다." : "진행 중입니다.";
  return kind == Outcome::Failed ? "Failed." : "In progress.";
}

StatusCatalogue::Outcome StatusCatalogue::outcome(const std::string& status) {
  if (status == "060") return Outcome::Done;
  if (status == "100" || (!status.empty() && status[0] == '9')) return Outcome::Failed;
  return Outcome::Running;
}

const char* StatusCatalogue::outcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Done: return "done";
    case Outcome::Failed: return "failed";
    case Outcome::Running: return "running";
  }
  return "running";
}

}  // namespace cvdt::gateway

// The detection expression evaluator: tokens, the value stack, operators and the dispatch of
// condition tags to their handler families.
#include "detect/NEswDetectParser.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "detect/NDetectRoutines.h"
#include "platform/NMisc.h"

namespace {

constexpr std::string_view kOpen = "<expression>";
constexpr std::string_view kClose = "</expression>";

// Finds a needle at or after a position; remembers its last answer, so the forward-moving
// searches of the tokenizer stay linear on long texts without any later hit.
class ForwardFinder {
 public:
  ForwardFinder(std::string_view text, std::string_view needle) : m_text(text), m_needle(needle) {}
  size_t find(size_t from) {
    if (!m_bValid || from < m_nFrom || (m_nHit != std::string_view::npos && from > m_nHit)) {
      m_nHit = m_text.find(m_needle, from);
      m_nFrom = from;
      m_bValid = true;
    }
    return m_nHit;
  }

 private:
  std::string_view m_text;
  std::string_view m_needle;
  size_t m_nFrom = 0;
  size_t m_nHit = 0;
  bool m_bValid = false;
};

}  // namespace

// Tag, handler, registry form, variant (files: 1, 2, 3; registry texts: 0 substring, 1 equal,
// 2 not equal; V3 product: 0 equal, 1 substring).
const NEswDetectParser::TagEntry NEswDetectParser::kTags[] = {
    {"<windowExists>", &NEswDetectParser::evalWindowExists, Form::Plain, 0},
    {"<fileExists1>", &NEswDetectParser::evalFileExists, Form::Plain, 1},
    {"<file64Exists1>", &NEswDetectParser::evalFileExists, Form::View64, 1},
    {"<fileExists2>", &NEswDetectParser::evalFileExists, Form::Plain, 2},
    {"<file64Exists2>", &NEswDetectParser::evalFileExists, Form::View64, 2},
    {"<fileExists2R>", &NEswDetectParser::evalFileExists, Form::R, 2},
    {"<fileExists3>", &NEswDetectParser::evalFileExists, Form::Plain, 3},
    {"<file64Exists3>", &NEswDetectParser::evalFileExists, Form::View64, 3},
    {"<fileVersion1>", &NEswDetectParser::evalFileVersion, Form::Plain, 1},
    {"<file64Version1>", &NEswDetectParser::evalFileVersion, Form::View64, 1},
    {"<fileVersion1R>", &NEswDetectParser::evalFileVersion, Form::R, 1},
    {"<fileVersion2>", &NEswDetectParser::evalFileVersion, Form::Plain, 2},
    {"<file64Version2>", &NEswDetectParser::evalFileVersion, Form::View64, 2},
    {"<fileVersion2R>", &NEswDetectParser::evalFileVersion, Form::R, 2},
    {"<fileVersion3>", &NEswDetectParser::evalFileVersion, Form::Plain, 3},
    {"<file64Version3>", &NEswDetectParser::evalFileVersion, Form::View64, 3},
    {"<regKeyExists>", &NEswDetectParser::evalRegKeyExists, Form::Plain, 0},
    {"<regKey64Exists>", &NEswDetectParser::evalRegKeyExists, Form::View64, 0},
    {"<regKeyExistsR>", &NEswDetectParser::evalRegKeyExists, Form::R, 0},
    {"<regKeySubstring>", &NEswDetectParser::evalRegKeyText, Form::Plain, 0},
    {"<regKey64Substring>", &NEswDetectParser::evalRegKeyText, Form::View64, 0},
    {"<regKeySubstringR>", &NEswDetectParser::evalRegKeyText, Form::R, 0},
    {"<regKeyValue>", &NEswDetectParser::evalRegKeyText, Form::Plain, 1},
    {"<regKey64Value>", &NEswDetectParser::evalRegKeyText, Form::View64, 1},
    {"<regKeyValueR>", &NEswDetectParser::evalRegKeyText, Form::R, 1},
    {"<regKeyValueNot>", &NEswDetectParser::evalRegKeyText, Form::Plain, 2},
    {"<regKeyValueNotR>", &NEswDetectParser::evalRegKeyText, Form::R, 2},
    {"<regKeyVersion>", &NEswDetectParser::evalRegKeyVersion, Form::Plain, 0},
    {"<regKey64Version>", &NEswDetectParser::evalRegKeyVersion, Form::View64, 0},
    {"<regKeyVersionR>", &NEswDetectParser::evalRegKeyVersion, Form::R, 0},
    {"<v3Product>", &NEswDetectParser::evalV3Product, Form::Plain, 0},
    {"<v3ProductSubstring>", &NEswDetectParser::evalV3Product, Form::Plain, 1},
    {"<v3EngineVersion>", &NEswDetectParser::evalV3EngineVersion, Form::Plain, 0},
    {"<boolean>", &NEswDetectParser::evalBoolean, Form::Plain, 0},
    {"<flatform>", &NEswDetectParser::evalFlatform, Form::Plain, 0},
    {"<ipAddressRange>", &NEswDetectParser::evalIpAddressRange, Form::Plain, 0},
    {"<processExists>", &NEswDetectParser::evalProcessExists, Form::Plain, 0},
};

NEswDetectParser::~NEswDetectParser() = default;

bool NEswDetectParser::evaluate(NString text, int& result) {
  if (text.isEmpty()) return false;
  m_arrTokens.clear();
  m_arrStack.clear();
  if (!tokenize(text)) return false;
  if (m_pObserver != nullptr) m_pObserver->onTokens(m_arrTokens);
  int value = 0;
  run(value);
  if (m_nError == 1) return false;
  result = value;
  return true;
}

bool NEswDetectParser::tokenize(const NString& text) {
  std::string_view view(text.text());
  ForwardFinder opens(view, kOpen);
  ForwardFinder closes(view, kClose);
  size_t offset = opens.find(0);
  if (offset == std::string_view::npos) return false;
  try {
    for (size_t at = opens.find(offset); at != std::string_view::npos; at = opens.find(offset)) {
      size_t start = at + kOpen.size();
      size_t nextOpen = opens.find(start);
      size_t nextClose = closes.find(start);
      if (nextOpen == std::string_view::npos && nextClose == std::string_view::npos) break;
      bool closeFirst = nextClose != std::string_view::npos &&
                        (nextOpen == std::string_view::npos || nextClose < nextOpen);
      size_t end = closeFirst ? nextClose : nextOpen;
      offset = closeFirst ? nextClose + kClose.size() : nextOpen;
      m_arrTokens.add(std::string(view.substr(start, end - start)).c_str());
    }
  } catch (const std::bad_alloc&) {
    m_nError = 1;
  }
  return m_nError == 0;
}

bool NEswDetectParser::run(int& result) {
  result = 0;
  int count = m_arrTokens.getCount();
  if (count == 0) return m_nError == 0;
  for (m_nToken = count - 1; m_nToken >= 0; --m_nToken) {
    NString token = m_arrTokens.getAt(m_nToken);
    bool isOperator = token == "<or>" || token == "<and>" || token == "<not>";
    int value = isOperator ? applyOperator(token) : evalCondition(token);
    if (value < 0) {
      m_nError = 1;
      return false;
    }
    push(value);
  }
  int top = pop();
  if (top < 0) {
    m_nError = 1;
    return false;
  }
  result = top;
  return m_nError != 1;
}

void NEswDetectParser::push(int value) { m_arrStack.add(value != 0 ? "1" : "0"); }

int NEswDetectParser::pop() {
  int count = m_arrStack.getCount();
  if (count == 0) return -1;
  NString top = m_arrStack.getAt(count - 1);
  m_arrStack.removeRange(count - 1, 1);
  return top == "1" ? 1 : 0;
}

int NEswDetectParser::applyOperator(const NString& token) {
  int result = -1;
  if (token == "<or>" || token == "<and>") {
    int a = pop();
    int b = a < 0 ? -1 : pop();
    if (b >= 0) result = token == "<or>" ? (a || b) : (a && b);
  } else {
    int a = pop();
    if (a >= 0) result = !a;
  }
  if (m_pObserver != nullptr) m_pObserver->onOperator(m_nToken, token.text(), result);
  return result;
}

int NEswDetectParser::evalCondition(const NString& token) {
  Condition cond;
  cond.strToken = token;
  cond.strToken.trimLeft();
  cond.step.nToken = m_nToken;
  const char* text = cond.strToken.text();
  const TagEntry* entry = nullptr;
  for (const TagEntry& candidate : kTags) {
    if (std::strncmp(text, candidate.tag, std::strlen(candidate.tag)) != 0) continue;
    entry = &candidate;
    break;
  }
  int result = 0;
  if (entry == nullptr) {
    cond.step.strTag = std::string(text, std::min<size_t>(std::strlen(text), 40));
    result = fail(cond, "no condition of this name");
  } else {
    std::string_view tag(entry->tag);
    cond.step.strTag = std::string(tag.substr(1, tag.size() - 2));
    cond.nVariant = entry->variant;
    bool is64 = NMisc::is64BitWindows();
    cond.bView64 = is64 && entry->form != Form::Plain;
    cond.step.strView = is64 ? (cond.bView64 ? "64-bit" : "32-bit") : "plain";
    if (entry->form == Form::View64 && !is64) {
      cond.step.strNote = "64-bit form on a 32-bit system: true without looking";
      result = 1;
    } else {
      result = (this->*entry->handler)(cond);
    }
  }
  cond.step.nResult = result;
  if (m_pObserver != nullptr) m_pObserver->onCondition(cond.step);
  return result;
}

NString NEswDetectParser::operand(Condition& cond, const char* name, bool trimmed) {
  std::string open = std::string("<") + name + ">";
  std::string close = std::string("</") + name + ">";
  NString value = getElementText(cond.strToken.text(), open.c_str(), close.c_str());
  if (trimmed) value = trimOperand(value);
  cond.step.vecOperands.emplace_back(name, value.text());
  return value;
}

int NEswDetectParser::fail(Condition& cond, const char* note) {
  m_nError = 1;
  cond.step.bError = true;
  if (cond.step.strNote.empty()) cond.step.strNote = note;
  return 0;
}

bool NEswDetectParser::requireAll(Condition& cond, std::initializer_list<const NString*> values,
                                  std::initializer_list<const char*> names) {
  const char* const* name = names.begin();
  for (const NString* value : values) {
    if (value->isEmpty()) {
      fail(cond, (std::string("empty operand ") + *name).c_str());
      return false;
    }
    ++name;
  }
  return true;
}

int NEswDetectParser::judge(Condition& cond, const NString& status, int r) {
  int verdict = judgeVersionStatus(status.text(), r);
  if (verdict < 0) return fail(cond, "versionStatus is not one of the five");
  return verdict;
}

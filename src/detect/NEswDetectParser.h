// NEswDetectParser: evaluates the installed-section of a product policy, a small XML-like
// expression language of conditions (files, registry values, versions, processes, windows,
// addresses, platform strings, the V3 product) combined with and, or and not. Tags are found by
// plain case-sensitive substring search; the way tokens and operands are cut is the language.
//
// One evaluator serves one evaluate call on one thread. Every condition is evaluated, last token
// first; the work is iterative, so deep nesting and long texts end with a result or the error
// flag. The evaluator writes no log lines.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "detect/NEswDetectObserver.h"
#include "platform/NString.h"
#include "platform/NStringArray.h"

class NRegistry;

class NEswDetectParser {
 public:
  NEswDetectParser() = default;
  virtual ~NEswDetectParser();
  NEswDetectParser(const NEswDetectParser&) = delete;
  NEswDetectParser& operator=(const NEswDetectParser&) = delete;

  // Reports every evaluated token to observer (not owned; null for none).
  void setObserver(NEswDetectObserver* observer) { m_pObserver = observer; }

  // Evaluates the expression text. True with result 1 (installed) or 0 on success; false, with
  // result untouched, when the text is empty, holds no "<expression>", or the error flag is set.
  bool evaluate(NString text, int& result);
  // Cuts the text into tokens, one per "<expression>". False when there is none, or when the
  // error flag is set.
  bool tokenize(const NString& text);
  // Evaluates the token list from the last token to the first; the result is the stack's top.
  // False when the error flag is set.
  bool run(int& result);
  // "<or>" and "<and>" pop two values, "<not>" one; -1 when the stack has too few.
  int applyOperator(const NString& token);
  // The condition named by the start of the token (after leading blanks): 1 or 0; an unknown
  // tag, an empty required operand, an unknown hive or version status set the error flag.
  int evalCondition(const NString& token);

  int errorFlag() const { return m_nError; }
  const NStringArray& tokens() const { return m_arrTokens; }

 private:
  enum class Form { Plain, View64, R };
  // One condition being evaluated: its trimmed token, the variant its tag selects, the registry
  // view it uses, and what it reports to the observer.
  struct Condition {
    NString strToken;
    int nVariant = 0;
    bool bView64 = false;
    NEswDetectStep step;
  };
  using Handler = int (NEswDetectParser::*)(Condition&);
  struct TagEntry {
    const char* tag;
    Handler handler;
    Form form;
    int variant;
  };
  static const TagEntry kTags[];

  void push(int value);
  int pop();

  // Helpers shared by the handler families.
  NString operand(Condition& cond, const char* name, bool trimmed = true);
  int fail(Condition& cond, const char* note);
  bool requireAll(Condition& cond, std::initializer_list<const NString*> values,
                  std::initializer_list<const char*> names);
  // 1 when the key opened, 0 when it did not, -1 (error set) for an unknown hive.
  int openKey(Condition& cond, const NString& key, NRegistry& registry);
  int judge(Condition& cond, const NString& status, int r);
  // The registry directory of the "2" and "3" file families with "\" and the file name; false
  // when the key did not open (ok 0) or failed (ok -1).
  int registryFilePath(Condition& cond, const NString& fileName, NString& path);

  // Handler families.
  int evalWindowExists(Condition& cond);
  int evalFileExists(Condition& cond);
  int evalFileVersion(Condition& cond);
  int evalRegKeyExists(Condition& cond);
  int evalRegKeyText(Condition& cond);
  int evalRegKeyVersion(Condition& cond);
  int evalV3Product(Condition& cond);
  int evalV3EngineVersion(Condition& cond);
  int evalBoolean(Condition& cond);
  int evalFlatform(Condition& cond);
  int evalIpAddressRange(Condition& cond);
  int evalProcessExists(Condition& cond);

  NStringArray m_arrTokens;
  NStringArray m_arrStack;
  int32_t m_nError = 0;
  NString m_strV3Folder;
  NEswDetectObserver* m_pObserver = nullptr;
  int m_nToken = 0;
};

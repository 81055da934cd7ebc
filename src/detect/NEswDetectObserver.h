// NEswDetectObserver: what the detection manager and its evaluator looked at, reported step by
// step to a listener (the operator's explain tool). The module itself passes no observer; the
// reports come from the same code that decides, so an explanation is never a second opinion.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/NStringArray.h"

// One condition token as the evaluator saw it.
struct NEswDetectStep {
  int nToken = 0;               // index in the token list (document order)
  std::string strTag;           // condition name ("fileExists1"); the token's start when unknown
  std::vector<std::pair<std::string, std::string>> vecOperands;  // name, text as used
  std::string strView;          // "32-bit", "64-bit", "plain" (32-bit system) or empty
  std::string strLookedAt;      // path, key or list the condition looked at
  std::string strFound;         // the raw fact found there
  std::string strNote;          // why it failed, or why nothing was looked at
  int nResult = 0;              // 1 true, 0 false
  bool bError = false;          // the condition set the evaluator's error flag
};

class NEswDetectObserver {
 public:
  virtual ~NEswDetectObserver() = default;
  // Whether the policy text holds a "<polProduct>" element.
  virtual void onPolicyElement(bool found) { (void)found; }
  // A platform section that was found, and whether its text named this machine.
  virtual void onPlatformSection(int number, const std::string& text, bool matched) {
    (void)number, (void)text, (void)matched;
  }
  // The token list of the installed-section, once cut.
  virtual void onTokens(const NStringArray& tokens) { (void)tokens; }
  // Each condition after it was evaluated, last token first.
  virtual void onCondition(const NEswDetectStep& step) { (void)step; }
  // Each operator token with its result (-1: too few values on the stack).
  virtual void onOperator(int token, const std::string& op, int result) {
    (void)token, (void)op, (void)result;
  }
};

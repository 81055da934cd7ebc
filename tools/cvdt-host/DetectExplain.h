// The explanation of one product detection: an observer that records what the detection
// manager and its evaluator looked at, and the tree of conditions rebuilt from the order in
// which the evaluator applied its operators.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "detect/NEswDetectObserver.h"

namespace cvdt::host {

struct ExplainNode {
  bool bOperator = false;
  int nToken = 0;
  std::string strOperator;  // "and", "or", "not"
  NEswDetectStep step;      // conditions
  int nResult = 0;          // 1, 0, or -1 when the operator lacked values
  std::vector<std::unique_ptr<ExplainNode>> children;
};

struct PlatformSection {
  int nNumber = 0;
  std::string strText;
  bool bMatched = false;
};

class DetectExplainer : public NEswDetectObserver {
 public:
  void onPolicyElement(bool found) override { m_bPolicyElement = found; }
  void onPlatformSection(int number, const std::string& text, bool matched) override;
  void onTokens(const NStringArray& tokens) override { m_nTokens = tokens.getCount(); }
  void onCondition(const NEswDetectStep& step) override;
  void onOperator(int token, const std::string& op, int result) override;

  bool policyElement() const { return m_bPolicyElement; }
  // The expressions left on the stack, the evaluation's result first.
  std::vector<const ExplainNode*> roots() const;
  const std::vector<PlatformSection>& sections() const { return m_vecSections; }
  int tokenCount() const { return m_nTokens; }
  // Tokens that were cut but not evaluated (the evaluation stopped early).
  int unevaluated() const { return m_nUnevaluated; }

  // The indented tree as text, two blanks per level.
  std::string treeText() const;
  nlohmann::json treeJson() const;

 private:
  bool m_bPolicyElement = false;
  int m_nTokens = 0;
  int m_nUnevaluated = 0;
  std::vector<PlatformSection> m_vecSections;
  std::vector<std::unique_ptr<ExplainNode>> m_vecStack;
};

}  // namespace cvdt::host

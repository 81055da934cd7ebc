// Recording and rendering the explanation of a product detection.
#include "DetectExplain.h"

namespace cvdt::host {
namespace {

// Control characters shown as escapes, so a carriage return kept in an operand is visible.
std::string shown(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c < 0x20) out += "\\x" + std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
    else out += static_cast<char>(c);
  }
  return out;
}

const char* truth(int result) { return result > 0 ? "true" : result == 0 ? "false" : "error"; }

void appendNode(const ExplainNode& node, int depth, std::string& out) {
  std::string indent(static_cast<size_t>(depth) * 2, ' ');
  if (node.bOperator) {
    out += indent + node.strOperator + " = " + truth(node.nResult);
    if (node.nResult < 0) out += " (too few operands)";
    out += "\n";
    for (const auto& child : node.children) appendNode(*child, depth + 1, out);
    return;
  }
  const NEswDetectStep& step = node.step;
  out += indent + shown(step.strTag) + " = " + (step.bError ? "error" : truth(step.nResult));
  if (!step.strView.empty()) out += "  [" + step.strView + " view]";
  out += "\n";
  for (const auto& [name, value] : step.vecOperands)
    out += indent + "    " + name + ": \"" + shown(value) + "\"\n";
  if (!step.strLookedAt.empty()) out += indent + "    looked at: " + shown(step.strLookedAt) + "\n";
  if (!step.strLookedAt.empty() || !step.strFound.empty())
    out += indent + "    found: " + shown(step.strFound) + "\n";
  if (!step.strNote.empty()) out += indent + "    note: " + step.strNote + "\n";
}

nlohmann::json nodeJson(const ExplainNode& node) {
  nlohmann::json json;
  json["token"] = node.nToken;
  if (node.bOperator) {
    json["operator"] = node.strOperator;
    json["result"] = node.nResult < 0 ? nlohmann::json() : nlohmann::json(node.nResult == 1);
    json["children"] = nlohmann::json::array();
    for (const auto& child : node.children) json["children"].push_back(nodeJson(*child));
    return json;
  }
  const NEswDetectStep& step = node.step;
  json["condition"] = step.strTag;
  json["result"] = step.bError ? nlohmann::json() : nlohmann::json(step.nResult == 1);
  json["error"] = step.bError;
  json["view"] = step.strView;
  json["operands"] = nlohmann::json::array();
  for (const auto& [name, value] : step.vecOperands)
    json["operands"].push_back({{"name", name}, {"value", value}});
  json["looked_at"] = step.strLookedAt;
  json["found"] = step.strFound;
  json["note"] = step.strNote;
  return json;
}

}  // namespace

void DetectExplainer::onPlatformSection(int number, const std::string& text, bool matched) {
  m_vecSections.push_back({number, text, matched});
}

void DetectExplainer::onCondition(const NEswDetectStep& step) {
  auto node = std::make_unique<ExplainNode>();
  node->nToken = step.nToken;
  node->step = step;
  node->nResult = step.nResult;
  m_vecStack.push_back(std::move(node));
  m_nUnevaluated = step.nToken;
}

void DetectExplainer::onOperator(int token, const std::string& op, int result) {
  auto node = std::make_unique<ExplainNode>();
  node->bOperator = true;
  node->nToken = token;
  node->strOperator = op.size() > 2 ? op.substr(1, op.size() - 2) : op;
  node->nResult = result;
  // The evaluator pops the top first: it is the first operand in document order.
  size_t wanted = node->strOperator == "not" ? 1 : 2;
  for (size_t i = 0; i < wanted && !m_vecStack.empty(); ++i) {
    node->children.push_back(std::move(m_vecStack.back()));
    m_vecStack.pop_back();
  }
  m_vecStack.push_back(std::move(node));
  m_nUnevaluated = token;
}

std::vector<const ExplainNode*> DetectExplainer::roots() const {
  std::vector<const ExplainNode*> out;
  for (auto it = m_vecStack.rbegin(); it != m_vecStack.rend(); ++it) out.push_back(it->get());
  return out;
}

std::string DetectExplainer::treeText() const {
  std::string out;
  std::vector<const ExplainNode*> all = roots();
  for (size_t i = 0; i < all.size(); ++i) {
    if (i == 1) out += "left on the stack, not part of the result:\n";
    appendNode(*all[i], 1, out);
  }
  if (m_nUnevaluated > 0)
    out += "  (" + std::to_string(m_nUnevaluated) + " earlier tokens not evaluated: the evaluation stopped)\n";
  return out;
}

nlohmann::json DetectExplainer::treeJson() const {
  nlohmann::json json = nlohmann::json::array();
  for (const ExplainNode* node : roots()) json.push_back(nodeJson(*node));
  return json;
}

}  // namespace cvdt::host

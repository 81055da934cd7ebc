// Product detection for operators: the verdict of a policy on this machine, and with --explain
// the platform strings, the platform section that matched and every condition's facts.
#include "DetectCommand.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <memory>
#include <stdexcept>

#include "NCliJson.h"

#include "DetectExplain.h"
#include "detect/NEswDetectMgr.h"

namespace cvdt::host {
namespace {

using CRV::CVDT::AUTO_DIST::NEswDetectMgr;

struct Outcome {
  int nReturn = 0;
  ProductTarget target{};
  bool bTruncated = false;
  std::string strVerdict;
};

bool readPolicy(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return !in.bad();
}

// The policy goes into a target as the automatic distribution stores it: a bounded copy.
Outcome detect(const std::string& policy, NEswDetectMgr& mgr, DetectExplainer& explainer) {
  Outcome outcome;
  size_t length = policy.find('\0');
  if (length == std::string::npos) length = policy.size();
  outcome.bTruncated = length > sizeof outcome.target.pcPolicy - 1;
  length = std::min(length, sizeof outcome.target.pcPolicy - 1);
  std::memcpy(outcome.target.pcPolicy, policy.data(), length);
  mgr.setObserver(&explainer);
  outcome.nReturn = mgr.detect(&outcome.target, 1, 0);
  if (outcome.nReturn == 0) outcome.strVerdict = "evaluation failed";
  else if (!explainer.policyElement()) outcome.strVerdict = "no policy element";
  else if (outcome.target.bPlatformMatched == 0) outcome.strVerdict = "platform does not match";
  else outcome.strVerdict = outcome.target.bReal_Installed == 1 ? "installed" : "not installed";
  return outcome;
}

std::string matchedSection(const DetectExplainer& explainer) {
  for (const PlatformSection& section : explainer.sections()) {
    if (section.bMatched) {
      char name[16];
      std::snprintf(name, sizeof name, "flatform%2.2d", section.nNumber);
      return name;
    }
  }
  return "";
}

void printText(const std::string& path, const Outcome& outcome, const NEswDetectMgr& mgr,
               const DetectExplainer& explainer) {
  std::printf("policy: %s\nverdict: %s\n", path.c_str(), outcome.strVerdict.c_str());
  if (outcome.bTruncated) std::printf("note: only the first 5119 characters were read\n");
  const NStringArray& platforms = mgr.platformStrings();
  std::printf("platform strings of this machine (%d):\n", platforms.getCount());
  for (int i = 0; i < platforms.getCount(); ++i) std::printf("  %s\n", platforms.getAt(i).text());
  std::printf("platform sections:\n");
  if (explainer.sections().empty()) std::printf("  (none found)\n");
  for (const PlatformSection& section : explainer.sections())
    std::printf("  flatform%2.2d \"%s\": %s\n", section.nNumber, section.strText.c_str(),
                section.bMatched ? "matches" : "no");
  if (explainer.tokenCount() == 0 && explainer.roots().empty()) return;
  std::printf("installed-section (%d tokens):\n%s", explainer.tokenCount(),
              explainer.treeText().c_str());
}

cli::NJson toJson(const std::string& path, const Outcome& outcome, const NEswDetectMgr& mgr,
                      const DetectExplainer& explainer, bool explain) {
  cli::NJson json;
  json["policy"] = path;
  json["verdict"] = outcome.strVerdict;
  json["detect_returned"] = outcome.nReturn;
  json["truncated"] = outcome.bTruncated;
  json["policy_element"] = explainer.policyElement();
  json["flags"] = {{"detection_done", outcome.target.bDetectDone},
                   {"installed", outcome.target.bReal_Installed},
                   {"platform_matched", outcome.target.bPlatformMatched}};
  if (!explain) return json;
  json["platform_strings"] = cli::NJson::array();
  const NStringArray& platforms = mgr.platformStrings();
  for (int i = 0; i < platforms.getCount(); ++i)
    json["platform_strings"].push_back(platforms.getAt(i).text());
  json["platform_sections"] = cli::NJson::array();
  for (const PlatformSection& section : explainer.sections())
    json["platform_sections"].push_back(
        {{"number", section.nNumber}, {"text", section.strText}, {"matched", section.bMatched}});
  std::string matched = matchedSection(explainer);
  json["matched_section"] = matched.empty() ? cli::NJson() : cli::NJson(matched);
  json["tokens"] = explainer.tokenCount();
  json["unevaluated_tokens"] = explainer.unevaluated();
  json["expressions"] = explainer.treeJson();
  return json;
}


struct DetectOptions {
  std::string strPolicy;
  bool bExplain = false, bJson = false;
};

int detectPolicy(const DetectOptions& o) {
  std::string policy;
  if (!readPolicy(o.strPolicy, policy)) throw std::runtime_error("cannot read " + o.strPolicy);
  NEswDetectMgr mgr;
  mgr.init("", "");
  DetectExplainer explainer;
  Outcome outcome = detect(policy, mgr, explainer);
  if (o.bJson) {
    std::printf("%s\n", cli::NCliJson::line(toJson(o.strPolicy, outcome, mgr, explainer, o.bExplain)).c_str());
  } else if (o.bExplain) {
    printText(o.strPolicy, outcome, mgr, explainer);
  } else {
    std::printf("%s\n", outcome.strVerdict.c_str());
  }
  return outcome.nReturn == 0 ? cli::kExitFailed : cli::kExitOk;
}

int printPlatform() {
  NEswDetectMgr mgr;
  mgr.init("", "");
  const NStringArray& platforms = mgr.platformStrings();
  for (int i = 0; i < platforms.getCount(); ++i) std::printf("%s\n", platforms.getAt(i).text());
  return cli::kExitOk;
}

}  // namespace

void addDetectCommands(cli::NCliApp& cli) {
  auto options = std::make_shared<DetectOptions>();
  CLI::App* detectCommand = cli.addCommand(
      cli.root(), "detect", "a product policy's verdict on this machine, and why",
      "cvdt-host detect --policy viewer.xml --explain\n"
      "cvdt-host detect --policy viewer.xml --json",
      [options] { return detectPolicy(*options); });
  detectCommand->add_option("--policy", options->strPolicy, "the policy file")->required()->type_name("FILE");
  detectCommand->add_flag("--explain", options->bExplain,
                          "show the platform strings, the platform sections and every condition's facts");
  detectCommand->add_flag("--json", options->bJson, "print one JSON record");
  cli.addCommand(cli.root(), "platform", "this machine's platform strings, one per line",
                 "CVDT_MACHINE=demo/machine cvdt-host platform", [] { return printPlatform(); });
}

}  // namespace cvdt::host

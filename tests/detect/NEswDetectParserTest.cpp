// The detection language against a laid-out machine: every condition true and false, operators,
// registry views; and hostile texts (deep nesting, megabyte policies,
// texts that would make a careless tokenizer quadratic) that end with a result or the error flag
// (fuzz/DetectPolicyFuzz tries random ones).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DetectTestSupport.h"

namespace {

using cvdt::test::andOf;
using cvdt::test::condition;
using cvdt::test::evaluateText;
using cvdt::test::layOutDetectFacts;
using cvdt::test::notOf;
using cvdt::test::orOf;
using cvdt::test::TestMachine;

struct Row {
  const char* name;
  std::string text;
  int expected;  // 1, 0, or -1 when the evaluation fails
};

void check(const std::vector<Row>& rows) {
  for (const Row& row : rows) EXPECT_EQ(evaluateText(row.text), row.expected) << row.name << "\n" << row.text;
}

std::string boolean(const std::string& value) { return condition("boolean", {{"value", value}}); }

const std::string kApp = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App";
const std::string kApp64 = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App64";

TEST(NEswDetectParserTest, OperatorsCombineByCountFromTheLastTokenBack) {
  TestMachine machine;
  std::string t = boolean("1"), f = boolean("0");
  check({
      {"and 1 0", andOf(t, f), 0},
      {"or 1 0", orOf(t, f), 1},
      {"not 0", notOf(f), 1},
      {"line break after and", "<expression><and>\n" + t + f + "</and></expression>", -1},
      {"blank after or", "<expression><or> " + t + f + "</or></expression>", -1},
      {"not alone", "<expression><not></expression>", -1},
      {"and with one operand", "<expression><and>" + t + "</and></expression>", -1},
      {"two top-level, first false", f + t, 0},
      {"third operand of and is left over", "<expression><and>" + t + t + f + "</and></expression>",
       1},
      {"no expression", "<boolean><value>1</value></boolean>", -1},
      {"empty text", "", -1},
      {"unknown tag", condition("fileExists4", {{"fileName", "a"}}), -1},
      {"operator tag in lower case only", "<expression><AND>" + t + t + "</AND></expression>", -1},
  });
}

TEST(NEswDetectParserTest, FileConditionsLookInTheViewTheirFormNames) {
  TestMachine machine;
  layOutDetectFacts(machine);
  auto file1 = [](const char* tag, const std::string& name, const std::string& path) {
    return condition(tag, {{"fileName", name}, {"path", path}});
  };
  auto file2 = [](const char* tag, const std::string& name, const std::string& key,
                  const std::string& entry) {
    return condition(tag, {{"fileName", name}, {"key", key}, {"entry", entry}});
  };
  auto file3 = [](const char* tag, const std::string& name, const std::string& level) {
    return condition(tag, {{"fileName", name}, {"key", kApp}, {"entry", "ExePath"}, {"pathLevel", level}});
  };
  check({
      {"32-bit program folder",
       file1("fileExists1", "app.exe", "%csidl_program_files%\\Vendor\\App\\"), 1},
      {"64-bit program folder",
       file1("file64Exists1", "app64.exe", "%csidl_program_files%\\Vendor\\App64"), 1},
      {"a directory is no file",
       file1("fileExists1", "folder.exe", "%csidl_program_files%\\Vendor\\App"), 0},
#ifdef _WIN32  // a 64-bit test program: the system redirects nothing for it
      {"System32 not redirected", file1("fileExists1", "only64.dll", "C:\\Windows\\System32"), 1},
#else
      {"System32 redirected", file1("fileExists1", "only64.dll", "C:\\Windows\\System32"), 0},
#endif
      {"System32 itself", file1("file64Exists1", "only64.dll", "C:\\Windows\\System32"), 1},
      {"empty path", file1("fileExists1", "app.exe", " "), -1},
      {"registry directory", file2("fileExists2", "app.exe", kApp, "InstallDir"), 1},
      {"registry directory, R form", file2("fileExists2R", "app64.exe", kApp64, "InstallDir"), 1},
      {"registry directory, missing key",
       file2("fileExists2", "app.exe", kApp + "\\Gone", "InstallDir"), 0},
      {"stripped two levels", file3("fileExists3", "app.exe", "2"), 1},
      {"stripped, level empty", file3("fileExists3", "app.exe", ""), -1},
  });
}

TEST(NEswDetectParserTest, RegistryConditionsReadValuesAsText) {
  TestMachine machine;
  layOutDetectFacts(machine);
  auto exists = [](const char* tag, const std::string& key, const std::string& entry) {
    return condition(tag, {{"key", key}, {"entry", entry}});
  };
  auto text = [](const char* tag, const std::string& key, const std::string& entry,
                 const std::string& value) {
    return condition(tag, {{"entry", entry}, {"key", key}, {"value", value}});
  };
  auto version = [](const char* tag, const std::string& key, const std::string& entry,
                    const std::string& status, const std::string& value) {
    return condition(tag, {{"versionStatus", status}, {"key", key}, {"entry", entry}, {"version", value}});
  };
  check({
      {"key", exists("regKeyExists", kApp, ""), 1},
      {"value name ignoring case", exists("regKeyExists", kApp, "installdir"), 1},
      {"absent value", exists("regKeyExists", kApp, "Missing"), 0},
      {"key only in the 32-bit view", exists("regKey64Exists", kApp, ""), 0},
      {"R form", exists("regKeyExistsR", kApp64, ""), 1},
      {"lower-case hive", exists("regKeyExists", "hkey_local_machine\\SOFTWARE\\Vendor\\App", ""),
       -1},
      {"substring", text("regKeySubstring", kApp, "Edition", "sional Ed"), 1},
      {"substring is case-sensitive", text("regKeySubstring", kApp, "Edition", "professional"), 0},
      {"value ignoring case", text("regKeyValue", kApp, "Edition", "PROFESSIONAL edition"), 1},
      {"value, no entry", text("regKeyValue", kApp, "", "App"), -1},
      {"value, absent key", text("regKeyValue", kApp + "\\Gone", "Version", "x"), 0},
      {"not, absent key", text("regKeyValueNot", kApp + "\\Gone", "Version", "x"), 1},
      {"not, absent value", text("regKeyValueNot", kApp, "Missing", "x"), 1},
      {"not, differs in case only", text("regKeyValueNot", kApp, "Edition", "professional EDITION"),
       0},
      {"no 64 form of not", text("regKey64ValueNot", kApp64, "Version", "1"), -1},
      {"version higher or same", version("regKeyVersion", kApp, "Version", "HIGHER_OR_SAME", "5.2"),
       1},
      {"version lower", version("regKeyVersion", kApp, "Version", "LOWER", "5.2"), 0},
      {"version of an absent value", version("regKeyVersion", kApp, "Missing", "LOWER", "0.1"), 1},
      {"version, lower-case status", version("regKeyVersion", kApp, "Version", "higher", "1"), -1},
      {"version, lower-case status, absent key",
       version("regKeyVersion", kApp + "\\Gone", "Version", "higher", "1"), 0},
  });
}

#ifndef _WIN32  // a 32-bit machine: the Windows test machine is the system itself
TEST(NEswDetectParserTest, SixtyFourBitFormsAreTrueOnA32BitSystem) {
  TestMachine machine([](auto& config, auto&) { config.is64Bit = false; });
  layOutDetectFacts(machine);
  const char* forms[] = {"file64Exists1", "file64Exists2", "file64Exists3", "file64Version1",
                         "file64Version2", "file64Version3", "regKey64Exists", "regKey64Substring",
                         "regKey64Value", "regKey64Version"};
  for (const char* tag : forms) EXPECT_EQ(evaluateText(condition(tag, {})), 1) << tag;
  check({
      {"plain form reads the one view",
       condition("fileExists2", {{"fileName", "app.exe"}, {"key", kApp}, {"entry", "InstallDir"}}),
       1},
      {"R form still needs operands", condition("regKeyExistsR", {}), -1},
  });
}
#endif

TEST(NEswDetectParserTest, PlatformStringsAndTheV3ProductWithoutV3) {
  TestMachine machine;
  check({
      {"all-empty platform string", condition("flatform", {{"value", "........."}}), 1},
      {"x86 form on a 64-bit system",
       condition("flatform", {{"value", "ver_platform_win32_nt.10.0.x86......"}}), 0},
      {"empty platform", condition("flatform", {{"value", ""}}), -1},
      {"no V3 product", condition("v3Product", {{"value", "V3Pro 2004"}}), 0},
      {"no V3 product, substring", condition("v3ProductSubstring", {{"value", "V3"}}), 0},
      {"no V3 product, empty value", condition("v3Product", {{"value", ""}}), -1},
      {"no engine is lower",
       condition("v3EngineVersion", {{"versionStatus", "LOWER"}, {"version", "2020.01.01"}}), 1},
      {"no engine is not higher",
       condition("v3EngineVersion", {{"versionStatus", "HIGHER"}, {"version", "1"}}), 0},
      {"engine, lower-case status",
       condition("v3EngineVersion", {{"versionStatus", "lower"}, {"version", "1"}}), -1},
  });
}

std::string repeat(const std::string& piece, size_t count) {
  std::string text;
  text.reserve(piece.size() * count);
  for (size_t i = 0; i < count; ++i) text += piece;
  return text;
}

TEST(NEswDetectLimitsTest, DeepNestingAndMegabyteTextsEndWithAResultOrAFailure) {
  TestMachine machine;
  const std::string t = condition("boolean", {{"value", "1"}});
  const size_t deep = 200000;
  // 200,000 nested nots around true: an even count of negations.
  std::string nots = repeat("<expression><not>", deep) + t + repeat("</not></expression>", deep);
  EXPECT_EQ(evaluateText(nots), 1);
  EXPECT_EQ(evaluateText("<expression><not>" + nots), 0);
  // Nested ands lack operands: the stack runs dry.
  EXPECT_EQ(evaluateText(repeat("<expression><and>", deep) + t), -1);
  // Over a megabyte of opening tags without any closing tag: every token is empty text.
  EXPECT_EQ(evaluateText(repeat("<expression>", 100000)), -1);
  // One condition with a megabyte operand.
  EXPECT_EQ(evaluateText(condition("boolean", {{"value", std::string(1 << 20, '1')}})), -1);
  // A megabyte of closing tags and noise after one expression.
  EXPECT_EQ(evaluateText(t + repeat("</expression>", 80000)), 1);
}

}  // namespace

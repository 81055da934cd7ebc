// The evaluator on hostile texts: deep nesting, megabyte policies, texts that would make a
// careless tokenizer quadratic. Each ends with a result or the error flag.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "DetectTestSupport.h"
#include "detect/NEswDetectParser.h"

namespace {

using cvdt::test::condition;
using cvdt::test::evaluateText;
using cvdt::test::TestMachine;

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
  // A long chain of ors, each with a true right operand, is true.
  std::string ors;
  for (size_t i = 0; i < 50000; ++i) ors += "<expression><or>" + t;
  EXPECT_EQ(evaluateText(ors + t), 1);
  // Over a megabyte of opening tags without any closing tag: every token is empty text.
  EXPECT_EQ(evaluateText(repeat("<expression>", 100000)), -1);
  EXPECT_EQ(evaluateText(repeat("<expression><and>", 70000)), -1);
  // One condition with a megabyte operand.
  EXPECT_EQ(evaluateText(condition("boolean", {{"value", std::string(1 << 20, '1')}})), -1);
  EXPECT_EQ(evaluateText(condition("regKeyValueNot", {{"key", "HKEY_LOCAL_MACHINE\\" + std::string(1 << 20, 'k')},
                                                      {"entry", "e"}, {"value", "v"}})), 1);
  // A megabyte of closing tags and noise after one expression.
  EXPECT_EQ(evaluateText(t + repeat("</expression>", 80000)), 1);
}

TEST(NEswDetectLimitsTest, RandomTextsNeverCrash) {
  TestMachine machine;
  const char* pieces[] = {"<expression>", "</expression>", "<and>", "<or>", "<not>", "</and>",
                          "<boolean>", "<value>", "</value>", "</boolean>", "1", "0", " ", "\n",
                          "<regKeyExists>", "<key>", "</key>", "HKEY_LOCAL_MACHINE\\SOFTWARE",
                          "<flatform>", "</flatform>", ".........", "<", ">", "x"};
  std::mt19937 random(20261206);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    int length = static_cast<int>(random() % 200);
    for (int i = 0; i < length; ++i) text += pieces[random() % (sizeof pieces / sizeof *pieces)];
    int result = evaluateText(text);
    EXPECT_TRUE(result == -1 || result == 0 || result == 1) << text;
  }
}

TEST(NEswDetectLimitsTest, AFailedEvaluatorStaysFailed) {
  TestMachine machine;
  NEswDetectParser parser;
  int result = 5;
  EXPECT_FALSE(parser.evaluate(condition("boolean", {{"value", "10"}}).c_str(), result));
  EXPECT_EQ(parser.errorFlag(), 1);
  EXPECT_FALSE(parser.evaluate(condition("boolean", {{"value", "1"}}).c_str(), result));
  EXPECT_EQ(result, 5);
}

}  // namespace

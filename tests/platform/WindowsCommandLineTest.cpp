// Windows command-line splitting and quoting, case by case as the C runtime splits.
#include <gtest/gtest.h>

#include "platform/WindowsCommandLine.h"

namespace {

using plat::quoteArgument;
using plat::splitCommandLine;
using Args = std::vector<std::string>;

TEST(WindowsCommandLineTest, SplitsByTheRuntimeRules) {
  struct Row {
    const char* line;
    Args args;
  } rows[] = {
      {R"(  prog   a	b  )", {"prog", "a", "b"}},
      {R"("C:\Program Files\x.exe" "a b" c)", {R"(C:\Program Files\x.exe)", "a b", "c"}},
      {R"(C:\dir\prog.exe C:\a\b\)", {R"(C:\dir\prog.exe)", R"(C:\a\b\)"}},  // backslashes literal
      {R"(p "C:\a b\\")", {"p", R"(C:\a b\)"}},                              // 2n before a quote
      {R"(p a\"b)", {"p", R"(a"b)"}},                                        // 2n+1: literal quote
      {R"(p "say ""hi""")", {"p", R"(say "hi")"}},                           // "" inside quotes
      {R"(p a"b c"d)", {"p", "ab cd"}},
      {R"(p "open to the end)", {"p", "open to the end"}},
      {R"(pro"g a" b)", {"prog a", "b"}},  // the program name has no escapes, quotes only group
      {"   ", {}},
  };
  for (const Row& row : rows) EXPECT_EQ(splitCommandLine(row.line), row.args) << row.line;
}

TEST(WindowsCommandLineTest, QuotedArgumentsSplitBackUnchanged) {
  const char* arguments[] = {"",         "a b",      R"(C:\Program Files\)", R"(say "hi")",
                             R"(a\\"b)", "tab\there"};
  for (const char* argument : arguments) {
    Args args = splitCommandLine("prog " + quoteArgument(argument));
    ASSERT_EQ(args.size(), 2u) << argument;
    EXPECT_EQ(args[1], argument);
  }
  EXPECT_EQ(quoteArgument("plain"), "plain");
}

}  // namespace

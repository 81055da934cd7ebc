// Tests of NStrtok and NStringArray: separator strings, empty fields, field limits and the
// end-of-list text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/NStringArray.h"
#include "platform/NStrtok.h"

namespace {

std::vector<std::string> fieldsOf(const NStringArray& array) {
  std::vector<std::string> out;
  for (int i = 0; i < array.getCount(); ++i) out.emplace_back(array.getAt(i).text());
  return out;
}

using Fields = std::vector<std::string>;

TEST(NStrtokTest, SplitKeepsEmptyFields) {
  struct Row {
    const char* text;
    const char* separator;
    Fields expected;
  };
  const Row rows[] = {
      {"A|$B|$", "|$", {"A", "B", ""}},
      {"x|y", "|@", {"x|y"}},
      {"a|@|@b", "|@", {"a", "", "b"}},
      {"", "|@", {""}},
      {"|@", "|@", {"", ""}},
      {"a|@@b", "|@", {"a", "@b"}},
      {"|||", "||", {"", "|"}},  // found left to right without overlap
      {"one", "", {"one"}},      // an empty separator is never found
      {"k|#S|#v|$k2|#I|#1", "|$", {"k|#S|#v", "k2|#I|#1"}},
  };
  NStrtok tok;
  for (const Row& r : rows) {
    EXPECT_EQ(fieldsOf(tok.split(r.text, r.separator)), r.expected) << r.text;
  }
}

TEST(NStrtokTest, NullArgumentsKeepThePreviousFields) {
  NStrtok tok;
  tok.split("a|b", "|");
  EXPECT_EQ(fieldsOf(tok.split(nullptr, "|")), (Fields{"a", "b"}));
  EXPECT_EQ(fieldsOf(tok.split("c", nullptr)), (Fields{"a", "b"}));
  EXPECT_EQ(fieldsOf(tok.split(nullptr, 10, "|", 1)), (Fields{"a", "b"}));
  // A new split replaces the fields.
  EXPECT_EQ(fieldsOf(tok.split("c", "|")), (Fields{"c"}));
  EXPECT_EQ(&tok.split("d", "|"), &tok.fields());
}

TEST(NStrtokTest, TwoArgumentSplitCutsLongFields) {
  std::string longField(5000, 'x');
  std::string exact(4095, 'y');
  std::string text = longField + "|@" + exact + "|@z";
  NStrtok tok;
  Fields fields = fieldsOf(tok.split(text.c_str(), "|@"));
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0], std::string(4095, 'x'));
  EXPECT_EQ(fields[1], exact);
  EXPECT_EQ(fields[2], "z");

  // The four-argument form sizes its buffer from the text and keeps the whole field.
  fields = fieldsOf(tok.split(text.c_str(), 16, "|@", 0));
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0], longField);
}

TEST(NStrtokTest, FourArgumentSplitClamp) {
  const size_t limit = NStrtok::kMaxFieldBufferSize;
  std::string huge(limit + 10, 'h');
  std::string text = "a|$" + huge + "|$b";
  NStrtok tok;
  tok.split("keep", "|$");
  // Without clamp a text over the limit leaves the array as it was.
  EXPECT_EQ(fieldsOf(tok.split(text.c_str(), 0, "|$", 0)), (Fields{"keep"}));
  // A field limit over the maximum is refused the same way, even for a short text.
  EXPECT_EQ(fieldsOf(tok.split("x|$y", static_cast<int>(limit) + 1, "|$", 0)), (Fields{"keep"}));

  Fields fields = fieldsOf(tok.split(text.c_str(), 0, "|$", 1));
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0], "a");
  EXPECT_EQ(fields[1].size(), limit - 1);
  EXPECT_EQ(fields[2], "b");

  // A text that just fits (length + 1 == limit) is split without clamp.
  std::string fits(limit - 1, 'f');
  fields = fieldsOf(tok.split(fits.c_str(), 0, "|$", 0));
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].size(), limit - 1);
  EXPECT_EQ(fieldsOf(tok.split("x|$y", -5, "|$", 0)), (Fields{"x", "y"}));
}

TEST(NStringArrayTest, EntriesAndEndOfList) {
  NStringArray array;
  EXPECT_EQ(array.add("zero"), 0);
  EXPECT_EQ(array.add(nullptr), 1);
  EXPECT_EQ(array.add(NString("two")), 2);
  EXPECT_EQ(array.getCount(), 3);

  NString out;
  EXPECT_EQ(array.getAt(out, 2), 1);
  EXPECT_STREQ(out.text(), "two");
  EXPECT_EQ(array.getAt(out, 1), 1);
  EXPECT_STREQ(out.text(), "");

  // Past the end: the end-of-list text in code page 949, not an empty string.
  const char* endText =
      "\xB8\xAE\xBD\xBA\xC6\xAE\xC0\xC7 \xB3\xA1\xC0\xD4\xB4\xCF\xB4\xD9. "
      "\xC2\xFC\xC1\xB6\xC7\xD2 \xB5\xA5\xC0\xCC\xC5\xCD\xB0\xA1 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";
  EXPECT_EQ(array.getAt(out, 3), 0);
  EXPECT_STREQ(out.text(), endText);
  EXPECT_EQ(out.length(), 44);
  EXPECT_STREQ(array.getAt(-1).text(), endText);
}

TEST(NStringArrayTest, RemoveRange) {
  struct Row {
    int first;
    int count;
    Fields expected;
  };
  const Row rows[] = {
      {1, 2, {"0", "3", "4"}},
      {-2, 3, {"1", "2", "3", "4"}},
      {5, 1, {"0", "1", "2", "3", "4"}},
      {1, 0x7FFFFFFF, {"0"}},
  };
  for (const Row& r : rows) {
    NStringArray array;
    for (const char* t : {"0", "1", "2", "3", "4"}) array.add(t);
    array.removeRange(r.first, r.count);
    EXPECT_EQ(fieldsOf(array), r.expected) << r.first << "," << r.count;
  }
  NStringArray array;
  array.add("x");
  array.clear();
  EXPECT_EQ(array.add("y"), 0);
}

}  // namespace

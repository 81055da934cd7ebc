// Tests of NString: the edge behaviour every parser of the module relies on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/NString.h"

namespace {

TEST(NStringTest, BuffersAndByteAccess) {
  EXPECT_EQ(NString().capacity(), 64u);
  EXPECT_EQ(NString("").capacity(), 64u);
  NString s("abc");
  s = static_cast<const char*>(nullptr);  // a null text changes nothing
  EXPECT_STREQ(s.text(), "abc");
  s = "hello";
  EXPECT_EQ(s.capacity(), 6u);  // exactly length + 1
  s = s.text() + 1;             // a text inside the string itself
  EXPECT_STREQ(s.text(), "ello");

  EXPECT_EQ(s.getAt(4), 0);
  EXPECT_EQ(static_cast<unsigned char>(s.getAt(5)), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(s.getAt(-1)), 0xFF);
  s.setAt(9, 'z');
  s.setAt(4, '!');  // over the terminator: the text grows by one and stays terminated
  EXPECT_STREQ(s.text(), "ello!");
  s.allocate(10);
  EXPECT_TRUE(s.isEmpty());
  EXPECT_EQ(s.capacity(), 11u);
  std::memset(s.buffer(), 'x', s.capacity());  // no terminator: length stays inside the buffer
  EXPECT_EQ(s.length(), 11);
}

TEST(NStringTest, CompareCaseAndTrim) {
  NString s("abc");
  EXPECT_EQ(s.compare("abd"), -1);
  EXPECT_EQ(s.compare("ab"), 1);
  EXPECT_EQ(s.compare("ab\xC0"), -1);  // bytes compare unsigned
  EXPECT_EQ(s.compare(nullptr), 1);
  EXPECT_TRUE(NString("Setup.EXE").equalsNoCase("setup.exe"));
  EXPECT_TRUE(NString("Setup.EXE").differsNoCase("setup.ex"));

  NString mixed("aZ\xC0-09");
  mixed.makeUpper();
  EXPECT_STREQ(mixed.text(), "AZ\xC0-09");
  mixed.makeLower();
  EXPECT_STREQ(mixed.text(), "az\xC0-09");

  NString t(" \t\nvalue \r\n\t ");
  t.trimLeft();
  t.trimRight();
  EXPECT_STREQ(t.text(), "value \r");  // a carriage return is not trimmed
  NString blank(" \t\n ");
  blank.trimLeft();
  EXPECT_TRUE(blank.isEmpty());
}

TEST(NStringTest, Find) {
  const struct {
    const char* hay;
    const char* needle;
    int from;
    int expected;
  } rows[] = {
      {"a|@b|@c", "|@", 0, 1}, {"a|@b|@c", "|@", 2, 4}, {"a|@b|@c", "|@", 5, -1},
      {"abc", "", 1, 1},       {"", "", 0, -1},          {"abc", "c", 3, -1},
      {"abc", "a", -5, 0},     {"abc", nullptr, 0, -1},  {"abc", "abcd", 0, -1},
  };
  for (const auto& r : rows) EXPECT_EQ(NString(r.hay).find(r.needle, r.from), r.expected) << r.hay;
  NString s("abcabc");
  EXPECT_EQ(s.findChar('c', 3), 5);
  EXPECT_EQ(s.findChar('c', 6), -1);
  EXPECT_EQ(s.findChar(0), -1);
}

TEST(NStringTest, Format) {
  NString s;
  EXPECT_EQ(s.format("%4.4d%2.2d", 2024, 7), 6);
  EXPECT_STREQ(s.text(), "202407");
  EXPECT_EQ(s.capacity(), 64u);  // fits: no reallocation
  std::string big(300, 'x');
  EXPECT_EQ(s.format("[%s]", big.c_str()), 302);
  EXPECT_EQ(s.capacity(), 303u);
  NString self("abc");
  self.format("%s-%s", self.text(), self.text());  // arguments inside the string itself
  EXPECT_STREQ(self.text(), "abc-abc");
}

TEST(NStringTest, EditOperations) {
  NString s("a.b.c");
  EXPECT_EQ(s.replaceChar('.', '\\'), 2);
  EXPECT_STREQ(s.text(), "a\\b\\c");

  NString r("0123456789");
  r.remove(2, 3);
  r.remove(4, 100);  // past the end: cut at the index
  r.remove(10, 1);
  r.remove(-1, 1);
  EXPECT_STREQ(r.text(), "0156");

  NString a("ab");
  a += nullptr;
  a += a;
  EXPECT_STREQ(a.text(), "abab");
  EXPECT_STREQ((a + static_cast<const char*>(nullptr)).text(), "abab");
  EXPECT_STREQ((a + NString("d")).text(), "ababd");

  NString i("held");
  EXPECT_EQ(i.insert(0, ">"), 5);
  EXPECT_EQ(i.insert(99, "<"), 6);
  EXPECT_EQ(i.insert(3, ""), 6);
  EXPECT_EQ(i.insert(3, i.text()), 12);
  EXPECT_STREQ(i.text(), ">he>held<ld<");
}

TEST(NStringTest, Substrings) {
  NString s("abcde");
  const struct {
    NString got;
    const char* expected;
  } rows[] = {
      {s.left(2), "ab"},       {s.left(9), "abcde"},  {s.left(-1), ""},         {s.right(2), "de"},
      {s.right(9), "abcde"},   {s.mid(2, 3), "cde"},  {s.mid(2, 10), ""},       {s.mid(2, -1), ""},
      {s.mid(-1, 2), ""},      {s.mid(3), "de"},      {s.mid(6), ""},
      {s.mid(0x7FFFFFFF, 0x7FFFFFFF), ""},
  };
  for (const auto& r : rows) EXPECT_STREQ(r.got.text(), r.expected);
}

TEST(NStringTest, Replace) {
  const struct {
    const char* text;
    const char* from;
    const char* to;
    int count;
    const char* expected;
  } rows[] = {
      {"a\\nb\\n", "\\n", "\r\n", 2, "a\r\nb\r\n"},
      {"aaa", "a", "aa", 3, "aaaaaa"},  // inserted text is not scanned again
      {"aaaa", "aa", "b", 2, "bb"},
      {"abc", "", "x", 0, "abc"},
      {"abc", "b", nullptr, 1, "ac"},
      {"", "a", "b", 0, ""},
  };
  for (const auto& r : rows) {
    NString s(r.text);
    EXPECT_EQ(s.replace(r.from, r.to), r.count) << r.text;
    EXPECT_STREQ(s.text(), r.expected) << r.text;
  }
}

}  // namespace

// Tests of NString: the edge behaviour every parser of the module relies on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/NString.h"

namespace {

TEST(NStringTest, ConstructionAndAssignment) {
  NString empty;
  EXPECT_TRUE(empty.isEmpty());
  EXPECT_EQ(empty.capacity(), 64u);
  EXPECT_STREQ(NString(nullptr).text(), "");
  EXPECT_EQ(NString("").capacity(), 64u);

  NString s("abc");
  s = static_cast<const char*>(nullptr);  // a null text changes nothing
  EXPECT_STREQ(s.text(), "abc");
  s = "hello";
  EXPECT_EQ(s.capacity(), 6u);  // exactly length + 1
  s = s.text() + 1;             // a text inside the string itself
  EXPECT_STREQ(s.text(), "ello");

  NString moved(std::move(s));
  EXPECT_STREQ(moved.text(), "ello");
  EXPECT_STREQ(s.text(), "");  // NOLINT: a moved-from string still reads as empty
  EXPECT_EQ(s.length(), 0);
  s += "x";
  EXPECT_STREQ(s.text(), "x");
}

TEST(NStringTest, ByteAccess) {
  NString s("abcde");
  EXPECT_EQ(s.getAt(0), 'a');
  EXPECT_EQ(s.getAt(5), 0);
  EXPECT_EQ(static_cast<unsigned char>(s.getAt(6)), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(s.getAt(-1)), 0xFF);
  s.setAt(9, 'z');
  EXPECT_STREQ(s.text(), "abcde");
  s.setAt(5, 'f');  // over the terminator: the string grows by one and stays terminated
  EXPECT_STREQ(s.text(), "abcdef");
  s.setAt(2, 0);
  EXPECT_EQ(s.length(), 2);

  s.allocate(10);
  EXPECT_TRUE(s.isEmpty());
  EXPECT_EQ(s.capacity(), 11u);
  std::strcpy(s.buffer(), "0123456789");
  EXPECT_EQ(s.length(), 10);
}

TEST(NStringTest, CompareAndCase) {
  NString s("abc");
  EXPECT_EQ(s.compare("abc"), 0);
  EXPECT_EQ(s.compare("abd"), -1);
  EXPECT_EQ(s.compare("ab"), 1);
  EXPECT_EQ(s.compare("ab\xC0"), -1);  // bytes compare unsigned
  EXPECT_EQ(s.compare(nullptr), 1);

  NString mixed("aZ\xC0-09");
  mixed.makeUpper();
  EXPECT_STREQ(mixed.text(), "AZ\xC0-09");
  mixed.makeLower();
  EXPECT_STREQ(mixed.text(), "az\xC0-09");
}

TEST(NStringTest, CompareNoCase) {
  NString s("Setup.EXE");
  EXPECT_EQ(s.compareNoCase("setup.exe"), 0);
  EXPECT_TRUE(s.equalsNoCase("SETUP.exe"));
  EXPECT_TRUE(s.equalsNoCase(NString("setup.EXE")));
  EXPECT_TRUE(s.differsNoCase("setup.ex"));
  EXPECT_FALSE(s.differsNoCase("SETUP.EXE"));
}

TEST(NStringTest, Trim) {
  NString s(" \t\nvalue \r\n\t ");
  s.trimLeft();
  EXPECT_STREQ(s.text(), "value \r\n\t ");
  s.trimRight();
  EXPECT_STREQ(s.text(), "value \r");  // a carriage return is not trimmed
  NString blank(" \t\n ");
  blank.trimRight();
  EXPECT_TRUE(blank.isEmpty());
  NString blank2(" \t\n ");
  blank2.trimLeft();
  EXPECT_TRUE(blank2.isEmpty());
}

TEST(NStringTest, Find) {
  struct Row {
    const char* hay;
    const char* needle;
    int from;
    int expected;
  };
  const Row rows[] = {
      {"a|@b|@c", "|@", 0, 1}, {"a|@b|@c", "|@", 2, 4}, {"a|@b|@c", "|@", 5, -1},
      {"abc", "", 1, 1},       {"", "", 0, -1},          {"abc", "c", 3, -1},
      {"abc", "a", -5, 0},     {"abc", nullptr, 0, -1},  {"abc", "abcd", 0, -1},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(NString(r.hay).find(r.needle, r.from), r.expected) << r.hay << " / " << (r.needle ? r.needle : "null");
  }
  NString s("abcabc");
  EXPECT_EQ(s.findChar('c'), 2);
  EXPECT_EQ(s.findChar('c', 3), 5);
  EXPECT_EQ(s.findChar('c', 6), -1);
  EXPECT_EQ(s.findChar('x'), -1);
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
  EXPECT_EQ(s.length(), 302);
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
  EXPECT_STREQ(r.text(), "0156789");
  r.remove(4, 100);
  EXPECT_STREQ(r.text(), "0156");
  r.remove(10, 1);
  r.remove(-1, 1);
  EXPECT_STREQ(r.text(), "0156");

  NString a("ab");
  a += nullptr;
  a += "";
  a += a;
  EXPECT_STREQ(a.text(), "abab");
  EXPECT_STREQ((a + "c").text(), "ababc");
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
  EXPECT_STREQ(s.left(2).text(), "ab");
  EXPECT_STREQ(s.left(9).text(), "abcde");
  EXPECT_STREQ(s.left(-1).text(), "");
  EXPECT_STREQ(s.right(2).text(), "de");
  EXPECT_STREQ(s.right(9).text(), "abcde");
  EXPECT_STREQ(s.mid(1, 3).text(), "bcd");
  EXPECT_STREQ(s.mid(2, 3).text(), "cde");
  EXPECT_STREQ(s.mid(2, 10).text(), "");  // no clamping
  EXPECT_STREQ(s.mid(2, -1).text(), "");
  EXPECT_STREQ(s.mid(-1, 2).text(), "");
  EXPECT_STREQ(s.mid(0x7FFFFFFF, 0x7FFFFFFF).text(), "");
  EXPECT_STREQ(s.mid(3).text(), "de");
  EXPECT_STREQ(s.mid(5).text(), "");
  EXPECT_STREQ(s.mid(6).text(), "");
}

TEST(NStringTest, Replace) {
  struct Row {
    const char* text;
    const char* from;
    const char* to;
    int count;
    const char* expected;
  };
  const Row rows[] = {
      {"a\\nb\\n", "\\n", "\r\n", 2, "a\r\nb\r\n"},
      {"aaa", "a", "aa", 3, "aaaaaa"},  // inserted text is not scanned again
      {"aaaa", "aa", "b", 2, "bb"},
      {"abc", "", "x", 0, "abc"},
      {"abc", "b", nullptr, 1, "ac"},
      {"abc", "x", "y", 0, "abc"},
      {"", "a", "b", 0, ""},
  };
  for (const Row& r : rows) {
    NString s(r.text);
    EXPECT_EQ(s.replace(r.from, r.to), r.count) << r.text;
    EXPECT_STREQ(s.text(), r.expected) << r.text;
  }
}

}  // namespace

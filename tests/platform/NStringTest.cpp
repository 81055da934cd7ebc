// The module's texts and lists: NString's edge behaviour that every parser relies on, NStrtok
// and NStringArray (separator strings, empty fields, field limits, the end-of-list text), and
// NFileData and NFileMap (bounded fields, first record wins, byte order of names).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/NFileMap.h"
#include "platform/NString.h"
#include "platform/NStringArray.h"
#include "platform/NStrtok.h"

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

TEST(NFileRecordsTest, FileDataFieldsAreBounded) {
  std::string longDigest(50, 'D');
  NFileData data("dir\\file.txt", 1234, 'F', longDigest.c_str(), 3);
  EXPECT_STREQ(data.name().text(), "dir\\file.txt");
  EXPECT_EQ(data.size(), 1234u);
  EXPECT_EQ(data.type(), 'F');
  EXPECT_EQ(std::string(data.digest()), std::string(40, 'D'));
  EXPECT_EQ(data.partCount(), 3u);
  EXPECT_STREQ(data.state(), "A");
  EXPECT_EQ(data.parts().getCount(), 0);

  data.setState("NCX");
  EXPECT_STREQ(data.state(), "NC");
  data.setState(nullptr);
  EXPECT_STREQ(data.state(), "NC");
  data.setState("");
  EXPECT_STREQ(data.state(), "");

  EXPECT_EQ(data.addPart("P0"), 0);
  EXPECT_EQ(data.addPart("P1"), 1);
  EXPECT_STREQ(data.parts().getAt(1).text(), "P1");

  NFileData nulls(nullptr, 0, 'D', nullptr, 0, nullptr);
  EXPECT_STREQ(nulls.name().text(), "");
  EXPECT_STREQ(nulls.digest(), "");
  EXPECT_STREQ(nulls.state(), "A");
}

TEST(NFileRecordsTest, MapKeepsFirstRecordAndOrdersByBytes) {
  NFileMap map;
  NFileData* first = map.add("b", 1, 'F', "D1", 1);
  ASSERT_NE(first, nullptr);
  first->addPart("part");
  EXPECT_EQ(map.add("b", 2, 'D', "D2", 5, "C"), first);
  EXPECT_EQ(first->size(), 1u);
  EXPECT_EQ(first->type(), 'F');
  EXPECT_STREQ(first->digest(), "D1");
  EXPECT_STREQ(first->state(), "A");
  EXPECT_EQ(first->parts().getCount(), 1);

  map.add("A", 0, 'F', "", 0);
  map.add("a", 0, 'F', "", 0, "D");
  map.add("\xC0", 0, 'F', "", 0);  // high bytes sort after ASCII
  map.add("a\\b", 0, 'F', "", 0);
  EXPECT_EQ(map.add(nullptr, 0, 'F', "", 0), nullptr);
  EXPECT_EQ(map.getCount(), 5);

  std::vector<std::string> names;
  for (const auto& [name, record] : map) {
    EXPECT_EQ(name, record->name().text());
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"A", "a", "a\\b", "b", "\xC0"}));

  ASSERT_NE(map.find("a"), nullptr);
  EXPECT_STREQ(map.find("a")->state(), "D");
  EXPECT_EQ(map.find("B"), nullptr);  // names are case-sensitive
  EXPECT_EQ(map.find(nullptr), nullptr);
  map.clear();
  EXPECT_EQ(map.getCount(), 0);
  EXPECT_EQ(map.find("b"), nullptr);
}

}  // namespace

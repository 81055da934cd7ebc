// The module's texts and lists: NString's edge behaviour that every parser relies on, NStrtok
// and NStringArray (separator strings, empty fields, field limits, the end-of-list text), and
// NFileMap (first record wins, byte order of names).
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
  NString s("abc");
  s = static_cast<const char*>(nullptr);  // a null text changes nothing
  EXPECT_STREQ(s.text(), "abc");
  s = "hello";
  s = s.text() + 1;  // a text inside the string itself
  EXPECT_STREQ(s.text(), "ello");

  EXPECT_EQ(s.getAt(4), 0);
  EXPECT_EQ(static_cast<unsigned char>(s.getAt(5)), 0xFF);
  s.setAt(9, 'z');  // past the end: ignored
  s.setAt(4, '!');  // over the terminator: the text grows by one and stays terminated
  EXPECT_STREQ(s.text(), "ello!");
  s.allocate(10);
  std::memset(s.buffer(), 'x', s.capacity());  // no terminator: length stays inside the buffer
  EXPECT_EQ(s.length(), 11);
}

TEST(NStringTest, CompareFindAndTrim) {
  EXPECT_EQ(NString("abc").compare("ab\xC0"), -1);  // bytes compare unsigned
  EXPECT_EQ(NString("abc").compare(nullptr), 1);
  EXPECT_TRUE(NString("Setup.EXE").equalsNoCase("setup.exe"));

  NString t(" \t\nvalue \r\n\t ");
  t.trimLeft();
  t.trimRight();
  EXPECT_STREQ(t.text(), "value \r");  // a carriage return is not trimmed

  EXPECT_EQ(NString("a|@b|@c").find("|@", 2), 4);
  EXPECT_EQ(NString("abc").find("c", 3), -1);
  EXPECT_EQ(NString("abc").find("a", -5), 0);
  EXPECT_EQ(NString("abc").find(nullptr, 0), -1);
}

TEST(NStringTest, EditsTakeTextsFromTheStringItself) {
  NString self("abc");
  self.format("%s-%s", self.text(), self.text());
  EXPECT_STREQ(self.text(), "abc-abc");
  std::string big(300, 'x');
  EXPECT_EQ(self.format("[%s]", big.c_str()), 302);

  NString a("ab");
  a += a;
  EXPECT_STREQ(a.text(), "abab");
  NString i("held");
  EXPECT_EQ(i.insert(99, "<"), 5);  // past the end: appended
  EXPECT_EQ(i.insert(1, i.text()), 10);
  EXPECT_STREQ(i.text(), "hheld<eld<");

  NString r("0123456789");
  r.remove(2, 3);
  r.remove(4, 100);  // past the end: cut at the index
  r.remove(-1, 1);
  EXPECT_STREQ(r.text(), "0156");

  NString s("abcde");
  EXPECT_STREQ(s.left(9).text(), "abcde");
  EXPECT_STREQ(s.mid(2, 10).text(), "");
  EXPECT_STREQ(s.mid(-1, 2).text(), "");
  EXPECT_STREQ(s.mid(0x7FFFFFFF, 0x7FFFFFFF).text(), "");  // no overflow
  EXPECT_STREQ(s.right(2).text(), "de");

  NString rep("aaa");
  EXPECT_EQ(rep.replace("a", "aa"), 3);  // inserted text is not scanned again
  EXPECT_STREQ(rep.text(), "aaaaaa");
  EXPECT_EQ(rep.replace("", "x"), 0);
}

std::vector<std::string> fieldsOf(const NStringArray& array) {
  std::vector<std::string> out;
  for (int i = 0; i < array.getCount(); ++i) out.emplace_back(array.getAt(i).text());
  return out;
}

using Fields = std::vector<std::string>;

TEST(NStrtokTest, SplitKeepsEmptyFieldsAndCutsLongOnes) {
  NStrtok tok;
  EXPECT_EQ(fieldsOf(tok.split("A|$B|$", "|$")), (Fields{"A", "B", ""}));
  EXPECT_EQ(fieldsOf(tok.split("|||", "||")), (Fields{"", "|"}));  // left to right, no overlap
  EXPECT_EQ(fieldsOf(tok.split("one", "")), (Fields{"one"}));  // an empty separator is never found
  EXPECT_EQ(fieldsOf(tok.split(nullptr, "|")), (Fields{"one"}));  // null: the previous fields
  EXPECT_EQ(fieldsOf(tok.split("c", nullptr)), (Fields{"one"}));

  std::string longField(5000, 'x');
  std::string text = longField + "|@z";
  EXPECT_EQ(fieldsOf(tok.split(text.c_str(), "|@")), (Fields{std::string(4095, 'x'), "z"}));
  // The four-argument form sizes its buffer from the text and keeps the whole field.
  EXPECT_EQ(fieldsOf(tok.split(text.c_str(), 16, "|@", 0)), (Fields{longField, "z"}));
}

TEST(NStrtokTest, FourArgumentSplitClamp) {
  const size_t limit = NStrtok::kMaxFieldBufferSize;
  std::string text = "a|$" + std::string(limit + 10, 'h') + "|$b";
  NStrtok tok;
  tok.split("keep", "|$");
  // Without clamp a text over the limit leaves the array as it was.
  EXPECT_EQ(fieldsOf(tok.split(text.c_str(), 0, "|$", 0)), (Fields{"keep"}));
  Fields fields = fieldsOf(tok.split(text.c_str(), 0, "|$", 1));
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[1].size(), limit - 1);
  // A text that just fits (length + 1 == limit) is split without clamp.
  std::string fits(limit - 1, 'f');
  EXPECT_EQ(fieldsOf(tok.split(fits.c_str(), 0, "|$", 0)), (Fields{fits}));
}

TEST(NStringArrayTest, EndOfListTextAndRemoveRange) {
  NStringArray array;
  for (const char* t : {"0", "1", "2", "3", "4"}) array.add(t);
  NString out;
  // Past the end: the end-of-list text in code page 949, not an empty string.
  EXPECT_EQ(array.getAt(out, -1), 0);
  EXPECT_EQ(array.getAt(out, 5), 0);
  EXPECT_STREQ(out.text(),
               "\xB8\xAE\xBD\xBA\xC6\xAE\xC0\xC7 \xB3\xA1\xC0\xD4\xB4\xCF\xB4\xD9. "
               "\xC2\xFC\xC1\xB6\xC7\xD2 \xB5\xA5\xC0\xCC\xC5\xCD\xB0\xA1 "
               "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.");
  array.removeRange(-2, 3);
  EXPECT_EQ(fieldsOf(array), (Fields{"1", "2", "3", "4"}));
  array.removeRange(1, 0x7FFFFFFF);  // no overflow
  EXPECT_EQ(fieldsOf(array), (Fields{"1"}));
}

TEST(NFileRecordsTest, MapKeepsFirstRecordAndOrdersByBytes) {
  NFileMap map;
  NFileData* first = map.add("b", 1, 'F', "D1", 1);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(map.add("b", 2, 'D', "D2", 5, "C"), first);
  EXPECT_EQ(first->size(), 1u);
  EXPECT_STREQ(first->state(), "A");
  std::string longDigest(50, 'D');
  map.add("A", 0, 'F', longDigest.c_str(), 0);
  map.add("\xC0", 0, 'F', "", 0);  // high bytes sort after ASCII
  map.add("a", 0, 'F', "", 0);
  EXPECT_EQ(map.add(nullptr, 0, 'F', "", 0), nullptr);
  EXPECT_EQ(std::string(map.find("A")->digest()), std::string(40, 'D'));  // bounded
  std::vector<std::string> names;
  for (const auto& [name, record] : map) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"A", "a", "b", "\xC0"}));
  EXPECT_EQ(map.find("B"), nullptr);  // names are case-sensitive
}

}  // namespace

// Tests of NFileData and NFileMap: bounded fields, first record wins, byte order of names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/NFileMap.h"

namespace {

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

// The contents text's numbers: ids and counts read by the leading-digits conversion, never
// wrapped into the 32-bit range, so an id that does not fit cannot name another package.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "gendist/DistContent.h"
#include "platform/NMisc.h"

namespace {

// Contents with 18 fields: the id, the split count, the total size and the software id given.
std::string contentsWith(const std::string& id, const std::string& split = "1",
                         const std::string& size = "10", const std::string& swId = "5") {
  return id + "|$Name|$1.0|$C:\\Base|$descr|$N|$N|$setup.exe|$|$S|$|$" + split + "|$" + size +
         "|$N|$0123456789ABCDEF0123456789ABCDEF|$" + swId + "|$NDT|$platform";
}

TEST(DistContentTest, NumbersAreReadByLeadingDigitsAndNeverWrap) {
  struct Row {
    const char* text;
    int32_t id;
  } rows[] = {
      {" 42", 42},
      {"+42", 42},
      {"-7", -7},
      {"12abc", 12},
      {"abc", 0},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MAX},
      {"4294967497", INT32_MAX},  // 2^32 + 201 must not become package 201
      {"-2147483648", INT32_MIN},
      {"-4294967295", INT32_MIN},  // must not become package 1
  };
  for (const Row& row : rows) {
    EXPECT_EQ(NMisc::decimalToInt(row.text), row.id) << row.text;
    DistContent content{};
    ASSERT_EQ(parseDistContent(contentsWith(row.text).c_str(), content), 1) << row.text;
    EXPECT_EQ(content.m_nDistId, row.id) << row.text;
  }
  EXPECT_EQ(NMisc::decimalToInt(nullptr), 0);
}

TEST(DistContentTest, CountsAndTheSoftwareIdDoNotWrapEither) {
  struct Row {
    const char* split;
    const char* size;
    const char* swId;
    uint32_t wantSplit;
    uint32_t wantSize;
    int32_t wantSwId;
  } rows[] = {
      {"3", "2048", "17", 3, 2048, 17},
      {"4294967298", "4294967306", "4294967297", INT32_MAX, INT32_MAX, INT32_MAX},
      {"x", "", "-4294967297", 0, 0, -1},  // a software id of 0 or below is -1
      {"2", "7", "0", 2, 7, -1},
  };
  for (const Row& row : rows) {
    DistContent content{};
    ASSERT_EQ(parseDistContent(contentsWith("9", row.split, row.size, row.swId).c_str(), content), 1);
    EXPECT_EQ(content.m_nSplitCount, row.wantSplit) << row.split;
    EXPECT_EQ(content.m_nTotalSize, row.wantSize) << row.size;
    EXPECT_EQ(content.m_nSwId, row.wantSwId) << row.swId;
    EXPECT_EQ(content.m_nDistId, 9);
  }
}

}  // namespace

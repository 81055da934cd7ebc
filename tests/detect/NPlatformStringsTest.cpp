// Platform strings of machines of every family: the lists are written out by hand, in order.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "detect/NPlatformStrings.h"
#include "detect/NRegistry.h"
#include "support/TestMachine.h"

namespace {

using cvdt::test::TestMachine;
using Strings = std::vector<std::string>;

#ifndef _WIN32  // other families and languages: the Windows test machine is the system itself
struct MachineFacts {
  uint32_t platformId;
  uint32_t major;
  uint32_t minor;
  uint32_t build;
  uint16_t spMajor;
  uint16_t spMinor;
  uint16_t suiteMask;
  uint8_t productType;
  uint16_t language;
  bool is64Bit;
};

struct Case {
  const char* name;
  MachineFacts facts;
  const char* productOptions;  // "ProductType" value to write; null leaves machine init's
  Strings expected;
};

TestMachine::Customize withFacts(const MachineFacts& f) {
  return [f](plat::posix::MachineConfig& config, plat::posix::LayoutOptions&) {
    config.version.platformId = f.platformId;
    config.version.major = f.major;
    config.version.minor = f.minor;
    config.version.build = f.build;
    config.version.servicePackMajor = f.spMajor;
    config.version.servicePackMinor = f.spMinor;
    config.version.suiteMask = f.suiteMask;
    config.version.productType = f.productType;
    config.language = f.language;
    config.is64Bit = f.is64Bit;
  };
}

Strings toVector(const NStringArray& list) {
  Strings out;
  for (int i = 0; i < list.getCount(); ++i) out.push_back(list.getAt(i).text());
  return out;
}

// A machine's list: the all-empty string, the major version's, then the full version's
// prefix with each tail.
Strings list(const std::string& major, const std::string& full,
             std::initializer_list<const char*> tails) {
  Strings out = {".........", major};
  for (const char* tail : tails) out.push_back(full + tail);
  return out;
}

std::vector<Case> cases() {
  return {
      // Server with the datacenter and terminal bits (table order: terminal first), SP 1.2.
      {"ServerTwoSuites",
       {2, 6, 1, 7601, 1, 2, 0x0090, 3, 0x0409, true},
       nullptr,
       list("ver_platform_win32_nt.6..x64......", "ver_platform_win32_nt.6.1.x64",
            {"......", "....7601..", ".en...7601..", "....7601.1.2", ".en...7601.1.2",
             "..ver_nt_server..7601..", ".en.ver_nt_server..7601..", "..ver_nt_server..7601.1.2",
             ".en.ver_nt_server..7601.1.2", "..ver_nt_server.n.7601..",
             ".en.ver_nt_server.n.7601..", "..ver_nt_server.n.7601.1.2",
             ".en.ver_nt_server.n.7601.1.2", "..ver_nt_server.ver_suite_terminal.7601.1.2",
             ".en.ver_nt_server.ver_suite_terminal.7601.1.2",
             "..ver_nt_server.ver_suite_datacenter.7601.1.2",
             ".en.ver_nt_server.ver_suite_datacenter.7601.1.2"})},
      // An unknown product type: no product-type entries, suites ignored.
      {"UnknownProductType",
       {2, 5, 0, 2195, 4, 0, 0x0100, 0, 0x0411, false},
       nullptr,
       list("ver_platform_win32_nt.5..x86......", "ver_platform_win32_nt.5.0.x86",
            {"......", "....2195..", ".ja...2195..", "....2195.4.0", ".ja...2195.4.0"})},
      // Windows Me: the build is the low word of what the system reports.
      {"WindowsMe",
       {1, 4, 90, 0x045A0BB8, 0, 0, 0, 0, 0x0411, false},
       nullptr,
       list("ver_platform_win32_windows.4..x86......", "ver_platform_win32_windows.4.90.x86",
            {"......", "....3000..", ".ja...3000.."})},
      {"Windows98",
       {1, 4, 10, 0x040A07CE, 0, 0, 0, 0, 0x0412, false},
       nullptr,
       list("ver_platform_win32_windows.4..x86......", "ver_platform_win32_windows.4.10.x86",
            {"......", ".ko....."})},
      // The registry decides on NT 4, not the product type byte.
      {"Nt4LanmanNt",
       {2, 4, 0, 1381, 6, 0, 0, 3, 0x0409, false},
       "lanmannt",
       list("ver_platform_win32_nt.4..x86......", "ver_platform_win32_nt.4.0.x86",
            {"......", ".en.....", "..ver_nt_workstation....", ".en.ver_nt_workstation...."})},
      {"Win32s", {0, 3, 10, 0, 0, 0, 0, 0, 0x0409, false}, nullptr, {}},
  };
}

TEST(NPlatformStringsTest, ListsOfEveryFamilyInOrder) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    TestMachine machine(withFacts(c.facts));
    if (c.productOptions != nullptr) {
      NRegistry key;
      ASSERT_TRUE(key.open(plat::RegRoot::LocalMachine,
                           "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", false, false,
                           false));
      ASSERT_TRUE(key.writeText("ProductType", c.productOptions));
    }
    NStringArray list;
    buildPlatformStrings(list);
    EXPECT_EQ(toVector(list), c.expected);

    // The other form leaves the list as it was and says so.
    NStringArray other;
    other.add("kept");
    bool otherFilled =
        c.facts.is64Bit ? buildPlatformStringsX86(other) : buildPlatformStringsX64(other);
    EXPECT_FALSE(otherFilled);
    EXPECT_EQ(toVector(other), Strings{"kept"});
    // The matching form empties a used list first.
    NStringArray reused;
    reused.add("old");
    bool filled =
        c.facts.is64Bit ? buildPlatformStringsX64(reused) : buildPlatformStringsX86(reused);
    EXPECT_TRUE(filled);
    EXPECT_EQ(toVector(reused), c.expected);
  }
}

TEST(NPlatformStringsTest, LanguageCodes) {
  const std::pair<uint16_t, const char*> rows[] = {
      {0x0804, ""}, {0x1404, "en"}, {0x0411, "ja"}, {0x0812, "ko"}, {0, "en"}};
  for (const auto& [language, code] : rows) {
    SCOPED_TRACE(language);
    TestMachine machine(
        [language = language](plat::posix::MachineConfig& config, plat::posix::LayoutOptions&) {
          config.language = language;
        });
    EXPECT_STREQ(getSystemLanguageCode().text(), code);
  }
}

#endif

TEST(NPlatformStringsTest, ServerNtFromProductOptions) {
  TestMachine machine;
  NRegistry key;
  ASSERT_TRUE(key.open(plat::RegRoot::LocalMachine,
                       "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", false, false, false));
  const std::pair<const char*, bool> rows[] = {
      {"servernt", true}, {"LanmanNT", false}, {"servernt ", false}};
  for (const auto& [value, server] : rows) {
    SCOPED_TRACE(value);
    ASSERT_TRUE(key.writeText("ProductType", value));
    EXPECT_EQ(isServerNt(), server);
  }
  ASSERT_TRUE(key.deleteValue("ProductType"));
  EXPECT_FALSE(isServerNt());
}

}  // namespace

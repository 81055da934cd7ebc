// `cvdt-host registry show` reads the roots as the module does: HKEY_CLASSES_ROOT merged from
// the machine's and the user's classes, HKEY_CURRENT_USER as the account's key under
// HKEY_USERS, and the keys both views share, in the 32-bit view and with --64.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/PlatformRegistry.h"
#include "support/CommandOutput.h"
#include "support/TestMachine.h"

using ::testing::HasSubstr;

namespace {

using namespace plat;

void setText(RegRoot root, const std::string& path, uint32_t view, const std::string& name,
             const std::string& text) {
  RegKey key;
  ASSERT_EQ(RegKey::create(root, path, kKeyAllAccess | view, key), 0u) << path;
  ASSERT_EQ(key.setValue(name, kRegSz, text.c_str(), text.size() + 1), 0u) << path;
}

std::string show(const std::string& key, bool view64) {
  return cvdt::test::commandOutput(std::string(CVDT_HOST_PATH) + " registry show '" + key + "'" +
                                   (view64 ? " --64" : ""));
}

TEST(CvdtHostRegistryTest, ShowsTheRootsAsTheModuleReadsThem) {
  cvdt::test::TestMachine machine;
  setText(RegRoot::LocalMachine, "SOFTWARE\\Classes\\.cvdt", kKeyWow64_64Key, "", "machine");
  setText(RegRoot::LocalMachine, "SOFTWARE\\Classes\\.cvdt", kKeyWow64_64Key, "Kind", "m");
  setText(RegRoot::CurrentUser, "Software\\Classes\\.cvdt", 0, "", "user");
  setText(RegRoot::CurrentUser, "Software\\Acme", 0, "Who", "the account");
  setText(RegRoot::LocalMachine, "SOFTWARE\\Policies\\Acme", kKeyWow64_32Key, "Rule", "shared");
  setText(RegRoot::LocalMachine, "SOFTWARE\\Acme", kKeyWow64_32Key, "Rule", "32 only");
  for (bool view64 : {false, true}) {
    SCOPED_TRACE(view64 ? "--64" : "32-bit view");
    EXPECT_EQ(show("HKCR\\.cvdt", view64), "@ = user\nKind = m\n");
    EXPECT_EQ(show("HKEY_CURRENT_USER\\Software\\Acme", view64), "Who = the account\n");
    EXPECT_EQ(show("HKLM\\SOFTWARE\\Policies\\Acme", view64), "Rule = shared\n");
  }
  if (geteuid() == 0) {
    EXPECT_EQ(show("HKU\\.DEFAULT\\Software\\Acme", false), "Who = the account\n");
  }
  EXPECT_EQ(show("HKLM\\SOFTWARE\\Acme", false), "Rule = 32 only\n");
  EXPECT_THAT(show("HKLM\\SOFTWARE\\Acme", true), HasSubstr("no key"));
}

}  // namespace

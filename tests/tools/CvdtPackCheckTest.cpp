// cvdt-pack check and unpack through cvlgz.dll: a good server root passes, damage is named,
// a repacked package replaces the old one, and unpacking restores the source tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "PackTestSupport.h"

using ::testing::HasSubstr;

namespace cvdt::test::pack {
namespace {

namespace fs = std::filesystem;

class CvdtPackCheckTest : public PackFolderTest {
 protected:
  void packBoth(const std::string& partSize) {
    ASSERT_EQ(runPack({"normal", "--id", "11", "--name", "N", "--src", m_src, "--out", m_out,
                       "--part-size", partSize}).status, 0);
    ASSERT_EQ(runPack({"auto", "--id", "22", "--name", "A", "--dest", "C:\\A", "--src", m_src,
                       "--out", m_out, "--subfolders", "--part-size", partSize}).status, 0);
  }
  std::string normalPart(int index) const {
    return m_out + "/Corvane/dist/normal/11/" + partName("11", index);
  }
  std::string autoPart(int index) const {
    return m_out + "/Corvane/dist/auto/22/zip/" + partName("setup.exe", index);
  }
};

void flipByte(const std::string& path, size_t at) {
  std::string bytes = readBytes(path);
  bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
  writeBytes(path, bytes);
}

TEST_F(CvdtPackCheckTest, GoodRootPassesAndEachKindOfDamageIsNamed) {
  makeSource();
  packBoth("2000");
  PackRun run = runPack({"check", m_out});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_THAT(run.out, HasSubstr("checked 2 packages, 6 files"));
  EXPECT_THAT(run.out, HasSubstr("all digests match"));
  run = runPack({"check", m_out, "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  nlohmann::json report = nlohmann::json::parse(run.out);
  ASSERT_EQ(report["packages"].size(), 2u);
  EXPECT_EQ(report["packages"][1]["files"], 6);

  struct Damage {
    std::string name;
    std::string path;
    bool remove;
    std::string reported;  // part of the problem line
  };
  const std::vector<Damage> damages = {
      {"normal part flipped", normalPart(1), false, "11/11.l00001: digest"},
      {"auto part missing", autoPart(0), true, "setup.exe.lgz: missing"},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    const std::string saved = readBytes(damage.path);
    if (damage.remove) {
      fs::remove(damage.path);
    } else {
      flipByte(damage.path, saved.size() / 2);
    }
    run = runPack({"check", m_out});
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_THAT(run.out, HasSubstr(damage.reported));
    EXPECT_THAT(run.out, HasSubstr("FAILED"));
    if (&damage == &damages.front()) {
      // The damaged package fails, the other stays ok.
      run = runPack({"check", m_out, "--json"});
      EXPECT_EQ(run.status, 1);
      report = nlohmann::json::parse(run.out);
      EXPECT_FALSE(report["packages"][0]["ok"]);
      EXPECT_TRUE(report["packages"][1]["ok"]);
    }
    writeBytes(damage.path, saved);
  }
  EXPECT_EQ(runPack({"check", m_out}).status, 0);
}

// An index whose own digest is fine but whose content is not an index, and an empty root.
TEST_F(CvdtPackCheckTest, UnreadableIndexAndEmptyRootFail) {
  PackRun run = runPack({"check", m_out});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.out, HasSubstr("no index archive"));

  writeBytes(m_src + "/f.txt", "x");
  ASSERT_EQ(runPack({"auto", "--id", "4", "--name", "A", "--dest", "C:\\A", "--src", m_src,
                     "--out", m_out}).status, 0);
  writeBytes(m_out + "/Corvane/dist/auto/4.idx.lgz", "not an archive");
  run = runPack({"check", m_out});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.out, HasSubstr("does not unpack"));
}

TEST_F(CvdtPackCheckTest, RepackingReplacesThePackageWhole) {
  makeSource();
  packBoth("500");
  const size_t manyParts = partsOf(m_out + "/Corvane/dist/normal/11", "11").size();
  fs::remove(m_src + "/setup.exe");
  packBoth("1G");
  EXPECT_GT(manyParts, 1u);
  EXPECT_EQ(partsOf(m_out + "/Corvane/dist/normal/11", "11").size(), 1u);
  EXPECT_FALSE(fs::exists(autoPart(0)));
  std::vector<std::string> leftovers;
  for (const auto& item : fs::recursive_directory_iterator(m_out)) {
    if (item.path().filename().string()[0] == '.') leftovers.push_back(item.path());
  }
  EXPECT_TRUE(leftovers.empty()) << leftovers.front();
  EXPECT_EQ(runPack({"check", m_out}).status, 0);
}

TEST_F(CvdtPackCheckTest, UnpackRestoresTheSourceThroughTheExtractionLibrary) {
  makeSource();
  packBoth("1000");
  const std::string into = m_folder + "/unpacked";
  PackRun run = runPack({"unpack", normalPart(0), into});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(folderTree(into), folderTree(m_src));

  // Without a destination an automatic part unpacks beside itself, as agents unpack it.
  run = runPack({"unpack", autoPart(0)});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readBytes(m_out + "/Corvane/dist/auto/22/zip/setup.exe"), readBytes(m_src + "/setup.exe"));

  run = runPack({"unpack", normalPart(0), into, "--companions", m_folder + "/nowhere"});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("cvlgz.dll"));

  // An archive the library refuses (a chain of links) says why and leaves the folder as it was.
  const std::string hostile = m_folder + "/hostile";
  fs::create_directories(hostile + "/d");
  writeBytes(hostile + "/setup.exe", "replaced");
  fs::create_symlink("..", hostile + "/d/l1");
  fs::create_symlink("l1/..", hostile + "/d/l2");
  const std::string archive = m_folder + "/hostile.lgz";
  ASSERT_EQ(std::system(("tar czf " + archive + " -C " + hostile + " setup.exe d").c_str()), 0);
  run = runPack({"unpack", archive, into});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, HasSubstr("refused link"));
  EXPECT_THAT(run.err, HasSubstr("nothing in the destination was changed"));
  EXPECT_EQ(folderTree(into), folderTree(m_src));
}

}  // namespace
}  // namespace cvdt::test::pack

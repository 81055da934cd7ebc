// Running cvdt-pack and reading its output independently of its own code.
#include "PackTestSupport.h"

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "support/Subprocess.h"
#include "support/TestMachine.h"

namespace cvdt::test::pack {

namespace fs = std::filesystem;
using cvdt::test::ProcessResult;
using cvdt::test::Subprocess;

namespace {

void appendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string PackRun::line(const std::string& key) const {
  for (const std::string& text : split(out, "\n")) {
    if (text.compare(0, key.size() + 1, key + "=") == 0) return text.substr(key.size() + 1);
  }
  return "<none>";
}

PackRun runPack(const std::vector<std::string>& args) {
  ProcessResult result = Subprocess(CVDT_PACK_PATH).run(args);
  return {result.exitStatus, result.out, result.err};
}

bool readArchive(const std::string& bytes, ArchiveTree& tree) {
  std::unique_ptr<struct archive, int (*)(struct archive*)> reader(archive_read_new(),
                                                                   &archive_read_free);
  archive_read_support_filter_gzip(reader.get());
  archive_read_support_format_tar(reader.get());
  if (archive_read_open_memory(reader.get(), bytes.data(), bytes.size()) != ARCHIVE_OK) {
    ADD_FAILURE() << archive_error_string(reader.get());
    return false;
  }
  struct archive_entry* entry = nullptr;
  int result;
  while ((result = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK) {
    std::string name = archive_entry_pathname(entry);
    ArchiveEntry& item = tree[name.back() == '/' ? name.substr(0, name.size() - 1) : name];
    item.folder = archive_entry_filetype(entry) == AE_IFDIR;
    char chunk[8192];
    la_ssize_t got;
    while ((got = archive_read_data(reader.get(), chunk, sizeof chunk)) > 0) item.data.append(chunk, got);
    if (got < 0) result = ARCHIVE_FATAL;
    if (result != ARCHIVE_OK) break;
  }
  if (result != ARCHIVE_EOF) {
    ADD_FAILURE() << archive_error_string(reader.get());
  }
  return result == ARCHIVE_EOF;
}

ArchiveTree folderTree(const std::string& folder) {
  ArchiveTree tree;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    ArchiveEntry& entry = tree[fs::relative(item.path(), folder).string()];
    entry.folder = item.is_directory();
    if (!entry.folder) entry.data = readBytes(item.path().string());
  }
  return tree;
}

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string noise(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (char& c : bytes) {
    state ^= state << 13, state ^= state >> 17, state ^= state << 5;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

std::string opensslMd5(const std::string& path) {
  ProcessResult result = Subprocess("openssl").run({"dgst", "-md5", "-r", path});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  const std::string& out = result.out;
  std::string digest = out.substr(0, out.find(' '));
  for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return digest;
}

std::string moduleDigestOf(const std::string& path) {
  return fs::file_size(path) == 0 ? std::string() : opensslMd5(path);
}

std::vector<std::vector<std::string>> indexLines(const std::string& bytes) {
  std::vector<std::vector<std::string>> lines;
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(bytes.size() % 2, 0u);
  std::string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    char32_t unit = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
      const char32_t low = static_cast<unsigned char>(bytes[i + 2]) | static_cast<unsigned char>(bytes[i + 3]) << 8;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    appendUtf8(unit, text);
  }
  EXPECT_TRUE(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0);
  std::vector<std::string> rows = split(text, "\r\n");
  rows.pop_back();  // after the last CR LF
  for (const std::string& row : rows) {
    EXPECT_EQ(row.find_first_of("\r\n"), std::string::npos) << row;
    lines.push_back(split(row, "|@"));
  }
  return lines;
}

std::vector<std::string> split(const std::string& text, const std::string& separator) {
  std::vector<std::string> fields;
  size_t start = 0, at;
  while ((at = text.find(separator, start)) != std::string::npos) {
    fields.push_back(text.substr(start, at - start));
    start = at + separator.size();
  }
  fields.push_back(text.substr(start));
  return fields;
}

std::string partName(const std::string& base, int index) {
  if (index == 0) return base + ".lgz";
  char number[8];
  std::snprintf(number, sizeof number, "%05d", index);
  return base + ".l" + number;
}

std::vector<std::string> partsOf(const std::string& folder, const std::string& base) {
  std::vector<std::string> parts;
  for (int i = 0; fs::exists(folder + "/" + partName(base, i)); ++i) {
    parts.push_back(folder + "/" + partName(base, i));
  }
  return parts;
}

std::string concatenate(const std::vector<std::string>& paths) {
  std::string bytes;
  for (const std::string& path : paths) bytes += readBytes(path);
  return bytes;
}

void PackFolderTest::SetUp() {
  m_folder = makeTempFolder("cvdt-pack");
  m_src = m_folder + "/src";
  m_out = m_folder + "/out";
  fs::create_directories(m_src);
  fs::create_directories(m_out);
}

void PackFolderTest::TearDown() { fs::remove_all(m_folder); }

void PackFolderTest::makeSource() {
  writeBytes(m_src + "/setup.exe", noise(6000, 1));
  writeBytes(m_src + "/bin/tool.dll", noise(3000, 2));
  writeBytes(m_src + "/sub/a b.txt", "hello\n");
  writeBytes(m_src + "/sub/deep/\xED\x8C\x8C\xEC\x9D\xBC \xED\x95\x9C.txt", "\xEC\x95\x88\xEB\x85\x95\n");
  writeBytes(m_src + "/empty.txt", "");
  writeBytes(m_src + "/setup.reg", "REGEDIT4\n");
  fs::create_directories(m_src + "/emptydir");
}

}  // namespace cvdt::test::pack

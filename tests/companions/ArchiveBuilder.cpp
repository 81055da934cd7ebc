// Test archives written with libarchive and cut into volumes.
#include "ArchiveBuilder.h"

#include <archive.h>
#include <archive_entry.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <random>

namespace cvdt::test {
namespace {

la_ssize_t appendTo(struct archive*, void* sink, const void* data, size_t size) {
  static_cast<std::string*>(sink)->append(static_cast<const char*>(data), size);
  return static_cast<la_ssize_t>(size);
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

std::string randomBytes(size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(generator() & 0xFF);
  return bytes;
}

ArchiveBuilder& ArchiveBuilder::file(const std::string& name, const std::string& content) {
  m_entries.push_back({Entry::File, name, content});
  return *this;
}

ArchiveBuilder& ArchiveBuilder::folder(const std::string& name) {
  m_entries.push_back({Entry::Folder, name, ""});
  return *this;
}

ArchiveBuilder& ArchiveBuilder::symlink(const std::string& name, const std::string& target) {
  m_entries.push_back({Entry::Symlink, name, target});
  return *this;
}

ArchiveBuilder& ArchiveBuilder::hardlink(const std::string& name, const std::string& target) {
  m_entries.push_back({Entry::Hardlink, name, target});
  return *this;
}

ArchiveBuilder& ArchiveBuilder::sparseFile(const std::string& name, uint64_t size,
                                           const std::string& content) {
  m_entries.push_back({Entry::Sparse, name, content, size});
  return *this;
}

std::string ArchiveBuilder::gzip(const std::string& bytes) {
  std::string out;
  std::unique_ptr<struct archive, int (*)(struct archive*)> writer(archive_write_new(),
                                                                    archive_write_free);
  archive_write_set_format_raw(writer.get());
  archive_write_add_filter_gzip(writer.get());
  archive_write_set_bytes_in_last_block(writer.get(), 1);
  archive_write_open(writer.get(), &out, nullptr, &appendTo, nullptr);
  std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(),
                                                                 archive_entry_free);
  archive_entry_set_filetype(entry.get(), AE_IFREG);
  archive_write_header(writer.get(), entry.get());
  archive_write_data(writer.get(), bytes.data(), bytes.size());
  archive_write_close(writer.get());
  return out;
}

std::string ArchiveBuilder::tarHeader(const std::string& name, uint64_t size) {
  std::string header(512, '\0');
  header.replace(0, name.size(), name);
  header.replace(100, 7, "0000644");
  header.replace(108, 7, "0000000");
  header.replace(116, 7, "0000000");
  header[124] = static_cast<char>(0x80);  // base-256 size, big-endian in the last 8 bytes
  for (int i = 0; i < 8; ++i) header[135 - i] = static_cast<char>((size >> (8 * i)) & 0xFF);
  header.replace(136, 11, "14500000000");
  header[156] = '0';
  header.replace(257, 8, std::string("ustar\0" "00", 8));
  header.replace(148, 8, "        ");
  unsigned sum = 0;
  for (char c : header) sum += static_cast<unsigned char>(c);
  char checksum[8];
  std::snprintf(checksum, sizeof checksum, "%06o", sum);
  header.replace(148, 7, std::string(checksum, 6) + '\0');
  return header;
}

std::string ArchiveBuilder::bytes() const {
  std::string out;
  std::unique_ptr<struct archive, int (*)(struct archive*)> writer(archive_write_new(),
                                                                    archive_write_free);
  archive_write_set_format_pax_restricted(writer.get());
  archive_write_add_filter_gzip(writer.get());
  // Unpadded, as cvdt-pack writes them: the gzip stream ends with the last byte.
  archive_write_set_bytes_in_last_block(writer.get(), 1);
  archive_write_open(writer.get(), &out, nullptr, &appendTo, nullptr);
  for (const Entry& item : m_entries) {
    std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(),
                                                                   archive_entry_free);
    archive_entry_copy_pathname(entry.get(), item.name.c_str());
    archive_entry_set_mtime(entry.get(), 1700000000, 0);
    archive_entry_set_perm(entry.get(), item.kind == Entry::Folder ? 0755 : 0644);
    archive_entry_set_filetype(entry.get(), item.kind == Entry::Folder    ? AE_IFDIR
                                            : item.kind == Entry::Symlink ? AE_IFLNK
                                                                          : AE_IFREG);
    if (item.kind == Entry::Symlink) archive_entry_copy_symlink(entry.get(), item.data.c_str());
    if (item.kind == Entry::Hardlink) archive_entry_copy_hardlink(entry.get(), item.data.c_str());
    if (item.kind == Entry::File) archive_entry_set_size(entry.get(), item.data.size());
    if (item.kind == Entry::Sparse) {
      archive_entry_set_size(entry.get(), static_cast<la_int64_t>(item.size));
      archive_entry_sparse_add_entry(entry.get(), static_cast<la_int64_t>(item.size - item.data.size()),
                                     static_cast<la_int64_t>(item.data.size()));
    }
    archive_write_header(writer.get(), entry.get());
    if (item.kind == Entry::File || item.kind == Entry::Sparse)
      archive_write_data(writer.get(), item.data.data(), item.data.size());
  }
  archive_write_close(writer.get());
  return out;
}

int ArchiveBuilder::writeVolumes(const std::string& hostBase, const std::string& bytes,
                                 size_t volumeSize) {
  if (volumeSize == 0) volumeSize = bytes.size() + 1;
  int count = 0;
  for (size_t offset = 0; offset < bytes.size() || count == 0; offset += volumeSize, ++count) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".l%05d", count);
    std::string path = hostBase + (count == 0 ? std::string(".lgz") : std::string(suffix));
    writeFile(path, bytes.substr(offset, volumeSize));
  }
  return count;
}

}  // namespace cvdt::test

// Writing gzip-compressed tar archives with libarchive into part files.
#include "LgzWriter.h"

#include <archive_entry.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "DigestText.h"
#include "PackError.h"
#include "VolumeSink.h"

namespace cvdt::pack {

namespace {

using EntryPtr = std::unique_ptr<struct archive_entry, void (*)(struct archive_entry*)>;

EntryPtr newEntry(const std::string& name, mode_t type, mode_t perm, time_t modified) {
  EntryPtr entry(archive_entry_new(), &archive_entry_free);
  if (!entry) throw PackError("out of memory");
  archive_entry_copy_pathname(entry.get(), name.c_str());
  archive_entry_set_filetype(entry.get(), type);
  archive_entry_set_perm(entry.get(), perm);
  archive_entry_set_mtime(entry.get(), modified, 0);
  return entry;
}

}  // namespace

LgzWriter::LgzWriter(VolumeSink& sink) : m_sink(sink) {
  m_pArchive = archive_write_new();
  if (m_pArchive == nullptr) throw PackError("out of memory");
  if (archive_write_add_filter_gzip(m_pArchive) != ARCHIVE_OK ||
      archive_write_set_filter_option(m_pArchive, "gzip", "timestamp", nullptr) != ARCHIVE_OK ||
      archive_write_set_format_gnutar(m_pArchive) != ARCHIVE_OK ||
      archive_write_set_bytes_in_last_block(m_pArchive, 1) != ARCHIVE_OK ||
      archive_write_open(m_pArchive, this, nullptr, &LgzWriter::onWrite, nullptr) != ARCHIVE_OK) {
    fail("cannot start the archive");
  }
}

LgzWriter::~LgzWriter() {
  if (m_pArchive != nullptr) archive_write_free(m_pArchive);
}

la_ssize_t LgzWriter::onWrite(struct archive*, void* self, const void* data, size_t size) {
  auto* writer = static_cast<LgzWriter*>(self);
  try {
    writer->m_sink.write(data, size);
    return static_cast<la_ssize_t>(size);
  } catch (const std::exception& error) {
    writer->m_strSinkError = error.what();
    return -1;
  }
}

void LgzWriter::fail(const std::string& what) {
  if (!m_strSinkError.empty()) throw PackError(m_strSinkError);
  const char* detail = m_pArchive != nullptr ? archive_error_string(m_pArchive) : nullptr;
  throw PackError(what + (detail != nullptr ? std::string(": ") + detail : std::string()));
}

void LgzWriter::writeHeader(struct archive_entry* entry, const std::string& name) {
  if (archive_write_header(m_pArchive, entry) != ARCHIVE_OK) fail("cannot archive " + name);
}

void LgzWriter::writeData(const void* data, size_t size, const std::string& name) {
  if (size > 0 && archive_write_data(m_pArchive, data, size) != static_cast<la_ssize_t>(size)) {
    fail("cannot archive " + name);
  }
}

void LgzWriter::addFolder(const std::string& name, time_t modified) {
  EntryPtr entry = newEntry(name + "/", AE_IFDIR, 0755, modified);
  writeHeader(entry.get(), name);
}

std::string LgzWriter::addFile(const std::string& name, const std::string& hostPath) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(hostPath.c_str(), "rb"), &std::fclose);
  struct stat info {};
  if (!file || fstat(fileno(file.get()), &info) != 0) {
    throw PackError("cannot read " + hostPath + ": " + std::strerror(errno));
  }
  EntryPtr entry = newEntry(name, AE_IFREG, info.st_mode & 0777, info.st_mtime);
  archive_entry_set_size(entry.get(), info.st_size);
  writeHeader(entry.get(), name);
  DigestText digest;
  std::unique_ptr<char[]> buffer(new char[1 << 16]);
  size_t got;
  while ((got = std::fread(buffer.get(), 1, 1 << 16, file.get())) > 0) {
    if (digest.bytes() + got > static_cast<uint64_t>(info.st_size)) break;
    digest.add(buffer.get(), got);
    writeData(buffer.get(), got, name);
    if (m_progress) m_progress(got);
  }
  if (std::ferror(file.get()) || digest.bytes() != static_cast<uint64_t>(info.st_size) ||
      got != 0) {
    throw PackError("cannot read " + hostPath + " whole (did it change while it was packed?)");
  }
  return digest.finish();
}

void LgzWriter::addBytes(const std::string& name, const std::string& bytes, time_t modified) {
  EntryPtr entry = newEntry(name, AE_IFREG, 0644, modified);
  archive_entry_set_size(entry.get(), static_cast<la_int64_t>(bytes.size()));
  writeHeader(entry.get(), name);
  writeData(bytes.data(), bytes.size(), name);
}

void LgzWriter::finish() {
  if (archive_write_close(m_pArchive) != ARCHIVE_OK) fail("cannot finish the archive");
  m_sink.finish();
}

}  // namespace cvdt::pack

// Writing one regular file of the archive, with every error of the file system reported.
#include "FileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/UniqueFd.h"

namespace cvlgz {
namespace {

std::string systemError(const char* what, const std::string& path, int code) {
  std::string text = std::string(what) + " " + path + ": " + std::strerror(code);
  if (code == ENOSPC || code == EDQUOT || code == EFBIG) text += " (the destination's disk is full)";
  return text;
}

}  // namespace

plat::Status FileWriter::create(const std::string& path, const std::string& name, mode_t mode,
                                plat::UniqueFd& fd) {
  // An earlier entry of the same name, or a link, is replaced, never written through.
  if (unlink(path.c_str()) != 0 && (errno == EISDIR || errno == EPERM)) rmdir(path.c_str());
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  fd.reset(::open(path.c_str(), flags, mode));
  if (!fd && errno == ENOENT) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    fd.reset(::open(path.c_str(), flags, mode));
  }
  if (!fd) return plat::Status::failure(systemError("cannot create", name, errno));
  return {};
}

plat::Status FileWriter::writeAll(int fd, const char* data, size_t size, const std::string& name) {
  while (size > 0) {
    ssize_t done = ::write(fd, data, size);
    if (done < 0 && errno == EINTR) continue;
    // A write that takes nothing without an error would repeat for ever; the disk is full.
    if (done <= 0) {
      return plat::Status::failure(systemError("cannot write", name, done < 0 ? errno : ENOSPC));
    }
    data += done;
    size -= static_cast<size_t>(done);
  }
  return {};
}

plat::Status FileWriter::copy(struct archive* reader, int fd, const std::string& name,
                              int64_t declared) {
  int64_t written = 0;
  for (;;) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    int result = archive_read_data_block(reader, &block, &size, &offset);
    if (result == ARCHIVE_EOF) break;
    if (result < ARCHIVE_WARN) {
      const char* text = archive_error_string(reader);
      return plat::Status::failure(text != nullptr ? text : "the archive cannot be read");
    }
    if (offset != written) {
      return plat::Status::failure("refused sparse file: " + name);
    }
    if (plat::Status s = writeAll(fd, static_cast<const char*>(block), size, name); !s) return s;
    written += static_cast<int64_t>(size);
  }
  if (written != declared) {
    return plat::Status::failure("the archive's data for " + name + " is shorter than its size");
  }
  return {};
}

plat::Status FileWriter::write(struct archive* reader, struct archive_entry* entry,
                               const std::string& name) {
  const std::string path = archive_entry_pathname(entry);
  plat::UniqueFd fd;
  if (plat::Status s = create(path, name, archive_entry_perm(entry) & 0777, fd); !s) return s;
  plat::Status status = copy(reader, fd.get(), name, archive_entry_size(entry));
  if (status && archive_entry_mtime_is_set(entry)) {
    struct timespec times[2];
    times[1] = {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)};
    times[0] = archive_entry_atime_is_set(entry)
                   ? timespec{archive_entry_atime(entry), archive_entry_atime_nsec(entry)}
                   : times[1];
    futimens(fd.get(), times);  // a time that cannot be kept leaves the file as good as it is
  }
  // Some file systems report a failed write-back only here.
  if (::close(fd.release()) != 0 && status)
    status = plat::Status::failure(systemError("cannot finish", name, errno));
  return status;
}

}  // namespace cvlgz

// An open file named by a Windows path, mapped through the machine's drives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

enum class FileMode {
  Read,       // existing file, read only
  Write,      // create or truncate, write only
  Append,     // create when absent; every write goes to the end
  ReadWrite,  // existing file, read and write, positioned at the start
};

// RAII file. Not shared between threads. Failures set plat::lastError().
class File {
 public:
  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  // Opens a Windows path ("C:\a\b.txt"). Returns true iff the file is open.
  bool open(const std::string& windowsPath, FileMode mode);
  // Opens a path of the host system as it stands (tools and tests only).
  bool openHost(const std::string& hostPath, FileMode mode);

  // Returns the number of bytes read: 0 at the end of the file or on error, which readFailed()
  // tells apart (it describes the last read until the next one).
  size_t read(void* buffer, size_t size);
  bool readFailed() const { return m_bReadFailed; }
  // Returns the number of bytes written; less than size only on error.
  size_t write(const void* buffer, size_t size);
  bool seek(uint64_t offset);
  // Size in bytes, or -1 when the file is not open.
  int64_t size() const;

  bool isOpen() const { return m_handle >= 0; }
  void close();

 private:
  intptr_t m_handle = -1;
  bool m_bReadFailed = false;
};

// Reads a whole file named by a host path; false when it cannot be opened or a read fails
// (content then holds what was read before the failure).
bool readHostFile(const std::string& hostPath, std::string& content);
// Writes a whole file named by a host path (create or truncate).
bool writeHostFile(const std::string& hostPath, const std::string& content);

}  // namespace plat

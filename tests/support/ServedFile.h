// ServedFile: one file that a loopback test server (HTTP or FTP) hands out, with the fault it
// should show while sending it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace cvdt::test {

struct ServedFile {
  enum class Fault {
    None,
    ShortBody,  // announces the whole size, sends half, then closes the connection
    Stall,      // sends half, then nothing more until the server stops or cuts its connections
    Slow,       // sends slowChunk bytes every slowPauseMs milliseconds
  };

  std::string content;   // the bytes, unless hostPath is set
  std::string hostPath;  // a file on disk served as it is (large files)
  Fault fault = Fault::None;
  size_t slowChunk = 16 * 1024;
  int slowPauseMs = 10;

  static ServedFile of(std::string bytes, Fault fault = Fault::None) {
    ServedFile file;
    file.content = std::move(bytes);
    file.fault = fault;
    return file;
  }
  static ServedFile fromDisk(std::string path, Fault fault = Fault::None) {
    ServedFile file;
    file.hostPath = std::move(path);
    file.fault = fault;
    return file;
  }

  uint64_t size() const {
    std::error_code ec;
    return hostPath.empty() ? content.size() : std::filesystem::file_size(hostPath, ec);
  }
};

}  // namespace cvdt::test

// ArchiveBuilder: writes gzip-compressed tar archives with libarchive for the extraction tests,
// including entries no honest packager writes (absolute names, "..", escaping links), and cuts
// them into volumes the way package parts are laid out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cvdt::test {

class ArchiveBuilder {
 public:
  ArchiveBuilder& file(const std::string& name, const std::string& content);
  ArchiveBuilder& folder(const std::string& name);
  ArchiveBuilder& symlink(const std::string& name, const std::string& target);
  ArchiveBuilder& hardlink(const std::string& name, const std::string& target);
  // A sparse file of size bytes whose only data is content at its end; the rest is a hole.
  ArchiveBuilder& sparseFile(const std::string& name, uint64_t size, const std::string& content);

  // The archive's bytes: a pax tar stream, gzip-compressed.
  std::string bytes() const;

  // bytes compressed as one gzip stream (for tar bytes made by hand).
  static std::string gzip(const std::string& bytes);
  // A ustar header of a regular file whose size (any, in base-256) is larger than its data.
  static std::string tarHeader(const std::string& name, uint64_t size);

  // Writes bytes to "<hostBase>.lgz", and when volumeSize is not 0 cuts them into volumes:
  // "<hostBase>.lgz" holds the first volumeSize bytes, "<hostBase>.l00001" the next, and so on.
  // Returns the number of files written.
  static int writeVolumes(const std::string& hostBase, const std::string& bytes,
                          size_t volumeSize);

 private:
  struct Entry {
    enum Kind { File, Folder, Symlink, Hardlink, Sparse } kind;
    std::string name;
    std::string data;  // content, or the link target
    uint64_t size = 0;  // a sparse file's size
  };
  std::vector<Entry> m_entries;
};

// Deterministic pseudo-random bytes (incompressible file content).
std::string randomBytes(size_t size, unsigned seed);

}  // namespace cvdt::test

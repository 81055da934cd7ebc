// VolumeStream: the compressed bytes of an archive cut into volumes ("X.lgz", "X.l00001",
// "X.l00002", ...), handed to libarchive as one stream. A volume is opened only when the one
// before it is used up, the decompressor still asks for data, and the end check (see TarStream)
// does not find that the compressed stream has already ended, so volumes left over from a longer
// archive are never taken in.
#pragma once

#include <archive.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cvlgz {

class VolumeStream {
 public:
  static constexpr int kMaxVolume = 99999;
  static constexpr size_t kBlockSize = 1024 * 1024;

  // archive: the Windows path of part 0.
  explicit VolumeStream(std::string archive);
  ~VolumeStream();
  VolumeStream(const VolumeStream&) = delete;
  VolumeStream& operator=(const VolumeStream&) = delete;

  // Asked at the end of each volume, with the last eight bytes handed out, before the next volume
  // is opened: true when the compressed stream may already have ended there, in which case the
  // stream ends instead.
  using EndCheck = std::function<bool(const unsigned char* lastEight)>;
  void setEndCheck(EndCheck check) { m_endCheck = std::move(check); }

  // Opens part 0; false when it cannot be read.
  bool openFirst();
  // Attaches the stream to a reader (after its formats are chosen) and opens it.
  int openReader(struct archive* reader);
  // Volumes opened so far, part 0 included.
  int volumesOpened() const { return m_nVolume + 1; }

  // The Windows path of volume index (0 is the archive itself).
  std::string volumePath(int index) const;
  // Reads size bytes that the stream handed out earlier, from offset on (counted from the start
  // of part 0), again from the volume files; false when they cannot be read.
  bool readBack(uint64_t offset, unsigned char* out, size_t size) const;

 private:
  static la_ssize_t onRead(struct archive* reader, void* self, const void** block);
  static int onClose(struct archive* reader, void* self);
  la_ssize_t read(struct archive* reader, const void** block);
  bool openVolume(int index);
  void closeVolume();
  bool mayContinue() const;
  void keepTail(const char* data, size_t size);

  struct Span {
    uint64_t start;  // stream offset of the volume's first byte
    uint64_t length;
    std::string hostPath;
  };

  std::string m_strArchive;
  std::vector<Span> m_spans;  // the volumes opened so far, in order
  bool m_bVolumes = false;  // the name ends in ".lgz", so further volumes may follow
  int m_nVolume = 0;
  int m_fd = -1;
  std::vector<char> m_buffer;
  EndCheck m_endCheck;
  unsigned char m_tail[8] = {};  // the last eight bytes handed out
  uint64_t m_nHandedOut = 0;
};

}  // namespace cvlgz

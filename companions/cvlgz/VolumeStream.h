// VolumeStream: the compressed bytes of an archive cut into volumes ("X.lgz", "X.l00001",
// "X.l00002", ...), handed to libarchive as one stream. A volume is opened only when the one
// before it is used up and the reader still asks for data, and never once the archive's end has
// been reached, so volumes left over from a longer archive are not taken in.
#pragma once

#include <archive.h>

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

  // Opens part 0; false when it cannot be read.
  bool openFirst();
  // Attaches the stream to a reader (after its formats are chosen) and opens it.
  int openReader(struct archive* reader);
  // The archive's end has been reached: no further volume may be opened.
  void finish() { m_bFinished = true; }
  // Volumes opened so far, part 0 included.
  int volumesOpened() const { return m_nVolume + 1; }

  // The Windows path of volume index (0 is the archive itself).
  std::string volumePath(int index) const;

 private:
  static la_ssize_t onRead(struct archive* reader, void* self, const void** block);
  static int onClose(struct archive* reader, void* self);
  la_ssize_t read(struct archive* reader, const void** block);
  bool openVolume(int index);
  void closeVolume();

  std::string m_strArchive;
  bool m_bVolumes = false;  // the name ends in ".lgz", so further volumes may follow
  bool m_bFinished = false;
  int m_nVolume = 0;
  int m_fd = -1;
  std::vector<char> m_buffer;
};

}  // namespace cvlgz

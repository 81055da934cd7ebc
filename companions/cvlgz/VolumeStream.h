// VolumeStream: the compressed bytes of an archive cut into volumes ("X.lgz", "X.l00001",
// "X.l00002", ...), read one after another. The next volume is opened only when the reader asks
// to go on past the end of the one before it, which TarStream does only while the decompressor
// still needs data: volumes left over from a longer archive are never opened.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/Status.h"
#include "platform/UniqueFd.h"

namespace cvlgz {

class VolumeStream {
 public:
  static constexpr int kMaxVolume = 99999;
  static constexpr size_t kBlockSize = 256 * 1024;

  // archive: the Windows path of part 0. Further volumes exist only for a name ending in ".lgz"
  // (any case); any other name is read as a single file.
  explicit VolumeStream(std::string archive);
  ~VolumeStream();
  VolumeStream(const VolumeStream&) = delete;
  VolumeStream& operator=(const VolumeStream&) = delete;

  // Opens part 0; false when it cannot be opened.
  bool openFirst();

  // The next bytes of the stream in *block, valid until the next call, and their count in size.
  // At the end of the current volume the next one is opened only when mayOpenNext is set; a
  // size of 0 then means the stream has ended there (a next volume that cannot be opened counts
  // as absent: if the archive needed it, the decompressor finds the stream cut short). A
  // failure names the volume that cannot be read.
  plat::Status next(const unsigned char** block, bool mayOpenNext, size_t& size);

  // The Windows path of volume index (0 is the archive itself).
  std::string volumePath(int index) const;
  // The index of the volume read last.
  int currentVolume() const { return m_nVolume; }

 private:
  bool openVolume(int index);
  void closeVolume();

  std::string m_strArchive;
  bool m_bVolumes = false;  // the name ends in ".lgz", so further volumes may follow
  int m_nVolume = 0;
  plat::UniqueFd m_fd;
  std::vector<unsigned char> m_buffer;
};

}  // namespace cvlgz

// VolumeSink: writes one byte stream (a compressed archive) cut into part files of a fixed
// size, "X.lgz", "X.l00001", "X.l00002", ..., and takes each part's digest as it goes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "DigestText.h"

namespace cvdt::pack {

class VolumeSink {
 public:
  // Part numbers run from 0 to kMaxParts - 1 (five digits in the names).
  static constexpr int kMaxParts = 100000;

  struct Part {
    std::string path;  // host path
    uint64_t bytes = 0;
    std::string digest;
  };

  // folder: host folder that receives the parts (it must exist); base: the name the parts are
  // formed from; partSize: bytes per part, all parts but the last are exactly this long.
  VolumeSink(std::string folder, std::string base, uint64_t partSize);
  ~VolumeSink();
  VolumeSink(const VolumeSink&) = delete;
  VolumeSink& operator=(const VolumeSink&) = delete;

  // Appends bytes, opening the next part only when a byte is left for it, so a stream whose
  // length divides evenly ends without an empty part. Throws PackError on a failed write or
  // when more than kMaxParts parts would be needed.
  void write(const void* data, size_t size);
  // Closes the last part; throws PackError when it cannot be written. After this, parts()
  // lists every part in order.
  void finish();
  const std::vector<Part>& parts() const { return m_parts; }
  uint64_t totalBytes() const;

  // The name of part index of base: "base.lgz" for 0, "base.l00001" for 1 and so on.
  static std::string partName(const std::string& base, int index);

 private:
  void openNext();
  void closeCurrent();

  std::string m_strFolder;
  std::string m_strBase;
  uint64_t m_nPartSize;
  FILE* m_pFile = nullptr;
  uint64_t m_nInPart = 0;  // bytes written to the open part
  DigestText m_digest;
  std::vector<Part> m_parts;
};

}  // namespace cvdt::pack

// Reading tar headers and data from the decompressed archive.
#include "TarReader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "GzipMemberStream.h"

namespace cvlgz {
namespace {

// A numeric header field: octal text (blanks and zeros around it), or base-256 when the first
// byte has its high bit set. False for anything else or a value beyond 2^62.
bool headerNumber(const char* field, size_t width, uint64_t& value) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(field);
  value = 0;
  if (bytes[0] & 0x80) {
    if (bytes[0] != 0x80) return false;  // negative, or too large for us anyway
    for (size_t i = 1; i < width; ++i) {
      if (value >> 54) return false;
      value = value << 8 | bytes[i];
    }
    return value < (uint64_t{1} << 62);
  }
  size_t i = 0;
  while (i < width && bytes[i] == ' ') ++i;
  bool digits = false;
  for (; i < width && bytes[i] >= '0' && bytes[i] <= '7'; ++i) {
    if (value >> 58) return false;
    value = value * 8 + (bytes[i] - '0');
    digits = true;
  }
  for (; i < width; ++i)
    if (bytes[i] != ' ' && bytes[i] != '\0') return false;
  return digits || bytes[0] == '\0' || bytes[0] == ' ';
}

std::string fieldText(const char* field, size_t width) {
  const void* end = std::memchr(field, '\0', width);
  return std::string(field, end ? static_cast<const char*>(end) - field : width);
}

bool checksumMatches(const char* header) {
  uint64_t stored = 0;
  if (!headerNumber(header + 148, 8, stored)) return false;
  uint64_t sum = 0;
  int64_t signedSum = 0;
  for (size_t i = 0; i < TarReader::kBlock; ++i) {
    bool inField = i >= 148 && i < 156;
    unsigned char byte = inField ? ' ' : static_cast<unsigned char>(header[i]);
    sum += byte;
    signedSum += inField ? ' ' : static_cast<signed char>(header[i]);
  }
  return stored == sum || static_cast<int64_t>(stored) == signedSum;
}

bool isZeroBlock(const char* block) {
  return std::all_of(block, block + TarReader::kBlock, [](char c) { return c == '\0'; });
}

}  // namespace

struct TarReader::Pending {
  bool hasPath = false;
  std::string path;
  bool hasLink = false;
  std::string link;
  bool hasSize = false;
  uint64_t size = 0;
  bool hasMtime = false;
  int64_t mtime = 0;
  bool sparse = false;

  // Takes the records of a pax header ("LENGTH key=value\n" each); false when one is malformed.
  bool takePax(const std::string& text) {
    size_t at = 0;
    while (at < text.size()) {
      char* end = nullptr;
      unsigned long long length = std::strtoull(text.c_str() + at, &end, 10);
      size_t space = static_cast<size_t>(end - text.c_str());
      if (end == text.c_str() + at || *end != ' ' || length < 5 || length > text.size() - at ||
          text[at + length - 1] != '\n')
        return false;
      std::string record = text.substr(space + 1, at + length - 1 - (space + 1));
      size_t equals = record.find('=');
      if (equals == std::string::npos) return false;
      if (!takeRecord(record.substr(0, equals), record.substr(equals + 1))) return false;
      at += length;
    }
    return true;
  }

  bool takeRecord(const std::string& key, const std::string& value) {
    if (key == "path") {
      hasPath = true;
      path = value;
    } else if (key == "linkpath") {
      hasLink = true;
      link = value;
    } else if (key == "size") {
      char* end = nullptr;
      size = std::strtoull(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || size >= (uint64_t{1} << 62)) return false;
      hasSize = true;
    } else if (key == "mtime") {
      hasMtime = true;
      mtime = std::strtoll(value.c_str(), nullptr, 10);
    } else if (key.rfind("GNU.sparse.", 0) == 0) {
      sparse = true;
    }
    return true;
  }
};

plat::Status TarReader::fill() {
  const void* block = nullptr;
  std::ptrdiff_t size = m_stream.pull(&block);
  if (size < 0) {
    return plat::Status::failure(m_stream.error());
  }
  if (size == 0) {
    return plat::Status::failure("the archive ends in the middle of an entry");
  }
  m_pData = static_cast<const char*>(block);
  m_nAvailable = static_cast<size_t>(size);
  return {};
}

plat::Status TarReader::readExact(char* out, size_t size) {
  while (size > 0) {
    if (m_nAvailable == 0) {
      if (plat::Status s = fill(); !s) return s;
    }
    size_t take = std::min(size, m_nAvailable);
    std::memcpy(out, m_pData, take);
    m_pData += take;
    m_nAvailable -= take;
    out += take;
    size -= take;
  }
  return {};
}

plat::Status TarReader::skip(uint64_t size) {
  while (size > 0) {
    if (m_nAvailable == 0) {
      if (plat::Status s = fill(); !s) return s;
    }
    size_t take = static_cast<size_t>(std::min<uint64_t>(size, m_nAvailable));
    m_pData += take;
    m_nAvailable -= take;
    size -= take;
  }
  return {};
}

plat::Status TarReader::readMetadata(uint64_t size, std::string& text) {
  if (size > kMaxMetadata) {
    return plat::Status::failure("the archive holds a header record of " + std::to_string(size) +
                                 " bytes");
  }
  text.assign(static_cast<size_t>(size), '\0');
  uint64_t padding = (kBlock - size % kBlock) % kBlock;
  if (plat::Status s = readExact(text.data(), text.size()); !s) return s;
  return skip(padding);
}

plat::Status TarReader::next(TarEntry& entry, bool& atEnd) {
  atEnd = false;
  if (plat::Status s = skip(m_nDataLeft + m_nPadding); !s) return s;
  m_nDataLeft = m_nPadding = 0;
  Pending pending;
  for (;;) {
    char header[kBlock];
    if (plat::Status s = readExact(header, kBlock); !s) return s;
    if (isZeroBlock(header)) {
      atEnd = true;
      return {};
    }
    if (!checksumMatches(header)) {
      return plat::Status::failure(
          "the archive is damaged: a tar header's checksum does not match");
    }
    uint64_t size = 0;
    uint64_t mtime = 0;
    uint64_t mode = 0;
    if (!headerNumber(header + 124, 12, size) || !headerNumber(header + 136, 12, mtime) ||
        !headerNumber(header + 100, 8, mode)) {
      return plat::Status::failure("the archive is damaged: a tar header holds a bad number");
    }
    char type = header[156];
    std::string text;
    if (type == 'x' || type == 'L' || type == 'K') {
      if (plat::Status s = readMetadata(size, text); !s) return s;
      if (type == 'x' && !pending.takePax(text)) {
        return plat::Status::failure("the archive is damaged: a pax header is malformed");
      }
      if (type == 'L') {
        pending.hasPath = true;
        pending.path = fieldText(text.data(), text.size());
      } else if (type == 'K') {
        pending.hasLink = true;
        pending.link = fieldText(text.data(), text.size());
      }
      continue;
    }
    if (type == 'g' || type == 'V') {  // global settings and volume labels name no file
      if (plat::Status s = skip(size + (kBlock - size % kBlock) % kBlock); !s) return s;
      continue;
    }
    bool ustar = std::memcmp(header + 257, "ustar\0", 6) == 0;
    std::string name = fieldText(header, 100);
    if (ustar && header[345] != '\0') name = fieldText(header + 345, 155) + "/" + name;
    TarEntry read;
    read.facts.name = pending.hasPath ? pending.path : name;
    std::string link = pending.hasLink ? pending.link : fieldText(header + 157, 100);
    read.size = pending.hasSize ? pending.size : size;
    read.hasMtime = true;
    read.mtime = pending.hasMtime ? pending.mtime : static_cast<int64_t>(mtime);
    read.mode = static_cast<uint32_t>(mode & 07777);
    read.facts.sparse = pending.sparse || type == 'S';
    switch (type) {
      case '0': case '\0': case '7': case 'S':
        read.facts.type = EntryFacts::Type::File;
        break;
      case '1':
        read.facts.type = EntryFacts::Type::File;
        read.facts.hardlink = true;
        read.facts.hardlinkTarget = link;
        break;
      case '2':
        read.facts.type = EntryFacts::Type::SymbolicLink;
        read.facts.symlinkTarget = link;
        read.size = 0;  // a link carries no data
        break;
      case '5':
        read.facts.type = EntryFacts::Type::Folder;
        read.size = 0;
        break;
      default:  // devices, FIFOs, and what we do not know
        read.facts.type = EntryFacts::Type::Special;
        break;
    }
    m_nDataLeft = type == '2' || type == '5' ? 0 : read.size;
    uint64_t stored = type == '2' || type == '5' ? size : read.size;
    m_nPadding = (stored - m_nDataLeft) + (kBlock - stored % kBlock) % kBlock;
    entry = std::move(read);
    return {};
  }
}

plat::Status TarReader::readData(const char** block, size_t& size) {
  size = 0;
  if (m_nDataLeft == 0) return {};
  if (m_nAvailable == 0) {
    if (plat::Status s = fill(); !s) return s;
  }
  size = static_cast<size_t>(std::min<uint64_t>(m_nDataLeft, m_nAvailable));
  *block = m_pData;
  m_pData += size;
  m_nAvailable -= size;
  m_nDataLeft -= size;
  return {};
}

}  // namespace cvlgz

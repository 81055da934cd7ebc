// Named shared memory between processes of the machine (file mappings backed by the paging file)
// and the interlocked operations on 32-bit words that lie in it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

// A named mapping and at most one view of it. Not shared between threads; failures set
// plat::lastError(). Names are Windows kernel object names ("Global\name"); every process of
// the same machine that uses a name reaches the same memory.
class SharedMemory {
 public:
  SharedMemory() = default;
  ~SharedMemory();  // unmaps and closes
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // CreateFileMappingA with a null DACL: creates the mapping with size zero bytes, or opens it
  // when it exists (alreadyExisted() is then true; an existing mapping smaller than size is
  // grown). This handle owns the name: close() removes it, so later opens fail while views
  // that others still hold stay valid. A name left behind by an owner that died is taken over.
  bool create(const std::string& name, uint32_t size);
  // OpenFileMappingA(FILE_MAP_ALL_ACCESS): false (kErrorFileNotFound) when no mapping has the
  // name.
  bool open(const std::string& name);
  // MapViewOfFile of the whole mapping, read-write. Returns the view (the same one on repeated
  // calls), or null on failure.
  void* map();
  void unmap();
  void close();

  bool isOpen() const { return m_hMapping >= 0; }
  bool alreadyExisted() const { return m_bExisted; }
  // Bytes of the mapping; 0 when none is open.
  size_t size() const { return m_nSize; }

 private:
  intptr_t m_hMapping = -1;
  void* m_pView = nullptr;
  size_t m_nSize = 0;
  std::string m_strObject;  // the backend's name of the object
  bool m_bOwner = false;
  bool m_bExisted = false;
};

// Interlocked operations on a 32-bit word that other processes may touch through their own
// view. A lock-free atomic keeps no state outside the word, so it works across processes.
static_assert(std::atomic_ref<uint32_t>::is_always_lock_free);
static_assert(std::atomic_ref<uint32_t>::required_alignment <= alignof(uint32_t));

// InterlockedCompareExchange: stores exchange when the word equals comparand; returns the
// value the word held before.
inline uint32_t interlockedCompareExchange(uint32_t* target, uint32_t exchange, uint32_t comparand) {
  std::atomic_ref<uint32_t>(*target).compare_exchange_strong(comparand, exchange);
  return comparand;
}

// InterlockedExchange: stores value; returns the value the word held before.
inline uint32_t interlockedExchange(uint32_t* target, uint32_t value) {
  return std::atomic_ref<uint32_t>(*target).exchange(value);
}

// A full-barrier read of the word, as the other interlocked operations see it.
inline uint32_t interlockedRead(uint32_t* target) { return std::atomic_ref<uint32_t>(*target).load(); }

// A full-barrier write of the word.
inline void interlockedWrite(uint32_t* target, uint32_t value) {
  std::atomic_ref<uint32_t>(*target).store(value);
}

}  // namespace plat

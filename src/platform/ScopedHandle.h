// An owned system resource (a descriptor, a kernel handle), given back when its owner goes.
// Traits name the type, the value that means "none", whether a value is a resource, and how
// to give one back; UniqueFd (platform/UniqueFd.h) and the Windows backend's UniqueHandle are
// the two kinds. Moving hands the resource on; release() gives it up without closing it.
#pragma once

#include <utility>

namespace plat {

template <typename Traits>
class ScopedHandle {
 public:
  using Value = typename Traits::Value;

  ScopedHandle() = default;
  explicit ScopedHandle(Value value) : m_value(value) {}
  ~ScopedHandle() { reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : m_value(other.release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Value get() const { return m_value; }
  bool valid() const { return Traits::isValid(m_value); }
  explicit operator bool() const { return valid(); }
  Value release() { return std::exchange(m_value, Traits::kNone); }
  // Closes the resource held (if any) and takes value.
  void reset(Value value = Traits::kNone) {
    if (valid()) Traits::close(m_value);
    m_value = value;
  }

 private:
  Value m_value = Traits::kNone;
};

}  // namespace plat

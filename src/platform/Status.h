// The outcome of an operation of a tool or a companion: success, or a failure with the message
// that tells the operator what failed (the object, the system's reason). The module itself
// answers its host with the host's own codes (1/0 and step codes) and does not use it.
#pragma once

#include <string>
#include <utility>

namespace plat {

class [[nodiscard]] Status {
 public:
  Status() = default;  // success
  static Status failure(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !m_bFailed; }
  explicit operator bool() const { return ok(); }
  // Empty on success.
  const std::string& message() const { return m_strMessage; }

 private:
  explicit Status(std::string message) : m_bFailed(true), m_strMessage(std::move(message)) {}

  bool m_bFailed = false;
  std::string m_strMessage;
};

}  // namespace plat

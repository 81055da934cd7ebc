// Dynamic libraries named by Windows paths (LoadLibraryA / GetProcAddress / FreeLibrary).
#pragma once

#include <string>

namespace plat {

// One loaded library; unloaded when the object goes. Not shared between threads.
class Library {
 public:
  Library() = default;
  ~Library() { unload(); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // Loads the library file; false (with the loader's message in error()) when it cannot.
  bool load(const std::string& windowsPath);
  // The exported symbol, or null.
  void* symbol(const char* name) const;
  void unload();
  bool isLoaded() const { return m_pHandle != nullptr; }
  const std::string& error() const { return m_strError; }

 private:
  void* m_pHandle = nullptr;
  std::string m_strError;
};

}  // namespace plat

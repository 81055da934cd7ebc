// ServerLayout: where packages lie below a distribution server's document root, and how a new
// package replaces an old one by renames, so that no reader ever sees a half-written file.
#pragma once

#include <string>

namespace cvdt::pack {

class ServerLayout {
 public:
  enum class Flavour { Normal, Auto };

  // Creates root and the folders above it that are missing, as mkdir -p does. Throws PackError
  // when it cannot (a file in the way, no permission).
  static void createRoot(const std::string& root);
  // root: the server's document root (host folder); it must exist.
  explicit ServerLayout(const std::string& root);

  // ROOT/Corvane/dist/normal or ROOT/Corvane/dist/auto.
  std::string folder(Flavour flavour) const;
  // The index archive "<id>.idx.lgz" in the flavour's folder.
  std::string indexArchive(Flavour flavour, const std::string& id) const;
  // The package folder "<id>" in the flavour's folder.
  std::string packageFolder(Flavour flavour, const std::string& id) const;

  // Creates an empty staging folder for a package (and the flavour's folder when missing).
  std::string beginPackage(Flavour flavour, const std::string& id) const;
  // Puts a staged package in place: the staging folder holds the package folder's content and
  // the index archive "<id>.idx.lgz". The package folder goes in first (the old one goes), then
  // the index archive, each by renaming.
  void publish(Flavour flavour, const std::string& id, const std::string& staging) const;

  // Removes a staging folder after a failure.
  void discard(const std::string& staging) const;

  static const char* name(Flavour flavour) { return flavour == Flavour::Normal ? "normal" : "auto"; }

 private:
  std::string m_strRoot;
};

}  // namespace cvdt::pack

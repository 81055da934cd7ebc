// Writing a commanded package: parts, index archive and contents text.
#include "NormalPackager.h"

#include <algorithm>
#include <limits>

#include "IndexText.h"
#include "LgzWriter.h"
#include "NCliProgress.h"
#include "PackError.h"
#include "ServerLayout.h"
#include "SourceTree.h"
#include "TextRules.h"
#include "VolumeSink.h"

namespace cvdt::pack {

namespace {

using Kind = PackArgs::Kind;
const std::vector<std::string> kContentsSeparator = {"|$"};

uint64_t kibibytes(uint64_t bytes) { return (bytes + 1023) / 1024; }

// A contents text field: width is the module's field width in bytes, the zero included.
std::string contentsField(const PackArgs& args, const std::string& option, size_t width,
                          const std::string& fallback = "") {
  std::string text = args.value(option, fallback);
  TextRules::field(text, "--" + option, width - 1, kContentsSeparator);
  return text;
}

std::string upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace

const PackArgs::Known& NormalPackager::knownOptions() {
  static const PackArgs::Known known = {
      {"id", Kind::Value, "N", "distribution id, 1 to 2147483647 (required)"},
      {"name", Kind::Value, "NAME", "package name, at most 64 bytes (required)"},
      {"src", Kind::Value, "DIR", "the folder to pack (required)"},
      {"out", Kind::Value, "ROOT", "the server root to write below (created when missing; required)"},
      {"part-size", Kind::Value, "BYTES", "largest part, may end in K, M or G (default 10M)"},
      {"version", Kind::Value, "V", "package version"},
      {"base-folder", Kind::Value, "F", "., empty, or a drive path agents unpack into (default .: <module folder>\\ndist_temp\\<id>)"},
      {"description", Kind::Value, "D", "description"},
      {"agree", Kind::Flag, "", "ask the user to agree before the job runs"},
      {"public", Kind::Flag, "", "mark the package public"},
      {"exec", Kind::Value, "FILE", "program to run after placing, relative to the package"},
      {"exec-options", Kind::Value, "O", "its command-line options"},
      {"exec-user", Kind::Value, "S|L|C", "run it as S system, L logged-on user, C console user (default S)"},
      {"reg-file", Kind::Value, "FILE", ".reg file to import, relative to the package"},
      {"kind", Kind::Value, "NDT|SWDT|DELDT", "distribution kind (default NDT)"},
      {"sw-id", Kind::Value, "N", "software id, -1 to 2147483647 (default 0)"},
      {"platform", Kind::Value, "TEXT", "platform condition text"},
      {"sys-file", Kind::List, "REL", "a system file, relative to the package; once per file"}};
  return known;
}

NormalOptions NormalPackager::optionsFrom(const PackArgs& args) {
  args.check();
  NormalOptions o;
  o.id = std::to_string(TextRules::number(args.required("id"), "--id", 1, 2147483647));
  o.name = contentsField(args, "name", 65);
  if (o.name.empty()) throw PackError("option --name is required");
  o.version = contentsField(args, "version", 65);
  o.baseFolder = contentsField(args, "base-folder", 257, ".");
  if (o.baseFolder.size() >= 2 || (o.baseFolder.size() == 1 && o.baseFolder != ".")) {
    TextRules::drivePath(o.baseFolder, "--base-folder");
  }
  o.description = contentsField(args, "description", 129);
  o.agree = args.has("agree");
  o.isPublic = args.has("public");
  if (args.has("exec")) o.execFile = TextRules::windowsRelative(args.value("exec"), "--exec");
  TextRules::field(o.execFile, "--exec", 128, kContentsSeparator);
  o.execOptions = contentsField(args, "exec-options", 129);
  o.execUser = args.value("exec-user", "S");
  TextRules::letter(o.execUser, "--exec-user", "SLC");
  if (args.has("reg-file")) o.regFile = TextRules::windowsRelative(args.value("reg-file"), "--reg-file");
  TextRules::field(o.regFile, "--reg-file", 128, kContentsSeparator);
  o.kind = upper(args.value("kind", "NDT"));
  if (o.kind != "NDT" && o.kind != "SWDT" && o.kind != "DELDT") {
    throw PackError("--kind must be NDT, SWDT or DELDT, not '" + args.value("kind") + "'");
  }
  o.swId = std::to_string(TextRules::number(args.value("sw-id", "0"), "--sw-id", -1, 2147483647));
  o.platform = contentsField(args, "platform", 2096);
  for (const std::string& file : args.values("sys-file")) {
    o.sysFiles.push_back(TextRules::windowsRelative(file, "--sys-file"));
  }
  o.source = args.required("src");
  o.root = args.required("out");
  o.partSize = args.has("part-size") ? TextRules::byteCount(args.value("part-size"), "--part-size")
                                     : kDefaultPartSize;
  return o;
}

// The module ignores a file to execute shorter than 2 characters and a registry file of 2 or
// fewer, so such names would silently do nothing.
void NormalPackager::checkNamedFiles(const SourceTree& tree) const {
  const auto mustBeFile = [&](const std::string& name, const std::string& what) {
    const SourceTree::Entry* entry = tree.find(name);
    if (entry == nullptr || entry->folder) {
      throw PackError(what + " " + name + " is not a file of the source folder");
    }
  };
  if (!m_options.execFile.empty()) {
    if (m_options.execFile.size() < 2) throw PackError("--exec needs a name of 2 or more characters");
    if (m_options.kind != "DELDT") mustBeFile(m_options.execFile, "--exec");
  }
  if (!m_options.regFile.empty()) {
    if (m_options.regFile.size() < 3) throw PackError("--reg-file needs a name of 3 or more characters");
    mustBeFile(m_options.regFile, "--reg-file");
  }
  for (const std::string& file : m_options.sysFiles) mustBeFile(file, "--sys-file");
}

NormalResult NormalPackager::run() {
  const SourceTree tree(m_options.source);
  checkNamedFiles(tree);
  ServerLayout::createRoot(m_options.root);
  const ServerLayout layout(m_options.root);
  const auto flavour = ServerLayout::Flavour::Normal;
  const std::string staging = layout.beginPackage(flavour, m_options.id);
  NormalResult result;
  try {
    result = writePackage(tree, staging);
    layout.publish(flavour, m_options.id, staging);
  } catch (...) {
    layout.discard(staging);
    throw;
  }
  return result;
}

NormalResult NormalPackager::writePackage(const SourceTree& tree, const std::string& staging) {
  VolumeSink parts(staging, m_options.id, m_options.partSize);
  LgzWriter package(parts);
  const SourceTree::Entry* current = nullptr;
  if (m_pProgress != nullptr) {
    package.setProgress([this, &tree, &current](uint64_t bytes) {
      m_nDoneBytes += bytes;
      m_pProgress->update(m_nDoneBytes, tree.contentBytes(), current->relative);
    });
  }
  for (const SourceTree::Entry& entry : tree.entries()) {
    current = &entry;
    if (entry.folder) {
      package.addFolder(entry.relative, entry.modified);
    } else {
      package.addFile(entry.relative, entry.host);
    }
  }
  package.finish();
  if (m_pProgress != nullptr) m_pProgress->clear();
  std::vector<std::string> digests;
  for (const VolumeSink::Part& part : parts.parts()) digests.push_back(part.digest);

  VolumeSink indexSink(staging, m_options.id + ".idx", std::numeric_limits<uint64_t>::max());
  LgzWriter index(indexSink);
  index.addBytes(m_options.id + ".idx", indexText(digests, parts.totalBytes()), tree.newest());
  index.finish();

  NormalResult result;
  result.indexDigest = indexSink.parts().front().digest;
  result.parts = static_cast<int>(digests.size());
  result.contents = contentsText(result.parts, tree.contentBytes(), parts.totalBytes(),
                                 result.indexDigest);
  return result;
}

// Line 0 is a header the module skips: id, name, version, part count, package bytes.
std::string NormalPackager::indexText(const std::vector<std::string>& partDigests,
                                      uint64_t packageBytes) const {
  IndexText text;
  text.addLine({m_options.id, m_options.name, m_options.version,
                std::to_string(partDigests.size()), std::to_string(packageBytes)},
               "the index header");
  text.addLine(m_options.sysFiles.empty() ? std::vector<std::string>{""} : m_options.sysFiles,
               "the system file list");
  for (size_t i = 0; i < partDigests.size(); ++i) {
    text.addLine({std::to_string(i), partDigests[i]}, "a part line");
  }
  return text.bytes();
}

// Total size: the KiB a job needs on disk, the parts it keeps plus the unpacked content, which
// is what the module's disk check compares with the free space.
std::string NormalPackager::contentsText(int parts, uint64_t contentBytes, uint64_t packageBytes,
                                         const std::string& indexDigest) const {
  const uint64_t total = kibibytes(contentBytes) + kibibytes(packageBytes);
  if (total > 2147483647) throw PackError("the package is too large for the contents text");
  const NormalOptions& o = m_options;
  const std::vector<std::string> fields = {
      o.id, o.name, o.version, o.baseFolder, o.description, o.agree ? "Y" : "N",
      o.isPublic ? "Y" : "N", o.execFile, o.execOptions, o.execUser, o.regFile,
      std::to_string(parts), std::to_string(total), "N", indexDigest, o.swId, o.kind,
      o.platform, std::to_string(kibibytes(packageBytes)), "0"};
  std::string text;
  for (size_t i = 0; i < fields.size(); ++i) text += (i == 0 ? "" : "|$") + fields[i];
  return text;
}

}  // namespace cvdt::pack

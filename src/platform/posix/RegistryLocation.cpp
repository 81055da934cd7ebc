// Where keys live in the registry store: root aliases, the merged classes view and the WOW64
// redirection of a 64-bit machine with its shared keys.
#include "platform/posix/RegistryLocation.h"

#include <pwd.h>
#include <unistd.h>

#include <mutex>
#include <vector>

#include "platform/AsciiText.h"
#include "platform/PlatformSystem.h"

namespace plat::posix {
namespace {

using Parts = std::vector<std::string>;

// Keys below HKLM\SOFTWARE that Windows 7 and later keep as one key for both views (the
// WOW64 list of shared keys); their subkeys are shared too. Everything else below SOFTWARE is
// redirected to SOFTWARE\WOW6432Node for 32-bit callers, except Classes (below).
constexpr const char* kSharedSoftwareKeys[] = {
    "Clients",
    "Microsoft\\COM3",
    "Microsoft\\Cryptography\\Calais\\Current",
    "Microsoft\\Cryptography\\Calais\\Readers",
    "Microsoft\\Cryptography\\Services",
    "Microsoft\\CTF\\SystemShared",
    "Microsoft\\CTF\\TIP",
    "Microsoft\\DFS",
    "Microsoft\\Driver Signing",
    "Microsoft\\EnterpriseCertificates",
    "Microsoft\\EventSystem",
    "Microsoft\\MSMQ",
    "Microsoft\\Non-Driver Signing",
    "Microsoft\\Notepad\\DefaultFonts",
    "Microsoft\\OLE",
    "Microsoft\\RAS",
    "Microsoft\\RPC",
    "Microsoft\\Shared Tools\\MSInfo",
    "Microsoft\\SystemCertificates",
    "Microsoft\\TermServLicensing",
    "Microsoft\\Transaction Server",
    "Microsoft\\Windows\\CurrentVersion\\App Paths",
    "Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cursors\\Schemes",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap",
    "Microsoft\\Windows\\CurrentVersion\\Group Policy",
    "Microsoft\\Windows\\CurrentVersion\\Policies",
    "Microsoft\\Windows\\CurrentVersion\\PreviewHandlers",
    "Microsoft\\Windows\\CurrentVersion\\Setup",
    "Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations",
    "Microsoft\\Windows NT\\CurrentVersion\\Console",
    "Microsoft\\Windows NT\\CurrentVersion\\FontDpi",
    "Microsoft\\Windows NT\\CurrentVersion\\FontLink",
    "Microsoft\\Windows NT\\CurrentVersion\\FontMapper",
    "Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    "Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
    "Microsoft\\Windows NT\\CurrentVersion\\Gre_Initialize",
    "Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
    "Microsoft\\Windows NT\\CurrentVersion\\LanguagePack",
    "Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
    "Microsoft\\Windows NT\\CurrentVersion\\Perflib",
    "Microsoft\\Windows NT\\CurrentVersion\\Ports",
    "Microsoft\\Windows NT\\CurrentVersion\\Print",
    "Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
    "Microsoft\\Windows NT\\CurrentVersion\\Time Zones",
    "Policies",
    "RegisteredApplications",
};

// The classes keys (machine's and user's) that stay apart per view: the 32-bit view finds them
// under Classes\WOW6432Node. Every other classes key is shared.
constexpr const char* kRedirectedClassesKeys[] = {"CLSID", "DirectShow", "Interface",
                                                  "Media Type", "MediaFoundation"};

Parts splitPath(const std::string& path) {
  Parts parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string joinPath(std::string base, const Parts& parts) {
  for (const std::string& part : parts) base += "\\" + part;
  return base;
}

bool isNamed(const Parts& parts, size_t index, const char* name) {
  return index < parts.size() && equalsAsciiNoCase(parts[index], name);
}

// Whether parts, from index on, start with every key name of prefix.
bool startsWith(const Parts& parts, size_t index, const char* prefix) {
  for (const std::string& name : splitPath(prefix)) {
    if (!isNamed(parts, index++, name.c_str())) return false;
  }
  return true;
}

// parts[classes] is a "Classes" key: its redirected subkeys move below Classes\WOW6432Node.
void redirectClasses(Parts& parts, size_t classes) {
  size_t next = classes + 1;
  for (const char* name : kRedirectedClassesKeys) {
    if (isNamed(parts, next, name)) {
      parts.insert(parts.begin() + static_cast<std::ptrdiff_t>(next), "WOW6432Node");
      return;
    }
  }
}

// parts[software] is HKLM's "SOFTWARE" key, seen from the 32-bit view.
void redirectSoftware(Parts& parts, size_t software) {
  size_t next = software + 1;
  if (isNamed(parts, next, "WOW6432Node")) return;  // named explicitly
  if (isNamed(parts, next, "Classes")) return redirectClasses(parts, next);
  for (const char* shared : kSharedSoftwareKeys) {
    if (startsWith(parts, next, shared)) return;
  }
  parts.insert(parts.begin() + static_cast<std::ptrdiff_t>(next), "WOW6432Node");
}

bool wantsThirtyTwoBitView(uint32_t access) {
  if (!isNative64Bit()) return false;
  return (access & kKeyWow64_32Key) != 0 ||
         ((access & kKeyWow64_64Key) == 0 && !isProcess64Bit());
}

}  // namespace

std::string currentUserHive() {
  static std::mutex mutex;
  static uid_t cachedUid = static_cast<uid_t>(-1);
  static std::string cachedHive;
  uid_t uid = geteuid();
  if (uid == 0) return "HKEY_USERS\\.DEFAULT";
  std::lock_guard<std::mutex> lock(mutex);
  if (uid != cachedUid || cachedHive.empty()) {
    passwd* entry = getpwuid(uid);
    cachedHive = "HKEY_USERS\\" + (entry != nullptr ? std::string(entry->pw_name)
                                                    : "uid-" + std::to_string(uid));
    cachedUid = uid;
  }
  return cachedHive;
}

RegistryLocation locateRegistryKey(RegRoot root, const std::string& path, uint32_t access) {
  Parts parts = splitPath(path);
  bool view32 = wantsThirtyTwoBitView(access);
  RegistryLocation location;
  location.isRoot = parts.empty();
  switch (root) {
    case RegRoot::LocalMachine:
      if (view32 && isNamed(parts, 0, "SOFTWARE")) redirectSoftware(parts, 0);
      location.path = joinPath("HKEY_LOCAL_MACHINE", parts);
      break;
    case RegRoot::CurrentUser:
      if (view32 && isNamed(parts, 0, "Software") && isNamed(parts, 1, "Classes"))
        redirectClasses(parts, 1);
      location.path = joinPath(currentUserHive(), parts);
      break;
    case RegRoot::Users:
      if (view32 && isNamed(parts, 1, "Software") && isNamed(parts, 2, "Classes"))
        redirectClasses(parts, 2);
      location.path = joinPath("HKEY_USERS", parts);
      break;
    case RegRoot::ClassesRoot:
      if (view32) {
        parts.insert(parts.begin(), "Classes");
        redirectClasses(parts, 0);
        parts.erase(parts.begin());
      }
      location.path = joinPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes", parts);
      location.overlayPath = joinPath(currentUserHive() + "\\Software\\Classes", parts);
      break;
    default:
      location.path = joinPath(regRootName(root), parts);
      break;
  }
  return location;
}

}  // namespace plat::posix

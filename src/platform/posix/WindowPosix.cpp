// Window lookup of the Linux backend: the top-level windows of the X display named by DISPLAY.
// libX11 is loaded at run time, so nothing links against it and a machine without it (or
// without a display) simply has no windows. A window's title is _NET_WM_NAME or WM_NAME, its
// class either half of WM_CLASS. Under a reparenting window manager the client window sits
// one level below the frame, so children of nameless top-level windows are looked at too.
#include <dlfcn.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/PlatformWindow.h"

namespace plat {
namespace {

// The few Xlib types and calls used here, declared with their C ABI.
struct XDisplay;
using XWindow = unsigned long;
using XAtom = unsigned long;
struct XClassHintAbi {
  char* resName;
  char* resClass;
};
using XErrorHandlerAbi = int (*)(XDisplay*, void*);

struct XApi {
  XDisplay* (*openDisplay)(const char*) = nullptr;
  int (*closeDisplay)(XDisplay*) = nullptr;
  XWindow (*defaultRootWindow)(XDisplay*) = nullptr;
  int (*queryTree)(XDisplay*, XWindow, XWindow*, XWindow*, XWindow**, unsigned*) = nullptr;
  int (*fetchName)(XDisplay*, XWindow, char**) = nullptr;
  int (*getClassHint)(XDisplay*, XWindow, XClassHintAbi*) = nullptr;
  XAtom (*internAtom)(XDisplay*, const char*, int) = nullptr;
  int (*getWindowProperty)(XDisplay*, XWindow, XAtom, long, long, int, XAtom, XAtom*, int*,
                           unsigned long*, unsigned long*, unsigned char**) = nullptr;
  int (*free)(void*) = nullptr;
  XErrorHandlerAbi (*setErrorHandler)(XErrorHandlerAbi) = nullptr;
  int (*sync)(XDisplay*, int) = nullptr;
  bool loaded = false;
};

template <typename T>
bool take(void* library, const char* name, T& out) {
  out = reinterpret_cast<T>(dlsym(library, name));
  return out != nullptr;
}

// Loaded once and kept for the life of the process (unloading Xlib is not safe).
const XApi& xApi() {
  static XApi api;
  static std::once_flag once;
  std::call_once(once, [] {
    void* library = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return;
    api.loaded = take(library, "XOpenDisplay", api.openDisplay) &&
                 take(library, "XCloseDisplay", api.closeDisplay) &&
                 take(library, "XDefaultRootWindow", api.defaultRootWindow) &&
                 take(library, "XQueryTree", api.queryTree) &&
                 take(library, "XFetchName", api.fetchName) &&
                 take(library, "XGetClassHint", api.getClassHint) &&
                 take(library, "XInternAtom", api.internAtom) &&
                 take(library, "XGetWindowProperty", api.getWindowProperty) &&
                 take(library, "XFree", api.free) &&
                 take(library, "XSetErrorHandler", api.setErrorHandler) &&
                 take(library, "XSync", api.sync);
  });
  return api;
}

// Windows may vanish while they are looked at; Xlib's default handler would end the process.
int ignoreXError(XDisplay*, void*) { return 0; }

class WindowSearch {
 public:
  WindowSearch(const XApi& api, XDisplay* display, const char* className, const char* title)
      : m_api(api), m_display(display), m_className(className), m_title(title) {
    m_netWmName = api.internAtom(display, "_NET_WM_NAME", 0);
    m_utf8 = api.internAtom(display, "UTF8_STRING", 0);
  }

  // Looks at the children of parent, and one level further below nameless ones.
  XWindow search(XWindow parent, int depth) {
    XWindow root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    if (m_api.queryTree(m_display, parent, &root, &up, &children, &count) == 0) return 0;
    XWindow found = 0;
    for (unsigned i = 0; i < count && found == 0; ++i) {
      bool named = false;
      if (matches(children[i], named)) found = children[i];
      else if (!named && depth > 0) found = search(children[i], depth - 1);
    }
    if (children != nullptr) m_api.free(children);
    return found;
  }

 private:
  std::string title(XWindow window, bool& named) {
    std::string text;
    XAtom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (m_api.getWindowProperty(m_display, window, m_netWmName, 0, 4096, 0, m_utf8, &type, &format,
                                &items, &after, &data) == 0 && data != nullptr) {
      if (type == m_utf8 && format == 8) {
        text.assign(reinterpret_cast<char*>(data), items);
        named = true;
      }
      m_api.free(data);
    }
    if (named) return text;
    char* name = nullptr;
    if (m_api.fetchName(m_display, window, &name) != 0 && name != nullptr) {
      text = name;
      named = true;
      m_api.free(name);
    }
    return text;
  }

  bool classMatches(XWindow window) {
    XClassHintAbi hint{nullptr, nullptr};
    if (m_api.getClassHint(m_display, window, &hint) == 0) return false;
    bool equal = (hint.resName != nullptr && strcasecmp(hint.resName, m_className) == 0) ||
                 (hint.resClass != nullptr && strcasecmp(hint.resClass, m_className) == 0);
    if (hint.resName != nullptr) m_api.free(hint.resName);
    if (hint.resClass != nullptr) m_api.free(hint.resClass);
    return equal;
  }

  bool matches(XWindow window, bool& named) {
    std::string text = title(window, named);
    if (m_title != nullptr && (!named || strcasecmp(text.c_str(), m_title) != 0)) return false;
    return m_className == nullptr || classMatches(window);
  }

  const XApi& m_api;
  XDisplay* m_display;
  const char* m_className;
  const char* m_title;
  XAtom m_netWmName = 0;
  XAtom m_utf8 = 0;
};

}  // namespace

WindowHandle findWindow(const char* className, const char* windowName) {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return 0;
  const XApi& api = xApi();
  if (!api.loaded) return 0;
  // The error handler is process-wide in Xlib; searches take turns.
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  XDisplay* display = api.openDisplay(name);
  if (display == nullptr) return 0;
  XErrorHandlerAbi previous = api.setErrorHandler(ignoreXError);
  XWindow found = WindowSearch(api, display, className, windowName)
                      .search(api.defaultRootWindow(display), 1);
  api.sync(display, 0);
  api.setErrorHandler(previous);
  api.closeDisplay(display);
  return static_cast<WindowHandle>(found);
}

}  // namespace plat

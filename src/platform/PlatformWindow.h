// Top-level windows of the interactive desktop, looked up by class and title (FindWindowA).
#pragma once

#include <cstdint>

namespace plat {

using WindowHandle = uintptr_t;

// FindWindowA: the first top-level window whose title equals windowName and, when className is
// not null, whose class equals className; both compare ignoring case. A null windowName matches
// every title. 0 when there is no such window or no desktop to look at.
WindowHandle findWindow(const char* className, const char* windowName);

}  // namespace plat

// crvmsg.exe "FIRST" "SECOND" "STYLE" on Windows: a real message box (MessageBoxA) with the
// requested style, both texts in it, the first one on top. Ends with the pressed button's id
// (6 = Yes, 7 = No, 1 = OK, ...); bad arguments, or a box that cannot be shown, end with 0,
// MessageBox's failure value.
#include <windows.h>

#include <string>

#include "MessageStyle.h"

namespace {

constexpr const char* kTitle = "Corvane";
constexpr int kExitFailed = 0;

std::string messageText(const std::string& first, const std::string& second) {
  if (first.empty() || second.empty()) return first + second;
  return first + "\r\n\r\n" + second;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  uint32_t style = 0;
  if (__argc != 4 || !MessageStyle::parse(__argv[3], style)) return kExitFailed;
  return MessageBoxA(nullptr, messageText(__argv[1], __argv[2]).c_str(), kTitle, style);
}

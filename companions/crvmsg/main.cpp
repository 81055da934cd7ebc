// crvmsg.exe "FIRST" "SECOND" "STYLE": the message program. Shows both texts in a message box
// with the MessageBox style's buttons and ends with the pressed button's id (6 = Yes, 7 = No,
// 1 = OK, ...). Where no box can be shown it answers as a user who closed the box without a
// choice and says so on standard error; bad arguments end with 0, MessageBox's failure value.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "MessageStyle.h"
#include "XMessageDialog.h"
#include "platform/PlatformProcess.h"

namespace {

constexpr const char* kTitle = "Corvane";
constexpr uint32_t kExitFailed = 0;

[[noreturn]] void answerClosed(const MessageStyle& style, const std::string& why) {
  std::fprintf(stderr, "crvmsg.exe: %s: answering %d, as a box closed without a choice\n",
               why.c_str(), style.closedAnswer());
  plat::exitProcess(static_cast<uint32_t>(style.closedAnswer()));
}

// Callers put the message in either text (a question with its caption after it, or a reason
// followed by the explanation), so the box shows both, the first one on top.
std::string messageText(const std::string& first, const std::string& second) {
  if (first.empty() || second.empty()) return first + second;
  return first + "\n\n" + second;
}

bool isHidden() {
  const char* show = std::getenv("CVDT_SHOW_WINDOW");
  return show != nullptr && std::strcmp(show, "0") == 0;
}

bool hasDisplay() {
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && display[0] != '\0';
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t styleBits = 0;
  if (argc != 4 || !MessageStyle::parse(argv[3], styleBits)) {
    std::fprintf(stderr, "crvmsg.exe: usage: crvmsg.exe \"FIRST\" \"SECOND\" \"STYLE\" "
                         "(STYLE a MessageBox style number)\n");
    plat::exitProcess(kExitFailed);
  }
  MessageStyle style(styleBits);
  if (isHidden()) answerClosed(style, "started hidden, nothing shown");
  if (!hasDisplay()) answerClosed(style, "no display (DISPLAY is not set)");
  int answer = 0;
  if (plat::Status s = XMessageDialog::show(kTitle, messageText(argv[1], argv[2]), style, answer);
      !s) {
    answerClosed(style, s.message());
  }
  plat::exitProcess(static_cast<uint32_t>(answer));
}

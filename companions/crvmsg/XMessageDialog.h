// A message box on the X display, drawn by xmessage (Debian package x11-utils).
#pragma once

#include <string>

#include "MessageStyle.h"
#include "platform/Status.h"

class XMessageDialog {
 public:
  // Shows text in a centred window titled title with the style's buttons (Return presses the
  // default one) and waits for it. On success answer is the pressed button's id, or the style's
  // closed answer when the window was closed without a choice. A failure with a one-line reason
  // when the box could not be shown (xmessage missing, display unreachable); answer is then
  // unchanged.
  static plat::Status show(const std::string& title, const std::string& text,
                           const MessageStyle& style, int& answer);
};

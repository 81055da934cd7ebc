// The Win32 progress window of cvdtndlg.exe.
#include "ProgressWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr int kWidth = 460;
constexpr int kHeight = 170;
constexpr int kMargin = 12;
constexpr int kExitNoRecord = 3;

std::string captionOf(const DialogTitle& title) {
  return title.caption.empty() ? "Software distribution" : title.caption;
}

std::string headingOf(const DialogTitle& title) {
  std::string heading = title.name;
  if (!title.version.empty()) heading += " " + title.version;
  if (!title.description.empty()) heading += "\r\n" + title.description;
  return heading;
}

std::string statusOf(const DialogFrame& frame) {
  std::string text = frame.status.empty() ? std::string("---") : frame.status;
  if (!frame.message.empty()) text += "  " + frame.message;
  return text;
}

HWND addChild(HWND parent, HINSTANCE instance, const char* windowClass, int id, int top,
              int height) {
  return CreateWindowExA(0, windowClass, "", WS_CHILD | WS_VISIBLE, kMargin, top,
                         kWidth - 3 * kMargin, height, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

}  // namespace

ProgressWindow::ProgressWindow(const DialogCommandLine& line, const DialogRecordReader& reader)
    : m_line(line), m_follower(line, reader, RecordFollower::Clock::now()) {}

int ProgressWindow::run(HINSTANCE instance, int show) {
  if (!create(instance, show)) return 1;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return m_nExitCode;
}

bool ProgressWindow::create(HINSTANCE instance, int show) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &ProgressWindow::onMessage;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  if (RegisterClassExA(&windowClass) == 0) return false;
  m_window = CreateWindowExA(WS_EX_TOPMOST, kWindowClass, captionOf(m_line.title()).c_str(),
                             WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT, kWidth,
                             kHeight, nullptr, nullptr, instance, this);
  if (m_window == nullptr) return false;
  addControls(instance);
  ShowWindow(m_window, show);
  onTimer();  // the first state at once, not after one interval
  SetTimer(m_window, kTimerId, static_cast<UINT>(std::max(10, m_line.intervalMs())), nullptr);
  return true;
}

void ProgressWindow::addControls(HINSTANCE instance) {
  HWND title = addChild(m_window, instance, "STATIC", kTitleId, kMargin, 36);
  SetWindowTextA(title, headingOf(m_line.title()).c_str());
  m_bar = addChild(m_window, instance, PROGRESS_CLASSA, kBarId, kMargin + 44, 20);
  SendMessageA(m_bar, PBM_SETRANGE32, 0, 100);
  m_status = addChild(m_window, instance, "STATIC", kStatusId, kMargin + 72, 36);
}

void ProgressWindow::onTimer() {
  RecordFollower::Poll poll = m_follower.poll(RecordFollower::Clock::now());
  if (poll.changed) showFrame(m_follower.frame());
  if (poll.outcome == RecordFollower::Outcome::NoRecord) end(kExitNoRecord);
  if (poll.outcome == RecordFollower::Outcome::Ended) end(0);
}

void ProgressWindow::showFrame(const DialogFrame& frame) {
  SendMessageA(m_bar, PBM_SETPOS, std::min<uint32_t>(frame.progress, 100), 0);
  SetWindowTextA(m_status, statusOf(frame).c_str());
}

void ProgressWindow::end(int exitCode) {
  m_nExitCode = exitCode;
  KillTimer(m_window, kTimerId);
  DestroyWindow(m_window);
}

LRESULT CALLBACK ProgressWindow::onMessage(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_TIMER:
      if (self != nullptr && wParam == kTimerId) self->onTimer();
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

// ProgressWindow: the Windows face of cvdtndlg.exe. A dialog-like window with the job's title,
// a progress bar and the status text, redrawn from the registry record at every interval until
// the job has ended (RecordFollower decides when). The window's class is kWindowClass, so that
// tools and tests find it.
#pragma once

#include <windows.h>

#include "DialogCommandLine.h"
#include "DialogRecordReader.h"
#include "RecordFollower.h"

class ProgressWindow {
 public:
  static constexpr const char* kWindowClass = "CvdtProgressDialog";
  // Control ids of the children, for tools and tests.
  static constexpr int kTitleId = 101;
  static constexpr int kBarId = 102;
  static constexpr int kStatusId = 103;

  ProgressWindow(const DialogCommandLine& line, const DialogRecordReader& reader);

  // Shows the window and runs its message loop; returns the program's exit code: 0 once the
  // job has ended or the window was closed, 3 when no record appeared in time.
  int run(HINSTANCE instance, int show);

 private:
  static LRESULT CALLBACK onMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool create(HINSTANCE instance, int show);
  void addControls(HINSTANCE instance);
  void onTimer();
  void showFrame(const DialogFrame& frame);
  void end(int exitCode);

  const DialogCommandLine& m_line;
  RecordFollower m_follower;
  HWND m_window = nullptr;
  HWND m_bar = nullptr;
  HWND m_status = nullptr;
  int m_nExitCode = 0;
};

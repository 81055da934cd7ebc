// cvdtndlg.exe on Windows: the commanded progress dialog as a window (see ProgressWindow). The
// command line is the same as on Linux; --once reads the record once and ends with 0, or with
// 3 when there is none.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "DialogCommandLine.h"
#include "DialogRecordReader.h"
#include "ProgressWindow.h"

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitWrongToken = 2;
constexpr int kExitNoRecord = 3;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  DialogCommandLine line;
  std::string error;
  DialogCommandLine::Result result =
      DialogCommandLine::parse(std::vector<std::string>(__argv + 1, __argv + __argc), line, error);
  if (result != DialogCommandLine::Result::Ok)
    return result == DialogCommandLine::Result::WrongToken ? kExitWrongToken : kExitUsage;
  DialogRecordReader reader(line.distId());
  if (line.once()) {
    DialogFrame frame;
    return reader.read(frame) ? 0 : kExitNoRecord;
  }
  ProgressWindow window(line, reader);
  return window.run(instance, show);
}

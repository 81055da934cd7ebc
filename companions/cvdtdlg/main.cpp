// cvdtdlg.exe: the automatic progress dialog. Started by the module with its launch token, it
// shows the automatic worker's published state (every item and the current status detail) and
// redraws it whenever it changes, until the manager ends the program. Without a graphical view
// it draws on its terminal.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "ADistStateReader.h"
#include "DtDlgCommandLine.h"
#include "TerminalStateView.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitUsage = 1;
constexpr int kExitWrongToken = 2;
constexpr int kExitNoState = 3;

volatile std::sig_atomic_t g_stopRequested = 0;

void requestStop(int) { g_stopRequested = 1; }

bool sameView(const ADistDialogState& a, const ADistDialogState& b) {
  return TerminalStateView::render(a) == TerminalStateView::render(b);
}

// Redraws whenever the counter moves or the block reads differently (the worker writes the
// counter first, so a reader may see a new counter with the old block once).
void follow(const DtDlgCommandLine& line, const ADistStateReader& reader, TerminalStateView& view) {
  ADistDialogState shown;
  bool seen = false;
  while (!g_stopRequested) {
    ADistDialogState state;
    if (reader.read(state) && (!seen || state.counter != shown.counter || !sameView(state, shown))) {
      view.show(state);
      shown = state;
      seen = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(line.intervalMs()));
  }
}

}  // namespace

int main(int argc, char** argv) {
  DtDlgCommandLine line;
  std::string error;
  DtDlgCommandLine::Result result =
      DtDlgCommandLine::parse(std::vector<std::string>(argv + 1, argv + argc), line, error);
  if (result != DtDlgCommandLine::Result::Ok) {
    std::fprintf(stderr, "cvdtdlg.exe: %s\n", error.c_str());
    if (result == DtDlgCommandLine::Result::Usage)
      std::fprintf(stderr, "usage: cvdtdlg.exe [--once] [--interval-ms N] TOKEN\n");
    return result == DtDlgCommandLine::Result::WrongToken ? kExitWrongToken : kExitUsage;
  }
  ADistStateReader reader;
  TerminalStateView view(stdout, isatty(STDOUT_FILENO) != 0);
  if (line.once()) {
    ADistDialogState state;
    if (!reader.read(state)) {
      std::fprintf(stderr, "cvdtdlg.exe: no state \"dtdlg_cfg\" under HKLM\\SOFTWARE\\Plumbex\\Corvane\n");
      return kExitNoState;
    }
    view.show(state);
    return kExitDone;
  }
  std::signal(SIGTERM, requestStop);
  std::signal(SIGINT, requestStop);
  std::signal(SIGHUP, requestStop);
  follow(line, reader, view);
  return kExitDone;
}

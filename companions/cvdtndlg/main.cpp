// cvdtndlg.exe: the commanded progress dialog. Started by the module for one distribution, it
// shows the job's registry record (progress, status, message) until the job has ended, the
// record goes away, or the manager ends the program. Without a graphical view it draws on its
// terminal.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "DialogCommandLine.h"
#include "DialogRecordReader.h"
#include "RecordFollower.h"
#include "TerminalProgressView.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitUsage = 1;
constexpr int kExitWrongToken = 2;
constexpr int kExitNoRecord = 3;

volatile std::sig_atomic_t g_stopRequested = 0;

void requestStop(int) { g_stopRequested = 1; }

int noRecord(const DialogRecordReader& reader) {
  std::fprintf(stderr, "cvdtndlg.exe: no progress record \"%s\" under HKLM\\SOFTWARE\\Plumbex\\Corvane\n",
               reader.recordName().c_str());
  return kExitNoRecord;
}

int showOnce(const DialogCommandLine& line, const DialogRecordReader& reader,
             TerminalProgressView& view) {
  DialogFrame frame;
  if (!reader.read(frame)) return noRecord(reader);
  view.showTitle(line.title());
  view.showFrame(frame);
  view.finish();
  return kExitDone;
}

// Draws every change until the job has ended (and the linger time has passed), the record was
// removed, or a stop was requested.
int follow(const DialogCommandLine& line, const DialogRecordReader& reader,
           TerminalProgressView& view) {
  view.showTitle(line.title());
  RecordFollower follower(line, reader, RecordFollower::Clock::now());
  while (!g_stopRequested) {
    RecordFollower::Poll poll = follower.poll(RecordFollower::Clock::now());
    if (poll.changed) view.showFrame(follower.frame());
    if (poll.outcome == RecordFollower::Outcome::NoRecord) {
      view.finish();
      return noRecord(reader);
    }
    if (poll.outcome == RecordFollower::Outcome::Ended) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(line.intervalMs()));
  }
  view.finish();
  return kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  DialogCommandLine line;
  std::string error;
  DialogCommandLine::Result result =
      DialogCommandLine::parse(std::vector<std::string>(argv + 1, argv + argc), line, error);
  if (result != DialogCommandLine::Result::Ok) {
    std::fprintf(stderr, "cvdtndlg.exe: %s\n", error.c_str());
    if (result == DialogCommandLine::Result::Usage)
      std::fprintf(stderr, "usage: cvdtndlg.exe [--once] [--interval-ms N] [--linger-ms N] "
                           "[--wait-ms N] TOKEN DIST_ID [\"NAME\" \"VERSION\" \"DESCRIPTION\" "
                           "\"PARAMETER\" \"AGREE\" \"ACTOR\" \"ACTOR_PID\"]\n");
    return result == DialogCommandLine::Result::WrongToken ? kExitWrongToken : kExitUsage;
  }
  DialogRecordReader reader(line.distId());
  TerminalProgressView view(stdout, isatty(STDOUT_FILENO) != 0);
  if (line.once()) return showOnce(line, reader, view);
  std::signal(SIGTERM, requestStop);
  std::signal(SIGINT, requestStop);
  std::signal(SIGHUP, requestStop);
  return follow(line, reader, view);
}

#include "support/XServer.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace cvdt::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string lockOf(int number) { return "/tmp/.X" + std::to_string(number) + "-lock"; }

}  // namespace

bool onPath(const std::string& program) {
  return std::system(("command -v '" + program + "' >/dev/null 2>&1").c_str()) == 0;
}

XServer::XServer() {
  m_number = 200 + getpid() % 700;
  for (int attempt = 0; attempt < 20 && !startOn(m_number); ++attempt) ++m_number;
}

XServer::~XServer() { stop(); }

bool XServer::answers() const {
  std::string probe = "xdpyinfo -display " + display() + " >/dev/null 2>&1";
  return ownsLock() && fs::exists("/tmp/.X11-unix/X" + std::to_string(m_number)) &&
         std::system(probe.c_str()) == 0;
}

// -noreset: by default the server resets when its last client (the probe) leaves, and a client
// connecting during the reset is refused.
bool XServer::startOn(int number) {
  if (fs::exists(lockOf(number))) return false;
  stop();
  std::string display = ":" + std::to_string(number);
  m_pid = fork();
  if (m_pid == 0) {
    execlp("Xvfb", "Xvfb", display.c_str(), "-nolisten", "tcp", "-noreset", "-screen", "0",
           "800x600x24", nullptr);
    _exit(127);
  }
  m_bReaped = m_pid < 0;
  for (auto end = Clock::now() + std::chrono::seconds(30); Clock::now() < end;) {
    if (exited()) return false;
    if (answers()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

bool XServer::ownsLock() const {
  std::ifstream lock(lockOf(m_number));
  long pid = 0;
  return !m_bReaped && (lock >> pid) && pid == m_pid;
}

bool XServer::exited() {
  if (!m_bReaped) m_bReaped = waitpid(m_pid, nullptr, WNOHANG) == m_pid;
  return m_bReaped;
}

void XServer::stop() {
  if (m_bReaped) return;
  kill(m_pid, SIGTERM);
  waitpid(m_pid, nullptr, 0);
  m_bReaped = true;
}

}  // namespace cvdt::test

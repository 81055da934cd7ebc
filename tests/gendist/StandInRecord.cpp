// A stand-in program's record: where it lies and how it is read, shared by the Linux and the
// Windows stand-ins.
#include <fstream>
#include <thread>

#include "gendist/StandInProgram.h"

namespace cvdt::test {

std::string standInRecordFile(const std::string& program) { return program + ".run"; }

bool readStandInRecord(const std::string& path, StandInRun& run) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    size_t equals = line.find('=');
    std::string key = line.substr(0, equals);
    std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
    if (key == "arg") run.args.push_back(value);
    else if (key == "uid") run.uid = value;
    else if (key == "cwd") run.cwd = value;
    else if (key == "show") run.show = value;
    else if (key == "session") run.session = value;
  }
  run.ran = true;
  return true;
}

StandInRun standInRun(const std::string& hostPath, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  StandInRun run;
  while (!readStandInRecord(standInRecordFile(hostPath), run) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return run;
}

}  // namespace cvdt::test

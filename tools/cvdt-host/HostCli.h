// HostCli: the command line of cvdt-host, the host agent: its commands on the shared front end.
// The program and the tests run it alike.
#pragma once

namespace cvdt::host {

class HostCli {
 public:
  // Parses argv and runs the command; the exit code (0 done, 1 failed, 2 wrong command line).
  static int run(int argc, char** argv);
};

}  // namespace cvdt::host

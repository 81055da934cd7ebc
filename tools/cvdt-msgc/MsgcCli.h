// MsgcCli: the command line of cvdt-msgc, the message catalogue compiler: cvdt-msgc OUT SRC...
// The program and the tests run it alike.
#pragma once

class MsgcCli {
 public:
  // Exit 0 when the catalogue was written; 1 on a bad source or a write failure (nothing is left
  // at OUT then); 2 on a wrong command line.
  static int run(int argc, char** argv);
};

// cvdt-msgc: compiles the UTF-8 message sources into the UTF-16 catalogue file cvmsg.bin.
#include "MsgcCli.h"

int main(int argc, char** argv) { return MsgcCli::run(argc, argv); }

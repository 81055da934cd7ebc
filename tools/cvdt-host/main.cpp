// cvdt-host: the host agent: lays out emulated Windows machines, loads the module and drives its
// exports, collects its reports.
#include "HostCli.h"

int main(int argc, char** argv) { return cvdt::host::HostCli::run(argc, argv); }

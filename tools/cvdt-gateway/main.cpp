// cvdt-gateway: the database gateway of the distribution module and its admin commands.
#include "GatewayCli.h"

int main(int argc, char** argv) { return cvdt::gateway::GatewayCli::run(argc, argv); }

// cvdt-pack: the server-side packager: builds commanded and automatic packages on a
// distribution server's root, and unpacks and checks them through the agent's extraction library.
#include <clocale>

#include "PackCli.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C.UTF-8");
  return cvdt::pack::PackCli::run(argc, argv);
}

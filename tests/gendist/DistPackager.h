// The packager (cvdt-pack, a Linux program) run for the gendist tests. The Windows test
// programs run it, and the other shell commands of the tests, on the Linux host through Wine:
// a path in a shell command goes through shellPath.
#pragma once

#include <string>

#include "support/LoopbackHttpServer.h"

namespace cvdt::test {

// A path of this test program as the shell of commandOutput names it.
std::string shellPath(const std::string& path);
// Packs the normal distribution of the folder src into the server folder out:
// `cvdt-pack normal --src SRC --out OUT OPTIONS` (options in shell syntax); its output.
std::string packNormal(const std::string& src, const std::string& out, const std::string& options);
// Serves every file below the server folder root at its path there ("/"-separated), the one at
// faultPath with the fault.
void serveFolder(LoopbackHttpServer& server, const std::string& root,
                 const std::string& faultPath = "",
                 ServedFile::Fault fault = ServedFile::Fault::None);
// The value of a "key=value" line of the packager's output, or empty.
std::string outputField(const std::string& output, const std::string& key);

}  // namespace cvdt::test

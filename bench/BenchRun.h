// Small pieces shared by the benchmark programs that time the module against command-line
// tools: wall time, command output, medians, peak memory and serving a folder from the
// loopback HTTP test server with its files in the page cache.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace cvdt::test {
class LoopbackHttpServer;
}

namespace cvdt::bench {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start);

// The whole content of a file; empty when it cannot be read.
std::string readText(const std::string& path);

// What a shell command printed on standard output, or empty when it failed.
std::string outputOf(const std::string& command);

double median(std::vector<double> values);
double best(const std::vector<double>& values);

// A field of /proc/self/status in KiB ("VmHWM:", "VmRSS:"), or -1.
long statusKiB(const char* field);

// Serves each path (relative to root, starting with '/') and reads it once so the runs do not
// wait for the disk.
void serveAndCache(cvdt::test::LoopbackHttpServer& server, const std::string& root,
                   const std::vector<std::string>& paths);

// Every regular file under root as a path starting with '/'.
std::vector<std::string> filesUnder(const std::string& root);

}  // namespace cvdt::bench

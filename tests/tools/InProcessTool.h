// A tool's command line run in this process, as its program's main runs it, with both streams
// captured: the table tests of the command-line parsers need no child process.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "support/Subprocess.h"

namespace cvdt::test {

using ToolMain = int (*)(int, char**);

inline ProcessResult runInProcess(ToolMain tool, const char* program,
                                  const std::vector<std::string>& args) {
  std::vector<std::string> words = {program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  ProcessResult run;
  run.exitStatus = tool(static_cast<int>(words.size()), argv.data());
  std::cout.flush();
  std::fflush(nullptr);
  run.out = testing::internal::GetCapturedStdout();
  run.err = testing::internal::GetCapturedStderr();
  return run;
}

}  // namespace cvdt::test

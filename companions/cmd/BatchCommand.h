// What "CMD.EXE /c ..." names: the batch file and the arguments it gets.
#pragma once

#include <string>
#include <vector>

#include "platform/Status.h"

class BatchCommand {
 public:
  // Reads the interpreter's arguments (without the program name). The batch text after /c
  // comes either as separate arguments ("/c", "C:\x\a.bat", "one") or as one argument that
  // holds the batch path and its options ("/c", "C:\Program Files\x\a.bat one two"); in the
  // second form the batch path is the shortest leading part that names an existing file.
  // A failure with a one-line reason when there is no /c or nothing after it; out is then
  // unchanged.
  static plat::Status parse(const std::vector<std::string>& arguments, BatchCommand& out);

  // Host path of a path as the interpreter takes it: a host path ("/...") as it is, a Windows
  // path mapped into the machine, anything else relative to the current folder.
  static std::string hostPath(const std::string& path);
  static bool isFile(const std::string& path);

  const std::string& batchPath() const { return m_strBatchPath; }
  const std::vector<std::string>& arguments() const { return m_arguments; }

 private:
  void takeCombined(const std::string& text);

  std::string m_strBatchPath;
  std::vector<std::string> m_arguments;
};

// The command line of cvdtndlg.exe: options for tests and tools, then what the module passes,
//   [--once] [--interval-ms N] [--linger-ms N] [--wait-ms N]
//   TOKEN DIST_ID "NAME" "VERSION" "DESCRIPTION" "PARAMETER" "AGREE" "ACTOR" "ACTOR_PID"
// where TOKEN must be the module's launch token. The quoted texts may be left out from the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DialogFrame.h"
#include "platform/Status.h"

class DialogCommandLine {
 public:
  static constexpr const char* kLaunchToken = "7E2A9F04B13D";

  enum class Result { Ok, Usage, WrongToken };

  // Reads the arguments (without the program name). On Usage or WrongToken, error says why and
  // out is unchanged.
  static Result parse(const std::vector<std::string>& arguments, DialogCommandLine& out,
                      std::string& error);

  const std::string& distId() const { return m_strDistId; }
  const DialogTitle& title() const { return m_title; }
  bool agree() const { return m_bAgree; }
  uint32_t actorKind() const { return m_nActorKind; }
  uint32_t actorProcessId() const { return m_nActorProcessId; }

  bool once() const { return m_bOnce; }
  int intervalMs() const { return m_nIntervalMs; }
  // How long the dialog stays after the job ended, for a last word (a stop reason) to arrive.
  int lingerMs() const { return m_nLingerMs; }
  // How long the dialog waits for a record that is not there yet.
  int waitMs() const { return m_nWaitMs; }

 private:
  // Takes the option at arguments[i] (and its number, moving i past it); a failure says why.
  plat::Status takeOption(const std::vector<std::string>& arguments, size_t& i);

  std::string m_strDistId;
  DialogTitle m_title;
  bool m_bAgree = false;
  uint32_t m_nActorKind = 0;
  uint32_t m_nActorProcessId = 0;
  bool m_bOnce = false;
  int m_nIntervalMs = 250;
  int m_nLingerMs = 3000;
  int m_nWaitMs = 30000;
};

// What the commanded progress dialog shows: the job's title from its command line and the
// latest state from the job's registry record.
#pragma once

#include <cstdint>
#include <string>

struct DialogTitle {
  std::string caption;  // the host's dialog parameter text; may be empty
  std::string name;
  std::string version;
  std::string description;
};

struct DialogFrame {
  uint32_t counter = 0;   // the job's update counter; 0 when it has written none
  uint32_t progress = 0;  // percent
  std::string status;     // "070" running, "060" done, "040" failed, ...
  std::string message;

  // The job has ended, successfully or not.
  bool isFinal() const { return status == "060" || status == "040"; }
  // Whether both frames look the same. The counter is left out: the job writes it before the
  // record, so a reader may see the new counter with the old record.
  bool showsSameAs(const DialogFrame& other) const {
    return progress == other.progress && status == other.status && message == other.message;
  }
};

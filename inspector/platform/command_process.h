// The command of --run: started as a shell starts a job, waited for, and
// ended with every process it started.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "error_chain.h"

struct EnvironmentSetting {
  std::string name;
  std::string value;
};

class CommandProcesses {
 public:
  virtual ~CommandProcesses() = default;
  // Blocks until the command's own process has ended and gives its status as
  // a shell does: the exit code, or 128 + the number of the signal that ended
  // it. Called once, from one thread.
  virtual int wait() = 0;
  // A process of the run that may have left the command's group (it said so
  // itself), so that end_all ends it too. Any thread.
  virtual void adopt(int pid) = 0;
  // Ends whatever is left of the command: its own process, every process it
  // started and every adopted one; asks first, then forces after a moment.
  // Returns once they are gone, or after about two seconds. Any thread, any
  // number of times.
  virtual void end_all() = 0;
};

// Starts `argv` (its first word looked up on PATH) with `settings` added to
// this program's environment, with this program's standard streams. On a
// terminal the command has the foreground while it runs, as a shell's job:
// Ctrl+C goes to it and not to the window.
Result<std::unique_ptr<CommandProcesses>> start_command(
    const std::vector<std::string>& argv, const std::vector<EnvironmentSetting>& settings);

// Whether a process with this id exists.
bool process_running(int pid);

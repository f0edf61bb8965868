// What runs beside the window with --run and --all: the list of targets kept
// current and handed to the page's hub, and the command's processes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "error_chain.h"

class HubSession {
 public:
  virtual ~HubSession() = default;
  // Once the window exists: hands it the list whenever it changes, and again
  // every second (a page that loaded again has lost it). `run_in_page` may
  // be called from any thread.
  virtual void feed(std::function<void(const std::string& script)> run_in_page) = 0;
  // The user closed the window: ends what is left of the command and gives
  // the status the program ends with.
  virtual int close() = 0;
};

// --run: starts `command` with the inspector in every Node process it
// starts; fails before any window when it cannot be started. The run lives
// as long as the program: its threads read and wait until the end.
Result<HubSession*> run_command(const std::vector<std::string>& command);

// --all: every target the inspector at `address` lists, looked at every half
// second.
std::unique_ptr<HubSession> list_all_targets(std::string address);

// Gives the line that says how the command ended.
std::string command_end_line(int status);

// The environment of the command's processes: NODE_OPTIONS gains the preload
// after what the user set; the endpoint and the secret are the run's.
std::string node_options_with_preload(const std::string& user_options,
                                      const std::string& preload_path);

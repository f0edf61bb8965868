// The line a Node process of a --run writes to the program once its
// inspector listens, and the checks it must pass before the window attaches.
#pragma once

#include <string>
#include <string_view>

#include "error_chain.h"

struct Announcement {
  int pid = 0;
  // Where its inspector takes the window's connection: a loopback ws:// URL.
  std::string ws;
  // The script it runs (its argv[1]), for its name in the window; may be empty.
  std::string script;

  bool operator==(const Announcement&) const = default;
};

// What the preload writes: a JSON object with "secret", "pid", "ws" and
// "script". Anything else is refused: a secret other than the run's (a
// process of another run, or no process of ours), a URL that is not a
// loopback WebSocket, a pid that is no positive number.
Result<Announcement> read_announcement(std::string_view line, std::string_view secret);

// A new secret for a run: 32 random bytes as hex.
std::string new_run_secret();

// Where the processes of a --run announce themselves: a FIFO in a folder of
// its own that only this user may enter (POSIX), or a named pipe (Windows).
// Its name reaches them in the environment, with the run's secret.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "error_chain.h"

// A message is one line of at most this many bytes, written at once: a FIFO
// keeps writes of this size whole between several writers.
inline constexpr size_t kMaxAnnouncementSize = 4096;

class AnnounceEndpoint {
 public:
  virtual ~AnnounceEndpoint() = default;
  // What a process opens to write its line to.
  virtual const std::string& name() const = 0;
  // The script every Node process of the run preloads, in the endpoint's
  // private folder ("/" between names on every system).
  virtual const std::string& preload_path() const = 0;
  // Blocks until the next line, without its "\n"; longer lines are dropped.
  // An error once the endpoint is broken. One thread.
  virtual Result<std::string> next_message() = 0;
  // Removes the folder and what it holds, so that nothing of the run stays
  // behind; no process can announce itself after. Any thread, while another
  // may wait in next_message.
  virtual void remove() = 0;
};

// Makes the private folder with `preload` in it, and the endpoint. Both are
// removed by remove() or when the endpoint is destroyed, which no thread may
// then wait in.
Result<std::unique_ptr<AnnounceEndpoint>> open_announce_endpoint(std::string_view preload);

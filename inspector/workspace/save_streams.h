// Files the frontend saves (profiles, heap snapshots, "Save as"): written
// chunk by chunk to a file beside the chosen one, renamed over it only when
// the frontend closes the stream, so a failure leaves no half-written file
// under the chosen name.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error_chain.h"
#include "file_system.h"

class SaveStreams {
 public:
  explicit SaveStreams(FileSystem& files) : files_(files) {}

  // A save of `url` begins while its destination is asked for; chunks and a
  // close that arrive before the answer wait for it. A new save of the same
  // URL drops the old one.
  void begin(const std::string& url, std::string first_chunk);
  // The user's answer; nothing when cancelled. The error is the first failure.
  Status chosen(const std::string& url, const std::optional<std::string>& path);
  Status append(const std::string& url, std::string_view chunk);
  Status close(const std::string& url);

  // Whether a save of `url` is under way.
  bool open(const std::string& url) const { return streams_.count(url) != 0; }

 private:
  struct Stream {
    bool choosing = true;
    bool closed = false;
    bool failed = false;
    std::vector<std::string> waiting;
    std::unique_ptr<FileWriter> writer;
    std::optional<uint32_t> mode;  // of the file it replaces
  };
  Status write(Stream& stream, std::string_view chunk);
  Status finish(const std::string& url);

  FileSystem& files_;
  std::map<std::string, Stream> streams_;
};

#include "announce_endpoint.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

#include "sys.h"

namespace {

ErrorChain os_error(int code, const std::string& what) {
  return ErrorChain::from_os_error(code, sys::system_error_text(code)).with_context(what);
}

std::string temporary_root() {
  for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    if (auto value = sys::environment_variable(name); value && !value->empty()) return *value;
  }
  return "/tmp";
}

class FifoEndpoint final : public AnnounceEndpoint {
 public:
  FifoEndpoint(std::string folder, std::string fifo, std::string preload, int fd)
      : folder_(std::move(folder)), fifo_(std::move(fifo)), preload_(std::move(preload)), fd_(fd) {}

  ~FifoEndpoint() override {
    remove();
    ::close(fd_);
  }

  // The open end stays: a read waiting on it waits on, as no writer can
  // find the FIFO any more.
  void remove() override {
    std::call_once(removed_, [this] {
      ::unlink(fifo_.c_str());
      ::unlink(preload_.c_str());
      ::rmdir(folder_.c_str());
    });
  }

  const std::string& name() const override { return fifo_; }
  const std::string& preload_path() const override { return preload_; }

  Result<std::string> next_message() override {
    for (;;) {
      if (size_t end = pending_.find('\n'); end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (skipping_) {
          skipping_ = false;  // the rest of an over-long line
          continue;
        }
        if (line.size() <= kMaxAnnouncementSize) return line;
        continue;
      }
      if (pending_.size() > kMaxAnnouncementSize) {
        pending_.clear();
        skipping_ = true;
      }
      char buffer[4096];
      ssize_t got = ::read(fd_, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return os_error(errno, "read the announcements");
      // The endpoint holds a writing end itself, so there is no end of file.
      pending_.append(buffer, static_cast<size_t>(got));
    }
  }

 private:
  std::string folder_;
  std::string fifo_;
  std::string preload_;
  int fd_;
  std::once_flag removed_;
  std::string pending_;
  bool skipping_ = false;
};

}  // namespace

Result<std::unique_ptr<AnnounceEndpoint>> open_announce_endpoint(std::string_view preload) {
  std::string folder = temporary_root() + "/vorpel-run-XXXXXX";
  // mkdtemp makes it 0700: only this user may open what is inside.
  if (::mkdtemp(folder.data()) == nullptr) return os_error(errno, "create " + folder);
  const std::string fifo = folder + "/announce";
  const std::string script = folder + "/preload.js";
  auto fail = [&](const std::string& what) {
    const int error = errno;
    ::unlink(fifo.c_str());
    ::unlink(script.c_str());
    ::rmdir(folder.c_str());
    return os_error(error, what);
  };
  int file = ::open(script.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (file < 0) return fail("create " + script);
  std::string_view rest = preload;
  while (!rest.empty()) {
    ssize_t written = ::write(file, rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) {
      ::close(file);
      return fail("write " + script);
    }
    rest.remove_prefix(static_cast<size_t>(written));
  }
  ::close(file);
  if (::mkfifo(fifo.c_str(), 0600) != 0) return fail("create " + fifo);
  // Read and write: a writer that opens it never waits, and the last one to
  // close brings no end of file.
  int fd = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return fail("open " + fifo);
  return std::unique_ptr<AnnounceEndpoint>(new FifoEndpoint(folder, fifo, script, fd));
}

// rand_s, the system's random numbers, is declared only on request.
#define _CRT_RAND_S
#include <stdlib.h>

#include "announce_endpoint.h"

#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <array>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "win32/os_errors.h"
#include "win32/text.h"

namespace {

// Instances listening at once: a writer that finds them all busy tries again.
constexpr size_t kInstances = 16;
constexpr DWORD kPipeBufferSize = 64 * 1024;
// Lines read but not yet taken; past this the reader has stopped taking them.
constexpr size_t kMaxQueuedLines = 4096;

Result<std::string> random_hex() {
  std::string hex;
  for (int i = 0; i < 4; ++i) {
    unsigned int value = 0;
    if (rand_s(&value) != 0) return ErrorChain::from_message("no random numbers from the system");
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", value);
    hex += digits;
  }
  return hex;
}

// A security descriptor that lets only this user in, for the folder (and what
// is made in it) and the pipe.
class UserOnly {
 public:
  UserOnly() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    alignas(TOKEN_USER) unsigned char buffer[256];
    DWORD size = 0;
    LPWSTR sid = nullptr;
    if (::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
        ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) {
      const std::wstring sddl = L"D:P(A;OICI;FA;;;" + std::wstring(sid) + L")";
      ::LocalFree(sid);
      ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                             &descriptor_, nullptr);
      attributes_.lpSecurityDescriptor = descriptor_;
    }
    ::CloseHandle(token);
  }
  ~UserOnly() { ::LocalFree(descriptor_); }
  UserOnly(const UserOnly&) = delete;
  UserOnly& operator=(const UserOnly&) = delete;

  bool ok() const { return descriptor_ != nullptr; }
  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

// Each client's bytes as lines; an over-long line is skipped to its end, and
// a last piece without "\n" is a writer that stopped mid-line.
class LineSplitter {
 public:
  template <class Take>
  void feed(std::string_view bytes, Take take) {
    while (!bytes.empty()) {
      const size_t end = bytes.find('\n');
      const std::string_view piece = bytes.substr(0, end);
      if (!skipping_) {
        line_ += piece;
        if (line_.size() > kMaxAnnouncementSize) {
          skipping_ = true;
          line_.clear();
        }
      }
      if (end == std::string_view::npos) return;
      if (!skipping_) take(std::move(line_));
      line_.clear();
      skipping_ = false;
      bytes.remove_prefix(end + 1);
    }
  }
  void reset() {
    line_.clear();
    skipping_ = false;
  }

 private:
  std::string line_;
  bool skipping_ = false;
};

struct Instance {
  enum class State { kListening, kConnected, kReading };
  HANDLE pipe = INVALID_HANDLE_VALUE;
  OVERLAPPED overlapped{};
  State state = State::kListening;
  bool pending = false;  // an operation the system still owns
  std::array<char, 8192> buffer;
  LineSplitter lines;
};

class PipeEndpoint final : public AnnounceEndpoint {
 public:
  PipeEndpoint(std::wstring folder, std::string name, std::string preload_path)
      : folder_(std::move(folder)),
        name_(std::move(name)),
        preload_path_(std::move(preload_path)) {}

  ~PipeEndpoint() override {
    remove();
    for (Instance& instance : instances_) {
      if (instance.overlapped.hEvent != nullptr) ::CloseHandle(instance.overlapped.hEvent);
    }
    if (stop_ != nullptr) ::CloseHandle(stop_);
  }

  // The first instance claims the name: no other program can own it before us.
  Status open(SECURITY_ATTRIBUTES* security) {
    stop_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stop_ == nullptr) return os_error(::GetLastError());
    const std::wstring pipe_name = utf16_from_utf8(name_);
    for (size_t i = 0; i < kInstances; ++i) {
      Instance& instance = instances_[i];
      instance.overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
      if (instance.overlapped.hEvent == nullptr) return os_error(::GetLastError());
      instance.pipe = ::CreateNamedPipeW(
          pipe_name.c_str(),
          PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | (i == 0 ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
          PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, kInstances,
          0, kPipeBufferSize, 0, security);
      if (instance.pipe == INVALID_HANDLE_VALUE) return os_error(::GetLastError());
    }
    for (Instance& instance : instances_) listen(instance);
    if (live_ == 0) return ErrorChain::from_message("no pipe instance could listen");
    server_ = std::thread([this] { serve(); });
    return std::nullopt;
  }

  const std::string& name() const override { return name_; }
  const std::string& preload_path() const override { return preload_path_; }

  Result<std::string> next_message() override {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return !lines_.empty() || ended_; });
    if (!lines_.empty()) {
      std::string line = std::move(lines_.front());
      lines_.pop_front();
      return line;
    }
    return *ended_;
  }

  void remove() override {
    std::call_once(removed_, [this] {
      if (server_.joinable()) {
        ::SetEvent(stop_);
        server_.join();
      }
      close_instances();
      remove_folder();
      std::lock_guard lock(mutex_);
      lines_.clear();
      ended_ = ErrorChain::from_message("the announcements' endpoint was removed");
      ready_.notify_all();
    });
  }

 private:
  // One thread drives every instance: each waits for a client, reads it to
  // its end, and waits for the next.
  void serve() {
    std::array<HANDLE, kInstances + 1> events;
    events[0] = stop_;
    for (size_t i = 0; i < kInstances; ++i) events[i + 1] = instances_[i].overlapped.hEvent;
    for (;;) {
      const DWORD which = ::WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(),
                                                   FALSE, INFINITE);
      if (which == WAIT_OBJECT_0) return;
      if (which > WAIT_OBJECT_0 && which < WAIT_OBJECT_0 + events.size()) {
        step(instances_[which - WAIT_OBJECT_0 - 1]);
        if (live_ == 0) return end(ErrorChain::from_message("no pipe instance is left"));
        continue;
      }
      return end(os_error(::GetLastError()).with_context("wait for announcements"));
    }
  }

  void step(Instance& instance) {
    DWORD count = 0;
    const bool done = !instance.pending ||
                      ::GetOverlappedResult(instance.pipe, &instance.overlapped, &count, FALSE);
    instance.pending = false;
    switch (instance.state) {
      case Instance::State::kListening:
        if (done) return read(instance);
        return next_client(instance);
      case Instance::State::kConnected:
        return read(instance);
      case Instance::State::kReading:
        // A client that closed ends its read with ERROR_BROKEN_PIPE.
        if (!done) return next_client(instance);
        instance.lines.feed({instance.buffer.data(), count}, [this](std::string line) {
          std::lock_guard lock(mutex_);
          if (lines_.size() < kMaxQueuedLines) lines_.push_back(std::move(line));
          ready_.notify_one();
        });
        return read(instance);
    }
  }

  void read(Instance& instance) {
    instance.state = Instance::State::kReading;
    // Done at once or later, the event is set and step() takes the result.
    if (::ReadFile(instance.pipe, instance.buffer.data(),
                   static_cast<DWORD>(instance.buffer.size()), nullptr, &instance.overlapped) ||
        ::GetLastError() == ERROR_IO_PENDING) {
      instance.pending = true;
      return;
    }
    next_client(instance);
  }

  void next_client(Instance& instance) {
    instance.lines.reset();
    ::DisconnectNamedPipe(instance.pipe);
    listen(instance);
  }

  void listen(Instance& instance) {
    instance.state = Instance::State::kListening;
    // Set by the last read, it must not pass for a connection.
    ::ResetEvent(instance.overlapped.hEvent);
    if (!::ConnectNamedPipe(instance.pipe, &instance.overlapped)) {
      switch (::GetLastError()) {
        case ERROR_IO_PENDING:
          instance.pending = true;
          return;
        case ERROR_PIPE_CONNECTED:  // connected before we listened
        case ERROR_NO_DATA:         // and gone already: what it wrote may wait
          break;
        default:
          ::CloseHandle(std::exchange(instance.pipe, INVALID_HANDLE_VALUE));
          --live_;
          return;
      }
    }
    instance.state = Instance::State::kConnected;
    ::SetEvent(instance.overlapped.hEvent);
  }

  void end(ErrorChain error) {
    std::lock_guard lock(mutex_);
    if (!ended_) ended_ = std::move(error);
    ready_.notify_all();
  }

  void remove_folder() {
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW((folder_ + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
          ::DeleteFileW((folder_ + L"\\" + entry.cFileName).c_str());
        }
      } while (::FindNextFileW(search, &entry));
      ::FindClose(search);
    }
    ::RemoveDirectoryW(folder_.c_str());
  }

  void close_instances() {
    for (Instance& instance : instances_) {
      if (instance.pipe == INVALID_HANDLE_VALUE) continue;
      if (instance.pending) {
        DWORD count;
        ::CancelIoEx(instance.pipe, &instance.overlapped);
        ::GetOverlappedResult(instance.pipe, &instance.overlapped, &count, TRUE);
      }
      ::CloseHandle(std::exchange(instance.pipe, INVALID_HANDLE_VALUE));
    }
  }

  const std::wstring folder_;
  const std::string name_;
  const std::string preload_path_;
  HANDLE stop_ = nullptr;
  std::array<Instance, kInstances> instances_;
  size_t live_ = kInstances;
  std::thread server_;
  std::once_flag removed_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::string> lines_;
  std::optional<ErrorChain> ended_;
};

Result<std::wstring> temporary_folder() {
  wchar_t path[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
  if (length == 0 || length > MAX_PATH) return os_error(::GetLastError());
  return std::wstring(path, length);
}

std::string portable(const std::wstring& path) {
  std::string text = utf8_from_utf16(path).value_or("");
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  return text;
}

}  // namespace

Result<std::unique_ptr<AnnounceEndpoint>> open_announce_endpoint(std::string_view preload) {
  UserOnly user_only;
  if (!user_only.ok()) {
    return os_error(::GetLastError()).with_context("describe who may use the announcements");
  }
  auto root = temporary_folder();
  if (!root) return std::move(root).error().with_context("find the temporary folder");

  // Made by us: a name that exists already is never taken over.
  std::wstring folder;
  for (int attempt = 0;; ++attempt) {
    auto hex = random_hex();
    if (!hex) return std::move(hex).error();
    folder = root.value() + L"vorpel-run-" + utf16_from_utf8(hex.value());
    if (::CreateDirectoryW(folder.c_str(), user_only.attributes())) break;
    const DWORD error = ::GetLastError();
    if (error != ERROR_ALREADY_EXISTS || attempt == 3) {
      return os_error(error).with_context("create " + portable(folder));
    }
  }
  const std::wstring script = folder + L"\\preload.js";
  auto fail = [&](ErrorChain error) -> Result<std::unique_ptr<AnnounceEndpoint>> {
    ::DeleteFileW(script.c_str());
    ::RemoveDirectoryW(folder.c_str());
    return error;
  };
  HANDLE file = ::CreateFileW(script.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return fail(os_error(::GetLastError()).with_context("create " + portable(script)));
  }
  DWORD written = 0;
  const bool wrote =
      ::WriteFile(file, preload.data(), static_cast<DWORD>(preload.size()), &written, nullptr) &&
      written == preload.size();
  const DWORD write_error = ::GetLastError();
  ::CloseHandle(file);
  if (!wrote) return fail(os_error(write_error).with_context("write " + portable(script)));

  auto hex = random_hex();
  if (!hex) return fail(std::move(hex).error());
  auto endpoint = std::make_unique<PipeEndpoint>(folder, "\\\\.\\pipe\\vorpel-" + hex.value(),
                                                 portable(script));
  if (auto error = endpoint->open(user_only.attributes())) {
    const std::string name = endpoint->name();
    endpoint.reset();
    return fail(std::move(*error).with_context("create the pipe " + name));
  }
  return std::unique_ptr<AnnounceEndpoint>(std::move(endpoint));
}

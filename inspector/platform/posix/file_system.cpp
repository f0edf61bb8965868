#include "file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "sys.h"

namespace {

ErrorChain os_error(int code) {
  return ErrorChain::from_os_error(code, sys::system_error_text(code));
}

ErrorChain last_os_error() {
  return os_error(errno);
}

FileStatus::Kind kind_of(mode_t mode) {
  if (S_ISREG(mode)) return FileStatus::Kind::kFile;
  if (S_ISDIR(mode)) return FileStatus::Kind::kFolder;
  return FileStatus::Kind::kOther;
}

FileStatus status_of(const struct stat& info) {
  FileStatus status;
  status.kind = kind_of(info.st_mode);
  status.size = static_cast<uint64_t>(info.st_size);
  status.modified_ms =
      static_cast<int64_t>(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
  status.mode = static_cast<uint32_t>(info.st_mode & 07777);
  return status;
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// Where an open file or folder really is, whatever name it was opened by.
Result<std::string> opened_path(int fd) {
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  char* resolved = ::realpath(link.c_str(), nullptr);
  if (resolved == nullptr) return last_os_error();
  std::string path(resolved);
  ::free(resolved);
  return path;
}

class PosixReader final : public FileReader {
 public:
  explicit PosixReader(int fd) : fd_(fd) {}

  Result<std::string> real_path() override { return opened_path(fd_.get()); }

  Result<std::string> read(size_t size) override {
    std::string bytes(size, '\0');
    for (;;) {
      ssize_t count = ::read(fd_.get(), bytes.data(), size);
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) return last_os_error();
      bytes.resize(static_cast<size_t>(count));
      return bytes;
    }
  }

 private:
  Descriptor fd_;
};

mode_t creation_mask() {
  // umask can only be read by setting it.
  mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

class PosixWriter final : public FileWriter {
 public:
  PosixWriter(int fd, std::string temporary, std::string destination)
      : fd_(fd), temporary_(std::move(temporary)), destination_(std::move(destination)) {}
  ~PosixWriter() override {
    if (!committed_) ::unlink(temporary_.c_str());
  }

  Status write(std::string_view bytes) override {
    while (!bytes.empty()) {
      ssize_t count = ::write(fd_.get(), bytes.data(), bytes.size());
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) return last_os_error();
      bytes.remove_prefix(static_cast<size_t>(count));
    }
    return std::nullopt;
  }

  Status commit(std::optional<uint32_t> mode) override {
    const mode_t bits = mode ? static_cast<mode_t>(*mode) : (0666 & ~creation_mask());
    if (::fchmod(fd_.get(), bits) != 0) return last_os_error();
    if (::fsync(fd_.get()) != 0) return last_os_error();
    if (::rename(temporary_.c_str(), destination_.c_str()) != 0) return last_os_error();
    committed_ = true;
    return std::nullopt;
  }

 private:
  Descriptor fd_;
  std::string temporary_;
  std::string destination_;
  bool committed_ = false;
};

class PosixFileSystem final : public FileSystem {
 public:
  bool ignores_case() const override { return false; }

  Result<std::string> real_path(const std::string& path) override {
    if (path.empty()) return os_error(ENOENT);
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return last_os_error();
    std::string result(resolved);
    ::free(resolved);
    return result;
  }

  Status check_folder(const std::string& path) override {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return last_os_error();
    if (!S_ISDIR(info.st_mode)) return os_error(ENOTDIR);
    return std::nullopt;
  }

  Result<FileStatus> status(const std::string& path) override {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) return last_os_error();
    return status_of(info);
  }

  Result<FolderListing> list_folder(const std::string& path) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return last_os_error();
    FolderListing listing;
    auto real = opened_path(fd);
    if (!real) {
      ::close(fd);
      return std::move(real).error();
    }
    listing.real_path = std::move(real).value();
    DIR* folder = ::fdopendir(fd);  // owns fd from here
    if (folder == nullptr) {
      ::close(fd);
      return last_os_error();
    }
    while (struct dirent* entry = ::readdir(folder)) {
      std::string name(entry->d_name);
      if (name == "." || name == "..") continue;
      FolderEntry item{name, FileStatus::Kind::kOther};
      struct stat info;
      if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
        item.kind = kind_of(info.st_mode);
      }
      listing.entries.push_back(std::move(item));
    }
    ::closedir(folder);
    return listing;
  }

  Result<std::unique_ptr<FileReader>> open_to_read(const std::string& path) override {
    // Non-blocking so a FIFO cannot hang the window; refused below anyway.
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return last_os_error();
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      ::close(fd);
      return ErrorChain::from_message("not a regular file");
    }
    return std::unique_ptr<FileReader>(std::make_unique<PosixReader>(fd));
  }

  Result<std::unique_ptr<FileWriter>> write_beside(const std::string& destination) override {
    const size_t slash = destination.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : destination.substr(0, slash);
    const std::string name =
        slash == std::string::npos ? destination : destination.substr(slash + 1);
    std::string temporary = folder + "/." + name + ".vorpel-XXXXXX";
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return last_os_error();
    return std::unique_ptr<FileWriter>(
        std::make_unique<PosixWriter>(fd, std::move(temporary), destination));
  }

  Status create_file(const std::string& path) override {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return last_os_error();
    ::close(fd);
    return std::nullopt;
  }

  Status create_folder(const std::string& path) override {
    if (::mkdir(path.c_str(), 0777) != 0) return last_os_error();
    return std::nullopt;
  }

  Status remove_file(const std::string& path) override {
    if (::unlink(path.c_str()) != 0) return last_os_error();
    return std::nullopt;
  }

  Status rename(const std::string& from, const std::string& to) override {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
      return last_os_error();
    }
    return std::nullopt;
  }
};

}  // namespace

FileSystem& native_file_system() {
  static PosixFileSystem file_system;
  return file_system;
}

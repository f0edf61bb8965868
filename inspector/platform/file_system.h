// Files and folders: the only disk access of the program, behind one
// interface so the core's rules run on a fake disk in tests.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error_chain.h"

// Paths are UTF-8 with "/" between names on every platform.
struct FileStatus {
  enum class Kind { kFile, kFolder, kOther };
  Kind kind = Kind::kOther;
  uint64_t size = 0;
  int64_t modified_ms = 0;  // since the epoch
  uint32_t mode = 0;        // permission bits where the platform has them
};

struct FolderEntry {
  std::string name;
  FileStatus::Kind kind = FileStatus::Kind::kOther;  // a link counts as kOther
};

// A folder's entries, and where the listed folder really is: from the open
// folder, so a folder swapped for a link after its path was checked shows.
struct FolderListing {
  std::string real_path;
  std::vector<FolderEntry> entries;
};

// A regular file opened for reading, closed when destroyed.
class FileReader {
 public:
  virtual ~FileReader() = default;
  // Where the open file really is, from the system, not from the name it was opened by.
  virtual Result<std::string> real_path() = 0;
  // Up to `size` bytes; none at the end.
  virtual Result<std::string> read(size_t size) = 0;
};

// A new file beside its destination; dropped unless committed.
class FileWriter {
 public:
  virtual ~FileWriter() = default;
  virtual Status write(std::string_view bytes) = 0;
  // Flushes and renames it over the destination, with `mode` when given.
  virtual Status commit(std::optional<uint32_t> mode) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Whether "A" and "a" name one file (Windows).
  virtual bool ignores_case() const = 0;
  // Absolute, with every link and "."/".." resolved; the path must exist.
  virtual Result<std::string> real_path(const std::string& path) = 0;
  // Nothing when `path` is an existing folder (links followed), else the system's error.
  virtual Status check_folder(const std::string& path) = 0;
  // The entry itself, a link not followed.
  virtual Result<FileStatus> status(const std::string& path) = 0;
  // A link as the last name is refused.
  virtual Result<FolderListing> list_folder(const std::string& path) = 0;
  // Regular files only; a link as the last name is refused.
  virtual Result<std::unique_ptr<FileReader>> open_to_read(const std::string& path) = 0;
  // A temporary file in `destination`'s folder, to replace it on commit.
  virtual Result<std::unique_ptr<FileWriter>> write_beside(const std::string& destination) = 0;
  // Fails when `path` exists.
  virtual Status create_file(const std::string& path) = 0;
  virtual Status create_folder(const std::string& path) = 0;
  virtual Status remove_file(const std::string& path) = 0;
  // Fails when `to` exists.
  virtual Status rename(const std::string& from, const std::string& to) = 0;
};

// The disk of the machine the program runs on.
FileSystem& native_file_system();

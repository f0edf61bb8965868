// Files and folders of a test's own: one temporary folder fixture and one
// reader for every suite.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

// A file's bytes; empty when it cannot be read.
inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void write_file(const std::filesystem::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A fresh folder under the system's temporary one, named by its real path (so
// that paths the program resolves compare equal), removed with all it holds.
class TempFolder {
 public:
  explicit TempFolder(const std::string& name) {
    static std::atomic<unsigned> made{0};
    const auto unique = std::to_string(std::random_device{}()) + "-" + std::to_string(++made);
    path_ =
        std::filesystem::canonical(std::filesystem::temp_directory_path()) / (name + "-" + unique);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string at(const std::string& relative) const { return (path_ / relative).string(); }

 private:
  std::filesystem::path path_;
};

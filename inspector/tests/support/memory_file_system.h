// A disk in memory, without links: the workspace host's rules run on it on
// every platform, with "/" paths whatever the system.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "file_system.h"

class MemoryFileSystem final : public FileSystem {
 public:
  MemoryFileSystem() { nodes_["/"] = Node{FileStatus::Kind::kFolder, {}, 0755}; }

  // Test set-up: a file with its folders.
  void put(const std::string& path, const std::string& bytes, uint32_t mode = 0644) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      nodes_.try_emplace(path.substr(0, slash), Node{FileStatus::Kind::kFolder, {}, 0755});
    }
    nodes_[path] = Node{FileStatus::Kind::kFile, bytes, mode};
  }
  // The file's bytes, or nothing when there is none.
  std::optional<std::string> bytes(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = nodes_.find(path);
    if (found == nodes_.end() || found->second.kind != FileStatus::Kind::kFile) return {};
    return found->second.bytes;
  }

  bool ignores_case() const override { return false; }
  Result<std::string> real_path(const std::string& path) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string clean = normal(path);
    if (!nodes_.contains(clean)) return missing();
    return clean;
  }
  Status check_folder(const std::string& path) override {
    auto status = this->status(path);
    if (!status) return std::move(status).error();
    if (status.value().kind != FileStatus::Kind::kFolder) return error(20, "Not a directory");
    return std::nullopt;
  }
  Result<FileStatus> status(const std::string& path) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = nodes_.find(normal(path));
    if (found == nodes_.end()) return missing();
    FileStatus status;
    status.kind = found->second.kind;
    status.size = found->second.bytes.size();
    status.mode = found->second.mode;
    return status;
  }
  Result<FolderListing> list_folder(const std::string& path) override {
    std::lock_guard<std::mutex> lock(mutex_);
    FolderListing listing{normal(path), {}};
    const std::string prefix = listing.real_path == "/" ? "/" : listing.real_path + "/";
    for (const auto& [name, node] : nodes_) {
      if (name.size() > prefix.size() && name.starts_with(prefix) &&
          name.find('/', prefix.size()) == std::string::npos) {
        listing.entries.push_back({name.substr(prefix.size()), node.kind});
      }
    }
    return listing;
  }
  Result<std::unique_ptr<FileReader>> open_to_read(const std::string& path) override {
    auto content = bytes(normal(path));
    if (!content) return missing();
    return std::unique_ptr<FileReader>(std::make_unique<Reader>(normal(path), std::move(*content)));
  }
  Result<std::unique_ptr<FileWriter>> write_beside(const std::string& destination) override {
    return std::unique_ptr<FileWriter>(std::make_unique<Writer>(*this, normal(destination)));
  }
  Status create_file(const std::string& path) override {
    return create(path, FileStatus::Kind::kFile);
  }
  Status create_folder(const std::string& path) override {
    return create(path, FileStatus::Kind::kFolder);
  }
  Status remove_file(const std::string& path) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (nodes_.erase(normal(path)) == 0) return missing();
    return std::nullopt;
  }
  Status rename(const std::string& from, const std::string& to) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = nodes_.find(normal(from));
    if (found == nodes_.end()) return missing();
    if (nodes_.contains(normal(to))) return error(17, "File exists");
    Node node = std::move(found->second);
    nodes_.erase(found);
    nodes_[normal(to)] = std::move(node);
    return std::nullopt;
  }

 private:
  struct Node {
    FileStatus::Kind kind;
    std::string bytes;
    uint32_t mode;
  };

  class Reader final : public FileReader {
   public:
    Reader(std::string path, std::string bytes)
        : path_(std::move(path)), bytes_(std::move(bytes)) {}
    Result<std::string> real_path() override { return path_; }
    Result<std::string> read(size_t size) override {
      std::string part = bytes_.substr(at_, size);
      at_ += part.size();
      return part;
    }

   private:
    std::string path_, bytes_;
    size_t at_ = 0;
  };

  class Writer final : public FileWriter {
   public:
    Writer(MemoryFileSystem& files, std::string destination)
        : files_(files), destination_(std::move(destination)) {}
    Status write(std::string_view bytes) override {
      bytes_.append(bytes);
      return std::nullopt;
    }
    Status commit(std::optional<uint32_t> mode) override {
      files_.put(destination_, bytes_, mode.value_or(0644));
      return std::nullopt;
    }

   private:
    MemoryFileSystem& files_;
    std::string destination_, bytes_;
  };

  static ErrorChain error(int code, const char* text) {
    return ErrorChain::from_os_error(code, text);
  }
  static ErrorChain missing() { return error(2, "No such file or directory"); }

  // "/a/./b/../c/" as "/a/c"; no links to follow here.
  static std::string normal(const std::string& path) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= path.size()) {
      size_t end = path.find('/', start);
      if (end == std::string::npos) end = path.size();
      const std::string name = path.substr(start, end - start);
      if (name == "..") {
        if (!names.empty()) names.pop_back();
      } else if (!name.empty() && name != ".") {
        names.push_back(name);
      }
      start = end + 1;
    }
    std::string joined;
    for (const std::string& name : names) joined += "/" + name;
    return joined.empty() ? "/" : joined;
  }

  Status create(const std::string& path, FileStatus::Kind kind) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!nodes_
             .emplace(normal(path),
                      Node{kind, {}, kind == FileStatus::Kind::kFolder ? 0755u : 0644u})
             .second) {
      return error(17, "File exists");
    }
    return std::nullopt;
  }

  mutable std::mutex mutex_;
  std::map<std::string, Node> nodes_;
};

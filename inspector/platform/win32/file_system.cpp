#include "file_system.h"

#include <windows.h>

#include <atomic>

#include "sys.h"
#include "win32/os_errors.h"
#include "win32/text.h"

namespace {

ErrorChain last_os_error() {
  return os_error(::GetLastError());
}

std::wstring native(const std::string& path) {
  std::wstring wide = utf16_from_utf8(path);
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  return wide;
}

// "\\?\C:\a" becomes "C:/a" and "\\?\UNC\h\s" becomes "//h/s".
Result<std::string> portable(std::wstring path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    path = L"\\\\" + path.substr(8);
  } else if (path.rfind(L"\\\\?\\", 0) == 0) {
    path = path.substr(4);
  }
  auto text = utf8_from_utf16(path);
  if (!text) return ErrorChain::from_message("the path is not valid Unicode text");
  for (char& c : *text) {
    if (c == '\\') c = '/';
  }
  return *text;
}

Result<std::string> final_path(HANDLE handle) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD length =
        ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (length == 0) return last_os_error();
    if (length < buffer.size()) {
      buffer.resize(length);
      return portable(buffer);
    }
    buffer.resize(length + 1);
  }
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { close(); }
  HANDLE get() const { return handle_; }
  void close() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

FileStatus::Kind kind_of(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return FileStatus::Kind::kOther;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileStatus::Kind::kFolder;
  return FileStatus::Kind::kFile;
}

class WindowsReader final : public FileReader {
 public:
  explicit WindowsReader(HANDLE handle) : handle_(handle) {}
  Result<std::string> real_path() override { return final_path(handle_.get()); }
  Result<std::string> read(size_t size) override {
    std::string bytes(size, '\0');
    DWORD count = 0;
    if (!::ReadFile(handle_.get(), bytes.data(), static_cast<DWORD>(size), &count, nullptr)) {
      return last_os_error();
    }
    bytes.resize(count);
    return bytes;
  }

 private:
  Handle handle_;
};

class WindowsWriter final : public FileWriter {
 public:
  WindowsWriter(HANDLE handle, std::wstring temporary, std::wstring destination)
      : handle_(handle), temporary_(std::move(temporary)), destination_(std::move(destination)) {}
  ~WindowsWriter() override {
    handle_.close();
    if (!committed_) ::DeleteFileW(temporary_.c_str());
  }
  Status write(std::string_view bytes) override {
    while (!bytes.empty()) {
      DWORD count = 0;
      const DWORD part = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1 << 30));
      if (!::WriteFile(handle_.get(), bytes.data(), part, &count, nullptr)) return last_os_error();
      bytes.remove_prefix(count);
    }
    return std::nullopt;
  }
  Status commit(std::optional<uint32_t>) override {
    if (!::FlushFileBuffers(handle_.get())) return last_os_error();
    handle_.close();
    if (!::MoveFileExW(temporary_.c_str(), destination_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      return last_os_error();
    }
    committed_ = true;
    return std::nullopt;
  }

 private:
  Handle handle_;
  std::wstring temporary_;
  std::wstring destination_;
  bool committed_ = false;
};

class WindowsFileSystem final : public FileSystem {
 public:
  bool ignores_case() const override { return true; }

  Result<std::string> real_path(const std::string& path) override {
    if (path.empty()) return os_error(ERROR_FILE_NOT_FOUND);
    // Backup semantics let a folder be opened too.
    Handle handle(::CreateFileW(native(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE) return last_os_error();
    return final_path(handle.get());
  }

  Status check_folder(const std::string& path) override {
    const DWORD attributes = ::GetFileAttributesW(native(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return last_os_error();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return os_error(ERROR_DIRECTORY);
    return std::nullopt;
  }

  Result<FileStatus> status(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(native(path).c_str(), GetFileExInfoStandard, &data)) {
      return last_os_error();
    }
    FileStatus status;
    status.kind = kind_of(data.dwFileAttributes);
    status.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const uint64_t ticks = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                           data.ftLastWriteTime.dwLowDateTime;
    // 100 ns ticks since 1601.
    status.modified_ms = static_cast<int64_t>(ticks / 10000) - 11644473600000LL;
    status.mode = 0644;
    return status;
  }

  Result<FolderListing> list_folder(const std::string& path) override {
    // Listed through the open folder, not by name again, so the entries are
    // those of the folder whose real path is given.
    Handle folder(::CreateFileW(
        native(path).c_str(), FILE_LIST_DIRECTORY,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (folder.get() == INVALID_HANDLE_VALUE) return last_os_error();
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(folder.get(), &info)) return last_os_error();
    if (kind_of(info.dwFileAttributes) != FileStatus::Kind::kFolder) {
      return os_error(ERROR_DIRECTORY);
    }
    FolderListing listing;
    auto real = final_path(folder.get());
    if (!real) return std::move(real).error();
    listing.real_path = std::move(real).value();
    alignas(LONGLONG) char buffer[64 * 1024];
    FILE_INFO_BY_HANDLE_CLASS next = FileIdBothDirectoryRestartInfo;
    while (::GetFileInformationByHandleEx(folder.get(), next, buffer, sizeof buffer)) {
      next = FileIdBothDirectoryInfo;
      for (const char* at = buffer;;) {
        const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
        auto name = utf8_from_utf16(
            std::wstring_view(entry->FileName, entry->FileNameLength / sizeof(wchar_t)));
        if (name && *name != "." && *name != "..") {
          listing.entries.push_back({*name, kind_of(entry->FileAttributes)});
        }
        if (entry->NextEntryOffset == 0) break;
        at += entry->NextEntryOffset;
      }
    }
    if (::GetLastError() != ERROR_NO_MORE_FILES) return last_os_error();
    return listing;
  }

  Result<std::unique_ptr<FileReader>> open_to_read(const std::string& path) override {
    HANDLE handle = ::CreateFileW(native(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return last_os_error();
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle, &info) ||
        kind_of(info.dwFileAttributes) != FileStatus::Kind::kFile ||
        ::GetFileType(handle) != FILE_TYPE_DISK) {
      ::CloseHandle(handle);
      return ErrorChain::from_message("not a regular file");
    }
    return std::unique_ptr<FileReader>(std::make_unique<WindowsReader>(handle));
  }

  Result<std::unique_ptr<FileWriter>> write_beside(const std::string& destination) override {
    static std::atomic<unsigned> counter{0};
    const std::wstring target = native(destination);
    const size_t slash = target.rfind(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? L"." : target.substr(0, slash);
    const std::wstring name = slash == std::wstring::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 16; ++attempt) {
      const std::wstring temporary = folder + L"\\." + name + L".vorpel-" +
                                     std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                     std::to_wstring(counter++);
      HANDLE handle = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle != INVALID_HANDLE_VALUE) {
        return std::unique_ptr<FileWriter>(
            std::make_unique<WindowsWriter>(handle, temporary, target));
      }
      if (::GetLastError() != ERROR_FILE_EXISTS) return last_os_error();
    }
    return os_error(ERROR_FILE_EXISTS);
  }

  Status create_file(const std::string& path) override {
    HANDLE handle = ::CreateFileW(native(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return last_os_error();
    ::CloseHandle(handle);
    return std::nullopt;
  }

  Status create_folder(const std::string& path) override {
    if (!::CreateDirectoryW(native(path).c_str(), nullptr)) return last_os_error();
    return std::nullopt;
  }

  Status remove_file(const std::string& path) override {
    if (!::DeleteFileW(native(path).c_str())) return last_os_error();
    return std::nullopt;
  }

  Status rename(const std::string& from, const std::string& to) override {
    if (!::MoveFileExW(native(from).c_str(), native(to).c_str(), 0)) return last_os_error();
    return std::nullopt;
  }
};

}  // namespace

FileSystem& native_file_system() {
  static WindowsFileSystem file_system;
  return file_system;
}

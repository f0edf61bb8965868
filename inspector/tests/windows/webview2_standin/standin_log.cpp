#include "standin_log.h"

#include <cstdio>
#include <mutex>

namespace standin {
namespace {

std::mutex log_mutex;
HANDLE log_file = INVALID_HANDLE_VALUE;
DWORD ui_thread = 0;

}  // namespace

void open_log() {
  std::lock_guard lock(log_mutex);
  ui_thread = ::GetCurrentThreadId();
  if (log_file != INVALID_HANDLE_VALUE) return;
  const std::wstring path = environment(L"VORPEL_STANDIN_LOG");
  if (path.empty()) return;
  // Appending and unbuffered, so that the record survives the process ending at any point.
  log_file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void record(const std::string& line) {
  std::lock_guard lock(log_mutex);
  if (log_file == INVALID_HANDLE_VALUE) return;
  std::string text = ::GetCurrentThreadId() == ui_thread ? line : "WRONG THREAD " + line;
  text += '\n';
  DWORD written = 0;
  ::WriteFile(log_file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string narrow(const wchar_t* text) {
  if (text == nullptr) return "<null>";
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring widen(const std::string& text) {
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(size > 0 ? size - 1 : 0, L'\0');
  if (size > 1) ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), size);
  return out;
}

std::string hresult_text(HRESULT result) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result));
  return text;
}

std::string iid_text(REFIID iid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(iid.Data1), iid.Data2, iid.Data3, iid.Data4[0],
                iid.Data4[1], iid.Data4[2], iid.Data4[3], iid.Data4[4], iid.Data4[5], iid.Data4[6],
                iid.Data4[7]);
  return text;
}

std::string rect_text(const RECT& rect) {
  return std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
         std::to_string(rect.right) + " " + std::to_string(rect.bottom);
}

std::wstring environment(const wchar_t* name) {
  std::wstring value(256, L'\0');
  for (;;) {
    const DWORD length =
        ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) return L"";
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);
  }
}

}  // namespace standin

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cwctype>

#include "sys.h"
#include "win32/os_errors.h"
#include "win32/text.h"

namespace sys {

// Windows hands the program its command line as UTF-16 text; argc/argv are
// the C runtime's lossy narrow copy, so they go unused.
Result<std::vector<std::string>> program_arguments(int, char**) {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) {
    return os_error(::GetLastError()).with_context("cannot read the command line");
  }
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) {
    auto argument = utf8_from_utf16(wide[i]);
    if (!argument) {
      ::LocalFree(wide);
      return ErrorChain::from_message("command-line argument " + std::to_string(i) +
                                      " is not valid Unicode text (unpaired UTF-16 surrogate)");
    }
    arguments.push_back(std::move(*argument));
  }
  ::LocalFree(wide);
  return arguments;
}

std::optional<std::string> environment_variable(const char* name) {
  const std::wstring wide_name = utf16_from_utf8(name);
  std::wstring value(256, L'\0');
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    DWORD length = ::GetEnvironmentVariableW(wide_name.c_str(), value.data(),
                                             static_cast<DWORD>(value.size()));
    if (length == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();  // set to the empty text
    }
    if (length < value.size()) {
      value.resize(length);
      return utf8_from_utf16(value);
    }
    value.resize(length);  // `length` includes the terminator here
  }
}

namespace {

void write_to(DWORD which, std::string_view text) {
  HANDLE stream = ::GetStdHandle(which);
  if (stream == nullptr || stream == INVALID_HANDLE_VALUE) return;
  DWORD mode;
  if (::GetConsoleMode(stream, &mode)) {
    // The console's own code page may not be UTF-8; its wide interface shows every character.
    std::wstring wide = utf16_from_utf8(text);
    std::wstring_view rest = wide;
    while (!rest.empty()) {
      DWORD written = 0;
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(rest.size(), 8192));
      // A surrogate pair is never split between two writes.
      if (chunk < rest.size() && rest[chunk - 1] >= 0xD800 && rest[chunk - 1] <= 0xDBFF) --chunk;
      if (!::WriteConsoleW(stream, rest.data(), chunk, &written, nullptr) || written == 0) return;
      rest.remove_prefix(written);
    }
    return;
  }
  while (!text.empty()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size(), 1 << 20));
    if (!::WriteFile(stream, text.data(), chunk, &written, nullptr) || written == 0) {
      return;  // nowhere left to report a broken stream
    }
    text.remove_prefix(written);
  }
}

// Wine's message table lacks several Winsock codes that discovery meets.
const char* fallback_error_text(int code) {
  switch (code) {
    case WSAECONNREFUSED:
      return "No connection could be made because the target machine actively refused it.";
    case WSAETIMEDOUT:
      return "A connection attempt failed because the connected party did not properly respond "
             "after a period of time.";
    case WSAECONNRESET:
      return "An existing connection was forcibly closed by the remote host.";
    case WSAEHOSTUNREACH:
      return "A socket operation was attempted to an unreachable host.";
    case WSAENETUNREACH:
      return "A socket operation was attempted to an unreachable network.";
    case WSAHOST_NOT_FOUND:
      return "No such host is known.";
    default:
      return "Unknown error";
  }
}

}  // namespace

void write_output_line(std::string_view line) {
  write_to(STD_OUTPUT_HANDLE, line);
}

void write_error(std::string_view text) {
  write_to(STD_ERROR_HANDLE, text);
}

std::string system_error_text(int code) {
  LPWSTR buffer = nullptr;
  DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::wstring_view text(buffer != nullptr ? buffer : L"", buffer != nullptr ? length : 0);
  while (!text.empty() && std::iswspace(static_cast<wint_t>(text.back()))) text.remove_suffix(1);
  std::optional<std::string> message = utf8_from_utf16(text);
  if (buffer != nullptr) ::LocalFree(buffer);
  if (!message || message->empty()) return fallback_error_text(code);
  return std::move(*message);
}

}  // namespace sys

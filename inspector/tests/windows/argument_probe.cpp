// Started by the command tests: writes to VORPEL_PROBE_OUT (UTF-8, each
// followed by NUL) its arguments as CommandLineToArgvW reads them, then every
// environment entry named VORPEL_PROBE_VALUE in any case.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <string>

namespace {

std::string utf8(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

int main() {
  wchar_t path[MAX_PATH];
  if (::GetEnvironmentVariableW(L"VORPEL_PROBE_OUT", path, MAX_PATH) == 0) return 2;
  std::string out;
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  for (int i = 1; i < count; ++i) out += utf8(arguments[i]) + '\0';
  out += std::string("--") + '\0';
  wchar_t* block = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
    constexpr wchar_t kName[] = L"VORPEL_PROBE_VALUE=";
    const int length = static_cast<int>(std::min(std::wcslen(entry), std::size(kName) - 1));
    if (::CompareStringOrdinal(entry, length, kName, -1, TRUE) == CSTR_EQUAL) {
      out += utf8(entry) + '\0';
    }
  }
  HANDLE file = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  ::WriteFile(file, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
  ::CloseHandle(file);
  return 0;
}

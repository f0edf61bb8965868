#include "win32/webview2_loader.h"

#include <windows.h>

#include <string>

#include "win32/os_errors.h"

Result<CreateEnvironmentFunction> load_webview2_loader() {
  // Beside the exe, never from the search path.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return os_error(::GetLastError());
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  path.resize(path.find_last_of(L"\\/") + 1);
  path += L"WebView2Loader.dll";
  HMODULE loader = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (loader == nullptr) {
    return os_error(::GetLastError()).with_context("load WebView2Loader.dll");
  }
  FARPROC create = ::GetProcAddress(loader, "CreateCoreWebView2EnvironmentWithOptions");
  if (create == nullptr) {
    return os_error(::GetLastError()).with_context("find CreateCoreWebView2EnvironmentWithOptions");
  }
  return reinterpret_cast<CreateEnvironmentFunction>(reinterpret_cast<void*>(create));
}

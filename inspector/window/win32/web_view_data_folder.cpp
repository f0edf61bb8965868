#include "win32/web_view_data_folder.h"

#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include "win32/os_errors.h"
#include "win32/text.h"

namespace {

bool is_absolute(const std::wstring& path) {
  const bool drive = path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
  return drive || path.starts_with(L"\\\\");
}

}  // namespace

Result<std::wstring> web_view_data_folder() {
  std::wstring folder;
  PWSTR known = nullptr;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known))) {
    folder = known;
  }
  ::CoTaskMemFree(known);
  if (!is_absolute(folder)) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) {
      return os_error(::GetLastError()).with_context("find a folder for the web view's profile");
    }
    folder.assign(temp, length);
  }
  if (!is_absolute(folder)) {
    return ErrorChain::from_message("the temporary folder " + utf8_from_utf16(folder).value_or("") +
                                    " is not an absolute path")
        .with_context("find a folder for the web view's profile");
  }
  if (folder.back() != L'\\') folder += L'\\';
  return folder + L"vorpel_inspector\\WebView2";
}

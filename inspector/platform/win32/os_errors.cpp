#include "win32/os_errors.h"

#include <cstdio>

#include "sys.h"

ErrorChain os_error(DWORD code) {
  return ErrorChain::from_os_error(static_cast<int>(code),
                                   sys::system_error_text(static_cast<int>(code)));
}

ErrorChain hresult_error(HRESULT result) {
  if (HRESULT_FACILITY(result) == FACILITY_WIN32) return os_error(HRESULT_CODE(result));
  char number[16];
  std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(result));
  return ErrorChain::from_message(sys::system_error_text(static_cast<int>(result)) + " (HRESULT " +
                                  number + ")");
}

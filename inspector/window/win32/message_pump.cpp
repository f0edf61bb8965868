#include "win32/message_pump.h"

#include "win32/os_errors.h"

Result<std::optional<UINT>> pump_messages(const std::function<bool()>& done) {
  MSG message;
  while (!done()) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) return os_error(::GetLastError());
    if (got == 0) return std::optional<UINT>(static_cast<UINT>(message.wParam));
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return std::optional<UINT>();
}

bool no_message_queued() {
  MSG message;
  return !::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
}

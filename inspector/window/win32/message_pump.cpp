#include "win32/message_pump.h"

#include <memory>

#include "win32/os_errors.h"

namespace {

// lparam owns a std::function<void()>.
constexpr UINT kRunTaskMessage = WM_APP + 1;

}  // namespace

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

void post_task(HWND window, std::function<void()> task) {
  auto owned = std::make_unique<std::function<void()>>(std::move(task));
  if (::PostMessageW(window, kRunTaskMessage, 0, reinterpret_cast<LPARAM>(owned.get()))) {
    owned.release();
  }
}

bool run_posted_task(UINT message, LPARAM lparam) {
  if (message != kRunTaskMessage) return false;
  std::unique_ptr<std::function<void()>> task(reinterpret_cast<std::function<void()>*>(lparam));
  (*task)();
  return true;
}

// The window on Windows: a plain Win32 window holding a WebView2 web view.
#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

#include <string>
#include <utility>

#include "inspector_event_handler.h"
#include "inspector_window.h"
#include "win32/message_pump.h"
#include "win32/os_errors.h"
#include "win32/text.h"
#include "win32/web_view.h"
#include "win32/workspace_bridge.h"

namespace {

constexpr wchar_t kWindowClass[] = L"vorpel_inspector";
constexpr int kClientWidth = 800;
constexpr int kClientHeight = 600;

LoopControl loop_control;
// What on_started gave the window to run when it closes.
WindowClosing window_closing;

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  // Loads from the --follow watcher, and the workspace host's answers.
  if (run_posted_task(message, lparam)) return 0;
  switch (message) {
    case WM_CLOSE: {
      // Once asked to exit, the loop stays asked.
      if (loop_control.mode != LoopControl::Mode::kExit) {
        inspector_event_handler(InspectorEvent::kCloseRequested, loop_control);
        // What the program started ends first, and gives the status.
        if (loop_control.mode == LoopControl::Mode::kExit && window_closing) {
          loop_control.exit_status = window_closing();
        }
      }
      if (loop_control.mode == LoopControl::Mode::kExit) {
        ::PostQuitMessage(loop_control.exit_status);
      }
      return 0;  // the window is never destroyed by the program
    }
    case WM_SIZE:
      show_web_view(wparam != SIZE_MINIMIZED);
      if (wparam != SIZE_MINIMIZED) fit_to_client_area(window);
      return 0;
    case WM_MOVE:
      tell_web_view_of_move();
      return 0;
    case WM_MOVING:
      tell_web_view_of_move();
      return TRUE;
    case WM_SETFOCUS:
      focus_page();
      return 0;
    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      ::SetWindowPos(window, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

// Sizes in physical pixels whatever the monitor's scale.
void make_process_dpi_aware() {
  if (!::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) {
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
  }
}

Result<HWND> create_window() {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = window_procedure;
  window_class.hInstance = instance;
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kWindowClass;
  if (::RegisterClassExW(&window_class) == 0) return os_error(::GetLastError());

  constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;
  HWND window = ::CreateWindowExW(0, kWindowClass, utf16_from_utf8(kWindowTitle).c_str(), kStyle,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return os_error(::GetLastError());

  // The frame depends on the DPI of the monitor the system placed the window on.
  RECT frame{0, 0, kClientWidth, kClientHeight};
  ::AdjustWindowRectExForDpi(&frame, kStyle, FALSE, 0, ::GetDpiForWindow(window));
  ::SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(window, SW_SHOWNORMAL);
  ::UpdateWindow(window);
  ::SetForegroundWindow(window);
  // Handles what showing queued, so the window is on screen before the web
  // view's creation (which may fail at once) takes the thread.
  auto quit = pump_messages(no_message_queued);
  if (!quit) return std::move(quit).error();
  if (quit.value()) ::ExitProcess(*quit.value());
  return window;
}

ErrorChain open_window(const std::string& frontend_address, const WindowStarted& on_started,
                       const std::string* workspace) {
  make_process_dpi_aware();
  // A single-threaded apartment with OLE, as the web view's drag and drop requires.
  HRESULT apartment = ::OleInitialize(nullptr);
  if (FAILED(apartment)) {
    return hresult_error(apartment).with_context("failed to create inspector window");
  }

  auto window = create_window();
  if (!window) return std::move(window).error().with_context("failed to create inspector window");

  BeforeNavigation before_navigation;
  if (workspace != nullptr) {
    before_navigation = [&](ICoreWebView2* web_view) {
      return attach_workspace_host(window.value(), web_view, *workspace);
    };
  }
  if (auto error = create_web_view(window.value(), frontend_address, before_navigation)) {
    return std::move(*error).with_context(kWebViewFailure);
  }
  if (on_started) {
    const HWND target = window.value();
    WindowHooks hooks;
    hooks.load = [target](const std::string& address) {
      post_task(target, [address] { load_address(address); });
    };
    hooks.run_in_page = [target](const std::string& script) {
      post_task(target, [script] { run_in_page(script); });
    };
    window_closing = on_started(hooks);
  }

  // Wait mode: the thread sleeps in GetMessage until the next message.
  auto quit = pump_messages([] { return false; });
  if (!quit) {
    return std::move(quit)
        .error()
        .with_context("read the window's messages")
        .with_context("the inspector window stopped");
  }
  if (auto stopped = take_web_view_stop()) return std::move(*stopped);
  // The window and the web view go down with the process.
  ::ExitProcess(*quit.value());
}

}  // namespace

ErrorChain run_inspector_window(const std::string& frontend_address,
                                const WindowStarted& on_started) {
  return open_window(frontend_address, on_started, nullptr);
}

ErrorChain run_inspector_window_with_workspace(const std::string& frontend_address,
                                               const WindowStarted& on_started,
                                               const std::string& workspace) {
  return open_window(frontend_address, on_started, &workspace);
}

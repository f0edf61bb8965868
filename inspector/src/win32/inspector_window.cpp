// The window on Windows: a plain Win32 window holding a WebView2 web view.
#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <objbase.h>
#include <ole2.h>
#include <shlobj.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "frontend_address.h"
#include "frontend_protocol_handler.h"
#include "inspector_event_handler.h"
#include "inspector_window.h"
#include "sys.h"
#include "win32/text.h"

#if VORPEL_WITH_WEBVIEW2
#include <WebView2.h>

#include "win32/read_only_stream.h"
#endif

namespace {

constexpr wchar_t kWindowClass[] = L"vorpel_inspector";
constexpr int kClientWidth = 800;
constexpr int kClientHeight = 600;
constexpr const char* kWebViewFailure =
    "failed to create webview (is the WebView2 runtime installed?)";
constexpr const char* kWebViewStopped = "the webview stopped (its browser process exited)";

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

LoopControl loop_control;

// A load asked for from another thread (--follow); lparam owns a std::string.
constexpr UINT kLoadAddressMessage = WM_APP + 1;

#if VORPEL_WITH_WEBVIEW2

// Owns one COM reference.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() {
    if (pointer_ != nullptr) pointer_->Release();
  }
  T** put() { return &pointer_; }
  T* get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // Keeps the object alive for the rest of the process.
  T* leak() { return std::exchange(pointer_, nullptr); }

 private:
  T* pointer_ = nullptr;
};

// A COM callback object whose Invoke forwards to a function.
template <class Interface, const IID* kIid, class... Args>
class Handler final : public Interface {
 public:
  explicit Handler(std::function<HRESULT(Args...)> function) : function_(std::move(function)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, *kIid)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Invoke(Args... args) override { return function_(args...); }

 private:
  ~Handler() = default;
  ULONG references_ = 1;  // only ever used on the main thread
  std::function<HRESULT(Args...)> function_;
};

using EnvironmentCompleted =
    Handler<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
            &IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, HRESULT,
            ICoreWebView2Environment*>;
using ControllerCompleted = Handler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                                    &IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                                    HRESULT, ICoreWebView2Controller*>;
using ResourceRequested = Handler<ICoreWebView2WebResourceRequestedEventHandler,
                                  &IID_ICoreWebView2WebResourceRequestedEventHandler,
                                  ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs*>;
using ProcessFailed =
    Handler<ICoreWebView2ProcessFailedEventHandler, &IID_ICoreWebView2ProcessFailedEventHandler,
            ICoreWebView2*, ICoreWebView2ProcessFailedEventArgs*>;

using CreateEnvironmentFunction =
    HRESULT(STDAPICALLTYPE*)(PCWSTR, PCWSTR, ICoreWebView2EnvironmentOptions*,
                             ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*);

// Set once at creation; read by the window procedure and the request handler.
ICoreWebView2Environment* web_view_environment = nullptr;
ICoreWebView2Controller* web_view_controller = nullptr;
bool web_view_shown = false;
// Set when the browser process has gone; the message loop then ends with it.
Status web_view_stopped;

std::string take_text(LPWSTR text) {
  std::string converted = text != nullptr ? utf8_from_utf16(text).value_or("") : "";
  ::CoTaskMemFree(text);
  return converted;
}

// Runs the main thread's messages until `done`, as creation must not block the window.
Status pump_messages_until(const bool& done) {
  MSG message;
  while (!done) {
    BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) return os_error(::GetLastError());
    if (got == 0) ::ExitProcess(static_cast<UINT>(message.wParam));  // closed meanwhile
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return std::nullopt;
}

Result<CreateEnvironmentFunction> load_web_view_loader() {
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

bool is_absolute(const std::wstring& path) {
  const bool drive = path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
  return drive || path.starts_with(L"\\\\");
}

// The runtime's profile goes under the user's local application data, else the
// temporary folder; never beside the exe, where a relative path would put it.
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

const wchar_t* reason_phrase(uint16_t status) {
  switch (status) {
    case 200:
      return L"OK";
    case 404:
      return L"Not Found";
    default:
      return L"";
  }
}

std::vector<uint8_t> read_all(IStream* stream) {
  std::vector<uint8_t> bytes;
  if (stream == nullptr) return bytes;
  uint8_t buffer[16 * 1024];
  for (;;) {
    ULONG count = 0;
    HRESULT result = stream->Read(buffer, sizeof buffer, &count);
    bytes.insert(bytes.end(), buffer, buffer + count);
    if (FAILED(result) || count == 0) return bytes;
  }
}

ProtocolRequest protocol_request(ICoreWebView2WebResourceRequest* source) {
  ProtocolRequest request;
  LPWSTR text = nullptr;
  if (SUCCEEDED(source->get_Method(&text))) request.method = take_text(text);
  text = nullptr;
  if (SUCCEEDED(source->get_Uri(&text))) {
    request.uri = parse_protocol_uri(to_frontend_scheme_form(take_text(text)));
  }
  ComRef<ICoreWebView2HttpRequestHeaders> headers;
  ComRef<ICoreWebView2HttpHeadersCollectionIterator> iterator;
  if (SUCCEEDED(source->get_Headers(headers.put())) && headers &&
      SUCCEEDED(headers->GetIterator(iterator.put())) && iterator) {
    BOOL more = FALSE;
    while (SUCCEEDED(iterator->get_HasCurrentHeader(&more)) && more) {
      LPWSTR name = nullptr;
      LPWSTR value = nullptr;
      if (SUCCEEDED(iterator->GetCurrentHeader(&name, &value))) {
        request.headers.emplace_back(take_text(name), take_text(value));
      }
      if (FAILED(iterator->MoveNext(&more))) break;
    }
  }
  ComRef<IStream> content;
  if (SUCCEEDED(source->get_Content(content.put()))) request.body = read_all(content.get());
  return request;
}

HRESULT serve_frontend_request(ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs* args) {
  ComRef<ICoreWebView2WebResourceRequest> source;
  if (FAILED(args->get_Request(source.put())) || !source) return S_OK;
  ProtocolResponse response = FrontendProtocolHandler("main", protocol_request(source.get()));

  std::string headers;
  for (const ProtocolHeader& header : response.headers) {
    if (!headers.empty()) headers += "\r\n";
    headers.append(header.name).append(": ").append(header.value);
  }
  const std::wstring wide_headers = utf16_from_utf8(headers);
  // The table's bytes are read in place; the stream only holds a view.
  ComRef<IStream> body;
  *body.put() = new_read_only_stream(response.body);
  ComRef<ICoreWebView2WebResourceResponse> answer;
  if (SUCCEEDED(web_view_environment->CreateWebResourceResponse(
          body.get(), response.status, reason_phrase(response.status), wide_headers.c_str(),
          answer.put()))) {
    args->put_Response(answer.get());
  }
  return S_OK;
}

void fit_to_client_area(HWND window) {
  if (web_view_controller == nullptr) return;
  RECT bounds;
  if (::GetClientRect(window, &bounds)) web_view_controller->put_Bounds(bounds);
}

void load_address(const std::string& frontend_address) {
  ComRef<ICoreWebView2> web_view;
  if (web_view_controller == nullptr ||
      FAILED(web_view_controller->get_CoreWebView2(web_view.put())) || !web_view) {
    return;
  }
  const std::wstring address = utf16_from_utf8(to_frontend_http_form(frontend_address));
  web_view->Navigate(address.c_str());
}

// A minimised window's web view stops rendering and lowers its priority.
void show_web_view(bool shown) {
  if (web_view_controller == nullptr || shown == web_view_shown) return;
  web_view_shown = shown;
  web_view_controller->put_IsVisible(shown ? TRUE : FALSE);
}

// The web view places its own pop-ups (menus, tooltips) from the window's position.
void tell_web_view_of_move() {
  if (web_view_controller != nullptr) web_view_controller->NotifyParentWindowPositionChanged();
}

std::string exit_code_text(int code) {
  // Windows exit codes past the small ones are status values, read in hex.
  if (code >= 0 && code <= 0xFFFF) return std::to_string(code);
  char number[16];
  std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(code));
  return number;
}

const char* failure_reason_text(COREWEBVIEW2_PROCESS_FAILED_REASON reason) {
  switch (reason) {
    case COREWEBVIEW2_PROCESS_FAILED_REASON_UNRESPONSIVE:
      return "unresponsive";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_TERMINATED:
      return "terminated";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED:
      return "crashed";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_LAUNCH_FAILED:
      return "failed to start";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_OUT_OF_MEMORY:
      return "out of memory";
    case COREWEBVIEW2_PROCESS_FAILED_REASON_PROFILE_DELETED:
      return "profile deleted";
    default:
      return "unexpected";
  }
}

ErrorChain browser_process_failure(ICoreWebView2ProcessFailedEventArgs* args) {
  std::string cause = "WebView2 browser process failure";
  ComRef<ICoreWebView2ProcessFailedEventArgs2> details;
  COREWEBVIEW2_PROCESS_FAILED_REASON reason;
  int exit_code;
  if (SUCCEEDED(args->QueryInterface(IID_ICoreWebView2ProcessFailedEventArgs2,
                                     reinterpret_cast<void**>(details.put()))) &&
      SUCCEEDED(details->get_Reason(&reason)) && SUCCEEDED(details->get_ExitCode(&exit_code))) {
    cause += std::string(" (reason: ") + failure_reason_text(reason) + ", exit code " +
             exit_code_text(exit_code) + ")";
  }
  return ErrorChain::from_message(cause).with_context(kWebViewStopped);
}

// Without its browser process the web view is closed for good: the run ends
// with the report. A page whose renderer exited shows the runtime's error page
// in a new one, so the frontend is loaded again. An unresponsive page is left
// to recover (the event repeats while it hangs, and a reload would end the session).
HRESULT handle_process_failure(ICoreWebView2* web_view, ICoreWebView2ProcessFailedEventArgs* args) {
  COREWEBVIEW2_PROCESS_FAILED_KIND kind;
  if (FAILED(args->get_ProcessFailedKind(&kind))) return S_OK;
  if (kind == COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED) {
    web_view->Reload();
  } else if (kind == COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED && !web_view_stopped) {
    web_view_stopped = browser_process_failure(args);
    ::PostQuitMessage(1);
  }
  return S_OK;
}

void focus_page() {
  if (web_view_controller != nullptr) {
    web_view_controller->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
  }
}

Status configure(ICoreWebView2* web_view) {
  constexpr const wchar_t* kFilter = kFrontendRequestFilter;
  ComRef<ICoreWebView2Settings> settings;
  HRESULT result = web_view->get_Settings(settings.put());
  if (FAILED(result)) return hresult_error(result).with_context("read the web view's settings");
  settings->put_AreDevToolsEnabled(FALSE);
  settings->put_IsZoomControlEnabled(FALSE);
  settings->put_AreDefaultContextMenusEnabled(TRUE);
  settings->put_IsScriptEnabled(TRUE);

  // Runtimes that can also route shared and service workers' requests are asked to.
  ComRef<ICoreWebView2_22> web_view_22;
  if (SUCCEEDED(web_view->QueryInterface(IID_ICoreWebView2_22,
                                         reinterpret_cast<void**>(web_view_22.put())))) {
    result = web_view_22->AddWebResourceRequestedFilterWithRequestSourceKinds(
        kFilter, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL,
        COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_ALL);
  } else {
    result =
        web_view->AddWebResourceRequestedFilter(kFilter, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);
  }
  if (FAILED(result)) return hresult_error(result).with_context("register the devtools requests");
  auto* handler = new ResourceRequested(serve_frontend_request);
  EventRegistrationToken token;
  result = web_view->add_WebResourceRequested(handler, &token);
  handler->Release();
  if (FAILED(result)) return hresult_error(result).with_context("register the devtools requests");

  auto* failure_handler = new ProcessFailed(handle_process_failure);
  result = web_view->add_ProcessFailed(failure_handler, &token);
  failure_handler->Release();
  if (FAILED(result)) return hresult_error(result).with_context("watch the web view's processes");
  return std::nullopt;
}

Status create_web_view(HWND window, const std::string& frontend_address) {
  auto create_environment = load_web_view_loader();
  if (!create_environment) return std::move(create_environment).error();

  bool environment_done = false;
  HRESULT environment_result = E_FAIL;
  ComRef<ICoreWebView2Environment> environment;
  auto* environment_handler =
      new EnvironmentCompleted([&](HRESULT result, ICoreWebView2Environment* created) {
        environment_result = result;
        if (SUCCEEDED(result) && created != nullptr) {
          created->AddRef();
          *environment.put() = created;
        }
        environment_done = true;
        return S_OK;
      });
  auto data_folder = web_view_data_folder();
  if (!data_folder) {
    environment_handler->Release();
    return std::move(data_folder).error();
  }
  HRESULT result = create_environment.value()(nullptr, data_folder.value().c_str(), nullptr,
                                              environment_handler);
  environment_handler->Release();
  if (FAILED(result)) return hresult_error(result).with_context("create the WebView2 environment");
  if (auto error = pump_messages_until(environment_done)) return error;
  if (FAILED(environment_result) || !environment) {
    return hresult_error(FAILED(environment_result) ? environment_result : E_POINTER)
        .with_context("create the WebView2 environment");
  }

  bool controller_done = false;
  HRESULT controller_result = E_FAIL;
  ComRef<ICoreWebView2Controller> controller;
  auto* controller_handler =
      new ControllerCompleted([&](HRESULT outcome, ICoreWebView2Controller* created) {
        controller_result = outcome;
        if (SUCCEEDED(outcome) && created != nullptr) {
          created->AddRef();
          *controller.put() = created;
        }
        controller_done = true;
        return S_OK;
      });
  result = environment->CreateCoreWebView2Controller(window, controller_handler);
  controller_handler->Release();
  if (FAILED(result)) return hresult_error(result).with_context("create the WebView2 controller");
  if (auto error = pump_messages_until(controller_done)) return error;
  if (FAILED(controller_result) || !controller) {
    return hresult_error(FAILED(controller_result) ? controller_result : E_POINTER)
        .with_context("create the WebView2 controller");
  }

  ComRef<ICoreWebView2> web_view;
  result = controller->get_CoreWebView2(web_view.put());
  if (FAILED(result)) return hresult_error(result).with_context("reach the web view");
  web_view_environment = environment.leak();
  if (auto error = configure(web_view.get())) return error;

  web_view_controller = controller.leak();
  fit_to_client_area(window);
  web_view_shown = false;
  show_web_view(!::IsIconic(window));

  const std::wstring start = utf16_from_utf8(to_frontend_http_form(frontend_address));
  result = web_view->Navigate(start.c_str());
  if (FAILED(result)) {
    return hresult_error(result).with_context("open " + frontend_address);
  }
  web_view.leak();
  focus_page();
  return std::nullopt;
}

#else  // built without the WebView2 SDK

void fit_to_client_area(HWND) {}
void focus_page() {}
void load_address(const std::string&) {}
void show_web_view(bool) {}
void tell_web_view_of_move() {}

Status create_web_view(HWND, const std::string&) {
  return ErrorChain::from_message("this build was made without the WebView2 SDK");
}

#endif

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE: {
      LoopControl next = loop_control;
      inspector_event_handler(InspectorEvent::kCloseRequested, next);
      // Once asked to exit, the loop stays asked.
      if (loop_control.mode != LoopControl::Mode::kExit) loop_control = next;
      if (loop_control.mode == LoopControl::Mode::kExit) {
        ::PostQuitMessage(loop_control.exit_status);
      }
      return 0;  // the window is never destroyed by the program
    }
    case WM_SIZE:
      show_web_view(wparam != SIZE_MINIMIZED);
      if (wparam != SIZE_MINIMIZED) fit_to_client_area(window);
      return 0;
    case kLoadAddressMessage: {
      std::unique_ptr<std::string> address(reinterpret_cast<std::string*>(lparam));
      load_address(*address);
      return 0;
    }
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
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) ::ExitProcess(static_cast<UINT>(message.wParam));
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return window;
}

}  // namespace

ErrorChain run_inspector_window(const std::string& frontend_address,
                                const WindowStarted& on_started) {
  make_process_dpi_aware();
  // A single-threaded apartment with OLE, as the web view's drag and drop requires.
  HRESULT apartment = ::OleInitialize(nullptr);
  if (FAILED(apartment)) {
    return hresult_error(apartment).with_context("failed to create inspector window");
  }

  auto window = create_window();
  if (!window) return std::move(window).error().with_context("failed to create inspector window");

  if (auto error = create_web_view(window.value(), frontend_address)) {
    return std::move(*error).with_context(kWebViewFailure);
  }
  if (on_started) {
    const HWND target = window.value();
    on_started([target](const std::string& address) {
      auto owned = std::make_unique<std::string>(address);
      if (::PostMessageW(target, kLoadAddressMessage, 0, reinterpret_cast<LPARAM>(owned.get()))) {
        owned.release();
      }
    });
  }

  // Wait mode: the thread sleeps in GetMessage until the next message.
  MSG message;
  BOOL got;
  while ((got = ::GetMessageW(&message, nullptr, 0, 0)) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  if (got == -1) {
    return os_error(::GetLastError())
        .with_context("read the window's messages")
        .with_context("the inspector window stopped");
  }
#if VORPEL_WITH_WEBVIEW2
  if (web_view_stopped) return std::move(*web_view_stopped);
#endif
  // The window and the web view go down with the process.
  ::ExitProcess(static_cast<UINT>(message.wParam));
}

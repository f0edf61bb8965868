#include "win32/web_view.h"

#include <WebView2.h>

#include <utility>

#include "frontend_address.h"
#include "frontend_protocol_handler.h"
#include "page_scripts.h"
#include "win32/com.h"
#include "win32/message_pump.h"
#include "win32/os_errors.h"
#include "win32/text.h"
#include "win32/web_resource_translation.h"
#include "win32/web_view_data_folder.h"
#include "win32/web_view_failures.h"
#include "win32/webview2_loader.h"

namespace {

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
using ScriptAdded = Handler<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler,
                            &IID_ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler,
                            HRESULT, LPCWSTR>;
using ScriptRun = Handler<ICoreWebView2ExecuteScriptCompletedHandler,
                          &IID_ICoreWebView2ExecuteScriptCompletedHandler, HRESULT, LPCWSTR>;

// Set once at creation; read by the window procedure and the request handler.
ICoreWebView2Environment* web_view_environment = nullptr;
ICoreWebView2Controller* web_view_controller = nullptr;
bool web_view_shown = false;
// Set when the browser process has gone; the message loop then ends with it.
Status web_view_stopped;

// Starts a creation that reports to a `Completed` handler, then runs the main
// thread's messages until it has, as creation must not block the window.
template <class Completed, class T, class Start>
Status await_creation(const char* what, Start start, ComRef<T>& created) {
  bool done = false;
  HRESULT outcome = E_FAIL;
  auto* handler = new Completed([&](HRESULT result, T* made) {
    outcome = result;
    if (SUCCEEDED(result) && made != nullptr) {
      made->AddRef();
      *created.put() = made;
    }
    done = true;
    return S_OK;
  });
  const HRESULT started = start(handler);
  handler->Release();
  if (FAILED(started)) return hresult_error(started).with_context(what);
  auto quit = pump_messages([&] { return done; });
  if (!quit) return std::move(quit).error();
  if (quit.value()) ::ExitProcess(*quit.value());  // closed meanwhile
  if (FAILED(outcome) || !created) {
    return hresult_error(FAILED(outcome) ? outcome : E_POINTER).with_context(what);
  }
  return std::nullopt;
}

HRESULT serve_frontend_request(ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs* args) {
  ComRef<ICoreWebView2WebResourceRequest> source;
  if (FAILED(args->get_Request(source.put())) || !source) return S_OK;
  const ProtocolResponse response = FrontendProtocolHandler("main", protocol_request(source.get()));
  ComRef<ICoreWebView2WebResourceResponse> answer;
  if (SUCCEEDED(web_resource_response(web_view_environment, response, answer.put()))) {
    args->put_Response(answer.get());
  }
  return S_OK;
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

// The hub's page plays the frontend's connection to many targets with a script of its own.
Status add_target_hub_script(ICoreWebView2* web_view) {
  const std::wstring script = utf16_from_utf8(kTargetHubScript);
  auto* added = new ScriptAdded([](HRESULT, LPCWSTR) { return S_OK; });
  const HRESULT result = web_view->AddScriptToExecuteOnDocumentCreated(script.c_str(), added);
  added->Release();
  if (FAILED(result)) return hresult_error(result).with_context("add the target hub's script");
  return std::nullopt;
}

}  // namespace

Status create_web_view(HWND window, const std::string& frontend_address,
                       const BeforeNavigation& before_navigation) {
  auto create_environment = load_webview2_loader();
  if (!create_environment) return std::move(create_environment).error();
  auto data_folder = web_view_data_folder();
  if (!data_folder) return std::move(data_folder).error();

  ComRef<ICoreWebView2Environment> environment;
  if (auto error = await_creation<EnvironmentCompleted>(
          "create the WebView2 environment",
          [&](EnvironmentCompleted* handler) {
            return create_environment.value()(nullptr, data_folder.value().c_str(), nullptr,
                                              handler);
          },
          environment)) {
    return error;
  }
  ComRef<ICoreWebView2Controller> controller;
  if (auto error = await_creation<ControllerCompleted>(
          "create the WebView2 controller",
          [&](ControllerCompleted* handler) {
            return environment->CreateCoreWebView2Controller(window, handler);
          },
          controller)) {
    return error;
  }

  ComRef<ICoreWebView2> web_view;
  HRESULT result = controller->get_CoreWebView2(web_view.put());
  if (FAILED(result)) return hresult_error(result).with_context("reach the web view");
  web_view_environment = environment.leak();
  if (auto error = configure(web_view.get())) return error;
  if (is_target_hub_address(frontend_address)) {
    if (auto error = add_target_hub_script(web_view.get())) return error;
  }
  if (before_navigation) {
    if (auto error = before_navigation(web_view.get())) return error;
  }

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

void fit_to_client_area(HWND window) {
  if (web_view_controller == nullptr) return;
  RECT bounds;
  if (::GetClientRect(window, &bounds)) web_view_controller->put_Bounds(bounds);
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

void focus_page() {
  if (web_view_controller != nullptr) {
    web_view_controller->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
  }
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

void run_in_page(const std::string& script) {
  ComRef<ICoreWebView2> web_view;
  if (web_view_controller == nullptr ||
      FAILED(web_view_controller->get_CoreWebView2(web_view.put())) || !web_view) {
    return;
  }
  auto* done = new ScriptRun([](HRESULT, LPCWSTR) { return S_OK; });
  web_view->ExecuteScript(utf16_from_utf8(script).c_str(), done);
  done->Release();
}

Status take_web_view_stop() {
  return std::exchange(web_view_stopped, std::nullopt);
}

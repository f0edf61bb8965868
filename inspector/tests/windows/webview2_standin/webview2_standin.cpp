// A stand-in for WebView2Loader.dll, built for the window tests only (it is
// never shipped). It completes creation through the UI thread's message queue,
// as the runtime does, records every call, and then acts out the test's script
// (VORPEL_STANDIN_SCRIPT), one action per timer tick:
//   environment ok | fail-sync HR | fail-async HR | pending
//   controller  ok | fail-sync HR | fail-async HR | pending
//   request METHOD URI          answer through the program's handler; read on another thread
//   move X Y | resize W H | dpi N | minimize | restore | close | wait
//   post MESSAGE WPARAM LPARAM    a message to the program's window
//   await-navigation N           hold the script until N navigations (60 s at most)
//   process-failed KIND REASON EXIT-CODE   (browser-exited, render-exited, render-unresponsive)
//   web-message TEXT...          the page posts TEXT (the rest of the line) as a string
// The actions start after the first navigation, or once creation is left pending.
#include <windows.h>
// After windows.h, which they need.
#include <objbase.h>

#include <WebView2.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "standin_driver.h"
#include "standin_log.h"
#include "standin_web_view.h"

namespace standin {
namespace {

constexpr UINT kCompleteEnvironment = WM_APP + 1;
constexpr UINT kCompleteController = WM_APP + 2;
constexpr UINT_PTR kActionTimer = 1;
constexpr UINT kActionPeriodMs = 100;
// The UI thread waits this long for a response to be read elsewhere.
constexpr DWORD kReadDeadlineMs = 30000;
// An awaited navigation may need a restarted inspector first.
constexpr int kAwaitTicks = 600;

struct Creation {
  enum class Mode { kOk, kFailSync, kFailAsync, kPending } mode = Mode::kOk;
  HRESULT failure = E_FAIL;
};

HINSTANCE module_instance = nullptr;
HWND driver_window = nullptr;
Creation environment_creation;
Creation controller_creation;
std::vector<std::vector<std::string>> actions;
size_t next_action = 0;
bool actions_started = false;
int responses = 0;
int navigations = 0;
int held_ticks = 0;

ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environment_handler = nullptr;
ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* controller_handler = nullptr;
HWND controller_parent = nullptr;
Controller* controller = nullptr;  // the stand-in's own reference

Creation parse_creation(const std::vector<std::string>& words) {
  Creation creation;
  const std::string mode = words.size() > 1 ? words[1] : "ok";
  if (words.size() > 2)
    creation.failure = static_cast<HRESULT>(std::strtoll(words[2].c_str(), nullptr, 0));
  if (mode == "fail-sync") creation.mode = Creation::Mode::kFailSync;
  if (mode == "fail-async") creation.mode = Creation::Mode::kFailAsync;
  if (mode == "pending") creation.mode = Creation::Mode::kPending;
  return creation;
}

void read_script() {
  const std::wstring path = environment(L"VORPEL_STANDIN_SCRIPT");
  if (path.empty()) return;
  std::ifstream script(narrow(path.c_str()));
  if (!script) {
    record("> cannot read the script " + narrow(path.c_str()));
    return;
  }
  std::string line;
  while (std::getline(script, line)) {
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    if (words.empty() || words[0].starts_with("#")) continue;
    if (words[0] == "environment") {
      environment_creation = parse_creation(words);
    } else if (words[0] == "controller") {
      controller_creation = parse_creation(words);
    } else {
      actions.push_back(words);
    }
  }
}

void start_actions() {
  if (actions_started) return;
  actions_started = true;
  ::SetTimer(driver_window, kActionTimer, kActionPeriodMs, nullptr);
}

// The program's top-level window on this thread.
HWND program_window() {
  if (controller_parent != nullptr) return controller_parent;
  HWND found = nullptr;
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND window, LPARAM out) {
        wchar_t name[64];
        if (::GetClassNameW(window, name, 64) > 0 && std::wstring(name) == L"vorpel_inspector") {
          *reinterpret_cast<HWND*>(out) = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

std::string client_text(HWND window) {
  RECT client{};
  ::GetClientRect(window, &client);
  return rect_text(client);
}

struct ReadJob {
  IStream* marshaled = nullptr;
  IStream* original = nullptr;
  HRESULT result = S_OK;
  bool same_object = false;
  std::string bytes;
};

// On a thread of its own, in the multithreaded apartment, as the runtime's readers are.
DWORD WINAPI read_elsewhere(void* parameter) {
  auto* job = static_cast<ReadJob*>(parameter);
  ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  IStream* stream = nullptr;
  job->result = ::CoGetInterfaceAndReleaseStream(job->marshaled, IID_IStream,
                                                 reinterpret_cast<void**>(&stream));
  if (SUCCEEDED(job->result)) {
    job->same_object = stream == job->original;
    char buffer[7000];  // not a power of two, so reads end mid-file
    for (;;) {
      ULONG count = 0;
      job->result = stream->Read(buffer, sizeof buffer, &count);
      job->bytes.append(buffer, count);
      if (FAILED(job->result) || count == 0) break;
    }
    stream->Release();
  }
  ::CoUninitialize();
  return 0;
}

void act_request(const std::string& method, const std::string& uri) {
  const int number = ++responses;
  const std::string name = "> response " + std::to_string(number);
  if (controller == nullptr) return record(name + ": no web view");
  ICoreWebView2WebResourceResponse* response =
      controller->web_view()->request(widen(method), widen(uri));
  if (response == nullptr) return record(name + ": none");
  int status = 0;
  LPWSTR reason = nullptr;
  IStream* content = nullptr;
  response->get_StatusCode(&status);
  response->get_ReasonPhrase(&reason);
  response->get_Content(&content);
  response->Release();
  std::string line = name + " " + std::to_string(status) + " [" + narrow(reason) + "]";
  ::CoTaskMemFree(reason);
  if (content == nullptr) return record(line + " without content");

  // The UI thread blocks meanwhile, so a stream that needs it cannot be read.
  auto* job = new ReadJob;
  job->original = content;
  HRESULT marshaled =
      ::CoMarshalInterThreadInterfaceInStream(IID_IStream, content, &job->marshaled);
  if (FAILED(marshaled)) {
    delete job;
    content->Release();
    return record(line + " cannot be marshaled: " + hresult_text(marshaled));
  }
  HANDLE reader = ::CreateThread(nullptr, 0, read_elsewhere, job, 0, nullptr);
  if (::WaitForSingleObject(reader, kReadDeadlineMs) != WAIT_OBJECT_0) {
    // The reader and its job stay behind; the process ends soon.
    content->Release();
    return record(line + " read: timed out with the UI thread busy");
  }
  ::CloseHandle(reader);
  const std::wstring body_path =
      environment(L"VORPEL_STANDIN_LOG") + L".body" + std::to_wstring(number);
  std::ofstream(narrow(body_path.c_str()), std::ios::binary) << job->bytes;
  line += " read: " + std::to_string(job->bytes.size()) + " bytes, " +
          (job->same_object ? "the stream itself" : "through a proxy") + ", last read " +
          hresult_text(job->result);
  delete job;
  record(line);
  const ULONG left = content->Release();
  record(name + " references left: stream " + std::to_string(left) + ", request objects " +
         std::to_string(request_objects_alive.load()));
}

COREWEBVIEW2_PROCESS_FAILED_KIND failure_kind(const std::string& name) {
  if (name == "render-exited") return COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED;
  if (name == "render-unresponsive") {
    return COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE;
  }
  if (name == "gpu-exited") return COREWEBVIEW2_PROCESS_FAILED_KIND_GPU_PROCESS_EXITED;
  return COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED;
}

COREWEBVIEW2_PROCESS_FAILED_REASON failure_reason(const std::string& name) {
  if (name == "unresponsive") return COREWEBVIEW2_PROCESS_FAILED_REASON_UNRESPONSIVE;
  if (name == "terminated") return COREWEBVIEW2_PROCESS_FAILED_REASON_TERMINATED;
  if (name == "crashed") return COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED;
  if (name == "launch-failed") return COREWEBVIEW2_PROCESS_FAILED_REASON_LAUNCH_FAILED;
  if (name == "out-of-memory") return COREWEBVIEW2_PROCESS_FAILED_REASON_OUT_OF_MEMORY;
  if (name == "profile-deleted") return COREWEBVIEW2_PROCESS_FAILED_REASON_PROFILE_DELETED;
  return COREWEBVIEW2_PROCESS_FAILED_REASON_UNEXPECTED;
}

int number(const std::vector<std::string>& words, size_t index) {
  // Through 64 bits, so that 0xC0000005 becomes the negative exit code it is.
  return index < words.size() ? static_cast<int>(std::strtoll(words[index].c_str(), nullptr, 0))
                              : 0;
}

// Whether the next action waits for the program to navigate again.
bool holds(const std::vector<std::string>& words) {
  if (words[0] != "await-navigation" || navigations >= number(words, 1)) return false;
  if (++held_ticks < kAwaitTicks) return true;
  record("> no navigation " + (words.size() > 1 ? words[1] : std::string()) + " in time");
  return false;
}

void act(const std::vector<std::string>& words) {
  std::string text = ">";
  for (const std::string& word : words) text += " " + word;
  record(text);
  const std::string& verb = words[0];
  HWND window = program_window();
  if (verb == "request" && words.size() == 3) {
    act_request(words[1], words[2]);
  } else if (verb == "move") {
    ::SetWindowPos(window, nullptr, number(words, 1), number(words, 2), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  } else if (verb == "resize") {
    ::SetWindowPos(window, nullptr, 0, 0, number(words, 1), number(words, 2),
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    record("> client " + client_text(window));
  } else if (verb == "dpi") {
    // As the system does when the window reaches a monitor of another scale.
    const int dpi = number(words, 1);
    RECT frame{};
    ::GetWindowRect(window, &frame);
    RECT suggested{frame.left, frame.top, frame.left + (frame.right - frame.left) * dpi / 96,
                   frame.top + (frame.bottom - frame.top) * dpi / 96};
    ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                   reinterpret_cast<LPARAM>(&suggested));
    record("> client " + client_text(window));
  } else if (verb == "minimize") {
    ::ShowWindow(window, SW_MINIMIZE);
  } else if (verb == "restore") {
    ::ShowWindow(window, SW_RESTORE);
    record("> client " + client_text(window));
  } else if (verb == "post") {
    // A message of the program's own, e.g. one that asks it to navigate.
    ::PostMessageW(window, static_cast<UINT>(number(words, 1)),
                   static_cast<WPARAM>(number(words, 2)), static_cast<LPARAM>(number(words, 3)));
  } else if (verb == "close") {
    ::PostMessageW(window, WM_CLOSE, 0, 0);
  } else if (verb == "process-failed") {
    const auto kind = failure_kind(words.size() > 1 ? words[1] : "");
    if (kind == COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED && controller != nullptr) {
      controller->close_for_good();
    }
    if (controller == nullptr ||
        !controller->web_view()->fail_process(
            kind, failure_reason(words.size() > 2 ? words[2] : ""), number(words, 3))) {
      record("> nobody listens for ProcessFailed");
    }
  } else if (verb == "web-message") {
    std::string text;
    for (size_t i = 1; i < words.size(); ++i) text += (i > 1 ? " " : "") + words[i];
    if (controller == nullptr || !controller->web_view()->send_web_message(widen(text))) {
      record("> nobody listens for web messages");
    }
  } else if (verb != "wait" && verb != "await-navigation") {
    record("> unknown action");
  }
}

void complete_environment(HRESULT result) {
  Environment* created = SUCCEEDED(result) ? new Environment() : nullptr;
  record("> environment completes " + hresult_text(result));
  auto* handler = std::exchange(environment_handler, nullptr);
  handler->Invoke(result, created);
  // The program let go of its handler when it handed it over.
  const ULONG left = handler->Release();
  record("> environment handler references left: " + std::to_string(left));
  if (created != nullptr) created->Release();
}

void complete_controller(HRESULT result) {
  if (SUCCEEDED(result)) {
    controller = new Controller(controller_parent);
  }
  record("> controller completes " + hresult_text(result));
  auto* handler = std::exchange(controller_handler, nullptr);
  handler->Invoke(result, controller);
  const ULONG left = handler->Release();
  record("> controller handler references left: " + std::to_string(left));
}

LRESULT CALLBACK driver_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kCompleteEnvironment:
      complete_environment(static_cast<HRESULT>(wparam));
      return 0;
    case kCompleteController:
      complete_controller(static_cast<HRESULT>(wparam));
      return 0;
    case WM_TIMER:
      if (wparam == kActionTimer) {
        if (next_action < actions.size()) {
          if (holds(actions[next_action])) return 0;
          held_ticks = 0;
          act(actions[next_action++]);
        } else {
          ::KillTimer(window, kActionTimer);
        }
      }
      return 0;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

bool make_driver_window() {
  if (driver_window != nullptr) return true;
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = driver_procedure;
  window_class.hInstance = module_instance;
  window_class.lpszClassName = L"vorpel_webview2_standin";
  ::RegisterClassW(&window_class);
  driver_window = ::CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                    nullptr, module_instance, nullptr);
  return driver_window != nullptr;
}

// Sends the outcome through the queue, as the runtime does, or holds it back.
HRESULT begin(const Creation& creation, UINT completion) {
  switch (creation.mode) {
    case Creation::Mode::kFailSync:
      record("> fails at once with " + hresult_text(creation.failure));
      return creation.failure;
    case Creation::Mode::kFailAsync:
      ::PostMessageW(driver_window, completion, static_cast<WPARAM>(creation.failure), 0);
      return S_OK;
    case Creation::Mode::kPending:
      record("> left pending");
      start_actions();
      return S_OK;
    case Creation::Mode::kOk:
      ::PostMessageW(driver_window, completion, S_OK, 0);
      return S_OK;
  }
  return E_UNEXPECTED;
}

}  // namespace

HRESULT begin_controller_creation(
    HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) {
  const HRESULT result = begin(controller_creation, kCompleteController);
  if (SUCCEEDED(result)) {
    handler->AddRef();
    controller_handler = handler;
    controller_parent = parent;
  }
  return result;
}

void navigated() {
  ++navigations;
  start_actions();
}

}  // namespace standin

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) standin::module_instance = instance;
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browser_folder, PCWSTR data_folder, ICoreWebView2EnvironmentOptions* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  using namespace standin;
  open_log();
  record("CreateCoreWebView2EnvironmentWithOptions browser=" + narrow(browser_folder) +
         " data=" + narrow(data_folder) + " options=" + (options != nullptr ? "set" : "<null>"));
  if (handler == nullptr) return E_POINTER;
  read_script();
  if (!make_driver_window()) return HRESULT_FROM_WIN32(::GetLastError());
  const HRESULT result = begin(environment_creation, kCompleteEnvironment);
  if (SUCCEEDED(result)) {
    handler->AddRef();
    environment_handler = handler;
  }
  return result;
}

// The window layer's pieces that run without a web view: the message pump,
// and with the SDK the COM handlers and the browser process's report.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "win32/message_pump.h"

#if VORPEL_WITH_WEBVIEW2
#include <WebView2.h>

#include "win32/com.h"
#include "win32/web_view_failures.h"
#endif

namespace {

using namespace std::chrono_literals;

constexpr UINT kNumbered = WM_APP + 7;

// A message-only window that records the number of each message it is sent.
class Recorder {
 public:
  Recorder() {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"vorpel_pump_recorder";
    ::RegisterClassExW(&window_class);  // fails harmlessly once registered
    window_ = ::CreateWindowExW(0, L"vorpel_pump_recorder", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, window_class.hInstance, nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;
  ~Recorder() {
    ::DestroyWindow(window_);
    // What the pump left, so that no case sees another's.
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
  }

  HWND window() const { return window_; }
  void post(int number) const { ::PostMessageW(window_, kNumbered, number, 0); }
  const std::vector<int>& dispatched() const { return dispatched_; }

  // The numbers still queued, taken off the queue.
  std::vector<int> take_queued() const {
    std::vector<int> numbers;
    MSG message;
    while (::PeekMessageW(&message, window_, kNumbered, kNumbered, PM_REMOVE)) {
      numbers.push_back(static_cast<int>(message.wParam));
    }
    return numbers;
  }

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (run_posted_task(message, lparam)) return 0;
    auto* self = reinterpret_cast<Recorder*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == kNumbered && self != nullptr) {
      self->dispatched_.push_back(static_cast<int>(wparam));
      return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }

  HWND window_ = nullptr;
  std::vector<int> dispatched_;
};

TEST(MessagePump, EndsWhenDoneOrAtTheQuitMessage) {
  struct Case {
    const char* name;
    int posted;               // messages 1..posted queued first
    std::optional<int> quit;  // then a quit message with this status
    std::function<bool(int asked)> done;
    std::optional<UINT> result;
    std::vector<int> dispatched;
    std::vector<int> left;
  };
  const auto after = [](int messages) {
    return [messages](int asked) { return asked > messages; };
  };
  const Case cases[] = {
      {"done at once", 2, std::nullopt, after(0), std::nullopt, {}, {1, 2}},
      {"done after two: the rest stays queued",
       3,
       std::nullopt,
       after(2),
       std::nullopt,
       {1, 2},
       {3}},
      {"quit before done", 2, 7, after(100), 7u, {1, 2}, {}},
      {"quit with status 0", 0, 0, after(100), 0u, {}, {}},
      {"drain: what is queued, no waiting",
       3,
       std::nullopt,
       [](int) { return no_message_queued(); },
       std::nullopt,
       {1, 2, 3},
       {}},
      {"drain meets a quit", 1, 3, [](int) { return no_message_queued(); }, 3u, {1}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Recorder recorder;
    ASSERT_NE(recorder.window(), nullptr);
    for (int number = 1; number <= c.posted; ++number) recorder.post(number);
    if (c.quit) ::PostQuitMessage(*c.quit);
    int asked = 0;
    auto ended = pump_messages([&] { return c.done(++asked); });
    ASSERT_TRUE(ended) << ended.error().report();
    EXPECT_EQ(ended.value(), c.result);
    EXPECT_EQ(recorder.dispatched(), c.dispatched);
    EXPECT_EQ(recorder.take_queued(), c.left);
  }
}

// Waiting for a completion: the pump sleeps until a message from another
// thread arrives, and `done` is asked again after it.
TEST(MessagePump, SleepsUntilAMessageFromAnotherThread) {
  Recorder recorder;
  ASSERT_NE(recorder.window(), nullptr);
  const HWND window = recorder.window();
  std::thread poster([window] {
    std::this_thread::sleep_for(100ms);
    ::PostMessageW(window, kNumbered, 42, 0);
  });
  const auto start = std::chrono::steady_clock::now();
  auto ended = pump_messages([&] { return !recorder.dispatched().empty(); });
  poster.join();
  ASSERT_TRUE(ended) << ended.error().report();
  EXPECT_EQ(ended.value(), std::nullopt);
  EXPECT_EQ(recorder.dispatched(), std::vector<int>{42});
  EXPECT_GE(std::chrono::steady_clock::now() - start, 90ms);
}

// Tasks posted from another thread run on the window's, in order; one for a
// window that is gone never runs.
TEST(MessagePump, RunsPostedTasksOnTheWindowsThread) {
  using Run = std::pair<int, std::thread::id>;
  std::vector<Run> ran;
  HWND gone = nullptr;
  {
    Recorder recorder;
    ASSERT_NE(recorder.window(), nullptr);
    const HWND window = gone = recorder.window();
    std::thread poster([&ran, window] {
      for (int number = 1; number <= 3; ++number) {
        post_task(window, [&ran, number] { ran.emplace_back(number, std::this_thread::get_id()); });
      }
    });
    poster.join();
    auto ended = pump_messages(no_message_queued);
    ASSERT_TRUE(ended) << ended.error().report();
  }
  const auto here = std::this_thread::get_id();
  EXPECT_EQ(ran, (std::vector<Run>{{1, here}, {2, here}, {3, here}}));
  post_task(gone, [&ran] { ran.emplace_back(4, std::this_thread::get_id()); });
  ASSERT_TRUE(pump_messages(no_message_queued));
  EXPECT_EQ(ran.size(), 3u);
}

#if VORPEL_WITH_WEBVIEW2

using FailureHandler =
    Handler<ICoreWebView2ProcessFailedEventHandler, &IID_ICoreWebView2ProcessFailedEventHandler,
            ICoreWebView2*, ICoreWebView2ProcessFailedEventArgs*>;

TEST(ComHandler, AnswersForItsOwnInterfacesAndCountsReferences) {
  auto alive = std::make_shared<int>(0);
  std::weak_ptr<int> watch = alive;
  ICoreWebView2ProcessFailedEventArgs* seen = nullptr;
  auto* handler = new FailureHandler(
      [alive = std::move(alive), &seen](ICoreWebView2*, ICoreWebView2ProcessFailedEventArgs* args) {
        seen = args;
        return E_ABORT;
      });

  struct Case {
    const char* name;
    const IID& iid;
    HRESULT result;
  };
  const Case cases[] = {
      {"IUnknown", IID_IUnknown, S_OK},
      {"its own interface", IID_ICoreWebView2ProcessFailedEventHandler, S_OK},
      {"another handler's", IID_ICoreWebView2WebResourceRequestedEventHandler, E_NOINTERFACE},
      {"a stream", IID_IStream, E_NOINTERFACE},
  };
  ULONG references = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(handler->QueryInterface(c.iid, &object), c.result);
    if (SUCCEEDED(c.result)) {
      EXPECT_EQ(object, static_cast<ICoreWebView2ProcessFailedEventHandler*>(handler));
      ++references;
    } else {
      EXPECT_EQ(object, nullptr);
    }
  }
  EXPECT_EQ(handler->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

  const auto fake_args = reinterpret_cast<ICoreWebView2ProcessFailedEventArgs*>(0x1000);
  EXPECT_EQ(handler->Invoke(nullptr, fake_args), E_ABORT);
  EXPECT_EQ(seen, fake_args);

  while (references > 1) EXPECT_EQ(handler->Release(), --references);
  EXPECT_FALSE(watch.expired());
  EXPECT_EQ(handler->Release(), 0u);
  EXPECT_TRUE(watch.expired());  // the function went with the handler
}

TEST(ProcessFailureDetails, NameTheReasonAndTheExitCode) {
  struct Case {
    COREWEBVIEW2_PROCESS_FAILED_REASON reason;
    int exit_code;
    const char* details;
  };
  const Case cases[] = {
      {COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED, static_cast<int>(0xC0000005),
       " (reason: crashed, exit code 0xC0000005)"},
      {COREWEBVIEW2_PROCESS_FAILED_REASON_TERMINATED, 1, " (reason: terminated, exit code 1)"},
      {COREWEBVIEW2_PROCESS_FAILED_REASON_UNRESPONSIVE, 0, " (reason: unresponsive, exit code 0)"},
      {COREWEBVIEW2_PROCESS_FAILED_REASON_LAUNCH_FAILED, 0xFFFF,
       " (reason: failed to start, exit code 65535)"},
      {COREWEBVIEW2_PROCESS_FAILED_REASON_OUT_OF_MEMORY, 0x10000,
       " (reason: out of memory, exit code 0x00010000)"},
      {COREWEBVIEW2_PROCESS_FAILED_REASON_PROFILE_DELETED, -1,
       " (reason: profile deleted, exit code 0xFFFFFFFF)"},
      {COREWEBVIEW2_PROCESS_FAILED_REASON_UNEXPECTED, 3, " (reason: unexpected, exit code 3)"},
      {static_cast<COREWEBVIEW2_PROCESS_FAILED_REASON>(99), 3,
       " (reason: unexpected, exit code 3)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(process_failure_details(c.reason, c.exit_code), c.details) << c.reason;
  }
}

// The event's arguments as a runtime of either version hands them over.
class FailureArgs final : public ComObject<ICoreWebView2ProcessFailedEventArgs2> {
 public:
  FailureArgs(bool second_version, HRESULT reason_result)
      : second_version_(second_version), reason_result_(reason_result) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (second_version_) {
      return query_interface(
          iid, object,
          {IID_ICoreWebView2ProcessFailedEventArgs, IID_ICoreWebView2ProcessFailedEventArgs2});
    }
    return query_interface(iid, object, {IID_ICoreWebView2ProcessFailedEventArgs});
  }
  HRESULT STDMETHODCALLTYPE get_ProcessFailedKind(COREWEBVIEW2_PROCESS_FAILED_KIND* kind) override {
    *kind = COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Reason(COREWEBVIEW2_PROCESS_FAILED_REASON* reason) override {
    *reason = COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED;
    return reason_result_;
  }
  HRESULT STDMETHODCALLTYPE get_ExitCode(int* code) override {
    *code = static_cast<int>(0xC0000005);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ProcessDescription(LPWSTR* description) override {
    *description = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE
  get_FrameInfosForFailedProcess(ICoreWebView2FrameInfoCollection** frames) override {
    *frames = nullptr;
    return E_NOTIMPL;
  }

 private:
  bool second_version_;
  HRESULT reason_result_;
};

TEST(BrowserProcessFailure, GivesTheDetailsOnlyWhenTheRuntimeHasThem) {
  struct Case {
    const char* name;
    bool second_version;
    HRESULT reason_result;
    const char* cause;
  };
  const Case cases[] = {
      {"newer runtime", true, S_OK,
       "WebView2 browser process failure (reason: crashed, exit code 0xC0000005)"},
      {"first version only", false, S_OK, "WebView2 browser process failure"},
      {"the reason unreadable", true, E_FAIL, "WebView2 browser process failure"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* args = new FailureArgs(c.second_version, c.reason_result);
    const ErrorChain error = browser_process_failure(args);
    EXPECT_EQ(error.messages(), (std::vector<std::string>{
                                    "the webview stopped (its browser process exited)", c.cause}));
    EXPECT_EQ(args->Release(), 0u);  // every reference the report took is returned
  }
}

#endif

}  // namespace

// The stand-in's environment, controller, web view and settings: each records
// every call, and keeps what the program set so the driver can act on it.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <WebView2.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "standin_log.h"

namespace standin {

// Objects the stand-in makes per request, still referenced by anyone.
extern std::atomic<long> request_objects_alive;

// IUnknown for one interface (and its bases); records queries for any other.
template <class Interface, const IID* kIid>
class Recorded : public Interface {
 public:
  explicit Recorded(std::string name) : name_(std::move(name)) {}
  Recorded(const Recorded&) = delete;
  Recorded& operator=(const Recorded&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, *kIid) || answers(iid)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    record(name_ + ".QueryInterface " + iid_text(iid) + " -> E_NOINTERFACE");
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~Recorded() = default;
  // Interfaces the object answers besides kIid (its bases).
  virtual bool answers(REFIID) { return false; }
  void call(const std::string& what) { record(name_ + "." + what); }
  HRESULT unused(const char* method) {
    record(name_ + "." + method + " (not implemented)");
    return E_NOTIMPL;
  }

  std::string name_;

 private:
  std::atomic<ULONG> references_{1};
};

// A method the program has no business calling: recorded, and refused.
#define STANDIN_UNUSED(name, ...)                        \
  HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { \
    return unused(#name);                                \
  }

struct Filter {
  std::wstring uri;
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT context;
};

class Settings;
class WebView;

class Environment final : public Recorded<ICoreWebView2Environment, &IID_ICoreWebView2Environment> {
 public:
  Environment() : Recorded("Environment") {}

  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override;
  HRESULT STDMETHODCALLTYPE
  CreateWebResourceResponse(IStream* content, int status, LPCWSTR reason, LPCWSTR headers,
                            ICoreWebView2WebResourceResponse** response) override;
  STANDIN_UNUSED(get_BrowserVersionString, LPWSTR*)
  STANDIN_UNUSED(add_NewBrowserVersionAvailable,
                 ICoreWebView2NewBrowserVersionAvailableEventHandler*, EventRegistrationToken*)
  STANDIN_UNUSED(remove_NewBrowserVersionAvailable, EventRegistrationToken)
};

class Controller final : public Recorded<ICoreWebView2Controller, &IID_ICoreWebView2Controller> {
 public:
  explicit Controller(HWND parent);

  HWND parent() const { return parent_; }
  WebView* web_view() const { return web_view_; }
  void close_for_good() { closed_ = true; }

  HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* visible) override;
  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL visible) override;
  HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) override;
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) override;
  STANDIN_UNUSED(get_ZoomFactor, double*)
  STANDIN_UNUSED(put_ZoomFactor, double)
  STANDIN_UNUSED(add_ZoomFactorChanged, ICoreWebView2ZoomFactorChangedEventHandler*,
                 EventRegistrationToken*)
  STANDIN_UNUSED(remove_ZoomFactorChanged, EventRegistrationToken)
  STANDIN_UNUSED(SetBoundsAndZoomFactor, RECT, double)
  HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) override;
  STANDIN_UNUSED(add_MoveFocusRequested, ICoreWebView2MoveFocusRequestedEventHandler*,
                 EventRegistrationToken*)
  STANDIN_UNUSED(remove_MoveFocusRequested, EventRegistrationToken)
  STANDIN_UNUSED(add_GotFocus, ICoreWebView2FocusChangedEventHandler*, EventRegistrationToken*)
  STANDIN_UNUSED(remove_GotFocus, EventRegistrationToken)
  STANDIN_UNUSED(add_LostFocus, ICoreWebView2FocusChangedEventHandler*, EventRegistrationToken*)
  STANDIN_UNUSED(remove_LostFocus, EventRegistrationToken)
  STANDIN_UNUSED(add_AcceleratorKeyPressed, ICoreWebView2AcceleratorKeyPressedEventHandler*,
                 EventRegistrationToken*)
  STANDIN_UNUSED(remove_AcceleratorKeyPressed, EventRegistrationToken)
  HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* parent) override;
  STANDIN_UNUSED(put_ParentWindow, HWND)
  HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() override;
  HRESULT STDMETHODCALLTYPE Close() override;
  HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** web_view) override;

 private:
  ~Controller() override;
  HRESULT state();

  HWND parent_;
  WebView* web_view_;
  RECT bounds_{};
  BOOL visible_ = TRUE;
  bool closed_ = false;
};

// The runtime's settings, all on at first as the runtime's are.
class Settings final : public Recorded<ICoreWebView2Settings, &IID_ICoreWebView2Settings> {
 public:
  Settings() : Recorded("Settings") {}
  std::string summary() const;

#define STANDIN_SETTING(Name)                                  \
  BOOL Name##_ = TRUE;                                         \
  HRESULT STDMETHODCALLTYPE get_##Name(BOOL* value) override { \
    call("get_" #Name);                                        \
    if (value == nullptr) return E_POINTER;                    \
    *value = Name##_;                                          \
    return S_OK;                                               \
  }                                                            \
  HRESULT STDMETHODCALLTYPE put_##Name(BOOL value) override {  \
    call("put_" #Name " " + std::to_string(value));            \
    Name##_ = value;                                           \
    return S_OK;                                               \
  }
  STANDIN_SETTING(IsScriptEnabled)
  STANDIN_SETTING(IsWebMessageEnabled)
  STANDIN_SETTING(AreDefaultScriptDialogsEnabled)
  STANDIN_SETTING(IsStatusBarEnabled)
  STANDIN_SETTING(AreDevToolsEnabled)
  STANDIN_SETTING(AreDefaultContextMenusEnabled)
  STANDIN_SETTING(AreHostObjectsAllowed)
  STANDIN_SETTING(IsZoomControlEnabled)
  STANDIN_SETTING(IsBuiltInErrorPageEnabled)
#undef STANDIN_SETTING
};

class WebView final : public Recorded<ICoreWebView2, &IID_ICoreWebView2> {
 public:
  WebView();

  void close_for_good() { closed_ = true; }
  // The request's response as the program set it, or null; sends it through every
  // handler whose filter matches, as the runtime does.
  ICoreWebView2WebResourceResponse* request(const std::wstring& method, const std::wstring& uri);
  // A string message from the page, as the page script posts it; false when nobody listens.
  bool send_web_message(const std::wstring& text);
  // False when nobody listens.
  bool fail_process(COREWEBVIEW2_PROCESS_FAILED_KIND kind,
                    COREWEBVIEW2_PROCESS_FAILED_REASON reason, int exit_code);

  HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) override;
  STANDIN_UNUSED(get_Source, LPWSTR*)
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override;
  STANDIN_UNUSED(NavigateToString, LPCWSTR)
  STANDIN_UNUSED(add_NavigationStarting, ICoreWebView2NavigationStartingEventHandler*,
                 EventRegistrationToken*)
  STANDIN_UNUSED(remove_NavigationStarting, EventRegistrationToken)
  STANDIN_UNUSED(add_ContentLoading, ICoreWebView2ContentLoadingEventHandler*,
                 EventRegistrationToken*)
  STANDIN_UNUSED(remove_ContentLoading, EventRegistrationToken)
  STANDIN_UNUSED(add_SourceChanged, ICoreWebView2SourceChangedEventHandler*,
                 EventRegistrationToken*)
  STANDIN_UNUSED(remove_SourceChanged, EventRegistrationToken)
  STANDIN_UNUSED(add_HistoryChanged, ICoreWebView2HistoryChangedEventHandler*,
                 EventRegistrationToken*)
  STANDIN_UNUSED(remove_HistoryChanged, EventRegistrationToken)
  STANDIN_UNUSED(add_NavigationCompleted, ICoreWebView2NavigationCompletedEventHandler*,
                 EventRegistrationToken*)
  STANDIN_UNUSED(remove_NavigationCompleted, EventRegistrationToken)
  STANDIN_UNUSED(add_FrameNavigationStarting, ICoreWebView2NavigationStartingEventHandler*,
                 EventRegistrationToken*)
  STANDIN_UNUSED(remove_FrameNavigationStarting, EventRegistrationToken)
  STANDIN_UNUSED(add_FrameNavigationCompleted, ICoreWebView2NavigationCompletedEventHandler*,
                 EventRegistrationToken*)
  STANDIN_UNUSED(remove_FrameNavigationCompleted, EventRegistrationToken)
  STANDIN_UNUSED(add_ScriptDialogOpening, ICoreWebView2ScriptDialogOpeningEventHandler*,
                 EventRegistrationToken*)
  STANDIN_UNUSED(remove_ScriptDialogOpening, EventRegistrationToken)
  STANDIN_UNUSED(add_PermissionRequested, ICoreWebView2PermissionRequestedEventHandler*,
                 EventRegistrationToken*)
  STANDIN_UNUSED(remove_PermissionRequested, EventRegistrationToken)
  HRESULT STDMETHODCALLTYPE add_ProcessFailed(ICoreWebView2ProcessFailedEventHandler* handler,
                                              EventRegistrationToken* token) override;
  HRESULT STDMETHODCALLTYPE remove_ProcessFailed(EventRegistrationToken token) override;
  HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
      LPCWSTR script,
      ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) override;
  STANDIN_UNUSED(RemoveScriptToExecuteOnDocumentCreated, LPCWSTR)
  HRESULT STDMETHODCALLTYPE
  ExecuteScript(LPCWSTR script, ICoreWebView2ExecuteScriptCompletedHandler* handler) override;
  STANDIN_UNUSED(CapturePreview, COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT, IStream*,
                 ICoreWebView2CapturePreviewCompletedHandler*)
  HRESULT STDMETHODCALLTYPE Reload() override;
  HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR json) override;
  STANDIN_UNUSED(PostWebMessageAsString, LPCWSTR)
  HRESULT STDMETHODCALLTYPE add_WebMessageReceived(
      ICoreWebView2WebMessageReceivedEventHandler* handler, EventRegistrationToken* token) override;
  HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken token) override;
  STANDIN_UNUSED(CallDevToolsProtocolMethod, LPCWSTR, LPCWSTR,
                 ICoreWebView2CallDevToolsProtocolMethodCompletedHandler*)
  STANDIN_UNUSED(get_BrowserProcessId, UINT32*)
  STANDIN_UNUSED(get_CanGoBack, BOOL*)
  STANDIN_UNUSED(get_CanGoForward, BOOL*)
  STANDIN_UNUSED(GoBack)
  STANDIN_UNUSED(GoForward)
  HRESULT STDMETHODCALLTYPE
  GetDevToolsProtocolEventReceiver(LPCWSTR, ICoreWebView2DevToolsProtocolEventReceiver**) override {
    return unused("GetDevToolsProtocolEventReceiver");
  }
  STANDIN_UNUSED(Stop)
  STANDIN_UNUSED(add_NewWindowRequested, ICoreWebView2NewWindowRequestedEventHandler*,
                 EventRegistrationToken*)
  STANDIN_UNUSED(remove_NewWindowRequested, EventRegistrationToken)
  STANDIN_UNUSED(add_DocumentTitleChanged, ICoreWebView2DocumentTitleChangedEventHandler*,
                 EventRegistrationToken*)
  STANDIN_UNUSED(remove_DocumentTitleChanged, EventRegistrationToken)
  STANDIN_UNUSED(get_DocumentTitle, LPWSTR*)
  STANDIN_UNUSED(AddHostObjectToScript, LPCWSTR, VARIANT*)
  STANDIN_UNUSED(RemoveHostObjectFromScript, LPCWSTR)
  STANDIN_UNUSED(OpenDevToolsWindow)
  HRESULT STDMETHODCALLTYPE
  add_ContainsFullScreenElementChanged(ICoreWebView2ContainsFullScreenElementChangedEventHandler*,
                                       EventRegistrationToken*) override {
    return unused("add_ContainsFullScreenElementChanged");
  }
  HRESULT STDMETHODCALLTYPE
  remove_ContainsFullScreenElementChanged(EventRegistrationToken) override {
    return unused("remove_ContainsFullScreenElementChanged");
  }
  STANDIN_UNUSED(get_ContainsFullScreenElement, BOOL*)
  HRESULT STDMETHODCALLTYPE
  add_WebResourceRequested(ICoreWebView2WebResourceRequestedEventHandler* handler,
                           EventRegistrationToken* token) override;
  HRESULT STDMETHODCALLTYPE remove_WebResourceRequested(EventRegistrationToken token) override;
  HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(
      const LPCWSTR uri, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) override;
  HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilter(
      const LPCWSTR uri, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) override;
  STANDIN_UNUSED(add_WindowCloseRequested, ICoreWebView2WindowCloseRequestedEventHandler*,
                 EventRegistrationToken*)
  STANDIN_UNUSED(remove_WindowCloseRequested, EventRegistrationToken)

 private:
  ~WebView() override;
  HRESULT state();

  Settings* settings_;
  bool closed_ = false;
  std::vector<Filter> filters_;
  std::vector<std::pair<INT64, ICoreWebView2WebResourceRequestedEventHandler*>> resource_handlers_;
  std::vector<std::pair<INT64, ICoreWebView2ProcessFailedEventHandler*>> failure_handlers_;
  std::vector<std::pair<INT64, ICoreWebView2WebMessageReceivedEventHandler*>> message_handlers_;
};

}  // namespace standin

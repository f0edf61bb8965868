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
  HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR*) override {
    return unused("get_BrowserVersionString");
  }
  HRESULT STDMETHODCALLTYPE add_NewBrowserVersionAvailable(
      ICoreWebView2NewBrowserVersionAvailableEventHandler*, EventRegistrationToken*) override {
    return unused("add_NewBrowserVersionAvailable");
  }
  HRESULT STDMETHODCALLTYPE remove_NewBrowserVersionAvailable(EventRegistrationToken) override {
    return unused("remove_NewBrowserVersionAvailable");
  }
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
  HRESULT STDMETHODCALLTYPE get_ZoomFactor(double*) override { return unused("get_ZoomFactor"); }
  HRESULT STDMETHODCALLTYPE put_ZoomFactor(double) override { return unused("put_ZoomFactor"); }
  HRESULT STDMETHODCALLTYPE add_ZoomFactorChanged(ICoreWebView2ZoomFactorChangedEventHandler*,
                                                  EventRegistrationToken*) override {
    return unused("add_ZoomFactorChanged");
  }
  HRESULT STDMETHODCALLTYPE remove_ZoomFactorChanged(EventRegistrationToken) override {
    return unused("remove_ZoomFactorChanged");
  }
  HRESULT STDMETHODCALLTYPE SetBoundsAndZoomFactor(RECT, double) override {
    return unused("SetBoundsAndZoomFactor");
  }
  HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) override;
  HRESULT STDMETHODCALLTYPE add_MoveFocusRequested(ICoreWebView2MoveFocusRequestedEventHandler*,
                                                   EventRegistrationToken*) override {
    return unused("add_MoveFocusRequested");
  }
  HRESULT STDMETHODCALLTYPE remove_MoveFocusRequested(EventRegistrationToken) override {
    return unused("remove_MoveFocusRequested");
  }
  HRESULT STDMETHODCALLTYPE add_GotFocus(ICoreWebView2FocusChangedEventHandler*,
                                         EventRegistrationToken*) override {
    return unused("add_GotFocus");
  }
  HRESULT STDMETHODCALLTYPE remove_GotFocus(EventRegistrationToken) override {
    return unused("remove_GotFocus");
  }
  HRESULT STDMETHODCALLTYPE add_LostFocus(ICoreWebView2FocusChangedEventHandler*,
                                          EventRegistrationToken*) override {
    return unused("add_LostFocus");
  }
  HRESULT STDMETHODCALLTYPE remove_LostFocus(EventRegistrationToken) override {
    return unused("remove_LostFocus");
  }
  HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(
      ICoreWebView2AcceleratorKeyPressedEventHandler*, EventRegistrationToken*) override {
    return unused("add_AcceleratorKeyPressed");
  }
  HRESULT STDMETHODCALLTYPE remove_AcceleratorKeyPressed(EventRegistrationToken) override {
    return unused("remove_AcceleratorKeyPressed");
  }
  HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* parent) override;
  HRESULT STDMETHODCALLTYPE put_ParentWindow(HWND) override { return unused("put_ParentWindow"); }
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
  // False when nobody listens.
  bool fail_process(COREWEBVIEW2_PROCESS_FAILED_KIND kind,
                    COREWEBVIEW2_PROCESS_FAILED_REASON reason, int exit_code);

  HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) override;
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR*) override { return unused("get_Source"); }
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override;
  HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR) override {
    return unused("NavigateToString");
  }
  HRESULT STDMETHODCALLTYPE add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler*,
                                                   EventRegistrationToken*) override {
    return unused("add_NavigationStarting");
  }
  HRESULT STDMETHODCALLTYPE remove_NavigationStarting(EventRegistrationToken) override {
    return unused("remove_NavigationStarting");
  }
  HRESULT STDMETHODCALLTYPE add_ContentLoading(ICoreWebView2ContentLoadingEventHandler*,
                                               EventRegistrationToken*) override {
    return unused("add_ContentLoading");
  }
  HRESULT STDMETHODCALLTYPE remove_ContentLoading(EventRegistrationToken) override {
    return unused("remove_ContentLoading");
  }
  HRESULT STDMETHODCALLTYPE add_SourceChanged(ICoreWebView2SourceChangedEventHandler*,
                                              EventRegistrationToken*) override {
    return unused("add_SourceChanged");
  }
  HRESULT STDMETHODCALLTYPE remove_SourceChanged(EventRegistrationToken) override {
    return unused("remove_SourceChanged");
  }
  HRESULT STDMETHODCALLTYPE add_HistoryChanged(ICoreWebView2HistoryChangedEventHandler*,
                                               EventRegistrationToken*) override {
    return unused("add_HistoryChanged");
  }
  HRESULT STDMETHODCALLTYPE remove_HistoryChanged(EventRegistrationToken) override {
    return unused("remove_HistoryChanged");
  }
  HRESULT STDMETHODCALLTYPE add_NavigationCompleted(ICoreWebView2NavigationCompletedEventHandler*,
                                                    EventRegistrationToken*) override {
    return unused("add_NavigationCompleted");
  }
  HRESULT STDMETHODCALLTYPE remove_NavigationCompleted(EventRegistrationToken) override {
    return unused("remove_NavigationCompleted");
  }
  HRESULT STDMETHODCALLTYPE add_FrameNavigationStarting(
      ICoreWebView2NavigationStartingEventHandler*, EventRegistrationToken*) override {
    return unused("add_FrameNavigationStarting");
  }
  HRESULT STDMETHODCALLTYPE remove_FrameNavigationStarting(EventRegistrationToken) override {
    return unused("remove_FrameNavigationStarting");
  }
  HRESULT STDMETHODCALLTYPE add_FrameNavigationCompleted(
      ICoreWebView2NavigationCompletedEventHandler*, EventRegistrationToken*) override {
    return unused("add_FrameNavigationCompleted");
  }
  HRESULT STDMETHODCALLTYPE remove_FrameNavigationCompleted(EventRegistrationToken) override {
    return unused("remove_FrameNavigationCompleted");
  }
  HRESULT STDMETHODCALLTYPE add_ScriptDialogOpening(ICoreWebView2ScriptDialogOpeningEventHandler*,
                                                    EventRegistrationToken*) override {
    return unused("add_ScriptDialogOpening");
  }
  HRESULT STDMETHODCALLTYPE remove_ScriptDialogOpening(EventRegistrationToken) override {
    return unused("remove_ScriptDialogOpening");
  }
  HRESULT STDMETHODCALLTYPE add_PermissionRequested(ICoreWebView2PermissionRequestedEventHandler*,
                                                    EventRegistrationToken*) override {
    return unused("add_PermissionRequested");
  }
  HRESULT STDMETHODCALLTYPE remove_PermissionRequested(EventRegistrationToken) override {
    return unused("remove_PermissionRequested");
  }
  HRESULT STDMETHODCALLTYPE add_ProcessFailed(ICoreWebView2ProcessFailedEventHandler* handler,
                                              EventRegistrationToken* token) override;
  HRESULT STDMETHODCALLTYPE remove_ProcessFailed(EventRegistrationToken token) override;
  HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
      LPCWSTR, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler*) override {
    return unused("AddScriptToExecuteOnDocumentCreated");
  }
  HRESULT STDMETHODCALLTYPE RemoveScriptToExecuteOnDocumentCreated(LPCWSTR) override {
    return unused("RemoveScriptToExecuteOnDocumentCreated");
  }
  HRESULT STDMETHODCALLTYPE ExecuteScript(LPCWSTR,
                                          ICoreWebView2ExecuteScriptCompletedHandler*) override {
    return unused("ExecuteScript");
  }
  HRESULT STDMETHODCALLTYPE CapturePreview(COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT, IStream*,
                                           ICoreWebView2CapturePreviewCompletedHandler*) override {
    return unused("CapturePreview");
  }
  HRESULT STDMETHODCALLTYPE Reload() override;
  HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR) override {
    return unused("PostWebMessageAsJson");
  }
  HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR) override {
    return unused("PostWebMessageAsString");
  }
  HRESULT STDMETHODCALLTYPE add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler*,
                                                   EventRegistrationToken*) override {
    return unused("add_WebMessageReceived");
  }
  HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken) override {
    return unused("remove_WebMessageReceived");
  }
  HRESULT STDMETHODCALLTYPE CallDevToolsProtocolMethod(
      LPCWSTR, LPCWSTR, ICoreWebView2CallDevToolsProtocolMethodCompletedHandler*) override {
    return unused("CallDevToolsProtocolMethod");
  }
  HRESULT STDMETHODCALLTYPE get_BrowserProcessId(UINT32*) override {
    return unused("get_BrowserProcessId");
  }
  HRESULT STDMETHODCALLTYPE get_CanGoBack(BOOL*) override { return unused("get_CanGoBack"); }
  HRESULT STDMETHODCALLTYPE get_CanGoForward(BOOL*) override { return unused("get_CanGoForward"); }
  HRESULT STDMETHODCALLTYPE GoBack() override { return unused("GoBack"); }
  HRESULT STDMETHODCALLTYPE GoForward() override { return unused("GoForward"); }
  HRESULT STDMETHODCALLTYPE
  GetDevToolsProtocolEventReceiver(LPCWSTR, ICoreWebView2DevToolsProtocolEventReceiver**) override {
    return unused("GetDevToolsProtocolEventReceiver");
  }
  HRESULT STDMETHODCALLTYPE Stop() override { return unused("Stop"); }
  HRESULT STDMETHODCALLTYPE add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler*,
                                                   EventRegistrationToken*) override {
    return unused("add_NewWindowRequested");
  }
  HRESULT STDMETHODCALLTYPE remove_NewWindowRequested(EventRegistrationToken) override {
    return unused("remove_NewWindowRequested");
  }
  HRESULT STDMETHODCALLTYPE add_DocumentTitleChanged(ICoreWebView2DocumentTitleChangedEventHandler*,
                                                     EventRegistrationToken*) override {
    return unused("add_DocumentTitleChanged");
  }
  HRESULT STDMETHODCALLTYPE remove_DocumentTitleChanged(EventRegistrationToken) override {
    return unused("remove_DocumentTitleChanged");
  }
  HRESULT STDMETHODCALLTYPE get_DocumentTitle(LPWSTR*) override {
    return unused("get_DocumentTitle");
  }
  HRESULT STDMETHODCALLTYPE AddHostObjectToScript(LPCWSTR, VARIANT*) override {
    return unused("AddHostObjectToScript");
  }
  HRESULT STDMETHODCALLTYPE RemoveHostObjectFromScript(LPCWSTR) override {
    return unused("RemoveHostObjectFromScript");
  }
  HRESULT STDMETHODCALLTYPE OpenDevToolsWindow() override { return unused("OpenDevToolsWindow"); }
  HRESULT STDMETHODCALLTYPE
  add_ContainsFullScreenElementChanged(ICoreWebView2ContainsFullScreenElementChangedEventHandler*,
                                       EventRegistrationToken*) override {
    return unused("add_ContainsFullScreenElementChanged");
  }
  HRESULT STDMETHODCALLTYPE
  remove_ContainsFullScreenElementChanged(EventRegistrationToken) override {
    return unused("remove_ContainsFullScreenElementChanged");
  }
  HRESULT STDMETHODCALLTYPE get_ContainsFullScreenElement(BOOL*) override {
    return unused("get_ContainsFullScreenElement");
  }
  HRESULT STDMETHODCALLTYPE
  add_WebResourceRequested(ICoreWebView2WebResourceRequestedEventHandler* handler,
                           EventRegistrationToken* token) override;
  HRESULT STDMETHODCALLTYPE remove_WebResourceRequested(EventRegistrationToken token) override;
  HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(
      const LPCWSTR uri, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) override;
  HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilter(
      const LPCWSTR uri, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) override;
  HRESULT STDMETHODCALLTYPE add_WindowCloseRequested(ICoreWebView2WindowCloseRequestedEventHandler*,
                                                     EventRegistrationToken*) override {
    return unused("add_WindowCloseRequested");
  }
  HRESULT STDMETHODCALLTYPE remove_WindowCloseRequested(EventRegistrationToken) override {
    return unused("remove_WindowCloseRequested");
  }

 private:
  ~WebView() override;
  HRESULT state();

  Settings* settings_;
  bool closed_ = false;
  std::vector<Filter> filters_;
  std::vector<std::pair<INT64, ICoreWebView2WebResourceRequestedEventHandler*>> resource_handlers_;
  std::vector<std::pair<INT64, ICoreWebView2ProcessFailedEventHandler*>> failure_handlers_;
};

}  // namespace standin

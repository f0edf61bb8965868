#include "standin_web_view.h"

#include <algorithm>

#include "standin_driver.h"

namespace standin {

std::atomic<long> request_objects_alive{0};

namespace {

// The runtime's answer to calls on a web view whose browser process is gone.
constexpr HRESULT kClosed = HRESULT_FROM_WIN32(ERROR_INVALID_STATE);

LPWSTR task_copy(const std::wstring& text) {
  auto* copy = static_cast<LPWSTR>(::CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (copy != nullptr) std::copy(text.c_str(), text.c_str() + text.size() + 1, copy);
  return copy;
}

// Counted in request_objects_alive from construction to destruction.
template <class Interface, const IID* kIid>
class PerRequest : public Recorded<Interface, kIid> {
 public:
  explicit PerRequest(std::string name) : Recorded<Interface, kIid>(std::move(name)) {
    ++request_objects_alive;
  }

 protected:
  ~PerRequest() override { --request_objects_alive; }
};

using Header = std::pair<std::wstring, std::wstring>;

class HeaderIterator final : public PerRequest<ICoreWebView2HttpHeadersCollectionIterator,
                                               &IID_ICoreWebView2HttpHeadersCollectionIterator> {
 public:
  explicit HeaderIterator(std::vector<Header> headers)
      : PerRequest("RequestHeaderIterator"), headers_(std::move(headers)) {}

  HRESULT STDMETHODCALLTYPE GetCurrentHeader(LPWSTR* name, LPWSTR* value) override {
    if (name == nullptr || value == nullptr) return E_POINTER;
    if (next_ >= headers_.size()) return E_INVALIDARG;
    *name = task_copy(headers_[next_].first);
    *value = task_copy(headers_[next_].second);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_HasCurrentHeader(BOOL* has_current) override {
    if (has_current == nullptr) return E_POINTER;
    *has_current = next_ < headers_.size();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE MoveNext(BOOL* has_next) override {
    if (has_next == nullptr) return E_POINTER;
    if (next_ < headers_.size()) ++next_;
    *has_next = next_ < headers_.size();
    return S_OK;
  }

 private:
  std::vector<Header> headers_;
  size_t next_ = 0;
};

class RequestHeaders final
    : public PerRequest<ICoreWebView2HttpRequestHeaders, &IID_ICoreWebView2HttpRequestHeaders> {
 public:
  explicit RequestHeaders(std::vector<Header> headers)
      : PerRequest("RequestHeaders"), headers_(std::move(headers)) {}

  STANDIN_UNUSED(GetHeader, LPCWSTR, LPWSTR*)
  STANDIN_UNUSED(GetHeaders, LPCWSTR, ICoreWebView2HttpHeadersCollectionIterator**)
  STANDIN_UNUSED(Contains, LPCWSTR, BOOL*)
  STANDIN_UNUSED(SetHeader, LPCWSTR, LPCWSTR)
  STANDIN_UNUSED(RemoveHeader, LPCWSTR)
  HRESULT STDMETHODCALLTYPE
  GetIterator(ICoreWebView2HttpHeadersCollectionIterator** iterator) override {
    call("GetIterator");
    if (iterator == nullptr) return E_POINTER;
    *iterator = new HeaderIterator(headers_);
    return S_OK;
  }

 private:
  std::vector<Header> headers_;
};

class Request final
    : public PerRequest<ICoreWebView2WebResourceRequest, &IID_ICoreWebView2WebResourceRequest> {
 public:
  Request(std::wstring method, std::wstring uri)
      : PerRequest("Request"), method_(std::move(method)), uri_(std::move(uri)) {}

  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override {
    call("get_Uri");
    if (uri == nullptr) return E_POINTER;
    *uri = task_copy(uri_);
    return S_OK;
  }
  STANDIN_UNUSED(put_Uri, LPCWSTR)
  HRESULT STDMETHODCALLTYPE get_Method(LPWSTR* method) override {
    call("get_Method");
    if (method == nullptr) return E_POINTER;
    *method = task_copy(method_);
    return S_OK;
  }
  STANDIN_UNUSED(put_Method, LPCWSTR)
  // A GET has no body: the runtime gives no stream.
  HRESULT STDMETHODCALLTYPE get_Content(IStream** content) override {
    call("get_Content");
    if (content == nullptr) return E_POINTER;
    *content = nullptr;
    return S_OK;
  }
  STANDIN_UNUSED(put_Content, IStream*)
  HRESULT STDMETHODCALLTYPE get_Headers(ICoreWebView2HttpRequestHeaders** headers) override {
    call("get_Headers");
    if (headers == nullptr) return E_POINTER;
    *headers = new RequestHeaders({{L"Accept", L"*/*"}, {L"Accept-Language", L"en-US,en"}});
    return S_OK;
  }

 private:
  std::wstring method_;
  std::wstring uri_;
};

class RequestedArgs final : public PerRequest<ICoreWebView2WebResourceRequestedEventArgs,
                                              &IID_ICoreWebView2WebResourceRequestedEventArgs> {
 public:
  explicit RequestedArgs(Request* request) : PerRequest("RequestedArgs"), request_(request) {}

  HRESULT STDMETHODCALLTYPE get_Request(ICoreWebView2WebResourceRequest** request) override {
    call("get_Request");
    if (request == nullptr) return E_POINTER;
    request_->AddRef();
    *request = request_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Response(ICoreWebView2WebResourceResponse** response) override {
    if (response == nullptr) return E_POINTER;
    if (response_ != nullptr) response_->AddRef();
    *response = response_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Response(ICoreWebView2WebResourceResponse* response) override {
    call("put_Response");
    if (response != nullptr) response->AddRef();
    if (response_ != nullptr) response_->Release();
    response_ = response;
    return S_OK;
  }
  STANDIN_UNUSED(GetDeferral, ICoreWebView2Deferral**)
  HRESULT STDMETHODCALLTYPE
  get_ResourceContext(COREWEBVIEW2_WEB_RESOURCE_CONTEXT* context) override {
    call("get_ResourceContext");
    if (context == nullptr) return E_POINTER;
    *context = COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT;
    return S_OK;
  }

 private:
  ~RequestedArgs() override {
    request_->Release();
    if (response_ != nullptr) response_->Release();
  }

  Request* request_;
  ICoreWebView2WebResourceResponse* response_ = nullptr;
};

class Response final
    : public PerRequest<ICoreWebView2WebResourceResponse, &IID_ICoreWebView2WebResourceResponse> {
 public:
  Response(IStream* content, int status, std::wstring reason)
      : PerRequest("Response"), content_(content), status_(status), reason_(std::move(reason)) {
    if (content_ != nullptr) content_->AddRef();
  }

  HRESULT STDMETHODCALLTYPE get_Content(IStream** content) override {
    if (content == nullptr) return E_POINTER;
    if (content_ != nullptr) content_->AddRef();
    *content = content_;
    return S_OK;
  }
  STANDIN_UNUSED(put_Content, IStream*)
  STANDIN_UNUSED(get_Headers, ICoreWebView2HttpResponseHeaders**)
  HRESULT STDMETHODCALLTYPE get_StatusCode(int* status) override {
    if (status == nullptr) return E_POINTER;
    *status = status_;
    return S_OK;
  }
  STANDIN_UNUSED(put_StatusCode, int)
  HRESULT STDMETHODCALLTYPE get_ReasonPhrase(LPWSTR* reason) override {
    if (reason == nullptr) return E_POINTER;
    *reason = task_copy(reason_);
    return S_OK;
  }
  STANDIN_UNUSED(put_ReasonPhrase, LPCWSTR)

 private:
  ~Response() override {
    if (content_ != nullptr) content_->Release();
  }

  IStream* content_;
  int status_;
  std::wstring reason_;
};

class ProcessFailedArgs final : public Recorded<ICoreWebView2ProcessFailedEventArgs2,
                                                &IID_ICoreWebView2ProcessFailedEventArgs2> {
 public:
  ProcessFailedArgs(COREWEBVIEW2_PROCESS_FAILED_KIND kind,
                    COREWEBVIEW2_PROCESS_FAILED_REASON reason, int exit_code)
      : Recorded("ProcessFailedArgs"), kind_(kind), reason_(reason), exit_code_(exit_code) {}

  HRESULT STDMETHODCALLTYPE get_ProcessFailedKind(COREWEBVIEW2_PROCESS_FAILED_KIND* kind) override {
    call("get_ProcessFailedKind");
    if (kind == nullptr) return E_POINTER;
    *kind = kind_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Reason(COREWEBVIEW2_PROCESS_FAILED_REASON* reason) override {
    call("get_Reason");
    if (reason == nullptr) return E_POINTER;
    *reason = reason_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ExitCode(int* exit_code) override {
    call("get_ExitCode");
    if (exit_code == nullptr) return E_POINTER;
    *exit_code = exit_code_;
    return S_OK;
  }
  STANDIN_UNUSED(get_ProcessDescription, LPWSTR*)
  HRESULT STDMETHODCALLTYPE
  get_FrameInfosForFailedProcess(ICoreWebView2FrameInfoCollection**) override {
    return unused("get_FrameInfosForFailedProcess");
  }

 private:
  bool answers(REFIID iid) override {
    return IsEqualIID(iid, IID_ICoreWebView2ProcessFailedEventArgs);
  }

  COREWEBVIEW2_PROCESS_FAILED_KIND kind_;
  COREWEBVIEW2_PROCESS_FAILED_REASON reason_;
  int exit_code_;
};

class WebMessageArgs final : public Recorded<ICoreWebView2WebMessageReceivedEventArgs,
                                             &IID_ICoreWebView2WebMessageReceivedEventArgs> {
 public:
  explicit WebMessageArgs(std::wstring text) : Recorded("WebMessageArgs"), text_(std::move(text)) {}

  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* source) override {
    call("get_Source");
    return copy(L"http://devtools.localhost/js_app.html", source);
  }
  STANDIN_UNUSED(get_WebMessageAsJson, LPWSTR*)
  HRESULT STDMETHODCALLTYPE TryGetWebMessageAsString(LPWSTR* text) override {
    call("TryGetWebMessageAsString");
    return copy(text_, text);
  }

 private:
  static HRESULT copy(const std::wstring& text, LPWSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = static_cast<LPWSTR>(::CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    if (*out == nullptr) return E_OUTOFMEMORY;
    std::copy(text.c_str(), text.c_str() + text.size() + 1, *out);
    return S_OK;
  }

  std::wstring text_;
};

// The runtime's filters: "*" matches any run of characters.
bool matches(const wchar_t* pattern, const wchar_t* text) {
  if (*pattern == L'\0') return *text == L'\0';
  if (*pattern == L'*')
    return matches(pattern + 1, text) || (*text != L'\0' && matches(pattern, text + 1));
  return *pattern == *text && matches(pattern + 1, text + 1);
}

INT64 next_token = 1;

// The program's event handlers, held until it removes them or the view goes.
template <typename Handler>
HRESULT add_handler(std::vector<std::pair<INT64, Handler*>>& handlers, Handler* handler,
                    EventRegistrationToken* token) {
  if (handler == nullptr || token == nullptr) return E_POINTER;
  handler->AddRef();
  token->value = next_token++;
  handlers.emplace_back(token->value, handler);
  return S_OK;
}

template <typename Handler>
void remove_handler(std::vector<std::pair<INT64, Handler*>>& handlers,
                    EventRegistrationToken token) {
  std::erase_if(handlers, [&](auto& entry) {
    if (entry.first != token.value) return false;
    entry.second->Release();
    return true;
  });
}

}  // namespace

// --- Environment ---

HRESULT Environment::CreateCoreWebView2Controller(
    HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) {
  call(std::string("CreateCoreWebView2Controller parent-is-window=") +
       (::IsWindow(parent) ? "1" : "0"));
  if (handler == nullptr) return E_POINTER;
  return begin_controller_creation(parent, handler);
}

HRESULT Environment::CreateWebResourceResponse(IStream* content, int status, LPCWSTR reason,
                                               LPCWSTR headers,
                                               ICoreWebView2WebResourceResponse** response) {
  call("CreateWebResourceResponse " + std::to_string(status) + " [" + narrow(reason) + "] [" +
       narrow(headers) + "]");
  if (response == nullptr) return E_POINTER;
  *response = new Response(content, status, reason != nullptr ? reason : L"");
  return S_OK;
}

// --- Controller ---

Controller::Controller(HWND parent)
    : Recorded("Controller"), parent_(parent), web_view_(new WebView()) {}

Controller::~Controller() {
  web_view_->Release();
}

HRESULT Controller::state() {
  return closed_ ? kClosed : S_OK;
}

HRESULT Controller::get_IsVisible(BOOL* visible) {
  call("get_IsVisible");
  if (visible == nullptr) return E_POINTER;
  *visible = visible_;
  return state();
}

HRESULT Controller::put_IsVisible(BOOL visible) {
  call("put_IsVisible " + std::to_string(visible));
  visible_ = visible;
  return state();
}

HRESULT Controller::get_Bounds(RECT* bounds) {
  call("get_Bounds");
  if (bounds == nullptr) return E_POINTER;
  *bounds = bounds_;
  return state();
}

HRESULT Controller::put_Bounds(RECT bounds) {
  call("put_Bounds " + rect_text(bounds));
  bounds_ = bounds;
  return state();
}

HRESULT Controller::MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) {
  call("MoveFocus " + std::to_string(reason));
  return state();
}

HRESULT Controller::get_ParentWindow(HWND* parent) {
  call("get_ParentWindow");
  if (parent == nullptr) return E_POINTER;
  *parent = parent_;
  return state();
}

HRESULT Controller::NotifyParentWindowPositionChanged() {
  RECT frame{};
  ::GetWindowRect(parent_, &frame);
  call("NotifyParentWindowPositionChanged (parent at " + std::to_string(frame.left) + " " +
       std::to_string(frame.top) + ")");
  return state();
}

HRESULT Controller::Close() {
  call("Close");
  closed_ = true;
  web_view_->close_for_good();
  return S_OK;
}

HRESULT Controller::get_CoreWebView2(ICoreWebView2** web_view) {
  call("get_CoreWebView2");
  if (web_view == nullptr) return E_POINTER;
  web_view_->AddRef();
  *web_view = web_view_;
  return state();
}

// --- Settings ---

std::string Settings::summary() const {
  return "devtools=" + std::to_string(AreDevToolsEnabled_) +
         " zoom-control=" + std::to_string(IsZoomControlEnabled_) +
         " context-menus=" + std::to_string(AreDefaultContextMenusEnabled_) +
         " script=" + std::to_string(IsScriptEnabled_);
}

// --- WebView ---

WebView::WebView() : Recorded("WebView"), settings_(new Settings()) {}

WebView::~WebView() {
  settings_->Release();
  for (auto& [token, handler] : resource_handlers_) handler->Release();
  for (auto& [token, handler] : failure_handlers_) handler->Release();
  for (auto& [token, handler] : message_handlers_) handler->Release();
}

HRESULT WebView::state() {
  return closed_ ? kClosed : S_OK;
}

HRESULT WebView::get_Settings(ICoreWebView2Settings** settings) {
  call("get_Settings");
  if (settings == nullptr) return E_POINTER;
  settings_->AddRef();
  *settings = settings_;
  return state();
}

HRESULT WebView::Navigate(LPCWSTR uri) {
  call("Navigate " + narrow(uri) + " (" + settings_->summary() + ")");
  if (closed_) return kClosed;
  navigated();
  return S_OK;
}

HRESULT WebView::Reload() {
  call("Reload");
  return state();
}

HRESULT WebView::add_ProcessFailed(ICoreWebView2ProcessFailedEventHandler* handler,
                                   EventRegistrationToken* token) {
  call("add_ProcessFailed");
  const HRESULT added = add_handler(failure_handlers_, handler, token);
  return FAILED(added) ? added : state();
}

HRESULT WebView::remove_ProcessFailed(EventRegistrationToken token) {
  call("remove_ProcessFailed");
  remove_handler(failure_handlers_, token);
  return S_OK;
}

HRESULT WebView::add_WebResourceRequested(ICoreWebView2WebResourceRequestedEventHandler* handler,
                                          EventRegistrationToken* token) {
  call("add_WebResourceRequested");
  const HRESULT added = add_handler(resource_handlers_, handler, token);
  return FAILED(added) ? added : state();
}

HRESULT WebView::remove_WebResourceRequested(EventRegistrationToken token) {
  call("remove_WebResourceRequested");
  remove_handler(resource_handlers_, token);
  return S_OK;
}

HRESULT WebView::AddWebResourceRequestedFilter(const LPCWSTR uri,
                                               const COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) {
  call("AddWebResourceRequestedFilter " + narrow(uri) + " " + std::to_string(context));
  if (uri == nullptr) return E_POINTER;
  filters_.push_back({uri, context});
  return state();
}

HRESULT WebView::RemoveWebResourceRequestedFilter(const LPCWSTR uri,
                                                  const COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) {
  call("RemoveWebResourceRequestedFilter " + narrow(uri) + " " + std::to_string(context));
  return unused("RemoveWebResourceRequestedFilter");
}

ICoreWebView2WebResourceResponse* WebView::request(const std::wstring& method,
                                                   const std::wstring& uri) {
  const bool filtered = std::any_of(filters_.begin(), filters_.end(), [&](const Filter& filter) {
    return (filter.context == COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL ||
            filter.context == COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT) &&
           matches(filter.uri.c_str(), uri.c_str());
  });
  if (!filtered || resource_handlers_.empty()) return nullptr;
  auto* args = new RequestedArgs(new Request(method, uri));
  // A copy: a handler may register or remove handlers.
  auto handlers = resource_handlers_;
  for (auto& [token, handler] : handlers) {
    HRESULT result = handler->Invoke(this, args);
    if (FAILED(result)) record("> the request handler returned " + hresult_text(result));
  }
  ICoreWebView2WebResourceResponse* response = nullptr;
  args->get_Response(&response);
  args->Release();
  return response;
}

bool WebView::fail_process(COREWEBVIEW2_PROCESS_FAILED_KIND kind,
                           COREWEBVIEW2_PROCESS_FAILED_REASON reason, int exit_code) {
  if (kind == COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED) closed_ = true;
  if (failure_handlers_.empty()) return false;
  auto* args = new ProcessFailedArgs(kind, reason, exit_code);
  auto handlers = failure_handlers_;
  for (auto& [token, handler] : handlers) handler->Invoke(this, args);
  args->Release();
  return true;
}

HRESULT WebView::AddScriptToExecuteOnDocumentCreated(
    LPCWSTR script, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) {
  // What the script is, not its whole text: its size and the transport it posts to.
  const std::wstring text = script != nullptr ? script : L"";
  call("AddScriptToExecuteOnDocumentCreated " + std::to_string(text.size()) + " characters" +
       (text.find(L"window.chrome.webview.postMessage") != std::wstring::npos
            ? ", posts to the web view"
            : "") +
       (text.find(L"'InspectorFrontendHost'") != std::wstring::npos ? ", defines the host" : "") +
       (text.find(L"function vorpelTargetHub(") != std::wstring::npos ? ", the target hub" : ""));
  if (script == nullptr) return E_POINTER;
  if (handler != nullptr) handler->Invoke(S_OK, L"script-1");
  return state();
}

// A short script is recorded whole; the page gives no result.
HRESULT WebView::ExecuteScript(LPCWSTR script,
                               ICoreWebView2ExecuteScriptCompletedHandler* handler) {
  const std::string text = narrow(script != nullptr ? script : L"<null>");
  call("ExecuteScript " +
       (text.size() <= 200 ? text : std::to_string(text.size()) + " characters"));
  if (script == nullptr) return E_POINTER;
  if (handler != nullptr) handler->Invoke(S_OK, L"null");
  return state();
}

HRESULT WebView::PostWebMessageAsJson(LPCWSTR json) {
  call("PostWebMessageAsJson " + narrow(json != nullptr ? json : L"<null>"));
  return json == nullptr ? E_POINTER : state();
}

HRESULT WebView::add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* handler,
                                        EventRegistrationToken* token) {
  call("add_WebMessageReceived");
  const HRESULT added = add_handler(message_handlers_, handler, token);
  return FAILED(added) ? added : state();
}

HRESULT WebView::remove_WebMessageReceived(EventRegistrationToken token) {
  call("remove_WebMessageReceived");
  remove_handler(message_handlers_, token);
  return S_OK;
}

bool WebView::send_web_message(const std::wstring& text) {
  if (message_handlers_.empty()) return false;
  auto* args = new WebMessageArgs(text);
  auto handlers = message_handlers_;
  for (auto& [token, handler] : handlers) handler->Invoke(this, args);
  args->Release();
  return true;
}

}  // namespace standin

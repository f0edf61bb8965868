#include "win32/workspace_bridge.h"

#include <WebView2.h>
#include <shobjidl.h>

#include <functional>
#include <utility>
#include <optional>

#include "file_system.h"
#include "win32/com.h"
#include "win32/message_pump.h"
#include "win32/os_errors.h"
#include "win32/text.h"
#include "workspace_host.h"
#include "workspace_page_script.h"

namespace {

using MessageReceived = Handler<ICoreWebView2WebMessageReceivedEventHandler,
                                &IID_ICoreWebView2WebMessageReceivedEventHandler, ICoreWebView2*,
                                ICoreWebView2WebMessageReceivedEventArgs*>;
using ScriptAdded = Handler<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler,
                            &IID_ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler,
                            HRESULT, LPCWSTR>;
using Chosen = std::function<void(std::optional<std::string>)>;

// A path from the shell's item; nothing when it has none in the file system.
std::optional<std::string> item_path(IShellItem* item) {
  PWSTR wide = nullptr;
  if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &wide)) || wide == nullptr) return {};
  auto path = utf8_from_utf16(wide);
  ::CoTaskMemFree(wide);
  if (path) {
    for (char& c : *path) {
      if (c == '\\') c = '/';
    }
  }
  return path;
}

// Shows a shell file dialog over `owner`; it runs its own message loop.
template <class Dialog>
std::optional<std::string> show_dialog(REFCLSID kind, REFIID interface_id, HWND owner,
                                       const std::function<void(Dialog*)>& set_up) {
  ComRef<Dialog> dialog;
  if (FAILED(::CoCreateInstance(kind, nullptr, CLSCTX_INPROC_SERVER, interface_id,
                                reinterpret_cast<void**>(dialog.put())))) {
    return {};
  }
  set_up(dialog.get());
  if (FAILED(dialog->Show(owner))) return {};  // cancelled, or no dialog
  ComRef<IShellItem> item;
  if (FAILED(dialog->GetResult(item.put())) || !item) return {};
  return item_path(item.get());
}

class Win32HostWindow final : public WorkspaceWindow {
 public:
  Win32HostWindow(HWND window, ICoreWebView2* web_view) : window_(window), web_view_(web_view) {}

  void post_to_page(std::string message) override {
    web_view_->PostWebMessageAsJson(utf16_from_utf8(message).c_str());
  }

  void bring_to_front() override {
    if (::IsIconic(window_)) ::ShowWindow(window_, SW_RESTORE);
    ::SetForegroundWindow(window_);
  }

  void choose_folder(const std::string& start, Chosen chosen) override {
    const std::wstring folder = utf16_from_utf8(start);
    chosen(show_dialog<IFileOpenDialog>(
        CLSID_FileOpenDialog, IID_IFileOpenDialog, window_, [&](IFileOpenDialog* d) {
          ComRef<IShellItem> item;
          if (!folder.empty() &&
              SUCCEEDED(::SHCreateItemFromParsingName(folder.c_str(), nullptr, IID_IShellItem,
                                                      reinterpret_cast<void**>(item.put())))) {
            d->SetFolder(item.get());
          }
          FILEOPENDIALOGOPTIONS options = 0;
          d->GetOptions(&options);
          d->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
        }));
  }

  void choose_save_file(const std::string& suggested_name, Chosen chosen) override {
    const std::wstring name = utf16_from_utf8(suggested_name);
    chosen(show_dialog<IFileSaveDialog>(
        CLSID_FileSaveDialog, IID_IFileSaveDialog, window_, [&](IFileSaveDialog* d) {
          FILEOPENDIALOGOPTIONS options = 0;
          d->GetOptions(&options);
          d->SetOptions(options | FOS_OVERWRITEPROMPT | FOS_FORCEFILESYSTEM);
          d->SetFileName(name.c_str());
        }));
  }

  void run_on_ui_thread(std::function<void()> task) override {
    post_task(window_, std::move(task));
  }

 private:
  HWND window_;
  ICoreWebView2* web_view_;
};

WorkspaceHost* host = nullptr;

HRESULT receive(ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) {
  LPWSTR text = nullptr;
  // The page script posts strings; anything else is not ours.
  if (FAILED(args->TryGetWebMessageAsString(&text)) || text == nullptr) return S_OK;
  auto message = utf8_from_utf16(text);
  ::CoTaskMemFree(text);
  if (message) host->receive(*message);
  return S_OK;
}

}  // namespace

Status attach_workspace_host(HWND window, ICoreWebView2* web_view, const std::string& workspace) {
  auto* host_window = new Win32HostWindow(window, web_view);
  host = new WorkspaceHost(*host_window, native_file_system());
  if (auto error = host->grant(workspace)) return error;
  const std::wstring script = utf16_from_utf8(workspace_page_script(PageTransport::kWebView2));
  auto* added = new ScriptAdded([](HRESULT, LPCWSTR) { return S_OK; });
  HRESULT result = web_view->AddScriptToExecuteOnDocumentCreated(script.c_str(), added);
  added->Release();
  if (FAILED(result)) return hresult_error(result).with_context("add the frontend host's script");
  auto* handler = new MessageReceived(receive);
  EventRegistrationToken token;
  result = web_view->add_WebMessageReceived(handler, &token);
  handler->Release();
  if (FAILED(result)) return hresult_error(result).with_context("listen to the frontend host");
  return std::nullopt;
}

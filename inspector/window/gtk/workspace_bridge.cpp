#include "gtk/workspace_bridge.h"

#include <gtk/gtk.h>

#include <functional>
#include <optional>

#include "file_system.h"
#include "gtk/main_loop.h"
#include "gtk/save_dialog.h"
#include "workspace_host.h"
#include "workspace_page_script.h"

namespace {

using Chosen = std::function<void(std::optional<std::string>)>;

class GtkHostWindow final : public WorkspaceWindow {
 public:
  void show_in(WebKitWebView* view) {
    view_ = view;
    // Answers that arrive while the program ends go nowhere.
    g_signal_connect(view, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                       static_cast<GtkHostWindow*>(data)->view_ = nullptr;
                     }),
                     this);
  }

  void post_to_page(std::string message) override {
    if (view_ == nullptr) return;
    const std::string script = std::string(kWorkspaceReceiveFunction) + "(" + message + ")";
    webkit_web_view_evaluate_javascript(view_, script.c_str(), static_cast<gssize>(script.size()),
                                        nullptr, nullptr, nullptr, nullptr, nullptr);
  }

  void bring_to_front() override {
    if (GtkWindow* window = toplevel()) gtk_window_present(window);
  }

  void choose_folder(const std::string& start, Chosen chosen) override {
    GtkFileChooserNative* dialog =
        gtk_file_chooser_native_new("Add a folder to the workspace", toplevel(),
                                    GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Select", "_Cancel");
    if (!start.empty())
      gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), start.c_str());
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(dialog), TRUE);
    g_signal_connect_data(
        dialog, "response", G_CALLBACK(+[](GtkNativeDialog* dialog, gint response, gpointer data) {
          std::optional<std::string> folder;
          if (response == GTK_RESPONSE_ACCEPT) {
            if (char* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))) {
              folder = name;
              g_free(name);
            }
          }
          (*static_cast<Chosen*>(data))(folder);
          g_object_unref(dialog);
        }),
        new Chosen(std::move(chosen)),
        [](gpointer data, GClosure*) { delete static_cast<Chosen*>(data); }, G_CONNECT_DEFAULT);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(dialog));
  }

  void choose_save_file(const std::string& suggested_name, Chosen chosen) override {
    ask_where_to_save(toplevel(), suggested_name, std::move(chosen));
  }

  void run_on_ui_thread(std::function<void()> task) override { run_on_main_loop(std::move(task)); }

 private:
  GtkWindow* toplevel() const {
    if (view_ == nullptr) return nullptr;
    GtkWidget* toplevel = gtk_widget_get_toplevel(GTK_WIDGET(view_));
    return GTK_IS_WINDOW(toplevel) ? GTK_WINDOW(toplevel) : nullptr;
  }

  WebKitWebView* view_ = nullptr;
};

GtkHostWindow* host_window = nullptr;
WorkspaceHost* host = nullptr;

void on_script_message(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer) {
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  if (!jsc_value_is_string(value)) return;
  char* text = jsc_value_to_string(value);
  host->receive(text);
  g_free(text);
}

}  // namespace

Status prepare_workspace_host(const std::string& workspace) {
  host_window = new GtkHostWindow();
  host = new WorkspaceHost(*host_window, native_file_system());
  return host->grant(workspace);
}

void attach_workspace_host(WebKitUserContentManager* content) {
  const std::string handler = std::string("script-message-received::") + kWorkspaceMessageHandler;
  g_signal_connect(content, handler.c_str(), G_CALLBACK(on_script_message), nullptr);
  webkit_user_content_manager_register_script_message_handler(content, kWorkspaceMessageHandler);
  // The frontend's own frame only, before its scripts run.
  const std::string source = workspace_page_script(PageTransport::kWebKit);
  WebKitUserScript* script =
      webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(content, script);
  webkit_user_script_unref(script);
}

void show_workspace_host_in(WebKitWebView* view) {
  if (host_window != nullptr) host_window->show_in(view);
}

#include "gtk/save_dialog.h"

#include <gtk/gtk.h>

#include <string>

#include "save_file_name.h"

namespace {

const char* downloads_folder() {
  const char* folder = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
  if (folder != nullptr && g_file_test(folder, G_FILE_TEST_IS_DIR)) return folder;
  return g_get_home_dir();
}

void on_save_response(GtkNativeDialog* dialog, gint response, gpointer data) {
  auto* download = static_cast<WebKitDownload*>(data);
  char* destination = response == GTK_RESPONSE_ACCEPT
                          ? gtk_file_chooser_get_uri(GTK_FILE_CHOOSER(dialog))
                          : nullptr;
  if (destination != nullptr) {
    // The dialog has already asked before replacing a file.
    webkit_download_set_allow_overwrite(download, TRUE);
    webkit_download_set_destination(download, destination);
    g_free(destination);
  } else {
    webkit_download_cancel(download);
  }
  g_object_unref(download);
  g_object_unref(dialog);
}

GtkFileChooserNative* new_save_dialog(GtkWindow* parent, const char* suggested_filename) {
  GtkFileChooserNative* dialog =
      gtk_file_chooser_native_new(nullptr, parent, GTK_FILE_CHOOSER_ACTION_SAVE, nullptr, nullptr);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
  gtk_file_chooser_set_current_folder(chooser, downloads_folder());
  const std::string name = save_file_name(suggested_filename != nullptr ? suggested_filename : "");
  gtk_file_chooser_set_current_name(chooser, name.c_str());
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(dialog), TRUE);
  return dialog;
}

gboolean on_decide_destination(WebKitDownload* download, gchar* suggested_filename, gpointer) {
  GtkWindow* parent = nullptr;
  if (WebKitWebView* view = webkit_download_get_web_view(download)) {
    GtkWidget* toplevel = gtk_widget_get_toplevel(GTK_WIDGET(view));
    if (GTK_IS_WINDOW(toplevel)) parent = GTK_WINDOW(toplevel);
  }
  GtkFileChooserNative* dialog = new_save_dialog(parent, suggested_filename);
  // Answered later: the download waits until a destination is set or it is cancelled.
  g_signal_connect(dialog, "response", G_CALLBACK(on_save_response), g_object_ref(download));
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(dialog));
  return TRUE;
}

void on_download_started(WebKitWebContext*, WebKitDownload* download, gpointer) {
  g_signal_connect(download, "decide-destination", G_CALLBACK(on_decide_destination), nullptr);
}

}  // namespace

void ask_where_to_save_downloads(WebKitWebContext* context) {
  g_signal_connect(context, "download-started", G_CALLBACK(on_download_started), nullptr);
}

void ask_where_to_save(GtkWindow* parent, const std::string& suggested_name,
                       std::function<void(std::optional<std::string>)> chosen) {
  GtkFileChooserNative* dialog = new_save_dialog(parent, suggested_name.c_str());
  using Chosen = std::function<void(std::optional<std::string>)>;
  g_signal_connect_data(
      dialog, "response", G_CALLBACK(+[](GtkNativeDialog* dialog, gint response, gpointer data) {
        std::optional<std::string> path;
        if (response == GTK_RESPONSE_ACCEPT) {
          if (char* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))) {
            path = name;
            g_free(name);
          }
        }
        (*static_cast<Chosen*>(data))(path);
        g_object_unref(dialog);
      }),
      new Chosen(std::move(chosen)),
      [](gpointer data, GClosure*) { delete static_cast<Chosen*>(data); }, G_CONNECT_DEFAULT);
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(dialog));
}

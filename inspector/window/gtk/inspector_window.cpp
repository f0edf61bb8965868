// The window on Linux: GTK 3 with a WebKitGTK web view.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <sys/wait.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <string>

#include "frontend_address.h"
#include "frontend_protocol_handler.h"
#include "gtk/browser_links.h"
#include "gtk/frontend_shims.h"
#include "gtk/main_loop.h"
#include "gtk/page_language.h"
#include "gtk/save_dialog.h"
#include "gtk/web_data_store.h"
#include "gtk/web_process_environment.h"
#include "gtk/window_module.h"
#include "gtk/workspace_bridge.h"
#include "inspector_event_handler.h"

namespace {

constexpr int kInitialWidth = 800;
constexpr int kInitialHeight = 600;

const InspectorWindowServices* services = nullptr;
// What the program gave for the close, if anything.
WindowClosing closing;

std::string gerror_text(GError* error) {
  std::string text = error != nullptr ? error->message : "unknown error";
  if (error != nullptr) g_error_free(error);
  return text;
}

void serve_frontend_request(WebKitURISchemeRequest* scheme_request, gpointer) {
  ProtocolRequest request;
  request.method = webkit_uri_scheme_request_get_http_method(scheme_request);
  request.uri = services->parse_uri(webkit_uri_scheme_request_get_uri(scheme_request));
  if (SoupMessageHeaders* headers = webkit_uri_scheme_request_get_http_headers(scheme_request)) {
    SoupMessageHeadersIter iter;
    soup_message_headers_iter_init(&iter, headers);
    const char* name;
    const char* value;
    while (soup_message_headers_iter_next(&iter, &name, &value)) {
      request.headers.emplace_back(name, value);
    }
  }
  // The body is never read by the handler, so its stream is left unread.

  ProtocolResponse response = services->handle("", std::move(request));

  // Read in place from the table, which lives as long as the program:
  // nothing is copied or freed.
  GBytes* bytes = g_bytes_new_static(response.body.data(), response.body.size());
  GInputStream* body = g_memory_input_stream_new_from_bytes(bytes);
  g_bytes_unref(bytes);
  WebKitURISchemeResponse* scheme_response =
      webkit_uri_scheme_response_new(body, static_cast<gint64>(response.body.size()));
  webkit_uri_scheme_response_set_status(scheme_response, response.status, nullptr);
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  for (const ProtocolHeader& header : response.headers) {
    std::string name(header.name);
    std::string value(header.value);
    soup_message_headers_append(headers, name.c_str(), value.c_str());
    if (g_ascii_strcasecmp(name.c_str(), "content-type") == 0) {
      webkit_uri_scheme_response_set_content_type(scheme_response, value.c_str());
    }
  }
  webkit_uri_scheme_response_set_http_headers(scheme_response, headers);  // takes ownership
  webkit_uri_scheme_request_finish_with_response(scheme_request, scheme_response);
  g_object_unref(scheme_response);
  g_object_unref(body);
}

// The program writes its three lines and its error report, nothing else:
// GLib's messages (say, dconf failing to save a dialog's preferences without a
// session bus) are shown only when asked for with G_MESSAGES_DEBUG.
GLogWriterOutput quiet_log_writer(GLogLevelFlags level, const GLogField* fields, gsize count,
                                  gpointer) {
  if (g_getenv("G_MESSAGES_DEBUG") != nullptr) {
    return g_log_writer_default(level, fields, count, nullptr);
  }
  return G_LOG_WRITER_HANDLED;
}

gboolean on_delete_event(GtkWidget* window, GdkEvent*, gpointer data) {
  auto* control = static_cast<LoopControl*>(data);
  LoopControl next = *control;
  inspector_event_handler(InspectorEvent::kCloseRequested, next);
  // Once asked to exit, the loop stays asked.
  if (control->mode == LoopControl::Mode::kExit) return TRUE;
  *control = next;
  if (control->mode != LoopControl::Mode::kExit) return TRUE;
  if (closing) {
    // Off the screen at once, while what the program started ends.
    gtk_widget_hide(window);
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    control->exit_status = closing();
  }
  gtk_main_quit();
  return TRUE;  // the window is never destroyed by the program
}

// The children are WebKit's helper processes (a launched browser is not one):
// wait for them to end, up to a limit, since a stuck one must not keep a
// closed window's program alive.
void wait_for_web_processes() {
  const gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
  while (g_get_monotonic_time() < deadline) {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    int status;
    pid_t child = waitpid(-1, &status, WNOHANG);
    if (child < 0 && errno == ECHILD) return;
    if (child == 0) g_usleep(10 * 1000);
  }
}

WebKitWebContext* create_web_context() {
  WebKitWebsiteDataManager* store = create_web_data_store();
  WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(store);
  g_object_unref(store);
  // The frontend comes from the program's table; an HTTP cache would only
  // duplicate it on disk.
  webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  std::string locale =
      std::setlocale(LC_MESSAGES, nullptr) ? std::setlocale(LC_MESSAGES, nullptr) : "";
  std::string language = page_language_from_locale(locale);
  const char* languages[] = {language.c_str(), nullptr};
  webkit_web_context_set_preferred_languages(context, languages);

  std::string scheme(kFrontendScheme);
  webkit_web_context_register_uri_scheme(context, scheme.c_str(), serve_frontend_request, nullptr,
                                         nullptr);
  WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
  webkit_security_manager_register_uri_scheme_as_secure(security, scheme.c_str());
  webkit_security_manager_register_uri_scheme_as_cors_enabled(security, scheme.c_str());
  ask_where_to_save_downloads(context);
  return context;
}

Result<GtkWidget*> create_web_view(WebKitWebContext* context, const std::string& start_address,
                                   bool with_host) {
  const std::string address = to_frontend_scheme_form(start_address);
  GError* error = nullptr;
  if (!g_uri_is_valid(address.c_str(), G_URI_FLAGS_NONE, &error)) {
    g_object_unref(context);
    return ErrorChain::from_message(gerror_text(error));
  }
  WebKitUserContentManager* content = webkit_user_content_manager_new();
  add_frontend_shims(content);
  if (is_target_hub_address(address)) add_target_hub(content);
  if (with_host) attach_workspace_host(content);

  WebKitSettings* settings = webkit_settings_new();
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_enable_javascript(settings, TRUE);
  // GPU compositing costs about 90 MiB and 0.2 s of start-up for a page of
  // plain widgets; media and WebGL are never used by the frontend.
  webkit_settings_set_hardware_acceleration_policy(settings,
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  webkit_settings_set_enable_media(settings, FALSE);
  webkit_settings_set_enable_webaudio(settings, FALSE);
  webkit_settings_set_enable_webgl(settings, FALSE);
  // The frontend copies (copy(), "Copy object", ...) with
  // navigator.clipboard.writeText after a protocol round trip, outside the user
  // gesture WebKit's clipboard policy asks for, and WebKit (2.50) refuses
  // without a word. Only for the embedded frontend: the setting also lets a
  // page's script paste.
  webkit_settings_set_javascript_can_access_clipboard(
      settings, address.starts_with(kFrontendSchemePrefix) ? TRUE : FALSE);

  GtkWidget* view =
      GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "user-content-manager",
                              content, "settings", settings, nullptr));
  g_object_unref(settings);
  g_object_unref(content);
  g_object_unref(context);
  send_links_to_browser(WEBKIT_WEB_VIEW(view), address);
  if (with_host) show_workspace_host_in(WEBKIT_WEB_VIEW(view));
  restore_web_process_environment();
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), address.c_str());
  return view;
}

// Set on the main loop before the view goes; a load queued later is dropped.
bool view_destroyed = false;

// Loads and scripts run on the main loop, whichever thread asks.
WindowHooks window_hooks(WebKitWebView* view) {
  WindowHooks hooks;
  hooks.load = [view](const std::string& frontend_address) {
    run_on_main_loop([view, frontend_address] {
      const std::string address = to_frontend_scheme_form(frontend_address);
      if (!view_destroyed && g_uri_is_valid(address.c_str(), G_URI_FLAGS_NONE, nullptr)) {
        webkit_web_view_load_uri(view, address.c_str());
      }
    });
  };
  hooks.run_in_page = [view](const std::string& script) {
    run_on_main_loop([view, script] {
      if (view_destroyed) return;
      webkit_web_view_evaluate_javascript(view, script.c_str(), static_cast<gssize>(script.size()),
                                          nullptr, nullptr, nullptr, nullptr, nullptr);
    });
  };
  return hooks;
}

ErrorChain open_window(const std::string& frontend_address, const WindowStarted& on_started,
                       const std::string* workspace) {
  g_log_set_writer_func(quiet_log_writer, nullptr, nullptr);
  // Before GTK and WebKit's processes start; a user's own setting wins.
  tune_web_processes();
  // No arguments for GTK to take, and no exit of its own when there is no display.
  int argc = 0;
  char** argv = nullptr;
  GError* error = nullptr;
  if (!gtk_init_with_args(&argc, &argv, nullptr, nullptr, nullptr, &error)) {
    return ErrorChain::from_message(gerror_text(error))
        .with_context("failed to create inspector window");
  }

  // The view and its first load before the window: the network and web
  // processes start while the window is made.
  if (workspace != nullptr) {
    if (auto error = prepare_workspace_host(*workspace)) return std::move(*error);
  }
  auto view = create_web_view(create_web_context(), frontend_address, workspace != nullptr);
  if (!view) {
    return std::move(view).error().with_context(
        "failed to create webview (is the WebKitGTK runtime installed?)");
  }
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), kWindowTitle);
  // The size is in physical pixels whatever the monitor's scale.
  int scale = std::max(1, gtk_widget_get_scale_factor(window));
  gtk_window_set_default_size(GTK_WINDOW(window), kInitialWidth / scale, kInitialHeight / scale);
  static LoopControl control;
  g_signal_connect(window, "delete-event", G_CALLBACK(on_delete_event), &control);
  gtk_container_add(GTK_CONTAINER(window), view.value());
  gtk_widget_show(view.value());
  gtk_widget_show(window);
  gtk_widget_grab_focus(view.value());
  if (on_started) closing = on_started(window_hooks(WEBKIT_WEB_VIEW(view.value())));

  gtk_main();
  // WebKit's processes write the store until they end; they end once the view
  // and its context are gone, and a run started right after must find it whole.
  view_destroyed = true;
  gtk_widget_destroy(window);
  wait_for_web_processes();
  std::exit(control.exit_status);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void vorpel_inspector_window_main(
    const std::string* frontend_address, const InspectorWindowServices* window_services,
    const WindowStarted* on_started, const std::string* workspace,
    std::optional<ErrorChain>* error) {
  services = window_services;
  *error = open_window(*frontend_address, *on_started, workspace);
}

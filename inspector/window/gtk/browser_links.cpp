#include "gtk/browser_links.h"

#include <fcntl.h>
#include <gio/gdesktopappinfo.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include "gtk/link_policy.h"
#include "gtk/web_process_environment.h"

namespace {

// The browser's output must not reach our streams: the program writes only
// its own lines. A launch that fails is silent, as a dead link would be.
void open_in_browser(GtkWidget* widget, const char* uri) {
  GdkAppLaunchContext* launch = gdk_display_get_app_launch_context(gtk_widget_get_display(widget));
  GAppLaunchContext* context = G_APP_LAUNCH_CONTEXT(launch);
  leave_tuning_out(context);
  char* scheme = g_uri_parse_scheme(uri);
  GAppInfo* browser = scheme != nullptr ? g_app_info_get_default_for_uri_scheme(scheme) : nullptr;
  g_free(scheme);
  if (browser != nullptr && G_IS_DESKTOP_APP_INFO(browser)) {
    GList uris = {const_cast<char*>(uri), nullptr, nullptr};
    int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
    g_desktop_app_info_launch_uris_as_manager_with_fds(
        G_DESKTOP_APP_INFO(browser), &uris, context, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr,
        nullptr, null_fd, null_fd, null_fd, nullptr);
    if (null_fd >= 0) close(null_fd);
  } else {
    g_app_info_launch_default_for_uri(uri, context, nullptr);
  }
  if (browser != nullptr) g_object_unref(browser);
  g_object_unref(launch);
}

const char* requested_uri(WebKitPolicyDecision* decision, WebKitNavigationAction** action) {
  *action = webkit_navigation_policy_decision_get_navigation_action(
      WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  return webkit_uri_request_get_uri(webkit_navigation_action_get_request(*action));
}

void open_new_window_link(WebKitWebView* view, const char* uri) {
  if (new_window_link_action(uri) == LinkAction::kOpenInBrowser) {
    open_in_browser(GTK_WIDGET(view), uri);
  }
}

// window.open() asks for a view here; the program never makes a second one.
GtkWidget* on_create(WebKitWebView* view, WebKitNavigationAction* action, gpointer) {
  open_new_window_link(view,
                       webkit_uri_request_get_uri(webkit_navigation_action_get_request(action)));
  return nullptr;
}

gboolean on_decide_policy(WebKitWebView* view, WebKitPolicyDecision* decision,
                          WebKitPolicyDecisionType type, gpointer data) {
  const auto& start_address = *static_cast<const std::string*>(data);
  WebKitNavigationAction* action = nullptr;
  if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    // A link with a target that names no frame.
    open_new_window_link(view, requested_uri(decision, &action));
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
    const char* uri = requested_uri(decision, &action);
    // Only a click the user made: the frontend's own loads, and redirects of
    // the start address, take their course.
    if (webkit_navigation_action_get_navigation_type(action) ==
            WEBKIT_NAVIGATION_TYPE_LINK_CLICKED &&
        !webkit_navigation_action_is_redirect(action) &&
        clicked_link_action(uri, start_address) == LinkAction::kOpenInBrowser) {
      open_in_browser(GTK_WIDGET(view), uri);
      webkit_policy_decision_ignore(decision);
      return TRUE;
    }
  }
  return FALSE;
}

}  // namespace

void send_links_to_browser(WebKitWebView* view, const std::string& start_address) {
  g_signal_connect(view, "create", G_CALLBACK(on_create), nullptr);
  g_signal_connect_data(
      view, "decide-policy", G_CALLBACK(on_decide_policy), new std::string(start_address),
      [](gpointer data, GClosure*) { delete static_cast<std::string*>(data); }, GConnectFlags(0));
}

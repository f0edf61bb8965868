// Files the frontend saves (profiles, heap snapshots) go where the user says.
#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <optional>
#include <string>

// Every download of `context` first asks for its destination in a native save
// dialog over the web view's window; cancelling it cancels the download.
void ask_where_to_save_downloads(WebKitWebContext* context);

// The same dialog for the frontend host's saves: `chosen` gets the path, or
// nothing when the user cancels.
void ask_where_to_save(GtkWindow* parent, const std::string& suggested_name,
                       std::function<void(std::optional<std::string>)> chosen);

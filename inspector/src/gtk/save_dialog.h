// Files the frontend saves (profiles, heap snapshots) go where the user says.
#pragma once

#include <webkit2/webkit2.h>

// Every download of `context` first asks for its destination in a native save
// dialog over the web view's window; cancelling it cancels the download.
void ask_where_to_save_downloads(WebKitWebContext* context);

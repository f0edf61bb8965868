// A body for the web view that reads the embedded table in place.
#pragma once

#include <gio/gio.h>

#include <string_view>

// `body` must point into the program's read-only data.
GInputStream* table_body_stream(std::string_view body);

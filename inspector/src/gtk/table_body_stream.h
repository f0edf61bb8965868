// A body for the web view that reads the embedded table in place.
#pragma once

#include <gio/gio.h>

#include <string_view>

// `body` must point into the program's read-only data. Once WebKit has read
// the stream and let it go, the process drops its pages of the body (they are
// clean and file-backed, so a later read brings them back from the file).
GInputStream* table_body_stream(std::string_view body);

// A COM stream over bytes that live as long as the program, read in place.
#pragma once

#include <objidl.h>

#include <string_view>

// A new stream positioned at the start, with one reference owned by the caller.
// Writing and resizing are refused; the bytes are never copied.
IStream* new_read_only_stream(std::string_view bytes);

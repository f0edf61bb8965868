#include "gtk/table_body_stream.h"

GInputStream* table_body_stream(std::string_view body) {
  // Static: the table lives as long as the program, so nothing is copied or freed.
  GBytes* bytes = g_bytes_new_static(body.data(), body.size());
  GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
  g_bytes_unref(bytes);
  return stream;
}

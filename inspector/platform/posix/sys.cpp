#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <cstdlib>

#include "sys.h"
#include "utf8.h"

namespace sys {

Result<std::vector<std::string>> program_arguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    std::string argument(argv[i]);
    if (!is_valid_utf8(argument)) {
      return ErrorChain::from_message("command-line argument " + std::to_string(i) +
                                      " is not valid UTF-8 text");
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

std::optional<std::string> environment_variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || !is_valid_utf8(value)) return std::nullopt;
  return std::string(value);
}

namespace {

void write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return;  // nowhere left to report a broken stream
    }
    text.remove_prefix(static_cast<size_t>(written));
  }
}

}  // namespace

void write_output_line(std::string_view line) {
  write_all(STDOUT_FILENO, line);
}

void write_error(std::string_view text) {
  write_all(STDERR_FILENO, text);
}

std::string system_error_text(int code) {
  char buffer[256];
  // GNU strerror_r may return a static string instead of filling the buffer.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  std::string message(text);
  while (!message.empty() && isspace(static_cast<unsigned char>(message.back())))
    message.pop_back();
  return message;
}

}  // namespace sys

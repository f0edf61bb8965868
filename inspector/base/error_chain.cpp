#include "error_chain.h"

#include <cstdio>

ErrorChain ErrorChain::from_message(std::string message) {
  return ErrorChain(std::move(message));
}

ErrorChain ErrorChain::from_os_error(int code, std::string_view system_text) {
  std::string text(system_text);
  text += " (os error ";
  text += std::to_string(code);
  text += ")";
  return ErrorChain(std::move(text));
}

ErrorChain ErrorChain::from_json_error(std::string parser_message) {
  return ErrorChain(std::move(parser_message));
}

ErrorChain ErrorChain::with_context(std::string message) && {
  messages_.insert(messages_.begin(), std::move(message));
  return std::move(*this);
}

namespace {

// Appends `text`, starting each further line with `continuation`.
void append_indented(std::string& out, std::string_view text, std::string_view continuation) {
  size_t start = 0;
  for (;;) {
    size_t newline = text.find('\n', start);
    if (newline == std::string_view::npos) {
      out.append(text.substr(start));
      return;
    }
    out.append(text.substr(start, newline + 1 - start));
    out.append(continuation);
    start = newline + 1;
  }
}

}  // namespace

std::string ErrorChain::report() const {
  std::string out = "Error: ";
  out += messages_.front();
  const size_t causes = messages_.size() - 1;
  if (causes > 0) {
    out += "\n\nCaused by:";
    for (size_t i = 1; i < messages_.size(); ++i) {
      out += '\n';
      if (causes == 1) {
        out += "    ";
        append_indented(out, messages_[i], "    ");
      } else {
        char number[32];
        std::snprintf(number, sizeof number, "%5zu: ", i - 1);
        out += number;
        append_indented(out, messages_[i], "       ");
      }
    }
  }
  out += '\n';
  return out;
}

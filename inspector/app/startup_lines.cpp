#include "startup_lines.h"

std::string target_line(std::string_view target) {
  return "vorpel_inspector: ws target  = " + std::string(target) + "\n";
}

std::string frontend_line(std::string_view frontend_address) {
  return "vorpel_inspector: devtools   = " + std::string(frontend_address) + "\n";
}

const std::string_view kEmbeddedFrontendLine =
    "vorpel_inspector: (frontend is embedded; override with VORPEL_INSPECTOR_FRONTEND)\n";

std::string command_line_text(const std::vector<std::string>& command) {
  std::string text;
  for (const std::string& word : command) {
    if (!text.empty()) text += ' ';
    // Quoted as a shell would take it back, when it holds what splits words.
    if (!word.empty() && word.find_first_of(" \t\n'\"\\$`") == std::string::npos) {
      text += word;
      continue;
    }
    text += '\'';
    for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    text += '\'';
  }
  return text;
}

std::string run_line(const std::vector<std::string>& command) {
  return "vorpel_inspector: run        = " + command_line_text(command) + "\n";
}

std::string all_targets_line(std::string_view address) {
  return "vorpel_inspector: targets    = every target at " + std::string(address) + "\n";
}

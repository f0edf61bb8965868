// The lines that tell the user which target the window shows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

std::string target_line(std::string_view target);
std::string frontend_line(std::string_view frontend_address);
extern const std::string_view kEmbeddedFrontendLine;

// With --run and --all, the first line says what the window shows instead.
std::string run_line(const std::vector<std::string>& command);
std::string all_targets_line(std::string_view address);
// The words as a POSIX shell would take them back.
std::string command_line_text(const std::vector<std::string>& command);

// The lines that tell the user which target the window shows.
#pragma once

#include <string>
#include <string_view>

std::string target_line(std::string_view target);
std::string frontend_line(std::string_view frontend_address);
extern const std::string_view kEmbeddedFrontendLine;

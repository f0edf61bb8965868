// Process services: arguments, environment, standard streams, error texts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error_chain.h"

namespace sys {

// The arguments after the program name as UTF-8; an error when one is not valid text.
Result<std::vector<std::string>> program_arguments(int argc, char** argv);

// The variable's value; nothing when unset or not valid text.
std::optional<std::string> environment_variable(const char* name);

// Writes one whole line (ending in "\n") to standard output at once.
void write_output_line(std::string_view line);

// Writes text to standard error at once.
void write_error(std::string_view text);

// The system's message for an error number, trailing white space removed.
std::string system_error_text(int code);

}  // namespace sys

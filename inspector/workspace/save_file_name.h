// The name a save dialog proposes for what the page hands over.
#pragma once

#include <string>
#include <string_view>

// The last name of `suggested`, a name, a path or a URL (its query and
// fragment dropped), so a name can never point into another folder or, on
// Windows, name a drive or a file's stream; "download" when nothing usable is
// left.
std::string save_file_name(std::string_view suggested);

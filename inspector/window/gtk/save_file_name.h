// The name a save dialog proposes for a file the page hands over.
#pragma once

#include <string>
#include <string_view>

// The last path component of `suggested`, so a name can never point into
// another folder; "download" when nothing usable is left.
std::string save_file_name(std::string_view suggested);

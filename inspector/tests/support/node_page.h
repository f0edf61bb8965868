// A page script under the tests' pinned node, with a page of stand-ins around it.
#pragma once

#include <string>

#include "support/process_runner.h"

// Writes `script` and `page` to a fresh folder and runs the page, which gets
// the script's path as its first argument; the folder is gone afterwards.
ProcessResult run_node_page(const std::string& script, const std::string& page);

// Which files of a workspace folder a search may find its words in. The
// frontend searches the text of every file it is given, reading each through
// the host, so a folder's worth of candidates costs a read per file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "file_system.h"

// The files under `folder` (links not followed, at most `most`) whose bytes
// hold `query` as the frontend's case-insensitive search could match it. An
// empty query (a regular expression search) keeps every file.
std::vector<std::string> search_candidates(FileSystem& files, const std::string& folder,
                                           std::string_view query, size_t most);

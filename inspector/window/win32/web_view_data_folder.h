// Where the WebView2 runtime keeps the web view's profile.
#pragma once

#include <string>

#include "error_chain.h"

// Under the user's local application data, else the temporary folder; never
// beside the exe, where a relative path would put it.
Result<std::wstring> web_view_data_folder();

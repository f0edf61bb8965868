// The web view's store: kept in the user's data folder between runs.
#pragma once

#include <webkit2/webkit2.h>

// A data manager over the user's data folder, created (mode 0700) when
// missing; an ephemeral one when the folder cannot be made or written.
WebKitWebsiteDataManager* create_web_data_store();

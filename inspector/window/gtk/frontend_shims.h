// Scripts that mend where the frontend, written for Chromium, meets WebKitGTK;
// their texts are in inspector/page/.
#pragma once

#include <webkit2/webkit2.h>

// Adds them to every frame at document start, before the frontend's own scripts.
void add_frontend_shims(WebKitUserContentManager* content);

// The hub that plays the browser target of the page for several targets
// (--run, --all), in the top frame.
void add_target_hub(WebKitUserContentManager* content);

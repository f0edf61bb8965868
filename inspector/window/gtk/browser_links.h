// Links the frontend opens ("Learn more", documentation) go to the user's
// default browser; the web view keeps showing the frontend.
#pragma once

#include <webkit2/webkit2.h>

#include <string>

// `start_address` is the frontend's own address, whose origin the view may follow.
void send_links_to_browser(WebKitWebView* view, const std::string& start_address);

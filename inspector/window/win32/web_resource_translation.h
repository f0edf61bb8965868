// The web view's resource requests in the frontend handler's terms, and the
// handler's responses in the web view's.
#pragma once

#include <WebView2.h>

#include "frontend_protocol_handler.h"

// The method, address (in its scheme form) and headers of `source`; what
// cannot be read is left empty.
ProtocolRequest protocol_request(ICoreWebView2WebResourceRequest* source);

// A web view response made by `environment` whose body is read in place from
// `response`'s bytes, which outlive it.
HRESULT web_resource_response(ICoreWebView2Environment* environment,
                              const ProtocolResponse& response,
                              ICoreWebView2WebResourceResponse** answer);

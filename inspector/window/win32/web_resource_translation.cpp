#include "win32/web_resource_translation.h"

#include <objbase.h>

#include <cstdint>
#include <string>

#include "frontend_address.h"
#include "win32/com.h"
#include "win32/read_only_stream.h"
#include "win32/text.h"

namespace {

std::string take_text(LPWSTR text) {
  std::string converted = text != nullptr ? utf8_from_utf16(text).value_or("") : "";
  ::CoTaskMemFree(text);
  return converted;
}

const wchar_t* reason_phrase(uint16_t status) {
  switch (status) {
    case 200:
      return L"OK";
    case 404:
      return L"Not Found";
    default:
      return L"";
  }
}

}  // namespace

ProtocolRequest protocol_request(ICoreWebView2WebResourceRequest* source) {
  ProtocolRequest request;
  LPWSTR text = nullptr;
  if (SUCCEEDED(source->get_Method(&text))) request.method = take_text(text);
  text = nullptr;
  if (SUCCEEDED(source->get_Uri(&text))) {
    request.uri = parse_protocol_uri(to_frontend_scheme_form(take_text(text)));
  }
  ComRef<ICoreWebView2HttpRequestHeaders> headers;
  ComRef<ICoreWebView2HttpHeadersCollectionIterator> iterator;
  if (SUCCEEDED(source->get_Headers(headers.put())) && headers &&
      SUCCEEDED(headers->GetIterator(iterator.put())) && iterator) {
    BOOL more = FALSE;
    while (SUCCEEDED(iterator->get_HasCurrentHeader(&more)) && more) {
      LPWSTR name = nullptr;
      LPWSTR value = nullptr;
      if (SUCCEEDED(iterator->GetCurrentHeader(&name, &value))) {
        request.headers.emplace_back(take_text(name), take_text(value));
      }
      if (FAILED(iterator->MoveNext(&more))) break;
    }
  }
  // The body is never read by the handler, so its stream is left unread.
  return request;
}

HRESULT web_resource_response(ICoreWebView2Environment* environment,
                              const ProtocolResponse& response,
                              ICoreWebView2WebResourceResponse** answer) {
  std::string headers;
  for (const ProtocolHeader& header : response.headers) {
    if (!headers.empty()) headers += "\r\n";
    headers.append(header.name).append(": ").append(header.value);
  }
  const std::wstring wide_headers = utf16_from_utf8(headers);
  // The table's bytes are read in place; the stream only holds a view.
  ComRef<IStream> body;
  *body.put() = new_read_only_stream(response.body);
  return environment->CreateWebResourceResponse(
      body.get(), response.status, reason_phrase(response.status), wide_headers.c_str(), answer);
}

#include "frontend_address.h"

#include "sys.h"

namespace {

std::string replace_prefix(std::string_view address, std::string_view from, std::string_view to) {
  if (!address.starts_with(from)) return std::string(address);
  std::string result(to);
  result += address.substr(from.size());
  return result;
}

}  // namespace

std::string to_frontend_scheme_form(std::string_view address) {
  return replace_prefix(address, kFrontendHttpPrefix, kFrontendSchemePrefix);
}

std::string to_frontend_http_form(std::string_view address) {
  return replace_prefix(address, kFrontendSchemePrefix, kFrontendHttpPrefix);
}

std::string encode_query_value(std::string_view text) {
  // RFC 3986's query characters without "&" and "+", which URLSearchParams
  // reads as a separator and a space, and with "[" "]", which URL parsers keep
  // in a query: an IPv6 host stays as it is.
  static constexpr std::string_view kKept = "-._~!$'()*,;=:@/?[]";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool alphanumeric = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                              (byte >= '0' && byte <= '9');
    if (alphanumeric || kKept.find(c) != std::string_view::npos) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0xF];
    }
  }
  return encoded;
}

std::string default_frontend_address(const InspectorTarget& target) {
  std::string address;
  address += kFrontendHttpPrefix;
  address += target.wss ? "localhost/js_app.html?wss=" : "localhost/js_app.html?ws=";
  address += encode_query_value(target.text);
  address += "&experiments=true&v8only=true";
  return address;
}

std::string target_hub_frontend_address() {
  return std::string(kFrontendHttpPrefix) +
         "localhost/node_app.html?ws=" + std::string(kTargetHubMarker) +
         "&experiments=true&v8only=true";
}

bool is_target_hub_address(std::string_view address) {
  const std::string page = to_frontend_http_form(address);
  const std::string hub = target_hub_frontend_address();
  return page.substr(0, page.find('&')) == hub.substr(0, hub.find('&'));
}

std::string expand_frontend_template(std::string_view template_text, std::string_view target) {
  static constexpr std::string_view kMarker = "{ws}";
  std::string address;
  size_t start = 0;
  for (;;) {
    size_t found = template_text.find(kMarker, start);
    if (found == std::string_view::npos) break;
    address.append(template_text.substr(start, found - start));
    address.append(target);
    start = found + kMarker.size();
  }
  address.append(template_text.substr(start));
  return address;
}

std::string build_frontend_address(const InspectorTarget& target,
                                   const std::optional<std::string>& override_template) {
  if (override_template) return expand_frontend_template(*override_template, target.text);
  return default_frontend_address(target);
}

std::string build_frontend_address(const InspectorTarget& target) {
  return build_frontend_address(target, sys::environment_variable(kFrontendOverrideVariable));
}

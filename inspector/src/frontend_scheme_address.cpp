#include "frontend_scheme_address.h"

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

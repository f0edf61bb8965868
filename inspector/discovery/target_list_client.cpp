#include "target_list_client.h"

#include <thread>
#include <vector>

#include "http_response.h"
#include "http_response_reader.h"
#include "net.h"
#include "socket_address.h"

std::string target_list_request(std::string_view address) {
  std::string request = "GET /json HTTP/1.0\r\nHost: ";
  request += address;
  request += "\r\nAccept: application/json\r\nConnection: close\r\n\r\n";
  return request;
}

namespace {

Result<std::vector<SocketAddress>> socket_addresses(std::string_view address) {
  auto target = parse_inspector_address(address);
  if (!target) return std::move(target).error();
  if (auto* numeric = std::get_if<SocketAddress>(&target.value())) {
    return std::vector<SocketAddress>{*numeric};
  }
  const auto& named = std::get<HostAndPort>(target.value());
  return net::resolve(named.host, named.port);
}

}  // namespace

Result<net::Connection> connect_to_inspector(std::string_view address) {
  auto addresses = socket_addresses(address);
  if (!addresses) return std::move(addresses).error();
  if (addresses.value().empty()) {
    return ErrorChain::from_message("could not resolve to any addresses");
  }
  std::optional<ErrorChain> last_error;
  for (const SocketAddress& candidate : addresses.value()) {
    auto connection = net::connect(candidate);
    if (connection) return connection;
    last_error = std::move(connection).error();
  }
  return std::move(*last_error);
}

Result<std::string> fetch_target_list_once(std::string_view address) {
  auto connection = connect_to_inspector(address);
  if (!connection) {
    return std::move(connection)
        .error()
        .with_context("connect to inspector at " + std::string(address));
  }
  if (auto error = net::set_receive_timeout(connection.value(), kReceiveTimeout)) {
    return std::move(*error);
  }
  if (auto error = net::send_all(connection.value(), target_list_request(address))) {
    return std::move(*error);
  }
  auto response = receive_http_response(
      connection.value(),
      {.max_bytes = kMaxResponseBytes, .too_large = "inspector response too large"});
  if (!response) return std::move(response).error();
  return target_list_body(response.value());
}

Result<std::string> fetch_target_list(std::string_view address,
                                      bool (*ready)(std::string_view body)) {
  const auto deadline = std::chrono::steady_clock::now() + kRetryWindow;
  for (;;) {
    auto body = fetch_target_list_once(address);
    if (body && (ready == nullptr || ready(body.value()))) return body;
    if (std::chrono::steady_clock::now() >= deadline) return body;
    std::this_thread::sleep_for(kRetryPause);
  }
}

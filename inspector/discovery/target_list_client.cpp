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

// Until the peer closes, or until the body its head declares is all there:
// inspectors differ in whether they close after answering, and the sending
// side stays open because some take a half close for an aborted request.
Result<std::string> receive_response(net::Connection& connection) {
  HttpResponseReader reader(kMaxResponseBytes);
  std::string buffer(64 * 1024, '\0');
  for (;;) {
    auto count = net::receive_some(connection, buffer.data(), buffer.size());
    if (!count) return std::move(count).error();
    if (count.value() == 0) break;
    auto state = reader.append(std::string_view(buffer.data(), count.value()));
    if (state == HttpResponseReader::State::kTooLarge) {
      return ErrorChain::from_message("inspector response too large");
    }
    if (state == HttpResponseReader::State::kComplete) break;
  }
  return std::move(reader).take();
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
  auto response = receive_response(connection.value());
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

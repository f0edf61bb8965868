// TCP client primitives; the only socket code of the program.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "error_chain.h"
#include "socket_address.h"

namespace net {

// A connected stream socket, closed when destroyed.
class Connection {
 public:
  Connection() = default;
  explicit Connection(intptr_t handle) : handle_(handle) {}
  Connection(Connection&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }
  Connection& operator=(Connection&& other) noexcept;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  intptr_t handle() const { return handle_; }

 private:
  intptr_t handle_ = -1;
};

// getaddrinfo with only the stream socket type as hint, in the resolver's order.
Result<std::vector<SocketAddress>> resolve(const std::string& host, uint16_t port);

// A stream socket of the address's family, then a blocking connect.
Result<Connection> connect(const SocketAddress& address);

Status set_receive_timeout(Connection& connection, std::chrono::milliseconds timeout);

// Sends every byte; the sending side stays open.
Status send_all(Connection& connection, std::string_view bytes);

// Whether a receive would return at once (bytes, the peer's close or an error)
// within `timeout`.
Result<bool> wait_readable(Connection& connection, std::chrono::milliseconds timeout);

// One receive call: the bytes that arrived, or none when the peer has closed
// the stream (or this side's receiving was shut down).
Result<size_t> receive_some(Connection& connection, char* buffer, size_t size);

}  // namespace net

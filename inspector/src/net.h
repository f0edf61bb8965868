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

// Tells the peer that no more bytes will come (a half close). Best effort: a
// peer that already closed still has its response read.
void finish_sending(Connection& connection);

struct Received {
  std::string bytes;
  bool over_limit = false;  // the peer sent more than the limit
};

// Receives until the peer closes the stream or more than `limit` bytes arrived.
Result<Received> receive_until_closed(Connection& connection, size_t limit);

}  // namespace net

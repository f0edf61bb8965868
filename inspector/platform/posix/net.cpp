#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "native_socket_address.h"
#include "net.h"
#include "sys.h"

namespace net {

namespace {

ErrorChain last_os_error() {
  int code = errno;
  return ErrorChain::from_os_error(code, sys::system_error_text(code));
}

}  // namespace

Connection& Connection::operator=(Connection&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

Connection::~Connection() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

Result<std::vector<SocketAddress>> resolve(const std::string& host, uint16_t port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
  if (rc != 0) {
    if (rc == EAI_SYSTEM) return last_os_error();
    return ErrorChain::from_message(std::string("failed to lookup address information: ") +
                                    ::gai_strerror(rc));
  }
  std::vector<SocketAddress> addresses;
  for (addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
    if (auto address = socket_address_from_native(entry->ai_addr, port)) {
      addresses.push_back(*address);
    }
  }
  ::freeaddrinfo(list);
  return addresses;
}

Result<Connection> connect(const SocketAddress& address) {
  sockaddr_storage storage;
  const socklen_t length = socket_address_to_native(address, storage);
  const int family = storage.ss_family;
  int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return last_os_error();
  Connection connection(fd);
  int rc;
  do {
    rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&storage), length);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return last_os_error();
  return connection;
}

Status set_receive_timeout(Connection& connection, std::chrono::milliseconds timeout) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  if (::setsockopt(static_cast<int>(connection.handle()), SOL_SOCKET, SO_RCVTIMEO, &tv,
                   sizeof tv) != 0) {
    return last_os_error();
  }
  return std::nullopt;
}

Status send_all(Connection& connection, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t sent =
        ::send(static_cast<int>(connection.handle()), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return last_os_error();
    }
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return std::nullopt;
}

Result<bool> wait_readable(Connection& connection, std::chrono::milliseconds timeout) {
  pollfd watched{static_cast<int>(connection.handle()), POLLIN, 0};
  for (;;) {
    int rc = ::poll(&watched, 1, static_cast<int>(timeout.count()));
    if (rc >= 0) return rc > 0;
    if (errno != EINTR) return last_os_error();
  }
}

Result<size_t> receive_some(Connection& connection, char* buffer, size_t size) {
  for (;;) {
    ssize_t count = ::recv(static_cast<int>(connection.handle()), buffer, size, 0);
    if (count >= 0) return static_cast<size_t>(count);
    if (errno != EINTR) return last_os_error();
  }
}

}  // namespace net

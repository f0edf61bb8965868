#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come before it.
#include <windows.h>

#include <algorithm>
#include <climits>

#include "native_socket_address.h"
#include "net.h"
#include "sys.h"
#include "win32/os_errors.h"
#include "win32/text.h"

namespace net {

namespace {

// Read first: any later call, even the message lookup, may overwrite it.
ErrorChain last_socket_error() {
  return os_error(::WSAGetLastError());
}

// Started once per process; the program never calls WSACleanup (the process's end does).
Status start_sockets() {
  static const int result = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (result != 0) return os_error(result);
  return std::nullopt;
}

SOCKET socket_of(const Connection& connection) {
  return static_cast<SOCKET>(connection.handle());
}

}  // namespace

Connection& Connection::operator=(Connection&& other) noexcept {
  if (this != &other) {
    if (handle_ != -1) ::closesocket(static_cast<SOCKET>(handle_));
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

Connection::~Connection() {
  if (handle_ != -1) ::closesocket(static_cast<SOCKET>(handle_));
}

Result<std::vector<SocketAddress>> resolve(const std::string& host, uint16_t port) {
  if (auto error = start_sockets()) return std::move(*error);
  ADDRINFOW hints{};
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* list = nullptr;
  const std::wstring wide_host = utf16_from_utf8(host);
  // The wide form, so that host names outside ASCII reach the resolver intact.
  int rc = ::GetAddrInfoW(wide_host.c_str(), nullptr, &hints, &list);
  if (rc != 0) return os_error(rc);
  std::vector<SocketAddress> addresses;
  for (ADDRINFOW* entry = list; entry != nullptr; entry = entry->ai_next) {
    if (auto address = socket_address_from_native(entry->ai_addr, port)) {
      addresses.push_back(*address);
    }
  }
  ::FreeAddrInfoW(list);
  return addresses;
}

Result<Connection> connect(const SocketAddress& address) {
  if (auto error = start_sockets()) return std::move(*error);
  sockaddr_storage storage;
  const int length = socket_address_to_native(address, storage);
  const int family = storage.ss_family;
  // SO_RCVTIMEO only takes effect on sockets made with the overlapped flag.
  SOCKET socket = ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                               WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) return last_socket_error();
  Connection connection(static_cast<intptr_t>(socket));
  if (::connect(socket, reinterpret_cast<const sockaddr*>(&storage), length) != 0) {
    return last_socket_error();
  }
  return connection;
}

Status set_receive_timeout(Connection& connection, std::chrono::milliseconds timeout) {
  const DWORD milliseconds = static_cast<DWORD>(timeout.count());
  if (::setsockopt(socket_of(connection), SOL_SOCKET, SO_RCVTIMEO,
                   reinterpret_cast<const char*>(&milliseconds), sizeof milliseconds) != 0) {
    return last_socket_error();
  }
  return std::nullopt;
}

Status send_all(Connection& connection, std::string_view bytes) {
  while (!bytes.empty()) {
    const int chunk = static_cast<int>(std::min<size_t>(bytes.size(), INT_MAX));
    int sent = ::send(socket_of(connection), bytes.data(), chunk, 0);
    if (sent == SOCKET_ERROR) return last_socket_error();
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return std::nullopt;
}

Result<bool> wait_readable(Connection& connection, std::chrono::milliseconds timeout) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket_of(connection), &readable);
  timeval tv{};
  tv.tv_sec = static_cast<long>(timeout.count() / 1000);
  tv.tv_usec = static_cast<long>((timeout.count() % 1000) * 1000);
  // The first argument is ignored by Winsock.
  int rc = ::select(0, &readable, nullptr, nullptr, &tv);
  if (rc == SOCKET_ERROR) return last_socket_error();
  return rc > 0;
}

Result<size_t> receive_some(Connection& connection, char* buffer, size_t size) {
  const int chunk = static_cast<int>(std::min<size_t>(size, INT_MAX));
  int count = ::recv(socket_of(connection), buffer, chunk, 0);
  if (count != SOCKET_ERROR) return static_cast<size_t>(count);
  const int code = ::WSAGetLastError();
  // A receive side that was shut down has simply ended.
  if (code == WSAESHUTDOWN) return size_t{0};
  return os_error(code);
}

}  // namespace net

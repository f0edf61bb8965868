#include "loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

LoopbackServer::LoopbackServer(Handler handler, bool ipv6, std::chrono::milliseconds delay)
    : handler_(std::move(handler)), ipv6_(ipv6) {
  // Take a free port now, so the address is known before listening starts.
  listen_fd_ = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int yes = 1;
  setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_storage storage{};
  socklen_t length;
  if (ipv6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
    in6->sin6_family = AF_INET6;
    in6->sin6_addr = in6addr_loopback;
    length = sizeof *in6;
  } else {
    auto* in = reinterpret_cast<sockaddr_in*>(&storage);
    in->sin_family = AF_INET;
    in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof *in;
  }
  bind(listen_fd_, reinterpret_cast<sockaddr*>(&storage), length);
  getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&storage), &length);
  port_ = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                     : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
  thread_ = std::thread([this, delay] { serve(delay); });
}

LoopbackServer::~LoopbackServer() {
  stopping_ = true;
  thread_.join();
  for (std::thread& worker : workers_) worker.join();
  close(listen_fd_);
}

std::string LoopbackServer::address() const {
  return (ipv6_ ? "[::1]:" : "127.0.0.1:") + std::to_string(port_);
}

void LoopbackServer::serve(std::chrono::milliseconds delay) {
  // Until then, connections are refused: the socket is bound but not listening.
  const auto start = std::chrono::steady_clock::now();
  while (!stopping_ && std::chrono::steady_clock::now() - start < delay) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  listen(listen_fd_, 64);
  while (!stopping_) {
    pollfd fd{listen_fd_, POLLIN, 0};
    if (poll(&fd, 1, 50) <= 0) continue;
    int client = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    ++connections_;
    workers_.emplace_back([this, client] {
      handler_(client);
      close(client);
    });
  }
}

std::string LoopbackServer::read_request(int fd) {
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    ssize_t count = recv(fd, buffer, sizeof buffer, 0);
    if (count <= 0) break;
    request.append(buffer, static_cast<size_t>(count));
  }
  return request;
}

void LoopbackServer::send_text(int fd, const std::string& text) {
  size_t sent = 0;
  while (sent < text.size()) {
    ssize_t count = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (count <= 0) return;
    sent += static_cast<size_t>(count);
  }
}

LoopbackServer::Handler LoopbackServer::respond(std::string response) {
  return [response](int fd) {
    read_request(fd);
    send_text(fd, response);
  };
}

std::vector<std::string> LoopbackServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void LoopbackServer::record_request(std::string request) {
  std::lock_guard lock(mutex_);
  requests_.push_back(std::move(request));
}

std::string http_response(const std::string& status_line, const std::string& body) {
  return status_line + "\r\nContent-Type: application/json\r\n\r\n" + body;
}

std::string target_list_json(const std::string& url) {
  return "[ {\n  \"id\": \"1\",\n  \"webSocketDebuggerUrl\": \"" + url + "\"\n} ]";
}

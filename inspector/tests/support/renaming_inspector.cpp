#include "support/renaming_inspector.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

RenamingInspector::RenamingInspector(const std::string& engine_target, std::string listed_path)
    : listed_path_(std::move(listed_path)), server_([this](int client) { serve(client); }) {
  const size_t colon = engine_target.find(':');
  const size_t slash = engine_target.find('/', colon);
  engine_host_ = engine_target.substr(0, slash);
  engine_port_ = static_cast<uint16_t>(std::stoi(engine_target.substr(colon + 1, slash - colon)));
  engine_path_ = engine_target.substr(slash);
}

RenamingInspector::~RenamingInspector() {
  stopping_ = true;
}

std::vector<std::string> RenamingInspector::handshakes() const {
  std::lock_guard lock(mutex_);
  return handshakes_;
}

void RenamingInspector::serve(int client) {
  const std::string head = LoopbackServer::read_request(client);
  const size_t start = head.find(' ') + 1;
  const std::string request_target = head.substr(start, head.find(' ', start) - start);
  if (request_target == "/json" || request_target == "/json/list") {
    const std::string body = target_list_json("ws://" + address() + listed_path_);
    LoopbackServer::send_text(client,
                              "HTTP/1.0 200 OK\r\nContent-Type: application/json\r\n"
                              "Content-Length: " +
                                  std::to_string(body.size()) + "\r\n\r\n" + body);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    handshakes_.push_back(request_target);
  }
  if (request_target != listed_path_) {
    LoopbackServer::send_text(client, "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    return;
  }
  forward(client, head, request_target);
}

void RenamingInspector::forward(int client, const std::string& head,
                                const std::string& request_target) {
  int engine = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  in.sin_port = htons(engine_port_);
  if (connect(engine, reinterpret_cast<sockaddr*>(&in), sizeof in) != 0) {
    close(engine);
    return;
  }
  // The engine sees its own path and host; the rest of the handshake is the client's.
  std::string renamed = head;
  renamed.replace(renamed.find(request_target), request_target.size(), engine_path_);
  const size_t host = renamed.find("\r\nHost: ");
  if (host != std::string::npos) {
    const size_t end = renamed.find("\r\n", host + 2);
    renamed.replace(host + 8, end - host - 8, engine_host_);
  }
  LoopbackServer::send_text(engine, renamed);
  pollfd fds[] = {{client, POLLIN, 0}, {engine, POLLIN, 0}};
  char buffer[65536];
  // Bounded: a test ends long before.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(240);
  bool open = true;
  while (open && !stopping_ && std::chrono::steady_clock::now() < deadline) {
    if (poll(fds, 2, 100) < 0) break;
    for (int i = 0; i < 2 && open; ++i) {
      if (fds[i].revents == 0) continue;
      const ssize_t count = recv(fds[i].fd, buffer, sizeof buffer, 0);
      open = count > 0;
      if (open) {
        LoopbackServer::send_text(fds[1 - i].fd, std::string(buffer, static_cast<size_t>(count)));
      }
    }
  }
  close(engine);
}

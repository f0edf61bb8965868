// A scripted TCP server on the loopback interface, for misbehaving inspectors.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class LoopbackServer {
 public:
  // Called once per accepted connection with the socket; the server closes
  // the socket when it returns, unless the handler already did.
  using Handler = std::function<void(int fd)>;

  // Listens on 127.0.0.1 (or ::1) on a free port, after `delay`.
  explicit LoopbackServer(Handler handler, bool ipv6 = false,
                          std::chrono::milliseconds delay = std::chrono::milliseconds(0));
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  uint16_t port() const { return port_; }
  // "127.0.0.1:PORT" or "[::1]:PORT".
  std::string address() const;
  int connections() const { return connections_; }

  // Reads one request head (up to the blank line) from a connection.
  static std::string read_request(int fd);
  static void send_text(int fd, const std::string& text);
  // Answers with `response` and closes once the client half-closes or leaves.
  static Handler respond(std::string response);

  // Every request head received so far.
  std::vector<std::string> requests() const;
  void record_request(std::string request);

 private:
  void serve(std::chrono::milliseconds delay);

  Handler handler_;
  bool ipv6_;
  int listen_fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::vector<std::thread> workers_;
  std::thread thread_;
};

// An HTTP/1.0 response with the given status line and body.
std::string http_response(const std::string& status_line, const std::string& body);

// A target list whose first target has the given webSocketDebuggerUrl.
std::string target_list_json(const std::string& url);

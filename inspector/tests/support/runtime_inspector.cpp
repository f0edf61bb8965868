#include "support/runtime_inspector.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <thread>

namespace {

const std::filesystem::path kRuntimes = VORPEL_TEST_RUNTIMES_DIR;

std::filesystem::path executable(const std::string& runtime) {
  if (runtime == "node") return "/usr/bin/node";
  if (runtime == "deno") return kRuntimes / "@deno/linux-x64-glibc/deno";
  if (runtime == "workerd") return kRuntimes / "@cloudflare/workerd-linux-64/bin/workerd";
  return kRuntimes / runtime / "bin/node";  // node18, node22, ...
}

void write_file(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

uint16_t free_loopback_port() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof in;
  bind(fd, reinterpret_cast<sockaddr*>(&in), length);
  getsockname(fd, reinterpret_cast<sockaddr*>(&in), &length);
  close(fd);
  return ntohs(in.sin_port);
}

std::vector<std::string> RuntimeInspector::runtime_names() {
  return {"node18", "node", "node22", "node24", "node26", "deno", "workerd"};
}

bool RuntimeInspector::installed(const std::string& runtime) {
  return access(executable(runtime).c_str(), X_OK) == 0;
}

RuntimeInspector::RuntimeInspector(const std::string& runtime, bool pause_on_start,
                                   const std::string& script, uint16_t port,
                                   const std::vector<std::string>& extra_flags)
    : runtime_(runtime) {
  char pattern[] = "/tmp/vorpel-runtime-XXXXXX";
  folder_ = mkdtemp(pattern);
  address_ = "127.0.0.1:" + std::to_string(port != 0 ? port : free_loopback_port());
  const std::string inspect = (pause_on_start ? "--inspect-brk=" : "--inspect=") + address_;
  const std::string program = executable(runtime);
  std::vector<std::string> argv;
  EnvironmentChanges env;
  if (runtime == "deno") {
    write_file(folder_ / "main.js", script);
    argv = {program, "run", inspect, (folder_ / "main.js").string()};
    env = {{"DENO_DIR", (folder_ / "deno").string()},
           {"DENO_NO_UPDATE_CHECK", "1"},
           {"NO_COLOR", "1"}};
  } else if (runtime == "workerd") {
    // A server stays up by itself, and its global scope may not set timers.
    const std::string body = script == kKeepAlive ? "" : script;
    write_file(folder_ / "worker.js",
               "addEventListener('fetch', (event) => event.respondWith(new Response('ok')));\n" +
                   body + "\n");
    write_file(folder_ / "config.capnp",
               "using Workerd = import \"/workerd/workerd.capnp\";\n"
               "const config :Workerd.Config = (\n"
               "  services = [(name = \"main\", worker = .worker)],\n"
               "  sockets = [(name = \"http\", address = \"127.0.0.1:0\", http = (), "
               "service = \"main\")],\n"
               ");\n"
               "const worker :Workerd.Worker = (\n"
               "  serviceWorkerScript = embed \"worker.js\",\n"
               "  compatibilityDate = \"2024-01-01\",\n"
               ");\n");
    argv = {program,
            "serve",
            (folder_ / "config.capnp").string(),
            "--inspector-addr=" + address_,
            "--socket-addr",
            "http=127.0.0.1:" + std::to_string(free_loopback_port())};
  } else {
    write_file(folder_ / "main.js", script);
    argv = {program};
    argv.insert(argv.end(), extra_flags.begin(), extra_flags.end());
    argv.insert(argv.end(), {inspect, (folder_ / "main.js").string()});
  }
  process_ = std::make_unique<BackgroundProcess>(argv, env);
}

std::filesystem::path RuntimeInspector::script_path() const {
  return folder_ / "main.js";
}

RuntimeInspector::~RuntimeInspector() {
  process_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string RuntimeInspector::target(std::chrono::milliseconds timeout) {
  // workerd names its one worker's target after the service.
  if (runtime_ == "workerd") return address_ + "/main";
  const std::string marker = "Debugger listening on ws://";
  if (!process_->wait_for_output(marker, timeout)) return "";
  const size_t start = process_->err().find(marker) + marker.size();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  size_t end;
  while ((end = process_->err().find_first_of("\r\n", start)) == std::string::npos) {
    if (std::chrono::steady_clock::now() >= deadline) return "";
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return process_->err().substr(start, end - start);
}

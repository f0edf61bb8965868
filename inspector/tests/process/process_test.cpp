// The built program against scripted loopback inspectors and a real node.
#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/loopback_server.h"
#include "support/process_runner.h"
#include "support/startup_text.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kUsageReport =
    "Error: usage: vorpel_inspector [--print-url] <inspector-http-addr e.g. 127.0.0.1:9229>\n";

std::string report_prefix(const std::string& address) {
  return "Error: failed to read inspector targets from http://" + address + "/json\n\nCaused by:\n";
}

// The system's number for a refused connection on the platform under test.
int connection_refused_code() {
  return testing_windows_build() ? 10061 : 111;
}

TEST(LauncherTest, UsageWhenNoAddress) {
  const std::vector<std::vector<std::string>> cases = {{}, {"--print-url"}, {"--verbose", "--"}};
  for (const auto& arguments : cases) {
    ProcessResult result = run_inspector(arguments);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, kUsageReport);
  }
}

TEST(LauncherTest, HelpListsEveryOptionAndEndsWell) {
  // Anywhere among the arguments, and before any address is looked at.
  for (const auto& arguments :
       std::vector<std::vector<std::string>>{{"--help"}, {"127.0.0.1:1", "--follow", "--help"}}) {
    ProcessResult result = run_inspector(arguments);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(result.out.starts_with("usage: vorpel_inspector ")) << result.out;
    for (const char* option :
         {"--print-url", "--follow", "--workspace DIR", "--help", "VORPEL_INSPECTOR_FRONTEND"}) {
      EXPECT_NE(result.out.find(option), std::string::npos) << option;
    }
  }
}

TEST(LauncherTest, RefusesArgumentsThatAreNotText) {
  if (testing_windows_build()) GTEST_SKIP() << "Windows arguments arrive as UTF-16";
  for (const std::string& bad : {std::string("127.0.0.1:\xFF"), std::string("\xED\xA0\x80")}) {
    ProcessResult result = run_inspector({"--print-url", bad});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Error: command-line argument 2 is not valid UTF-8 text\n");
  }
}

TEST(LauncherTest, PrintsThreeLinesFromFirstTarget) {
  LoopbackServer server(LoopbackServer::respond(
      http_response("HTTP/1.1 200 OK",
                    "[{\"webSocketDebuggerUrl\":\"ws://h:1/a\"},{\"webSocketDebuggerUrl\":"
                    "\"ws://h:1/b\"}]")));
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"--print-url", server.address()}, {server.address(), "--print-url", "ignored:1"}}) {
    ProcessResult result = run_inspector(arguments);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, three_lines("h:1/a", default_frontend("h:1/a")));
    EXPECT_EQ(result.err, "");
  }
}

TEST(LauncherTest, OverrideTemplate) {
  LoopbackServer server(LoopbackServer::respond(
      http_response("HTTP/1.0 200 OK", target_list_json("wss://h\xC3\xA9:1/\xE2\x80\x94"))));
  const std::string target = "h\xC3\xA9:1/\xE2\x80\x94";
  const std::pair<std::string, std::string> cases[] = {
      {"app.html?a={ws}&b={ws}", "app.html?a=" + target + "&b=" + target},
      {"http://other/\xC3\xBC", "http://other/\xC3\xBC"},
      {"", ""},
  };
  for (const auto& [value, frontend] : cases) {
    ProcessResult result =
        run_inspector({"--print-url", server.address()}, {{"VORPEL_INSPECTOR_FRONTEND", value}});
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.out, three_lines(target, frontend));
  }
}

TEST(LauncherTest, Ipv6AddressAndExactRequest) {
  LoopbackServer* self = nullptr;
  LoopbackServer server(
      [&self](int fd) {
        while (self == nullptr) std::this_thread::sleep_for(1ms);
        self->record_request(LoopbackServer::read_request(fd));
        LoopbackServer::send_text(fd, http_response("HTTP/1.0 200 OK", target_list_json("ws://x")));
      },
      /*ipv6=*/true);
  self = &server;
  ProcessResult result = run_inspector({server.address(), "--print-url"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0], "GET /json HTTP/1.0\r\nHost: " + server.address() +
                                      "\r\nAccept: application/json\r\nConnection: close\r\n\r\n");
}

TEST(LauncherTest, LateInspectorIsWaitedFor) {
  LoopbackServer server(
      LoopbackServer::respond(http_response("HTTP/1.0 200 OK", target_list_json("ws://late"))),
      false, 2s);
  ProcessResult result = run_inspector({"--print-url", server.address()});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, three_lines("late", default_frontend("late")));
  EXPECT_EQ(result.err, "");
  EXPECT_GE(result.elapsed, 2s);
}

// Responses that fail every attempt; the last attempt's error is reported
// once the five-second window is over.
struct FailingCase {
  const char* name;
  std::string response;
  std::string last_cause;
};

void PrintTo(const FailingCase& c, std::ostream* os) {
  *os << c.name;
}

class FailingInspectorTest : public testing::TestWithParam<FailingCase> {};

TEST_P(FailingInspectorTest, ReportsLastAttemptAfterWindow) {
  LoopbackServer server(LoopbackServer::respond(GetParam().response));
  ProcessResult result = run_inspector({"--print-url", server.address()});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, report_prefix(server.address()) + "    " + GetParam().last_cause + "\n");
  EXPECT_GE(result.elapsed, 5s);
  EXPECT_GT(server.connections(), 10);  // retried every 150 ms, not once
}

INSTANTIATE_TEST_SUITE_P(
    Responses, FailingInspectorTest,
    testing::Values(FailingCase{"not_found", "HTTP/1.0 404 Not Found\r\n\r\n",
                                "inspector returned non-200: HTTP/1.0 404 Not Found"},
                    FailingCase{"bare_newlines", "HTTP/1.0 200 OK\n\n[]",
                                "malformed HTTP response from inspector"},
                    FailingCase{"not_utf8", "HTTP/1.0 200 OK\r\n\r\n[\"\xC3\x28\"]",
                                "stream did not contain valid UTF-8"},
                    FailingCase{"empty_status_line", "\r\n\r\n[]", "inspector returned non-200: "},
                    FailingCase{"closes_at_once", "", "malformed HTTP response from inspector"},
                    FailingCase{"declared_body_too_large",
                                "HTTP/1.0 200 OK\r\nContent-Length: 67108865\r\n\r\n[",
                                "inspector response too large"}),
    [](const auto& info) { return std::string(info.param.name); });

// How real inspectors end their answers, played over loopback: Node keeps the
// connection until the client closes, Deno takes a half close for an aborted
// request, workerd closes. Each is read in one attempt, without a timeout.
struct PeerCase {
  const char* name;
  LoopbackServer::Handler handler;
};

void PrintTo(const PeerCase& c, std::ostream* os) {
  *os << c.name;
}

const std::string kPeerList = target_list_json("ws://peer/1");

std::string with_length(const std::string& body, size_t length) {
  return "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=UTF-8\r\n"
         "Content-Length: " +
         std::to_string(length) + "\r\n\r\n" + body;
}

// True once the client has closed its sending side (or left).
bool client_closed(int fd, std::chrono::milliseconds within) {
  pollfd poll_fd{fd, POLLIN, 0};
  if (poll(&poll_fd, 1, static_cast<int>(within.count())) <= 0) return false;
  char byte;
  return recv(fd, &byte, 1, MSG_PEEK) <= 0;
}

const PeerCase kPeers[] = {
    {"waits_for_client_close",
     [](int fd) {
       LoopbackServer::read_request(fd);
       LoopbackServer::send_text(fd, with_length(kPeerList, kPeerList.size()));
       client_closed(fd, 20s);
     }},
    {"drops_request_on_half_close",
     [](int fd) {
       LoopbackServer::read_request(fd);
       if (client_closed(fd, 300ms)) return;
       LoopbackServer::send_text(fd, with_length(kPeerList, kPeerList.size()));
     }},
    {"closes_after_answer",
     [](int fd) {
       LoopbackServer::read_request(fd);
       LoopbackServer::send_text(fd, with_length(kPeerList, kPeerList.size()));
     }},
    {"closes_before_declared_end",
     [](int fd) {
       LoopbackServer::read_request(fd);
       LoopbackServer::send_text(fd, with_length(kPeerList, kPeerList.size() + 100));
     }},
    {"sends_more_than_declared",
     [](int fd) {
       LoopbackServer::read_request(fd);
       LoopbackServer::send_text(fd, with_length(kPeerList + "\r\n\r\nxyz", kPeerList.size()));
       client_closed(fd, 20s);
     }},
    {"head_and_body_apart",
     [](int fd) {
       LoopbackServer::read_request(fd);
       const std::string response = with_length(kPeerList, kPeerList.size());
       const size_t head = response.find("\r\n\r\n") + 2;
       LoopbackServer::send_text(fd, response.substr(0, head));
       std::this_thread::sleep_for(200ms);
       LoopbackServer::send_text(fd, response.substr(head));
       client_closed(fd, 20s);
     }},
};

class InspectorPeerTest : public testing::TestWithParam<PeerCase> {};

TEST_P(InspectorPeerTest, ReadsTheAnswerInOneAttempt) {
  LoopbackServer server(GetParam().handler);
  ProcessResult result = run_inspector({"--print-url", server.address()});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out, three_lines("peer/1", default_frontend("peer/1")));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(server.connections(), 1);
  EXPECT_LT(result.elapsed, 3s);  // no receive timeout was waited out
}

INSTANTIATE_TEST_SUITE_P(Peers, InspectorPeerTest, testing::ValuesIn(kPeers),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LauncherTest, SelectionErrorsAreNotRetried) {
  const std::pair<std::string, std::string> cases[] = {
      {"[ {\n  \"id\": \"1\"\n} ]",
       "    no webSocketDebuggerUrl in inspector /json: [ {\n      \"id\": \"1\"\n    } ]\n"},
      {"{}", "    no webSocketDebuggerUrl in inspector /json: {}\n"},
  };
  for (const auto& [body, causes] : cases) {
    LoopbackServer server(LoopbackServer::respond(http_response("HTTP/1.0 200 OK", body)));
    ProcessResult result = run_inspector({server.address(), "--print-url"});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, report_prefix(server.address()) + causes);
    EXPECT_EQ(server.connections(), 1);
  }
  LoopbackServer server(LoopbackServer::respond(http_response("HTTP/1.0 200 OK", "[] x")));
  ProcessResult result = run_inspector({server.address(), "--print-url"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err.rfind(report_prefix(server.address()) +
                                 "    0: inspector /json was not valid JSON\n    1: ",
                             0),
            0u)
      << result.err;
}

// Engines listen a moment before their first target exists, and answer [].
TEST(LauncherTest, EmptyTargetListIsWaitedFor) {
  std::atomic<int> answers{0};
  LoopbackServer late([&answers](int fd) {
    LoopbackServer::read_request(fd);
    const bool ready = ++answers > 3;
    LoopbackServer::send_text(
        fd, http_response("HTTP/1.0 200 OK", ready ? target_list_json("ws://late/1") : "[ ]"));
  });
  ProcessResult result = run_inspector({"--print-url", late.address()});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out, three_lines("late/1", default_frontend("late/1")));
  EXPECT_EQ(late.connections(), 4);

  LoopbackServer empty(LoopbackServer::respond(http_response("HTTP/1.0 200 OK", "[]")));
  result = run_inspector({"--print-url", empty.address()});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err, report_prefix(empty.address()) +
                            "    no webSocketDebuggerUrl in inspector /json: []\n");
  EXPECT_GE(result.elapsed, 5s);
  EXPECT_GT(empty.connections(), 10);
}

TEST(LauncherTest, NothingListening) {
  // Bound but not listening for the whole run: connections are refused, and a
  // server of a test running beside this one cannot be given the port.
  const LoopbackServer refusing(LoopbackServer::respond(""), false, std::chrono::hours(1));
  const std::string address = refusing.address();
  ProcessResult result = run_inspector({"--print-url", address});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.out, "");
  const std::string expected_start =
      report_prefix(address) + "    0: connect to inspector at " + address + "\n    1: ";
  const std::string expected_end =
      " (os error " + std::to_string(connection_refused_code()) + ")\n";
  EXPECT_EQ(result.err.rfind(expected_start, 0), 0u) << result.err;
  EXPECT_TRUE(result.err.ends_with(expected_end)) << result.err;
  EXPECT_GE(result.elapsed, 5s);
}

TEST(LauncherTest, InvalidAddressesFailOnlyAfterWindow) {
  const std::pair<std::string, std::string> cases[] = {
      {"localhost", "invalid socket address"},
      {"-v", "invalid socket address"},
      {"localhost:99999", "invalid port value"},
  };
  std::vector<std::thread> runs;
  std::vector<ProcessResult> results(std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    runs.emplace_back([&, i] { results[i] = run_inspector({cases[i].first, "--print-url"}); });
  }
  for (std::thread& run : runs) run.join();
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& [address, cause] = cases[i];
    EXPECT_EQ(results[i].exit_status, 1);
    EXPECT_EQ(results[i].err, report_prefix(address) + "    0: connect to inspector at " + address +
                                  "\n    1: " + cause + "\n");
    EXPECT_GE(results[i].elapsed, 5s);
  }
}

TEST(LauncherTest, EmptyAddressArgument) {
  ProcessResult result = run_inspector({"", "127.0.0.1:1", "--print-url"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err,
            "Error: failed to read inspector targets from http:///json\n\nCaused by:\n"
            "    0: connect to inspector at \n    1: invalid socket address\n");
}

TEST(LauncherTest, ResponseThatNeverClosesTimesOut) {
  LoopbackServer server([](int fd) {
    LoopbackServer::read_request(fd);
    LoopbackServer::send_text(fd, http_response("HTTP/1.0 200 OK", target_list_json("ws://x")));
    std::this_thread::sleep_for(4s);  // longer than the receive timeout
  });
  ProcessResult result = run_inspector({"--print-url", server.address()});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.out, "");
  // The complete response is dropped; a timeout error from the system is the cause.
  EXPECT_EQ(result.err.rfind(report_prefix(server.address()) + "    ", 0), 0u) << result.err;
  EXPECT_NE(result.err.find("(os error "), std::string::npos) << result.err;
  EXPECT_EQ(server.connections(), 2);  // 0 s - 3 s, then 3.15 s - 6.15 s
  EXPECT_GE(result.elapsed, 6s);
}

TEST(LauncherTest, OversizedResponseIsCut) {
  LoopbackServer server([](int fd) {
    LoopbackServer::read_request(fd);
    const std::string chunk(1 << 20, ' ');
    std::string head = "HTTP/1.0 200 OK\r\n\r\n[";
    LoopbackServer::send_text(fd, head);
    for (int i = 0; i < 80; ++i) {
      if (send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) <= 0) return;
    }
  });
  ProcessResult result = run_inspector({"--print-url", server.address()});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err, report_prefix(server.address()) + "    inspector response too large\n");
}

TEST(LauncherTest, RealNodeInspector) {
  NodeInspector node;
  ASSERT_FALSE(node.address().empty()) << node.process().err();
  ProcessResult result = run_inspector({node.address(), "--print-url"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out, three_lines(node.target(), default_frontend(node.target())));
  EXPECT_EQ(result.err, "");

  result = run_inspector({"--print-url", node.address()},
                         {{"VORPEL_INSPECTOR_FRONTEND", "http://127.0.0.1:1/x.html?ws={ws}"}});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out,
            three_lines(node.target(), "http://127.0.0.1:1/x.html?ws=" + node.target()));
}

TEST(LauncherTest, FrontendAddressOfSecureAndUnusualTargets) {
  // The target line and the user's template show the target as listed; the
  // default address carries it encoded, in "wss" for a wss target.
  struct Case {
    std::string url;
    std::string target;
    std::string parameter;
  };
  const Case cases[] = {
      {"wss://h:1/abc", "h:1/abc", "wss=h:1/abc"},
      {"wss://[::1]:9229/0f2c", "[::1]:9229/0f2c", "wss=[::1]:9229/0f2c"},
      {"ws://127.0.0.1:9229/x&rtc=true", "127.0.0.1:9229/x&rtc=true",
       "ws=127.0.0.1:9229/x%26rtc=true"},
      {"wss://h:1/a b#c%d+e\xC3\xA9", "h:1/a b#c%d+e\xC3\xA9", "wss=h:1/a%20b%23c%25d%2Be%C3%A9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    LoopbackServer server(
        LoopbackServer::respond(http_response("HTTP/1.0 200 OK", target_list_json(c.url))));
    ProcessResult result = run_inspector({"--print-url", server.address()});
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.out,
              "vorpel_inspector: ws target  = " + c.target +
                  "\nvorpel_inspector: devtools   = http://devtools.localhost/js_app.html?" +
                  c.parameter + "&experiments=true&v8only=true\n" + kThirdLine);
    EXPECT_EQ(result.err, "");
    result = run_inspector({"--print-url", server.address()},
                           {{"VORPEL_INSPECTOR_FRONTEND", "app.html?ws={ws}&x={ws}"}});
    EXPECT_EQ(result.out, three_lines(c.target, "app.html?ws=" + c.target + "&x=" + c.target));
  }
}

}  // namespace

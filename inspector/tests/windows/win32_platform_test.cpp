// The Windows platform layer: text conversion, system texts, environment,
// sockets on loopback and the response stream.
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come before it.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "net.h"
#include "sys.h"
#include "win32/text.h"

#if VORPEL_WITH_WEBVIEW2
#include "win32/read_only_stream.h"
#endif

namespace {

using namespace std::chrono_literals;

TEST(Win32Text, Utf16ToUtf8IsStrictAboutSurrogates) {
  struct Case {
    std::wstring utf16;
    std::optional<std::string> utf8;
  };
  const Case cases[] = {
      {L"", ""},
      {L"127.0.0.1:9229", "127.0.0.1:9229"},
      {L"h\u00e9\u2014", "h\xC3\xA9\xE2\x80\x94"},
      {L"\xD83D\xDE00", "\xF0\x9F\x98\x80"},  // U+1F600 as a pair
      {L"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF"},  // the last code point
      {L"a\xD83D", std::nullopt},             // high surrogate at the end
      {L"\xD83Dz", std::nullopt},             // high surrogate before a non-surrogate
      {L"\xDE00\xD83D", std::nullopt},        // pair in the wrong order
      {L"x\xDC00y", std::nullopt},            // lone low surrogate
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8_from_utf16(c.utf16), c.utf8);
    if (c.utf8) {
      EXPECT_EQ(utf16_from_utf8(*c.utf8), c.utf16);
    }
  }
}

TEST(Win32System, ErrorTextsAreTrimmedAndNeverEmpty) {
  const int codes[] = {ERROR_FILE_NOT_FOUND, ERROR_MOD_NOT_FOUND, WSAECONNREFUSED,
                       WSAETIMEDOUT,         WSAHOST_NOT_FOUND,   0x7EAD1234};
  for (int code : codes) {
    const std::string text = sys::system_error_text(code);
    ASSERT_FALSE(text.empty()) << code;
    EXPECT_FALSE(std::isspace(static_cast<unsigned char>(text.back()))) << code << ": " << text;
    EXPECT_EQ(text.find('\n'), std::string::npos) << code << ": " << text;
  }
}

TEST(Win32System, EnvironmentValuesAsUtf8) {
  const wchar_t* name = L"VORPEL_WIN32_TEST_VALUE";
  struct Case {
    const wchar_t* value;  // nullptr: unset
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {nullptr, std::nullopt},
      {L"", ""},
      {L"app.html?ws={ws}", "app.html?ws={ws}"},
      {L"\u00fc\u2014\xD83D\xDE00", "\xC3\xBC\xE2\x80\x94\xF0\x9F\x98\x80"},
      {L"x\xD800y", std::nullopt},  // not valid text: treated as unset
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(::SetEnvironmentVariableW(name, c.value));
    EXPECT_EQ(sys::environment_variable("VORPEL_WIN32_TEST_VALUE"), c.expected);
  }
  // Longer than the first buffer the lookup tries.
  std::wstring long_value(5000, L'\u00e9');
  ASSERT_TRUE(::SetEnvironmentVariableW(name, long_value.c_str()));
  auto value = sys::environment_variable("VORPEL_WIN32_TEST_VALUE");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->size(), 10000u);
  ::SetEnvironmentVariableW(name, nullptr);
}

// A listening loopback socket whose one connection is served by `serve`.
class Listener {
 public:
  explicit Listener(std::function<void(SOCKET)> serve) {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ::ntohs(address.sin_port);
    ::listen(socket_, 1);
    thread_ = std::thread([this, serve] {
      SOCKET peer = ::accept(socket_, nullptr, nullptr);
      if (peer != INVALID_SOCKET) {
        serve(peer);
        ::closesocket(peer);
      }
    });
  }
  ~Listener() {
    ::closesocket(socket_);
    thread_.join();
  }
  SocketAddress address() const {
    SocketAddress address;
    address.ip = {127, 0, 0, 1};
    address.port = port_;
    return address;
  }

 private:
  SOCKET socket_;
  uint16_t port_ = 0;
  std::thread thread_;
};

// Every byte until the stream ends, or the first error.
Result<std::string> receive_all(net::Connection& connection) {
  std::string bytes;
  char buffer[4096];
  for (;;) {
    auto count = net::receive_some(connection, buffer, sizeof buffer);
    if (!count) return std::move(count).error();
    if (count.value() == 0) return bytes;
    bytes.append(buffer, count.value());
  }
}

TEST(Win32Net, ReceivesUntilThePeerCloses) {
  const std::string response = "HTTP/1.0 200 OK\r\n\r\n" + std::string(200000, 'x');
  std::string request;
  {
    Listener listener([&](SOCKET peer) {
      char buffer[4096];
      int count;
      while ((count = ::recv(peer, buffer, sizeof buffer, 0)) > 0) request.append(buffer, count);
      ::send(peer, response.data(), static_cast<int>(response.size()), 0);
    });
    auto connection = net::connect(listener.address());
    ASSERT_TRUE(connection) << connection.error().report();
    ASSERT_FALSE(net::set_receive_timeout(connection.value(), 3000ms));
    ASSERT_FALSE(net::send_all(connection.value(), "GET /json HTTP/1.0\r\n\r\n"));
    // The listener answers only once the request side is closed.
    ::shutdown(static_cast<SOCKET>(connection.value().handle()), SD_SEND);
    auto received = receive_all(connection.value());
    ASSERT_TRUE(received) << received.error().report();
    EXPECT_EQ(received.value(), response);
  }
  EXPECT_EQ(request, "GET /json HTTP/1.0\r\n\r\n");
}

TEST(Win32Net, ReceiveSideShutDownEndsTheStream) {
  Listener listener([](SOCKET peer) {
    ::Sleep(500);
    (void)peer;
  });
  auto connection = net::connect(listener.address());
  ASSERT_TRUE(connection) << connection.error().report();
  ::shutdown(static_cast<SOCKET>(connection.value().handle()), SD_RECEIVE);
  auto received = receive_all(connection.value());
  ASSERT_TRUE(received) << received.error().report();
  EXPECT_EQ(received.value(), "");
}

// The errors name the Winsock numbers; their texts are the system's.
TEST(Win32Net, FailuresCarryWinsockNumbers) {
  auto ends_with_number = [](const ErrorChain& error, int code) {
    const std::string suffix = " (os error " + std::to_string(code) + ")";
    return error.messages().back().ends_with(suffix);
  };

  Listener silent([](SOCKET) { ::Sleep(1500); });
  auto connection = net::connect(silent.address());
  ASSERT_TRUE(connection);
  ASSERT_FALSE(net::set_receive_timeout(connection.value(), 300ms));
  const auto start = std::chrono::steady_clock::now();
  auto received = receive_all(connection.value());
  ASSERT_FALSE(received);
  EXPECT_TRUE(ends_with_number(received.error(), WSAETIMEDOUT)) << received.error().report();
  EXPECT_GE(std::chrono::steady_clock::now() - start, 250ms);

  SocketAddress closed = silent.address();
  {
    Listener probe([](SOCKET) {});
    closed = probe.address();
    (void)net::connect(closed);  // lets the probe's accept return
  }
  auto refused = net::connect(closed);
  ASSERT_FALSE(refused);
  EXPECT_TRUE(ends_with_number(refused.error(), WSAECONNREFUSED)) << refused.error().report();
}

// The built exe, which sits two folders above this test's exe.
std::wstring inspector_exe() {
  wchar_t path[MAX_PATH];
  std::wstring self(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
  for (int i = 0; i < 3; ++i) self.resize(self.find_last_of(L"\\/"));
  return self + L"\\vorpel_inspector.exe";
}

struct ProcessRun {
  DWORD status = 0;
  std::string out;
  std::string err;
};

// Starts the exe with a command line that no Unix shell could pass through Wine.
ProcessRun run_inspector(const std::wstring& arguments) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE out_read, out_write, err_read, err_write;
  ::CreatePipe(&out_read, &out_write, &inherit, 0);
  ::CreatePipe(&err_read, &err_write, &inherit, 0);
  ::SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out_write;
  startup.hStdError = err_write;
  PROCESS_INFORMATION process{};
  std::wstring command_line = L"vorpel_inspector.exe " + arguments;
  const std::wstring exe = inspector_exe();
  ProcessRun run;
  if (!::CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process)) {
    run.status = 0xFFFFFFFF;
  }
  ::CloseHandle(out_write);
  ::CloseHandle(err_write);
  auto drain = [](HANDLE pipe) {
    std::string text;
    char buffer[4096];
    DWORD count;
    while (::ReadFile(pipe, buffer, sizeof buffer, &count, nullptr) && count > 0) {
      text.append(buffer, count);
    }
    ::CloseHandle(pipe);
    return text;
  };
  run.err = drain(err_read);  // the report is short: no pipe fills up meanwhile
  run.out = drain(out_read);
  if (run.status == 0) {
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::GetExitCodeProcess(process.hProcess, &run.status);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
  }
  return run;
}

TEST(Win32Launcher, RefusesACommandLineThatIsNotText) {
  const std::pair<std::wstring, std::string> cases[] = {
      {L"--print-url 127.0.0.1:\xD800", "2"},
      {L"--\xDC00 127.0.0.1:1", "1"},  // even an ignored option
  };
  for (const auto& [arguments, number] : cases) {
    ProcessRun run = run_inspector(arguments);
    EXPECT_EQ(run.status, 1u);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Error: command-line argument " + number +
                           " is not valid Unicode text (unpaired UTF-16 surrogate)\n");
  }
}

#if VORPEL_WITH_WEBVIEW2

std::string read_some(IStream* stream, ULONG wanted, HRESULT expected) {
  std::string out(wanted, '\0');
  ULONG read = 12345;
  EXPECT_EQ(stream->Read(out.data(), wanted, &read), expected);
  out.resize(read);
  return out;
}

TEST(ReadOnlyStream, ReadsSeeksAndRefusesWriting) {
  static constexpr std::string_view kBytes = "0123456789";
  IStream* stream = new_read_only_stream(kBytes);

  EXPECT_EQ(read_some(stream, 4, S_OK), "0123");
  EXPECT_EQ(read_some(stream, 100, S_FALSE), "456789");
  EXPECT_EQ(read_some(stream, 1, S_FALSE), "");

  ULARGE_INTEGER position;
  LARGE_INTEGER move;
  const struct {
    LONGLONG offset;
    DWORD origin;
    ULONGLONG position;
  } seeks[] = {{2, STREAM_SEEK_SET, 2},
               {3, STREAM_SEEK_CUR, 5},
               {-1, STREAM_SEEK_END, 9},
               {-9, STREAM_SEEK_CUR, 0},
               {20, STREAM_SEEK_SET, 20}};
  for (const auto& seek : seeks) {
    move.QuadPart = seek.offset;
    ASSERT_EQ(stream->Seek(move, seek.origin, &position), S_OK);
    EXPECT_EQ(position.QuadPart, seek.position);
  }
  EXPECT_EQ(read_some(stream, 1, S_FALSE), "");  // past the end
  move.QuadPart = -21;
  EXPECT_NE(stream->Seek(move, STREAM_SEEK_CUR, &position), S_OK);

  move.QuadPart = 7;
  stream->Seek(move, STREAM_SEEK_SET, nullptr);
  IStream* clone = nullptr;
  ASSERT_EQ(stream->Clone(&clone), S_OK);
  EXPECT_EQ(read_some(clone, 10, S_FALSE), "789");
  EXPECT_EQ(read_some(stream, 2, S_OK), "78");  // the clone has a position of its own

  STATSTG stat;
  ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.cbSize.QuadPart, kBytes.size());
  EXPECT_EQ(stat.type, static_cast<DWORD>(STGTY_STREAM));

  ULONG written = 99;
  EXPECT_EQ(stream->Write("x", 1, &written), STG_E_ACCESSDENIED);
  EXPECT_EQ(written, 0u);
  ULARGE_INTEGER size;
  size.QuadPart = 1;
  EXPECT_EQ(stream->SetSize(size), STG_E_ACCESSDENIED);

  IUnknown* unknown = nullptr;
  ASSERT_EQ(stream->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown->Release(), 1u);
  EXPECT_EQ(clone->Release(), 0u);
  EXPECT_EQ(stream->Release(), 0u);
}

// SET takes the move as unsigned; CUR and END refuse what would wrap around.
TEST(ReadOnlyStream, SeeksAcrossTheWholeUnsignedRange) {
  static constexpr std::string_view kBytes = "0123456789";
  IStream* stream = new_read_only_stream(kBytes);
  constexpr ULONGLONG kTop = ~0ULL;
  const struct {
    ULONGLONG move;  // as the caller's LARGE_INTEGER bits
    DWORD origin;
    bool ok;
    ULONGLONG position;  // after the seek (unchanged when refused)
  } seeks[] = {
      {1ULL << 63, STREAM_SEEK_SET, true, 1ULL << 63},
      {static_cast<ULONGLONG>(-1), STREAM_SEEK_CUR, true, (1ULL << 63) - 1},
      {kTop, STREAM_SEEK_SET, true, kTop},
      {1, STREAM_SEEK_CUR, false, kTop},
      {0, STREAM_SEEK_CUR, true, kTop},
      {static_cast<ULONGLONG>(-11), STREAM_SEEK_END, false, kTop},
      {static_cast<ULONGLONG>(-10), STREAM_SEEK_END, true, 0},
      {static_cast<ULONGLONG>(-1), STREAM_SEEK_CUR, false, 0},
      {1ULL << 62, STREAM_SEEK_END, true, (1ULL << 62) + 10},
  };
  for (const auto& seek : seeks) {
    LARGE_INTEGER move;
    move.QuadPart = static_cast<LONGLONG>(seek.move);
    ULARGE_INTEGER position{};
    const HRESULT result = stream->Seek(move, seek.origin, &position);
    EXPECT_EQ(SUCCEEDED(result), seek.ok) << seek.move << " from " << seek.origin;
    LARGE_INTEGER none{};
    ASSERT_EQ(stream->Seek(none, STREAM_SEEK_CUR, &position), S_OK);
    EXPECT_EQ(position.QuadPart, seek.position) << seek.move << " from " << seek.origin;
  }
  EXPECT_EQ(read_some(stream, 1, S_FALSE), "");
  EXPECT_EQ(stream->Release(), 0u);
}

// The runtime reads on threads of its own: marshaling must hand over the
// stream itself, never a proxy that needs the creating thread.
TEST(ReadOnlyStream, IsFreeThreaded) {
  static constexpr std::string_view kBytes = "free-threaded";
  ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  IStream* stream = new_read_only_stream(kBytes);

  IMarshal* marshal = nullptr;
  ASSERT_EQ(stream->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&marshal)), S_OK);
  IUnknown* back = nullptr;
  ASSERT_EQ(marshal->QueryInterface(IID_IStream, reinterpret_cast<void**>(&back)), S_OK);
  EXPECT_EQ(back, stream);  // the marshaler answers for the stream
  back->Release();
  marshal->Release();

  IStream* carrier = nullptr;
  ASSERT_EQ(::CoMarshalInterThreadInterfaceInStream(IID_IStream, stream, &carrier), S_OK);
  IStream* received = nullptr;
  std::string bytes;
  std::thread reader([&] {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(::CoGetInterfaceAndReleaseStream(carrier, IID_IStream,
                                                   reinterpret_cast<void**>(&received)))) {
      bytes = read_some(received, 100, S_FALSE);
      received->Release();
    }
    ::CoUninitialize();
  });
  reader.join();  // this apartment never pumps: a proxy could not be served
  EXPECT_EQ(received, stream);
  EXPECT_EQ(bytes, kBytes);
  EXPECT_EQ(stream->Release(), 0u);
  ::CoUninitialize();
}

#endif

}  // namespace

// --run on Windows: the command found and started as a shell would, its
// arguments through cmd.exe, every process it started ended, and the pipe its
// processes announce themselves at.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <set>
#include <thread>

#include "announce_endpoint.h"
#include "command_process.h"
#include "support/test_files.h"
#include "sys.h"
#include "win32/text.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string utf8(const std::filesystem::path& path) {
  return utf8_from_utf16(path.wstring()).value();
}

std::filesystem::path beside_tests(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  return std::filesystem::path(std::wstring(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH)))
      .replace_filename(name);
}

TEST(Win32Command, GivesTheStatusOrWhyItCannotRun) {
  struct Case {
    std::vector<std::string> argv;
    int status;
    std::string error;  // the outermost message, when it cannot run
  };
  const Case cases[] = {
      {{"cmd", "/c", "exit 3"}, 3, ""},
      {{"CMD.EXE", "/c", "exit 0"}, 0, ""},  // an extension of PATHEXT, in another case
      {{"vorpel-no-such-command"}, 0, "cannot run vorpel-no-such-command"},
      {{"C:/vorpel/no/such.exe"}, 0, "cannot run C:/vorpel/no/such.exe"},
  };
  for (const Case& c : cases) {
    auto command = start_command(c.argv, {});
    if (!c.error.empty()) {
      ASSERT_FALSE(command) << c.argv[0];
      EXPECT_EQ(command.error().messages().front(), c.error);
      EXPECT_TRUE(command.error().messages().back().ends_with(" (os error 2)"))
          << command.error().report();
      continue;
    }
    ASSERT_TRUE(command) << command.error().report();
    EXPECT_EQ(command.value()->wait(), c.status) << c.argv[0];
  }
}

// The command writes where this program does, and has nothing else of it
// open while it runs.
TEST(Win32Command, SharesTheStandardStreamsAlone) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read_end, write_end, other_read, other_write;
  ASSERT_TRUE(::CreatePipe(&read_end, &write_end, nullptr, 0));
  ASSERT_TRUE(::CreatePipe(&other_read, &other_write, &inheritable, 0));
  HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  ::SetStdHandle(STD_OUTPUT_HANDLE, write_end);
  auto command =
      start_command({"cmd", "/c", "echo from the command& ping -n 30 127.0.0.1 >nul"}, {});
  ::SetStdHandle(STD_OUTPUT_HANDLE, output);
  ::CloseHandle(write_end);
  ::CloseHandle(other_write);
  ASSERT_TRUE(command) << command.error().report();
  char buffer[256];
  DWORD count = 0;
  EXPECT_TRUE(::ReadFile(read_end, buffer, sizeof buffer, &count, nullptr));
  EXPECT_TRUE(std::string(buffer, count).starts_with("from the command"));
  // The program's other inheritable pipe has no writer left.
  EXPECT_FALSE(::PeekNamedPipe(other_read, nullptr, 0, nullptr, nullptr, nullptr));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  command.value()->end_all();
  ::CloseHandle(other_read);
  ::CloseHandle(read_end);
}

// Each way of naming a program gets the arguments back whole: texts cmd.exe
// would split, expand or take for operators, and what CommandLineToArgvW
// reads specially. The settings replace a variable of another case.
TEST(Win32Command, ArgumentsAndSettingsArriveWhole) {
  const std::vector<std::string> arguments = {
      "plain",
      "two words",
      R"(say "hi & bye" (now))",
      "",
      R"(trailing\)",
      R"(back\"slash)",
      R"(a|b<c>d^e)",
      "tab\there",
      R"(C:\Program Files\)",
      R"(")",
      R"(" & ")",
      R"(end with a quote")",
      "a;b,c=d",
      "h\xC3\xA9\xE2\x80\x94\xF0\x9F\x98\x80",
  };
  TempFolder folder("vorpel-command");
  const std::filesystem::path probe = beside_tests(L"win32_argument_probe.exe");
  const std::string script = "@\"" + utf8(probe) + "\" %*\r\n";
  write_file(folder.path() / "vorpel_probe.cmd", script);
  write_file(folder.path() / "probe script.bat", script);
  ASSERT_TRUE(::SetEnvironmentVariableW(L"vorpel_probe_value", L"from the program"));
  const std::filesystem::path out = folder.path() / "out";
  const std::vector<EnvironmentSetting> settings = {
      {"Path", utf8(folder.path()) + ";" + sys::environment_variable("PATH").value_or("")},
      {"VORPEL_PROBE_OUT", utf8(out)},
      {"VORPEL_PROBE_VALUE", "from the settings"},
  };
  std::string expected;
  for (const std::string& argument : arguments) expected += argument + '\0';
  expected += std::string("--") + '\0' + "VORPEL_PROBE_VALUE=from the settings" + '\0';

  const std::string programs[] = {
      utf8(probe),                                // an .exe by its path
      "vorpel_probe",                             // a .cmd on PATH, through PATHEXT
      utf8(folder.path()) + "/probe script.bat",  // a .bat by its path
  };
  for (const std::string& program : programs) {
    std::filesystem::remove(out);
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto command = start_command(argv, settings);
    ASSERT_TRUE(command) << command.error().report();
    EXPECT_EQ(command.value()->wait(), 0) << program;
    EXPECT_EQ(read_file(out), expected) << program;
  }
  ::SetEnvironmentVariableW(L"vorpel_probe_value", nullptr);

  auto refused = start_command({"vorpel_probe", "two\nlines"}, settings);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().messages().front(), "cannot run vorpel_probe");
}

struct ProcessEntry {
  DWORD pid;
  DWORD parent;
  std::wstring exe;
};

std::vector<ProcessEntry> processes() {
  std::vector<ProcessEntry> found;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
       more = ::Process32NextW(snapshot, &entry)) {
    found.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
  }
  ::CloseHandle(snapshot);
  return found;
}

// The first child of `parent` whose exe is `exe`, waited for a while; 0 when none came.
DWORD child_of(DWORD parent, const std::wstring& exe, DWORD other_than = 0) {
  for (auto deadline = Clock::now() + 20s; Clock::now() < deadline;
       std::this_thread::sleep_for(50ms)) {
    for (const ProcessEntry& entry : processes()) {
      if (entry.parent == parent && entry.pid != other_than &&
          ::CompareStringOrdinal(entry.exe.c_str(), -1, exe.c_str(), -1, TRUE) == CSTR_EQUAL) {
        return entry.pid;
      }
    }
  }
  return 0;
}

// The command's grandchild and a process it did not start but adopted.
TEST(Win32Command, EndAllEndsEveryProcessOfTheRun) {
  auto command = start_command({"cmd", "/c", "ping -n 60 127.0.0.1 >nul"}, {});
  ASSERT_TRUE(command) << command.error().report();

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION outsider{};
  std::wstring line = L"ping -n 60 127.0.0.1";
  ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &outsider));
  ::CloseHandle(outsider.hThread);
  ::CloseHandle(outsider.hProcess);
  command.value()->adopt(static_cast<int>(outsider.dwProcessId));

  const DWORD shell = child_of(::GetCurrentProcessId(), L"cmd.exe");
  const DWORD grandchild = child_of(shell, L"ping.exe");
  ASSERT_NE(grandchild, 0u) << "no ping under the command's cmd " << shell;
  const int run[] = {static_cast<int>(shell), static_cast<int>(grandchild),
                     static_cast<int>(outsider.dwProcessId)};
  for (int pid : run) EXPECT_TRUE(process_running(pid)) << pid;

  for (int time = 0; time < 2; ++time) {  // the second finds nothing left
    const auto start = Clock::now();
    command.value()->end_all();
    EXPECT_LT(Clock::now() - start, 3s) << "end_all " << time;
    for (int pid : run) EXPECT_FALSE(process_running(pid)) << pid << " after end_all " << time;
  }
  EXPECT_EQ(command.value()->wait(), 1);
}

HANDLE interrupt_heard = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);

// Called before the command's handler, and passes the event on to it.
BOOL WINAPI hear_interrupt(DWORD) {
  ::SetEvent(interrupt_heard);
  return FALSE;
}

// Ctrl+C reaches every process on the console: the command's end, this one
// stays. Wine has a console that takes Ctrl+C only on a terminal, where
// windows.interrupt runs this test.
TEST(Win32Command, InterruptEndsTheCommandNotTheProgram) {
  auto command = start_command({"cmd", "/c", "ping -n 30 127.0.0.1 >nul"}, {});
  ASSERT_TRUE(command) << command.error().report();
  ASSERT_NE(child_of(child_of(::GetCurrentProcessId(), L"cmd.exe"), L"ping.exe"), 0u);
  ASSERT_TRUE(::SetConsoleCtrlHandler(hear_interrupt, TRUE));
  if (!::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
    command.value()->end_all();
    ::SetConsoleCtrlHandler(hear_interrupt, FALSE);
    GTEST_SKIP() << "no console that takes Ctrl+C";
  }
  const auto start = Clock::now();
  command.value()->wait();
  EXPECT_LT(Clock::now() - start, 10s);
  // This process may hear of it after the command ended.
  EXPECT_EQ(::WaitForSingleObject(interrupt_heard, 10000), WAIT_OBJECT_0);
  ::SetConsoleCtrlHandler(hear_interrupt, FALSE);
}

// One client as the preload is: a busy pipe is tried again a moment later.
bool write_client(const std::string& name, const std::vector<std::string>& pieces) {
  const std::wstring pipe_name = utf16_from_utf8(name);
  for (int attempt = 0; attempt < 400; ++attempt) {
    HANDLE pipe =
        ::CreateFileW(pipe_name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
      if (::GetLastError() != ERROR_PIPE_BUSY) return false;
      ::Sleep(10);
      continue;
    }
    bool written = true;
    for (const std::string& piece : pieces) {
      DWORD count = 0;
      written =
          written &&
          ::WriteFile(pipe, piece.data(), static_cast<DWORD>(piece.size()), &count, nullptr) &&
          count == piece.size();
    }
    ::CloseHandle(pipe);
    return written;
  }
  return false;
}

// The next `count` lines, or those that came within 20 s.
std::multiset<std::string> take_lines(AnnounceEndpoint& endpoint, size_t count) {
  auto reader = std::async(std::launch::async, [&] {
    std::multiset<std::string> lines;
    while (lines.size() < count) {
      auto line = endpoint.next_message();
      if (!line) break;
      lines.insert(line.value());
    }
    return lines;
  });
  if (reader.wait_for(20s) != std::future_status::ready) endpoint.remove();
  return reader.get();
}

TEST(Win32AnnounceEndpoint, ClientsLinesComeWholeAndOverLongOnesGo) {
  auto endpoint = open_announce_endpoint("require('x');\n");
  ASSERT_TRUE(endpoint) << endpoint.error().report();
  AnnounceEndpoint& announcements = *endpoint.value();
  const std::string& preload = announcements.preload_path();
  EXPECT_EQ(preload.find('\\'), std::string::npos) << preload;
  EXPECT_EQ(read_file(std::filesystem::path(utf16_from_utf8(preload))), "require('x');\n");
  EXPECT_TRUE(announcements.name().starts_with("\\\\.\\pipe\\vorpel-")) << announcements.name();

  const std::string longest(kMaxAnnouncementSize, 'x');
  const std::string over(kMaxAnnouncementSize + 1, 'y');
  constexpr int kClients = 40;  // more than listen at once
  std::atomic<int> failed{0};
  std::vector<std::thread> clients;
  std::multiset<std::string> expected;
  for (int i = 0; i < kClients; ++i) {
    const std::string n = std::to_string(i);
    expected.insert({"first " + n + " whole", "second " + n, longest});
    // Lines across writes, an over-long one across two, and a last one unfinished.
    clients.emplace_back([&, n] {
      if (!write_client(
              announcements.name(),
              {"first " + n, " whole\n" + over.substr(0, 3000),
               over.substr(3000) + "\nsecond " + n + "\n" + longest + "\n", "unfinished " + n})) {
        ++failed;
      }
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(take_lines(announcements, expected.size()), expected);
  // Nothing else is waiting: the next line is a later client's.
  ASSERT_TRUE(write_client(announcements.name(), {"last\n"}));
  EXPECT_EQ(take_lines(announcements, 1), std::multiset<std::string>{"last"});
}

TEST(Win32AnnounceEndpoint, GoesAtOnceAndLeavesNothing) {
  struct Case {
    const char* what;
    bool client_mid_line;
    bool reader_waiting;  // removed while it waits, else destroyed
  };
  const Case cases[] = {
      {"nothing connected, destroyed", false, false},
      {"a client mid-line, destroyed", true, false},
      {"a client mid-line and a reader waiting, removed", true, true},
  };
  for (const Case& c : cases) {
    auto opened = open_announce_endpoint("x");
    ASSERT_TRUE(opened) << opened.error().report();
    std::unique_ptr<AnnounceEndpoint> endpoint = std::move(opened).value();
    const std::filesystem::path folder =
        std::filesystem::path(utf16_from_utf8(endpoint->preload_path())).parent_path();
    const std::wstring name = utf16_from_utf8(endpoint->name());
    HANDLE client = INVALID_HANDLE_VALUE;
    if (c.client_mid_line) {
      client = ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      DWORD count;
      ASSERT_TRUE(::WriteFile(client, "half", 4, &count, nullptr)) << c.what;
    }
    std::future<bool> reader_ended;
    if (c.reader_waiting) {
      reader_ended = std::async(std::launch::async, [&] { return !endpoint->next_message(); });
      std::this_thread::sleep_for(100ms);
    }

    const auto start = Clock::now();
    if (c.reader_waiting) {
      endpoint->remove();
      EXPECT_EQ(reader_ended.wait_for(2s), std::future_status::ready) << c.what;
      EXPECT_TRUE(reader_ended.get()) << c.what;
    } else {
      endpoint.reset();
    }
    EXPECT_LT(Clock::now() - start, 2s) << c.what;
    EXPECT_FALSE(std::filesystem::exists(folder)) << c.what;
    // No process can announce itself after.
    EXPECT_EQ(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE)
        << c.what;
    if (client != INVALID_HANDLE_VALUE) ::CloseHandle(client);
  }
}

}  // namespace

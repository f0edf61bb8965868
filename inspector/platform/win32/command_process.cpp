// --run's command on Windows: found as cmd.exe finds it, and run in a job
// that ends with this program.
#include "command_process.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cwchar>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "win32/os_errors.h"
#include "win32/text.h"

namespace {

using std::chrono::milliseconds;

bool same_name(std::wstring_view a, std::wstring_view b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// "NAME=VALUE"; the hidden "=C:=C:\dir" entries keep their leading "=" in the name.
std::wstring_view entry_name(std::wstring_view entry) {
  return entry.substr(0, entry.find(L'=', 1));
}

class Environment {
 public:
  // This process's environment with `settings` in place of what they name.
  explicit Environment(const std::vector<EnvironmentSetting>& settings) {
    if (wchar_t* block = ::GetEnvironmentStringsW()) {
      for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        entries_.emplace_back(entry);
      }
      ::FreeEnvironmentStringsW(block);
    }
    for (const EnvironmentSetting& setting : settings) {
      const std::wstring name = utf16_from_utf8(setting.name);
      std::erase_if(entries_,
                    [&](const std::wstring& e) { return same_name(entry_name(e), name); });
      entries_.push_back(name + L"=" + utf16_from_utf8(setting.value));
    }
    // The system expects the block sorted by name, ignoring case.
    std::stable_sort(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
      const std::wstring_view x = entry_name(a), y = entry_name(b);
      return ::CompareStringOrdinal(x.data(), static_cast<int>(x.size()), y.data(),
                                    static_cast<int>(y.size()), TRUE) == CSTR_LESS_THAN;
    });
  }

  std::optional<std::wstring> value(std::wstring_view name) const {
    for (const std::wstring& entry : entries_) {
      if (same_name(entry_name(entry), name)) return entry.substr(name.size() + 1);
    }
    return std::nullopt;
  }

  std::wstring block() const {
    std::wstring block;
    for (const std::wstring& entry : entries_) block += entry + L'\0';
    if (block.empty()) block += L'\0';
    return block + L'\0';
  }

 private:
  std::vector<std::wstring> entries_;
};

std::vector<std::wstring> split(std::wstring_view list) {
  std::vector<std::wstring> items;
  while (!list.empty()) {
    const size_t end = std::min(list.find(L';'), list.size());
    std::wstring item(list.substr(0, end));
    std::erase(item, L'"');  // a PATH folder may be quoted
    if (!item.empty()) items.push_back(std::move(item));
    list.remove_prefix(std::min(end + 1, list.size()));
  }
  return items;
}

bool is_file(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool has_extension(std::wstring_view path, std::wstring_view extension) {
  return path.size() >= extension.size() &&
         same_name(path.substr(path.size() - extension.size()), extension);
}

// Found as cmd.exe finds a command: a bare name in the current folder and
// then on PATH, with each PATHEXT extension added unless it has one of them.
std::optional<std::wstring> find_program(const std::wstring& word, const Environment& environment) {
  const std::vector<std::wstring> extensions =
      split(environment.value(L"PATHEXT").value_or(L".COM;.EXE;.BAT;.CMD"));
  std::vector<std::wstring> names;
  for (const std::wstring& extension : extensions) {
    if (has_extension(word, extension)) names.push_back(word);
  }
  for (const std::wstring& extension : extensions) names.push_back(word + extension);

  std::vector<std::wstring> folders;
  if (word.find_first_of(L"\\/:") != std::wstring::npos) {
    folders.emplace_back();
  } else {
    if (!environment.value(L"NoDefaultCurrentDirectoryInExePath")) folders.emplace_back(L".\\");
    for (std::wstring folder : split(environment.value(L"PATH").value_or(L""))) {
      if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
      folders.push_back(std::move(folder));
    }
  }
  for (const std::wstring& folder : folders) {
    for (const std::wstring& name : names) {
      const std::wstring path = folder + name;
      if (!is_file(path)) continue;
      wchar_t full[MAX_PATH * 4];
      const DWORD length = ::GetFullPathNameW(path.c_str(), std::size(full), full, nullptr);
      return length > 0 && length < std::size(full) ? std::wstring(full, length) : path;
    }
  }
  return std::nullopt;
}

// One argument as CommandLineToArgvW and the C runtime read it back.
void append_argument(std::wstring& line, std::wstring_view argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
    line += argument;
    return;
  }
  line += L'"';
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

// For a batch file, cmd.exe reads the line twice (here, and again where the
// script passes %* on): its operators must lie inside what cmd takes for
// quotes, which every '"' turns on or off, while the program the script runs
// must still read the argument back. An escaped quote turns only cmd's
// quoting, a bare one both, so bare quotes are added where either is wrong.
void append_batch_argument(std::wstring& line, std::wstring_view argument, bool& cmd_quoted) {
  constexpr std::wstring_view kOperators = L"&|<>^(),;=";
  auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
  const bool plain =
      !argument.empty() && std::none_of(argument.begin(), argument.end(), [&](wchar_t c) {
        return blank(c) || c == L'"' || kOperators.find(c) != std::wstring_view::npos;
      });
  if (plain) {
    line += argument;
    return;
  }
  bool quoted = false;
  size_t backslashes = 0;
  auto toggle = [&] {
    line.append(backslashes * 2, L'\\');
    backslashes = 0;
    line += L'"';
    quoted = !quoted;
    cmd_quoted = !cmd_quoted;
  };
  toggle();
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      line.append(backslashes * 2 + 1, L'\\');
      backslashes = 0;
      line += L'"';
      cmd_quoted = !cmd_quoted;
      continue;
    }
    if ((blank(c) && !quoted) || (kOperators.find(c) != std::wstring_view::npos && !cmd_quoted)) {
      toggle();
    }
    line.append(backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  if (quoted) {
    toggle();
  } else {
    line.append(backslashes, L'\\');
  }
}

std::wstring system_program(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  return (length > 0 && length < MAX_PATH ? std::wstring(folder, length) + L"\\" : L"") + name;
}

// Ctrl+C and Ctrl+Break reach every process on the console: they are the
// command's to handle, and this program stays. Past the command's end too:
// this process may hear of a Ctrl+C only after the command has ended of it.
std::mutex interrupt_mutex;
int interrupt_holders = 0;

BOOL WINAPI keep_running_on_interrupt(DWORD event) {
  return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

void hold_interrupts(bool hold) {
  std::lock_guard lock(interrupt_mutex);
  if (hold && interrupt_holders++ == 0) ::SetConsoleCtrlHandler(keep_running_on_interrupt, TRUE);
  if (!hold && --interrupt_holders == 0) {
    ::SetConsoleCtrlHandler(keep_running_on_interrupt, FALSE);
  }
}

class JobCommand final : public CommandProcesses {
 public:
  JobCommand(HANDLE job, HANDLE process) : job_(job), process_(process) { hold_interrupts(true); }

  // Closing the job ends whatever is still in it.
  ~JobCommand() override {
    hold_interrupts(false);
    for (HANDLE adopted : adopted_) ::CloseHandle(adopted);
    ::CloseHandle(process_);
    ::CloseHandle(job_);
  }

  int wait() override {
    ::WaitForSingleObject(process_, INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(process_, &code);
    return static_cast<int>(code);
  }

  void adopt(int pid) override {
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    std::lock_guard lock(mutex_);
    // Handles of ended processes go, so a long run does not pile them up.
    std::erase_if(adopted_, [](HANDLE adopted) {
      if (::WaitForSingleObject(adopted, 0) != WAIT_OBJECT_0) return false;
      ::CloseHandle(adopted);
      return true;
    });
    if (process != nullptr) adopted_.push_back(process);
  }

  // No console process can be asked to end without a process group of its
  // own, which would take Ctrl+C from it: they are ended at once.
  void end_all() override {
    std::lock_guard lock(mutex_);
    ::TerminateJobObject(job_, 1);
    for (HANDLE adopted : adopted_) ::TerminateProcess(adopted, 1);
    const auto deadline = std::chrono::steady_clock::now() + milliseconds(2000);
    while (std::chrono::steady_clock::now() < deadline && any_running()) {
      std::this_thread::sleep_for(milliseconds(10));
    }
  }

 private:
  bool any_running() const {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION job{};
    if (::QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &job, sizeof job,
                                    nullptr)) {
      if (job.ActiveProcesses > 0) return true;
    } else if (::WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
      return true;
    }
    return std::any_of(adopted_.begin(), adopted_.end(), [](HANDLE adopted) {
      return ::WaitForSingleObject(adopted, 0) != WAIT_OBJECT_0;
    });
  }

  const HANDLE job_;
  const HANDLE process_;
  std::mutex mutex_;
  std::vector<HANDLE> adopted_;
};

// This process's standard handle, as one the child inherits.
HANDLE inheritable(DWORD which) {
  HANDLE handle = ::GetStdHandle(which);
  HANDLE copy = nullptr;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
      !::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

}  // namespace

Result<std::unique_ptr<CommandProcesses>> start_command(
    const std::vector<std::string>& argv, const std::vector<EnvironmentSetting>& settings) {
  if (argv.empty()) return ErrorChain::from_message("--run needs a command");
  const std::string what = "cannot run " + argv.front();
  const Environment environment(settings);
  const std::wstring word = utf16_from_utf8(argv.front());
  const std::optional<std::wstring> program = find_program(word, environment);
  if (!program) return os_error(ERROR_FILE_NOT_FOUND).with_context(what);

  std::wstring application = *program;
  std::wstring line;
  if (has_extension(*program, L".cmd") || has_extension(*program, L".bat")) {
    // cmd.exe stops reading at a line break, so none can be passed on.
    for (const std::string& argument : argv) {
      if (argument.find_first_of("\r\n") != std::string::npos) {
        return ErrorChain::from_message("a batch file takes no line breaks in its arguments")
            .with_context(what);
      }
    }
    // /s: cmd takes away the outer quotes and runs the rest as it is.
    application = system_program(L"cmd.exe");
    line = L"cmd.exe /d /s /c \"\"" + *program + L"\"";
    bool cmd_quoted = false;
    for (size_t i = 1; i < argv.size(); ++i) {
      line += L' ';
      append_batch_argument(line, utf16_from_utf8(argv[i]), cmd_quoted);
    }
    line += L'"';
  } else {
    append_argument(line, word);
    for (size_t i = 1; i < argv.size(); ++i) {
      line += L' ';
      append_argument(line, utf16_from_utf8(argv[i]));
    }
  }

  HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) return os_error(::GetLastError()).with_context(what);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(job);
    return os_error(error).with_context(what);
  }

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = inheritable(STD_INPUT_HANDLE);
  startup.StartupInfo.hStdOutput = inheritable(STD_OUTPUT_HANDLE);
  startup.StartupInfo.hStdError = inheritable(STD_ERROR_HANDLE);
  std::vector<HANDLE> inherited;
  for (HANDLE handle : {startup.StartupInfo.hStdInput, startup.StartupInfo.hStdOutput,
                        startup.StartupInfo.hStdError}) {
    if (handle != nullptr) inherited.push_back(handle);
  }
  // The standard handles alone: a socket or pipe of this program's must not
  // stay open in the command's processes.
  SIZE_T list_size = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::vector<unsigned char> list(list_size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list.data());
  const bool listed =
      !inherited.empty() && ::InitializeProcThreadAttributeList(attributes, 1, 0, &list_size) &&
      ::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                  inherited.data(), inherited.size() * sizeof(HANDLE), nullptr,
                                  nullptr);
  if (listed) startup.lpAttributeList = attributes;
  std::wstring block = environment.block();
  PROCESS_INFORMATION process{};
  // Suspended until it is in the job, so that whatever it starts is too.
  const BOOL created =
      ::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, listed ? TRUE : FALSE,
                       CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT,
                       block.data(), nullptr, &startup.StartupInfo, &process);
  const DWORD create_error = ::GetLastError();
  if (listed) ::DeleteProcThreadAttributeList(attributes);
  for (HANDLE handle : inherited) ::CloseHandle(handle);
  if (!created) {
    ::CloseHandle(job);
    return os_error(create_error).with_context(what);
  }
  if (!::AssignProcessToJobObject(job, process.hProcess)) {
    const DWORD error = ::GetLastError();
    ::TerminateProcess(process.hProcess, 1);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(job);
    return os_error(error).with_context(what);
  }
  auto command = std::make_unique<JobCommand>(job, process.hProcess);
  ::ResumeThread(process.hThread);
  ::CloseHandle(process.hThread);
  return std::unique_ptr<CommandProcesses>(std::move(command));
}

bool process_running(int pid) {
  if (pid <= 0) return false;
  HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  ::CloseHandle(process);
  return running;
}

#include <windows.h>
// psapi.h needs windows.h before it.
#include <psapi.h>

#include <algorithm>
#include <chrono>

#include "bench/process_usage.h"
#include "tests/support/wide_text_windows.h"

namespace halvaro::bench {

namespace {

double seconds_of(const FILETIME& time) {
  const uint64_t ticks = (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
  return static_cast<double>(ticks) / 1e7;  // 100 ns ticks
}

Usage usage_of(HANDLE process) {
  Usage usage;
  FILETIME created{}, exited{}, kernel{}, user{};
  if (::GetProcessTimes(process, &created, &exited, &kernel, &user)) {
    usage.cpu_seconds = seconds_of(kernel) + seconds_of(user);
  }
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (::GetProcessMemoryInfo(process, &counters, sizeof counters)) usage.peak_bytes = counters.PeakWorkingSetSize;
  return usage;
}

std::wstring wide(const std::string& text) {
  // The arguments main() is given are in the ANSI code page.
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
  return out;
}

std::string message_of(DWORD code) {
  char* text = nullptr;
  const DWORD length =
      ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length ? std::string(text, length) : "error " + std::to_string(code);
  if (text) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message;
}

}  // namespace

Usage own_usage() { return usage_of(::GetCurrentProcess()); }

ChildRun run_child(const std::vector<std::string>& command) {
  ChildRun run;
  if (command.empty()) {
    run.error = "no program to run";
    return run;
  }
  std::wstring line;
  for (const auto& word : command) {
    if (!line.empty()) line += L' ';
    test::windows::append_quoted(line, wide(word));
  }
  // The child writes to this process's standard streams, whatever they are (a pipe or a
  // file too, not only a console).
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  for (HANDLE stream : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
    if (stream && stream != INVALID_HANDLE_VALUE) ::SetHandleInformation(stream, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
  PROCESS_INFORMATION process{};
  const auto start = std::chrono::steady_clock::now();
  // No application name: the system finds the program from the command line's first word
  // as a shell would, adding ".exe".
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    run.error = command[0] + ": " + message_of(::GetLastError());
    return run;
  }
  run.started = true;
  ::CloseHandle(process.hThread);
  // An ended process's counters stay readable on Windows while a handle to it is open,
  // but Wine answers with zeros once the process has gone: the counters are read while
  // it runs too, and the largest kept. The peak is a high-water mark, so what a reading
  // every 10 ms can miss is growth in the child's last moments.
  const auto keep_largest = [&] {
    const Usage now = usage_of(process.hProcess);
    run.usage.cpu_seconds = std::max(run.usage.cpu_seconds, now.cpu_seconds);
    run.usage.peak_bytes = std::max(run.usage.peak_bytes, now.peak_bytes);
  };
  while (::WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT) keep_largest();
  run.wall_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  keep_largest();
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  run.exit_status = static_cast<int>(code);
  ::CloseHandle(process.hProcess);
  return run;
}

}  // namespace halvaro::bench

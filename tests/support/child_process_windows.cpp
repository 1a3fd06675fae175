#include "tests/support/child_process.h"

#include <windows.h>

#include "tests/support/wide_text_windows.h"

#include <array>

namespace halvaro::test {

namespace {

// The exit code a killed program is given (TerminateProcess sets the one it is passed).
constexpr UINT kKilled = 0xDEAD;

HANDLE handle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
intptr_t number(HANDLE h) { return reinterpret_cast<intptr_t>(h); }

void close(intptr_t& h) {
  if (h != 0) ::CloseHandle(handle(h));
  h = 0;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::filesystem::path& output) {
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE input_read = nullptr, input_write = nullptr, output_read = nullptr, output_write = nullptr;
  if (!::CreatePipe(&input_read, &input_write, &inherited, 0)) return;
  ::SetHandleInformation(input_write, HANDLE_FLAG_INHERIT, 0);
  if (output.empty()) {
    if (!::CreatePipe(&output_read, &output_write, &inherited, 0)) {
      ::CloseHandle(input_read);
      ::CloseHandle(input_write);
      return;
    }
    ::SetHandleInformation(output_read, HANDLE_FLAG_INHERIT, 0);
  } else {
    output_write = ::CreateFileW(output.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output_write == INVALID_HANDLE_VALUE) output_write = nullptr;
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input_read;
  startup.hStdOutput = output_write;
  startup.hStdError = output_write;
  std::wstring line = windows::command_line(program, arguments);
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
  // The child has its own copies of its ends of the pipes.
  ::CloseHandle(input_read);
  if (output_write != nullptr) ::CloseHandle(output_write);
  input_ = number(input_write);
  output_ = number(output_read);
  if (!started) {
    close(input_);
    close(output_);
    return;
  }
  ::CloseHandle(process.hThread);
  process_ = number(process.hProcess);
}

ChildProcess::~ChildProcess() {
  kill();
  close(input_);
  close(output_);
  close(process_);
}

bool ChildProcess::started() const { return process_ != 0; }

bool ChildProcess::running() const {
  return process_ != 0 && ::WaitForSingleObject(handle(process_), 0) == WAIT_TIMEOUT;
}

std::string ChildProcess::read_line() {
  std::array<char, 4096> buffer{};
  for (;;) {
    if (const size_t end = pending_.find('\n'); end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    DWORD n = 0;
    if (output_ == 0 || !::ReadFile(handle(output_), buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr) ||
        n == 0) {
      std::string rest = std::move(pending_);
      pending_.clear();
      return rest;
    }
    pending_.append(buffer.data(), n);
  }
}

void ChildProcess::close_input() { close(input_); }

bool ChildProcess::kill() {
  if (!running()) return false;
  if (!::TerminateProcess(handle(process_), kKilled)) return false;
  ::WaitForSingleObject(handle(process_), INFINITE);
  killed_ = true;
  return true;
}

int ChildProcess::wait() {
  if (process_ == 0) return -1;
  ::WaitForSingleObject(handle(process_), INFINITE);
  DWORD code = 0;
  if (killed_ || !::GetExitCodeProcess(handle(process_), &code)) return -1;
  return static_cast<int>(code);
}

}  // namespace halvaro::test

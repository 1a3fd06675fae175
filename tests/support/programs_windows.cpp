#include "tests/support/programs.h"

#include <windows.h>

#include "tests/support/wide_text_windows.h"

#include <array>
#include <string>
#include <utility>

namespace halvaro::test {

namespace {

struct Handle {
  HANDLE h = nullptr;
  ~Handle() {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
};

}  // namespace

CommandResult run_program(const std::string& program, const std::vector<std::string>& arguments,
                          ErrorOutput errors) {
  CommandResult result;
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  Handle read_end, write_end, null_device;
  if (!::CreatePipe(&read_end.h, &write_end.h, &inherited, 0)) return result;
  ::SetHandleInformation(read_end.h, HANDLE_FLAG_INHERIT, 0);
  null_device.h = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherited, OPEN_EXISTING, 0, nullptr);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null_device.h;
  startup.hStdOutput = write_end.h;
  startup.hStdError = errors == ErrorOutput::merged    ? write_end.h
                      : errors == ErrorOutput::dropped ? null_device.h
                                                       : ::GetStdHandle(STD_ERROR_HANDLE);

  std::wstring line = windows::command_line(program, arguments);
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
  ::CloseHandle(write_end.h);
  write_end.h = nullptr;
  if (!started) {
    // Said in the result, so that a test's failure tells why the program never ran.
    result.out = "could not start " + program + ": Windows error " + std::to_string(::GetLastError());
    return result;
  }
  Handle process_handle{process.hProcess}, thread_handle{process.hThread};

  std::array<char, 65536> buffer{};
  DWORD n = 0;
  while (::ReadFile(read_end.h, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr) && n > 0)
    result.out.append(buffer.data(), n);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  if (::GetExitCodeProcess(process.hProcess, &code)) result.status = static_cast<int>(code);
  // The C runtime writes a line's end as CR LF on Windows' standard output; the tests
  // compare lines as the program meant them.
  std::string lines;
  lines.reserve(result.out.size());
  for (size_t i = 0; i < result.out.size(); ++i)
    if (!(result.out[i] == '\r' && i + 1 < result.out.size() && result.out[i + 1] == '\n')) lines += result.out[i];
  result.out = std::move(lines);
  return result;
}

bool mdbtools_available() { return false; }

}  // namespace halvaro::test

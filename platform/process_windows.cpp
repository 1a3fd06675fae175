#include "platform/process.h"

#include <malloc.h>

#include <csignal>

#include "platform/windows_support.h"

namespace halvaro::platform {

uint64_t process_id() { return ::GetCurrentProcessId(); }

bool process_runs(uint64_t id) {
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
  // A process id that names no process is an invalid parameter; any other refusal
  // (access denied) is a process that runs.
  if (!process) return ::GetLastError() != ERROR_INVALID_PARAMETER;
  DWORD code = 0;
  const bool running = ::GetExitCodeProcess(process, &code) == 0 || code == STILL_ACTIVE;
  ::CloseHandle(process);
  return running;
}

// Windows' heap needs no setting, and no signal ends a process past a file-size limit.
void apply_process_settings() {}

void trim_memory() { ::_heapmin(); }

const char* stop_signal_name(int signal_number) {
  switch (signal_number) {
    case SIGINT: return "Ctrl-C";
    case SIGBREAK: return "Ctrl-Break";
    case SIGTERM: return "closing the console";
    default: return nullptr;
  }
}

}  // namespace halvaro::platform

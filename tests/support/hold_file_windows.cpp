// hold_file PATH [read-write|read|none]
// Holds PATH open for writing, as another program (Access, the tax application) does,
// until its standard input ends: the tests' other program. The word names what others
// may do meanwhile (the share mode): read and write, as Access shares a database it has
// open (the default); read only; nothing. A missing file is created, as Access creates
// its lock file. Prints "holding" once the file is open; exits 1 when it cannot open it.

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

int main() {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 2 || argc > 3) {
    std::fputs("usage: hold_file PATH [read-write|read|none]\n", stderr);
    return 2;
  }
  const std::wstring share = argc == 3 ? argv[2] : L"read-write";
  DWORD mode = FILE_SHARE_READ | FILE_SHARE_WRITE;
  if (share == L"read") {
    mode = FILE_SHARE_READ;
  } else if (share == L"none") {
    mode = 0;
  } else if (share != L"read-write") {
    std::fputs("hold_file: the share mode is read-write, read or none\n", stderr);
    return 2;
  }
  HANDLE file = ::CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, mode, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "hold_file: cannot open the file (error %lu)\n", ::GetLastError());
    return 1;
  }
  std::fputs("holding\n", stdout);
  std::fflush(stdout);
  // Until the standard input ends (the test closes it, or ends).
  char buffer[256];
  DWORD n = 0;
  while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &n, nullptr) && n > 0) {
  }
  ::CloseHandle(file);
  ::LocalFree(argv);
  return 0;
}

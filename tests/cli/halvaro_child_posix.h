#pragma once
// The built halvaro started in a child process that the test can signal, limit or wait
// for (POSIX: fork, exec, waitpid).

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/fixtures.h"

namespace halvaro::test {

// Starts `halvaro ARGUMENTS...` with its standard output and error going to the file
// `output` (/dev/null when empty); `in_child` runs in the child first (limits,
// environment). Returns the child's pid, or -1.
inline pid_t start_halvaro(const std::vector<std::string>& arguments, const std::filesystem::path& output,
                           const std::function<void()>& in_child = {}) {
  const std::string binary = halvaro_binary();
  const std::string output_name = output.empty() ? std::string("/dev/null") : output.string();
  std::vector<char*> argv{const_cast<char*>("halvaro")};
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    const int out = ::open(output_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    if (in_child) in_child();
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  return child;
}

// Waits for the child to end and returns waitpid's status.
inline int wait_for(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace halvaro::test

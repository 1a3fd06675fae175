#include "tests/support/programs.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

extern char** environ;

namespace halvaro::test {

CommandResult run_program(const std::string& program, const std::vector<std::string>& arguments,
                          ErrorOutput errors) {
  CommandResult result;
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return result;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  if (errors == ErrorOutput::merged) posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
  if (errors == ErrorOutput::dropped)
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  pid_t child = 0;
  const int spawned = ::posix_spawnp(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(out[0]);
    // Said in the result, so that a test's failure tells why the program never ran.
    result.out = "could not start " + program + ": " + std::strerror(spawned);
    return result;
  }
  std::array<char, 65536> buffer{};
  for (;;) {
    const ssize_t n = ::read(out[0], buffer.data(), buffer.size());
    if (n > 0) {
      result.out.append(buffer.data(), static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(out[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // A program that exec could not start exits 127 from the spawned child.
  result.status = WIFEXITED(status) && WEXITSTATUS(status) != 127 ? WEXITSTATUS(status) : -1;
  return result;
}

bool mdbtools_available() {
  static const bool available = run_program("mdb-ver", {"--help"}, ErrorOutput::dropped).status >= 0;
  return available;
}

}  // namespace halvaro::test

#pragma once
// A program a test starts and keeps running beside it, to stop it when it chooses: a
// writer ended in the middle of its work, or a program that holds a file open until
// told to let go. (run_program in programs.h waits for the program to end.) Built for
// Windows (child_process_windows.cpp), whose own tests use it; POSIX tests fork.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace halvaro::test {

class ChildProcess {
 public:
  // Starts `program` with `arguments`, without a shell between. Its standard input is a
  // pipe the object writes to; its standard output and error go to the file `output`
  // (created or emptied) or, when `output` is empty, to a pipe read by read_line().
  // Not running() when the program could not be started.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& output = {});
  // Ends the program if it still runs, and waits for it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const;
  // Whether the program has not ended yet.
  bool running() const;
  // The next line the program wrote on its output pipe, without its end; empty once the
  // pipe is closed.
  std::string read_line();
  // Closes the program's standard input: it reads the end of its input.
  void close_input();
  // Ends the program at once, wherever it is, as the system ends a process it kills
  // (TerminateProcess), and waits until it is gone and its files are closed. False when
  // it had already ended.
  bool kill();
  // Waits for the program to end; its exit status (-1 when it was killed).
  int wait();

 private:
  intptr_t process_ = 0;
  intptr_t input_ = 0;
  intptr_t output_ = 0;
  std::string pending_;
  bool killed_ = false;
};

}  // namespace halvaro::test

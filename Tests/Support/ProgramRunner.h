#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace Testing {

// Runs a program as scripts run it: its standard output and standard error go to files of a
// directory, named after each run ("NAME.stdout", "NAME.stderr"), and it inherits the test's
// environment as it is at the start.
class ProgramRunner {
 public:
  ProgramRunner(std::string program_, std::filesystem::path directory_);

  // Starts the program with the arguments (without the program itself); -1 when it could not
  // be started.
  pid_t Start(std::vector<std::string> arguments, const std::string& name) const;
  // Waits for a started program; its exit status, or -1 when it was not started or did not
  // exit normally.
  static int Wait(pid_t pid);

  // What the run of that name has written to each stream so far.
  std::string Output(const std::string& name) const;
  std::string Errors(const std::string& name) const;

 private:
  std::string program;
  std::filesystem::path directory;
};

}  // namespace Testing

#include "Tests/Support/ProgramRunner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "Tests/Support/ReadFile.h"

extern char** environ;

namespace Testing {

ProgramRunner::ProgramRunner(std::string program_, std::filesystem::path directory_)
    : program(std::move(program_)), directory(std::move(directory_)) {}

pid_t ProgramRunner::Start(std::vector<std::string> arguments, const std::string& name) const {
  const std::string outputPath = (directory / (name + ".stdout")).string();
  const std::string errorsPath = (directory / (name + ".stderr")).string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorsPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  arguments.insert(arguments.begin(), program);
  std::vector<char*> argv;
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 ? pid : -1;
}

int ProgramRunner::Wait(pid_t pid) {
  if (pid == -1) {
    return -1;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) == -1) {
    if (errno != EINTR) {
      return -1;
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ProgramRunner::Output(const std::string& name) const {
  return ReadFile(directory / (name + ".stdout"));
}

std::string ProgramRunner::Errors(const std::string& name) const {
  return ReadFile(directory / (name + ".stderr"));
}

}  // namespace Testing

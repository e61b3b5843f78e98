#include "app/engine/backup/external_program.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "app/engine/backup/command_program.h"
#include "app/engine/log.h"

extern char** environ;

namespace {

// Spawns argv with every descriptor above standard error closed; returns the pid or -1.
pid_t Spawn(const char* const argv[], int& error) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = -1;
  error = posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? pid : -1;
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

}  // namespace

bool RunProgram(std::string_view commandLine, bool wait) {
  const std::string cmd(commandLine);
  // Without waiting, an outer shell starts the program in the background and ends at once, so
  // the program is re-parented and never left as a zombie of ours.
  const char* const waited[] = {"sh", "-c", cmd.c_str(), nullptr};
  const char* const detached[] = {"sh", "-c", "/bin/sh -c \"$1\"&", "sh", cmd.c_str(), nullptr};
  const std::string failed = "Create Process " + cmd + " failed.";
  // A program left to run on its own is not waited for, so its start is checked first.
  if (!wait && !CommandProgramRunnable(cmd)) {
    LogDebug(failed);
    return false;
  }
  int error = 0;
  const pid_t pid = Spawn(wait ? waited : detached, error);
  if (pid < 0) {
    LogDebug(failed);
    LogError("Cannot start /bin/sh: " + std::string(std::strerror(error)));
    return false;
  }
  const int status = WaitFor(pid);
  if (!wait) return true;
  if (status >= 0 && WIFEXITED(status)) {
    const int code = WEXITSTATUS(status);
    LogStatus("Program " + cmd + " ended with exit code " + std::to_string(code));
    // The shell's own codes for a program it could not find (127) or not run (126).
    if (code == 126 || code == 127) {
      LogDebug(failed);
      return false;
    }
  } else if (status >= 0 && WIFSIGNALED(status)) {
    LogStatus("Program " + cmd + " ended by signal " + std::to_string(WTERMSIG(status)));
  }
  return true;
}

std::string ReplaceToken(std::string_view text, std::string_view token,
                         std::string_view replacement) {
  if (token.empty()) return std::string(text);
  std::string out;
  size_t from = 0;
  for (size_t at; (at = text.find(token, from)) != std::string_view::npos;
       from = at + token.size()) {
    out.append(text.substr(from, at - from));
    out.append(replacement);
  }
  out.append(text.substr(from));
  return out;
}

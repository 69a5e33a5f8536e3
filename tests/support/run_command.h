// Test helper: a shell command line run as a user types it, its output kept.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "tests/support/temp_env.h"

namespace trovex::test {

struct CommandResult {
  int exit = -1;  // -1 when it did not exit normally
  std::string out, err;
};

// Runs `command` with sh in `dir`; its standard output and error go through files there.
inline CommandResult RunCommand(const std::string& command, const std::string& dir) {
  const std::string out = dir + "/.command.out", err = dir + "/.command.err";
  const int status = std::system(("cd '" + dir + "' && { " + command + "; } >'" + out + "' 2>'" + err + "'").c_str());
  CommandResult result;
  result.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadFile(out);
  result.err = ReadFile(err);
  return result;
}

}  // namespace trovex::test

// Test helper: Debian's wget, run quietly, as the crawler that writes the archives read here.
#pragma once

#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

extern char** environ;

namespace trovex::test {

// wget's exit status (8 when a server answered an error); -1 when it cannot run.
inline int RunWget(std::vector<std::string> args) {
  args.insert(args.begin(), {"wget", "-q", "--tries=1", "--timeout=20", "-O", "/dev/null"});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "wget", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace trovex::test

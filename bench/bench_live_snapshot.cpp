// The live reading of the 10,000-movie page (trovex-browser --list --live: the view loads the
// page and its 100 frames, the collector snapshots them, the walker reads the snapshot) next to
// the static load (--list). A one-movie page gives the window's start-up cost, which is taken
// off the live time. Needs a display; run: bench_live_snapshot PATH-TO-trovex-browser
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_site.h"
#include "tests/support/loopback_server.h"

extern char** environ;

namespace {

// Wall time of one run in seconds, and the number of output lines; -1 when it failed.
double Run(const std::string& exe, const std::vector<std::string>& args, int* lines) {
  std::vector<std::string> all{exe};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  int fds[2];
  if (pipe(fds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  *lines = 0;
  char buffer[65536];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) *lines += static_cast<int>(std::count(buffer, buffer + n, '\n'));
  close(fds[0]);
  int status = 0;
  if (rc != 0 || waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(const std::string& exe, const std::vector<std::string>& args, int* lines) {
  std::vector<double> times;
  for (int i = 0; i < 3; ++i) times.push_back(Run(exe, args, lines));
  std::sort(times.begin(), times.end());
  return times[1];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_live_snapshot PATH-TO-trovex-browser\n");
    return 2;
  }
  const std::string exe = argv[1];
  trovex::test::LoopbackServer server;
  trovex::bench::Site site = trovex::bench::MakeSite();
  for (const auto& [path, html] : site.pages) server.Page("/" + path, html);
  server.Page("/one.html", "<embed src='one.swf'>");
  const std::string top = server.Url("/index.html");
  int lines = 0, liveLines = 0;
  double statics = Median(exe, {"--list", top}, &lines);
  double live = Median(exe, {"--list", "--live", top}, &liveLines);
  int oneLines = 0;
  double startup = Median(exe, {"--list", "--live", server.Url("/one.html")}, &oneLines);
  std::printf("movies: static %d, live %d (site has %d)\n", lines, liveLines, site.movies);
  std::printf("static load + scan:        %.2f s\n", statics);
  std::printf("live, whole process:       %.2f s\n", live);
  std::printf("live start-up (1 movie):   %.2f s\n", startup);
  std::printf("live minus start-up:       %.2f s = %.2fx the static load\n", live - startup,
              (live - startup) / statics);
  return statics < 0 || live < 0 ? 1 : 0;
}

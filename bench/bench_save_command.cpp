// trovex-save on the 10,000-movie page (100 nested frames) served from 127.0.0.1, against wget
// fetching the same movie addresses from the same server. Prints the times and their ratio.
// The page load and scan alone are timed with trovex-browser --list.
// Usage: bench_save_command [MOVIE_BYTES]   (default 4096; wget must be on the PATH)
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_site.h"
#include "tests/support/loopback_server.h"

namespace {

namespace fs = std::filesystem;

double TimeCommand(const std::string& command, int* exitCode) {
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::size_t CountFiles(const fs::path& dir) {
  std::size_t n = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (entry.is_regular_file()) ++n;
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t movieBytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 4096;
  const fs::path root = fs::temp_directory_path() / ("bench_save_command." + std::to_string(getpid()));
  fs::create_directories(root);
  // Settings and cache of the run's own.
  setenv("HOME", root.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
  setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);

  const trovex::bench::Site site = trovex::bench::MakeSite();
  trovex::test::LoopbackServer server;
  for (const auto& [path, html] : site.pages) server.Page("/" + path, html);
  const std::string body = "FWS" + std::string(movieBytes > 3 ? movieBytes - 3 : 0, 'x');
  server.SetFallback([&body](const std::string& path) -> std::optional<trovex::test::HttpAnswer> {
    if (path.rfind("/movies/", 0) != 0) return std::nullopt;
    return trovex::test::HttpAnswer{200, "application/x-shockwave-flash", body, ""};
  });

  const std::string page = server.Url("/index.html");
  const fs::path saveDir = root / "trovex", wgetDir = root / "wget";
  int saveExit = 0, wgetExit = 0;
  const double saveSeconds =
      TimeCommand(std::string(TROVEX_SAVE_EXE) + " --json --conflict overwrite --dir " + saveDir.string() +
                      " " + page + " >" + (root / "save.jsonl").string() + " 2>" + (root / "save.err").string(),
                  &saveExit);
  // The same addresses, as trovex-save reported them, one a line.
  {
    std::ifstream in(root / "save.jsonl");
    std::ofstream out(root / "urls.txt");
    std::string line;
    const std::string key = "\"address\":\"";
    while (std::getline(in, line)) {
      const std::size_t at = line.find(key);
      if (at == std::string::npos) continue;
      const std::size_t start = at + key.size();
      out << line.substr(start, line.find('"', start) - start) << '\n';
    }
  }
  const double wgetSeconds = TimeCommand("wget -q -i " + (root / "urls.txt").string() + " -P " +
                                             wgetDir.string(), &wgetExit);
  // The part that is not downloading: loading the page and its frames and scanning them.
  int listExit = 0;
  const double listSeconds = TimeCommand(std::string(TROVEX_BROWSER_EXE) + " --list " + page + " >/dev/null", &listExit);
  const std::size_t saved = fs::exists(saveDir) ? CountFiles(saveDir) : 0;
  const std::size_t fetched = fs::exists(wgetDir) ? CountFiles(wgetDir) : 0;

  std::printf("movies on the page: %d, %zu bytes each\n", site.movies, movieBytes);
  std::printf("trovex-save (load, scan, save): %.2f s, exit %d, %zu files\n", saveSeconds, saveExit, saved);
  std::printf("wget -i (the same addresses):   %.2f s, exit %d, %zu files\n", wgetSeconds, wgetExit, fetched);
  std::printf("of which load and scan (trovex-browser --list): %.2f s, exit %d\n", listSeconds, listExit);
  std::printf("ratio trovex-save / wget: %.2f\n", wgetSeconds > 0 ? saveSeconds / wgetSeconds : 0.0);
  fs::remove_all(root);
  return saveExit == 0 && wgetExit == 0 && saved == fetched ? 0 : 1;
}

// Caching the movies of a large page: N entries (10,000 unless given) of 2 KB each are added to
// a URL cache in a fresh temporary folder, once one by one (each entry synced by itself) and
// once in write groups as the page loader adds them (synced together, once per page), then
// each is looked up once, as the scanner does. The anchor: the same N files written plainly
// into one folder and synced once. Prints entries per second and the ratios; the goal is
// 10,000 grouped entries a second or more. The folders are removed afterwards.
//   bench_urlcache [N] [FOLDER]   FOLDER: where to make the temporary caches (default /tmp)
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/inet/inet.h"

namespace {

using namespace trovex;

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

std::string UrlOf(int i) {
  return "http://bench.example/frame" + std::to_string(i / 100) + "/movie" + std::to_string(i) + ".swf";
}

struct Run {
  double add = 0, lookup = 0;
  int failed = 0, found = 0;
};

// Adds `count` entries to a cache under a new folder below `base`; grouped: in write groups
// of one page (100 movies, as a frame of the generated page holds).
std::optional<Run> CacheRun(const std::string& base, int count, bool grouped) {
  std::string folder = base + "/bench-urlcache-XXXXXX";
  if (!::mkdtemp(folder.data())) return std::nullopt;
  ::setenv("XDG_CACHE_HOME", folder.c_str(), 1);
  const std::string movie(2048, 'F');
  Run run;
  auto start = std::chrono::steady_clock::now();
  std::optional<UrlCacheWriteGroup> group;
  for (int i = 0; i < count; ++i) {
    if (grouped && i % 100 == 0) {
      if (group && !group->Commit()) ++run.failed;
      group.emplace();
    }
    if (!AddUrlCacheEntry(UrlOf(i), movie.data(), movie.size(), nullptr)) ++run.failed;
  }
  if (group && !group->Commit()) ++run.failed;
  group.reset();
  run.add = Seconds(std::chrono::steady_clock::now() - start);

  start = std::chrono::steady_clock::now();
  {
    UrlCacheLookupScope scope;
    for (int i = 0; i < count; ++i) {
      DWORD size = 0;
      if (!GetUrlCacheEntryInfoA(UrlOf(i).c_str(), nullptr, &size) && GetLastError() == ERROR_INSUFFICIENT_BUFFER)
        ++run.found;
    }
  }
  run.lookup = Seconds(std::chrono::steady_clock::now() - start);
  std::filesystem::remove_all(folder);
  return run;
}

// The same bytes as plain files in one folder, synced once: what no cache can beat.
std::optional<double> PlainFiles(const std::string& base, int count) {
  std::string folder = base + "/bench-plain-XXXXXX";
  if (!::mkdtemp(folder.data())) return std::nullopt;
  const std::string movie(2048, 'F');
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    int fd = ::open((folder + "/m" + std::to_string(i) + ".swf").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0 || ::write(fd, movie.data(), movie.size()) != static_cast<ssize_t>(movie.size())) return std::nullopt;
    ::close(fd);
  }
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  ::syncfs(dir);
  ::close(dir);
  double seconds = Seconds(std::chrono::steady_clock::now() - start);
  std::filesystem::remove_all(folder);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  std::string base = argc > 2 ? argv[2] : "/tmp";
  if (count <= 0) return 2;
  std::optional<Run> single = CacheRun(base, count, false);
  std::optional<Run> grouped = CacheRun(base, count, true);
  std::optional<double> plain = PlainFiles(base, count);
  if (!single || !grouped || !plain) {
    std::perror("bench_urlcache");
    return 1;
  }
  for (const auto& [name, run] : {std::pair{"one by one", *single}, std::pair{"grouped", *grouped}})
    std::printf("%-10s entries %d (failed %d): add %.2f s (%.0f per second), look up %.3f s, found %d\n", name,
                count, run.failed, run.add, count / run.add, run.lookup, run.found);
  std::printf("plain files, one sync: %.2f s (%.0f per second)\n", *plain, count / *plain);
  std::printf("grouped / plain files = %.2f (time)\n", grouped->add / *plain);
  std::printf("grouped per second / goal 10,000 = %.2f\n", count / grouped->add / 10000.0);
  bool ok = single->failed == 0 && grouped->failed == 0 && single->found == count && grouped->found == count;
  return ok ? 0 : 1;
}

// Caching the movies of a page: for each page size N (1,000, 10,000 and 100,000 unless given),
// N entries of 2 KB each are added to a URL cache in a fresh temporary folder:
//   one by one   each entry synced by itself (no write group);
//   per frame    in write groups of 100 movies (a frame of the generated page);
//   per page     in one write group, as the page loader adds them (synced in bounded batches);
// then each is looked up once, as the scanner does. The anchor: the same N files written plainly
// into one folder and synced once. Prints entries per second, microseconds an entry (the same
// for every N when the cost is linear) and the time against the anchor; the goal is 10,000
// grouped entries a second or more. One by one is slow (a sync an entry), so it runs only up
// to --one-by-one-up-to entries (10,000 unless given). The load average at the start is
// printed, for telling a busy machine's figures from a quiet one's. The folders are removed at
// the end.
//   bench_urlcache [N...] [--one-by-one-up-to N] [--folder FOLDER]   (FOLDER default /tmp)
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
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

// Removed only at the end. ext4 without a journal skips every inode freed in the last minute
// when it makes a file, one by one: removing a run's files before the next run made the next
// run's creations up to ten times slower, a cost of the benchmark, not of the cache.
std::vector<std::string> g_folders;

struct Run {
  double add = 0, lookup = 0;
  int failed = 0, found = 0;
};

// Adds `count` entries to a cache under a new folder below `base`, in write groups of
// `perGroup` entries (0: no group).
std::optional<Run> CacheRun(const std::string& base, int count, int perGroup) {
  std::string folder = base + "/bench-urlcache-XXXXXX";
  if (!::mkdtemp(folder.data())) return std::nullopt;
  ::setenv("XDG_CACHE_HOME", folder.c_str(), 1);
  const std::string movie(2048, 'F');
  Run run;
  auto start = std::chrono::steady_clock::now();
  std::optional<UrlCacheWriteGroup> group;
  for (int i = 0; i < count; ++i) {
    if (perGroup > 0 && i % perGroup == 0) {
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
  g_folders.push_back(folder);
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
  g_folders.push_back(folder);
  return seconds;
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each row as soon as it is measured
  std::vector<int> sizes;
  int oneByOneUpTo = 10000;
  std::string base = "/tmp";
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--one-by-one-up-to") && i + 1 < argc) {
      oneByOneUpTo = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--folder") && i + 1 < argc) {
      base = argv[++i];
    } else if (std::atoi(argv[i]) > 0) {
      sizes.push_back(std::atoi(argv[i]));
    } else {
      std::fprintf(stderr, "usage: bench_urlcache [N...] [--one-by-one-up-to N] [--folder FOLDER]\n");
      return 2;
    }
  }
  if (sizes.empty()) sizes = {1000, 10000, 100000};
  std::printf("load average at the start: %s\n", LoadAverage().c_str());
  std::printf("%8s  %-12s %10s %8s %9s %9s  %s\n", "N", "mode", "entries/s", "us/entry", "add s",
              "lookup s", "add / plain files");
  bool ok = true;
  for (int count : sizes) {
    std::optional<double> plain = PlainFiles(base, count);
    if (!plain) {
      std::perror("bench_urlcache");
      return 1;
    }
    struct Mode {
      const char* name;
      int perGroup;
    } modes[] = {{"one by one", 0}, {"per frame", 100}, {"per page", count}};
    for (const Mode& mode : modes) {
      if (mode.perGroup == 0 && count > oneByOneUpTo) continue;
      std::optional<Run> run = CacheRun(base, count, mode.perGroup);
      if (!run) {
        std::perror("bench_urlcache");
        return 1;
      }
      std::printf("%8d  %-12s %10.0f %8.1f %9.2f %9.3f  %.2f\n", count, mode.name, count / run->add,
                  run->add * 1e6 / count, run->add, run->lookup, run->add / *plain);
      if (run->failed || run->found != count) {
        std::printf("          %d failed, %d of %d found\n", run->failed, run->found, count);
        ok = false;
      }
    }
    std::printf("%8d  %-12s %10.0f %8.1f %9.2f\n", count, "plain files", count / *plain,
                *plain * 1e6 / count, *plain);
  }
  for (const std::string& folder : g_folders) std::filesystem::remove_all(folder);
  return ok ? 0 : 1;
}

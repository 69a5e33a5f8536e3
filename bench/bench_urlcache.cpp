// Caching the movies of a large page: N entries (10,000 unless given) of 2 KB each are added to
// a URL cache in a fresh temporary folder, then each is looked up once, as the scanner does.
// Prints the times; the folder is removed afterwards.
//   bench_urlcache [N] [FOLDER]   FOLDER: where to make the temporary cache (default /tmp)
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/inet/inet.h"

namespace {

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace trovex;
  const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  std::string base = argc > 2 ? argv[2] : "/tmp";
  std::string folder = base + "/bench-urlcache-XXXXXX";
  if (!::mkdtemp(folder.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  ::setenv("XDG_CACHE_HOME", folder.c_str(), 1);
  const std::string movie(2048, 'F');

  auto start = std::chrono::steady_clock::now();
  int failed = 0;
  for (int i = 0; i < count; ++i) {
    std::string url = "http://bench.example/frame" + std::to_string(i / 100) + "/movie" +
                      std::to_string(i) + ".swf";
    if (!AddUrlCacheEntry(url, movie.data(), movie.size(), nullptr)) ++failed;
  }
  double add = Seconds(std::chrono::steady_clock::now() - start);

  start = std::chrono::steady_clock::now();
  int found = 0;
  for (int i = 0; i < count; ++i) {
    std::string url = "http://bench.example/frame" + std::to_string(i / 100) + "/movie" +
                      std::to_string(i) + ".swf";
    DWORD size = 0;
    if (!GetUrlCacheEntryInfoA(url.c_str(), nullptr, &size) &&
        GetLastError() == ERROR_INSUFFICIENT_BUFFER)
      ++found;
  }
  double lookup = Seconds(std::chrono::steady_clock::now() - start);

  std::printf("entries %d (failed %d): add %.2f s (%.0f per second), look up %.3f s, found %d\n",
              count, failed, add, count / add, lookup, found);
  std::filesystem::remove_all(folder);
  return failed == 0 && found == count ? 0 : 1;
}

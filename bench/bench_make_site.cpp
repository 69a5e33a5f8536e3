// Writes the generated benchmark site (bench_site.h) into a folder, for whole-command
// benchmarks such as bench_cli.py.
//   bench_make_site MOVIES FOLDER   MOVIES: 100 frames of MOVIES/100 each
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "bench/bench_site.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_make_site MOVIES FOLDER\n");
    return 2;
  }
  trovex::bench::Site site = trovex::bench::MakeSite(std::max(1, std::atoi(argv[1]) / 100));
  if (!trovex::bench::WriteSite(site, argv[2])) {
    std::perror(argv[2]);
    return 1;
  }
  std::printf("%d\n", site.movies);
  return 0;
}

// The scan of a large page next to loading and parsing it: 10,000 movies (--movies=N) spread
// over 100 nested frames (10 frames, each holding 9 iframes), served from 127.0.0.1 and read
// from disk. Prints scan / load+parse for both; the goal is 0.25 or less. From disk it also
// prints the stat floor: one stat per local movie and nothing else, which a scan keeps.
//   bench_browser_scan [--movies=N] [--site=DIR] [benchmark flags]
//     --site=DIR  the from-disk runs read the site bench_make_site wrote into DIR (writing 10,000
//                 small files costs far more than the runs themselves on some file systems)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_site.h"
#include "pageloader/loader.h"
#include "pageloader/url.h"
#include "scan/document_walker.h"
#include "tests/support/loopback_server.h"

namespace {

using namespace trovex;
namespace fs = std::filesystem;

using bench::kMoviesPerFrame;
using bench::MakeSite;
using bench::Site;

struct Fixture {
  std::string root;  // temporary folder: the site on disk and the URL cache
  std::string fileUrl;
  std::unique_ptr<test::LoopbackServer> server;
  std::string httpUrl;
};
Fixture* g_fixture = nullptr;

void Load(benchmark::State& state, const std::string& url) {
  for (auto _ : state) {
    std::string error;
    auto browser = browser::LoadPage(url, {}, &error);
    if (!browser) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(browser.Get());
  }
}

void Scan(benchmark::State& state, const std::string& url) {
  std::string error;
  auto browser = browser::LoadPage(url, {}, &error);
  if (!browser) {
    state.SkipWithError(error.c_str());
    return;
  }
  auto document = browser::DocumentOf(browser.Get());
  std::size_t found = 0;
  for (auto _ : state) {
    SWFFileList list;
    ScanDocument(document.Get(), list);
    found = list.GetCount();
  }
  state.counters["movies"] = static_cast<double>(found);
}

// The floor a scan from disk cannot go below: one stat per local movie, relative to its folder
// kept open, and nothing else.
void StatFloor(benchmark::State& state, const std::string& url) {
  std::string error;
  auto browser = browser::LoadPage(url, {}, &error);
  if (!browser) {
    state.SkipWithError(error.c_str());
    return;
  }
  SWFFileList list;
  ScanDocument(browser::DocumentOf(browser.Get()).Get(), list);
  std::map<std::string, int> folders;
  std::vector<std::pair<int, std::string>> movies;
  for (const auto& [key, info] : list) {
    std::size_t slash = info.strLocalFile.rfind('/');
    if (slash == std::string::npos) continue;
    auto [at, added] = folders.try_emplace(info.strLocalFile.substr(0, slash), -1);
    if (added) at->second = ::open(at->first.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    movies.emplace_back(at->second, info.strLocalFile.substr(slash + 1));
  }
  for (auto _ : state) {
    for (const auto& [folder, name] : movies) {
      struct stat st;
      benchmark::DoNotOptimize(::fstatat(folder, name.c_str(), &st, 0));
    }
  }
  for (const auto& [path, fd] : folders)
    if (fd >= 0) ::close(fd);
  state.counters["movies"] = static_cast<double>(movies.size());
}

void BM_LoadParse_Http(benchmark::State& s) { Load(s, g_fixture->httpUrl); }
void BM_Scan_Http(benchmark::State& s) { Scan(s, g_fixture->httpUrl); }
void BM_LoadParse_File(benchmark::State& s) { Load(s, g_fixture->fileUrl); }
void BM_Scan_File(benchmark::State& s) { Scan(s, g_fixture->fileUrl); }
void BM_StatFloor_File(benchmark::State& s) { StatFloor(s, g_fixture->fileUrl); }
BENCHMARK(BM_LoadParse_Http)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Scan_Http)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadParse_File)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Scan_File)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_StatFloor_File)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Prints the usual table, then the scan / load ratios by wall and by CPU time (the latter holds
// better on a busy machine), and the share of the load that the stat floor alone takes.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      // With --benchmark_repetitions the ratios are of the medians.
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
      wall_[r.run_name.function_name] = r.GetAdjustedRealTime();
      cpu_[r.run_name.function_name] = r.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const char* kind : {"Http", "File"}) {
      for (const char* part : {"Scan", "StatFloor"}) {
        const std::string load = std::string("BM_LoadParse_") + kind, name = std::string("BM_") + part + "_" + kind;
        if (wall_[load] > 0 && wall_[name] > 0)
          std::printf("%s: %s / load+parse = %.3f by wall time, %.3f by CPU time\n", kind,
                      part == std::string("Scan") ? "scan" : "stat floor", wall_[name] / wall_[load],
                      cpu_[name] / cpu_[load]);
      }
    }
  }

 private:
  std::map<std::string, double> wall_, cpu_;
};

}  // namespace

int main(int argc, char** argv) {
  // --movies=N: the page's size (100 frames of N/100 movies each); 10,000 unless given.
  int moviesPerFrame = kMoviesPerFrame;
  std::string siteFolder;
  for (int i = 1; i < argc;) {
    if (std::strncmp(argv[i], "--movies=", 9) == 0)
      moviesPerFrame = std::max(1, std::atoi(argv[i] + 9) / 100);
    else if (std::strncmp(argv[i], "--site=", 7) == 0)
      siteFolder = fs::absolute(argv[i] + 7).string();
    else {
      ++i;
      continue;
    }
    for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
    --argc;
  }
  std::string tmpl = (fs::temp_directory_path() / "trovex-bench-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) return 1;
  Fixture fixture;
  fixture.root = tmpl;
  // The URL cache goes to the temporary folder, not to the user's.
  setenv("XDG_CACHE_HOME", (fixture.root + "/cache").c_str(), 1);
  Site site = MakeSite(moviesPerFrame);
  fixture.server = std::make_unique<test::LoopbackServer>();
  for (const auto& [path, html] : site.pages) fixture.server->Page("/" + path, html);
  if (siteFolder.empty()) {
    siteFolder = fixture.root + "/site";
    if (!bench::WriteSite(site, siteFolder)) {
      std::fprintf(stderr, "cannot write the site under %s\n", fixture.root.c_str());
      return 1;
    }
  } else if (!fs::exists(siteFolder + "/movies/f0_" + std::to_string(moviesPerFrame - 1) + ".swf") ||
             fs::exists(siteFolder + "/movies/f0_" + std::to_string(moviesPerFrame) + ".swf")) {
    std::fprintf(stderr, "%s does not hold the generated site of that size\n", siteFolder.c_str());
    return 1;
  }
  fixture.fileUrl = browser::FilePathToUrl(siteFolder + "/index.html");
  fixture.httpUrl = fixture.server->Url("/index.html");
  g_fixture = &fixture;
  std::printf("site: %zu pages, %d movies\n", site.pages.size(), site.movies);

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak memory (max RSS): %.1f MB\n", usage.ru_maxrss / 1024.0);
  fixture.server.reset();
  fs::remove_all(fixture.root);
  return 0;
}

// The scan of a large page next to loading and parsing it: 10,000 movies (--movies=N) spread
// over 100 nested frames (10 frames, each holding 9 iframes), served from 127.0.0.1 and read
// from disk. Prints scan / load+parse for both; the goal is 0.25 or less.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "bench/bench_site.h"
#include "browser/browser.h"
#include "browser/url.h"
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

void BM_LoadParse_Http(benchmark::State& s) { Load(s, g_fixture->httpUrl); }
void BM_Scan_Http(benchmark::State& s) { Scan(s, g_fixture->httpUrl); }
void BM_LoadParse_File(benchmark::State& s) { Load(s, g_fixture->fileUrl); }
void BM_Scan_File(benchmark::State& s) { Scan(s, g_fixture->fileUrl); }
BENCHMARK(BM_LoadParse_Http)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Scan_Http)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadParse_File)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Scan_File)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Prints the usual table, then the scan / load ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) times_[r.run_name.function_name] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const char* kind : {"Http", "File"}) {
      double load = times_[std::string("BM_LoadParse_") + kind];
      double scan = times_[std::string("BM_Scan_") + kind];
      if (load > 0) std::printf("%s: scan / load+parse = %.3f\n", kind, scan / load);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  // --movies=N: the page's size (100 frames of N/100 movies each); 10,000 unless given.
  int moviesPerFrame = kMoviesPerFrame;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--movies=", 9) != 0) continue;
    moviesPerFrame = std::max(1, std::atoi(argv[i] + 9) / 100);
    for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
    --argc;
    break;
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
  if (!bench::WriteSite(site, fixture.root + "/site")) {
    std::fprintf(stderr, "cannot write the site under %s\n", fixture.root.c_str());
    return 1;
  }
  fixture.fileUrl = browser::FilePathToUrl(fixture.root + "/site/index.html");
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

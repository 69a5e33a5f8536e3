// Reading movies for their facts and the files they name:
//   page       the 10,000 movies of the generated benchmark page (bench_site.h), each a small
//              movie of its own (ActionScript 2 or 3, plain / zlib / LZMA in turn) written into
//              a temporary folder, read from disk one after the other;
//   samples    the largest movie under samples/ (and any movie given on the command line),
//              read 1,000 times;
//   100 MB     one movie of 100 MB in each packing, read in a child process: its time and the
//              child's peak resident memory against a child that reads an empty file.
// The anchor is the same bytes read plainly from disk into a 64 KB buffer; each line prints
// the time against it. The folder is removed at the end.
//   bench_swf [MOVIE.swf...]
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_site.h"
#include "swf/swf_names.h"
#include "tests/support/swf_builder.h"

extern char** environ;

namespace {

using namespace trovex;
using namespace trovex::swf;
using namespace trovex::testing;
namespace fs = std::filesystem;

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

template <class F>
double Time(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return Seconds(std::chrono::steady_clock::now() - start);
}

bool Write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  return static_cast<bool>(out << bytes);
}

// The anchor: the file's bytes read and dropped.
std::size_t ReadPlainly(const std::string& path) {
  ByteSource source = FileSource(path);
  std::vector<char> buffer(64 * 1024);
  std::size_t total = 0;
  for (std::ptrdiff_t n; source && (n = source(buffer.data(), buffer.size())) > 0;) total += n;
  return total;
}

// Reads one movie the way the save run will; false when it did not read to its end.
bool ReadOne(const std::string& path, std::size_t* named) {
  const MovieNames names = FindNamedFiles(FileSource(path), "file://" + path);
  if (named) *named += names.files.size();
  return names.facts.ok();
}

std::string SmallMovie(int i) {
  const std::string level = "levels/" + std::to_string(i) + ".swf";
  const std::string tags =
      i % 2 ? SwfFileAttributes(true) + SwfTag(kTagDoAbc, std::string(4, '\0') + std::string(1, '\0') +
                                                              AbcWithStrings({"flash.display", level, "skin.png"}))
            : SwfTag(kTagDoAction, ActConstantPool({level, "_level1"}) + ActPushConstant(0) + ActPushConstant(1) +
                                       ActGetUrl2() + ActEnd());
  const SwfPacking packing = i % 3 == 0 ? SwfPacking::kPlain : i % 3 == 1 ? SwfPacking::kZlib : SwfPacking::kLzma;
  return SwfMovie({}, SwfTag(9, "\xFF\xFF\xFF") + tags + SwfTag(20, std::string(1500, char(i))), packing);
}

void BenchPage(const std::string& folder) {
  const bench::Site site = bench::MakeSite();
  std::vector<std::string> paths;
  fs::create_directories(folder + "/movies");
  for (const auto& [page, html] : site.pages) {
    if (page == "index.html") continue;
    const std::string name = page.substr(0, page.size() - 5);
    for (int i = 0; i < site.moviesPerFrame; ++i) {
      paths.push_back(folder + "/movies/" + name + "_" + std::to_string(i) + ".swf");
      if (!Write(paths.back(), SmallMovie(static_cast<int>(paths.size())))) return;
    }
  }
  std::size_t named = 0, failed = 0, bytes = 0;
  const double anchor = Time([&] {
    for (const std::string& p : paths) bytes += ReadPlainly(p);
  });
  const double read = Time([&] {
    for (const std::string& p : paths) failed += !ReadOne(p, &named);
  });
  std::printf("page      %zu movies (%zu bytes): %.3f s, %.1f us a movie, %zu named, %zu failed; anchor %.3f s, "
              "x%.1f\n",
              paths.size(), bytes, read, read * 1e6 / paths.size(), named, failed, anchor, read / anchor);
}

void BenchFile(const std::string& path, int times) {
  std::size_t named = 0;
  bool ok = true;
  const double anchor = Time([&] {
    for (int i = 0; i < times; ++i) ReadPlainly(path);
  });
  const double read = Time([&] {
    for (int i = 0; i < times; ++i) ok = ReadOne(path, i == 0 ? &named : nullptr) && ok;
  });
  std::printf("samples   %s (%ju bytes) x%d: %.1f us a read, %zu named, %s; anchor x%.1f\n", path.c_str(),
              static_cast<std::uintmax_t>(fs::file_size(path)), times, read * 1e6 / times, named,
              ok ? "read whole" : "NOT read whole", read / anchor);
}

struct Child {
  double seconds = 0;
  long peakKb = -1;
  int status = -1;
};

// This process's peak resident memory (the kernel's high-water mark of its own address space,
// which starts afresh at exec: a spawned child's usage would count what its parent held).
long OwnPeakKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

// Runs this program on one movie in a child; it prints its own peak.
Child RunChild(const char* self, const std::string& path) {
  Child child;
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return child;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  const char* argv[] = {self, "--read-one", path.c_str(), nullptr};
  pid_t pid;
  const auto start = std::chrono::steady_clock::now();
  const int spawned = posix_spawn(&pid, self, &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  std::string out;
  char buffer[256];
  for (ssize_t n; spawned == 0 && (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  ::close(pipeFds[0]);
  int status = 0;
  if (spawned != 0 || ::waitpid(pid, &status, 0) < 0) return child;
  child.seconds = Seconds(std::chrono::steady_clock::now() - start);
  child.peakKb = std::atol(out.c_str());
  child.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return child;
}

// 100 MB of tags: blocks of noisy bytes (6 bits of noise a byte: they compress a little, as
// real media does) with code tags among them.
std::string HundredMegabyteTags() {
  std::string tags;
  std::uint64_t x = 0x9E3779B97F4A7C15u;
  std::string block(256 * 1024, '\0');
  while (tags.size() < (100u << 20)) {
    for (char& c : block) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      c = static_cast<char>(x >> 58);
    }
    tags += SwfTag(19, block, true);
    tags += SwfTag(kTagDoAction, ActPush({"part" + std::to_string(tags.size()) + ".mp3"}) + ActEnd());
  }
  return tags;
}

const char* PackingName(SwfPacking packing) {
  return packing == SwfPacking::kPlain ? "plain" : packing == SwfPacking::kZlib ? "zlib" : "LZMA";
}

// The movies are all written before any child starts: a child's peak counts the memory this
// process held when it started the child.
void BenchLarge(const char* self, const std::string& folder) {
  const SwfPacking packings[] = {SwfPacking::kPlain, SwfPacking::kZlib, SwfPacking::kLzma};
  std::size_t uncompressed = 0;
  {
    const std::string tags = HundredMegabyteTags();
    for (SwfPacking packing : packings) {
      const std::string movie = SwfMovie({}, tags, packing);
      uncompressed = tags.size() + 20;
      if (!Write(folder + "/large-" + PackingName(packing) + ".swf", movie)) return;
    }
  }
  const std::string empty = folder + "/empty.swf";
  Write(empty, "");
  const Child base = RunChild(self, empty);
  std::printf("100 MB    a child reading an empty file: peak %ld KB\n", base.peakKb);
  for (SwfPacking packing : packings) {
    const std::string path = folder + "/large-" + PackingName(packing) + ".swf";
    const double anchor = Time([&] { ReadPlainly(path); });
    const Child c = RunChild(self, path);
    std::printf("100 MB    %-5s %ju bytes on disk, %zu uncompressed: %.2f s (exit %d), peak %ld KB (+%ld KB over "
                "the empty read); anchor x%.1f\n",
                PackingName(packing), static_cast<std::uintmax_t>(fs::file_size(path)), uncompressed, c.seconds,
                c.status, c.peakKb, c.peakKb - base.peakKb, c.seconds / anchor);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--read-one") {
    std::size_t named = 0;
    const bool ok = fs::file_size(argv[2]) == 0 ? ReadPlainly(argv[2]) == 0 : ReadOne(argv[2], &named) && named > 0;
    std::printf("%ld\n", OwnPeakKb());
    return ok ? 0 : 1;
  }
  char folderName[] = "/tmp/bench-swf-XXXXXX";
  if (!::mkdtemp(folderName)) return 2;
  const std::string folder = folderName;
  double load[1] = {0};
  getloadavg(load, 1);
  std::printf("load average %.2f\n", load[0]);
  BenchPage(folder);

  // The samples folder beside this program's source tree.
  std::vector<std::string> movies(argv + 1, argv + argc);
  const fs::path samples = fs::path(TROVEX_SOURCE_DIR) / "samples";
  std::string largest;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(samples, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->is_regular_file() && it->path().extension() == ".swf" &&
        (largest.empty() || it->file_size() > fs::file_size(largest)))
      largest = it->path().string();
  if (!largest.empty()) movies.insert(movies.begin(), largest);
  for (const std::string& m : movies) BenchFile(m, 1000);

  BenchLarge(argv[0], folder);
  fs::remove_all(folder, ec);
  return 0;
}

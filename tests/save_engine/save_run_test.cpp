// The save run's walk on real folders and a scripted server, with an observer that records
// what a dialog would show: statuses, sizes, failures, the first saved path, conflict policies,
// Pause, and targets that cannot be written.
#include "save_engine/save_run.h"

#include <signal.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/text/res_text.h"
#include "platform/text/system_message.h"
#include "platform/text/text.h"
#include "res/strings.h"
#include "tests/support/child_process.h"
#include "tests/support/http_server.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

namespace fs = std::filesystem;
using test::HttpConnection;
using test::HttpRequest;
using test::HttpResponseText;

constexpr unsigned kBusy = IDS_STATUS_DOWNLOADING, kFailed = IDS_STATUS_FAILED,
                   kDone = IDS_STATUS_DONE, kCancelled = IDS_STATUS_CANCELLED, kSkipped = 0;

unsigned StatusOf(RowOutcome outcome) {
  switch (outcome) {
    case RowOutcome::Saved: return kDone;
    case RowOutcome::Failed: return kFailed;
    case RowOutcome::Cancelled: return kCancelled;
    case RowOutcome::Skipped: break;
  }
  return kSkipped;
}

// What a copy failing with a system error number says.
std::string CopyFailure(const std::string& name, DWORD error) {
  return FormatResString(IDS_SAVE_FAILED, name.c_str(), SystemErrorText(error).c_str());
}

class Recorder : public SaveRunObserver {
 public:
  void OnRowStart(int nItem) override { started.push_back(nItem); }
  FileExistsAnswer AskFileExists(const std::string&, const std::string&) override { return {}; }
  void OnTransferStart(int nItem, const std::string& name) override {
    statuses[nItem].push_back(kBusy);
    texts.push_back(name);
  }
  void OnTransferStatus(int, const TransferStatus&) override {}
  void OnRowDone(int nItem, RowOutcome outcome, std::int64_t bytes, const std::string& error) override {
    statuses[nItem].push_back(StatusOf(outcome));
    if (outcome == RowOutcome::Saved) sizes[nItem] = bytes;
    if (!error.empty()) failures.push_back(error);
    EXPECT_EQ(error.empty(), outcome != RowOutcome::Failed);
  }
  std::unique_ptr<TransferWait> CreateTransferWait() override { return nullptr; }

  std::vector<int> started;
  std::map<int, std::vector<unsigned>> statuses;
  std::map<int, std::int64_t> sizes;
  std::vector<std::string> texts;
  std::vector<std::string> failures;
  std::atomic<SaveRun*> run{nullptr};  // the run under way, for a Pause from another thread
};

SWFFileInfo Movie(const std::string& url, const std::string& name, const std::string& local = {}) {
  SWFFileInfo info;
  info.strURL = url;
  info.strFileName = name;
  info.strLocalFile = local;
  return info;
}

std::vector<SaveRunItem> Items(std::vector<SWFFileInfo>& movies) {
  std::vector<SaveRunItem> items;
  for (std::size_t i = 0; i < movies.size(); ++i) items.push_back({static_cast<int>(i), &movies[i]});
  return items;
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class SaveRunTest : public testing::Test {
 protected:
  void SetUp() override {
    server_.Reply("/b.swf", 200, std::string(500, 'b'));
    server_.Reply("/chunked.swf", 200, "chunked", {"Transfer-Encoding: chunked"});
    cached_ = src_.WriteFile("cache/a[1].swf", "copied movie");
    fs::create_directories(out_);
  }
  test::TempDir src_;
  test::TestHttpServer server_;
  std::string cached_;
  std::string out_ = src_.str() + "/out";
};

TEST_F(SaveRunTest, CopiesAndDownloadsWithStatusesSizesAndTheFirstSavedPath) {
  std::vector<SWFFileInfo> movies = {Movie("http://h/a.swf", "a.swf", cached_),
                                     Movie(server_.Url("/b.swf"), "b.swf")};
  Recorder rec;
  SaveRun run(out_, CONFLICT_OVERWRITE, rec);
  run.Run(Items(movies));
  EXPECT_EQ(rec.started, (std::vector<int>{0, 1}));
  EXPECT_EQ(rec.statuses[0], (std::vector<unsigned>{kBusy, kDone}));
  EXPECT_EQ(rec.statuses[1], (std::vector<unsigned>{kBusy, kDone}));
  EXPECT_EQ(rec.texts, (std::vector<std::string>{"a.swf", "b.swf"}));
  EXPECT_EQ(rec.sizes, (std::map<int, std::int64_t>{{0, 12}, {1, 500}}));
  EXPECT_TRUE(rec.failures.empty());
  EXPECT_EQ(run.firstSaved(), out_ + "/a.swf");
  EXPECT_FALSE(run.stopped());
  EXPECT_TRUE(movies[1].bSaved);
  EXPECT_EQ(movies[1].strSavedPath, out_ + "/b.swf");
  EXPECT_EQ(test::ReadFile(out_ + "/a.swf"), "copied movie");
  EXPECT_EQ(test::ReadFile(out_ + "/b.swf"), std::string(500, 'b'));
}

// What a killed earlier run left in the folder (a stale temporary of ours) goes when a run
// starts there; a fresh one, which a live writer may still be starting, and other files stay.
TEST_F(SaveRunTest, ARunSweepsStaleTemporariesOfKilledRuns) {
  const std::string stale = src_.WriteFile("out/.b.swf.0123456789ab.part", "half");
  const std::string fresh = src_.WriteFile("out/.b.swf.0123456789ac.part", "half");
  const std::string other = src_.WriteFile("out/.notes.part", "mine");
  timespec old[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
  ::utimensat(AT_FDCWD, stale.c_str(), old, 0);
  std::vector<SWFFileInfo> movies = {Movie(server_.Url("/b.swf"), "b.swf")};
  Recorder rec;
  SaveRun run(out_, CONFLICT_OVERWRITE, rec);
  run.Run(Items(movies));
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(fresh));
  EXPECT_TRUE(fs::exists(other));
  EXPECT_EQ(test::ReadFile(out_ + "/b.swf"), std::string(500, 'b'));
}

TEST_F(SaveRunTest, ConflictPoliciesOnRealFolders) {
  struct Case {
    const char* name;
    int policy;
    std::map<std::string, std::string> files;  // the folder afterwards
    std::vector<unsigned> status;              // of each row
    std::string firstSaved;
  } cases[] = {
      {"rename", CONFLICT_AUTO_RENAME,
       {{"a.swf", "old a"}, {"a[1].swf", "copied movie"}, {"b.swf", "old b"}, {"b[1].swf", std::string(500, 'b')}},
       {kBusy, kDone}, "a[1].swf"},
      {"overwrite", CONFLICT_OVERWRITE,
       {{"a.swf", "copied movie"}, {"b.swf", std::string(500, 'b')}}, {kBusy, kDone}, "a.swf"},
      {"skip", CONFLICT_SKIP, {{"a.swf", "old a"}, {"b.swf", "old b"}}, {kSkipped}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(out_);
    src_.WriteFile("out/a.swf", "old a");
    src_.WriteFile("out/b.swf", "old b");
    std::vector<SWFFileInfo> movies = {Movie("http://h/a.swf", "a.swf", cached_),
                                       Movie(server_.Url("/b.swf"), "b.swf")};
    Recorder rec;
    SaveRun run(out_, c.policy, rec);
    run.Run(Items(movies));
    std::map<std::string, std::string> files;
    for (const std::string& name : Entries(out_)) files[name] = test::ReadFile(out_ + "/" + name);
    EXPECT_EQ(files, c.files);
    EXPECT_EQ(rec.statuses[0], c.status);
    EXPECT_EQ(rec.statuses[1], c.status);
    EXPECT_EQ(run.firstSaved(), c.firstSaved.empty() ? "" : out_ + "/" + c.firstSaved);
    EXPECT_EQ(movies[0].bSaved, c.policy != CONFLICT_SKIP);
  }
}

TEST_F(SaveRunTest, PauseOnTheSecondOfThreeEndsTheWalkThere) {
  Recorder rec;
  server_.Handle("/slow.swf", [&](const HttpRequest&, HttpConnection& c) {
    c.Write(HttpResponseText(200, "", {"Content-Length: 100000"}));
    c.Write(std::string(2048, 's'));
    c.Sleep(200);
    if (SaveRun* r = rec.run.load()) r->RequestStop();  // the Pause click
    c.Sleep(5000);
  });
  std::vector<SWFFileInfo> movies = {Movie(server_.Url("/b.swf"), "one.swf"),
                                     Movie(server_.Url("/slow.swf"), "two.swf"),
                                     Movie(server_.Url("/b.swf"), "three.swf")};
  SaveRun run(out_, CONFLICT_OVERWRITE, rec);
  rec.run = &run;
  run.Run(Items(movies));
  rec.run = nullptr;
  EXPECT_EQ(rec.statuses[0], (std::vector<unsigned>{kBusy, kDone}));
  EXPECT_EQ(rec.statuses[1], (std::vector<unsigned>{kBusy, kCancelled}));
  EXPECT_EQ(rec.statuses.count(2), 0u);
  EXPECT_EQ(rec.started, (std::vector<int>{0, 1}));
  EXPECT_TRUE(run.stopped());
  EXPECT_EQ(run.firstSaved(), out_ + "/one.swf");
  EXPECT_TRUE(rec.failures.empty());  // a stop is no failure
  EXPECT_EQ(Entries(out_), std::vector<std::string>{"one.swf"});
}

// Movies of a page on disk have no address to fall back to.
TEST_F(SaveRunTest, EveryCopyFailingSavesNothingAndGoesOn) {
  std::vector<SWFFileInfo> movies = {
      Movie(src_.str() + "/gone.swf", "x.swf", src_.str() + "/gone.swf"),
      Movie(src_.str() + "/no/dir.swf", "y.swf", src_.str() + "/no/dir.swf")};
  Recorder rec;
  SaveRun run(out_, CONFLICT_OVERWRITE, rec);
  run.Run(Items(movies));
  EXPECT_EQ(rec.failures, (std::vector<std::string>{CopyFailure("x.swf", 2), CopyFailure("y.swf", 3)}));
  EXPECT_EQ(rec.statuses[0], (std::vector<unsigned>{kBusy, kFailed}));
  EXPECT_EQ(rec.statuses[1], (std::vector<unsigned>{kBusy, kFailed}));
  EXPECT_EQ(run.firstSaved(), "");
  EXPECT_TRUE(Entries(out_).empty());
}

// A cache copy that another process removed or replaced after the scan is fetched from its
// address instead; the row says nothing of the copy.
TEST_F(SaveRunTest, ALocalCopyGoneOrChangedSinceTheScanIsDownloaded) {
  struct Case {
    const char* name;
    std::string local;
    std::int64_t scannedSize;
  } cases[] = {
      {"removed", src_.str() + "/cache/gone[1].swf", 12},
      {"replaced by another size", cached_, 3},
      {"as scanned", cached_, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(out_);
    fs::create_directories(out_);
    std::vector<SWFFileInfo> movies = {Movie(server_.Url("/b.swf"), "m.swf", c.local)};
    movies[0].nSize = c.scannedSize;
    Recorder rec;
    SaveRun run(out_, CONFLICT_AUTO_RENAME, rec);
    run.Run(Items(movies));
    EXPECT_EQ(rec.statuses[0], (std::vector<unsigned>{kBusy, kDone}));
    EXPECT_TRUE(rec.failures.empty());
    const bool copied = c.scannedSize == 12 && fs::exists(c.local);
    EXPECT_EQ(test::ReadFile(out_ + "/m.swf"), copied ? "copied movie" : std::string(500, 'b'));
  }
}

// Two processes saving different movies of one name into one folder at once: each claims its
// own name, so both movies are there afterwards and neither replaced the other.
TEST_F(SaveRunTest, TwoProcessesIntoOneFolderKeepEveryMovie) {
  const char* env = std::getenv("TROVEX_STRESS_ROUNDS");
  const int rounds = env ? std::max(1, std::atoi(env)) : 5;
  for (int p = 0; p < 2; ++p) {
    const std::string body = "movie of process " + std::to_string(p);
    src_.WriteFile("cache/p" + std::to_string(p) + ".swf", body);
    // Both settle their names before either has written: the window the race needs.
    server_.Handle("/p" + std::to_string(p) + ".swf", [body](const HttpRequest&, HttpConnection& c) {
      c.Sleep(100);
      c.Write(HttpResponseText(200, body, {}));
    });
  }
  struct Case {
    const char* name;
    int policy;
    bool copy;
  } cases[] = {
      {"rename, downloads", CONFLICT_AUTO_RENAME, false},
      {"rename, copies", CONFLICT_AUTO_RENAME, true},
      {"skip, downloads", CONFLICT_SKIP, false},
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  for (const Case& c : cases) {
    int lost = 0, round = 0;
    for (; round < rounds && std::chrono::steady_clock::now() < deadline; ++round) {
      fs::remove_all(out_);
      fs::create_directories(out_);
      int go[2];
      ASSERT_EQ(::pipe(go), 0);
      std::fflush(nullptr);
      pid_t children[2];
      for (int p = 0; p < 2; ++p) {
        children[p] = ::fork();
        ASSERT_GE(children[p], 0);
        if (children[p] == 0) {
          ::close(go[1]);
          char b;
          (void)::read(go[0], &b, 1);  // both start together
          const std::string n = std::to_string(p);
          std::vector<SWFFileInfo> movies = {Movie(server_.Url("/p" + n + ".swf"), "m.swf",
                                                   c.copy ? src_.str() + "/cache/p" + n + ".swf" : "")};
          Recorder rec;
          SaveRun run(out_, c.policy, rec);
          run.Run(Items(movies));
          ::_exit(movies[0].bSaved ? 0 : 1);
        }
      }
      ::close(go[0]);
      ::close(go[1]);
      int saved = 0;
      for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        saved += WIFEXITED(status) && WEXITSTATUS(status) == 0;
      }
      std::set<std::string> bodies;
      for (const std::string& name : Entries(out_)) bodies.insert(test::ReadFile(out_ + "/" + name));
      EXPECT_EQ(saved, 2) << c.name << ", round " << round;
      if (bodies != std::set<std::string>{"movie of process 0", "movie of process 1"}) ++lost;
    }
    std::printf("%s: %d rounds, %d lost a movie\n", c.name, round, lost);
    EXPECT_EQ(lost, 0) << c.name << ": rounds that lost a movie";
  }
}

// Each row fails with its own text, the run goes on to the next row, and nothing that was in
// the folder is damaged.
TEST_F(SaveRunTest, BadTargetsFailEachRowWithTheRightText) {
  enum class Kind { kReadOnly, kDiskFull, kDirectory };
  struct Case {
    const char* name;
    Kind kind;
    std::string copyFailure;
    std::string downloadFailure;
  } cases[] = {
      {"read-only folder", Kind::kReadOnly, CopyFailure("a.swf", 5), "存取 " + out_ + "/b.swf 遭受拒絕。"},
      {"disk full", Kind::kDiskFull, CopyFailure("a.swf", 112), "存取 " + out_ + "/b.swf 時磁碟已滿。"},
      {"targets are folders", Kind::kDirectory, CopyFailure("a.swf", 5), "存取 " + out_ + "/b.swf 遭受拒絕。"},
  };
  server_.Reply("/big.swf", 200, std::string(64 * 1024, 'g'));
  src_.WriteFile("cache/big.swf", std::string(64 * 1024, 'c'));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(out_);
    fs::create_directories(out_);
    src_.WriteFile("out/keep.txt", "keep");
    if (c.kind == Kind::kDirectory) {
      fs::create_directories(out_ + "/a.swf/x");
      fs::create_directories(out_ + "/b.swf/y");
    }
    // The unprivileged child may read the sources but not write the folder.
    ::chmod(src_.str().c_str(), 0755);
    ::chmod((src_.str() + "/cache").c_str(), 0755);
    ::chmod((src_.str() + "/cache/big.swf").c_str(), 0644);
    if (c.kind == Kind::kReadOnly) ::chmod(out_.c_str(), 0555);
    test::ChildResult r = test::RunInChild(
        [&] {
          if (c.kind == Kind::kDiskFull) {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{8192, 8192};
            ::setrlimit(RLIMIT_FSIZE, &limit);
          }
          std::vector<SWFFileInfo> movies = {
              Movie("http://h/a.swf", "a.swf", src_.str() + "/cache/big.swf"),
              Movie(server_.Url("/big.swf"), "b.swf")};
          Recorder rec;
          SaveRun run(out_, CONFLICT_OVERWRITE, rec);
          run.Run(Items(movies));
          std::string report;
          for (const std::string& f : rec.failures) report += f + "\n";
          report += std::to_string(rec.statuses[1].size()) + run.firstSaved();
          return report;
        },
        c.kind == Kind::kReadOnly);
    ::chmod(out_.c_str(), 0755);
    const std::string download = FormatResString(IDS_DOWNLOAD_FAILED, "b.swf", server_.Url("/big.swf").c_str(),
                                                 Utf8TextToAnsi(c.downloadFailure).c_str());
    EXPECT_EQ(r.report, c.copyFailure + "\n" + download + "\n2");
    EXPECT_EQ(test::ReadFile(out_ + "/keep.txt"), "keep");
    std::vector<std::string> want = {"keep.txt"};
    if (c.kind == Kind::kDirectory) want = {"a.swf", "b.swf", "keep.txt"};
    EXPECT_EQ(Entries(out_), want);
  }
}

// A local file's own name may hold what no target may: its row fails saying so, nothing is
// written, and the run goes on.
TEST_F(SaveRunTest, ANameNoTargetMayCarryFailsItsRowSayingWhy) {
  const struct {
    const char* name;
    bool saved;
  } cases[] = {
      {"a\\b.swf", false}, {"a\nb.swf", false}, {"a|b.swf", false}, {"a b.swf", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(out_);
    fs::create_directories(out_);
    std::vector<SWFFileInfo> movies = {Movie("file:///x", c.name, cached_), Movie("file:///y", "c.swf", cached_)};
    Recorder rec;
    SaveRun run(out_, CONFLICT_AUTO_RENAME, rec);
    run.Run(Items(movies));
    const std::vector<unsigned> statuses = c.saved ? std::vector<unsigned>{kBusy, kDone} : std::vector<unsigned>{kFailed};
    const std::vector<std::string> failures =
        c.saved ? std::vector<std::string>{} : std::vector<std::string>{FormatResString(IDS_NAME_UNUSABLE, c.name)};
    const std::vector<std::string> entries =
        c.saved ? std::vector<std::string>{c.name, "c.swf"} : std::vector<std::string>{"c.swf"};
    EXPECT_EQ(rec.statuses[0], statuses);
    EXPECT_EQ(rec.failures, failures);
    EXPECT_EQ(Entries(out_), entries);
  }
}

// A window as the run sees it, without a toolkit: it logs what it is told in order (the
// worker's statuses as one "progress" entry per run of them, the values kept aside), and its
// wait may press Pause once the first bytes have been shown.
class FakeWindow : public SaveRunObserver {
 public:
  explicit FakeWindow(bool pauseOnFirstBytes) : pause_(pauseOnFirstBytes) {}

  void OnRowStart(int nItem) override { Log("row " + std::to_string(nItem)); }
  FileExistsAnswer AskFileExists(const std::string&, const std::string&) override { return {}; }
  void OnTransferStart(int nItem, const std::string& name) override {
    Log("start " + std::to_string(nItem) + " " + name);
  }
  void OnRowDone(int nItem, RowOutcome outcome, std::int64_t bytes, const std::string&) override {
    const unsigned id = StatusOf(outcome);
    Log("done " + std::to_string(nItem) + " " +
        (id == kDone ? "saved " + std::to_string(bytes) : id == kFailed ? "failed" : id == kCancelled ? "cancelled" : "?"));
  }
  std::unique_ptr<TransferWait> CreateTransferWait() override {
    Log("wait");
    return std::make_unique<WindowWait>(*this);
  }
  void OnTransferStatus(int, const TransferStatus& status) override {
    std::lock_guard<std::mutex> lock(mutex_);
    statuses.push_back(status);
    if (events.empty() || events.back() != "progress") events.push_back("progress");
    changed_.notify_all();
  }

  SaveRun* run = nullptr;
  std::vector<std::string> events;
  std::vector<TransferStatus> statuses;

 private:
  // The window's thread waits here; a real one would dispatch its events meanwhile.
  class WindowWait : public TransferWait {
   public:
    explicit WindowWait(FakeWindow& w) : w_(w) {}
    void Wait() override {
      std::unique_lock<std::mutex> lock(w_.mutex_);
      if (w_.pause_) {
        w_.changed_.wait_for(lock, std::chrono::seconds(10), [&] {
          return woken_ || (!w_.statuses.empty() && w_.statuses.back().current > 0);
        });
        if (!woken_) {
          lock.unlock();
          w_.run->RequestStop();  // the Pause click
          lock.lock();
        }
      }
      w_.changed_.wait_for(lock, std::chrono::seconds(10), [&] { return woken_; });
    }
    void Wake() override {
      std::lock_guard<std::mutex> lock(w_.mutex_);
      woken_ = true;
      w_.changed_.notify_all();
    }

   private:
    FakeWindow& w_;
    bool woken_ = false;
  };

  void Log(const std::string& event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events.push_back(event);
  }

  bool pause_;
  std::mutex mutex_;
  std::condition_variable changed_;
};

TEST_F(SaveRunTest, AWindowHearsStatusesAndTransferValuesInOrder) {
  server_.Reply("/e.swf", 500, "oops");
  server_.Handle("/slow.swf", [](const HttpRequest&, HttpConnection& c) {
    c.Write(HttpResponseText(200, "", {"Content-Length: 100000"}));
    c.Write(std::string(2048, 's'));
    c.Sleep(10000);
  });
  struct Case {
    const char* name;
    SWFFileInfo movie;
    bool pause;
    std::vector<std::string> events;
    std::int64_t total;    // of every status; none when -1
    std::int64_t lastDone; // -1: some, fewer than the total
  } cases[] = {
      {"copy", Movie("http://h/a.swf", "a.swf", cached_), false,
       {"row 0", "start 0 a.swf", "done 0 saved 12", "row 1", "start 1 a.swf", "done 1 saved 12"},
       -1, 0},
      {"download", Movie(server_.Url("/b.swf"), "b.swf"), false,
       {"row 0", "start 0 b.swf", "wait", "progress", "done 0 saved 500",
        "row 1", "start 1 b.swf", "wait", "progress", "done 1 saved 500"},
       500, 500},
      {"failure", Movie(server_.Url("/e.swf"), "e.swf"), false,
       {"row 0", "start 0 e.swf", "wait", "done 0 failed", "row 1", "start 1 e.swf", "wait", "done 1 failed"},
       -1, 0},
      {"pause", Movie(server_.Url("/slow.swf"), "slow.swf"), true,
       {"row 0", "start 0 slow.swf", "wait", "progress", "done 0 cancelled"},
       100000, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(out_);
    fs::create_directories(out_);
    // Two rows of the same movie: the second is renamed, and a Pause keeps it from starting.
    std::vector<SWFFileInfo> movies = {c.movie, c.movie};
    FakeWindow window(c.pause);
    SaveRun run(out_, CONFLICT_AUTO_RENAME, window);
    window.run = &run;
    const auto start = std::chrono::steady_clock::now();
    run.Run(Items(movies));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(window.events, c.events);
    EXPECT_EQ(run.stopped(), c.pause);
    if (c.total < 0) {
      EXPECT_TRUE(window.statuses.empty());
      continue;
    }
    ASSERT_FALSE(window.statuses.empty());
    // The response first, then counts that only grow; the total in every one.
    EXPECT_EQ(window.statuses.front(), (TransferStatus{c.total, 0}));
    for (std::size_t i = 0; i < window.statuses.size(); ++i) {
      EXPECT_EQ(window.statuses[i].total, c.total) << i;
      if (i > 0 && window.statuses[i].total == window.statuses[i - 1].total && window.statuses[i].current != 0) {
        EXPECT_GE(window.statuses[i].current, window.statuses[i - 1].current) << i;
      }
    }
    if (c.lastDone >= 0) {
      EXPECT_EQ(window.statuses.back(), (TransferStatus{c.total, 0, c.lastDone}));
    } else {
      EXPECT_GT(window.statuses.back().current, 0);
      EXPECT_LT(window.statuses.back().current, c.total);
    }
  }
}

}  // namespace
}  // namespace trovex

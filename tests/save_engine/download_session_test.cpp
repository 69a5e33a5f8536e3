// The download session against a scripted server: what ends up on disk, what the hooks see,
// and the error texts, for every shape of answer and for stops and bad targets.
#include "save_engine/download_session.h"
#include "save_engine/format.h"
#include "platform/text/res_text.h"

#include <signal.h>
#include <sys/resource.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/inet/test_seam.h"
#include "platform/text/text.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_page_source.h"
#include "tests/support/http_server.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::HttpConnection;
using test::HttpRequest;
using test::HttpResponseText;
using test::TestHttpServer;

// Records what the hooks see, on the worker.
class RecordingSession : public CDownloadSession {
 public:
  void OnResponseReady() override {
    ++readyCalls;
    lengthAtReady = GetContentLength();
    if (stopAtReady) RequestStop();
  }
  void OnDataReceived(const void*, std::uint64_t total) override {
    ++dataCalls;
    lastTotal = total;
    if (stopAfterBytes && total >= stopAfterBytes) RequestStop();
  }
  int readyCalls = 0;
  std::int64_t lengthAtReady = -1;
  int dataCalls = 0;
  std::uint64_t lastTotal = 0;
  bool stopAtReady = false;
  std::uint64_t stopAfterBytes = 0;
};

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 4093) & 0xFF);
  return s;
}

class DownloadSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    seam_.emplace(inet::InetTestSettings{test::TestCertificates::Get().caFile});
    const std::string tlsBase = tls_.Url("");
    server_.Reply("/movie.swf", 200, "FWS movie bytes");
    server_.Reply("/chunked.swf", 200, "chunked movie", {"Transfer-Encoding: chunked"});
    server_.Reply("/empty.swf", 200, "");
    server_.Reply("/missing.swf", 404, "not here");
    server_.Reply("/broken.swf", 500, "oops");
    server_.Redirect("/abs", 302, server_.Url("/movie.swf"));
    server_.Redirect("/dir/rel", 301, "../movie.swf");
    server_.Redirect("/see", 303, "/movie.swf");
    server_.Redirect("/temp", 307, "movie.swf");
    server_.Redirect("/perm", 308, "//127.0.0.1:" + std::to_string(server_.Port()) + "/movie.swf");
    server_.Redirect("/tohttps", 302, tlsBase + "/secure.swf");
    server_.Redirect("/loop", 302, "/loop");
    server_.Redirect("/ftp", 302, "ftp://127.0.0.1/movie.swf");
    server_.Redirect("/nowhere", 302, "");
    for (int i = 1; i <= 5; ++i)
      server_.Redirect("/r" + std::to_string(i), 302, i == 5 ? "/movie.swf" : "/r" + std::to_string(i + 1));
    server_.Handle("/short.swf", [](const HttpRequest&, HttpConnection& c) {
      c.Write(HttpResponseText(200, "only part", {"Content-Length: 500"}));
    });
    server_.Handle("/reset.swf", [](const HttpRequest&, HttpConnection& c) {
      c.Write(HttpResponseText(200, std::string(4000, 'x'), {"Content-Length: 100000"}));
      c.Sleep(100);
      c.Reset();
    });
    server_.Reply("/big.swf", 200, big_);
    server_.Reply("/huge-length.swf", 200, "abc", {"Content-Length: 3", "X-Ignore: 1"});
    tls_.Reply("/secure.swf", 200, "secure movie");
  }
  void TearDown() override { seam_.reset(); }

  std::optional<inet::ScopedInetTestSeam> seam_;

  const std::string big_ = Pattern(8 << 20);
  TestHttpServer server_;
  TestHttpServer tls_{true};
  test::TempDir dir_;
};

TEST_F(DownloadSessionTest, OutcomeOnDiskForEveryKindOfAnswer) {
  const std::string https = tls_.Url("/secure.swf");
  struct Case {
    std::string url;
    BOOL result;
    DWORD error;
    std::string body;     // of the target after success
    int readyCalls;
    std::int64_t length;  // GetContentLength() at OnResponseReady
  } cases[] = {
      {server_.Url("/movie.swf"), TRUE, 0, "FWS movie bytes", 1, 15},
      {server_.Url("/chunked.swf"), TRUE, 0, "chunked movie", 1, 0},
      {server_.Url("/empty.swf"), TRUE, 0, "", 1, 0},
      {server_.Url("/big.swf"), TRUE, 0, big_, 1, static_cast<std::int64_t>(big_.size())},
      {https, TRUE, 0, "secure movie", 1, 12},
      {server_.Url("/abs"), TRUE, 0, "FWS movie bytes", 1, 15},
      {server_.Url("/dir/rel"), TRUE, 0, "FWS movie bytes", 1, 15},
      {server_.Url("/see"), TRUE, 0, "FWS movie bytes", 1, 15},
      {server_.Url("/temp"), TRUE, 0, "FWS movie bytes", 1, 15},
      {server_.Url("/perm"), TRUE, 0, "FWS movie bytes", 1, 15},
      {server_.Url("/tohttps"), TRUE, 0, "secure movie", 1, 12},
      // Four redirects in a row are followed; the fifth ends the download.
      {server_.Url("/r2"), TRUE, 0, "FWS movie bytes", 1, 15},
      {server_.Url("/r1"), FALSE, 12028, "", 0, 0},
      {server_.Url("/loop"), FALSE, 12028, "", 0, 0},
      {server_.Url("/missing.swf"), FALSE, 12028, "", 0, 0},
      {server_.Url("/broken.swf"), FALSE, 12028, "", 0, 0},
      {server_.Url("/ftp"), FALSE, ERROR_HTTP_REDIRECT_FAILED, "", 0, 0},
      {server_.Url("/nowhere"), FALSE, ERROR_HTTP_REDIRECT_FAILED, "", 0, 0},
      {server_.Url("/short.swf"), FALSE, ERROR_INTERNET_CONNECTION_ABORTED, "", 1, 500},
      {server_.Url("/reset.swf"), FALSE, ERROR_INTERNET_CONNECTION_RESET, "", 1, 100000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    // Every download overwrites an existing target: its old content must survive a failure.
    const std::string target = dir_.WriteFile("target.swf", "old content");
    RecordingSession session;
    EXPECT_EQ(session.Download(c.url, target), c.result);
    EXPECT_EQ(session.GetErrorCode(), c.error);
    EXPECT_FALSE(session.IsStopped());
    EXPECT_EQ(session.readyCalls, c.readyCalls);
    if (c.readyCalls) {
      EXPECT_EQ(session.lengthAtReady, c.length);
    }
    EXPECT_TRUE(test::ReadFile(target) == (c.result ? c.body : "old content"));
    if (c.result) {
      EXPECT_EQ(session.lastTotal, c.body.size());
      EXPECT_EQ(session.dataCalls == 0, c.body.empty());  // never called for an empty body
      EXPECT_EQ(session.GetStatusCode(), 200u);
      EXPECT_EQ(session.GetErrorText(), "");
    } else {
      EXPECT_FALSE(session.GetErrorText().empty());
      EXPECT_LE(session.GetErrorText().size(), 254u);
    }
    EXPECT_EQ(Entries(dir_.str()), std::vector<std::string>{"target.swf"});
  }
  EXPECT_EQ(server_.CountRequests("/loop"), 5);
}

// From a source (an archive): its answers end as the network's do, redirects within it
// followed with the same limit; what it lacks is its reason, or the network's answer when
// the network may be asked; damage is never hidden by the network.
TEST_F(DownloadSessionTest, SourceAnswersEndAsTheNetworksDo) {
  const std::string base = "http://archived.example/";
  test::FakePageSource source;
  source.Reply(base + "movie.swf", 200, "archived movie");
  source.Reply(base + "gone.swf", 404, "not here");
  for (int i = 1; i <= 5; ++i)
    source.Redirect(base + "r" + std::to_string(i), i == 5 ? base + "movie.swf" : base + "r" + std::to_string(i + 1));
  source.Redirect(base + "ftp", "ftp://archived.example/movie.swf");
  source.Redirect(base + "tolive", server_.Url("/movie.swf"));
  source.Fail(server_.Url("/chunked.swf"), ERROR_INVALID_DATA, "damaged record");
  struct Case {
    std::string url;
    bool fallback;
    BOOL result;
    DWORD error;
    std::string body;  // of the target after success; the error text's start otherwise
  } cases[] = {
      {base + "movie.swf", false, TRUE, 0, "archived movie"},
      {base + "r2", false, TRUE, 0, "archived movie"},
      {base + "r1", false, FALSE, 12028, ""},
      {base + "gone.swf", false, FALSE, 12028, ""},
      {base + "ftp", false, FALSE, ERROR_HTTP_REDIRECT_FAILED, ""},
      {server_.Url("/movie.swf"), false, FALSE, 12028, "not archived: " + server_.Url("/movie.swf")},
      {server_.Url("/movie.swf"), true, TRUE, 0, "FWS movie bytes"},
      {base + "tolive", true, TRUE, 0, "FWS movie bytes"},
      {server_.Url("/chunked.swf"), true, FALSE, ERROR_INVALID_DATA, "damaged record"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url + (c.fallback ? " with the network" : ""));
    const std::string target = dir_.WriteFile("target.swf", "old content");
    const int served = server_.CountRequests("/movie.swf") + server_.CountRequests("/chunked.swf");
    RecordingSession session;
    session.SetSource({&source, c.fallback});
    EXPECT_EQ(session.Download(c.url, target), c.result);
    EXPECT_EQ(session.GetErrorCode(), c.error);
    EXPECT_TRUE(test::ReadFile(target) == (c.result ? c.body : "old content"));
    if (c.result) {
      EXPECT_EQ(session.lastTotal, c.body.size());
      EXPECT_EQ(session.lengthAtReady, static_cast<std::int64_t>(c.body.size()));
    } else {
      EXPECT_EQ(session.GetErrorText().rfind(c.body, 0), 0u) << session.GetErrorText();
    }
    const bool live = c.result && c.body == "FWS movie bytes";
    EXPECT_EQ(server_.CountRequests("/movie.swf") + server_.CountRequests("/chunked.swf"), served + (live ? 1 : 0));
    EXPECT_EQ(Entries(dir_.str()), std::vector<std::string>{"target.swf"});
  }
  // Five asked in a row from r1, as five requests go out on the network.
  EXPECT_EQ(source.Asked(base + "r5"), 2);
}

// A server that compresses on its own: the movie is saved decoded, never as the coded
// stream. The announced length counts coded bytes, so the total is shown as not known.
TEST_F(DownloadSessionTest, CodedBodiesAreSavedDecoded) {
  const std::string movie = Pattern(200000) + std::string(100000, 'F');
  for (const char* coding : {"gzip", "deflate", "br", "zstd"}) {
    SCOPED_TRACE(coding);
    const std::string coded = test::EncodeBody(movie, coding);
    server_.Reply("/coded.swf", 200, coded, {std::string("Content-Encoding: ") + coding});
    const std::string target = dir_.WriteFile("coded.swf", "good old movie");
    RecordingSession session;
    EXPECT_TRUE(session.Download(server_.Url("/coded.swf"), target)) << session.GetErrorText();
    EXPECT_TRUE(test::ReadFile(target) == movie);
    EXPECT_EQ(session.lengthAtReady, 0);
    EXPECT_EQ(session.lastTotal, movie.size());
  }
  // A coding nobody knows fails clearly and keeps the old file.
  server_.Reply("/odd.swf", 200, "zzzz", {"Content-Encoding: x-squeeze"});
  const std::string target = dir_.WriteFile("odd.swf", "good old movie");
  RecordingSession session;
  EXPECT_FALSE(session.Download(server_.Url("/odd.swf"), target));
  EXPECT_EQ(session.GetErrorCode(), 12175u);
  EXPECT_NE(session.GetErrorText().find("x-squeeze"), std::string::npos) << session.GetErrorText();
  EXPECT_EQ(test::ReadFile(target), "good old movie");
}

// Each failure says what happened: the server's status, or too many redirects.
TEST_F(DownloadSessionTest, FailureTextsSayWhatHappened) {
  server_.Reply("/forbidden.swf", 403, "no");
  server_.Reply("/unavailable.swf", 503, "later");
  struct Case {
    const char* path;
    std::string text;
  } cases[] = {
      {"/broken.swf", "伺服器發生錯誤（HTTP 500）。"},
      {"/unavailable.swf", "伺服器發生錯誤（HTTP 503）。"},
      {"/forbidden.swf", "伺服器拒絕了要求（HTTP 403）。"},
      {"/missing.swf", "找不到要求的項目。（HTTP 404）"},
      {"/loop", "重新導向的次數太多，可能是循環的重新導向。"},
      {"/r1", "重新導向的次數太多，可能是循環的重新導向。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    RecordingSession session;
    EXPECT_FALSE(session.Download(server_.Url(c.path), dir_.str() + "/x.swf"));
    EXPECT_EQ(session.GetErrorText(), Utf8TextToAnsi(c.text));
  }
  // A name too long for the file system: the reason, and a path shortened in its middle so
  // that the text still ends whole.
  const std::string longName = dir_.str() + "/" + std::string(300, 'n') + ".swf";
  RecordingSession session;
  EXPECT_FALSE(session.Download(server_.Url("/movie.swf"), longName));
  const std::string text = session.GetErrorText();
  EXPECT_LE(text.size(), 254u);
  const std::string reason = Utf8TextToAnsi("檔案名稱或路徑太長。");
  ASSERT_GE(text.size(), reason.size());
  EXPECT_EQ(text.substr(text.size() - reason.size()), reason) << text;
  EXPECT_EQ(text.rfind(dir_.str(), 0), 0u) << text;
}

// A redirect that cannot be followed says where it pointed, or that it pointed nowhere.
TEST_F(DownloadSessionTest, FailedRedirectsExplainThemselves) {
  struct Case {
    const char* path;
    std::string text;
  } cases[] = {
      {"/ftp", "無法完成重新導向。「ftp://127.0.0.1/movie.swf」不是 http 或 https 網址。"},
      {"/nowhere", "無法完成重新導向。伺服器沒有提供新的網址。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    RecordingSession session;
    EXPECT_FALSE(session.Download(server_.Url(c.path), dir_.str() + "/x.swf"));
    EXPECT_EQ(session.GetErrorText(), Utf8TextToAnsi(c.text));
  }
}

TEST_F(DownloadSessionTest, RefusedAddressesNameTheAddressAndStartNothing) {
  struct Case {
    std::string url;
    DWORD error;
  } cases[] = {
      {"ftp://127.0.0.1/movie.swf", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
      {"http//no-scheme/movie.swf", ERROR_INTERNET_INVALID_URL},
      {"http://127.0.0.1:99999/movie.swf", ERROR_INTERNET_INVALID_URL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    const std::string target = dir_.str() + "/new.swf";
    RecordingSession session;
    SetLastError(ERROR_SUCCESS);  // must not read as "the operation succeeded"
    EXPECT_FALSE(session.Download(c.url, target));
    EXPECT_EQ(session.GetErrorCode(), c.error);
    EXPECT_NE(session.GetErrorText().find(c.url), std::string::npos) << session.GetErrorText();
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(session.readyCalls, 0);
  }
}

// A Location is read as a browser reads it: relative to the address that answered, dot
// segments gone, characters an address cannot hold escaped, a backslash a "/", a host in any case.
TEST_F(DownloadSessionTest, RedirectsAreResolvedAsBrowsersResolveThem) {
  server_.Reply("/media/my%20movie.swf", 200, "spaced movie");
  const std::string host = "HTTP://127.0.0.1:" + std::to_string(server_.Port());
  struct Case {
    const char* path;
    std::string location;
  } cases[] = {
      {"/go/space", "../media/./my movie.swf"},
      {"/go/backslash", "..\\media\\my%20movie.swf"},
      {"/go/upper", host + "/media/my%20movie.swf"},
      {"/go/padded", "  /media/my movie.swf\t"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    server_.Redirect(c.path, 302, c.location);
    const std::string target = dir_.str() + "/spaced.swf";
    RecordingSession session;
    EXPECT_TRUE(session.Download(server_.Url(c.path), target)) << session.GetErrorText();
    EXPECT_EQ(test::ReadFile(target), "spaced movie");
  }
  EXPECT_EQ(server_.CountRequests("/media/my%20movie.swf"), 4);
}

// Tabs and line breaks a page put inside an address are no part of what is fetched.
TEST_F(DownloadSessionTest, TabsAndLineBreaksInTheAddressAreDropped) {
  for (const char* path : {"/mo\tvie.swf", "/\tmovie.swf", "/movie.swf\r\n", "/mov\nie.swf"}) {
    SCOPED_TRACE(path);
    const std::string target = dir_.str() + "/tab.swf";
    RecordingSession session;
    EXPECT_TRUE(session.Download(server_.Url(path), target)) << session.GetErrorText();
    EXPECT_EQ(test::ReadFile(target), "FWS movie bytes");
  }
}

// A length past 2 GiB (and past 4 GiB) is announced as it is, not wrapped or dropped.
TEST_F(DownloadSessionTest, LengthsPastTwoGibibytesAreKept) {
  for (long long length : {3000000000LL, 5000000000LL}) {
    SCOPED_TRACE(length);
    server_.Reply("/huge.swf", 200, "", {"Content-Length: " + std::to_string(length)});
    RecordingSession session;
    session.stopAtReady = true;
    EXPECT_FALSE(session.Download(server_.Url("/huge.swf"), dir_.str() + "/huge.swf"));
    EXPECT_EQ(session.lengthAtReady, length);
  }
}

TEST_F(DownloadSessionTest, WithoutALocalPathTheBodyGoesToTheHookOnly) {
  RecordingSession session;
  EXPECT_TRUE(session.Download(server_.Url("/big.swf"), ""));
  EXPECT_EQ(session.lastTotal, big_.size());
  // 1024-byte reads: at least one hook call per KiB.
  EXPECT_GE(session.dataCalls, static_cast<int>(big_.size() / 1024));
  EXPECT_TRUE(Entries(dir_.str()).empty());
}

// Pause at every point a transfer can be: nothing new on disk, the old target intact, and
// the stop felt within a fraction of a second even while the server is silent.
TEST_F(DownloadSessionTest, StopLeavesTheTargetAsItWasAndTakesEffectAtOnce) {
  server_.Handle("/silent.swf", [](const HttpRequest&, HttpConnection& c) { c.Sleep(20000); });
  server_.Handle("/slow.swf", [](const HttpRequest&, HttpConnection& c) {
    c.Write(HttpResponseText(200, "", {"Content-Length: 100000"}));
    c.Write(std::string(3000, 'a'));
    c.Sleep(20000);
  });
  enum class When { kWaitingForHeaders, kAtResponse, kInBody, kBodyStalled };
  struct Case {
    const char* name;
    const char* path;
    When when;
  } cases[] = {
      {"waiting for the headers", "/silent.swf", When::kWaitingForHeaders},
      {"when the response is ready", "/movie.swf", When::kAtResponse},
      {"during the body", "/big.swf", When::kInBody},
      {"while the body stalls", "/slow.swf", When::kBodyStalled},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string target = dir_.WriteFile("kept.swf", "old content");
    RecordingSession session;
    session.stopAtReady = c.when == When::kAtResponse;
    session.stopAfterBytes = c.when == When::kInBody ? 100000 : 0;
    std::thread pauser;
    std::chrono::steady_clock::time_point pressed{};
    if (c.when == When::kWaitingForHeaders || c.when == When::kBodyStalled) {
      pauser = std::thread([&] {
        std::this_thread::sleep_for(400ms);
        pressed = std::chrono::steady_clock::now();
        session.RequestStop();
      });
    }
    EXPECT_FALSE(session.Download(server_.Url(c.path), target));
    auto ended = std::chrono::steady_clock::now();
    if (pauser.joinable()) {
      pauser.join();
      EXPECT_LT(ended - pressed, 500ms);
    }
    EXPECT_TRUE(session.IsStopped());
    EXPECT_TRUE(session.IsFailed());
    EXPECT_EQ(session.GetErrorText(), "");
    EXPECT_EQ(test::ReadFile(target), "old content");
    EXPECT_EQ(Entries(dir_.str()), std::vector<std::string>{"kept.swf"});
  }
}

TEST_F(DownloadSessionTest, SilentServerFailsWithATimeout) {
  server_.Handle("/silent.swf", [](const HttpRequest&, HttpConnection& c) { c.Sleep(20000); });
  RecordingSession session;
  session.policy().stallSeconds = 1;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(session.Download(server_.Url("/silent.swf"), dir_.str() + "/x.swf"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(session.GetErrorCode(), ERROR_INTERNET_TIMEOUT);
  EXPECT_EQ(session.GetErrorText(), Utf8TextToAnsi("連線逾時。"));
  EXPECT_FALSE(session.IsStopped());
}

TEST_F(DownloadSessionTest, UntrustedCertificateIsAClearFailure) {
  seam_.reset();
  RecordingSession session;
  EXPECT_FALSE(session.Download(tls_.Url("/secure.swf"), dir_.str() + "/x.swf"));
  EXPECT_EQ(session.GetErrorCode(), 12045u);
  EXPECT_EQ(session.GetErrorText(), Utf8TextToAnsi("發出伺服器憑證的單位不受信任。"));
  EXPECT_TRUE(Entries(dir_.str()).empty());
}

// Targets that cannot take the file: each fails with the file-error text naming the target,
// and nothing else in the folder changes.
TEST_F(DownloadSessionTest, BadTargetsFailWithTheFileErrorText) {
  fs::create_directories(dir_.str() + "/ro");
  const std::string roTarget = dir_.WriteFile("ro/old.swf", "old");
  ::chmod((dir_.str() + "/ro").c_str(), 0555);
  fs::create_directories(dir_.str() + "/folder.swf/inside");
  struct Case {
    const char* name;
    std::string target;
    bool unprivileged;
    long fileSizeLimit;  // RLIMIT_FSIZE in the child, 0: none
    std::string text;
  } cases[] = {
      {"read-only folder", roTarget, true, 0, "存取 " + roTarget + " 遭受拒絕。"},
      {"target is a folder", dir_.str() + "/folder.swf", false, 0,
       "存取 " + dir_.str() + "/folder.swf 遭受拒絕。"},
      {"disk full", dir_.str() + "/full.swf", false, 4096,
       "存取 " + dir_.str() + "/full.swf 時磁碟已滿。"},
      {"folder missing", dir_.str() + "/none/x.swf", false, 0,
       dir_.str() + "/none/x.swf 包含無效的路徑。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::ChildResult r = test::RunInChild(
        [&] {
          if (c.fileSizeLimit) {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{static_cast<rlim_t>(c.fileSizeLimit), static_cast<rlim_t>(c.fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
          }
          CDownloadSession session;
          BOOL ok = session.Download(server_.Url("/big.swf"), c.target);
          return std::string(ok ? "ok" : "failed") + "|" + session.GetErrorText();
        },
        c.unprivileged);
    EXPECT_EQ(r.report, "failed|" + Utf8TextToAnsi(c.text));
  }
  ::chmod((dir_.str() + "/ro").c_str(), 0755);
  EXPECT_EQ(test::ReadFile(roTarget), "old");
  EXPECT_TRUE(fs::is_directory(dir_.str() + "/folder.swf/inside"));
  EXPECT_EQ(Entries(dir_.str()), (std::vector<std::string>{"folder.swf", "ro"}));
  EXPECT_EQ(Entries(dir_.str() + "/ro"), std::vector<std::string>{"old.swf"});
}

// A body without a length never fills the disk: the download stops, saying why, while the
// file system still keeps the reserve for such bodies (10 %, at most the set reserve). Played on
// a small file system mounted for the test in a mount namespace of its own.
TEST_F(DownloadSessionTest, EndlessBodyStopsBeforeTheDiskIsFull) {
  server_.Handle("/endless.swf", [](const HttpRequest&, HttpConnection& c) {
    c.Write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
    while (c.Write(std::string(65536, 'e'))) {
    }
  });
  const struct {
    const char* name;
    std::uint64_t setReserve;  // 0: the session's default
    std::uint64_t expected;    // 0: a tenth of the file system
  } cases[] = {
      {"default", 0, 0},
      {"set below a tenth", 1 << 20, 1 << 20},
      {"set above a tenth", 8 << 20, 0},
  };
  const std::string mount = dir_.str() + "/small";
  fs::create_directories(mount);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::ChildResult r = test::RunInChild([&] {
      if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          ::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=16m") != 0)
        return std::string("no mount");
      struct Watch : CDownloadSession {
        void OnDataReceived(const void*, std::uint64_t) override {
          struct statvfs v;
          if (::statvfs(folder.c_str(), &v) == 0) least = std::min<std::uint64_t>(least, v.f_bavail * v.f_frsize);
        }
        std::string folder;
        std::uint64_t least = UINT64_MAX;
      } session;
      session.folder = mount;
      if (c.setReserve) session.SetUnsizedReserve(c.setReserve);
      BOOL ok = session.Download(server_.Url("/endless.swf"), mount + "/endless.swf");
      struct statvfs v;
      ::statvfs(mount.c_str(), &v);
      const std::uint64_t reserve = c.expected ? c.expected : v.f_blocks * v.f_frsize / 10;
      return std::string(ok ? "ok" : "failed") + "|" + session.GetErrorText() + "|" +
             (session.least >= reserve * 9 / 10 ? "kept" : "filled " + std::to_string(session.least)) +
             (fs::is_empty(mount) ? "" : " and left a file") + "|" + FileSizeText(static_cast<std::int64_t>(reserve));
    });
    if (r.report == "no mount") GTEST_SKIP() << "cannot mount a small file system here";
    const std::string kept = r.report.substr(r.report.rfind('|') + 1);
    EXPECT_EQ(r.report, "failed|" + FormatResString(IDS_UNSIZED_BODY_STOPPED, kept.c_str()) + "|kept|" + kept);
  }
}

// A saving process killed mid-body leaves no temporary behind, and the old target as it was.
TEST_F(DownloadSessionTest, KilledDownloadLeavesNothingBehind) {
  server_.Handle("/endless.swf", [](const HttpRequest&, HttpConnection& c) {
    c.Write(HttpResponseText(200, "", {"Content-Length: 100000000"}));
    while (c.Write(std::string(4096, 'e')) && c.Sleep(5)) {
    }
  });
  const std::string target = dir_.WriteFile("kept.swf", "old content");
  std::fflush(nullptr);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    CDownloadSession session;
    session.Download(server_.Url("/endless.swf"), target);
    _exit(0);
  }
  std::this_thread::sleep_for(700ms);
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_EQ(test::ReadFile(target), "old content");
  EXPECT_EQ(Entries(dir_.str()), std::vector<std::string>{"kept.swf"});
}

// The session never outlives its worker, even when destroyed without waiting.
TEST_F(DownloadSessionTest, DestroyingTheSessionEndsItsWorker) {
  server_.Handle("/silent.swf", [](const HttpRequest&, HttpConnection& c) { c.Sleep(20000); });
  struct NeverWait : TransferWait {
    void Wait() override {}
    void Wake() override { woken = true; }
    std::atomic<bool> woken{false};
  } wait;
  auto start = std::chrono::steady_clock::now();
  {
    CDownloadSession session;
    session.SetTransferWait(&wait);
    std::thread stopper([&] {
      std::this_thread::sleep_for(200ms);
      session.RequestStop();
    });
    EXPECT_FALSE(session.Download(server_.Url("/silent.swf"), dir_.str() + "/x.swf"));
    stopper.join();
  }
  EXPECT_TRUE(wait.woken);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

}  // namespace
}  // namespace trovex

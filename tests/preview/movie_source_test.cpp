#include "preview/movie_source.h"

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "framework/wx_text.h"
#include "platform/error/error.h"
#include "platform/text/system_message.h"
#include "preview/player_files.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

TEST(MovieSource, KindOfEachMovieText) {
  struct Case {
    const char* movie;
    MovieKind kind;
  } cases[] = {
      {"1", MovieKind::Empty},          {"", MovieKind::Empty},
      {"/tmp/a.swf", MovieKind::LocalFile}, {"http://h/a.swf", MovieKind::Network},
      {"HTTPS://h/a.swf", MovieKind::Network}, {"ftp://h/a.swf", MovieKind::Unsupported},
      {"file:///tmp/a.swf", MovieKind::Unsupported}, {"a.swf", MovieKind::Unsupported},
      {"11", MovieKind::Unsupported},
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyMovie(c.movie), c.kind) << c.movie;
}

TEST(MovieSource, LocalMoviesAreReadOrExplained) {
  test::TempDir dir;
  const std::string movie = dir.WriteFile("m.swf", std::string("FWS\x06\0\0", 6));
  const std::string fifo = dir.str() + "/pipe.swf";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string path;
    bool loaded;
    const char* error;
  } cases[] = {
      {movie, true, ""},
      {dir.str() + "/missing.swf", false, "找不到影片檔案"},
      {dir.str(), false, "影片不是一般檔案"},
      {fifo, false, "影片不是一般檔案"},
  };
  for (const Case& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    const MovieBytes m = LoadMovieBytes(c.path);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << c.path;
    EXPECT_EQ(m.bLoaded, c.loaded) << c.path;
    EXPECT_NE(m.strError.find(c.error), std::string::npos) << c.path << ": " << m.strError;
    if (c.loaded) {
      EXPECT_EQ(m.strBody, std::string("FWS\x06\0\0", 6));
    }
  }
}

TEST(MovieSource, NetworkMoviesAreFetchedAndFailuresExplained) {
  test::LoopbackServer server;
  server.Set("/m.swf", {200, "application/x-shockwave-flash", "FWS-bytes", ""});
  server.Set("/gone.swf", {404, "text/html", "<h1>gone</h1>", ""});
  struct Case {
    std::string url;
    bool loaded;
    const char* text;  // body or a piece of the error
  } cases[] = {
      {server.Url("/m.swf"), true, "FWS-bytes"},
      {server.Url("/gone.swf"), false, "HTTP 404"},
      {"http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/m.swf", false, "無法下載影片"},
      {"gopher://h/m.swf", false, "無法預覽"},
  };
  for (const Case& c : cases) {
    const MovieBytes m = LoadMovieBytes(c.url);
    EXPECT_EQ(m.bLoaded, c.loaded) << c.url;
    EXPECT_NE((c.loaded ? m.strBody : m.strError).find(c.text), std::string::npos) << c.url << ": " << m.strError;
  }
}

// A failed fetch says what failed in the texts the download uses, naming the address once.
TEST(MovieSource, FetchFailuresUseTheDownloadsTexts) {
  const std::string url = "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/m.swf";
  const MovieBytes m = LoadMovieBytes(url);
  ASSERT_FALSE(m.bLoaded);
  EXPECT_EQ(m.strError, "無法下載影片：" + url + "\n" + ToWx(SystemMessageText(ERROR_INTERNET_CANNOT_CONNECT)).utf8_string());
}

TEST(MovieSource, AFetchFromASilentServerEndsWhenAborted) {
  // Listens but never answers: only the abort can end the wait before the time limits.
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(fd, 4), 0);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  std::atomic<bool> abort{false};
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    abort = true;
  });
  const auto start = std::chrono::steady_clock::now();
  const MovieBytes m = LoadMovieBytes("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/m.swf", &abort);
  const auto took = std::chrono::steady_clock::now() - start;
  stopper.join();
  close(fd);
  EXPECT_FALSE(m.bLoaded);
  EXPECT_GE(took, std::chrono::milliseconds(150));
  EXPECT_LT(took, std::chrono::seconds(3));
}

TEST(PlayerFiles, OnlyPlainScriptAndWasmNamesAreServed) {
  test::TempDir dir;
  dir.WriteFile("ruffle.js", "js");
  dir.WriteFile("core.wasm", "wasm");
  dir.WriteFile("notes.txt", "txt");
  dir.WriteFile(".hidden.js", "hidden");
  test::TempDir outside;
  outside.WriteFile("secret.js", "secret");
  struct Case {
    std::string name;
    const char* body;  // null: refused
    const char* mime;
  } cases[] = {
      {"ruffle.js", "js", "text/javascript"},
      {"core.wasm", "wasm", "application/wasm"},
      {"notes.txt", nullptr, ""},
      {".hidden.js", nullptr, ""},
      {"missing.js", nullptr, ""},
      {"../" + outside.path().filename().string() + "/secret.js", nullptr, ""},
      {outside.str() + "/secret.js", nullptr, ""},
      {"", nullptr, ""},
  };
  for (const Case& c : cases) {
    const auto file = ReadPlayerFile(dir.path(), c.name);
    ASSERT_EQ(file.has_value(), c.body != nullptr) << c.name;
    if (file) {
      EXPECT_EQ(file->strBody, c.body);
      EXPECT_EQ(file->strMimeType, c.mime);
    }
  }
  EXPECT_TRUE(HasPlayerFiles(dir.path()));
  test::TempDir noWasm;
  noWasm.WriteFile("ruffle.js", "js");
  EXPECT_FALSE(HasPlayerFiles(noWasm.path()));
  EXPECT_FALSE(HasPlayerFiles({}));
}

}  // namespace
}  // namespace trovex

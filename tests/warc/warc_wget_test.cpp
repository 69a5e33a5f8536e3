// Archives written by wget against the test server: a page, its frame and its movies (one sent
// in chunks, one gzip-coded), a redirect, a missing movie, and a second crawl whose
// de-duplication writes a revisit record. The reader must hand over the bytes served.
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/http_server.h"
#include "tests/support/temp_env.h"
#include "tests/warc/wget_run.h"
#include "warc/warc_archive.h"

namespace trovex::warc {
namespace {

using test::RunWget;

std::string Movie(std::size_t size, unsigned seed) {
  std::string bytes = "FWS\x0a";
  for (std::size_t i = 0; bytes.size() < size; ++i) bytes += static_cast<char>((i * seed + i / 7) & 0xff);
  return bytes;
}

TEST(WarcWget, ReadsWhatWgetWrote) {
  std::setlocale(LC_ALL, "C.UTF-8");
  test::TestHttpServer server;
  const std::string a = Movie(200000, 31), b = Movie(70000, 7), c = Movie(50000, 13);
  server.Reply("/page.html", 200, "<html><iframe src=frame.html></iframe><embed src=movies/a.swf></html>",
               {"Content-Type: text/html"});
  server.Reply("/frame.html", 200, "<embed src=../b.swf>", {"Content-Type: text/html"});
  server.Reply("/movies/a.swf", 200, a, {"Content-Type: application/x-shockwave-flash"});
  server.Reply("/b.swf", 200, b, {"Transfer-Encoding: chunked"});
  server.Reply("/gz.swf", 200, test::EncodeBody(c, "gzip"), {"Content-Encoding: gzip"});
  server.Redirect("/moved.swf", 302, "movies/a.swf");
  server.Reply("/gone.swf", 404, "no such movie");
  struct Case {
    std::string path;
    long status;
    std::string body;
    RecordType type;
    std::string redirect;
  } cases[] = {
      {"/page.html", 200, "<html><iframe src=frame.html></iframe><embed src=movies/a.swf></html>",
       RecordType::kResponse, ""},
      {"/frame.html", 200, "<embed src=../b.swf>", RecordType::kResponse, ""},
      // The second crawl found it unchanged and wrote a revisit of the first one's record.
      {"/movies/a.swf", 200, a, RecordType::kRevisit, ""},
      {"/b.swf", 200, b, RecordType::kResponse, ""},
      {"/gz.swf", 200, c, RecordType::kResponse, ""},
      {"/moved.swf", 302, "", RecordType::kResponse, server.Url("/movies/a.swf")},
      {"/gone.swf", 404, "no such movie", RecordType::kResponse, ""},
  };
  for (bool compressed : {true, false}) {
    test::TempDir dir;
    const std::string first = dir.str() + "/first", second = dir.str() + "/second";
    const std::string ext = compressed ? ".warc.gz" : ".warc";
    std::vector<std::string> args = {"--warc-file=" + first, "--warc-cdx"};
    if (!compressed) args.push_back("--no-warc-compression");
    for (const Case& k : cases) args.push_back(server.Url(k.path));
    ASSERT_EQ(RunWget(args), 8) << "wget missing or failing";
    args = {"--warc-file=" + second, "--warc-dedup=" + first + ".cdx", server.Url("/movies/a.swf")};
    if (!compressed) args.push_back("--no-warc-compression");
    ASSERT_EQ(RunWget(args), 0);
    ASSERT_TRUE(std::filesystem::exists(first + ext) && std::filesystem::exists(second + ext));

    WarcFailure failure;
    auto archive = WarcArchive::Open({first + ext, second + ext}, std::nullopt, {}, &failure);
    ASSERT_TRUE(archive) << failure.reason;
    EXPECT_TRUE(archive->problems().empty()) << archive->problems()[0].reason;
    for (const Case& k : cases) {
      ArchivedResponse r;
      WarcFailure f;
      ASSERT_TRUE(archive->Find(server.Url(k.path), std::nullopt, 1 << 20, &r, &f)) << k.path << ": " << f.reason;
      EXPECT_EQ(r.status, k.status) << k.path;
      EXPECT_TRUE(r.body == k.body) << k.path << " (" << r.body.size() << " bytes)";
      EXPECT_EQ(r.capture.type, k.type) << k.path;
      EXPECT_EQ(r.redirect, k.redirect) << k.path;
    }
    // Several threads at once read the same files (frames and movies are fetched side by side).
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&, t] {
        for (int round = 0; round < 10; ++round)
          for (const Case& k : cases)
            if (archive->Get(server.Url(k.path), {}).body != k.body) ++wrong[t];
      });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
    // Every capture of the movie is kept, oldest first: the first crawl fetched it twice (once
    // through the redirect), the second wrote the revisit.
    const std::vector<Capture> captures = archive->Captures(server.Url("/movies/a.swf"));
    ASSERT_EQ(captures.size(), 3u);
    EXPECT_EQ(captures[0].type, RecordType::kResponse);
    EXPECT_EQ(captures[2].type, RecordType::kRevisit);
    EXPECT_EQ(captures[2].file, 1u);
    inet::SourceAnswer missing = archive->Get(server.Url("/never-crawled.swf"), {});
    EXPECT_EQ(missing.error, inet::kSourceItemNotFound);
    EXPECT_FALSE(missing.reason.empty());
    // Alone, the second crawl's revisit finds its original by payload digest: none is there.
    auto alone = WarcArchive::Open({second + ext}, std::nullopt, {}, &failure);
    ASSERT_TRUE(alone);
    ArchivedResponse r;
    EXPECT_FALSE(alone->Find(server.Url("/movies/a.swf"), std::nullopt, 1 << 20, &r, &failure));
    EXPECT_EQ(failure.code, WarcError::kRevisitUnresolved);
  }
}

}  // namespace
}  // namespace trovex::warc

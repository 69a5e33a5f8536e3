// trovex-save and trovex-browser --list on crawls wget made of the test server, compressed and
// not: the same files, bytes and list as from the web, a movie only a frame names, a revisit
// record, a redirect inside the archive; what the crawl lacks fails with its reason and is never
// fetched, unless the network may be asked.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/http_server.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_env.h"
#include "tests/warc/wget_run.h"

namespace trovex::test {
namespace {

std::string Movie(std::size_t size, unsigned seed) {
  std::string bytes = "FWS\x0a";
  for (std::size_t i = 0; bytes.size() < size; ++i) bytes += static_cast<char>((i * seed + i / 5) & 0xff);
  return bytes;
}

std::map<std::string, std::string> FilesIn(const std::string& dir) {
  std::map<std::string, std::string> files;
  if (!std::filesystem::is_directory(dir)) return files;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    files[entry.path().filename().string()] = ReadFile(entry.path().string());
  return files;
}

TEST(WarcCommands, ACrawlGivesWhatTheWebGives) {
  IsolatedHome home;
  TestHttpServer server;
  const std::string a = Movie(150000, 31), b = Movie(40000, 7), gz = Movie(30000, 13), missing = Movie(900, 3);
  server.Reply("/page.html", 200,
               "<html><iframe src=frame.html></iframe><embed src=movies/a.swf><embed src=gz.swf>"
               "<embed src=moved.swf><embed src=missing.swf></html>",
               {"Content-Type: text/html"});
  server.Reply("/frame.html", 200, "<embed src=b.swf>", {"Content-Type: text/html"});
  server.Reply("/movies/a.swf", 200, a);
  server.Reply("/b.swf", 200, b, {"Transfer-Encoding: chunked"});
  server.Reply("/gz.swf", 200, EncodeBody(gz, "gzip"), {"Content-Encoding: gzip"});
  server.Redirect("/moved.swf", 302, "movies/a.swf");
  server.Reply("/missing.swf", 200, missing);
  const std::string work = home.dir().str();
  const std::string save = std::string(TROVEX_SAVE_EXE) + " --json --conflict overwrite ";
  const std::string list = std::string(TROVEX_BROWSER_EXE) + " --list ";
  const std::string page = server.Url("/page.html");

  const CommandResult webList = RunCommand(list + page, work);
  ASSERT_EQ(webList.exit, 0) << webList.err;
  const CommandResult web = RunCommand(save + "--dir web " + page, work);
  ASSERT_EQ(web.exit, 0) << web.err;
  const std::map<std::string, std::string> fromWeb = FilesIn(work + "/web");
  ASSERT_EQ(fromWeb.size(), 5u) << web.out;
  EXPECT_EQ(fromWeb.at("b.swf"), b);
  EXPECT_EQ(fromWeb.at("gz.swf"), gz);
  EXPECT_EQ(fromWeb.at("moved.swf"), a);

  for (bool compressed : {true, false}) {
    const std::string tag = compressed ? "gz" : "plain";
    const std::string first = work + "/first-" + tag, second = work + "/second-" + tag;
    const std::string ext = compressed ? ".warc.gz" : ".warc";
    // The crawl leaves missing.swf out; a second one finds a.swf unchanged and writes a revisit.
    std::vector<std::string> crawl = {"--warc-file=" + first, "--warc-cdx"};
    if (!compressed) crawl.push_back("--no-warc-compression");
    for (const char* path : {"/page.html", "/frame.html", "/movies/a.swf", "/b.swf", "/gz.swf", "/moved.swf"})
      crawl.push_back(server.Url(path));
    ASSERT_EQ(RunWget(crawl), 0) << "wget missing or failing";
    crawl = {"--warc-file=" + second, "--warc-dedup=" + first + ".cdx", server.Url("/movies/a.swf")};
    if (!compressed) crawl.push_back("--no-warc-compression");
    ASSERT_EQ(RunWget(crawl), 0);
    const std::string archives = "--warc " + first + ext + " --warc " + second + ext + " ";

    struct Case {
      std::string options;
      int exit;
      bool missingFetched;
    } cases[] = {
        {"", 1, false},
        {"--warc-fallback ", 0, true},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(tag + " " + c.options);
      std::map<std::string, int> requests;
      for (const char* path : {"/page.html", "/frame.html", "/movies/a.swf", "/b.swf", "/gz.swf", "/moved.swf", "/missing.swf"})
        requests[path] = server.CountRequests(path);
      const std::string dir = "from-" + tag + (c.missingFetched ? "-fallback" : "");
      const CommandResult r = RunCommand(save + archives + c.options + "--dir " + dir + " " + page, work);
      EXPECT_EQ(r.exit, c.exit) << r.err;
      std::map<std::string, std::string> expected = fromWeb;
      if (!c.missingFetched) expected.erase("missing.swf");
      EXPECT_TRUE(FilesIn(work + "/" + dir) == expected) << r.out;
      for (const auto& [path, count] : requests)
        EXPECT_EQ(server.CountRequests(path), count + (path == "/missing.swf" && c.missingFetched ? 1 : 0)) << path;
      if (!c.missingFetched) {
        // A failed row names the address and why: the archives do not hold it.
        EXPECT_NE(r.out.find("\"address\":\"" + server.Url("/missing.swf") + "\",\"bytes\":0,\"error\":\"無法下載「missing.swf」（" +
                             server.Url("/missing.swf") + "）：\\n網頁封存檔中沒有"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("\"failed\":1"), std::string::npos) << r.out;
      }
    }
    const CommandResult archivedList = RunCommand(list + archives + page, work);
    EXPECT_EQ(archivedList.exit, 0) << archivedList.err;
    EXPECT_EQ(archivedList.out, webList.out);
  }
  // A page the archives lack cannot be loaded; a file that is no archive is bad usage.
  struct Refused {
    std::string command;
    std::string said;
  } refused[] = {
      {save + "--dir none --warc " + work + "/first-gz.warc.gz " + server.Url("/other.html"), "網頁封存檔中沒有"},
      {list + "--warc " + work + "/first-gz.warc.gz " + server.Url("/other.html"), "網頁封存檔中沒有"},
      {save + "--dir none --warc " + work + "/web/b.swf " + page, "不是網頁封存檔"},
      {list + "--warc " + work + "/web/b.swf " + page, "不是網頁封存檔"},
      {save + "--dir none --warc " + work + "/first-gz.warc.gz --warc-date yesterday " + page, "無法辨識日期「yesterday」"},
      {list + "--warc-fallback " + page, "--warc-date and --warc-fallback go with --warc"},
      {std::string(TROVEX_BROWSER_EXE) + " --warc " + work + "/first-gz.warc.gz " + page, "--warc goes with --list"},
  };
  for (const Refused& k : refused) {
    const CommandResult r = RunCommand(k.command, work);
    EXPECT_EQ(r.exit, 2) << k.command;
    EXPECT_NE(r.err.find(k.said), std::string::npos) << k.command << "\n" << r.err;
  }
  EXPECT_EQ(server.CountRequests("/other.html"), 0);
  EXPECT_FALSE(std::filesystem::exists(work + "/none/b.swf"));
}

}  // namespace
}  // namespace trovex::test

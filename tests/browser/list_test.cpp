// trovex-browser --list end to end: the real program on pages served from 127.0.0.1 and read
// from disk, and the scanner on the page model in-process.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "pageloader/loader.h"
#include "browser/list_output.h"
#include "pageloader/url.h"
#include "scan/document_walker.h"
#include "tests/support/loopback_server.h"
#include "tests/support/swf_builder.h"
#include "tests/support/temp_env.h"

extern char** environ;

namespace trovex::browser {
namespace {

const std::string kFlashId = "clsid:D27CDB6E-AE6D-11CF-96B8-444553540000";
const std::string kBig5Movie = "\xBCv\xA4\xF9";                    // 影片 in Big5
const std::string kUtf8Movie = "\xE5\xBD\xB1\xE7\x89\x87";          // 影片 in UTF-8

struct RunResult {
  int nExit = -1;
  std::string strOut, strErr;
};

RunResult RunBrowser(const std::vector<std::string>& args) {
  test::TempDir io;
  std::string out = io.str() + "/out", err = io.str() + "/err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> all{TROVEX_BROWSER_EXE};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  RunResult run;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.nExit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.strOut = test::ReadFile(out);
  run.strErr = test::ReadFile(err);
  return run;
}

std::vector<std::vector<std::string>> Lines(const std::string& out) {
  std::vector<std::vector<std::string>> lines;
  std::size_t pos = 0;
  while (pos < out.size()) {
    std::size_t end = out.find('\n', pos);
    std::string line = out.substr(pos, end - pos);
    std::vector<std::string> fields;
    std::size_t f = 0;
    while (true) {
      std::size_t tab = line.find('\t', f);
      fields.push_back(line.substr(f, tab - f));
      if (tab == std::string::npos) break;
      f = tab + 1;
    }
    lines.push_back(fields);
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return lines;
}

// A site with frames in frames, an iframe, a 404 frame whose page still holds a movie, a frame
// that includes the page itself, a Big5 frame, OBJECT and EMBED variants and references written
// relative, root-relative and absolute.
void ServeSite(test::LoopbackServer& s) {
  s.Page("/index.html",
         "<frameset cols='50%,50%'><frame src='left.html'><frameset rows='*,*'>"
         "<frame src='sub/right.html'><frame src='missing.html'></frameset>"
         "<frame src='index.html'></frameset>");
  s.Page("/left.html", "<object classid='" + kFlashId + "'><param name=movie value='movies/intro.swf'>"
                       "<embed src='movies/intro.swf'></object>"
                       "<embed src='/movies/Intro.swf'><iframe src='inner/iframe.html'></iframe>");
  s.Page("/inner/iframe.html",
         "<embed src='../movies/relative.swf?v=2' type='Application/X-Shockwave-Flash'>"
         "<object type='application/x-shockwave-flash' data='nope.swf'></object>");
  s.Page("/sub/right.html",
         "<p>\xA4\xA4\xA4\xE5</p><embed src='" + s.Url("/movies/abs.swf") + "'>"
         "<embed src=' /movies/intro.swf '><embed src='" + kBig5Movie + ".swf'>",
         "text/html; charset=big5");
  s.Set("/missing.html", test::HttpAnswer{404, "text/html", "<embed src='/movies/from404.swf'>", ""});
  for (const char* m : {"/movies/intro.swf", "/movies/Intro.swf", "/movies/relative.swf?v=2",
                        "/movies/abs.swf", "/movies/from404.swf"})
    s.Page(m, std::string("FWS") + m, "application/x-shockwave-flash");
}

class ListTest : public ::testing::Test {
 protected:
  test::IsolatedHome home_;
};

TEST_F(ListTest, ListsTheMoviesOfAllFramesOverHttp) {
  test::LoopbackServer server;
  ServeSite(server);
  RunResult run = RunBrowser({"--list", server.Url("/index.html")});
  ASSERT_EQ(run.nExit, 0) << run.strErr;
  std::string u = server.Url("");
  std::string expected =
      u + "/movies/Intro.swf\t\tIntro.swf\t-1\t\t\t\t\t\n" +
      u + "/movies/abs.swf\t\tabs.swf\t-1\t\t\t\t\t\n" +
      u + "/movies/from404.swf\t\tfrom404.swf\t-1\t\t\t\t\t\n" +
      u + "/movies/intro.swf\t\tintro.swf\t-1\t\t\t\t\t\n" +
      u + "/movies/relative.swf?v=2\t\trelative.swf\t-1\t\t\t\t\t\n" +
      u + "/sub/" + kUtf8Movie + ".swf\t\t" + kUtf8Movie + ".swf\t-1\t\t\t\t\t\n";
  EXPECT_EQ(run.strOut, expected);
  EXPECT_EQ(server.CountRequests("/index.html"), 1) << "the self-including frame is refused";
  EXPECT_EQ(server.CountRequests("/movies/intro.swf"), 0) << "without --plugins no movie is fetched";
}

TEST_F(ListTest, PluginsPutTheMoviesInTheCache) {
  test::LoopbackServer server;
  ServeSite(server);
  RunResult run = RunBrowser({"--plugins", "--list", server.Url("/index.html")});
  ASSERT_EQ(run.nExit, 0) << run.strErr;
  auto lines = Lines(run.strOut);
  ASSERT_EQ(lines.size(), 6u) << run.strOut;
  for (std::size_t i = 0; i < 5; ++i) {
    const auto& f = lines[i];
    ASSERT_EQ(f.size(), 9u);
    std::string path = f[0].substr(server.Url("").size());
    ASSERT_FALSE(f[1].empty()) << f[0] << " should be copied from the cache";
    EXPECT_EQ(f[1].rfind(home_.cache(), 0), 0u) << f[1];
    EXPECT_EQ(test::ReadFile(f[1]), "FWS" + path);
    // Named by the address, as the same movie out of the cache is; the cache adds its counter.
    std::string cacheName = std::filesystem::path(f[1]).filename().string();
    cacheName.erase(cacheName.find("[1]"), 3);
    EXPECT_EQ(f[2], cacheName);
    EXPECT_EQ(f[3], std::to_string(3 + path.size()));
  }
  EXPECT_EQ(server.CountRequests("/movies/intro.swf"), 1) << "the nested EMBED is not played";
}

// A movie's redirects are followed as far as a save follows them, in --plugins too: four, not
// a fifth.
TEST_F(ListTest, PluginsFollowAsManyRedirectsAsASave) {
  struct Case {
    int redirects;
    bool cached;
  } cases[] = {{4, true}, {5, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.redirects);
    test::LoopbackServer server;
    const std::string hop = "/r" + std::to_string(c.redirects) + "-";
    server.Page("/index.html", "<embed src='" + hop + "0.swf'>");
    for (int i = 0; i < c.redirects; ++i)
      server.Set(hop + std::to_string(i) + ".swf",
                 test::HttpAnswer{302, "text/html", "", server.Url(hop + std::to_string(i + 1) + ".swf")});
    server.Page(hop + std::to_string(c.redirects) + ".swf", "FWS end", "application/x-shockwave-flash");
    RunResult run = RunBrowser({"--plugins", "--list", server.Url("/index.html")});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    auto lines = Lines(run.strOut);
    ASSERT_EQ(lines.size(), 1u) << run.strOut;
    EXPECT_EQ(!lines[0][1].empty(), c.cached) << run.strOut;
  }
}

// "%2e%2e" is ".." to the cache: the player fetches the address the cache keys, so a row's
// local copy holds the bytes of its own address, not what the server says for the raw text.
TEST_F(ListTest, PluginsCacheTheBytesOfTheAddressTheRowShows) {
  test::LoopbackServer server;
  server.Page("/index.html", "<embed src='/a/%2e%2e/b.swf'><embed src='/c/.%2E/d.swf'>");
  server.Page("/a/%2e%2e/b.swf", "FWS other", "application/x-shockwave-flash");
  server.Page("/b.swf", "FWS b", "application/x-shockwave-flash");
  server.Page("/c/.%2E/d.swf", "FWS other", "application/x-shockwave-flash");
  server.Page("/d.swf", "FWS d", "application/x-shockwave-flash");
  RunResult run = RunBrowser({"--plugins", "--list", server.Url("/index.html")});
  ASSERT_EQ(run.nExit, 0) << run.strErr;
  auto lines = Lines(run.strOut);
  ASSERT_EQ(lines.size(), 2u) << run.strOut;
  for (const auto& f : lines) {
    ASSERT_EQ(f.size(), 9u);
    const std::string path = f[0].substr(server.Url("").size());
    ASSERT_FALSE(f[1].empty()) << run.strOut;
    EXPECT_EQ(test::ReadFile(f[1]), "FWS " + path.substr(1, 1)) << f[0];
  }
}

// The player stores a movie under the %-escaped address it fetched; the scanner looks it up
// with the page's text in the locale's code page. A movie named 影片.swf is listed as a copy
// from the cache, in a UTF-8 and a Big5 locale, from a UTF-8 and a Big5 page.
TEST_F(ListTest, CachedMovieWithANonAsciiNameIsListedFromTheCache) {
  struct Case {
    const char* locale;
    const char* charset;
    std::string movieRef;  // in the page's charset
    std::string listedPath;
  };
  const Case cases[] = {
      {"C.UTF-8", "utf-8", kUtf8Movie + ".swf", kUtf8Movie + ".swf"},
      {"C.UTF-8", "big5", kBig5Movie + ".swf", kUtf8Movie + ".swf"},
      {"zh_TW.BIG5", "big5", kBig5Movie + ".swf", kUtf8Movie + ".swf"},
      // Written escaped, listed as written; the cache still knows it.
      {"zh_TW.BIG5", "utf-8", "%E5%BD%B1%E7%89%87.swf", "%E5%BD%B1%E7%89%87.swf"},
  };
  const std::string body = "FWS-movie-bytes";
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + ", " + c.charset + " page");
    std::string saved = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, c.locale)) {
      ADD_FAILURE() << c.locale << " is not installed";
      continue;
    }
    std::setlocale(LC_ALL, saved.c_str());
    test::IsolatedHome home;
    test::ScopedEnv env;
    env.Set("LC_ALL", c.locale);
    test::LoopbackServer server;
    server.Page("/big5/index.html", "<embed src='" + c.movieRef + "'>",
                std::string("text/html; charset=") + c.charset);
    server.Page("/big5/%E5%BD%B1%E7%89%87.swf", body, "application/x-shockwave-flash");

    RunResult run = RunBrowser({"--list", "--plugins", server.Url("/big5/index.html")});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(server.CountRequests("/big5/%E5%BD%B1%E7%89%87.swf"), 1);
    auto lines = Lines(run.strOut);
    ASSERT_EQ(lines.size(), 1u) << run.strOut;
    const auto& f = lines[0];
    ASSERT_EQ(f.size(), 9u) << run.strOut;
    EXPECT_EQ(f[0], server.Url("/big5/") + c.listedPath);
    ASSERT_FALSE(f[1].empty()) << "not found in the cache: " << run.strOut;
    EXPECT_EQ(f[1].rfind(home.cache() + "/", 0), 0u) << f[1];
    EXPECT_EQ(f[2], kUtf8Movie + ".swf");
    EXPECT_EQ(f[3], std::to_string(body.size()));

    // The listed file is the movie, under the name the locale gives it on disk.
    std::setlocale(LC_ALL, c.locale);
    std::string onDisk;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home.cache()))
      if (entry.is_regular_file() && ListField(entry.path().string()) == f[1])
        onDisk = entry.path();
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_FALSE(onDisk.empty()) << f[1];
    EXPECT_EQ(test::ReadFile(onDisk), body);
  }
}

TEST_F(ListTest, LocalPagesWithEscapedNames) {
  test::TempDir dir;
  std::string site = dir.str() + "/my site";
  dir.WriteFile("my site/movies/a b.swf", "FWS12345");
  // A real movie: its facts follow the size.
  testing::SwfHeader header;
  header.version = 9;
  header.xMax = 550 * 20;
  header.yMax = 400 * 20;
  const std::string movie = testing::SwfMovie(header, testing::SwfFileAttributes(true), testing::SwfPacking::kZlib);
  dir.WriteFile("my site/movies/c.swf", movie);
  dir.WriteFile("my site/movies/" + kUtf8Movie + ".swf", "FWS12");
  dir.WriteFile("my site/frames/f#1.html", "<embed src='../movies/c.swf'>");
  std::string page = dir.WriteFile(
      "my site/index page.html",
      "<meta charset=utf-8><embed src='movies/a b.swf'><object classid='" + kFlashId + "'>"
      "<param name=MOVIE value='movies/%E5%BD%B1%E7%89%87.swf'></object>"
      "<embed src='movies/missing.swf'><iframe src='frames/f%231.html'></iframe>");
  std::string expected = site + "/movies/a b.swf\t" + site + "/movies/a b.swf\ta b.swf\t8\t\t\t\t\t\n" +
                         site + "/movies/c.swf\t" + site + "/movies/c.swf\tc.swf\t" + std::to_string(movie.size()) +
                         "\t9\t3\t550\t400\t24\n" +
                         site + "/movies/missing.swf\t" + site + "/movies/missing.swf\tmissing.swf\t-1\t\t\t\t\t\n" +
                         site + "/movies/" + kUtf8Movie + ".swf\t" + site + "/movies/" + kUtf8Movie +
                         ".swf\t" + kUtf8Movie + ".swf\t5\t\t\t\t\t\n";
  for (const std::string& arg : {page, FilePathToUrl(page)}) {
    RunResult run = RunBrowser({"--list", arg});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(run.strOut, expected) << arg;
  }
}

TEST_F(ListTest, FailuresAndUsage) {
  test::TempDir dir;
  struct Case {
    std::vector<std::string> args;
    int nExit;
    const char* errorPart;
  } cases[] = {
      {{"--list", dir.str() + "/nothing.html"}, 2, "無法載入"},
      {{"--list", dir.str() + "/nothing.html"}, 2, "找不到檔案"},
      {{"--list", "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/"}, 2, "無法載入"},
      {{"--list", "ftp://127.0.0.1/x.html"}, 2, "不支援的網址類型「ftp」"},
      {{"--list"}, 2, "沒有指定頁面"},
      {{"--list", "a.html", "b.html"}, 2, "只能指定一個頁面"},
      {{"--frobnicate", "a.html"}, 2, "無法辨識的選項 --frobnicate"},
      {{"--list", "--save-dialog", "a.html"}, 2, "不能同時使用"},
      {{"--live", "a.html"}, 2, "必須與 --list 一起使用"},
      {{"--frobnicate"}, 2, "用法：trovex-browser"},
  };
  for (const Case& c : cases) {
    RunResult run = RunBrowser(c.args);
    EXPECT_EQ(run.nExit, c.nExit) << c.args.back();
    EXPECT_NE(run.strErr.find(c.errorPart), std::string::npos) << run.strErr;
    EXPECT_EQ(run.strOut, "");
  }
  // A page without movies is no failure: an empty list.
  std::string empty = dir.WriteFile("empty.html", "<p>nothing here</p>");
  RunResult run = RunBrowser({"--list", empty});
  EXPECT_EQ(run.nExit, 0);
  EXPECT_EQ(run.strOut, "");
}

// The walker's own cases, now on pages the browser really loaded.
TEST_F(ListTest, WalkerEdgeCasesOnLoadedPages) {
  std::setlocale(LC_ALL, "C.UTF-8");
  test::LoopbackServer server;
  server.Page("/p.html",
              "<object classid='" + kFlashId + "' movie=''></object>"               // empty movie
              "<object classid='" + kFlashId + "'><param name=movie value='  both.swf  '>"
              "<embed src='both.swf'></object>"                                      // one entry
              "<embed src='upper.SWF'><embed src='q.swf?v=2'>"                       // suffix only
              "<embed src='typed?v=2' type='APPLICATION/x-shockwave-flash'>"
              "<embed type='application/x-shockwave-flash'>"                         // no src
              "<embed src='&#9;tab.swf'>"                                            // tab kept
              "<iframe src='http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/'></iframe>"
              "<iframe src='f.html'></iframe>");
  server.Page("/f.html", "<embed src='/both.swf'>");
  std::string error;
  ComPtr<IWebBrowser2> browser = LoadPage(server.Url("/p.html"), {}, &error);
  ASSERT_TRUE(browser) << error;
  SWFFileList list;
  EXPECT_EQ(ScanDocument(DocumentOf(browser.Get()).Get(), list), 0);
  std::string u = server.Url("");
  // The tab stays in the address (and sorts first); the output shows it escaped.
  std::string out = FormatMovieList(list);
  std::string tabLine = u + "/\\ttab.swf\t";
  ASSERT_EQ(out.compare(0, tabLine.size(), tabLine), 0) << out;
  EXPECT_EQ(out.substr(out.find('\n') + 1),
            u + "/both.swf\t\tboth.swf\t-1\t\t\t\t\t\n" +
            u + "/typed?v=2\t\ttyped.swf\t-1\t\t\t\t\t\n" +
            u + "/upper.SWF\t\tupper.swf\t-1\t\t\t\t\t\n");
  browser.Reset();
  list.RemoveAll();
  EXPECT_EQ(LiveDomObjectCount(), 0u);
}

TEST(ListField, ControlCharactersCannotBreakTheLine) {
  std::setlocale(LC_ALL, "C.UTF-8");
  EXPECT_EQ(ListField("a\tb\nc\rd\x01" "e"), "a\\tb\\nc\\rd\\x01e");
  // A "\" of the name is escaped too, so no name reads like another with a tab in it.
  EXPECT_EQ(ListField("a\\tb"), "a\\\\tb");
  EXPECT_NE(ListField("a\\tb"), ListField("a\tb"));
  EXPECT_EQ(ListField("http://h\\x\\"), "http://h\\\\x\\\\");
  EXPECT_EQ(ListField(kUtf8Movie), kUtf8Movie);
  // Long fields, with the byte to escape anywhere.
  const std::string text = "http://example.com/" + kUtf8Movie + "/movies/clip.swf";
  for (std::size_t at = 0; at <= text.size(); ++at)
    for (const auto& [raw, escaped] : {std::pair{"\x1F", "\\x1f"}, {"\x7F", "\\x7f"}, {"\\", "\\\\"}, {"\n", "\\n"}}) {
      std::string field = text;
      field.insert(at, raw);
      std::string expected = text;
      expected.insert(at, escaped);
      EXPECT_EQ(ListField(field), expected) << at;
    }
  if (std::setlocale(LC_ALL, "zh_TW.BIG5")) {
    EXPECT_EQ(ListField(kBig5Movie + ".swf"), kUtf8Movie + ".swf");
    std::setlocale(LC_ALL, "C.UTF-8");
  }
}

// A long list is written a block at a time: the same text as one string, and a failed write
// is said, not taken for a complete list.
TEST(ListOutput, WrittenAsFormattedAndFailuresAreSaid) {
  std::setlocale(LC_ALL, "C.UTF-8");
  test::TempDir dir;
  for (int movies : {0, 1, 5000}) {
    SCOPED_TRACE(movies);
    SWFFileList list;
    for (int i = 0; i < movies; ++i) {
      SWFFileInfo info;
      info.strURL = "http://h/movies/" + std::to_string(i) + "\t.swf";
      info.strFileName = std::to_string(i) + ".swf";
      info.nSize = i;
      list.Store(std::move(info));
    }
    const std::string path = dir.WriteFile("list.txt", "");
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_TRUE(file);
    EXPECT_TRUE(WriteMovieList(list, file));
    std::fclose(file);
    std::ifstream in(path, std::ios::binary);
    std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(written, FormatMovieList(list));
    if (movies == 5000) {
      EXPECT_GT(written.size(), 3u * 65536);  // several blocks
      std::FILE* readOnly = std::fopen(path.c_str(), "r");
      ASSERT_TRUE(readOnly);
      EXPECT_FALSE(WriteMovieList(list, readOnly));
      std::fclose(readOnly);
    }
  }
}

// Frames past the frame-count and nesting limits: one summary line each, always; the details
// only with --verbose, and a bounded number of them.
TEST(ListLimits, CutFramesAreSummedUpInOneLinePerLimit) {
  test::TempDir dir;
  dir.WriteFile("leaf.html", "<embed src='leaf.swf'>");
  std::string wide;
  for (int i = 0; i < 3000; ++i) wide += "<iframe src='leaf.html?" + std::to_string(i) + "'></iframe>";
  const std::string widePage = dir.WriteFile("wide.html", wide);
  for (int i = 0; i < 40; ++i)
    dir.WriteFile("d" + std::to_string(i) + ".html",
                  "<embed src='deep" + std::to_string(i) + ".swf'>"
                  "<iframe src='d" + std::to_string(i + 1) + ".html'></iframe>");
  const std::string deepPage = dir.str() + "/d0.html";
  struct Case {
    std::string page;
    const char* summary;
  } cases[] = {{widePage, "超過 1000 個框架：2000 個沒有載入"},
               {deepPage, "框架巢狀超過 16 層：1 個沒有載入"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.summary);
    for (bool verbose : {false, true}) {
      std::vector<std::string> args = {"--list", c.page};
      if (verbose) args.insert(args.begin(), "--verbose");
      RunResult run = RunBrowser(args);
      EXPECT_EQ(run.nExit, 0) << run.strErr;
      EXPECT_FALSE(run.strOut.empty());
      const std::string line = std::string("trovex-browser：") + c.summary + "\n";
      std::size_t at = run.strErr.find(line);
      EXPECT_NE(at, std::string::npos) << run.strErr.substr(0, 2000);
      if (at != std::string::npos) {
        EXPECT_EQ(run.strErr.find(line, at + 1), std::string::npos);
      }
      const auto lines = std::count(run.strErr.begin(), run.strErr.end(), '\n');
      if (verbose)
        EXPECT_LE(lines, 60) << run.strErr.substr(0, 2000);
      else
        EXPECT_EQ(lines, 1) << run.strErr.substr(0, 2000);
    }
  }
}

}  // namespace
}  // namespace trovex::browser

namespace trovex::browser {
namespace {

// The demo site in samples/ lists the movies it is meant to show, and they are valid SWF files.
TEST(DemoSite, ListsItsMoviesFromDisk) {
  test::IsolatedHome home;
  std::string site = std::string(TROVEX_SOURCE_DIR) + "/samples/site";
  RunResult run = RunBrowser({"--list", site + "/index.html"});
  ASSERT_EQ(run.nExit, 0) << run.strErr;
  std::vector<std::string> names;
  for (const auto& f : Lines(run.strOut)) {
    ASSERT_EQ(f.size(), 9u);
    names.push_back(f[2]);
    if (f[1].rfind(site, 0) != 0) continue;  // not a local movie of the site
    std::string data = test::ReadFile(f[1]);
    ASSERT_GE(data.size(), 8u) << f[1];
    EXPECT_EQ(data.substr(0, 3), "FWS") << f[1];
    std::uint32_t length = 0;  // the header's file length, little-endian
    for (int i = 7; i >= 4; --i) length = length << 8 | static_cast<unsigned char>(data[i]);
    EXPECT_EQ(length, data.size()) << f[1];
    EXPECT_EQ(f[3], std::to_string(data.size()));
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"banner.swf", "clock.swf", "game.swf", "intro.swf",
                                             "menu.swf", "partner.swf", kUtf8Movie + ".swf"}));
}

// A list that a page limit shortened says so without --verbose, or it would read as complete.
TEST(ListLimits, WhatThePageLimitsCutIsReported) {
  test::TempDir dir;
  // Many tags, and deep nesting (which would take the parser minutes and then its stack).
  const struct {
    const char* tag;
    const char* note;
  } cases[] = {{"<br>", "每份文件的標籤上限"}, {"<div>", "巢狀上限"}};
  for (const auto& c : cases) {
    std::string html = "<embed src='first.swf'>";
    for (int i = 0; i < 600'000; ++i) html += c.tag;
    html += "<embed src='late.swf'>";
    std::string page = dir.WriteFile("many.html", html);
    RunResult run = RunBrowser({"--list", page});
    EXPECT_EQ(run.nExit, 0) << c.tag << run.strErr;
    EXPECT_NE(run.strOut.find("first.swf"), std::string::npos) << c.tag;
    EXPECT_EQ(run.strOut.find("late.swf"), std::string::npos) << c.tag;
    EXPECT_NE(run.strErr.find(c.note), std::string::npos) << run.strErr;
  }
}

}  // namespace
}  // namespace trovex::browser

// trovex-save as a user runs it, against a server on 127.0.0.1: pages sharing movies, every
// conflict policy, a failing movie, Ctrl+C during a slow download, JSON lines and pages from
// standard input.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "settings/profile.h"
#include "tests/support/http_server.h"
#include "tests/support/movie_site.h"
#include "tests/support/temp_env.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using trovex::test::ReadFile;

struct Result {
  int exit = -1;
  std::string out, err;
  std::vector<nlohmann::json> lines;  // stdout parsed as JSON lines, when it is
};

// Standard output read as JSON lines (a line that is not JSON is kept as discarded).
std::vector<nlohmann::json> JsonLines(const std::string& out) {
  std::vector<nlohmann::json> lines;
  std::size_t start = 0;
  while (start < out.size()) {
    std::size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    lines.push_back(nlohmann::json::parse(out.substr(start, end - start), nullptr, false));
    start = end + 1;
  }
  return lines;
}

// Runs trovex-save with the arguments; `input` goes to its standard input, `locale` (when
// given) is its LC_ALL.
Result RunSave(const trovex::test::IsolatedHome& home, const std::vector<std::string>& args,
               const std::string& input = "", const std::string& locale = "") {
  const std::string base = home.dir().str() + "/run";
  std::ofstream(base + ".in") << input;
  std::string command = (locale.empty() ? "" : "LC_ALL=" + locale + " ") + std::string(TROVEX_SAVE_EXE);
  for (const std::string& arg : args) command += " '" + arg + "'";
  command += " <" + base + ".in >" + base + ".out 2>" + base + ".err";
  const int status = std::system(command.c_str());
  Result result;
  result.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadFile(base + ".out");
  result.err = ReadFile(base + ".err");
  result.lines = JsonLines(result.out);
  return result;
}

// The movie lines (not the summary) by address path.
std::map<std::string, nlohmann::json> Movies(const Result& r) {
  std::map<std::string, nlohmann::json> out;
  for (const auto& line : r.lines) {
    if (line.is_discarded() || line.contains("summary") || !line.contains("address")) continue;
    const std::string address = line["address"];
    out[address.substr(address.rfind('/'))] = line;
  }
  return out;
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Movie(const std::string& tag) { return "FWS" + tag + std::string(600, 'x'); }

// /page.html embedding NAME.swf for each name, each served as Movie(tag + NAME).
void ServePage(trovex::test::TestHttpServer& server, const std::vector<std::string>& names,
               const std::string& tag = "") {
  std::string page;
  for (const std::string& name : names) {
    page += "<embed src=" + name + ".swf>";
    server.Reply("/" + name + ".swf", 200, Movie(tag + name));
  }
  server.Reply("/page.html", 200, page);
}

TEST(SaveCommand, PagesSharingAMovieFetchItOnce) {
  trovex::test::IsolatedHome home;
  trovex::test::TestHttpServer server;
  server.Reply("/p1.html", 200, "<embed src=a.swf><embed src=shared.swf>");
  server.Reply("/p2.html", 200, "<object classid='clsid:D27CDB6E-AE6D-11CF-96B8-444553540000'>"
                                "<param name=movie value=shared.swf></object><embed src=b.swf>");
  for (const char* name : {"a", "b", "shared"}) server.Reply(std::string("/") + name + ".swf", 200, Movie(name));
  const std::string dir = home.dir().str() + "/out";

  // The second page comes from standard input, after the first from the command line.
  Result r = RunSave(home, {"--dir", dir, "--json", server.Url("/p1.html"), "-"}, server.Url("/p2.html") + "\n");
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"a.swf", "b.swf", "shared.swf"}));
  EXPECT_EQ(ReadFile(dir + "/shared.swf"), Movie("shared"));
  EXPECT_EQ(server.CountRequests("/shared.swf"), 1);
  auto movies = Movies(r);
  ASSERT_EQ(movies.size(), 3u) << r.out;
  EXPECT_EQ(movies["/a.swf"]["status"], "saved");
  EXPECT_EQ(movies["/a.swf"]["bytes"], Movie("a").size());
  EXPECT_EQ(movies["/a.swf"]["target"], dir + "/a.swf");
  EXPECT_EQ(movies["/b.swf"]["page"], server.Url("/p2.html"));
  // One line per movie and page: the shared one appears for the second page as already saved.
  int sharedLines = 0;
  for (const auto& line : r.lines)
    if (line.contains("address") && line["address"] == server.Url("/shared.swf")) {
      ++sharedLines;
      if (line["page"] == server.Url("/p2.html")) {
        EXPECT_EQ(line["status"], "already-saved");
        EXPECT_EQ(line["target"], dir + "/shared.swf");
      }
    }
  EXPECT_EQ(sharedLines, 2);
  const nlohmann::json& summary = r.lines.back();
  EXPECT_EQ(summary["summary"], true);
  EXPECT_EQ(summary["saved"], 3);
  EXPECT_EQ(summary["alreadySaved"], 1);
  EXPECT_EQ(summary["pages"], 2);
  EXPECT_EQ(summary["exitCode"], 0);
  // The folder is remembered as the dialog remembers it.
  trovex::SetDefaultProfileRoot();
  EXPECT_EQ(trovex::ReadLastSaveDir(), dir);
}

TEST(SaveCommand, EveryConflictPolicyOnAFolderWithClashes) {
  trovex::test::IsolatedHome home;
  trovex::test::TestHttpServer server;
  ServePage(server, {"a", "b"}, "new-");
  struct Case {
    std::vector<std::string> option;
    int stored;  // "Conflict Action" in the settings; -1: none
    std::vector<std::string> files;
    std::string aContent;
    std::string aStatus;
  } cases[] = {
      {{"--conflict", "rename"}, -1, {"a.swf", "a[1].swf", "b.swf"}, "old", "saved"},
      {{"--conflict", "overwrite"}, -1, {"a.swf", "b.swf"}, Movie("new-a"), "saved"},
      {{"--conflict", "skip"}, -1, {"a.swf", "b.swf"}, "old", "skipped"},
      // No terminal to ask on: the clash is skipped.
      {{"--conflict", "ask"}, -1, {"a.swf", "b.swf"}, "old", "skipped"},
      {{}, -1, {"a.swf", "b.swf"}, "old", "skipped"},  // the stored default asks
      {{}, 0, {"a.swf", "a[1].swf", "b.swf"}, "old", "saved"},
      {{}, 1, {"a.swf", "b.swf"}, Movie("new-a"), "saved"},
  };
  int round = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.option) + " stored " + std::to_string(c.stored));
    trovex::SetDefaultProfileRoot();
    trovex::AppProfile().WriteProfileInt(trovex::kSectionTrovex, trovex::kValueConflictAction,
                                         c.stored < 0 ? 3 : c.stored);
    const std::string dir = home.dir().str() + "/out" + std::to_string(round++);
    fs::create_directories(dir);
    std::ofstream(dir + "/a.swf") << "old";
    std::vector<std::string> args = c.option;
    for (const std::string& arg : {std::string("--dir"), dir, std::string("--json"), server.Url("/page.html")})
      args.push_back(arg);
    Result r = RunSave(home, args);
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(FilesIn(dir), c.files);
    EXPECT_EQ(ReadFile(dir + "/a.swf"), c.aContent);
    EXPECT_EQ(ReadFile(dir + "/b.swf"), Movie("new-b"));
    EXPECT_EQ(Movies(r)["/a.swf"]["status"], c.aStatus) << r.out;
  }
}

TEST(SaveCommand, AFailingMovieAmongGoodOnesExitsOne) {
  trovex::test::IsolatedHome home;
  trovex::test::TestHttpServer server;
  server.Reply("/page.html", 200, "<embed src=a.swf><embed src=gone.swf><embed src=z.swf>");
  server.Reply("/a.swf", 200, Movie("a"));
  server.Reply("/gone.swf", 404, "not here");
  server.Reply("/z.swf", 200, Movie("z"));
  const std::string dir = home.dir().str() + "/out";

  Result json = RunSave(home, {"--dir", dir, "--json", server.Url("/page.html")});
  EXPECT_EQ(json.exit, 1) << json.err;
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"a.swf", "z.swf"}));
  auto movies = Movies(json);
  EXPECT_EQ(movies["/gone.swf"]["status"], "failed");
  EXPECT_NE(movies["/gone.swf"]["error"], "");
  EXPECT_EQ(json.lines.back()["failed"], 1);

  // Without --json: one line per finished movie, with the engine's status texts.
  Result plain = RunSave(home, {"--dir", dir, "--conflict", "overwrite", server.Url("/page.html")});
  EXPECT_EQ(plain.exit, 1);
  EXPECT_NE(plain.out.find("完成\t" + dir + "/a.swf\t1 KB\n"), std::string::npos) << plain.out;
  EXPECT_NE(plain.out.find("失敗\t" + server.Url("/gone.swf") + "\t"), std::string::npos) << plain.out;
  EXPECT_NE(plain.out.find("無法下載「gone.swf」"), std::string::npos) << plain.out;
  EXPECT_NE(plain.err.find("已儲存 2 個"), std::string::npos) << plain.err;
}

// Under a double-byte locale every line is in its code page, the status word and the path alike,
// as the terminal shows them.
TEST(SaveCommand, PlainLinesAreInTheLocalesCodePage) {
  trovex::test::IsolatedHome home;
  trovex::test::TestHttpServer server;
  ServePage(server, {"a", "b"});
  const std::string dir = home.dir().str() + "/out";
  fs::create_directories(dir);
  std::ofstream(dir + "/a.swf") << "old";

  Result r = RunSave(home, {"--dir", dir, "--conflict", "skip", server.Url("/page.html")}, "", "zh_TW.BIG5");
  EXPECT_EQ(r.exit, 0) << r.err;
  const std::string skipped = "\xb2\xa4\xb9\x4c", done = "\xa7\xb9\xa6\xa8";  // Big5 for 略過, 完成
  EXPECT_NE(r.out.find(skipped + "\t" + dir + "/a.swf\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(done + "\t" + dir + "/b.swf\t1 KB\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("略過"), std::string::npos) << "UTF-8 among Big5: " << r.out;
  // The summary too.
  EXPECT_NE(r.err.find("\xa4\x77\xc0\x78\xa6\x73 1 "), std::string::npos) << r.err;  // 已儲存 1
  EXPECT_EQ(r.err.find("已儲存"), std::string::npos) << r.err;
}

TEST(SaveCommand, BadUsageAndUnloadablePagesExitTwo) {
  trovex::test::IsolatedHome home;
  trovex::test::TestHttpServer server;
  server.Reply("/missing.html", 404, "<embed src=a.swf>");
  server.Reply("/a.swf", 200, Movie("a"));
  const std::string dir = home.dir().str() + "/out";
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string errPart;
  } cases[] = {
      {{"--dir", dir}, 2, "未指定任何網頁"},
      {{"--conflict", "maybe", "x.html"}, 2, "--conflict 只接受"},
      {{"--dir", dir, server.Url("/missing.html")}, 2, "伺服器回應 HTTP 404"},
      {{"--dir", dir, home.dir().str() + "/nothing-here.html"}, 2, "無法載入"},
      {{"--dir", "/proc/none/x", server.Url("/missing.html")}, 2, "/proc/none/x"},
      // One page of two loads: the other's failure is a failure, not bad usage.
      {{"--dir", dir, server.Url("/missing.html"), home.dir().WriteFile("ok.html", "<embed src='" + server.Url("/a.swf") + "'>")}, 1, "HTTP 404"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    Result r = RunSave(home, c.args);
    EXPECT_EQ(r.exit, c.exit);
    EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
  }
}

TEST(SaveCommand, CtrlCDuringASlowDownloadKeepsNoPartialFile) {
  trovex::test::IsolatedHome home;
  trovex::test::TestHttpServer server;
  server.Reply("/page.html", 200, "<embed src=a_fast.swf><embed src=m_slow.swf><embed src=z_later.swf>");
  server.Reply("/a_fast.swf", 200, Movie("a"));
  server.Reply("/z_later.swf", 200, Movie("z"));
  server.Handle("/m_slow.swf", [](const trovex::test::HttpRequest&, trovex::test::HttpConnection& c) {
    c.Write("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\nConnection: close\r\n\r\nFWS");
    for (int i = 0; i < 600 && c.Write(std::string(100, 'y')); ++i)
      if (!c.Sleep(100)) return;
  });
  const std::string dir = home.dir().str() + "/out";
  fs::create_directories(dir);
  std::ofstream(dir + "/m_slow.swf") << "old";

  const std::string out = home.dir().str() + "/int.out", err = home.dir().str() + "/int.err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::string page = server.Url("/page.html");
  const char* argv[] = {TROVEX_SAVE_EXE, "--dir", dir.c_str(), "--conflict", "overwrite", "--json", page.c_str(), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, TROVEX_SAVE_EXE, &actions, nullptr, const_cast<char**>(argv), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  // Interrupt once the slow body is flowing.
  for (int i = 0; i < 300 && server.CountRequests("/m_slow.swf") == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130) << ReadFile(err);

  // The finished movie stays, the old target is untouched, no temporary file is left, and the
  // movie after the interrupted one was never fetched.
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"a_fast.swf", "m_slow.swf"}));
  EXPECT_EQ(ReadFile(dir + "/m_slow.swf"), "old");
  EXPECT_EQ(server.CountRequests("/z_later.swf"), 0);
  Result r;
  r.out = ReadFile(out);
  r.lines = JsonLines(r.out);
  EXPECT_EQ(Movies(r)["/m_slow.swf"]["status"], "cancelled") << r.out;
  // The movie never tried is accounted for too, and the summary adds up.
  EXPECT_EQ(Movies(r)["/z_later.swf"]["status"], "cancelled") << r.out;
  ASSERT_FALSE(r.lines.empty());
  const nlohmann::json& summary = r.lines.back();
  EXPECT_EQ(summary["interrupted"], true);
  EXPECT_EQ(summary["exitCode"], 130);
  EXPECT_EQ(summary["saved"], 1);
  EXPECT_EQ(summary["cancelled"], 2);
  EXPECT_EQ(Movies(r).size(), 3u);
}

// Ctrl+C before any movie is saved: the load (of the page, or of its movies with --plugins)
// gives up at once, not after the stall limit, with the summary and no load failure.
TEST(SaveCommand, CtrlCWhileAPageLoadsStopsAtOnce) {
  trovex::test::IsolatedHome home;
  trovex::test::TestHttpServer server;
  const auto drip = [](const trovex::test::HttpRequest&, trovex::test::HttpConnection& c) {
    c.Write("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\nConnection: close\r\n\r\n<embed src=a.swf>");
    for (int i = 0; i < 600 && c.Write(" "); ++i)
      if (!c.Sleep(100)) return;
  };
  server.Handle("/slow.html", drip);
  server.Handle("/slow.swf", drip);
  server.Reply("/page.html", 200, "<embed src=slow.swf>");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string waitFor;  // interrupted once this is being served
  } cases[] = {
      {"page", {server.Url("/slow.html")}, "/slow.html"},
      {"plugins", {"--plugins", server.Url("/page.html")}, "/slow.swf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = home.dir().str() + "/out-" + c.name;
    const std::string out = dir + ".out", err = dir + ".err";
    std::vector<std::string> args = {TROVEX_SAVE_EXE, "--dir", dir, "--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr)) _exit(127);
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(TROVEX_SAVE_EXE, argv.data());
      _exit(127);
    }
    for (int i = 0; i < 300 && server.CountRequests(c.waitFor) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130) << ReadFile(err);
    const std::vector<nlohmann::json> lines = JsonLines(ReadFile(out));
    ASSERT_FALSE(lines.empty()) << ReadFile(err);
    EXPECT_EQ(lines.back()["interrupted"], true);
    EXPECT_EQ(lines.back()["pagesFailed"], 0) << ReadFile(out);
    EXPECT_EQ(lines.back()["saved"], 0);
  }
}

TEST(SaveCommand, AskPolicyAsksOnTheTerminal) {
  trovex::test::IsolatedHome home;
  trovex::test::TestHttpServer server;
  ServePage(server, {"a", "b", "c"});
  const std::string dir = home.dir().str() + "/out";
  fs::create_directories(dir);
  for (const char* name : {"a", "b", "c"}) std::ofstream(dir + "/" + name + ".swf") << "old";

  // A terminal of its own: a reply it does not know is asked again; "o" overwrites a.swf, a
  // capital "S" skips b.swf and, without asking again, c.swf.
  const std::string page = server.Url("/page.html");
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    execl(TROVEX_SAVE_EXE, TROVEX_SAVE_EXE, "--dir", dir.c_str(), "--conflict", "ask", page.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  std::vector<std::string> replies = {"x\n", "o\n", "S\n"};
  std::string screen;
  int questions = 0;
  for (;;) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 20000) <= 0) break;
    char buf[4096];
    const ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) break;
    screen.append(buf, static_cast<std::size_t>(n));
    std::size_t count = 0;
    for (std::size_t at = screen.find("已存在"); at != std::string::npos; at = screen.find("已存在", at + 1)) ++count;
    if (static_cast<int>(count) > questions && !replies.empty()) {
      questions = static_cast<int>(count);
      const std::string reply = replies.front();
      replies.erase(replies.begin());
      ASSERT_EQ(write(master, reply.data(), reply.size()), static_cast<ssize_t>(reply.size()));
    }
  }
  close(master);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << screen;
  EXPECT_EQ(questions, 3) << screen;  // a.swf twice (unknown reply), b.swf once, c.swf never
  EXPECT_EQ(ReadFile(dir + "/a.swf"), Movie("a"));
  EXPECT_EQ(ReadFile(dir + "/b.swf"), "old");
  EXPECT_EQ(ReadFile(dir + "/c.swf"), "old");
}

}  // namespace

namespace {

TEST(SaveCommand, AMoviesOwnFilesAreSavedBesideIt) {
  struct Case {
    const char* name;
    std::vector<std::string> options;
    bool withFiles;
    bool existingConfig;  // a config.xml of an earlier save, under the skip policy
  } cases[] = {
      {"with its files", {}, true, false},
      {"--no-deps", {"--no-deps"}, false, false},
      {"an existing file under skip", {"--conflict", "skip"}, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    trovex::test::IsolatedHome home;
    trovex::test::TestHttpServer server;
    const trovex::test::MovieSite site = trovex::test::ServeMovieSite(server);
    const std::string dir = home.dir().str() + "/out";
    if (c.existingConfig) {
      fs::create_directories(dir + "/data");
      std::ofstream(dir + "/data/config.xml") << "kept";
    }
    std::vector<std::string> args = {"--dir", dir, "--json"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(site.page);
    Result r = RunSave(home, args);
    // A file the server lacks is reported, not a failure of its movie.
    EXPECT_EQ(r.exit, 0) << r.err;

    std::map<std::string, std::string> expected = site.movies;
    if (c.withFiles) expected.insert(site.files.begin(), site.files.end());
    if (c.existingConfig) expected["data/config.xml"] = "kept";
    EXPECT_EQ(trovex::test::FilesUnder(dir), expected);
    // Nothing lands beside the target folder.
    EXPECT_FALSE(fs::exists(home.dir().str() + "/outside"));
    EXPECT_FALSE(fs::exists(home.dir().str() + "/" + site.outsidePath));

    auto movies = Movies(r);
    ASSERT_EQ(movies.size(), 3u) << r.out;
    EXPECT_EQ(movies["/main.swf"]["swfVersion"], 10);
    EXPECT_EQ(movies["/main.swf"]["actionScript"], 2);
    EXPECT_EQ(movies["/game.swf"]["actionScript"], 3);
    EXPECT_EQ(movies["/game.swf"]["stageWidth"], 550);
    EXPECT_EQ(movies["/game.swf"]["stageHeight"], 400);
    EXPECT_EQ(movies["/game.swf"]["frameRate"], 30.0);
    std::map<std::string, std::string> statuses;
    for (const auto& [name, movie] : movies)
      for (const auto& file : movie["files"]) statuses[file["address"]] = file["status"];
    if (!c.withFiles) {
      EXPECT_TRUE(statuses.empty());
      continue;
    }
    EXPECT_EQ(statuses[site.missingAddress], "missing");
    EXPECT_EQ(statuses[server.Url("/site/levels/level2.swf")], "saved");
    EXPECT_EQ(statuses[server.Url("/site/sounds/boom.mp3")], "saved");  // named by a loaded level
    EXPECT_EQ(statuses[server.Url("/outside/notes.txt")], "saved");
    EXPECT_EQ(statuses[server.Url("/site/data/config.xml")], c.existingConfig ? "skipped" : "saved");
    EXPECT_EQ(statuses.size(), site.files.size() + 1);
    EXPECT_EQ(r.lines.back()["filesMissing"], 1);
  }
}

}  // namespace

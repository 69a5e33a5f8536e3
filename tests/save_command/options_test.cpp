// The command line of trovex-save and the texts of its progress line.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "save_command/options.h"
#include "save_command/save_command.h"

namespace sc = trovex::save_command;

namespace {

bool Parse(std::vector<const char*> args, sc::Options* options, std::string* problem) {
  args.insert(args.begin(), "trovex-save");
  return sc::ParseOptions(static_cast<int>(args.size()), args.data(), options, problem);
}

TEST(SaveCommandOptions, ParsesWhatTheUsageSays) {
  struct Case {
    std::vector<const char*> args;
    bool ok;
    std::string dir;
    int conflict;
    bool json, plugins;
    std::vector<std::string> pages;
    std::string problemPart;
    std::vector<std::string> warc = {};
    std::string warcDate = {};
    bool warcFallback = false;
  } cases[] = {
      {{"a.html"}, true, "", -1, false, false, {"a.html"}, ""},
      {{"--dir", "/x", "--conflict", "skip", "--json", "--plugins", "a", "b"}, true, "/x", 2, true, true, {"a", "b"}, ""},
      {{"--dir=/y", "--conflict=rename", "-"}, true, "/y", 0, false, false, {"-"}, ""},
      {{"--conflict", "overwrite", "p"}, true, "", 1, false, false, {"p"}, ""},
      {{"--conflict", "ask", "p"}, true, "", 3, false, false, {"p"}, ""},
      {{"--", "--json"}, true, "", -1, false, false, {"--json"}, ""},
      {{"--conflict", "never", "p"}, false, "", -1, false, false, {}, "never"},
      {{"--dir"}, false, "", -1, false, false, {}, "--dir 需要一個值"},
      {{"--dir="}, false, "", -1, false, false, {}, "--dir 需要一個資料夾"},
      {{"--json"}, false, "", -1, false, false, {}, "未指定任何網頁"},
      {{"--jsn", "p"}, false, "", -1, false, false, {}, "不明的選項 --jsn"},
      {{"--json=1", "p"}, false, "", -1, false, false, {}, "不明的選項"},
      {{"--conflict", "x", "p"}, false, "", -1, false, false, {}, "--conflict 只接受"},
      // --version answers alone, whatever follows.
      {{"--version", "--jsn"}, true, "", -1, false, false, {}, ""},
      {{"--warc", "a.warc", "--warc=b.warc.gz", "--warc-date", "2024-05", "--warc-fallback", "p"}, true, "", -1,
       false, false, {"p"}, "", {"a.warc", "b.warc.gz"}, "2024-05", true},
      {{"--warc"}, false, "", -1, false, false, {}, "--warc 需要一個值"},
      {{"--warc=", "p"}, false, "", -1, false, false, {}, "--warc 需要一個值"},
      {{"--warc-date", "20240101000000", "p"}, false, "", -1, false, false, {}, "必須與 --warc 一起使用"},
      {{"--warc-fallback", "p"}, false, "", -1, false, false, {}, "必須與 --warc 一起使用"},
      {{"--warc-fallback=1", "--warc", "a", "p"}, false, "", -1, false, false, {}, "不明的選項"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::vector<std::string>(c.args.begin(), c.args.end())));
    sc::Options options;
    std::string problem;
    ASSERT_EQ(Parse(c.args, &options, &problem), c.ok) << problem;
    if (!c.ok) {
      EXPECT_NE(problem.find(c.problemPart), std::string::npos) << problem;
      continue;
    }
    EXPECT_EQ(options.dir, c.dir);
    EXPECT_EQ(options.nConflictAction, c.conflict);
    EXPECT_EQ(options.json, c.json);
    EXPECT_EQ(options.plugins, c.plugins);
    EXPECT_EQ(options.pages, c.pages);
    EXPECT_EQ(options.version, std::string(c.args[0]) == "--version");
    EXPECT_EQ(options.archives.files, c.warc);
    EXPECT_EQ(options.archives.date, c.warcDate);
    EXPECT_EQ(options.archives.fallback, c.warcFallback);
  }
}

TEST(SaveCommandOptions, DashReadsPagesFromInputOnce) {
  std::istringstream in("  http://a/1.html \n\n# a comment\nhttp://a/2.html\r\n");
  EXPECT_EQ(sc::ExpandPages({"x.html", "-", "y.html", "-"}, in),
            (std::vector<std::string>{"x.html", "http://a/1.html", "http://a/2.html", "y.html"}));
}

TEST(SaveCommandProgress, TextsOfTheProgressLine) {
  EXPECT_EQ(sc::DurationText(0), "0:00");
  EXPECT_EQ(sc::DurationText(75), "1:15");
  EXPECT_EQ(sc::DurationText(3 * 3600 + 62), "3:01:02");
  EXPECT_EQ(sc::RateText(512), "512 B/s");
  EXPECT_EQ(sc::RateText(2048), "2 KB/s");
  EXPECT_EQ(sc::RateText(1.5 * 1024 * 1024), "1.5 MB/s");

  // Known total: bytes, rate and the time left; unknown: "? KB" and no time left.
  EXPECT_EQ(sc::ProgressLine("a.swf", 10240, 40960, 10240, 100),
            "a.swf  下載中... (10 KB of 40 KB)  10 KB/s  0:03");
  EXPECT_EQ(sc::ProgressLine("a.swf", 100, 0, 0, 100), "a.swf  下載中... (1 KB of ? KB)");
  // A long name is cut on a character boundary so the line fits.
  const std::string name = "很長的名字很長的名字很長的名字很長的名字.swf";
  const std::string line = sc::ProgressLine(name, 0, 0, 0, 40);
  EXPECT_NE(line.find("~  下載中"), std::string::npos) << line;
  EXPECT_EQ(line.rfind("很", 0), 0u) << line;
}

TEST(SaveCommandProgress, ExitCodeFollowsTheWorstOutcome) {
  struct Case {
    sc::Summary summary;
    int exit;
  } cases[] = {
      {{.pages = 2, .saved = 3, .skipped = 1}, 0},
      {{.pages = 2, .saved = 3, .failed = 1}, 1},
      {{.pages = 2, .pagesFailed = 1, .saved = 3}, 1},
      {{.pages = 2, .pagesFailed = 2}, 2},
      {{.pages = 2, .saved = 1, .failed = 1, .interrupted = true}, 130},
  };
  for (const Case& c : cases) EXPECT_EQ(c.summary.ExitCode(), c.exit);
}

}  // namespace

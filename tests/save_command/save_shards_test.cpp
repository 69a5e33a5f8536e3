// Archive-sized work as the README runs it: a page list cut into shards that GNU parallel hands
// to trovex-save side by side, one folder per shard, the JSON reports merged after.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>

#include "tests/support/http_server.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_env.h"

namespace trovex::test {
namespace {

TEST(SaveShards, TwoShardsThroughParallelMergeIntoOneReport) {
  IsolatedHome home;
  TestHttpServer server;
  const std::string work = home.dir().str();
  std::ofstream pages(work + "/pages.txt");
  std::map<std::string, std::string> movies;  // address -> bytes
  for (int p = 0; p < 4; ++p) {
    std::string html;
    for (const char* name : {"a", "b"}) {
      const std::string path = "/" + std::to_string(p) + name + ".swf";
      movies[server.Url(path)] = "FWS" + path + std::string(700 + p, 'x');
      server.Reply(path, 200, movies[server.Url(path)]);
      html += "<embed src=" + path.substr(1) + ">";
    }
    server.Reply("/page" + std::to_string(p) + ".html", 200, html);
    pages << server.Url("/page" + std::to_string(p) + ".html") << "\n";
  }
  pages.close();
  const std::string save = TROVEX_SAVE_EXE;

  // The README's commands, with -j2 on this one machine instead of --sshloginfile.
  const CommandResult run = RunCommand(
      "parallel --pipe -N 2 -j 2 --results 'reports/shard{#}.jsonl' '" + save +
          " --dir flash/shard{#} --json -' < pages.txt > /dev/null && "
          "cat reports/shard*.jsonl | grep -v '\"summary\"' > report.jsonl && "
          "jq -s 'map(select(.summary)) | {pages: (map(.pages) | add), saved: (map(.saved) | add),"
          " failed: (map(.failed) | add), bytes: (map(.bytes) | add)}' reports/shard*.jsonl > summary.json",
      work);
  ASSERT_EQ(run.exit, 0) << run.err;

  std::ifstream report(work + "/report.jsonl");
  std::set<std::string> pagesSeen;
  std::map<std::string, int> perShard;
  int rows = 0;
  for (std::string line; std::getline(report, line); ++rows) {
    const nlohmann::json row = nlohmann::json::parse(line, nullptr, false);
    ASSERT_FALSE(row.is_discarded()) << line;
    EXPECT_EQ(row["status"], "saved") << line;
    const std::string address = row["address"], target = row["target"];
    ASSERT_TRUE(movies.count(address)) << line;
    // Each movie is in its shard's folder with the bytes served.
    EXPECT_EQ(ReadFile(target), movies[address]) << line;
    ++perShard[std::filesystem::path(target).parent_path().filename().string()];
    pagesSeen.insert(row["page"]);
  }
  EXPECT_EQ(rows, 8);
  EXPECT_EQ(pagesSeen.size(), 4u);
  EXPECT_EQ(perShard, (std::map<std::string, int>{{"shard1", 4}, {"shard2", 4}}));
  const nlohmann::json summary = nlohmann::json::parse(ReadFile(work + "/summary.json"), nullptr, false);
  EXPECT_EQ(summary["pages"], 4);
  EXPECT_EQ(summary["saved"], 8);
  EXPECT_EQ(summary["failed"], 0);
}

}  // namespace
}  // namespace trovex::test

// trovex-regsvr as a user runs it: exit codes and messages for each kind of failure.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/temp_env.h"

namespace {

struct Outcome {
  int exitCode = -1;
  std::string output;  // stdout and stderr together
};

Outcome RunRegsvr(const std::vector<std::string>& args) {
  std::string command = TROVEX_REGSVR;
  for (const std::string& a : args) command += " '" + a + "'";
  command += " 2>&1";
  Outcome out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) out.output += buffer;
  int status = ::pclose(pipe);
  out.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

TEST(RegsvrTest, EachFailureHasItsExitCodeAndMessage) {
  trovex::test::IsolatedHome home;
  std::string text = home.dir().WriteFile("text.so", "not a library");
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string mention;
  } cases[] = {
      {{}, 2, "沒有指定模組"},
      {{"a.so", "b.so"}, 2, "只能指定一個模組"},
      {{home.dir().str() + "/missing.so"}, 3, "missing.so："},
      {{home.dir().str()}, 3, "不是一般檔案"},
      {{text}, 3, "無法載入模組"},
      {{TROVEX_NO_ENTRY_MODULE}, 4, "沒有 DllRegisterServer 進入點"},
      {{"/u", TROVEX_NO_ENTRY_MODULE}, 4, "沒有 DllUnregisterServer 進入點"},
      // Nothing registered yet: the class is unknown, and the tool says so.
      {{"/u", TROVEX_MODULE_PATH}, 1, "模組的類別沒有登錄"},
      {{TROVEX_MODULE_PATH}, 0, "登錄成功"},
      {{"/u", TROVEX_MODULE_PATH}, 0, "已取消登錄"},
      {{"--help"}, 0, "用法：trovex-regsvr"},
      {{"--version"}, 0, "trovex-regsvr 0."},
  };
  for (const Case& c : cases) {
    Outcome out = RunRegsvr(c.args);
    std::string shown = c.args.empty() ? "(none)" : c.args.back();
    EXPECT_EQ(out.exitCode, c.exitCode) << shown << "\n" << out.output;
    EXPECT_NE(out.output.find(c.mention), std::string::npos) << shown << "\n" << out.output;
  }
}

TEST(RegsvrTest, RegisteringIntoAnUnwritableHiveFails) {
  trovex::test::IsolatedHome home;
  home.dir().WriteFile("data/kelvora-swf-trovex", "a file where the hive folder should be");
  Outcome out = RunRegsvr({TROVEX_MODULE_PATH});
  EXPECT_EQ(out.exitCode, 1) << out.output;
  EXPECT_NE(out.output.find("無法寫入登錄"), std::string::npos) << out.output;
}

}  // namespace

// trovex-browser without the toolkit: --list and --help need neither it nor the web engine,
// and the windows are handed, with the same arguments, to the window program beside it.
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/temp_env.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int exit = -1;
  std::string out, err;
};

Result RunShell(const trovex::test::TempDir& dir, const std::string& command) {
  const std::string out = dir.str() + "/out", err = dir.str() + "/err";
  int status = std::system((command + " >" + out + " 2>" + err).c_str());
  Result r;
  if (WIFEXITED(status)) r.exit = WEXITSTATUS(status);
  r.out = trovex::test::ReadFile(out);
  r.err = trovex::test::ReadFile(err);
  return r;
}

TEST(Launcher, NeedsNeitherToolkitNorWebEngine) {
  trovex::test::TempDir dir;
  Result libs = RunShell(dir, std::string("ldd ") + TROVEX_BROWSER_EXE);
  ASSERT_EQ(libs.exit, 0) << libs.err;
  for (const char* library : {"libwx_", "libwebkit", "libgtk-3", "libjavascriptcore"})
    EXPECT_EQ(libs.out.find(library), std::string::npos) << library << " in\n" << libs.out;
  Result help = RunShell(dir, std::string(TROVEX_BROWSER_EXE) + " --help");
  EXPECT_EQ(help.exit, 0);
  EXPECT_NE(help.out.find("--list"), std::string::npos);
}

TEST(Launcher, WindowsGoToTheWindowProgramWithTheSameArguments) {
  trovex::test::TempDir dir;
  const std::string launcher = dir.str() + "/trovex-browser";
  fs::copy_file(TROVEX_BROWSER_EXE, launcher);
  const std::string page = dir.WriteFile("page.html", "<embed src=a.swf>");
  const std::string withDisplay = "DISPLAY=:99 " + launcher;

  // Not there: a clear message, never a crash.
  Result missing = RunShell(dir, withDisplay + " '" + page + "'");
  EXPECT_EQ(missing.exit, 2);
  EXPECT_NE(missing.err.find("無法啟動視窗程式"), std::string::npos) << missing.err;

  // There: started with every argument as given, and its exit status is the command's.
  const std::string window = dir.WriteFile("trovex-browser-window",
                                           "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done\nexit 7\n");
  ASSERT_EQ(::chmod(window.c_str(), 0755), 0);
  struct Case {
    std::string args, echoed;
  } cases[] = {
      {"'" + page + "'", "[" + page + "]\n"},
      {"--save-dialog '" + page + "'", "[--save-dialog]\n[" + page + "]\n"},
      {"--list --live '" + page + "'", "[--list]\n[--live]\n[" + page + "]\n"},
  };
  for (const Case& c : cases) {
    Result r = RunShell(dir, withDisplay + " " + c.args);
    EXPECT_EQ(r.exit, 7) << c.args << r.err;
    EXPECT_EQ(r.out, c.echoed) << c.args;
  }
  // Listing stays with the launcher.
  Result list = RunShell(dir, launcher + " --list '" + page + "'");
  EXPECT_EQ(list.exit, 0) << list.err;
  EXPECT_NE(list.out.find("a.swf"), std::string::npos) << list.out;
}

}  // namespace

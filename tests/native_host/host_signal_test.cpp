// trovex-native-host ended by its browser while its Save dialog is open: the private jar with
// the browser's cookies does not stay on disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/temp_env.h"

namespace trovex {
namespace {

std::string Framed(const std::string& body) {
  std::uint32_t n = static_cast<std::uint32_t>(body.size());
  std::string out(4, '\0');
  std::memcpy(out.data(), &n, 4);
  return out + body;
}

bool SaveDialogShown() { return std::system("xwininfo -root -tree 2>/dev/null | grep -q '\"儲存\"'") == 0; }

TEST(NativeHostSignal, TermWhileTheDialogIsOpenRemovesThePrivateJar) {
  ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "runs under a display (xvfb-run)";
  test::IsolatedHome home;
  ASSERT_EQ(std::system((std::string("'") + TROVEX_REGSVR_EXE + "' '" + TROVEX_MODULE_PATH + "' >/dev/null").c_str()), 0);
  test::TempDir runtime;
  test::ScopedEnv env;
  env.Set("XDG_RUNTIME_DIR", runtime.str());
  const std::string request =
      R"({"version":1,"snapshot":{"version":1,"frames":{"url":"http://127.0.0.1:9/","objects":[],)"
      R"("embeds":[{"src":"http://127.0.0.1:9/m.swf"}],"frames":[]}},)"
      R"("cookies":"127.0.0.1\tFALSE\t/\tFALSE\t0\tticket\tsecret\n"})";
  int in[2];
  ASSERT_EQ(::pipe(in), 0);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::close(in[1]);
    ::execl(TROVEX_NATIVE_HOST, TROVEX_NATIVE_HOST, static_cast<char*>(nullptr));
    _exit(127);
  }
  ::close(in[0]);
  const std::string framed = Framed(request);
  ASSERT_EQ(::write(in[1], framed.data(), framed.size()), static_cast<ssize_t>(framed.size()));
  bool shown = false;
  for (int i = 0; i < 240 && !(shown = SaveDialogShown()); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  std::size_t jars = 0;
  for (const auto& e : std::filesystem::directory_iterator(runtime.path()))
    jars += std::filesystem::exists(e.path() / "cookies.txt");
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(in[1]);
  ASSERT_TRUE(shown) << "the Save dialog never opened";
  EXPECT_EQ(jars, 1u) << "the jar is there while the dialog is open";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_TRUE(std::filesystem::is_empty(runtime.path())) << "the private jar stayed on disk";
}

}  // namespace
}  // namespace trovex

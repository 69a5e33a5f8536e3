// The Save dialog trovex-native-host shows for a browser, as the window system sees it: the
// product's name and icon, a dialog's type, kept above the browser; a second request for the
// tab raises it instead of opening another.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_env.h"

namespace trovex::test {
namespace {

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    ::pclose(p);
  }
  return out;
}

void Send(int fd, const std::string& body) {
  std::uint32_t n = static_cast<std::uint32_t>(body.size());
  std::string framed(4, '\0');
  std::memcpy(framed.data(), &n, 4);
  framed += body;
  ASSERT_EQ(::write(fd, framed.data(), framed.size()), static_cast<ssize_t>(framed.size()));
}

// The host's windows that are dialogs, with their properties.
std::vector<std::string> Dialogs(pid_t host) {
  std::vector<std::string> out;
  std::string ids = Output("xdotool search --onlyvisible --pid " + std::to_string(host) + " 2>/dev/null");
  for (std::size_t at = 0, end; (end = ids.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string props = Output("xprop -id " + ids.substr(at, end - at) +
                               " WM_CLASS _NET_WM_WINDOW_TYPE _NET_WM_STATE _NET_WM_ICON 2>/dev/null | cut -c1-120");
    if (props.find("_NET_WM_WINDOW_TYPE_DIALOG") != std::string::npos) out.push_back(props);
  }
  return out;
}

TEST(NativeHostWindow, TheDialogIsNamedKeptAboveAndRaisedBySecondRequest) {
  TempDir home;
  ScopedEnv env;
  env.Set("HOME", home.str());
  env.Set("XDG_CONFIG_HOME", home.str() + "/config");
  env.Set("XDG_DATA_HOME", home.str() + "/data");
  env.Set("XDG_CACHE_HOME", home.str() + "/cache");
  ASSERT_EQ(std::system(("'" + std::string(TROVEX_NATIVE_HOST) + "' --register >/dev/null").c_str()), 0);
  int in[2], out[2];
  ASSERT_EQ(::pipe(in), 0);
  ASSERT_EQ(::pipe(out), 0);
  const pid_t host = ::fork();
  ASSERT_GE(host, 0);
  if (host == 0) {
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::close(in[1]);
    ::close(out[0]);
    ::execl(TROVEX_NATIVE_HOST, TROVEX_NATIVE_HOST, "chrome-extension://test/", nullptr);
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  Send(in[1], R"({"version":1,"cookies":"","snapshot":{"version":1,"frames":{"url":"http://127.0.0.1:9/p.html",)"
              R"("objects":[],"embeds":[{"src":"a.swf","type":null}],"frames":[]}}})");
  std::vector<std::string> dialogs;
  for (int i = 0; i < 200 && dialogs.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    dialogs = Dialogs(host);
  }
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_NE(dialogs[0].find("\"kelvora-swf-trovex\""), std::string::npos) << dialogs[0];
  EXPECT_NE(dialogs[0].find("_NET_WM_STATE_ABOVE"), std::string::npos) << dialogs[0];
  EXPECT_NE(dialogs[0].find("_NET_WM_ICON(CARDINAL)"), std::string::npos) << dialogs[0];

  Send(in[1], R"({"version":1,"raise":true})");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(Dialogs(host).size(), 1u);
  EXPECT_EQ(::waitpid(host, nullptr, WNOHANG), 0) << "the host ended at the raise request";

  Output("xdotool key Escape 2>&1");
  ::close(in[1]);
  char answer[256] = {};
  ssize_t n = 0;
  for (ssize_t got; n < static_cast<ssize_t>(sizeof answer - 1) && (got = ::read(out[0], answer + n, sizeof answer - 1 - n)) > 0;) n += got;
  ::close(out[0]);
  int status = 0;
  ::waitpid(host, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_GT(n, 4);
  EXPECT_EQ(std::string(answer + 4, n - 4), R"({"result":0,"version":1})");
}

}  // namespace
}  // namespace trovex::test

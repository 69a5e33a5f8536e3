// trovex-native-host as the browsers run it: bad input gets an error answer and a line in the
// log, never a crash or a hang; --register writes the three browsers' manifests.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "native_host/host_manifests.h"
#include "tests/support/temp_env.h"

extern char** environ;

namespace trovex::nativehost {
namespace {

struct HostRun {
  int exitCode = -1;
  std::string out, err;
};

// Runs the host with `input` on its standard input; gives up (and fails) after 30 s.
HostRun RunHost(const std::vector<std::string>& args, const std::string& input) {
  int in[2], out[2], err[2];
  EXPECT_EQ(pipe(in), 0);
  EXPECT_EQ(pipe(out), 0);
  EXPECT_EQ(pipe(err), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  for (int fd : {in[1], out[0], err[0], in[0], out[1], err[1]}) posix_spawn_file_actions_addclose(&actions, fd);
  std::vector<char*> argv{const_cast<char*>(TROVEX_NATIVE_HOST)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  EXPECT_EQ(posix_spawn(&pid, TROVEX_NATIVE_HOST, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  EXPECT_EQ(write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(in[1]);
  HostRun r;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  for (int open = 2; open > 0 && std::chrono::steady_clock::now() < deadline;) {
    if (poll(fds, 2, 1000) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buffer[4096];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      } else {
        (i == 0 ? r.out : r.err).append(buffer, static_cast<std::size_t>(n));
      }
    }
  }
  for (pollfd& p : fds)
    if (p.fd >= 0) {
      ADD_FAILURE() << "the host did not end within 30 s";
      kill(pid, SIGKILL);
      close(p.fd);
    }
  int status = 0;
  waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string Framed(const std::string& body) {
  std::uint32_t n = static_cast<std::uint32_t>(body.size());
  std::string out(4, '\0');
  std::memcpy(out.data(), &n, 4);
  return out + body;
}

// The answers in the host's output, in order.
std::vector<nlohmann::json> Answers(const std::string& out) {
  std::vector<nlohmann::json> answers;
  for (std::size_t at = 0; at + 4 <= out.size();) {
    std::uint32_t n = 0;
    std::memcpy(&n, out.data() + at, 4);
    answers.push_back(nlohmann::json::parse(out.substr(at + 4, n)));
    at += 4 + n;
  }
  return answers;
}

class NativeHostProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Set("HOME", home_.str());
    env_.Set("XDG_CONFIG_HOME", home_.str() + "/config");
    env_.Set("XDG_DATA_HOME", home_.str() + "/data");
    env_.Set("XDG_CACHE_HOME", home_.str() + "/cache");
    env_.Unset("DISPLAY");  // nothing here may need a window
  }
  test::TempDir home_;
  test::ScopedEnv env_;
};

TEST_F(NativeHostProcess, EveryBadRequestIsAnsweredAndLoggedThenABrokenStreamEndsIt) {
  const std::string input =
      Framed("{\"version\":1") +                                            // not JSON
      Framed("{\"version\":2,\"snapshot\":{}}") +                           // wrong version
      Framed("{\"version\":1,\"snapshot\":{},\"tab\":1}") +                 // unknown field
      Framed("{\"version\":1,\"snapshot\":{\"version\":7,\"frames\":{}}}") +  // snapshot refused
      std::string("\x09\x00", 2);                                          // short length, then the end
  HostRun r = RunHost({"chrome-extension://" + std::string(kChromiumExtensionId) + "/"}, input);
  EXPECT_EQ(r.exitCode, 1);
  std::vector<nlohmann::json> answers = Answers(r.out);
  ASSERT_EQ(answers.size(), 5u) << r.out;
  const char* expected[] = {"not JSON", "version: 2 is not supported", "unknown field", "頁面快照無法讀取",
                            "2 of 4 bytes"};
  for (std::size_t i = 0; i < answers.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(answers[i]["version"], 1);
    ASSERT_TRUE(answers[i]["error"].is_string());
    EXPECT_NE(answers[i]["error"].get<std::string>().find(expected[i]), std::string::npos) << answers[i].dump();
    EXPECT_FALSE(answers[i].contains("result"));
  }
  // One line in the browser's log for each.
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = r.err.find("trovex-native-host: refused", at)) != std::string::npos; ++at) ++lines;
  EXPECT_EQ(lines, 5u) << r.err;
}

TEST_F(NativeHostProcess, ClosedStreamEndsQuietly) {
  HostRun r = RunHost({}, "");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
}

TEST_F(NativeHostProcess, RegisterWritesTheThreeManifestsAndUnregisterRemovesThem) {
  HostRun r = RunHost({"--register"}, "");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string host = std::filesystem::canonical(TROVEX_NATIVE_HOST).string();
  const std::string chromium = home_.str() + "/config/chromium/NativeMessagingHosts/com.kelvora.swftrovex.json";
  const std::string chrome = home_.str() + "/config/google-chrome/NativeMessagingHosts/com.kelvora.swftrovex.json";
  const std::string firefox = home_.str() + "/.mozilla/native-messaging-hosts/com.kelvora.swftrovex.json";
  for (const std::string& path : {chromium, chrome, firefox}) {
    SCOPED_TRACE(path);
    nlohmann::json m = nlohmann::json::parse(test::ReadFile(path));
    EXPECT_EQ(m["name"], "com.kelvora.swftrovex");
    EXPECT_EQ(m["path"], host);
    EXPECT_EQ(m["type"], "stdio");
    if (path == firefox)
      EXPECT_EQ(m["allowed_extensions"], nlohmann::json::array({"swf-trovex@kelvora"}));
    else
      EXPECT_EQ(m["allowed_origins"], nlohmann::json::array({"chrome-extension://jijijlekbgcdjbfgnejnbjhaejnnnmkg/"}));
  }
  // The module was not registered in this fresh home: now it is, and a second run leaves it.
  EXPECT_NE(r.out.find("registered the module"), std::string::npos) << r.out << r.err;
  HostRun again = RunHost({"--register"}, "");
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(again.out.find("registered the module"), std::string::npos) << again.out;

  HostRun un = RunHost({"--unregister"}, "");
  EXPECT_EQ(un.exitCode, 0) << un.err;
  for (const std::string& path : {chromium, chrome, firefox}) EXPECT_FALSE(std::filesystem::exists(path)) << path;
  EXPECT_EQ(RunHost({"--bogus"}, "").exitCode, 2);
}

}  // namespace
}  // namespace trovex::nativehost

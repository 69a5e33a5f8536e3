// trovex-native-host as the browsers run it: bad input gets an error answer and a line in the
// log, never a crash or a hang; --register writes the three browsers' manifests.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "native_host/host_manifests.h"
#include "tests/support/temp_env.h"

namespace trovex::nativehost {
namespace {

struct HostRun {
  int exitCode = -1;
  std::string out, err;
};

// Runs the host with `input` on its standard input, the way a browser starts it; a host that
// hangs is ended after 30 s (exit code 124).
// `terminal`, when given, is the standard input instead (a terminal's device).
HostRun RunHost(const std::vector<std::string>& args, const std::string& input, const std::string& terminal = {}) {
  test::TempDir io;
  const std::string in = terminal.empty() ? io.WriteFile("in", input) : terminal;
  std::string command = "timeout -s KILL 30 '" + std::string(TROVEX_NATIVE_HOST) + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  command += " <'" + in + "' >'" + io.str() + "/out' 2>'" + io.str() + "/err'";
  const int status = std::system(command.c_str());
  HostRun r;
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = test::ReadFile(io.str() + "/out");
  r.err = test::ReadFile(io.str() + "/err");
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
  for (std::size_t at = 0; (at = r.err.find("trovex-native-host：拒絕了", at)) != std::string::npos; ++at) ++lines;
  EXPECT_EQ(lines, 5u) << r.err;
}

TEST_F(NativeHostProcess, RunByHandOnATerminalItSaysWhatItIsForAndHowToRegister) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  HostRun r = RunHost({}, "", ::ptsname(master));
  ::close(master);
  EXPECT_EQ(r.exitCode, 2) << r.err;  // 124 when it waited for a message
  EXPECT_NE(r.err.find("trovex-native-host --register"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("擴充功能"), std::string::npos) << r.err;
}

TEST_F(NativeHostProcess, OptionsAnswerInTraditionalChinese) {
  const struct {
    const char* option;
    int exitCode;
    const char* said;  // on stdout, or stderr for a failure
  } cases[] = {{"--help", 0, "用法：trovex-native-host --register"},
               {"--version", 0, "trovex-native-host 0."},
               {"--bogus", 2, "trovex-native-host：無法辨識的選項 --bogus"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    HostRun r = RunHost({c.option}, "");
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_NE((c.exitCode ? r.err : r.out).find(c.said), std::string::npos) << r.out << r.err;
  }
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
  EXPECT_NE(r.out.find("已登錄模組"), std::string::npos) << r.out << r.err;
  HostRun again = RunHost({"--register"}, "");
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(again.out.find("已登錄模組"), std::string::npos) << again.out;

  HostRun un = RunHost({"--unregister"}, "");
  EXPECT_EQ(un.exitCode, 0) << un.err;
  for (const std::string& path : {chromium, chrome, firefox}) EXPECT_FALSE(std::filesystem::exists(path)) << path;
  EXPECT_EQ(RunHost({"--bogus"}, "").exitCode, 2);
}

}  // namespace
}  // namespace trovex::nativehost

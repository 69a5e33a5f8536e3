// trovex-browser --list on a page the server refuses: it says so and exits 2, as for an
// unreachable server; an error page is never listed as if it were the page.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/http_server.h"
#include "tests/support/temp_env.h"

namespace {

TEST(ListStatus, ErrorAnswersEndWithAMessageAndExitCode2) {
  trovex::test::IsolatedHome home;
  trovex::test::TestHttpServer server;
  server.Reply("/missing.html", 404, "<embed src=a.swf>");
  server.Reply("/broken.html", 500, "<embed src=b.swf>");
  server.Reply("/ok.html", 200, "<embed src=c.swf>");
  struct Case {
    const char* path;
    int exit;
    std::string stderrPart;
    std::string stdoutPart;
  } cases[] = {
      {"/missing.html", 2, "伺服器回應 HTTP 404", ""},
      {"/broken.html", 2, "伺服器回應 HTTP 500", ""},
      {"/ok.html", 0, "", "/c.swf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string out = home.dir().str() + "/out", err = home.dir().str() + "/err";
    int status = std::system((std::string(TROVEX_BROWSER_EXE) + " --list '" + server.Url(c.path) +
                              "' >" + out + " 2>" + err).c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.exit);
    const std::string said = trovex::test::ReadFile(err), listed = trovex::test::ReadFile(out);
    EXPECT_NE(said.find(c.stderrPart), std::string::npos) << said;
    if (c.stdoutPart.empty()) {
      EXPECT_EQ(listed, "");
    } else {
      EXPECT_NE(listed.find(c.stdoutPart), std::string::npos) << listed;
    }
  }
}

}  // namespace

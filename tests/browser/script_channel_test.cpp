#include "browser/script_channel.h"

#include <gtest/gtest.h>

namespace trovex::browser {
namespace {

struct MessageCase {
  const char* message;
  ScriptMessage::Kind kind;
  const char* text;
};

class ScriptMessageTest : public ::testing::TestWithParam<MessageCase> {};

// The window's secret is "s3cret" and its latest snapshot request is number 7.
TEST_P(ScriptMessageTest, Reads) {
  const MessageCase& c = GetParam();
  const ScriptMessage read = ReadScriptMessage(c.message, "s3cret", 7);
  EXPECT_EQ(read.kind, c.kind) << c.message;
  EXPECT_EQ(read.strText, c.text) << c.message;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScriptMessageTest,
    ::testing::Values(
        MessageCase{"s3cret snapshot 7\n{\"v\":1}", ScriptMessage::kSnapshot, "{\"v\":1}"},
        MessageCase{"s3cret snapshot 7\n{}", ScriptMessage::kSnapshot, ""},
        MessageCase{"s3cret snapshot 6\n{\"v\":1}", ScriptMessage::kIgnored, ""},
        MessageCase{"s3cret snapshot 70\n{\"v\":1}", ScriptMessage::kIgnored, ""},
        MessageCase{"s3cret snapshot 7{\"v\":1}", ScriptMessage::kIgnored, ""},
        MessageCase{"s3cret menu http://h/frame.html", ScriptMessage::kMenu, "http://h/frame.html"},
        MessageCase{"other! menu http://h/", ScriptMessage::kIgnored, ""},
        MessageCase{"s3cre", ScriptMessage::kIgnored, ""},
        MessageCase{"s3cret hello", ScriptMessage::kIgnored, ""}));

TEST(ScriptChannelTest, SnapshotScriptTagsItsAnswersWithTheRequest) {
  const std::string script = SnapshotScript("s3cret", 12, "/*collector*/");
  EXPECT_NE(script.find("'s3cret snapshot 12\\n'"), std::string::npos) << script;
  EXPECT_NE(script.find("/*collector*/"), std::string::npos);
  const std::string secret = NewSecret();
  EXPECT_EQ(secret.size(), 32u);
  EXPECT_NE(secret, NewSecret());
}

}  // namespace
}  // namespace trovex::browser

// Starting programs: how the parameter text is split, what reaches the started program, and
// every way a start can fail being reported as failure.
#include "platform/shell/shell_execute.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/error/error.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

using Args = std::vector<std::string>;

struct SplitCase {
  const char* parameters;
  Args args;
};

TEST(SplitCommandLine, ClassicCases) {
  const SplitCase cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"a b\tc", {"a", "b", "c"}},
      {"  a   b  ", {"a", "b"}},
      {R"("C:\a b\x.swf")", {R"(C:\a b\x.swf)"}},
      {R"("/movies/my intro.swf")", {"/movies/my intro.swf"}},
      {R"("abc" d e)", {"abc", "d", "e"}},
      {R"(a\\b d"e f"g h)", {R"(a\\b)", "de fg", "h"}},
      {R"(a\\\"b c d)", {R"(a\"b)", "c", "d"}},
      {R"(a\\\\"b c" d e)", {R"(a\\b c)", "d", "e"}},
      {R"(\"quoted\")", {R"("quoted")"}},
      {R"(C:\dir\ x)", {R"(C:\dir\)", "x"}},
      {R"("C:\dir\\" x)", {R"(C:\dir\)", "x"}},
      {R"("C:\dir\" x)", {R"(C:\dir" x)"}},
      {R"(a "" b)", {"a", "", "b"}},
      {R"("")", {""}},
      {R"("" "")", {"", ""}},
      {R"("a""b")", {R"(a"b)"}},
      {R"(a"b"" c d)", {R"(ab" c d)"}},
      {R"("unterminated arg)", {"unterminated arg"}},
      {R"(x"y z"w)", {"xy zw"}},
      {"\"\xE5\xBD\xB1 \xE7\x89\x87.swf\"", {"\xE5\xBD\xB1 \xE7\x89\x87.swf"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.parameters), c.args) << c.parameters;
}

TEST(SplitCommandLine, DoubleByteTrailBackslashIsNoEscape) {
  // "功" in Big5 is A5 5C: its trail byte must not escape the closing quote.
  if (!std::setlocale(LC_CTYPE, "zh_TW.BIG5")) GTEST_SKIP() << "no Big5 locale installed";
  const std::string name = "\"\xA5\x5C\" x";
  EXPECT_EQ(SplitCommandLine(name), (Args{"\xA5\x5C", "x"}));
  std::setlocale(LC_CTYPE, "");
}

class StartProgram : public testing::Test {
 protected:
  // A script that writes its arguments (one per line), its folder and its process id.
  std::string Recorder(const std::string& name = "recorder") {
    std::string path = dir.WriteFile(
        name, "#!/bin/sh\n"
              "out=\"" + dir.str() + "/record.tmp\"\n"
              ": > \"$out\"\n"
              "for a in \"$@\"; do printf '[%s]\\n' \"$a\" >> \"$out\"; done\n"
              "printf 'pwd=%s\\npid=%s\\n' \"$(pwd)\" \"$$\" >> \"$out\"\n"
              "ls /proc/$$/fd >> \"$out\"\n"
              "mv \"$out\" \"" + dir.str() + "/record\"\n");
    ::chmod(path.c_str(), 0755);
    return path;
  }
  // What the recorder wrote, once it has finished (empty after 10 s).
  std::string Record() {
    const std::string path = dir.str() + "/record";
    for (int i = 0; i < 1000 && !std::filesystem::exists(path); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return test::ReadFile(path);
  }
  test::TempDir dir;
};

TEST_F(StartProgram, ArgumentsArriveSplitWithoutQuotes) {
  const std::string program = Recorder();
  const std::intptr_t result = ShellExecuteA(nullptr, "open", program.c_str(),
                                             R"("C:\a b\x.swf" plain "" "say \"hi\"")", nullptr,
                                             SW_SHOWNORMAL);
  ASSERT_GT(result, 32);
  const std::string record = Record();
  EXPECT_EQ(record.substr(0, record.find("pwd=")), "[C:\\a b\\x.swf]\n[plain]\n[]\n[say \"hi\"]\n");
  // The result is the started process itself.
  EXPECT_NE(record.find("pid=" + std::to_string(result) + "\n"), std::string::npos) << record;
}

TEST_F(StartProgram, NoParametersAndAWorkingFolder) {
  const std::string program = Recorder();
  const std::string folder = dir.str() + "/work here";
  std::filesystem::create_directory(folder);
  ASSERT_GT(ShellExecuteA(nullptr, nullptr, program.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL), 32);
  const std::string record = Record();
  EXPECT_EQ(record.substr(0, record.find('\n') + 1), "pwd=" + folder + "\n");
}

TEST_F(StartProgram, NotWaitedForLeavesNoChildAndNoDescriptors) {
  // Inherited by accident unless the start closes it: the program must not get it.
  const int leaked = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(leaked, 0);
  const std::string gate = dir.str() + "/go";
  const std::string program = dir.WriteFile(
      "waiter", "#!/bin/sh\nwhile [ ! -e \"" + gate + "\" ]; do sleep 0.02; done\n"
                "ls /proc/$$/fd > \"" + dir.str() + "/fds.tmp\"\n"
                "mv \"" + dir.str() + "/fds.tmp\" \"" + dir.str() + "/record\"\n");
  ::chmod(program.c_str(), 0755);
  // Returns while the program still waits for the gate.
  ASSERT_GT(ShellExecuteA(nullptr, nullptr, program.c_str(), nullptr, nullptr, SW_SHOWNORMAL), 32);
  EXPECT_FALSE(std::filesystem::exists(dir.str() + "/record"));
  // Nothing of ours is left to reap, now or once it ends.
  int status;
  EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  dir.WriteFile("go", "");
  const std::string fds = Record();
  ASSERT_FALSE(fds.empty());
  EXPECT_EQ(("\n" + fds).find("\n" + std::to_string(leaked) + "\n"), std::string::npos) << fds;
  ::close(leaked);
}

struct FailureCase {
  const char* name;
  std::string file;
  const char* verb;
  std::string folder;
  std::intptr_t code;
};

TEST_F(StartProgram, EveryFailedStartIsReported) {
  const std::string good = Recorder("good");
  const std::string plain = dir.WriteFile("not-executable", "#!/bin/sh\nexit 0\n");
  ::chmod(plain.c_str(), 0644);
  // The system cannot run these; the failure happens in the new process and must come back.
  const std::string noInterpreter = dir.WriteFile("no-interpreter", "#!/nonexistent/sh\nexit 0\n");
  ::chmod(noInterpreter.c_str(), 0755);
  const std::string noFormat = dir.WriteFile("no-format", "just text, no program\n");
  ::chmod(noFormat.c_str(), 0755);
  std::filesystem::create_directory(dir.str() + "/folder");
  const FailureCase cases[] = {
      {"missing file", dir.str() + "/missing", nullptr, "", SE_ERR_FNF},
      {"missing folder", dir.str() + "/nowhere/prog", nullptr, "", SE_ERR_PNF},
      {"empty path", "", nullptr, "", SE_ERR_FNF},
      {"not executable", plain, nullptr, "", SE_ERR_ACCESSDENIED},
      {"a folder", dir.str() + "/folder", nullptr, "", SE_ERR_ACCESSDENIED},
      {"missing interpreter", noInterpreter, nullptr, "", SE_ERR_FNF},
      {"no executable format", noFormat, nullptr, "", SE_ERR_BAD_FORMAT},
      {"missing working folder", good, nullptr, dir.str() + "/gone", SE_ERR_PNF},
      {"unknown verb", good, "print", "", SE_ERR_NOASSOC},
  };
  for (const auto& c : cases) {
    SetLastError(0);
    const std::intptr_t result = ShellExecuteA(nullptr, c.verb, c.file.c_str(), "\"x\"",
                                               c.folder.empty() ? nullptr : c.folder.c_str(),
                                               SW_SHOWNORMAL);
    EXPECT_EQ(result, c.code) << c.name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(c.code)) << c.name;
  }
  // The good program was never started by any of them.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(std::filesystem::exists(dir.str() + "/record"));
}

}  // namespace
}  // namespace trovex

// Target naming, validation, directory creation and conflict settlement, table-driven in both
// path styles. The Windows style runs against an in-memory file system.
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/error/error.h"
#include "platform/fs/fs.h"
#include "save_engine/target_naming.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

constexpr PathStyle W = PathStyle::Windows;
constexpr PathStyle P = PathStyle::Posix;
namespace fs = std::filesystem;

// Files and folders by name, for paths of the Windows style.
struct FakeDisk {
  std::set<std::string> files;
  std::set<std::string> folders;
  std::set<std::string> refused;  // CreateDirectoryA fails for these (access denied)
  std::vector<std::string> created;
  PathOps ops{
      [this](const std::string& p) { return files.count(p) || folders.count(p); },
      [this](const std::string& p) { return folders.count(p) > 0; },
      [this](const std::string& p) { return files.count(p) || folders.count(p); },
      [this](const std::string& p) {
        if (refused.count(p)) {
          SetLastError(ERROR_ACCESS_DENIED);
          return false;
        }
        folders.insert(p);
        created.push_back(p);
        return true;
      },
  };
};

struct StripCase {
  PathStyle style;
  const char* in;
  const char* out;
};

TEST(StripNameCounter, RemovesOneTrailingCounter) {
  const StripCase cases[] = {
      {W, "C:\\m\\movie[2].swf", "C:\\m\\movie.swf"},
      {W, "ab[1][2].swf", "ab[1].swf"},
      {W, "a[3].swf", "a[3].swf"},        // base of 4 bytes
      {W, "abc[x].swf", "abc[x].swf"},
      {W, "abc[].swf", "abc[].swf"},
      {W, "x\\ab[7].swf", "x\\ab.swf"},
      {W, "x\\ab[7]", "x\\ab"},
      {W, "x\\a.b[7]", "x\\a.b[7]"},      // the counter lies in the extension
      {W, "x\\my clip[7].swf", "x\\my clip.swf"},
      {W, "[5].swf", "[5].swf"},
      {W, "[12345].swf", "[12345].swf"},  // "[" at index 0 is never taken
      {W, "ab[ -3].swf", "ab.swf"},       // white space and sign allowed
      {W, "ab[4x].swf", "ab.swf"},        // text after the number is ignored
      {W, "ab[x4].swf", "ab[x4].swf"},
      {W, "abcd]", "abcd]"},
      {P, "/m/movie[2].swf", "/m/movie.swf"},
      {P, "/m/intro[10].swf", "/m/intro.swf"},
      {P, "/m.d[3]/movie", "/m.d[3]/movie"},  // the counter belongs to a folder
      {P, "/m/a.b[7]", "/m/a.b[7]"},
      {P, "/m/ab[7]", "/m/ab"},
  };
  for (const auto& c : cases) EXPECT_EQ(StripNameCounter(c.in, c.style), c.out) << c.in;
}

struct ComposeCase {
  PathStyle style;
  const char* dir;
  const char* name;
  const char* out;
};

TEST(ComposeTargetPath, JoinsWithTheStyleSeparatorAndStripsTheCounter) {
  const ComposeCase cases[] = {
      {W, "C:\\m", "movie[1].swf", "C:\\m\\movie.swf"},
      {W, "C:\\m\\", "movie.swf", "C:\\m\\\\movie.swf"},  // separators are not collapsed
      {W, "C:", "a.swf", "C:\\a.swf"},
      {P, "/home/u/m", "intro[3].swf", "/home/u/m/intro.swf"},
      {P, "/home/u/m/", "a.swf", "/home/u/m//a.swf"},
      {P, "/", "a.swf", "//a.swf"},
  };
  for (const auto& c : cases) EXPECT_EQ(ComposeTargetPath(c.dir, c.name, c.style), c.out) << c.name;
}

struct ValidCase {
  PathStyle style;
  std::string path;
  bool valid;
};

TEST(IsValidTargetPath, BothStyles) {
  const ValidCase cases[] = {
      {W, "C:", true},
      {W, "C:\\", true},
      {W, "C:\\a\\", true},
      {W, "c:\\movies\\flash", true},
      {W, "\\\\ab", false},              // shorter than 5 bytes
      {W, "\\\\srv\\share", true},
      {W, "C:\\a\\\\b", false},
      {W, "C:\\a|b", false},
      {W, "C:\\a/b", false},
      {W, "C:\\a:b", false},
      {W, "C:\\a*b", false},
      {W, "C:\\a?b", false},
      {W, "C:\\a\"b", false},
      {W, "C:\\a<b", false},
      {W, "C:\\a>b", false},
      {W, std::string("C:\\a\x1F" "b"), false},
      {W, "C", false},
      {W, "", false},
      {W, "1:\\a", false},
      {W, "movies", false},
      {W, "\\movies", false},
      {P, "/", true},
      {P, "/home/u/movies", true},
      {P, "/home/u/movies/", true},
      {P, "/home/u/my movies", true},
      {P, "", false},
      {P, "movies", false},
      {P, "./movies", false},
      {P, "//home", false},
      {P, "/home//u", false},
      {P, "/home\\u", false},
      {P, "/home:u", false},
      {P, "/a*", false},
      {P, "/a?", false},
      {P, "/a\"", false},
      {P, "/a<", false},
      {P, "/a>", false},
      {P, "/a|", false},
      {P, std::string("/a\tb"), false},
      {P, std::string("/a\nb"), false},
      {P, "C:\\a", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidTargetPath(c.path, c.style), c.valid)
        << c.path << (c.style == W ? " (windows)" : " (posix)");
  }
}

struct PrefixCase {
  PathStyle style;
  const char* path;
  std::vector<std::string> prefixes;
};

TEST(DirectoryPrefixes, OutermostFirst) {
  const PrefixCase cases[] = {
      {W, "D:\\a\\b", {"D:", "D:\\a", "D:\\a\\b"}},
      {W, "D:\\a\\", {"D:", "D:\\a", "D:\\a\\"}},
      {W, "D:", {"D:"}},
      {W, "\\\\srv\\share\\x", {"\\\\srv\\share", "\\\\srv\\share\\x"}},
      {P, "/a/b", {"/a", "/a/b"}},
      {P, "/a/b/", {"/a", "/a/b", "/a/b/"}},
      {P, "/", {"/"}},
  };
  for (const auto& c : cases) EXPECT_EQ(DirectoryPrefixes(c.path, c.style), c.prefixes) << c.path;
}

TEST(CreateDirectoryPath, WindowsStyleCreatesMissingLevels) {
  FakeDisk disk;
  disk.folders = {"D:"};
  EXPECT_TRUE(CreateDirectoryPath("D:\\a\\b", W, disk.ops));
  EXPECT_EQ(disk.created, (std::vector<std::string>{"D:\\a", "D:\\a\\b"}));

  // A level that cannot be made stops the walk; the levels made before it stay.
  FakeDisk refusing;
  refusing.folders = {"D:"};
  refusing.refused = {"D:\\x\\y"};
  SetLastError(0);
  EXPECT_FALSE(CreateDirectoryPath("D:\\x\\y\\z", W, refusing.ops));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(refusing.created, (std::vector<std::string>{"D:\\x"}));

  FakeDisk share;
  share.folders = {"\\\\srv\\share"};
  EXPECT_TRUE(CreateDirectoryPath("\\\\srv\\share\\new", W, share.ops));
  EXPECT_EQ(share.created, (std::vector<std::string>{"\\\\srv\\share\\new"}));

  FakeDisk none;
  EXPECT_FALSE(CreateDirectoryPath("D:\\a|b", W, none.ops));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
  EXPECT_TRUE(none.created.empty());
}

TEST(MakeUniquePath, WindowsStyle) {
  FakeDisk disk;
  EXPECT_EQ(MakeUniquePath("C:\\m\\movie.swf", W, disk.ops), "C:\\m\\movie.swf");
  // Counted variants do not matter while the name itself is free.
  disk.files = {"C:\\m\\movie[1].swf"};
  EXPECT_EQ(MakeUniquePath("C:\\m\\movie.swf", W, disk.ops), "C:\\m\\movie.swf");
  disk.files = {"C:\\m\\movie.swf"};
  EXPECT_EQ(MakeUniquePath("C:\\m\\movie.swf", W, disk.ops), "C:\\m\\movie[1].swf");
  disk.files.insert("C:\\m\\movie[1].swf");
  EXPECT_EQ(MakeUniquePath("C:\\m\\movie.swf", W, disk.ops), "C:\\m\\movie[2].swf");
  disk.files = {"C:\\m\\clip"};
  EXPECT_EQ(MakeUniquePath("C:\\m\\clip", W, disk.ops), "C:\\m\\clip[1]");
  disk.folders = {"C:\\m.d\\clip"};
  EXPECT_EQ(MakeUniquePath("C:\\m.d\\clip", W, disk.ops), "C:\\m.d\\clip[1]");
}

class OnDisk : public testing::Test {
 protected:
  test::TempDir dir;
  std::string Path(const std::string& rel) const { return dir.str() + "/" + rel; }
};

TEST_F(OnDisk, MakeUniquePathCountsPastFilesAndFolders) {
  EXPECT_EQ(MakeUniquePath(Path("movie.swf")), Path("movie.swf"));
  dir.WriteFile("movie.swf", "1");
  dir.WriteFile("movie[1].swf", "2");
  fs::create_directory(Path("movie[2].swf"));
  EXPECT_EQ(MakeUniquePath(Path("movie.swf")), Path("movie[3].swf"));
  fs::create_directory(Path("folder"));
  EXPECT_EQ(MakeUniquePath(Path("folder")), Path("folder[1]"));
}

TEST_F(OnDisk, CreateDirectoryPathPosix) {
  std::string target = Path("a/b/c");
  ASSERT_TRUE(CreateDirectoryPath(target));
  EXPECT_TRUE(fs::is_directory(target));
  EXPECT_TRUE(CreateDirectoryPath(target));  // nothing left to create
  EXPECT_TRUE(CreateDirectoryPath(Path("a/b/d/")));
  EXPECT_TRUE(fs::is_directory(Path("a/b/d")));

  // A file in the way of a level, and a file under the very name.
  dir.WriteFile("file", "x");
  SetLastError(0);
  EXPECT_FALSE(CreateDirectoryPath(Path("file/sub")));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  SetLastError(0);
  EXPECT_FALSE(CreateDirectoryPath(Path("file")));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

  SetLastError(0);
  EXPECT_FALSE(CreateDirectoryPath("relative/dir"));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
}

TEST_F(OnDisk, CreateDirectoryPathKeepsLevelsMadeBeforeAFailure) {
  fs::create_directories(Path("top"));
  // Permission bits do not stop root: as root, the levels are made by an unprivileged user.
  fs::permissions(dir.path(), fs::perms::all, fs::perm_options::replace);
  fs::permissions(Path("top"), fs::perms::all, fs::perm_options::replace);
  test::ChildResult child = test::RunInChild(
      [&] {
        std::string out = CreateDirectoryPath(Path("top/made")) ? "made" : "not made";
        fs::permissions(Path("top/made"), fs::perms::owner_read | fs::perms::owner_exec);
        BOOL deeper = CreateDirectoryPath(Path("top/made/no/deeper"));
        return out + " " + std::to_string(deeper) + " " + std::to_string(GetLastError());
      },
      /*dropRoot=*/true);
  ASSERT_EQ(child.exitCode, 0);
  EXPECT_EQ(child.report, "made 0 " + std::to_string(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(fs::is_directory(Path("top/made")));
}

// Under Big5 a trail byte 0x5C must not count as "\" (forbidden in the POSIX style, a
// separator in the Windows style), nor 0x7C as "|".
TEST(Big5Naming, TrailBytesAreNotSpecialCharacters) {
  std::string old = std::setlocale(LC_CTYPE, nullptr);
  if (!std::setlocale(LC_CTYPE, "zh_TW.BIG5")) GTEST_SKIP() << "zh_TW.BIG5 locale missing";
  const std::string xu = "\xB3\x5C";    // 許
  const std::string pipe = "\xA4\x7C";  // a character whose trail byte is "|"
  EXPECT_TRUE(IsValidTargetPath("/home/" + xu + "/" + pipe, P));
  EXPECT_TRUE(IsValidTargetPath("C:\\" + xu + "\\" + pipe, W));
  EXPECT_TRUE(IsValidTargetPath("C:\\" + xu + "\\" + xu, W));  // no doubled separator
  EXPECT_EQ(DirectoryPrefixes("D:\\" + xu + "\\b", W),
            (std::vector<std::string>{"D:", "D:\\" + xu, "D:\\" + xu + "\\b"}));
  // A name whose last character ends in "]" as a trail byte has no counter.
  const std::string bracket = "\xA4\x5D";  // trail byte "]"
  EXPECT_EQ(StripNameCounter("/m/ab[1" + bracket + ".swf", P), "/m/ab[1" + bracket + ".swf");
  EXPECT_EQ(StripNameCounter("/m/" + xu + xu + "[2].swf", P), "/m/" + xu + xu + ".swf");
  EXPECT_EQ(ComposeTargetPath("C:\\" + xu, xu + "[1].swf", W), "C:\\" + xu + "\\" + xu + ".swf");
  std::setlocale(LC_CTYPE, old.c_str());
}

// --- EnsureTargetDirectory ---

struct Asked {
  std::vector<std::string> questions;
  std::vector<std::string> failures;
  bool answer = true;
  DirectoryPrompts prompts() {
    return {[this](const std::string& p) {
              questions.push_back(p);
              return answer;
            },
            [this](const std::string& t) { failures.push_back(t); }};
  }
};

TEST_F(OnDisk, EnsureTargetDirectoryPaths) {
  {
    Asked asked;  // an existing folder: nothing asked
    EXPECT_TRUE(EnsureTargetDirectory(dir.str(), TRUE, asked.prompts()));
    EXPECT_TRUE(asked.questions.empty());
  }
  {
    Asked asked;  // Yes creates every level
    EXPECT_TRUE(EnsureTargetDirectory(Path("x/y"), TRUE, asked.prompts()));
    EXPECT_EQ(asked.questions, std::vector<std::string>{Path("x/y")});
    EXPECT_TRUE(asked.failures.empty());
    EXPECT_TRUE(fs::is_directory(Path("x/y")));
  }
  {
    Asked asked;  // No: nothing created, nothing reported
    asked.answer = false;
    EXPECT_FALSE(EnsureTargetDirectory(Path("no/z"), TRUE, asked.prompts()));
    EXPECT_EQ(asked.questions.size(), 1u);
    EXPECT_TRUE(asked.failures.empty());
    EXPECT_FALSE(fs::exists(Path("no")));
  }
  {
    Asked asked;  // invalid: no question, the directory error is reported
    EXPECT_FALSE(EnsureTargetDirectory("relative", TRUE, asked.prompts()));
    EXPECT_TRUE(asked.questions.empty());
    ASSERT_EQ(asked.failures.size(), 1u);
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
    EXPECT_FALSE(asked.failures[0].empty());
    EXPECT_NE(asked.failures[0], "(267)");  // the system has a text for it
  }
  {
    Asked asked;  // creation fails: reported with the failing level's error
    dir.WriteFile("blocker", "");
    EXPECT_FALSE(EnsureTargetDirectory(Path("blocker/sub"), TRUE, asked.prompts()));
    EXPECT_EQ(asked.questions.size(), 1u);
    ASSERT_EQ(asked.failures.size(), 1u);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  }
  {
    Asked asked;  // not interactive: no question, no report, still created
    EXPECT_TRUE(EnsureTargetDirectory(Path("quiet/dir"), FALSE, asked.prompts()));
    EXPECT_FALSE(EnsureTargetDirectory("bad", FALSE, asked.prompts()));
    EXPECT_TRUE(asked.questions.empty());
    EXPECT_TRUE(asked.failures.empty());
    EXPECT_TRUE(fs::is_directory(Path("quiet/dir")));
  }
}

// --- SettleTargetConflict ---

struct PromptLog {
  std::vector<std::pair<std::string, std::string>> calls;  // existing, source
  std::vector<FileExistsAnswer> answers;
  FileExistsPrompt prompt() {
    return [this](const std::string& existing, const std::string& source) {
      calls.emplace_back(existing, source);
      FileExistsAnswer a = answers.at(calls.size() - 1);
      return a;
    };
  }
};

struct PolicyCase {
  const char* name;
  int policy;
  bool target_exists;
  BOOL write;
  const char* final_target;
};

TEST(SettleTargetConflict, PoliciesWithoutPrompt) {
  const PolicyCase cases[] = {
      {"overwrite, exists", CONFLICT_OVERWRITE, true, TRUE, "C:\\m\\a.swf"},
      {"overwrite, free", CONFLICT_OVERWRITE, false, TRUE, "C:\\m\\a.swf"},
      {"rename, exists", CONFLICT_AUTO_RENAME, true, TRUE, "C:\\m\\a[1].swf"},
      {"rename, free", CONFLICT_AUTO_RENAME, false, TRUE, "C:\\m\\a.swf"},
      {"skip, exists", CONFLICT_SKIP, true, FALSE, "C:\\m\\a.swf"},
      {"skip, free", CONFLICT_SKIP, false, TRUE, "C:\\m\\a.swf"},
      {"prompt, free", CONFLICT_PROMPT, false, TRUE, "C:\\m\\a.swf"},
  };
  for (const auto& c : cases) {
    FakeDisk disk;
    if (c.target_exists) disk.files = {"C:\\m\\a.swf"};
    std::string target = "C:\\m\\a.swf";
    ConflictMemory memory;
    PromptLog log;  // no answers: a prompt would throw
    SWFFileInfo info;
    EXPECT_EQ(SettleTargetConflict(target, info, c.policy, memory, log.prompt(), W, disk.ops),
              c.write)
        << c.name;
    EXPECT_EQ(target, c.final_target) << c.name;
    EXPECT_TRUE(log.calls.empty()) << c.name;
  }
}

struct AnswerCase {
  const char* name;
  FileExistsAnswer answer;
  BOOL write;
  const char* final_target;
};

TEST(SettleTargetConflict, PromptAnswers) {
  const AnswerCase cases[] = {
      {"auto rename", {FILE_EXISTS_AUTO_RENAME, "", FALSE}, TRUE, "/m/a[1].swf"},
      {"rename", {FILE_EXISTS_RENAME, "/other/b[3].swf", FALSE}, TRUE, "/other/b[3].swf"},
      {"overwrite", {FILE_EXISTS_OVERWRITE, "", FALSE}, TRUE, "/m/a.swf"},
      {"skip", {FILE_EXISTS_SKIP, "", FALSE}, FALSE, "/m/a.swf"},
      // Answers the dialog cannot give never overwrite.
      {"unknown answer", {-1, "", FALSE}, FALSE, "/m/a.swf"},
      {"rename without a path", {FILE_EXISTS_RENAME, "", FALSE}, FALSE, "/m/a.swf"},
  };
  for (const auto& c : cases) {
    FakeDisk disk;
    disk.files = {"/m/a.swf"};
    std::string target = "/m/a.swf";
    ConflictMemory memory;
    PromptLog log;
    log.answers = {c.answer};
    SWFFileInfo info;
    info.strLocalFile = "/cache/a[1].swf";
    EXPECT_EQ(SettleTargetConflict(target, info, CONFLICT_PROMPT, memory, log.prompt(), P,
                                   disk.ops),
              c.write)
        << c.name;
    EXPECT_EQ(target, c.final_target) << c.name;
    ASSERT_EQ(log.calls.size(), 1u) << c.name;
    EXPECT_EQ(log.calls[0].first, "/m/a.swf");
    EXPECT_EQ(log.calls[0].second, "/cache/a[1].swf");
    EXPECT_EQ(memory.nAnswer, c.answer.nResult) << c.name;
  }
}

TEST(SettleTargetConflict, ApplyToAllIsRememberedForTheRun) {
  FakeDisk disk;
  disk.files = {"/m/a.swf", "/m/b.swf", "/m/c.swf"};
  ConflictMemory memory;
  PromptLog log;
  log.answers = {{FILE_EXISTS_OVERWRITE, "", TRUE}};
  SWFFileInfo info;
  for (const char* name : {"/m/a.swf", "/m/b.swf", "/m/c.swf"}) {
    std::string target = name;
    EXPECT_TRUE(SettleTargetConflict(target, info, CONFLICT_PROMPT, memory, log.prompt(), P,
                                     disk.ops));
    EXPECT_EQ(target, name);
  }
  EXPECT_EQ(log.calls.size(), 1u);

  // Skip for all: later clashes are skipped silently; free names are still written.
  ConflictMemory skip_memory;
  PromptLog skip_log;
  skip_log.answers = {{FILE_EXISTS_SKIP, "", TRUE}};
  std::string a = "/m/a.swf", b = "/m/b.swf", free_name = "/m/new.swf";
  EXPECT_FALSE(SettleTargetConflict(a, info, CONFLICT_PROMPT, skip_memory, skip_log.prompt(), P,
                                    disk.ops));
  EXPECT_FALSE(SettleTargetConflict(b, info, CONFLICT_PROMPT, skip_memory, skip_log.prompt(), P,
                                    disk.ops));
  EXPECT_TRUE(SettleTargetConflict(free_name, info, CONFLICT_PROMPT, skip_memory,
                                   skip_log.prompt(), P, disk.ops));
  EXPECT_EQ(skip_log.calls.size(), 1u);

  // Without apply-to-all every clash asks; a new run (fresh memory) asks again.
  ConflictMemory each;
  PromptLog each_log;
  each_log.answers = {{FILE_EXISTS_AUTO_RENAME, "", FALSE}, {FILE_EXISTS_SKIP, "", FALSE}};
  std::string t1 = "/m/a.swf", t2 = "/m/b.swf";
  EXPECT_TRUE(SettleTargetConflict(t1, info, CONFLICT_PROMPT, each, each_log.prompt(), P, disk.ops));
  EXPECT_EQ(t1, "/m/a[1].swf");
  EXPECT_FALSE(SettleTargetConflict(t2, info, CONFLICT_PROMPT, each, each_log.prompt(), P, disk.ops));
  EXPECT_EQ(each_log.calls.size(), 2u);
}

TEST(SettleTargetConflict, RememberedRenameAsksAgain) {
  FakeDisk disk;
  disk.files = {"/m/a.swf", "/m/b.swf"};
  ConflictMemory memory{FILE_EXISTS_RENAME, TRUE};
  PromptLog log;
  log.answers = {{FILE_EXISTS_RENAME, "/m/z.swf", FALSE}};
  std::string target = "/m/b.swf";
  SWFFileInfo info;
  EXPECT_TRUE(SettleTargetConflict(target, info, CONFLICT_PROMPT, memory, log.prompt(), P, disk.ops));
  EXPECT_EQ(target, "/m/z.swf");
  EXPECT_EQ(log.calls.size(), 1u);
  EXPECT_FALSE(memory.bApplyToAll);
}

}  // namespace
}  // namespace trovex

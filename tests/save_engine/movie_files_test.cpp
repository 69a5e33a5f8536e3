// Where a file a movie loads goes under the target folder: below the folder names resolve
// against, at the same path; anywhere else, in a folder of its own; never outside.
#include "save_engine/movie_files.h"

#include <gtest/gtest.h>

#include <string>

namespace trovex {
namespace {

TEST(RelativeFilePath, SamePathBelowTheBaseAndAFolderOfItsOwnElse) {
  const std::string base = "http://h.test/games/page.html";
  struct Case {
    const char* name;
    std::string address;
    std::string expected;
  } cases[] = {
      {"beside", "http://h.test/games/level1.swf", "level1.swf"},
      {"subfolder", "http://h.test/games/levels/2.swf", "levels/2.swf"},
      {"query dropped", "http://h.test/games/data/config.xml?v=3#top", "data/config.xml"},
      {"escapes decoded", "http://h.test/games/my%20sound.mp3", "my sound.mp3"},
      {"escaped dots cannot climb", "http://h.test/games/%2e%2e/%2E%2E/x.txt", "__/__/x.txt"},
      {"escaped slash stays in the name", "http://h.test/games/a%2f..%2fb.txt", "a_.._b.txt"},
      {"backslash and colon replaced", "http://h.test/games/a%5cb:c.png", "a_b_c.png"},
      {"empty segments dropped", "http://h.test/games//x//y.png", "x/y.png"},
      {"elsewhere on the server", "http://h.test/shared/skin.png", "h.test/shared/skin.png"},
      {"folder name prefix is not the folder", "http://h.test/gamesx/a.png", "h.test/gamesx/a.png"},
      {"another host", "https://cdn.test/a/b.mp3", "cdn.test/a/b.mp3"},
      {"another port", "http://h.test:8080/games/a.mp3", "h.test_8080/games/a.mp3"},
      {"another scheme", "https://h.test/games/a.mp3", "h.test/games/a.mp3"},
      {"names a folder, not a file", "http://h.test/games/levels/", ""},
      {"not an address", "levels/2.swf", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(RelativeFilePath(c.address, base), c.expected) << c.name;
}

TEST(RelativeFilePath, ALocalMovieKeepsItsFolderAndNothingEscapesIt) {
  struct Case {
    const char* name;
    std::string address, base, expected;
  } cases[] = {
      {"local beside", "file:///m/a/x.xml", "file:///m/a/movie.swf", "x.xml"},
      {"local elsewhere", "file:///etc/passwd.txt", "file:///m/a/movie.swf", "localhost/etc/passwd.txt"},
      {"base folder itself", "http://h.test/a/b.mp3", "http://h.test/a/", "b.mp3"},
      {"base without a path", "http://h.test/b.mp3", "http://h.test", "b.mp3"},
  };
  for (const Case& c : cases) {
    const std::string path = RelativeFilePath(c.address, c.base);
    EXPECT_EQ(path, c.expected) << c.name;
    EXPECT_FALSE(path.starts_with("/") || path.find("../") != std::string::npos) << c.name;
  }
}

}  // namespace
}  // namespace trovex

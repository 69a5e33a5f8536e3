// The texts the Save dialog makes: the size column, and the argument that hands a saved
// movie's path to a companion (which must arrive as exactly that one path).
#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/shell/shell_execute.h"
#include "save_dialog/dlg_save.h"
#include "save_engine/format.h"

namespace trovex {
namespace {

TEST(SaveDialogText, SizeColumnRoundsToTheNearestKilobyteAndShowsAtLeastOne) {
  struct Case {
    std::int64_t size;
    const char* text;
  } cases[] = {
      {-1, "? KB"},   {0, "0 KB"},        {1, "1 KB"},         {511, "1 KB"},
      {512, "1 KB"},  {1023, "1 KB"},     {1024, "1 KB"},      {1535, "1 KB"},
      {1536, "2 KB"}, {2047, "2 KB"},     {1048576, "1,024 KB"}, {1049088, "1,025 KB"},
      {INT32_MAX, "2,097,152 KB"},
      // Past 2 GiB the size stays a size.
      {2684354560LL, "2,621,440 KB"}, {5000000000LL, "4,882,813 KB"},
  };
  for (const auto& c : cases) EXPECT_EQ(FileSizeText(c.size), c.text) << c.size;
}

TEST(SaveDialogText, CompanionArgumentArrivesAsThePathItself) {
  struct Case {
    const char* locale;  // nullptr: the current one
    std::string path;
    std::string text;    // empty: only the round trip is checked
  } cases[] = {
      {nullptr, "/home/使用者/影片/intro.swf", "\"/home/使用者/影片/intro.swf\""},
      {nullptr, "/srv/a b/c.swf", "\"/srv/a b/c.swf\""},
      {nullptr, "/srv/say \"hi\".swf", "\"/srv/say \\\"hi\\\".swf\""},
      {nullptr, "/srv/back\\slash.swf", "\"/srv/back\\slash.swf\""},
      {nullptr, "/srv/ends\\", "\"/srv/ends\\\\\""},
      {nullptr, "/srv/x\\\\\"y", ""},
      {nullptr, "/srv/tab\there", ""},
      {"zh_TW.BIG5", "/srv/\xB3\x5C", "\"/srv/\xB3\x5C\""},  // 許: its trail byte is no backslash
      {"zh_TW.BIG5", "/srv/\xA5\x5C\"", ""},
  };
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    if (c.locale && !std::setlocale(LC_ALL, c.locale)) {
      std::setlocale(LC_ALL, saved.c_str());
      continue;  // the locale is not installed here
    }
    const std::string text = QuoteCompanionArgument(c.path);
    if (!c.text.empty()) {
      EXPECT_EQ(text, c.text);
    }
    EXPECT_EQ(SplitCommandLine(text), std::vector<std::string>{c.path});
    std::setlocale(LC_ALL, saved.c_str());
  }
}

}  // namespace
}  // namespace trovex

#include "scan/document_walker.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/inet/inet.h"
#include "tests/scan/fake_dom.h"
#include "tests/scan/scan_test_util.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

using test::BrokenFrame;
using test::Embed;
using test::FlashObject;
using test::Frame;
using test::FrameSpec;
using test::PageSpec;
using test::RefLedger;

std::vector<std::string> Keys(const SWFFileList& list) {
  std::vector<std::string> keys;
  for (const auto& [key, info] : list) keys.push_back(key);
  return keys;
}

PageSpec Page(const std::string& name, const std::string& url) {
  PageSpec p;
  p.name = name;
  p.url = url;
  return p;
}

class WalkerTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!locale_.ok()) GTEST_SKIP() << "no C.UTF-8 locale";
  }

  // Scans the page built from `page` and checks that the walker returned every reference it
  // obtained and never held an element while fetching the next one.
  int Scan(const PageSpec& page) {
    auto ledger = std::make_shared<RefLedger>();
    int result;
    {
      ComPtr<IHTMLDocument2> document = test::BuildDocument(page, ledger);
      result = ScanDocument(document.Get(), list_);
      EXPECT_EQ(ledger->Unbalanced(), std::vector<std::string>{}) << "references not released";
      EXPECT_EQ(ledger->Violations(), std::vector<std::string>{});
      calls_ = ledger->calls;
    }
    return result;
  }
  bool Called(const std::string& call) const {
    return std::find(calls_.begin(), calls_.end(), call) != calls_.end();
  }

  test::ScopedLocale locale_{"C.UTF-8"};
  test::IsolatedHome home_;  // an empty URL cache of our own
  SWFFileList list_;
  std::vector<std::string> calls_;
};

TEST_F(WalkerTest, FramesAtAnyDepthAreListedWithThePage) {
  PageSpec inner = Page("inner", "http://c/deep/in.html");
  inner.applets.items.push_back(FlashObject("c.swf"));
  PageSpec left = Page("left", "http://a/l/left.html");
  left.embeds.items.push_back(Embed("a.swf"));
  PageSpec right = Page("right", "http://b/r/right.html");
  right.frames.push_back(Frame(inner));
  PageSpec top = Page("top", "http://t/index.html");
  top.frames = {Frame(left), Frame(right)};
  top.applets.items.push_back(FlashObject("/top.swf"));

  EXPECT_EQ(Scan(top), 0);
  EXPECT_EQ(Keys(list_), (std::vector<std::string>{"http://a/l/a.swf", "http://c/deep/c.swf", "http://t/top.swf"}));
  // Frames first, depth first, then the page's own elements.
  auto at = [&](const std::string& c) { return std::find(calls_.begin(), calls_.end(), c) - calls_.begin(); };
  EXPECT_LT(at("get_URL left"), at("get_URL inner"));
  EXPECT_LT(at("get_URL inner"), at("get_URL right"));
  EXPECT_LT(at("get_URL right"), at("get_URL top"));
}

TEST_F(WalkerTest, ObjectWithNestedEmbedOfTheSameMovieGivesOneEntry) {
  PageSpec top = Page("top", "http://h/dir/page.html");
  top.applets.items.push_back(FlashObject("intro.swf"));
  top.embeds.items.push_back(Embed("http://h/dir/intro.swf"));
  top.embeds.items.push_back(Embed("/dir/./intro.swf"));
  EXPECT_EQ(Scan(top), 0);
  ASSERT_EQ(Keys(list_), std::vector<std::string>{"http://h/dir/intro.swf"});
  EXPECT_EQ(list_["http://h/dir/intro.swf"].strFileName, "intro.swf");
}

TEST_F(WalkerTest, ObjectsAreRecognisedByTheClassIdOnly) {
  struct Case {
    std::optional<std::string> classid;
    std::string movie;
    bool listed;
  } cases[] = {
      {"clsid:D27CDB6E-AE6D-11CF-96B8-444553540000", "m.swf", true},
      {"clsid:d27cdb6e-ae6d-11cf-96b8-444553540000", "m.swf", true},
      {"{D27cdb6e-AE6D-11cf-96B8-444553540000}x", "m.swf", true},
      {"clsid:D27CDB6E-AE6D-11CF-96B8-444553540001", "m.swf", false},
      {"", "m.swf", false},
      {std::nullopt, "m.swf", false},  // no classid at all (null text)
      {"clsid:D27CDB6E-AE6D-11CF-96B8-444553540000", "", false},
      {"clsid:D27CDB6E-AE6D-11CF-96B8-444553540000", "   ", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.classid.value_or("(null)") + " / '" + c.movie + "'");
    list_.RemoveAll();
    PageSpec top = Page("top", "http://h/p.html");
    test::ElementSpec e = FlashObject(c.movie);
    e.classid = c.classid;
    top.applets.items.push_back(e);
    // A Flash type and data attribute do not make an OBJECT a movie.
    test::ElementSpec typed;
    typed.attributes["type"] = test::Text("application/x-shockwave-flash");
    typed.attributes["data"] = test::Text("d.swf");
    typed.attributes["movie"] = test::Text("d.swf");
    top.applets.items.push_back(typed);
    EXPECT_EQ(Scan(top), 0);
    EXPECT_EQ(Keys(list_), c.listed ? std::vector<std::string>{"http://h/m.swf"} : std::vector<std::string>{});
  }
}

TEST_F(WalkerTest, EmbedsAreRecognisedBySuffixOrType) {
  struct Case {
    std::optional<std::string> src, type;
    const char* key;  // "" = not listed
  } cases[] = {
      {"intro.SWF", std::nullopt, "http://h/d/intro.SWF"},
      {"intro.swf?v=2", std::nullopt, ""},
      {"intro.swf?v=2", "Application/X-Shockwave-Flash", "http://h/d/intro.swf?v=2"},
      {"play.php?id=4", "APPLICATION/x-shockwave-flash", "http://h/d/play.php?id=4"},
      {"play.php?id=4", "application/x-shockwave-flash2", ""},
      {"play.php?id=4", " application/x-shockwave-flash ", "http://h/d/play.php?id=4"},
      {std::nullopt, "application/x-shockwave-flash", ""},
      {"swf", std::nullopt, ""},
      {".swf", std::nullopt, "http://h/d/.swf"},
      {"  /m/a.swf  ", std::nullopt, "http://h/m/a.swf"},  // spaces trimmed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.src.value_or("(no src)") + " / " + c.type.value_or("(no type)"));
    list_.RemoveAll();
    PageSpec top = Page("top", "http://h/d/p.html");
    top.embeds.items.push_back(Embed(c.src, c.type));
    EXPECT_EQ(Scan(top), 0);
    EXPECT_EQ(Keys(list_), std::string(c.key).empty() ? std::vector<std::string>{}
                                                       : std::vector<std::string>{c.key});
    // Without a src the type is never asked for.
    if (!c.src) {
      EXPECT_FALSE(Called("getAttribute embeds:top[0] type"));
    }
  }
}

TEST_F(WalkerTest, NonTextAttributeValuesCountAsEmpty) {
  PageSpec top = Page("top", "http://h/p.html");
  test::ElementSpec numericSrc = Embed(std::nullopt, "application/x-shockwave-flash");
  numericSrc.attributes["src"] = test::Int(5);  // present, but no text: no reference
  test::ElementSpec numericMovie = FlashObject("");
  numericMovie.attributes["movie"] = test::Int(5);
  top.embeds.items.push_back(numericSrc);
  top.applets.items.push_back(numericMovie);
  EXPECT_EQ(Scan(top), 0);
  EXPECT_TRUE(Called("getAttribute embeds:top[0] type"));
  EXPECT_EQ(list_.GetCount(), 0u);
}

TEST_F(WalkerTest, LeadingTabOfAReferenceIsKept) {
  PageSpec top = Page("top", "http://h/d/p.html");
  top.embeds.items.push_back(Embed(" \tintro.swf "));
  EXPECT_EQ(Scan(top), 0);
  EXPECT_EQ(Keys(list_), std::vector<std::string>{"http://h/d/\tintro.swf"});
}

TEST_F(WalkerTest, DocumentDirectoryIsMadeFromTheAddress) {
  struct Case {
    const char* url;
    const char* reference;
    const char* key;
  } cases[] = {
      {"http://h/dir/page.php?from=/x/y", "a.swf", "http://h/dir/a.swf"},
      {"http://h/dir/page.php?from=/x/y", "/a.swf", "http://h/a.swf"},
      {"http://h:81/dir/sub/", "../a.swf", "http://h:81/dir/a.swf"},
      {"http://h", "a.swf", "http://h/a.swf"},
      {"http://h?q=1/2", "a.swf", "http://h/a.swf"},
      {"HTTP://H/Dir/p.html", "a.swf", "http://h/Dir/a.swf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    list_.RemoveAll();
    PageSpec top = Page("top", c.url);
    top.embeds.items.push_back(Embed(c.reference));
    EXPECT_EQ(Scan(top), 0);
    EXPECT_EQ(Keys(list_), std::vector<std::string>{c.key});
  }
}

TEST_F(WalkerTest, BackslashSeparatorsCountWhenTheyComeLast) {
  struct Case {
    const char* url;
    const char* key;
  } cases[] = {
      {"http://h/dir\\sub\\page.html", "http://h/dir/sub/a.swf"},
      {"http://h/dir\\sub/x/page.html", "http://h/dir/sub/x/a.swf"},
      {"http://h/d/sub\\p.html?x=\\y", "http://h/d/sub/a.swf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    list_.RemoveAll();
    PageSpec top = Page("top", c.url);
    top.embeds.items.push_back(Embed("a.swf"));
    EXPECT_EQ(Scan(top), 0);
    EXPECT_EQ(Keys(list_), std::vector<std::string>{c.key});
  }
}

TEST_F(WalkerTest, CachedAndLocalMoviesGetTheirLocalCopies) {
  test::TempDir dir;
  std::string local = dir.WriteFile("my clip.swf", "12345678");
  std::string cacheFile;
  const std::string data(300, 'S');
  ASSERT_TRUE(AddUrlCacheEntry("http://h/swf/intro.swf", data.data(), data.size(), &cacheFile));

  PageSpec frame = Page("frame", "file://" + dir.str() + "/index.html");
  frame.embeds.items.push_back(Embed("my%20clip.swf"));
  PageSpec top = Page("top", "http://h/page/index.html");
  top.frames.push_back(Frame(frame));
  top.applets.items.push_back(FlashObject("../swf/intro.swf"));
  EXPECT_EQ(Scan(top), 0);
  ASSERT_EQ(list_.GetCount(), 2u);
  const SWFFileInfo& cached = list_["http://h/swf/intro.swf"];
  EXPECT_EQ(cached.strLocalFile, cacheFile);
  EXPECT_EQ(cached.nSize, 300);
  const SWFFileInfo& onDisk = list_[local];
  EXPECT_EQ(onDisk.strURL, local);
  EXPECT_EQ(onDisk.strFileName, "my clip.swf");
  EXPECT_EQ(onDisk.nSize, 8);
}

// More movies than one thread resolves alone: helper threads resolve them while the walk goes
// on. Each movie must still get its own page's address and its own source, with the same
// address from every frame listed once.
TEST_F(WalkerTest, ALargePageIsListedWholeWithEachMoviesSource) {
  test::TempDir dir;
  struct Want {
    std::string local;
    std::int64_t size;
  };
  std::map<std::string, Want> want;
  PageSpec top = Page("top", "file://" + dir.str() + "/index.html");
  {
    UrlCacheWriteGroup group;
    for (int f = 0; f < 6; ++f) {
      const std::string folder = "f" + std::to_string(f);
      PageSpec frame = Page(folder, "file://" + dir.str() + "/" + folder + "/index.html");
      for (int i = 0; i < 150; ++i) {
        const int n = f * 150 + i;
        if (n % 3 == 0) {  // in the URL cache
          const std::string url = "http://h/c" + std::to_string(n) + ".swf", data(n % 50 + 1, 'C');
          std::string local;
          ASSERT_TRUE(AddUrlCacheEntry(url, data.data(), data.size(), &local));
          frame.embeds.items.push_back(Embed(url));
          want[url] = {local, static_cast<std::int64_t>(data.size())};
        } else if (n % 3 == 1) {  // a local file beside the frame's page
          const std::string name = "m" + std::to_string(n) + ".swf";
          const std::string file = dir.WriteFile(folder + "/" + name, std::string(n % 70 + 1, 'L'));
          frame.applets.items.push_back(test::FlashObject(name));
          want[file] = {file, n % 70 + 1};
        } else {  // to be downloaded; every frame names the same ones
          const std::string url = "http://h/shared" + std::to_string(i) + ".swf";
          frame.embeds.items.push_back(Embed(url));
          want[url] = {"", -1};
        }
      }
      top.frames.push_back(Frame(frame));
    }
    ASSERT_TRUE(group.Commit());
  }
  EXPECT_EQ(Scan(top), 0);
  ASSERT_EQ(list_.GetCount(), want.size());
  for (const auto& [key, movie] : want) {
    const SWFFileInfo& got = list_[key];
    EXPECT_EQ(got.strURL, key);
    EXPECT_EQ(got.strLocalFile, movie.local) << key;
    EXPECT_EQ(got.nSize, movie.size) << key;
  }
}

TEST_F(WalkerTest, EarlierEntriesStayAndTheSameAddressIsReplaced) {
  SWFFileInfo kept;
  kept.strURL = "http://other/keep.swf";
  list_.Store(kept);
  SWFFileInfo saved;
  saved.strURL = "http://h/a.swf";
  saved.bSaved = 1;
  saved.strSavedPath = "/out/a.swf";
  list_.Store(saved);

  PageSpec top = Page("top", "http://h/index.html");
  top.embeds.items = {Embed("b.swf"), Embed("a.swf")};
  EXPECT_EQ(Scan(top), 0);
  EXPECT_EQ(Keys(list_), (std::vector<std::string>{"http://h/a.swf", "http://h/b.swf", "http://other/keep.swf"}));
  EXPECT_EQ(list_["http://h/a.swf"].bSaved, 0);
  EXPECT_EQ(list_["http://h/a.swf"].strSavedPath, "");
  EXPECT_EQ(list_["http://h/a.swf"].strFileName, "a.swf");
}

TEST_F(WalkerTest, NullOrNonContainerDocumentIsNotInspected) {
  EXPECT_EQ(ScanDocument(nullptr, list_), 1);

  for (int variant = 0; variant < 2; ++variant) {
    SCOPED_TRACE(variant == 0 ? "not a container" : "enumeration fails");
    PageSpec frame = Page("frame", "http://f/f.html");
    frame.embeds.items.push_back(Embed("f.swf"));
    PageSpec top = Page("top", "http://h/index.html");
    top.frames.push_back(Frame(frame));
    top.embeds.items.push_back(Embed("a.swf"));
    if (variant == 0) top.container = false;
    else top.enumFails = true;
    EXPECT_EQ(Scan(top), 1);
    EXPECT_EQ(list_.GetCount(), 0u);
    EXPECT_FALSE(Called("get_URL top"));
    EXPECT_FALSE(Called("get_URL frame"));
  }
}

TEST_F(WalkerTest, UnusableFramesAreSkippedAndTheirSiblingsScanned) {
  PageSpec good = Page("good", "http://g/g.html");
  good.embeds.items.push_back(Embed("g.swf"));
  PageSpec notContainer = Page("nc", "http://nc/n.html");
  notContainer.container = false;
  notContainer.embeds.items.push_back(Embed("n.swf"));

  PageSpec top = Page("top", "http://h/index.html");
  top.frames = {BrokenFrame(FrameSpec::Kind::NotBrowser),   BrokenFrame(FrameSpec::Kind::NoDocument),
                BrokenFrame(FrameSpec::Kind::DocumentFails), BrokenFrame(FrameSpec::Kind::NotHtmlDocument),
                Frame(notContainer),                        Frame(good)};
  top.embeds.items.push_back(Embed("a.swf"));
  EXPECT_EQ(Scan(top), 0);
  EXPECT_EQ(Keys(list_), (std::vector<std::string>{"http://g/g.swf", "http://h/a.swf"}));
}

TEST_F(WalkerTest, EnumerationEndsAtTheFirstFailureButThePageIsStillScanned) {
  PageSpec first = Page("first", "http://f/1.html");
  first.embeds.items.push_back(Embed("1.swf"));
  PageSpec second = Page("second", "http://f/2.html");
  second.embeds.items.push_back(Embed("2.swf"));
  PageSpec top = Page("top", "http://h/index.html");
  top.frames = {Frame(first), Frame(second)};
  top.nextFailsAt = 1;
  top.embeds.items.push_back(Embed("a.swf"));
  EXPECT_EQ(Scan(top), 0);
  EXPECT_EQ(Keys(list_), (std::vector<std::string>{"http://f/1.swf", "http://h/a.swf"}));
}

TEST_F(WalkerTest, UnreadableAddressKeepsTheFramesMoviesOnly) {
  for (std::optional<std::string> url : {std::optional<std::string>{}, std::optional<std::string>{"not an address"},
                                         std::optional<std::string>{""}}) {
    SCOPED_TRACE(url.value_or("(get_URL fails)"));
    list_.RemoveAll();
    PageSpec frame = Page("frame", "http://f/f.html");
    frame.applets.items.push_back(FlashObject("f.swf"));
    PageSpec top = Page("top", "");
    top.url = url;
    top.frames.push_back(Frame(frame));
    top.applets.items.push_back(FlashObject("/a.swf"));
    top.embeds.items.push_back(Embed("http://x/b.swf"));
    EXPECT_EQ(Scan(top), 1);
    EXPECT_EQ(Keys(list_), std::vector<std::string>{"http://f/f.swf"});
    EXPECT_FALSE(Called("get_applets top"));
    EXPECT_FALSE(Called("get_embeds top"));
  }
}

TEST_F(WalkerTest, AMissingCollectionDoesNotHideTheOther) {
  for (int broken = 0; broken < 4; ++broken) {
    SCOPED_TRACE(broken);
    list_.RemoveAll();
    PageSpec top = Page("top", "http://h/index.html");
    top.applets.items.push_back(FlashObject("o.swf"));
    top.embeds.items.push_back(Embed("e.swf"));
    if (broken == 0) top.applets.unavailable = true;
    if (broken == 1) top.applets.lengthFails = true;
    if (broken == 2) top.embeds.unavailable = true;
    if (broken == 3) top.embeds.lengthFails = true;
    EXPECT_EQ(Scan(top), 0);
    EXPECT_EQ(Keys(list_), std::vector<std::string>{broken < 2 ? "http://h/e.swf" : "http://h/o.swf"});
  }
}

TEST_F(WalkerTest, ElementsThatFailAreSkippedOneByOne) {
  PageSpec top = Page("top", "http://h/index.html");
  auto object = [](const char* movie, auto change) {
    test::ElementSpec e = FlashObject(movie);
    change(e);
    return e;
  };
  auto embed = [](const char* src, auto change) {
    test::ElementSpec e = Embed(src);
    change(e);
    return e;
  };
  top.applets.items = {
      object("o1.swf", [](auto& e) { e.fetchFails = true; }),
      object("o2.swf", [](auto& e) { e.answersObject = false; }),
      object("o3.swf", [](auto& e) { e.classidFails = true; }),
      object("o4.swf", [](auto& e) { e.answersElement = false; }),
      object("o5.swf", [](auto& e) { e.getAttributeFails = true; }),
      object("ok.swf", [](auto&) {}),
  };
  top.embeds.items = {
      embed("e1.swf", [](auto& e) { e.fetchFails = true; }),
      embed("e2.swf", [](auto& e) { e.answersElement = false; }),
      embed("e3.swf", [](auto& e) { e.getAttributeFails = true; }),
      embed("fine.swf", [](auto&) {}),
  };
  EXPECT_EQ(Scan(top), 0);
  EXPECT_EQ(Keys(list_), (std::vector<std::string>{"http://h/fine.swf", "http://h/ok.swf"}));
}

TEST(WalkerBig5, TrailByteOfTheAddressIsNoSeparator) {
  TROVEX_REQUIRE_LOCALE(locale, "zh_TW.BIG5");
  test::IsolatedHome home;
  // Page names in UTF-8 reach the walker as UTF-16 and are converted to Big5.
  const std::string xu8 = test::kUtf8Xu, xu = test::kBig5Xu, yi8 = test::kUtf8Yi, yi = test::kBig5Yi;
  PageSpec named = Page("named", "http://h/dir/" + xu8 + ".html");  // trail "\" after the last "/"
  named.embeds.items.push_back(Embed("a.swf"));
  PageSpec folder = Page("folder", "http://h/" + xu8 + "/p.html");
  folder.embeds.items.push_back(Embed(yi8 + ".swf"));
  PageSpec top = Page("top", "http://h/index.html");
  top.frames = {Frame(named), Frame(folder)};

  auto ledger = std::make_shared<RefLedger>();
  SWFFileList list;
  {
    ComPtr<IHTMLDocument2> document = test::BuildDocument(top, ledger);
    EXPECT_EQ(ScanDocument(document.Get(), list), 0);
  }
  EXPECT_EQ(Keys(list), (std::vector<std::string>{"http://h/dir/a.swf", "http://h/" + xu + "/" + yi + ".swf"}));
  EXPECT_EQ(list["http://h/" + xu + "/" + yi + ".swf"].strFileName, yi + ".swf");
}

// The helper threads read addresses in the caller's code page even when only the caller's
// thread has it: a Big5 trail byte "\" is no separator for them either.
TEST(WalkerBig5, ALargePageIsResolvedInTheCallingThreadsCodePage) {
  TROVEX_REQUIRE_LOCALE(global, "C.UTF-8");
  locale_t big5 = ::newlocale(LC_ALL_MASK, "zh_TW.BIG5", nullptr);
  if (!big5) GTEST_SKIP() << "locale zh_TW.BIG5 missing";
  test::IsolatedHome home;
  constexpr int kMovies = 1000;
  PageSpec top = Page("top", "http://h/index.html");
  for (int i = 0; i < kMovies; ++i) top.embeds.items.push_back(Embed(test::kUtf8Xu + std::to_string(i) + ".swf"));
  SWFFileList list;
  const locale_t before = ::uselocale(big5);
  {
    ComPtr<IHTMLDocument2> document = test::BuildDocument(top, std::make_shared<RefLedger>());
    EXPECT_EQ(ScanDocument(document.Get(), list), 0);
  }
  ::uselocale(before);
  ::freelocale(big5);
  std::vector<std::string> want;
  for (int i = 0; i < kMovies; ++i) want.push_back("http://h/" + test::kBig5Xu + std::to_string(i) + ".swf");
  std::sort(want.begin(), want.end());
  EXPECT_EQ(Keys(list), want);
  int misnamed = 0;
  for (const auto& [key, info] : list) misnamed += info.strFileName != key.substr(std::strlen("http://h/"));
  EXPECT_EQ(misnamed, 0) << "of " << kMovies << " names";
}

TEST(WalkerBig5, LocalPageInADoubleByteFolder) {
  TROVEX_REQUIRE_LOCALE(locale, "zh_TW.BIG5");
  test::IsolatedHome home;
  test::TempDir dir;
  std::string file = dir.WriteFile(test::kBig5Xu + "/intro.swf", "123456");
  PageSpec top = Page("top", "file://" + dir.str() + "/" + test::kUtf8Xu + "/index.html");
  top.applets.items.push_back(FlashObject("intro.swf"));
  auto ledger = std::make_shared<RefLedger>();
  SWFFileList list;
  {
    ComPtr<IHTMLDocument2> document = test::BuildDocument(top, ledger);
    EXPECT_EQ(ScanDocument(document.Get(), list), 0);
  }
  ASSERT_EQ(Keys(list), std::vector<std::string>{file});
  EXPECT_EQ(list[file].nSize, 6);
}

}  // namespace
}  // namespace trovex

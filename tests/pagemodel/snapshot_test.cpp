// Snapshots read into the document model: what the walker finds there, and hostile input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pagemodel/document_model.h"
#include "pagemodel/snapshot.h"
#include "scan/document_walker.h"
#include "tests/support/temp_env.h"

namespace trovex::pagemodel {
namespace {

// The walker's list for a snapshot, one address per line; "refused: why" when refused.
std::string Scan(const std::string& json, const SnapshotLimits& limits = {},
                 std::vector<std::string>* cuts = nullptr) {
  std::string error;
  SessionPtr s = ReadSnapshot(json, limits, &error, cuts);
  if (!s) return "refused: " + error;
  test::TempDir home;
  test::ScopedEnv env;
  env.Set("HOME", home.str());
  env.Set("XDG_CACHE_HOME", home.str() + "/cache");
  SWFFileList list;
  {
    ComPtr<IWebBrowser2> browser = BrowserOf(s);
    ComPtr<IHTMLDocument2> document = DocumentOf(browser.Get());
    ScanDocument(document.Get(), list);
  }
  std::string out;
  for (const auto& [url, info] : list) {
    out += url;
    // What the page hands the movie, with the page, where it hands anything.
    if (!info.flashVars.empty() || !info.base.empty())
      out += " flashvars=" + info.flashVars + " base=" + info.base + " page=" + info.pageAddress;
    out += "\n";
  }
  return out;
}

std::string Frame(const std::string& url, const std::string& objects, const std::string& embeds,
                  const std::string& frames = "", const std::string& extra = "") {
  return "{\"url\":\"" + url + "\",\"objects\":[" + objects + "],\"embeds\":[" + embeds + "],\"frames\":[" +
         frames + "]" + extra + "}";
}
std::string Top(const std::string& frame) { return "{\"version\":1,\"frames\":" + frame + "}"; }

constexpr const char* kFlash = "\"classid\":\"clsid:d27cdb6e-ae6d-11cf-96b8-444553540000\"";

TEST(Snapshot, TheWalkerReadsFramesObjectsAndEmbeds) {
  std::string iframe = "{\"tag\":\"iframe\",\"url\":\"http://other.test/f/in.html\",\"objects\":[],"
                       "\"embeds\":[{\"src\":\"deep.swf\",\"type\":null}],\"frames\":[]}";
  std::string json = Top(Frame("http://site.test/dir/page.html",
                               std::string("{") + kFlash + ",\"movie\":\" a.swf \",\"flashvars\":\"cfg=a.xml\"},"
                               "{\"classid\":null,\"movie\":\"no.swf\"}",
                               "{\"src\":\"b.SWF\",\"base\":\"assets\",\"flashvars\":null},{\"src\":\"c.php?m=1\",\"type\":\"Application/X-Shockwave-Flash\"},"
                               "{\"type\":\"application/x-shockwave-flash\"},{\"src\":\"\",\"type\":null}",
                               iframe));
  EXPECT_EQ(Scan(json),
            "http://other.test/f/deep.swf\n"
            "http://site.test/dir/a.swf flashvars=cfg=a.xml base= page=http://site.test/dir/page.html\n"
            "http://site.test/dir/b.SWF flashvars= base=assets page=http://site.test/dir/page.html\n"
            "http://site.test/dir/c.php?m=1\n");
}

TEST(Snapshot, FramesWithoutAnAddressOfTheirOwnResolveAgainstTheirBase) {
  // A frame left at about:blank (or given srcdoc) and filled by its parent's script: the view
  // shows its movie, resolved against the parent's address, which the browser gives as base.
  const std::string blank =
      "{\"tag\":\"iframe\",\"url\":\"about:blank\",\"base\":\"http://site.test/dir/page.html\","
      "\"objects\":[],\"embeds\":[{\"src\":\"blank.swf\"}],\"frames\":[]}";
  const std::string srcdoc =
      "{\"tag\":\"iframe\",\"url\":\"about:srcdoc\",\"base\":\"http://site.test/other/\","
      "\"objects\":[],\"embeds\":[{\"src\":\"doc.swf\"}],\"frames\":[]}";
  const std::string bare =  // no base to go by: nothing can be resolved, nothing is listed
      "{\"tag\":\"iframe\",\"url\":\"about:blank\",\"base\":\"about:blank\","
      "\"objects\":[],\"embeds\":[{\"src\":\"lost.swf\"}],\"frames\":[]}";
  EXPECT_EQ(Scan(Top(Frame("http://site.test/dir/page.html", "", "", blank + "," + srcdoc + "," + bare))),
            "http://site.test/dir/blank.swf\n"
            "http://site.test/other/doc.swf\n");
}

TEST(Snapshot, AFrameThatCouldNotBeReadIsSkippedAndReported) {
  std::string json = Top(Frame("http://site.test/p.html", "", "{\"src\":\"x.swf\"}",
                               "{\"tag\":\"iframe\",\"url\":null,\"error\":\"no answer\"}"));
  std::vector<std::string> cuts;
  EXPECT_EQ(Scan(json, {}, &cuts), "http://site.test/x.swf\n");
  ASSERT_EQ(cuts.size(), 1u);
  EXPECT_NE(cuts[0].find("no answer"), std::string::npos);
}

TEST(Snapshot, LimitsCutAndSayWhat) {
  SnapshotLimits limits;
  limits.nMaxElements = 2;
  std::vector<std::string> cuts;
  std::string json = Top(Frame("http://s.test/p.html", "", "{\"src\":\"1.swf\"},{\"src\":\"2.swf\"},{\"src\":\"3.swf\"}"));
  EXPECT_EQ(Scan(json, limits, &cuts), "http://s.test/1.swf\nhttp://s.test/2.swf\n");
  ASSERT_EQ(cuts.size(), 1u);
  EXPECT_NE(cuts[0].find("1 objects, embeds and frames not kept"), std::string::npos) << cuts[0];

  // Frames nested deeper than allowed stay empty; those above keep their movies.
  limits = {};
  limits.nMaxDepth = 1;
  cuts.clear();
  std::string inner = "{\"tag\":\"iframe\",\"url\":\"http://s.test/2.html\",\"objects\":[],\"embeds\":[{\"src\":\"two.swf\"}],\"frames\":[]}";
  std::string middle = "{\"tag\":\"frame\",\"url\":\"http://s.test/1.html\",\"objects\":[],\"embeds\":[{\"src\":\"one.swf\"}],\"frames\":[" + inner + "]}";
  EXPECT_EQ(Scan(Top(Frame("http://s.test/p.html", "", "", middle)), limits, &cuts), "http://s.test/one.swf\n");
  ASSERT_EQ(cuts.size(), 1u);
  EXPECT_NE(cuts[0].find("1 frames not kept"), std::string::npos) << cuts[0];

  // A text beyond its limit takes its element out, not the whole snapshot.
  limits = {};
  limits.nMaxTextBytes = 24;
  cuts.clear();
  EXPECT_EQ(Scan(Top(Frame("http://s.test/p.html", "", "{\"src\":\"" + std::string(40, 'a') + ".swf\"},{\"src\":\"ok.swf\"}")),
                 limits, &cuts),
            "http://s.test/ok.swf\n");
  EXPECT_EQ(cuts.size(), 1u);

  // The collector's own cut is passed on.
  cuts.clear();
  Scan(Top(Frame("http://s.test/p.html", "", "", "", ",\"cut\":7")), {}, &cuts);
  ASSERT_EQ(cuts.size(), 1u);
  EXPECT_NE(cuts[0].find("7 objects and embeds not kept"), std::string::npos);
}

TEST(Snapshot, AnEmbedInsideAFlashObjectIsMarkedForThePlayer) {
  std::string error;
  SessionPtr s = ReadSnapshot(Top(Frame("http://s.test/p.html", std::string("{") + kFlash + ",\"movie\":\"m.swf\"},{\"classid\":\"x\"}",
                                        "{\"src\":\"m.swf\",\"object\":0},{\"src\":\"n.swf\",\"object\":1},{\"src\":\"o.swf\"}")),
                              {}, &error);
  ASSERT_TRUE(s) << error;
  const PageData& page = s->pages[0];
  ASSERT_EQ(page.embeds.size(), 3u);
  EXPECT_TRUE(page.elements[page.embeds[0]].bInFlashObject);
  EXPECT_FALSE(page.elements[page.embeds[1]].bInFlashObject);
  EXPECT_FALSE(page.elements[page.embeds[2]].bInFlashObject);
}

// A web page's snapshot never reaches local files, whatever its frames claim to be: the
// collector of a hostile frame can say anything. A local page may name local movies.
TEST(Snapshot, LocalAddressesUnderAWebPageAreLeftOut) {
  test::TempDir local;
  const std::string dir = "file://" + local.str() + "/";
  local.WriteFile("secret.swf", "FWS");
  auto child = [](const std::string& url, const std::string& embeds, const std::string& extra = "") {
    return "{\"tag\":\"iframe\",\"url\":\"" + url + "\",\"objects\":[],\"embeds\":[" + embeds + "],\"frames\":[]" +
           extra + "}";
  };
  struct Case {
    const char* name;
    std::string json;
    std::string listed;
    std::size_t cuts;
  } cases[] = {
      {"local frame", Top(Frame("http://s.test/p.html", "", "", child(dir + "f.html", "{\"src\":\"secret.swf\"}"))), "", 1},
      {"local frame in upper case",
       Top(Frame("http://s.test/p.html", "", "", child("FILE://" + local.str() + "/f.html", "{\"src\":\"secret.swf\"}"))), "", 1},
      {"blank frame with a local base",
       Top(Frame("http://s.test/p.html", "", "", child("about:blank", "{\"src\":\"secret.swf\"}", ",\"base\":\"" + dir + "\""))),
       "", 1},
      {"web frame with a local base",
       Top(Frame("http://s.test/p.html", "", "", child("http://s.test/f.html", "{\"src\":\"secret.swf\"}", ",\"base\":\"" + dir + "\""))),
       "", 1},
      {"local frame below a web frame",
       Top(Frame("http://s.test/p.html", "", "",
                 "{\"tag\":\"iframe\",\"url\":\"http://o.test/\",\"objects\":[],\"embeds\":[],\"frames\":[" +
                     child(dir, "{\"src\":\"secret.swf\"}") + "]}")),
       "", 1},
      {"local movie of a web page", Top(Frame("http://s.test/p.html", "", "{\"src\":\" \\tfi\\nle:" + dir.substr(5) + "secret.swf\"}")), "", 1},
      {"local movie the web page loaded", Top(Frame("http://s.test/p.html", "", "", "", ",\"loaded\":[\"" + dir + "secret.swf\"]")), "", 1},
      {"the web page's own movies stay", Top(Frame("http://s.test/p.html", "", "{\"src\":\"a.swf\"}", child(dir, ""))),
       "http://s.test/a.swf\n", 1},
      {"a local page names local movies", Top(Frame(dir + "p.html", "", "", child(dir + "f.html", "{\"src\":\"secret.swf\"}"))),
       local.str() + "/secret.swf\n", 0},
  };
  for (const Case& c : cases) {
    std::vector<std::string> cuts;
    EXPECT_EQ(Scan(c.json, {}, &cuts), c.listed) << c.name;
    EXPECT_EQ(cuts.size(), c.cuts) << c.name;
  }
}

// What the page fetched while shown (a movie a script handed to a player, a movie a movie
// loaded) comes after the document's own movies, once per address.
TEST(Snapshot, MoviesThePageLoadedAreListedOnce) {
  struct Case {
    const char* name;
    std::string json;
    std::string listed;
  } cases[] = {
      {"loaded only", Top(Frame("http://s.test/p.html", "", "", "", ",\"loaded\":[\"http://cdn.test/m/s.swf\"]")),
       "http://cdn.test/m/s.swf\n"},
      {"loaded and embedded", Top(Frame("http://s.test/p.html", "", "{\"src\":\"a.swf\"}", "",
                                        ",\"loaded\":[\"http://s.test/a.swf\",\"http://s.test/b.swf\",\"http://s.test/b.swf\"]")),
       "http://s.test/a.swf\nhttp://s.test/b.swf\n"},
      {"loaded by a frame", Top(Frame("http://s.test/p.html", "", "",
                                      "{\"tag\":\"iframe\",\"url\":\"http://o.test/f.html\",\"objects\":[],\"embeds\":[],"
                                      "\"frames\":[],\"loaded\":[\"second.swf\"]}")),
       "http://o.test/second.swf\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Scan(c.json), c.listed) << c.name;

  std::string error;
  SessionPtr s = ReadSnapshot(Top(Frame("http://s.test/p.html", "", "{\"src\":\"a.swf\"}", "",
                                        ",\"loaded\":[\"http://s.test/l.swf\"]")), {}, &error);
  ASSERT_TRUE(s) << error;
  ASSERT_EQ(s->pages[0].embeds.size(), 2u);  // after the page's own
  EXPECT_EQ(*s->pages[0].elements[s->pages[0].embeds[1]].Find("src"), "http://s.test/l.swf");
  EXPECT_EQ(ReadSnapshot(Top(Frame("http://s.test/p.html", "", "", "", ",\"loaded\":[3]")), {}, &error), nullptr);
  EXPECT_NE(error.find("loaded[0]"), std::string::npos) << error;
}

// Hostile or broken snapshots: each is refused with a line that says why; none crashes.
TEST(Snapshot, HostileInputIsRefusedClearly) {
  SnapshotLimits small;
  small.nMaxBytes = 1 << 20;
  small.nMaxValues = 10000;
  struct Case {
    const char* name;
    std::string json;
    const char* why;  // part of the error
  } cases[] = {
      {"empty", "", "not valid JSON"},
      {"not JSON", "<html>", "not valid JSON"},
      {"truncated", "{\"version\":1,\"frames\":{\"url\":\"a\",", "not valid JSON"},
      {"array at the top", "[1,2]", "not a JSON object"},
      {"no version", "{\"frames\":{}}", "version: missing"},
      {"version as text", "{\"version\":\"1\",\"frames\":{}}", "not supported"},
      {"future version", "{\"version\":2,\"frames\":{}}", "not supported"},
      {"no frames", "{\"version\":1}", "frames: missing"},
      {"frames a list", "{\"version\":1,\"frames\":[]}", "a frame object expected"},
      {"frame without lists", Top("{\"url\":\"http://a.test/\"}"), "objects: missing"},
      {"url as number", "{\"version\":1,\"frames\":{\"url\":5,\"objects\":[],\"embeds\":[],\"frames\":[]}}",
       "frames.url: text or null expected"},
      {"src as object", Top(Frame("http://a.test/", "", "{\"src\":{}}")), "frames.embeds[0].src: text or null"},
      {"embed a text", Top(Frame("http://a.test/", "", "\"x.swf\"")), "frames.embeds[0]: an object expected"},
      {"classid a list", Top(Frame("http://a.test/", "{\"classid\":[]}", "")), "objects[0].classid"},
      {"objects an object", "{\"version\":1,\"frames\":{\"url\":null,\"objects\":{},\"embeds\":[],\"frames\":[]}}",
       "objects: list expected"},
      {"child frame a number", Top(Frame("http://a.test/", "", "", "3")), "frames.frames[0]: a frame object"},
      {"owner out of range", Top(Frame("http://a.test/", "", "{\"src\":\"a.swf\",\"object\":4}")), ".object:"},
      {"owner negative", Top(Frame("http://a.test/", "{}", "{\"src\":\"a.swf\",\"object\":-1}")), ".object:"},
      {"cut negative", Top(Frame("http://a.test/", "", "", "", ",\"cut\":-3")), ".cut: a count"},
      {"invalid UTF-8", Top(Frame("http://a.test/\xC3\x28", "", "")), "not valid JSON"},
      {"overlong UTF-8", Top(Frame("http://a.test/\xC0\xAF", "", "")), "not valid JSON"},
      {"lone surrogate", Top(Frame("http://a.test/\\ud800", "", "")), "not valid JSON"},
      {"NUL in the text", std::string("{\"version\":1,\0\"frames\":{}}", 26), "not valid JSON"},
      {"deep nesting", std::string(100000, '[') + std::string(100000, ']'), "nests deeper"},
      {"deep frames", [] {
         std::string f = "{\"url\":null,\"objects\":[],\"embeds\":[],\"frames\":[]}";
         for (int i = 0; i < 200; ++i) f = "{\"url\":null,\"objects\":[],\"embeds\":[],\"frames\":[" + f + "]}";
         return Top(f);
       }(), "nests deeper"},
      {"huge array", Top(Frame("http://a.test/", "", [] {
         std::string a;
         for (int i = 0; i < 20000; ++i) a += (i ? ",{}" : "{}");
         return a;
       }())), "more than 10000 values"},
      {"too big", std::string((1 << 20) + 1, ' '), "bytes, more than"},
      {"trailing garbage", Top(Frame("http://a.test/", "", "")) + "x", "not valid JSON"},
  };
  for (const Case& c : cases) {
    std::string error;
    SessionPtr s = ReadSnapshot(c.json, small, &error);
    EXPECT_FALSE(s) << c.name;
    EXPECT_NE(error.find(c.why), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << c.name;
  }
  EXPECT_EQ(LiveDomObjectCount(), 0u);
}

}  // namespace
}  // namespace trovex::pagemodel

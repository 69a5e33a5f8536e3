#include <gtest/gtest.h>
#include <pthread.h>

#include <memory>
#include <utility>

#include "pageloader/charset.h"
#include "pageloader/page.h"

namespace trovex::browser {
namespace {

// 許功蓋: Big5 characters whose trail byte is "\".
const std::string kBig5Text = "\xB3\x5C\xA5\x5C\xBB\x5C";
const std::string kUtf8Text = "\xE8\xA8\xB1\xE5\x8A\x9F\xE8\x93\x8B";

TEST(Charset, LabelsMapLikeBrowsers) {
  struct Case {
    const char* label;
    const char* name;
  } cases[] = {
      {"utf-8", "UTF-8"},       {" UTF8 ", "UTF-8"},         {"big5", "BIG5-HKSCS"},
      {"x-x-big5", "BIG5-HKSCS"}, {"iso-8859-1", "WINDOWS-1252"}, {"US-ASCII", "WINDOWS-1252"},
      {"gb2312", "GB18030"},    {"shift_jis", "CP932"},      {"windows-1251", "WINDOWS-1251"},
      {"koi8-r", "KOI8-R"},     {"no-such-charset", ""},     {"", ""},
      {"utf-8//IGNORE", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(CharsetFromLabel(c.label), c.name) << c.label;
}

TEST(Charset, CharsetsThatHideAsciiAreRefusedAsBrowsersDo) {
  for (const char* label : {"utf-7", "UTF7", "unicode-1-1-utf-7", "ibm037", "cp500", "EBCDIC-US",
                            "IBM1047", "utf-32", "ucs-2"})
    EXPECT_EQ(CharsetFromLabel(label), "") << label;

  // The page decodes as the default charset instead, so its hidden markup stays text.
  const std::string body = "+ADw-embed src=+ACI-hidden.swf+ACI-+AD4-<p>x</p>";
  for (const char* type : {"text/html; charset=utf-7", "text/html"}) {
    PageData page = ParsePage("http://h/", body, type);
    EXPECT_EQ(page.strCharset, "WINDOWS-1252") << type;
    EXPECT_TRUE(page.embeds.empty()) << type;
  }
  PageData meta = ParsePage("http://h/", "<meta charset=utf-7>" + body, "text/html");
  EXPECT_TRUE(meta.embeds.empty());
}

TEST(Charset, ContentTypeParameter) {
  EXPECT_EQ(CharsetLabelFromContentType("text/html; charset=Big5"), "Big5");
  EXPECT_EQ(CharsetLabelFromContentType("text/html;charset=\"utf-8\""), "utf-8");
  EXPECT_EQ(CharsetLabelFromContentType("text/html; q=1; charset = x ; y"), "x");
  EXPECT_EQ(CharsetLabelFromContentType("text/html"), "");
  EXPECT_EQ(CharsetLabelFromContentType(""), "");
}

TEST(Charset, MetaPrescan) {
  struct Case {
    const char* html;
    const char* label;
  } cases[] = {
      {"<html><head><meta charset=\"big5\">", "big5"},
      {"<META CHARSET=utf-8>", "utf-8"},
      {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Big5\">", "big5"},
      // content without the pragma does not count
      {"<meta content=\"text/html; charset=big5\">", ""},
      {"<!-- <meta charset=big5> --><meta charset=utf-8>", "utf-8"},
      {"<p title='<meta charset=big5>'><meta charset=utf-8>", "utf-8"},
      {"<metadata charset=big5>", ""},
      {"no markup at all", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(PrescanMetaCharset(c.html), c.label) << c.html;
  std::string late = std::string(2000, ' ') + "<meta charset=big5>";
  EXPECT_EQ(PrescanMetaCharset(late), "");
}

TEST(Charset, DecodeOrderAndReplacement) {
  struct Case {
    std::string body;
    const char* contentType;
    const char* charset;
    std::string text;
  } cases[] = {
      {kBig5Text, "text/html; charset=big5", "BIG5-HKSCS", kUtf8Text},
      {"<meta charset=big5>" + kBig5Text, "text/html", "BIG5-HKSCS", "<meta charset=big5>" + kUtf8Text},
      // The header wins over <meta>; a byte order mark over both.
      {"<meta charset=big5>" + kUtf8Text, "text/html; charset=utf-8", "UTF-8", "<meta charset=big5>" + kUtf8Text},
      {"\xEF\xBB\xBF" + kUtf8Text, "text/html; charset=big5", "UTF-8", kUtf8Text},
      {std::string("\xFF\xFE" "A\0B\0", 6), "", "UTF-16LE", "AB"},
      {"caf\xE9", "", "WINDOWS-1252", "caf\xC3\xA9"},
      {"caf\xE9", "text/html; charset=bogus", "WINDOWS-1252", "caf\xC3\xA9"},
      // Undecodable bytes become U+FFFD and decoding goes on.
      {"a\xFF" "b", "text/html; charset=utf-8", "UTF-8", "a\xEF\xBF\xBD" "b"},
      {"a\xB3", "text/html; charset=big5", "BIG5-HKSCS", "a\xEF\xBF\xBD"},
      // A page cannot call itself UTF-16 from inside.
      {"<meta charset=utf-16>" + kUtf8Text, "", "UTF-8", "<meta charset=utf-16>" + kUtf8Text},
      // ASCII, control bytes included, stays as it is; what follows it is still decoded.
      {std::string("<p>a\0\x1B\x7F", 8), "", "WINDOWS-1252", std::string("<p>a\0\x1B\x7F", 8)},
      {"<p>\x80\xE9", "", "WINDOWS-1252", "<p>\xE2\x82\xAC\xC3\xA9"},
      {"<p>" + kUtf8Text + "\xE8\xA8", "text/html; charset=utf-8", "UTF-8", "<p>" + kUtf8Text + "\xEF\xBF\xBD"},
      {"<p>\xE8\xA8", "text/html; charset=utf-8", "UTF-8", "<p>\xEF\xBF\xBD"},
      {"\xEF\xBB\xBF<p>", "", "UTF-8", "<p>"},
      // A stateful charset reads ASCII bytes its own way: after ESC $ B, "9%" is one kanji.
      {"\x1B$B9%\x1B(B", "text/html; charset=iso-2022-jp", "ISO-2022-JP", "\xE5\xA5\xBD"},
  };
  for (const Case& c : cases) {
    DecodedPage page = DecodePage(c.body, c.contentType);
    EXPECT_EQ(page.strCharset, c.charset) << c.contentType;
    EXPECT_EQ(page.strUtf8, c.text) << c.contentType;
  }
}

TEST(ParsePage, ElementsInDocumentOrder) {
  PageData page = ParsePage("http://h/d/p.html", R"(
    <html><body>
    <applet code="x.class"></applet>
    <object id="o1" classid="clsid:D27CDB6E-AE6D-11CF-96B8-444553540000">
      <param name="Movie" value="a.swf"><param name="movie" value="ignored.swf">
      <embed src="a.swf">
      <object id="o2" data="b.swf"><param name="movie" value="inner.swf"><embed src="c.swf"></object>
    </object>
    <iframe src="f1.html"></iframe>
    <div><embed SRC="d.swf" Type="application/x-shockwave-flash"></div>
    <frameset><frame src="ignored-in-body.html"></frameset>
    <template><embed src="t.swf"></template>
    </body></html>)",
                            "text/html");
  auto tags = [&](const std::vector<std::size_t>& items) {
    std::string s;
    for (std::size_t i : items) {
      const std::string* id = page.elements[i].Find("id");
      const std::string* src = page.elements[i].Find("src");
      s += std::string(page.elements[i].TagName()) + "(" + (id ? *id : src ? *src : "") + ") ";
    }
    return s;
  };
  EXPECT_EQ(tags(page.applets), "APPLET() OBJECT(o1) OBJECT(o2) ");
  EXPECT_EQ(tags(page.embeds), "EMBED(a.swf) EMBED(c.swf) EMBED(d.swf) ");
  EXPECT_EQ(tags(page.embeddings), "OBJECT(o1) EMBED(a.swf) OBJECT(o2) EMBED(c.swf) IFRAME(f1.html) EMBED(d.swf) ");

  const ElementData& o1 = page.elements[page.applets[1]];
  const ElementData& o2 = page.elements[page.applets[2]];
  ASSERT_NE(o1.Movie(), nullptr);
  EXPECT_EQ(*o1.Movie(), "a.swf");  // the first PARAM named movie, any case; not the inner one
  ASSERT_NE(o2.Movie(), nullptr);
  EXPECT_EQ(*o2.Movie(), "inner.swf");
  EXPECT_TRUE(page.elements[page.embeds[0]].bInFlashObject);
  EXPECT_TRUE(page.elements[page.embeds[1]].bInFlashObject);  // inside o2 inside o1
  EXPECT_FALSE(page.elements[page.embeds[2]].bInFlashObject);
  ASSERT_NE(page.elements[page.embeds[2]].Find("TYPE"), nullptr);
}

TEST(ParsePage, FramesetBaseAndLateMeta) {
  PageData frames = ParsePage("http://h/d/p.html",
                              "<html><head><base href='../other/'></head>"
                              "<frameset><frame src=a.html><frameset><frame src=b.html>"
                              "</frameset></frameset></html>",
                              "");
  EXPECT_EQ(frames.strBaseURL, "http://h/other/");
  ASSERT_EQ(frames.embeddings.size(), 2u);
  EXPECT_EQ(*frames.elements[frames.embeddings[1]].Find("src"), "b.html");

  // A <meta> beyond the first kilobyte still decides how the page is decoded.
  std::string body = "<html><head><!--" + std::string(3000, 'x') + "--><meta charset=big5></head>"
                     "<body><embed src=\"" + kBig5Text + ".swf\"></body></html>";
  PageData late = ParsePage("http://h/", body, "text/html");
  EXPECT_EQ(late.strCharset, "BIG5-HKSCS");
  ASSERT_EQ(late.embeds.size(), 1u);
  EXPECT_EQ(*late.elements[late.embeds[0]].Find("src"), kUtf8Text + ".swf");
}

// Nesting far beyond the depth limit is cut before the parser sees it: the parser's time grows
// with the square of the depth (uncut, this document takes minutes and its embed is listed).
// It runs on a thread with a small stack (a fetching thread's is larger): nothing on the way
// may recurse by the depth of the uncut document.
TEST(ParsePage, DeepNestingIsCutBeforeTheParserSeesIt) {
  std::string body;
  for (int i = 0; i < 200000; ++i) body += "<div>";
  body += "<embed src=deep.swf>";
  struct Job {
    const std::string* body;
    PageBudget budget;
    std::size_t embeds = 99;
  } job{&body, {}};
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 1u << 20), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attr, [](void* arg) -> void* {
              auto* j = static_cast<Job*>(arg);
              j->embeds = ParsePage("http://h/", *j->body, "text/html", &j->budget).embeds.size();
              return nullptr;
            }, &job), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_EQ(job.embeds, 0u);  // it sat below the cut
  ASSERT_EQ(job.budget.notes.size(), 1u);
  EXPECT_NE(job.budget.notes[0].find("巢狀 10000 層"), std::string::npos) << job.budget.notes[0];
}

// One page load's documents share a budget; what does not fit is left out and said.
TEST(ParsePage, BudgetBoundsWhatAPageLoadKeeps) {
  struct Doc {
    std::string body;
    std::vector<std::string> kept;  // src of the embeds kept, in order
    const char* note;               // part of the note expected, "" for none
  };
  struct Case {
    const char* label;
    PageBudget budget;
    std::vector<Doc> docs;
  };
  auto budget = [](std::size_t bytes, std::size_t elements, std::size_t attrs, std::size_t tags,
                   std::size_t depth = 10000) {
    PageBudget b;
    b.nNestingDepth = depth;
    b.nDocumentBytes = bytes;
    b.nElements = elements;
    b.nAttributeBytes = attrs;
    b.nTagsPerDocument = tags;
    return b;
  };
  const std::string five = "<embed src=1><embed src=2><embed src=3><embed src=4><embed src=5>";
  const Case cases[] = {
      {"elements, over two documents", budget(1 << 20, 3, 1 << 20, 1000),
       {{five.substr(0, 26), {"1", "2"}, ""}, {five, {"1"}, "4 個物件、嵌入項目與框架沒有保留"}}},
      {"attribute bytes", budget(1 << 20, 100, 10, 1000),
       {{"<embed src=" + std::string(30, 'x') + "><embed src=a><embed src=b><embed src=c>",
         {"a", "b"}, "2 個物件、嵌入項目"}}},
      {"document bytes, over three documents", budget(40, 100, 1 << 20, 1000),
       {{five.substr(0, 26), {"1", "2"}, ""},
        {five, {"1"}, "65 位元組中的前 14 位元組"},
        {five, {}, "65 位元組中的前 0 位元組"}}},
      {"tags per document", budget(1 << 20, 100, 1 << 20, 3),
       {{"<p>" + five, {"1", "2"}, "只讀到第 3 個標籤"}, {five, {"1", "2", "3"}, "只讀到第 3 個標籤"}}},
      // Closed, self-closing and unclosed-<p> elements open no level; nested ones do.
      {"nesting depth", budget(1 << 20, 100, 1 << 20, 1000, 2),
       {{"<div></div><div></div><p><p><p><br><embed src=1><div><span><embed src=2><i><embed src=3>",
         {"1", "2"}, "巢狀 2 層"}}},
  };
  // Each case twice: parsed in turn, and parsed ahead (on another thread, in a page load) and
  // then charged in turn; the same limits must give the same pages and notes.
  for (const Case& c : cases)
  for (bool parsedAhead : {false, true}) {
    SCOPED_TRACE(std::string(c.label) + (parsedAhead ? ", parsed ahead" : ""));
    PageBudget b = c.budget;
    for (const Doc& d : c.docs) {
      std::unique_ptr<ParsedAhead> ahead;
      if (parsedAhead) ahead = std::make_unique<ParsedAhead>(d.body, "text/html", c.budget);
      PageData page = ParsePage("http://h/", d.body, "text/html", &b, ahead.get());
      std::vector<std::string> kept;
      for (std::size_t i : page.embeds) kept.push_back(*page.elements[i].Find("src"));
      EXPECT_EQ(kept, d.kept) << d.body;
      std::string notes;
      for (const std::string& n : b.notes) notes += n + "\n";
      if (*d.note)
        EXPECT_NE(notes.find(d.note), std::string::npos) << notes;
      else
        EXPECT_EQ(notes, "");
      b.notes.clear();
    }
  }
}

// Start tags of elements that close by themselves (void ones, or with an end tag that may be
// left out) open no level, in any letter case; all others do.
TEST(ParsePage, WhichStartTagsOpenALevel) {
  const char* noLevel[] = {"area", "BASE", "br", "Col", "embed", "hr", "img", "input", "keygen",
                           "link", "meta", "param", "source", "track", "wbr", "P", "li", "dt",
                           "dd", "option", "OptGroup", "tr", "td", "th", "thead", "tbody", "tfoot",
                           "colgroup", "caption", "rb", "rt", "rtc", "rp", "html", "head", "body",
                           "frame", "basefont", "bgsound", "image", "isindex", "MENUITEM"};
  const char* nesting[] = {"div", "SPAN", "b", "table", "object", "h1", "ul", "optgroups", "menuitems", "x"};
  auto cut = [](const std::string& tag) {
    PageBudget b;
    b.nNestingDepth = 2;
    std::string body = "<div>";
    for (int i = 0; i < 4; ++i) body += "<" + tag + ">";
    ParsePage("http://h/", body + "<embed src=1>", "text/html", &b);
    return !b.notes.empty();
  };
  for (const char* tag : noLevel) EXPECT_FALSE(cut(tag)) << tag;
  for (const char* tag : nesting) EXPECT_TRUE(cut(tag)) << tag;
}

TEST(ParsePage, BudgetIsChargedOnceWhenALateMetaParsesAgain) {
  for (bool parsedAhead : {false, true}) {
    PageBudget b;
    b.nElements = 2;
    std::string body = "<embed src=a.swf><embed src=b.swf>" + std::string(2000, ' ') +
                       "<meta charset=big5><embed src=" + kBig5Text + ".swf>";
    std::unique_ptr<ParsedAhead> ahead;
    if (parsedAhead) ahead = std::make_unique<ParsedAhead>(body, "text/html", b);
    PageData page = ParsePage("http://h/", body, "text/html", &b, ahead.get());
    EXPECT_EQ(page.strCharset, "BIG5-HKSCS") << parsedAhead;
    EXPECT_EQ(page.embeds.size(), 2u) << parsedAhead;
    EXPECT_EQ(b.nElements, 0u) << parsedAhead;
    ASSERT_EQ(b.notes.size(), 1u) << parsedAhead;  // the third embed, once
  }
}

// A tree parsed ahead under other limits, or of another body, is not taken.
TEST(ParsePage, ParsedAheadIsTakenOnlyForTheSameBodyAndLimits) {
  const std::string body = "<embed src=1><embed src=2><embed src=3>";
  PageBudget wide, narrow;
  narrow.nTagsPerDocument = 2;
  for (const auto& [madeWith, chargedTo] : {std::pair{wide, narrow}, std::pair{narrow, wide}}) {
    ParsedAhead ahead(body, "text/html", madeWith);
    PageBudget b = chargedTo;
    PageData page = ParsePage("http://h/", body, "text/html", &b, &ahead);
    EXPECT_EQ(page.embeds.size(), chargedTo.nTagsPerDocument == 2 ? 2u : 3u);
  }
  ParsedAhead other("<embed src=1>", "text/html", wide);
  PageBudget b;
  EXPECT_EQ(ParsePage("http://h/", body, "text/html", &b, &other).embeds.size(), 3u);
  // Without a budget nothing is charged, and the tree (made under limits) is not taken either.
  ParsedAhead cut(body, "text/html", narrow);
  EXPECT_EQ(ParsePage("http://h/", body, "text/html", nullptr, &cut).embeds.size(), 3u);
}

TEST(ParsePage, ParamOfAnObjectLeftOutGoesToNoOtherObject) {
  PageBudget b;
  b.nElements = 1;
  PageData page = ParsePage("http://h/",
                            "<object id=kept></object>"
                            "<object><param name=movie value=evil.swf></object>",
                            "text/html", &b);
  ASSERT_EQ(page.applets.size(), 1u);
  EXPECT_FALSE(page.elements[page.applets[0]].bHasParamMovie);
}

TEST(FlashClassId, AnyCaseAnyWrapping) {
  EXPECT_TRUE(IsFlashClassId("clsid:d27cdb6e-ae6d-11cf-96b8-444553540000"));
  EXPECT_TRUE(IsFlashClassId("{D27CDB6E-AE6D-11CF-96B8-444553540000}"));
  EXPECT_FALSE(IsFlashClassId("clsid:D27CDB6E-AE6D-11CF-96B8-44455354000"));
  EXPECT_FALSE(IsFlashClassId(""));
}

}  // namespace
}  // namespace trovex::browser

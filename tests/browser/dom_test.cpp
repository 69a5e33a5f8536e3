// The page model through the document-model interfaces, as the scanner and the automation
// entry use it: local pages and pages served from 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "pageloader/loader.h"
#include "pageloader/page.h"
#include "pageloader/url.h"
#include "platform/inet/inet.h"
#include "platform/text/unicode.h"
#include "tests/support/http_server.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_env.h"

namespace trovex::browser {
namespace {

using test::LoopbackServer;

std::string Text(BSTR b) { return Utf16ToUtf8(BstrToU16(b)); }

std::string Url(IHTMLDocument2* d) {
  BStr url;
  EXPECT_EQ(d->get_URL(url.GetAddressOf()), S_OK);
  return Text(url.Get());
}

// The value getAttribute gives: the text, "<null>" for VT_NULL.
std::string Attr(IDispatch* element, const char* name, LONG flags = 0) {
  ComPtr<IHTMLElement> e;
  EXPECT_EQ(ComPtr<IDispatch>(element).As(IID_IHTMLElement, &e), S_OK);
  Variant v;
  BStr n = BStr::FromUtf8(name);
  EXPECT_EQ(e->getAttribute(n.Get(), flags, v.Ptr()), S_OK);
  if (v.get().vt == VT_NULL) return "<null>";
  EXPECT_EQ(v.get().vt, VT_BSTR);
  return Text(v.get().bstrVal);
}

ComPtr<IDispatch> Item(IHTMLElementCollection* c, LONG i) {
  Variant name, index;
  name.get().vt = index.get().vt = VT_I4;
  name.get().lVal = index.get().lVal = i;
  ComPtr<IDispatch> item;
  c->item(name.get(), index.get(), item.GetAddressOf());
  return item;
}

struct Embedded {
  bool bBrowser;
  ComPtr<IHTMLDocument2> document;  // frames with a document only
};

std::vector<Embedded> Embeddings(IHTMLDocument2* d) {
  std::vector<Embedded> out;
  ComPtr<IOleContainer> container;
  EXPECT_EQ(ComPtr<IHTMLDocument2>(d).As(IID_IOleContainer, &container), S_OK);
  ComPtr<IEnumUnknown> e;
  EXPECT_EQ(container->EnumObjects(OLECONTF_EMBEDDINGS, e.GetAddressOf()), S_OK);
  IUnknown* object = nullptr;
  ULONG fetched = 0;
  while (e->Next(1, &object, &fetched) == S_OK) {
    auto owned = ComPtr<IUnknown>::Attach(object);
    ComPtr<IWebBrowser2> browser;
    Embedded item{SUCCEEDED(owned.As(IID_IWebBrowser2, &browser)), {}};
    if (browser) item.document = DocumentOf(browser.Get());
    out.push_back(std::move(item));
  }
  EXPECT_EQ(fetched, 0u);
  return out;
}

ComPtr<IHTMLDocument2> Load(const std::string& address, std::string* error = nullptr,
                            LoadStats* stats = nullptr, LoadOptions options = {}) {
  std::string why;
  ComPtr<IWebBrowser2> browser = LoadPage(address, options, &why, stats);
  if (error) *error = why;
  return DocumentOf(browser.Get());
}

bool InCache(const std::string& url, std::string* localFile = nullptr, DWORD* size = nullptr) {
  DWORD need = 0;
  if (GetUrlCacheEntryInfoA(url.c_str(), nullptr, &need) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return false;
  std::vector<char> buffer(need);
  auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
  info->dwStructSize = 80;
  if (!GetUrlCacheEntryInfoA(url.c_str(), info, &need)) return false;
  if (localFile) *localFile = info->lpszLocalFileName;
  if (size) *size = info->dwSizeLow;
  return true;
}

class BrowserTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(LiveDomObjectCount(), 0u) << "a document-model object leaked"; }
  test::IsolatedHome home_;
};

TEST_F(BrowserTest, LocalPageAddressesAreEscapedFileUrls) {
  test::TempDir dir;
  std::string path = dir.WriteFile("my site/100% page#1.html", "<embed src='a.swf'>");
  auto doc = Load(FilePathToUrl(path));
  ASSERT_TRUE(doc);
  std::string url = Url(doc.Get());
  EXPECT_EQ(url, "file://" + dir.str() + "/my%20site/100%25%20page%231.html");
  std::string back;
  ASSERT_TRUE(FileUrlToPath(url, &back));
  EXPECT_EQ(back, path);
}

TEST_F(BrowserTest, CollectionsAndAttributes) {
  test::TempDir dir;
  std::string path = dir.WriteFile("p.html", R"(<body>
    <object id=flash classid="clsid:D27CDB6E-AE6D-11CF-96B8-444553540000" WIDTH=10>
      <PARAM NAME="MOVIE" VALUE="from-param.swf"><embed src="nested.swf"></object>
    <object id=own classid="x" movie="own.swf"><param name=movie value=param.swf></object>
    <applet id=app code=a.class></applet>
    <embed src=" spaced.swf " type="Application/X-Shockwave-Flash">
    <object id=plain data="d.swf" type="application/x-shockwave-flash"></object></body>)");
  auto doc = Load(FilePathToUrl(path));
  ASSERT_TRUE(doc);
  ComPtr<IHTMLElementCollection> applets, embeds;
  ASSERT_EQ(doc->get_applets(applets.GetAddressOf()), S_OK);
  ASSERT_EQ(doc->get_embeds(embeds.GetAddressOf()), S_OK);
  LONG n = 0;
  ASSERT_EQ(applets->get_length(&n), S_OK);
  ASSERT_EQ(n, 4);
  ASSERT_EQ(embeds->get_length(&n), S_OK);
  ASSERT_EQ(n, 2);

  struct Case {
    IHTMLElementCollection* collection;
    LONG index;
    const char* name;
    LONG flags;
    const char* value;
  } cases[] = {
      {applets.Get(), 0, "id", 0, "flash"},
      {applets.Get(), 0, "Width", 0, "10"},
      {applets.Get(), 0, "movie", 0, "from-param.swf"},
      {applets.Get(), 0, "MoViE", 0, "from-param.swf"},
      {applets.Get(), 0, "src", 0, "<null>"},
      {applets.Get(), 1, "movie", 0, "own.swf"},  // its own attribute comes first
      {applets.Get(), 2, "id", 0, "app"},
      {applets.Get(), 2, "movie", 0, "<null>"},
      {applets.Get(), 3, "data", 0, "d.swf"},
      {applets.Get(), 3, "movie", 0, "<null>"},
      {applets.Get(), 0, "WIDTH", 1, "<null>"},  // case-sensitive lookup
      {embeds.Get(), 0, "src", 0, "nested.swf"},
      {embeds.Get(), 1, "SRC", 0, " spaced.swf "},
      {embeds.Get(), 1, "type", 0, "Application/X-Shockwave-Flash"},
      {embeds.Get(), 1, "movie", 0, "<null>"},
  };
  for (const Case& c : cases) {
    ComPtr<IDispatch> item = Item(c.collection, c.index);
    ASSERT_TRUE(item) << c.index;
    EXPECT_EQ(Attr(item.Get(), c.name, c.flags), c.value) << c.index << " " << c.name;
  }

  // classid and tag name; only OBJECT answers as an object element.
  struct TagCase {
    IHTMLElementCollection* collection;
    LONG index;
    const char* tag;
    bool bObject;
    const char* classid;
  } tags[] = {{applets.Get(), 0, "OBJECT", true, "clsid:D27CDB6E-AE6D-11CF-96B8-444553540000"},
              {applets.Get(), 2, "APPLET", false, ""},
              {applets.Get(), 3, "OBJECT", true, ""},
              {embeds.Get(), 0, "EMBED", false, ""}};
  for (const TagCase& t : tags) {
    ComPtr<IDispatch> item = Item(t.collection, t.index);
    ComPtr<IHTMLElement> e;
    ASSERT_EQ(item.As(IID_IHTMLElement, &e), S_OK);
    BStr tag;
    ASSERT_EQ(e->get_tagName(tag.GetAddressOf()), S_OK);
    EXPECT_EQ(Text(tag.Get()), t.tag);
    ComPtr<IHTMLObjectElement> o;
    EXPECT_EQ(SUCCEEDED(item.As(IID_IHTMLObjectElement, &o)), t.bObject) << t.tag;
    if (o) {
      BStr classid;
      ASSERT_EQ(o->get_classid(classid.GetAddressOf()), S_OK);
      EXPECT_EQ(Text(classid.Get()), t.classid);
    }
  }

  // Out of range and by name.
  IDispatch* none = reinterpret_cast<IDispatch*>(1);
  Variant bad, unused;
  bad.get().vt = VT_I4;
  bad.get().lVal = 4;
  EXPECT_TRUE(FAILED(applets->item(bad.get(), bad.get(), &none)));
  EXPECT_EQ(none, nullptr);
  Variant byName;
  byName.get().vt = VT_BSTR;
  byName.get().bstrVal = SysAllocStringUtf8("own");
  ComPtr<IDispatch> own;
  ASSERT_EQ(applets->item(byName.get(), unused.get(), own.GetAddressOf()), S_OK);
  ASSERT_TRUE(own);
  EXPECT_EQ(Attr(own.Get(), "movie"), "own.swf");
}

TEST_F(BrowserTest, EmbeddingsFramesWindowAndTopBrowser) {
  LoopbackServer server;
  server.Page("/", "<frameset><frame src='left.html'><frame src='missing.html'>"
                   "<frame src='http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/x'>"
                   "</frameset>");
  server.Page("/left.html", "<object classid=x></object><iframe src='/inner.html'></iframe><embed src=e.swf>"
                            "<iframe></iframe>");
  server.Page("/inner.html", "<p>inner</p>");
  auto top = Load(server.Url("/"));
  ASSERT_TRUE(top);
  EXPECT_EQ(Url(top.Get()), server.Url("/"));

  std::vector<Embedded> frames = Embeddings(top.Get());
  ASSERT_EQ(frames.size(), 3u);
  for (const Embedded& f : frames) EXPECT_TRUE(f.bBrowser);
  ASSERT_TRUE(frames[0].document);
  EXPECT_EQ(Url(frames[0].document.Get()), server.Url("/left.html"));
  ASSERT_TRUE(frames[1].document) << "an HTTP error is a page like any other";
  EXPECT_EQ(Url(frames[1].document.Get()), server.Url("/missing.html"));
  EXPECT_FALSE(frames[2].document) << "connection refused: no document";

  std::vector<Embedded> inner = Embeddings(frames[0].document.Get());
  ASSERT_EQ(inner.size(), 4u);
  EXPECT_FALSE(inner[0].bBrowser);
  EXPECT_TRUE(inner[1].bBrowser);
  EXPECT_FALSE(inner[2].bBrowser);
  ASSERT_TRUE(inner[1].document);
  EXPECT_EQ(Url(inner[1].document.Get()), server.Url("/inner.html"));
  ASSERT_TRUE(inner[3].document);
  EXPECT_EQ(Url(inner[3].document.Get()), "about:blank");

  // From the innermost document up to the top-level browser, as the automation entry climbs.
  ComPtr<IHTMLWindow2> window;
  ASSERT_EQ(inner[1].document->get_parentWindow(window.GetAddressOf()), S_OK);
  ComPtr<IServiceProvider> services;
  ASSERT_EQ(window.As(IID_IServiceProvider, &services), S_OK);
  ComPtr<IWebBrowser2> topBrowser;
  ASSERT_EQ(services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, topBrowser.AsVoidOut()), S_OK);
  ComPtr<IHTMLDocument2> again = DocumentOf(topBrowser.Get());
  ASSERT_TRUE(again);
  EXPECT_EQ(again.Get(), top.Get()) << "the same document object while it lives";
  ComPtr<IHTMLDocument2> windowDoc;
  ASSERT_EQ(window->get_document(windowDoc.GetAddressOf()), S_OK);
  EXPECT_EQ(windowDoc.Get(), inner[1].document.Get());
  ComPtr<IUnknown> other;
  EXPECT_EQ(services->QueryService(IID_IHTMLDocument2, IID_IUnknown, other.AsVoidOut()), E_NOINTERFACE);

  // Without the embeddings flag there is nothing to enumerate.
  ComPtr<IOleContainer> container;
  ASSERT_EQ(top.As(IID_IOleContainer, &container), S_OK);
  ComPtr<IEnumUnknown> e;
  ASSERT_EQ(container->EnumObjects(0, e.GetAddressOf()), S_OK);
  IUnknown* object = nullptr;
  ULONG fetched = 7;
  EXPECT_EQ(e->Next(1, &object, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
}

TEST_F(BrowserTest, ObjectsDieWhenReleasedInAnyOrder) {
  test::TempDir dir;
  dir.WriteFile("f.html", "<embed src=x.swf>");
  std::string path = dir.WriteFile("p.html", "<iframe src=f.html></iframe><object></object>");
  {
    auto doc = Load(FilePathToUrl(path));
    ASSERT_TRUE(doc);
    auto frames = Embeddings(doc.Get());
    ASSERT_EQ(frames.size(), 2u);
    ComPtr<IHTMLDocument2> frameDoc = frames[0].document;
    ComPtr<IHTMLElementCollection> embeds;
    ASSERT_EQ(frameDoc->get_embeds(embeds.GetAddressOf()), S_OK);
    ComPtr<IDispatch> item = Item(embeds.Get(), 0);
    frames.clear();
    doc.Reset();
    frameDoc.Reset();
    // The element keeps the page data alive on its own.
    EXPECT_EQ(Attr(item.Get(), "src"), "x.swf");
    EXPECT_GT(LiveDomObjectCount(), 0u);
  }
  EXPECT_EQ(LiveDomObjectCount(), 0u);
}

TEST_F(BrowserTest, RedirectsGiveTheFinalAddressAndPagesAreCached) {
  LoopbackServer server;
  server.Redirect("/start", "/moved/page.html");
  server.Redirect("/frame", server.Url("/moved/frame.html"), 301);
  server.Page("/moved/page.html", "<iframe src='/frame'></iframe>");
  server.Page("/moved/frame.html", "<embed src=m.swf>");
  server.Set("/gone.html", test::HttpAnswer{404, "text/html", "<p>gone</p>", ""});
  LoadStats stats;
  auto doc = Load(server.Url("/start"), nullptr, &stats);
  ASSERT_TRUE(doc);
  EXPECT_EQ(Url(doc.Get()), server.Url("/moved/page.html"));
  auto frames = Embeddings(doc.Get());
  ASSERT_EQ(frames.size(), 1u);
  ASSERT_TRUE(frames[0].document);
  EXPECT_EQ(Url(frames[0].document.Get()), server.Url("/moved/frame.html"));
  EXPECT_TRUE(InCache(server.Url("/moved/page.html")));
  EXPECT_TRUE(InCache(server.Url("/moved/frame.html")));
  EXPECT_EQ(stats.nPagesCached, 2);

  // A top-level HTTP error is still a page, but not one to keep in the cache.
  auto gone = Load(server.Url("/gone.html"));
  ASSERT_TRUE(gone);
  EXPECT_FALSE(InCache(server.Url("/gone.html")));
}

TEST_F(BrowserTest, PagesThatCannotBeLoaded) {
  test::TempDir dir;
  std::string cases[] = {
      FilePathToUrl(dir.str() + "/missing.html"),
      FilePathToUrl(dir.str()),  // a folder
      "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/",
      "ftp://127.0.0.1/x.html",
  };
  for (const std::string& address : cases) {
    std::string error;
    EXPECT_FALSE(Load(address, &error)) << address;
    EXPECT_FALSE(error.empty()) << address;
  }
}

TEST_F(BrowserTest, SelfIncludingAndMutuallyIncludingFramesAreRefused) {
  LoopbackServer server;
  server.Page("/self.html", "<iframe src='self.html#again'></iframe><iframe src='/self.html'></iframe>");
  server.Page("/a.html", "<frameset><frame src=b.html></frameset>");
  server.Page("/b.html", "<iframe src=a.html></iframe><iframe src=c.html></iframe>");
  server.Page("/c.html", "<iframe src=b.html></iframe>");
  server.Redirect("/to-a", "/a.html");
  server.Page("/r.html", "<iframe src=/to-a></iframe>");

  LoadStats stats;
  auto self = Load(server.Url("/self.html"), nullptr, &stats);
  ASSERT_TRUE(self);
  for (const Embedded& f : Embeddings(self.Get())) EXPECT_FALSE(f.document);
  EXPECT_EQ(server.CountRequests("/self.html"), 1);
  EXPECT_EQ(stats.nFramesRefused, 2);

  auto a = Load(server.Url("/a.html"));
  ASSERT_TRUE(a);
  EXPECT_EQ(server.CountRequests("/a.html"), 1);
  EXPECT_EQ(server.CountRequests("/b.html"), 1);
  EXPECT_EQ(server.CountRequests("/c.html"), 1);

  // A frame whose redirect leads back to an ancestor is dropped as well.
  server.Page("/loop.html", "<iframe src=/to-loop></iframe>");
  server.Redirect("/to-loop", "/loop.html");
  LoadStats loopStats;
  auto loop = Load(server.Url("/loop.html"), nullptr, &loopStats);
  ASSERT_TRUE(loop);
  auto frames = Embeddings(loop.Get());
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_FALSE(frames[0].document);
  EXPECT_EQ(loopStats.nFramesRefused, 1);
}

// Frames are fetched ahead of their turn, side by side; what the page model shows must not
// depend on which answer came first.
TEST_F(BrowserTest, FramesFetchedAheadKeepDocumentOrderAndAreFetchedOnce) {
  LoopbackServer server;
  std::string top;
  std::vector<std::string> expected;  // each frame's document address, in document order
  for (int i = 0; i < 15; ++i) {
    std::string name = "/f" + std::to_string(i) + ".html";
    switch (i) {
      case 3:
        top += "<iframe></iframe>";  // blank
        expected.push_back("about:blank");
        continue;
      case 5:
        top += "<iframe src='file:///etc/hostname'></iframe>";  // refused: no document
        expected.push_back("<none>");
        continue;
      case 8:
        server.Redirect(name, "/moved.html");
        server.Page("/moved.html", "<embed src='moved.swf'>");
        expected.push_back(server.Url("/moved.html"));
        break;
      case 11:
        expected.push_back(server.Url(name));  // 404: a document all the same
        top += "<iframe src='" + name.substr(1) + "'></iframe>";
        continue;
      default:
        server.Page(name, "<embed src='m" + std::to_string(i) + ".swf'><iframe src='g" + std::to_string(i) +
                              ".html'></iframe>");
        server.Page("/g" + std::to_string(i) + ".html", "<embed src='g" + std::to_string(i) + ".swf'>");
        expected.push_back(server.Url(name));
    }
    top += "<iframe src='" + name.substr(1) + "'></iframe>";
  }
  server.Page("/top.html", top);

  LoadStats stats;
  auto doc = Load(server.Url("/top.html"), nullptr, &stats);
  ASSERT_TRUE(doc);
  auto frames = Embeddings(doc.Get());
  ASSERT_EQ(frames.size(), expected.size());
  for (std::size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].document ? Url(frames[i].document.Get()) : "<none>", expected[i]) << "frame " << i;
    if (!frames[i].document || expected[i] == "about:blank" || i == 8 || i == 11) continue;
    auto grandchildren = Embeddings(frames[i].document.Get());
    ASSERT_EQ(grandchildren.size(), 2u) << "frame " << i;  // its EMBED, then its IFRAME
    ASSERT_TRUE(grandchildren[1].document) << "frame " << i;
    EXPECT_EQ(Url(grandchildren[1].document.Get()), server.Url("/g" + std::to_string(i) + ".html"));
  }
  for (const std::string& path : server.Requests()) EXPECT_EQ(server.CountRequests(path), 1) << path;
  EXPECT_EQ(stats.nFramesLoaded, 14 + 11);  // all but the refused one, and 11 grandchildren
  EXPECT_EQ(stats.nFramesRefused, 1);
}

// Fetching ahead never asks the server for a frame the limit then leaves out.
TEST_F(BrowserTest, FrameCountLimitFetchesOnlyTheFramesItKeeps) {
  LoopbackServer server;
  server.SetFallback([](const std::string& path) -> std::optional<test::HttpAnswer> {
    std::string html;
    if (path.size() < 12)  // three levels of three frames each
      for (int i = 0; i < 3; ++i) html += "<iframe src='" + path.substr(1) + "-" + std::to_string(i) + "'></iframe>";
    return test::HttpAnswer{200, "text/html", html, ""};
  });
  for (int limit : {1, 2, 4, 5, 7, 12}) {
    LoadOptions options;
    options.nMaxFrames = limit;
    LoadStats stats;
    const std::size_t before = server.Requests().size();
    ASSERT_TRUE(Load(server.Url("/p" + std::to_string(limit)), nullptr, &stats, options));
    EXPECT_EQ(stats.nFramesLoaded, limit);
    EXPECT_EQ(server.Requests().size() - before, static_cast<std::size_t>(limit) + 1) << "limit " << limit;
    EXPECT_GT(stats.nFramesRefused, 0);
  }
}

TEST_F(BrowserTest, NestingDepthAndFrameCountAreBounded) {
  LoopbackServer server;
  // Every level names a new address: only the depth limit stops it.
  server.SetFallback([](const std::string& path) -> std::optional<test::HttpAnswer> {
    if (path.rfind("/deep?", 0) == 0)
      return test::HttpAnswer{200, "text/html", "<iframe src='" + path + "x'></iframe>", ""};
    if (path.rfind("/wide?", 0) == 0) {
      std::string html;
      for (int i = 0; i < 40; ++i) html += "<iframe src='" + path + "-" + std::to_string(i) + "'></iframe>";
      return test::HttpAnswer{200, "text/html", html, ""};
    }
    return std::nullopt;
  });
  LoadStats deep;
  ASSERT_TRUE(Load(server.Url("/deep?"), nullptr, &deep));
  EXPECT_EQ(deep.nFramesLoaded, 16);
  EXPECT_EQ(server.Requests().size(), 17u);

  LoadStats wide;
  ASSERT_TRUE(Load(server.Url("/wide?"), nullptr, &wide));
  EXPECT_EQ(wide.nFramesLoaded, 1000);
  EXPECT_EQ(server.Requests().size(), 17u + 1001u);
  EXPECT_GT(wide.nFramesRefused, 0);
}

TEST_F(BrowserTest, NetworkPagesMayNotShowLocalFiles) {
  test::TempDir dir;
  std::string local = dir.WriteFile("secret.html", "<embed src=secret.swf>");
  LoopbackServer server;
  server.Page("/", "<iframe src='" + FilePathToUrl(local) + "'></iframe>");
  auto doc = Load(server.Url("/"));
  ASSERT_TRUE(doc);
  auto frames = Embeddings(doc.Get());
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_FALSE(frames[0].document);

  // A local page may.
  std::string page = dir.WriteFile("index.html", "<iframe src='secret.html'></iframe>");
  auto localDoc = Load(FilePathToUrl(page));
  ASSERT_TRUE(localDoc);
  auto localFrames = Embeddings(localDoc.Get());
  ASSERT_EQ(localFrames.size(), 1u);
  EXPECT_TRUE(localFrames[0].document);
}

TEST_F(BrowserTest, Big5AndUtf8PagesReachTheModelAsText) {
  LoopbackServer server;
  const std::string big5 = "\xB3\x5C\xA5\x5C\xBB\x5C";           // 許功蓋
  const std::string utf8 = "\xE8\xA8\xB1\xE5\x8A\x9F\xE8\x93\x8B";
  server.Page("/header.html", "<embed src='" + big5 + ".swf'>", "text/html; charset=big5");
  server.Page("/meta.html", "<meta charset=big5><embed src='" + big5 + ".swf'>", "text/html");
  server.Page("/utf8.html", "<embed src='" + utf8 + ".swf'>", "text/html; charset=UTF-8");
  for (const char* path : {"/header.html", "/meta.html", "/utf8.html"}) {
    auto doc = Load(server.Url(path));
    ASSERT_TRUE(doc) << path;
    ComPtr<IHTMLElementCollection> embeds;
    ASSERT_EQ(doc->get_embeds(embeds.GetAddressOf()), S_OK);
    ComPtr<IDispatch> item = Item(embeds.Get(), 0);
    ASSERT_TRUE(item) << path;
    EXPECT_EQ(Attr(item.Get(), "src"), utf8 + ".swf") << path;
  }
}

TEST_F(BrowserTest, PlayerFetchesWhatTheFlashPlayerWouldPlay) {
  LoopbackServer server;
  const std::string swf = "FWS\x06";
  for (const char* path : {"/m/param.swf", "/m/attr.swf", "/m/embed.swf", "/typed.php?id=1",
                           "/m/nested.swf", "/m/plain.swf", "/m/noflash.swf", "/m/object-data.swf"})
    server.Page(path, swf + path, "application/x-shockwave-flash");
  server.Redirect("/m/redirected.swf", "/m/attr.swf");
  server.Page("/frame.html", "<embed src='/m/embed.swf'>");
  server.Page("/", R"(
    <object classid="CLSID:d27cdb6e-ae6d-11cf-96b8-444553540000"><param name=movie value="m/param.swf">
      <embed src="m/nested.swf"></object>
    <object classid="clsid:D27CDB6E-AE6D-11CF-96B8-444553540000" movie="/m/attr.swf"></object>
    <object type="application/x-shockwave-flash" data="m/object-data.swf"><embed src="m/plain.swf"></object>
    <embed src="typed.php?id=1" type="application/x-shockwave-flash">
    <embed src="m/noflash.swf.html">
    <embed src="m/missing.swf">
    <embed src="m/redirected.swf">
    <embed src="m/attr.swf#again">
    <iframe src="frame.html"></iframe>)");
  LoadOptions options;
  options.bPlugins = true;
  LoadStats stats;
  auto doc = Load(server.Url("/"), nullptr, &stats, options);
  ASSERT_TRUE(doc);

  struct Expect {
    const char* path;
    bool bCached;
  } expect[] = {
      {"/m/param.swf", true},  {"/m/attr.swf", true},    {"/typed.php?id=1", true},
      {"/m/plain.swf", true},  {"/m/embed.swf", true},   {"/m/redirected.swf", true},
      {"/m/nested.swf", false},       // inside the Flash OBJECT, which plays instead
      {"/m/object-data.swf", false},  // no Flash class id: not the Flash control
      {"/m/noflash.swf.html", false}, {"/m/missing.swf", false},  // 404 leaves nothing
  };
  for (const Expect& e : expect) {
    std::string local;
    DWORD size = 0;
    EXPECT_EQ(InCache(server.Url(e.path), &local, &size), e.bCached) << e.path;
    if (e.bCached && std::string(e.path) != "/m/redirected.swf") {
      EXPECT_EQ(test::ReadFile(local), swf + e.path) << e.path;
      EXPECT_EQ(size, swf.size() + std::string(e.path).size());
    }
  }
  EXPECT_EQ(server.CountRequests("/m/nested.swf"), 0);
  EXPECT_EQ(server.CountRequests("/m/attr.swf"), 2) << "once itself, once through the redirect";
  EXPECT_EQ(stats.nMoviesFailed, 1);

  // Without the player nothing but pages is fetched.
  int before = static_cast<int>(server.Requests().size());
  ASSERT_TRUE(Load(server.Url("/")));
  EXPECT_EQ(static_cast<int>(server.Requests().size()), before + 2);
}

// Counts the requests the server answers at once: a request counts from its arrival until its
// answer is on the way, so its client is surely still waiting for it then.
class ConcurrencyLog {
 public:
  void Begin(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    open_.push_back(path);
    mostAtOnce_ = std::max(mostAtOnce_, open_.size());
    auto firstFrames = std::count_if(open_.begin(), open_.end(),
                                     [](const std::string& p) { return p.rfind("/f0_", 0) == 0; });
    mostOfFirstAtOnce_ = std::max<std::size_t>(mostOfFirstAtOnce_, firstFrames);
  }
  void End(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    open_.erase(std::find(open_.begin(), open_.end(), path));
  }
  std::size_t MostAtOnce() const { return mostAtOnce_; }
  // Of the first frame's frames, "/f0_1.html" and such.
  std::size_t MostOfFirstAtOnce() const { return mostOfFirstAtOnce_; }

 private:
  std::mutex mutex_;
  std::vector<std::string> open_;
  std::size_t mostAtOnce_ = 0, mostOfFirstAtOnce_ = 0;
};

// The page's address, then its frames', depth first, as the model shows them.
void FrameTree(IHTMLDocument2* d, const std::string& origin, std::vector<std::string>* out) {
  out->push_back(Url(d).substr(origin.size()));
  for (const Embedded& e : Embeddings(d))
    if (e.document) FrameTree(e.document.Get(), origin, out);
}

TEST_F(BrowserTest, FramesOfFramesAreFetchedSideBySideAFewAtATime) {
  test::TestHttpServer server;
  ConcurrencyLog log;
  constexpr int kOuter = 4, kInner = 6;
  // Each answer takes a while, so that fetches that may overlap do.
  auto page = [&](const std::string& path, const std::string& html) {
    server.Handle(path, [&log, path, html](const test::HttpRequest&, test::HttpConnection& c) {
      log.Begin(path);
      c.Sleep(40);
      log.End(path);
      c.Write(test::HttpResponseText(200, html, {"Content-Type: text/html"}));
    });
  };
  std::string top = "<frameset>";
  std::vector<std::string> expected = {"/top.html"};
  for (int o = 0; o < kOuter; ++o) {
    std::string outer = "f" + std::to_string(o);
    top += "<frame src='" + outer + ".html'>";
    std::string html = "<embed src='" + outer + ".swf'>";
    expected.push_back("/" + outer + ".html");
    for (int i = 0; i < kInner; ++i) {
      std::string inner = outer + "_" + std::to_string(i);
      html += "<iframe src='" + inner + ".html'></iframe>";
      page("/" + inner + ".html", "<embed src='" + inner + ".swf'>");
      expected.push_back("/" + inner + ".html");
    }
    page("/" + outer + ".html", html);
  }
  page("/top.html", top + "</frameset>");

  LoadStats stats;
  std::string error;
  auto doc = Load(server.Url("/top.html"), &error, &stats);
  ASSERT_TRUE(doc) << error;
  EXPECT_EQ(stats.nFramesLoaded, kOuter * (kInner + 1));
  // Whatever came first, each frame's document is in its place.
  std::vector<std::string> loaded;
  FrameTree(doc.Get(), server.Url(""), &loaded);
  EXPECT_EQ(loaded, expected);
  // A frame's frames are fetched side by side as well, not one after the other while its
  // siblings, fetched ahead, wait for their turn.
  EXPECT_GE(log.MostOfFirstAtOnce(), 2u);
  // Three ahead of their turn and the one in its turn, at the most.
  EXPECT_LE(log.MostAtOnce(), 4u);
}

}  // namespace
}  // namespace trovex::browser

#include "browser/browser.h"

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "browser/page.h"
#include "browser/url.h"
#include "platform/inet/inet.h"
#include "platform/text/unicode.h"

namespace trovex::browser {
namespace {

std::atomic<std::size_t> g_liveObjects{0};

// Everything one load produced. The COM objects are thin views on it; each holds the session,
// so it lives exactly as long as some object of the page is referenced, and no object needs a
// reference back up the tree (which would form cycles that are never released).
struct Session {
  std::deque<PageData> pages;  // page 0 is the top level
  // The live view of each page's document, window and browser, so that asking twice gives the
  // same object while the first is alive. Entries are cleared by the objects' destructors.
  std::map<int, IHTMLDocument2*> documents;
  std::map<int, IHTMLWindow2*> windows;
  std::map<std::pair<int, int>, IWebBrowser2*> browsers;  // (container page, element); top: (-1,-1)
};
using SessionPtr = std::shared_ptr<Session>;

class ObjectBase {
 public:
  ObjectBase() { ++g_liveObjects; }
  virtual ~ObjectBase() { --g_liveObjects; }
  ObjectBase(const ObjectBase&) = delete;
  ObjectBase& operator=(const ObjectBase&) = delete;

 protected:
  ULONG DoAddRef() { return ++nRefs_; }
  ULONG DoRelease() {
    ULONG n = --nRefs_;
    if (n == 0) delete this;
    return n;
  }

 private:
  ULONG nRefs_ = 1;
};

#define TROVEX_DOM_IUNKNOWN                                  \
  ULONG AddRef() override { return DoAddRef(); }             \
  ULONG Release() override { return DoRelease(); }          \
  HRESULT GetIDsOfNames(REFIID, OLECHAR**, UINT, LCID, DISPID*) override { return E_NOTIMPL; } \
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { \
    return E_NOTIMPL;                                        \
  }

template <class I>
HRESULT Hand(I* object, void** ppv) {
  object->AddRef();
  *ppv = object;
  return S_OK;
}

ComPtr<IHTMLDocument2> GetDocument(const SessionPtr& s, int page);
ComPtr<IHTMLWindow2> GetWindow(const SessionPtr& s, int page);
ComPtr<IWebBrowser2> GetBrowser(const SessionPtr& s, int containerPage, int element);

// ---- elements ---------------------------------------------------------------------------
class Element final : public ObjectBase, public IHTMLElement, public IHTMLObjectElement {
 public:
  Element(SessionPtr s, int page, std::size_t index) : s_(std::move(s)), page_(page), index_(index) {}
  TROVEX_DOM_IUNKNOWN

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IHTMLElement)
      return Hand(static_cast<IHTMLElement*>(this), ppv);
    if (riid == IID_IHTMLObjectElement && data().kind == ElementKind::kObject)
      return Hand(static_cast<IHTMLObjectElement*>(this), ppv);
    return E_NOINTERFACE;
  }

  HRESULT getAttribute(BSTR name, LONG flags, VARIANT* value) override {
    if (!value) return E_POINTER;
    VariantInit(value);
    std::string key = Utf16ToUtf8(BstrToU16(name));
    const ElementData& e = data();
    const std::string* found = nullptr;
    if (flags & 1) {  // case-sensitive; the parser stores names in lower case
      for (const auto& [n, v] : e.attributes)
        if (n == key && !found) found = &v;
    } else {
      found = e.Find(key);
    }
    // The Flash control exposes its movie through the element, from a PARAM when need be.
    if (!found && e.kind == ElementKind::kObject && e.bHasParamMovie &&
        ((flags & 1) ? key == "movie" : EqualsNoCase(key, "movie")))
      found = &e.strParamMovie;
    if (!found) {
      value->vt = VT_NULL;
      return S_OK;
    }
    value->bstrVal = SysAllocStringUtf8(*found);
    if (!value->bstrVal) return E_OUTOFMEMORY;
    value->vt = VT_BSTR;
    return S_OK;
  }

  HRESULT get_tagName(BSTR* tag) override {
    if (!tag) return E_POINTER;
    *tag = SysAllocStringUtf8(data().TagName());
    return *tag ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT get_classid(BSTR* classid) override {
    if (!classid) return E_POINTER;
    const std::string* v = data().Find("classid");
    *classid = SysAllocStringUtf8(v ? *v : std::string());
    return *classid ? S_OK : E_OUTOFMEMORY;
  }

 private:
  const ElementData& data() const { return s_->pages[page_].elements[index_]; }

  SessionPtr s_;
  int page_;
  std::size_t index_;
};

class ElementCollection final : public ObjectBase, public IHTMLElementCollection {
 public:
  ElementCollection(SessionPtr s, int page, const std::vector<std::size_t>* items)
      : s_(std::move(s)), page_(page), items_(items) {}
  TROVEX_DOM_IUNKNOWN

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IHTMLElementCollection)
      return Hand(static_cast<IHTMLElementCollection*>(this), ppv);
    return E_NOINTERFACE;
  }

  HRESULT get_length(LONG* length) override {
    if (!length) return E_POINTER;
    *length = static_cast<LONG>(items_->size());
    return S_OK;
  }

  // By position when `name` is a number; by id or name otherwise, `index` choosing among
  // several elements of that name.
  HRESULT item(VARIANT name, VARIANT index, IDispatch** element) override {
    if (!element) return E_POINTER;
    *element = nullptr;
    long position = -1;
    if (name.vt == VT_I4) {
      position = name.lVal;
    } else if (name.vt == VT_BSTR) {
      std::string wanted = Utf16ToUtf8(BstrToU16(name.bstrVal));
      long skip = index.vt == VT_I4 ? index.lVal : 0;
      for (std::size_t i = 0; i < items_->size() && position < 0; ++i) {
        const ElementData& e = s_->pages[page_].elements[(*items_)[i]];
        const std::string* id = e.Find("id");
        const std::string* nm = e.Find("name");
        auto same = [&](const std::string* v) { return v && *v == wanted; };
        if ((same(id) || same(nm)) && skip-- == 0) position = static_cast<long>(i);
      }
      if (position < 0) return S_OK;  // no such element: null, as the browser answers
    } else if (name.vt == VT_EMPTY && index.vt == VT_I4) {
      position = index.lVal;
    } else {
      return E_INVALIDARG;
    }
    if (position < 0 || static_cast<std::size_t>(position) >= items_->size()) return E_INVALIDARG;
    auto* e = new Element(s_, page_, (*items_)[position]);
    *element = static_cast<IHTMLElement*>(e);
    return S_OK;
  }

 private:
  SessionPtr s_;
  int page_;
  const std::vector<std::size_t>* items_;  // inside the session's page, which outlives us
};

// An OBJECT or EMBED as an embedded object: it is not a browser.
class EmbeddedObject final : public ObjectBase, public IDispatch {
 public:
  explicit EmbeddedObject(SessionPtr s) : s_(std::move(s)) {}
  TROVEX_DOM_IUNKNOWN
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch) return Hand(static_cast<IDispatch*>(this), ppv);
    return E_NOINTERFACE;
  }

 private:
  SessionPtr s_;
};

class EnumEmbeddings final : public ObjectBase, public IEnumUnknown {
 public:
  EnumEmbeddings(SessionPtr s, int page, bool empty) : s_(std::move(s)), page_(page), empty_(empty) {}
  ULONG AddRef() override { return DoAddRef(); }
  ULONG Release() override { return DoRelease(); }
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IEnumUnknown) return Hand(static_cast<IEnumUnknown*>(this), ppv);
    return E_NOINTERFACE;
  }

  HRESULT Next(ULONG count, IUnknown** objects, ULONG* fetched) override {
    if (!objects || (count > 1 && !fetched)) return E_POINTER;
    const PageData& page = s_->pages[page_];
    std::size_t total = empty_ ? 0 : page.embeddings.size();
    ULONG n = 0;
    while (n < count && next_ < total) {
      std::size_t index = page.embeddings[next_++];
      if (page.elements[index].IsFrame()) {
        objects[n++] = GetBrowser(s_, page_, static_cast<int>(index)).Detach();
      } else {
        objects[n++] = new EmbeddedObject(s_);
      }
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }

 private:
  SessionPtr s_;
  int page_;
  bool empty_;
  std::size_t next_ = 0;
};

// ---- document, window, browser --------------------------------------------------------------
class Document final : public ObjectBase, public IHTMLDocument2, public IOleContainer {
 public:
  Document(SessionPtr s, int page) : s_(std::move(s)), page_(page) {}
  ~Document() override { s_->documents.erase(page_); }
  TROVEX_DOM_IUNKNOWN

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IHTMLDocument2)
      return Hand(static_cast<IHTMLDocument2*>(this), ppv);
    if (riid == IID_IOleContainer) return Hand(static_cast<IOleContainer*>(this), ppv);
    return E_NOINTERFACE;
  }

  HRESULT get_URL(BSTR* url) override {
    if (!url) return E_POINTER;
    *url = SysAllocStringUtf8(page().strURL);
    return *url ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT get_applets(IHTMLElementCollection** c) override {
    if (!c) return E_POINTER;
    *c = new ElementCollection(s_, page_, &page().applets);
    return S_OK;
  }
  HRESULT get_embeds(IHTMLElementCollection** c) override {
    if (!c) return E_POINTER;
    *c = new ElementCollection(s_, page_, &page().embeds);
    return S_OK;
  }
  HRESULT get_parentWindow(IHTMLWindow2** window) override {
    if (!window) return E_POINTER;
    *window = GetWindow(s_, page_).Detach();
    return S_OK;
  }
  HRESULT EnumObjects(DWORD flags, IEnumUnknown** enumerator) override {
    if (!enumerator) return E_POINTER;
    *enumerator = new EnumEmbeddings(s_, page_, (flags & OLECONTF_EMBEDDINGS) == 0);
    return S_OK;
  }

 private:
  const PageData& page() const { return s_->pages[page_]; }
  SessionPtr s_;
  int page_;
};

class Window final : public ObjectBase, public IHTMLWindow2, public IServiceProvider {
 public:
  Window(SessionPtr s, int page) : s_(std::move(s)), page_(page) {}
  ~Window() override { s_->windows.erase(page_); }
  TROVEX_DOM_IUNKNOWN

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IHTMLWindow2)
      return Hand(static_cast<IHTMLWindow2*>(this), ppv);
    if (riid == IID_IServiceProvider) return Hand(static_cast<IServiceProvider*>(this), ppv);
    return E_NOINTERFACE;
  }
  HRESULT get_document(IHTMLDocument2** document) override {
    if (!document) return E_POINTER;
    *document = GetDocument(s_, page_).Detach();
    return S_OK;
  }
  // Every window of the page reaches the browser of the top-level window.
  HRESULT QueryService(REFGUID service, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (service != SID_SWebBrowserApp) return E_NOINTERFACE;
    return GetBrowser(s_, -1, -1)->QueryInterface(riid, ppv);
  }

 private:
  SessionPtr s_;
  int page_;
};

class Browser final : public ObjectBase, public IWebBrowser2 {
 public:
  Browser(SessionPtr s, int containerPage, int element)
      : s_(std::move(s)), key_(containerPage, element) {}
  ~Browser() override { s_->browsers.erase(key_); }
  TROVEX_DOM_IUNKNOWN

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IWebBrowser2)
      return Hand(static_cast<IWebBrowser2*>(this), ppv);
    return E_NOINTERFACE;
  }
  // A frame that could not be loaded has no document: S_OK with null.
  HRESULT get_Document(IDispatch** document) override {
    if (!document) return E_POINTER;
    *document = nullptr;
    int page = key_.first < 0 ? 0 : s_->pages[key_.first].elements[key_.second].nFramePage;
    if (page >= 0) *document = GetDocument(s_, page).Detach();
    return S_OK;
  }

 private:
  SessionPtr s_;
  std::pair<int, int> key_;
};

ComPtr<IHTMLDocument2> GetDocument(const SessionPtr& s, int page) {
  if (auto it = s->documents.find(page); it != s->documents.end()) return ComPtr<IHTMLDocument2>(it->second);
  auto* d = new Document(s, page);
  s->documents[page] = d;
  return ComPtr<IHTMLDocument2>::Attach(d);
}

ComPtr<IHTMLWindow2> GetWindow(const SessionPtr& s, int page) {
  if (auto it = s->windows.find(page); it != s->windows.end()) return ComPtr<IHTMLWindow2>(it->second);
  auto* w = new Window(s, page);
  s->windows[page] = w;
  return ComPtr<IHTMLWindow2>::Attach(w);
}

ComPtr<IWebBrowser2> GetBrowser(const SessionPtr& s, int containerPage, int element) {
  auto key = std::make_pair(containerPage, element);
  if (auto it = s->browsers.find(key); it != s->browsers.end()) return ComPtr<IWebBrowser2>(it->second);
  auto* b = new Browser(s, containerPage, element);
  s->browsers[key] = b;
  return ComPtr<IWebBrowser2>::Attach(b);
}

// ---- loading ----------------------------------------------------------------------------
bool IsHttp(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

class Loader {
 public:
  Loader(Session& s, const LoadOptions& o, LoadStats& stats) : s_(s), o_(o), stats_(stats) {}

  // Fetches and parses one document and then its frames, depth first. -1 when nothing came.
  int Load(const std::string& url, int parent, int depth, std::string* error) {
    FetchResult r = Fetch(url, o_.pageLimits);
    if (!r.bFetched) {
      *error = r.strError;
      return -1;
    }
    if (parent >= 0 && IsAncestor(parent, StripFragment(r.strURL))) {
      *error = "redirected to a page that contains it: " + r.strURL;
      ++stats_.nFramesRefused;
      return -1;
    }
    if (r.IsHttpSuccess()) Cache(r.strURL, r.strBody, &stats_.nPagesCached);
    if (r.IsHttp() && !r.IsHttpSuccess())
      stats_.notes.push_back("HTTP " + std::to_string(r.nStatus) + " for " + r.strURL);
    s_.pages.push_back(ParsePage(r.strURL, r.strBody, r.strContentType));
    r.strBody.clear();
    int index = static_cast<int>(s_.pages.size()) - 1;
    PageData& page = s_.pages[index];
    page.strRequestedURL = url;
    page.nParent = parent;
    page.nDepth = depth;
    page.nStatus = r.nStatus;
    LoadFrames(index);
    if (o_.bPlugins) PlayMovies(index);
    return index;
  }

 private:
  bool IsAncestor(int page, const std::string& url) const {
    for (int p = page; p >= 0; p = s_.pages[p].nParent) {
      if (StripFragment(s_.pages[p].strURL) == url || StripFragment(s_.pages[p].strRequestedURL) == url)
        return true;
    }
    return false;
  }

  void Refuse(const std::string& why) {
    ++stats_.nFramesEmpty;
    ++stats_.nFramesRefused;
    stats_.notes.push_back(why);
  }

  void LoadFrames(int index) {
    for (std::size_t i : std::vector<std::size_t>(s_.pages[index].embeddings)) {
      if (!s_.pages[index].elements[i].IsFrame()) continue;
      s_.pages[index].elements[i].nFramePage = LoadFrame(index, i);
    }
  }

  int LoadFrame(int container, std::size_t element) {
    const PageData& page = s_.pages[container];
    const std::string* src = page.elements[element].Find("src");
    // No source, or an empty one, shows an empty document.
    bool blank = !src || src->find_first_not_of(" \t\r\n\f") == std::string::npos;
    std::string url = blank ? std::string() : ResolveUrl(page.strBaseURL, *src);
    blank = blank || url == "about:blank";
    int depth = page.nDepth + 1;
    if (framesRequested_ >= o_.nMaxFrames) {
      Refuse("more than " + std::to_string(o_.nMaxFrames) + " frames; not loaded: " + url);
      return -1;
    }
    if (depth > o_.nMaxDepth) {
      Refuse("frames nested deeper than " + std::to_string(o_.nMaxDepth) + "; not loaded: " + url);
      return -1;
    }
    ++framesRequested_;
    if (blank) {
      s_.pages.push_back(BlankPage());
      s_.pages.back().nParent = container;
      s_.pages.back().nDepth = depth;
      ++stats_.nFramesLoaded;
      return static_cast<int>(s_.pages.size()) - 1;
    }
    std::string scheme = UrlScheme(url);
    // A page from the network may not open local files in its frames.
    if (scheme == "file" && UrlScheme(page.strURL) != "file") {
      Refuse("a network page may not show a local file: " + url);
      return -1;
    }
    if (!IsHttp(scheme) && scheme != "file") {
      ++stats_.nFramesEmpty;
      stats_.notes.push_back("frame address not loaded: " + (url.empty() ? *src : url));
      return -1;
    }
    if (IsAncestor(container, StripFragment(url))) {
      Refuse("frame would load a page that contains it: " + url);
      return -1;
    }
    std::string error;
    int child = Load(url, container, depth, &error);
    if (child < 0) {
      ++stats_.nFramesEmpty;
      stats_.notes.push_back("frame not loaded: " + error);
    } else {
      ++stats_.nFramesLoaded;
    }
    return child;
  }

  // What a browser with the Flash player would fetch for this page.
  void PlayMovies(int index) {
    const PageData& page = s_.pages[index];
    std::vector<std::string> references;
    for (std::size_t i : page.applets) {
      const ElementData& e = page.elements[i];
      const std::string* classid = e.Find("classid");
      if (e.kind != ElementKind::kObject || !classid || !IsFlashClassId(*classid)) continue;
      if (const std::string* movie = e.Movie()) references.push_back(*movie);
    }
    for (std::size_t i : page.embeds) {
      const ElementData& e = page.elements[i];
      const std::string* src = e.Find("src");
      if (e.bInFlashObject || !src) continue;
      const std::string* type = e.Find("type");
      // The address's path decides, as the server's answer for it would.
      std::string path = src->substr(0, src->find_first_of("?#"));
      while (!path.empty() && static_cast<unsigned char>(path.back()) <= 0x20) path.pop_back();
      if (EndsWithNoCase(path, ".swf") || (type && IsFlashType(*type))) references.push_back(*src);
    }
    for (const std::string& ref : references) {
      std::string url = StripFragment(ResolveUrl(page.strBaseURL, ref));
      if (!IsHttp(UrlScheme(url)) || !played_.insert(url).second) continue;
      FetchResult r = Fetch(url, o_.movieLimits);
      if (!r.bFetched || !r.IsHttpSuccess()) {
        ++stats_.nMoviesFailed;
        stats_.notes.push_back("movie not fetched: " +
                               (r.bFetched ? "HTTP " + std::to_string(r.nStatus) + " for " + url : r.strError));
        continue;
      }
      // Under the address the page asked for, which the scanner looks up, and under the one
      // a redirect led to.
      if (Cache(url, r.strBody, &stats_.nMoviesCached) && r.strURL != url) Cache(r.strURL, r.strBody, nullptr);
    }
  }

  static bool EndsWithNoCase(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && EqualsNoCase(s.substr(s.size() - tail.size()), tail);
  }
  static bool IsFlashType(std::string_view type) {
    while (!type.empty() && type.back() == ' ') type.remove_suffix(1);
    while (!type.empty() && type.front() == ' ') type.remove_prefix(1);
    return EqualsNoCase(type, "application/x-shockwave-flash");
  }

  bool Cache(const std::string& url, const std::string& body, int* counter) {
    std::string local;
    if (!AddUrlCacheEntry(url, body.data(), body.size(), &local)) {
      stats_.notes.push_back("cannot write the URL cache entry of " + url + " (error " +
                             std::to_string(GetLastError()) + ")");
      return false;
    }
    if (counter) ++*counter;
    return true;
  }

  Session& s_;
  const LoadOptions& o_;
  LoadStats& stats_;
  int framesRequested_ = 0;
  std::set<std::string> played_;
};

}  // namespace

ComPtr<IWebBrowser2> LoadPage(const std::string& address, const LoadOptions& options,
                              std::string* error, LoadStats* stats) {
  LoadStats localStats;
  LoadStats& st = stats ? *stats : localStats;
  auto session = std::make_shared<Session>();
  Loader loader(*session, options, st);
  std::string why;
  if (loader.Load(address, -1, 0, &why) < 0) {
    if (error) *error = why;
    return nullptr;
  }
  return GetBrowser(session, -1, -1);
}

ComPtr<IHTMLDocument2> DocumentOf(IWebBrowser2* browser) {
  ComPtr<IHTMLDocument2> document;
  if (!browser) return document;
  ComPtr<IDispatch> dispatch;
  if (FAILED(browser->get_Document(dispatch.GetAddressOf())) || !dispatch) return document;
  dispatch.As(IID_IHTMLDocument2, &document);
  return document;
}

std::size_t LiveDomObjectCount() { return g_liveObjects.load(); }

}  // namespace trovex::browser

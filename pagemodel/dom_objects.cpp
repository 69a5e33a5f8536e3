// The document-model objects: thin COM views on a session, whether a parsed source or a
// snapshot of a live page filled it.
#include "pagemodel/document_model.h"

#include <atomic>
#include <memory>
#include <string>
#include <utility>

#include "pagemodel/session.h"
#include "platform/com/ref_count.h"
#include "platform/text/unicode.h"

namespace trovex::pagemodel {
namespace {

std::atomic<std::size_t> g_liveObjects{0};

// Every object of the model is counted while it lives, so tests can see that none leaks.
template <class... Interfaces>
class ObjectBase : public ComObject<Interfaces...> {
 public:
  ObjectBase() { ++g_liveObjects; }
  ~ObjectBase() override { --g_liveObjects; }
};

#define TROVEX_DOM_IUNKNOWN                                  \
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


// ---- elements ---------------------------------------------------------------------------
class Element final : public ObjectBase<IHTMLElement, IHTMLObjectElement> {
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
        ((flags & 1) ? key == "movie" : AsciiEqualsNoCase(key, "movie")))
      found = &e.strParamMovie;
    // So are its FlashVars and base, which the page may give either way.
    if (!found && e.kind == ElementKind::kObject) {
      const std::string* param = e.Param(key);
      if (param && (!(flags & 1) || key == AsciiToLower(key))) found = param;
    }
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

class ElementCollection final : public ObjectBase<IHTMLElementCollection> {
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
class EmbeddedObject final : public ObjectBase<IDispatch> {
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

class EnumEmbeddings final : public ObjectBase<IEnumUnknown> {
 public:
  EnumEmbeddings(SessionPtr s, int page, bool empty) : s_(std::move(s)), page_(page), empty_(empty) {}
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
class Document final : public ObjectBase<IHTMLDocument2, IOleContainer> {
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

class Window final : public ObjectBase<IHTMLWindow2, IServiceProvider> {
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

class Browser final : public ObjectBase<IWebBrowser2> {
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

}  // namespace

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

ComPtr<IHTMLDocument2> DocumentOf(IWebBrowser2* browser) {
  ComPtr<IHTMLDocument2> document;
  if (!browser) return document;
  ComPtr<IDispatch> dispatch;
  if (FAILED(browser->get_Document(dispatch.GetAddressOf())) || !dispatch) return document;
  dispatch.As(IID_IHTMLDocument2, &document);
  return document;
}

std::size_t LiveDomObjectCount() { return g_liveObjects.load(); }

}  // namespace trovex::pagemodel

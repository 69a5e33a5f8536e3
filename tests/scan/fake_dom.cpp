#include "tests/scan/fake_dom.h"

#include <cctype>

#include "platform/text/ascii.h"
#include "platform/text/unicode.h"

namespace trovex::test {

int RefLedger::Balance(const std::string& who) const {
  auto it = balance_.find(who);
  return it == balance_.end() ? 0 : it->second;
}

std::vector<std::string> RefLedger::Unbalanced() const {
  std::vector<std::string> out;
  for (const auto& [who, n] : balance_)
    if (n != 0) out.push_back(who + " (" + std::to_string(n) + ")");
  return out;
}

ElementSpec FlashObject(const std::string& movie, const std::string& classid) {
  ElementSpec e;
  e.classid = classid;
  e.attributes["movie"] = Text(movie);
  return e;
}

ElementSpec Embed(std::optional<std::string> src, std::optional<std::string> type) {
  ElementSpec e;
  e.answersObject = false;
  if (src) e.attributes["src"] = Text(*src);
  if (type) e.attributes["type"] = Text(*type);
  return e;
}

FrameSpec Frame(PageSpec page) {
  FrameSpec f;
  f.page.push_back(std::move(page));
  return f;
}

FrameSpec BrokenFrame(FrameSpec::Kind kind) {
  FrameSpec f;
  f.kind = kind;
  return f;
}

namespace {

using LedgerPtr = std::shared_ptr<RefLedger>;


// Reference counting shared by every fake: the first reference belongs to whoever created the
// object; every later one, and every release, is booked in the ledger under the object's name.
// Not ComObject: the ledger must see every AddRef and Release, which that count keeps to itself.
class Counted {
 public:
  Counted(LedgerPtr ledger, std::string name, bool handedOut)
      : ledger_(std::move(ledger)), name_(std::move(name)) {
    if (handedOut) ledger_->Change(name_, +1);
  }
  virtual ~Counted() = default;
  ULONG Up() {
    ledger_->Change(name_, +1);
    if (group_) ++*group_;
    return ++refs_;
  }
  ULONG Down() {
    ledger_->Change(name_, -1);
    if (group_) --*group_;
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  const std::string& name() const { return name_; }
  RefLedger& ledger() const { return *ledger_; }
  const LedgerPtr& ledgerPtr() const { return ledger_; }
  // References handed out to the members of a group (the elements of one collection).
  void JoinGroup(std::shared_ptr<int> group) { group_ = std::move(group); }

 private:
  LedgerPtr ledger_;
  std::shared_ptr<int> group_;
  std::string name_;
  ULONG refs_ = 1;
};

#define FAKE_UNKNOWN                              \
  ULONG AddRef() override { return Up(); }        \
  ULONG Release() override { return Down(); }
#define FAKE_DISPATCH                                                                  \
  HRESULT GetIDsOfNames(REFIID, OLECHAR**, UINT, LCID, DISPID*) override {             \
    return E_NOTIMPL;                                                                  \
  }                                                                                    \
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) \
      override {                                                                       \
    return E_NOTIMPL;                                                                  \
  }

template <class I>
HRESULT Hand(I* p, void** ppv) {
  p->AddRef();
  *ppv = p;
  return S_OK;
}

class FakeElement final : public IHTMLElement, public IHTMLObjectElement, public Counted {
 public:
  FakeElement(LedgerPtr l, std::string name, ElementSpec desc)
      : Counted(std::move(l), std::move(name), false), desc_(std::move(desc)) {}
  FAKE_UNKNOWN
  FAKE_DISPATCH
  HRESULT QueryInterface(REFIID iid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch)
      return Hand(static_cast<IHTMLElement*>(this), ppv);
    if (iid == IID_IHTMLElement && desc_.answersElement)
      return Hand(static_cast<IHTMLElement*>(this), ppv);
    if (iid == IID_IHTMLObjectElement && desc_.answersObject)
      return Hand(static_cast<IHTMLObjectElement*>(this), ppv);
    return E_NOINTERFACE;
  }
  HRESULT getAttribute(BSTR bname, LONG flags, VARIANT* value) override {
    std::string wanted = Utf16ToUtf8(BstrToU16(bname));
    ledger().calls.push_back("getAttribute " + name() + " " + wanted);
    if (flags != 0) ledger().Violation("getAttribute flags " + std::to_string(flags));
    if (value->vt != VT_EMPTY) ledger().Violation("getAttribute into a used VARIANT");
    if (desc_.getAttributeFails) return E_FAIL;
    VariantInit(value);
    value->vt = VT_NULL;
    for (const auto& [attr, v] : desc_.attributes) {
      if (!AsciiEqualsNoCase(attr, wanted)) continue;
      switch (v.kind) {
        case AttrValue::Kind::Text:
          value->vt = VT_BSTR;
          value->bstrVal = SysAllocStringUtf8(v.text);
          break;
        case AttrValue::Kind::Int:
          value->vt = VT_I4;
          value->lVal = v.number;
          break;
        case AttrValue::Kind::Null:
          break;
      }
    }
    return S_OK;
  }
  HRESULT get_tagName(BSTR* tag) override {
    *tag = SysAllocStringUtf8(desc_.answersObject ? "OBJECT" : "EMBED");
    return S_OK;
  }
  HRESULT get_classid(BSTR* classid) override {
    ledger().calls.push_back("get_classid " + name());
    if (desc_.classidFails) return E_FAIL;
    *classid = desc_.classid ? SysAllocStringUtf8(*desc_.classid) : nullptr;
    return S_OK;
  }

 private:
  ElementSpec desc_;
};

class FakeCollection final : public IHTMLElementCollection, public Counted {
 public:
  FakeCollection(LedgerPtr l, std::string name, const CollectionSpec& desc)
      : Counted(l, name, false), desc_(desc) {
    for (size_t i = 0; i < desc.items.size(); ++i) {
      auto* element = new FakeElement(l, name + "[" + std::to_string(i) + "]", desc.items[i]);
      element->JoinGroup(held_);
      items_.push_back(ComPtr<FakeElement>::Attach(element));
    }
  }
  FAKE_UNKNOWN
  FAKE_DISPATCH
  HRESULT QueryInterface(REFIID iid, void** ppv) override {
    *ppv = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IHTMLElementCollection)
      return Hand(static_cast<IHTMLElementCollection*>(this), ppv);
    return E_NOINTERFACE;
  }
  HRESULT get_length(LONG* length) override {
    if (desc_.lengthFails) return E_FAIL;
    *length = static_cast<LONG>(items_.size());
    return S_OK;
  }
  HRESULT item(VARIANT nameArg, VARIANT index, IDispatch** element) override {
    *element = nullptr;
    if (nameArg.vt != VT_I4 || index.vt != VT_I4 || nameArg.lVal != index.lVal) {
      ledger().Violation("item() arguments not the index as VT_I4 twice");
      return E_INVALIDARG;
    }
    LONG i = index.lVal;
    ledger().calls.push_back("item " + name() + " " + std::to_string(i));
    // The walker lets go of one element before it fetches the next.
    if (*held_ != 0)
      ledger().Violation(name() + ": an element still held when item " + std::to_string(i) +
                         " was fetched");
    if (i < 0 || i >= static_cast<LONG>(items_.size())) return E_INVALIDARG;
    if (desc_.items[i].fetchFails) return E_FAIL;
    return Hand(static_cast<IDispatch*>(static_cast<IHTMLElement*>(items_[i].Get())),
                reinterpret_cast<void**>(element));
  }

 private:
  CollectionSpec desc_;
  std::shared_ptr<int> held_ = std::make_shared<int>(0);
  std::vector<ComPtr<FakeElement>> items_;
};

// get_Document of a frame whose document is not an HTML document.
class FakePlainDispatch final : public IDispatch, public Counted {
 public:
  using Counted::Counted;
  FAKE_UNKNOWN
  FAKE_DISPATCH
  HRESULT QueryInterface(REFIID iid, void** ppv) override {
    *ppv = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch) return Hand(static_cast<IDispatch*>(this), ppv);
    return E_NOINTERFACE;
  }
};

// An embedded object that is not a browser (a plug-in control).
class FakePlugin final : public IUnknown, public Counted {
 public:
  using Counted::Counted;
  FAKE_UNKNOWN
  HRESULT QueryInterface(REFIID iid, void** ppv) override {
    *ppv = nullptr;
    if (iid == IID_IUnknown) return Hand(static_cast<IUnknown*>(this), ppv);
    return E_NOINTERFACE;
  }
};

class FakeEnum final : public IEnumUnknown, public Counted {
 public:
  FakeEnum(LedgerPtr l, std::string name, std::vector<ComPtr<IUnknown>> objects, int failAt)
      : Counted(std::move(l), std::move(name), true), objects_(std::move(objects)), failAt_(failAt) {}
  FAKE_UNKNOWN
  HRESULT QueryInterface(REFIID iid, void** ppv) override {
    *ppv = nullptr;
    if (iid == IID_IUnknown || iid == IID_IEnumUnknown) return Hand(static_cast<IEnumUnknown*>(this), ppv);
    return E_NOINTERFACE;
  }
  HRESULT Next(ULONG count, IUnknown** objects, ULONG* fetched) override {
    if (count != 1) ledger().Violation("Next asked for " + std::to_string(count) + " objects");
    if (fetched) *fetched = 0;
    if (static_cast<int>(pos_) == failAt_) return E_FAIL;
    if (pos_ >= objects_.size()) return S_FALSE;
    IUnknown* o = objects_[pos_++].Get();
    o->AddRef();
    objects[0] = o;
    if (fetched) *fetched = 1;
    return S_OK;
  }

 private:
  std::vector<ComPtr<IUnknown>> objects_;
  size_t pos_ = 0;
  int failAt_;
};

class FakeDocument;

class FakeBrowser final : public IWebBrowser2, public Counted {
 public:
  FakeBrowser(LedgerPtr l, std::string name, FrameSpec::Kind kind, ComPtr<IDispatch> document)
      : Counted(std::move(l), std::move(name), false), kind_(kind), document_(std::move(document)) {}
  FAKE_UNKNOWN
  FAKE_DISPATCH
  HRESULT QueryInterface(REFIID iid, void** ppv) override {
    *ppv = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IWebBrowser2)
      return Hand(static_cast<IWebBrowser2*>(this), ppv);
    return E_NOINTERFACE;
  }
  HRESULT get_Document(IDispatch** document) override {
    *document = nullptr;
    if (kind_ == FrameSpec::Kind::DocumentFails) return E_FAIL;
    if (!document_) return S_OK;
    return Hand(document_.Get(), reinterpret_cast<void**>(document));
  }

 private:
  FrameSpec::Kind kind_;
  ComPtr<IDispatch> document_;
};

ComPtr<IHTMLDocument2> MakeDocument(const PageSpec& page, const LedgerPtr& ledger);

class FakeDocument final : public IHTMLDocument2, public IOleContainer, public Counted {
 public:
  FakeDocument(LedgerPtr l, const PageSpec& desc)
      : Counted(l, "doc:" + desc.name, false), desc_(desc) {
    applets_ = ComPtr<FakeCollection>::Attach(new FakeCollection(l, "applets:" + desc.name, desc.applets));
    embeds_ = ComPtr<FakeCollection>::Attach(new FakeCollection(l, "embeds:" + desc.name, desc.embeds));
    for (size_t i = 0; i < desc.frames.size(); ++i) {
      const FrameSpec& f = desc.frames[i];
      std::string n = desc.name + "#" + std::to_string(i);
      ComPtr<IDispatch> doc;
      switch (f.kind) {
        case FrameSpec::Kind::NotBrowser:
          embedded_.push_back(ComPtr<IUnknown>::Attach(new FakePlugin(l, "plugin:" + n, false)));
          continue;
        case FrameSpec::Kind::Frame:
          if (!f.page.empty()) {
            ComPtr<IHTMLDocument2> d = MakeDocument(f.page.front(), l);
            doc = ComPtr<IDispatch>::Attach(d.Detach());
          }
          break;
        case FrameSpec::Kind::NotHtmlDocument:
          doc = ComPtr<IDispatch>::Attach(new FakePlainDispatch(l, "plaindoc:" + n, false));
          break;
        default:
          break;
      }
      embedded_.push_back(ComPtr<IUnknown>::Attach(
          static_cast<IWebBrowser2*>(new FakeBrowser(l, "frame:" + n, f.kind, std::move(doc)))));
    }
  }
  FAKE_UNKNOWN
  FAKE_DISPATCH
  HRESULT QueryInterface(REFIID iid, void** ppv) override {
    *ppv = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IHTMLDocument2)
      return Hand(static_cast<IHTMLDocument2*>(this), ppv);
    if (iid == IID_IOleContainer && desc_.container) return Hand(static_cast<IOleContainer*>(this), ppv);
    return E_NOINTERFACE;
  }
  HRESULT EnumObjects(DWORD flags, IEnumUnknown** enumerator) override {
    ledger().calls.push_back("EnumObjects " + desc_.name);
    *enumerator = nullptr;
    if (flags != OLECONTF_EMBEDDINGS) ledger().Violation("EnumObjects flags " + std::to_string(flags));
    if (desc_.enumFails) return E_FAIL;
    *enumerator = new FakeEnum(ledgerPtr(), "enum:" + desc_.name, embedded_, desc_.nextFailsAt);
    return S_OK;
  }
  HRESULT get_URL(BSTR* url) override {
    ledger().calls.push_back("get_URL " + desc_.name);
    if (!desc_.url) return E_FAIL;
    *url = SysAllocStringUtf8(*desc_.url);
    return S_OK;
  }
  HRESULT get_applets(IHTMLElementCollection** c) override {
    ledger().calls.push_back("get_applets " + desc_.name);
    *c = nullptr;
    if (desc_.applets.unavailable) return E_FAIL;
    return Hand(static_cast<IHTMLElementCollection*>(applets_.Get()), reinterpret_cast<void**>(c));
  }
  HRESULT get_embeds(IHTMLElementCollection** c) override {
    ledger().calls.push_back("get_embeds " + desc_.name);
    *c = nullptr;
    if (desc_.embeds.unavailable) return E_FAIL;
    return Hand(static_cast<IHTMLElementCollection*>(embeds_.Get()), reinterpret_cast<void**>(c));
  }
  HRESULT get_parentWindow(IHTMLWindow2** window) override {
    *window = nullptr;
    return E_NOTIMPL;
  }

 private:
  PageSpec desc_;
  ComPtr<FakeCollection> applets_, embeds_;
  std::vector<ComPtr<IUnknown>> embedded_;
};

ComPtr<IHTMLDocument2> MakeDocument(const PageSpec& page, const LedgerPtr& ledger) {
  return ComPtr<IHTMLDocument2>::Attach(static_cast<IHTMLDocument2*>(new FakeDocument(ledger, page)));
}

}  // namespace

ComPtr<IHTMLDocument2> BuildDocument(const PageSpec& page, std::shared_ptr<RefLedger> ledger) {
  return MakeDocument(page, ledger);
}

}  // namespace trovex::test

#include "scan/document_walker.h"

#include <algorithm>
#include <deque>
#include <string>
#include <utility>

#include "platform/inet/inet.h"
#include "platform/text/ascii.h"
#include "platform/text/text.h"
#include "scan/reference_resolver.h"

namespace trovex {
namespace {

constexpr char kFlashClassId[] = "D27CDB6E-AE6D-11CF-96B8-444553540000";
constexpr char kObjectReference[] = "movie";
constexpr char kEmbedReference[] = "src";
constexpr char kEmbedType[] = "type";
constexpr char kMovieSuffix[] = ".swf";
constexpr char kFlashMimeType[] = "application/x-shockwave-flash";
constexpr char kFlashVars[] = "flashvars";
constexpr char kBase[] = "base";
constexpr DWORD kUrlBuffer = 260;

// Only the space character is trimmed; tabs and line breaks belong to the text.
std::string TrimSpaces(std::string text) {
  MbTrim(text, " ");
  return text;
}

struct Attribute {
  bool present = false;
  std::string text;  // trimmed; empty for a value that is not text
};

// `name` is made once per document, not once per element.
Attribute ReadAttribute(IHTMLElement* element, const BStr& name) {
  Attribute result;
  Variant value;
  if (FAILED(element->getAttribute(name.Get(), 0, value.Ptr()))) return result;
  if (value.get().vt == VT_NULL) return result;
  result.present = true;
  if (value.get().vt == VT_BSTR) result.text = TrimSpaces(BstrToAnsi(value.get().bstrVal));
  return result;
}

// Any spelling counts as long as the id occurs: "clsid:d27cdb6e-...".
bool NamesFlash(BSTR classid) {
  const std::u16string_view text(reinterpret_cast<const char16_t*>(classid), SysStringLen(classid));
  // The usual all-ASCII id is searched where it is, without a copy in the code page.
  if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; })) {
    for (std::size_t i = 0; i < text.size(); ++i)
      if (AsciiStartsWithNoCase(text.substr(i), kFlashClassId)) return true;
    return false;
  }
  return MbFindSubstring(MbToUpper(BstrToAnsi(classid)), kFlashClassId) != std::string::npos;
}

// The names of what an element hands its movie, made once per document.
struct ParamNames {
  BStr flashVars = BStr::Attach(AnsiToBstr(kFlashVars));
  BStr base = BStr::Attach(AnsiToBstr(kBase));
  ReferenceResolver::Params Read(IHTMLElement* element) const {
    return {ReadAttribute(element, flashVars).text, ReadAttribute(element, base).text};
  }
};

// Site root and document directory of a page address; false when the address cannot be
// cracked or put together again.
bool DerivePrefixes(const std::string& address, std::string* siteRoot, std::string* directory) {
  char scheme[kUrlBuffer] = {};
  char host[kUrlBuffer] = {};
  URL_COMPONENTSA parts{};
  parts.dwStructSize = URL_COMPONENTSA_SIZE_32;
  parts.lpszScheme = scheme;
  parts.dwSchemeLength = kUrlBuffer;
  parts.lpszHostName = host;
  parts.dwHostNameLength = kUrlBuffer;
  if (!InternetCrackUrlA(address.c_str(), static_cast<DWORD>(address.size()), 0, &parts))
    return false;
  char root[kUrlBuffer] = {};
  DWORD rootLength = kUrlBuffer;
  if (!InternetCreateUrlA(&parts, 0, root, &rootLength)) return false;
  *siteRoot = std::string(root, rootLength);

  std::string path = address;
  std::size_t query = MbFind(path, '?');
  if (query != std::string::npos) path.erase(query);
  std::size_t slash = MbReverseFind(path, '/');
  std::size_t backslash = MbReverseFind(path, '\\');
  long p = -1;
  if (slash != std::string::npos) p = static_cast<long>(slash);
  if (backslash != std::string::npos && static_cast<long>(backslash) > p) p = static_cast<long>(backslash);
  directory->clear();
  if (p >= 1) *directory = path.substr(0, static_cast<std::size_t>(p) + 1);
  // An address without a path ("http://h"): its directory is the root "http://h/", not the
  // bare "http://", which would turn a relative reference into a host name.
  if (directory->ends_with("://")) *directory = path + "/";
  return true;
}

// What a walk keeps: the page addresses its references are resolved against, and the resolver
// they go to.
struct Walk {
  std::deque<MoviePage> pages;  // a deque: the resolver points into it as it grows
  ReferenceResolver resolver;  // after pages: goes first, its threads with it
};

int WalkDocument(IHTMLDocument2* document, Walk& walk);

// Calls `visit` with item i of the collection for every i that can be fetched.
template <class Visit>
void ForEachItem(IHTMLElementCollection* collection, Visit visit) {
  LONG count = 0;
  if (FAILED(collection->get_length(&count))) return;
  for (LONG i = 0; i < count; ++i) {
    Variant name, index;
    name.get().vt = VT_I4;
    name.get().lVal = i;
    index.get().vt = VT_I4;
    index.get().lVal = i;
    ComPtr<IDispatch> item;
    if (FAILED(collection->item(name.get(), index.get(), item.GetAddressOf())) || !item) continue;
    visit(item);
  }
}

void WalkFrames(IOleContainer* container, Walk& walk, bool* enumerated) {
  ComPtr<IEnumUnknown> objects;
  *enumerated = SUCCEEDED(container->EnumObjects(OLECONTF_EMBEDDINGS, objects.GetAddressOf())) && objects;
  if (!*enumerated) return;
  for (;;) {
    IUnknown* raw = nullptr;
    ULONG fetched = 0;
    if (objects->Next(1, &raw, &fetched) != S_OK) {
      if (raw && fetched == 1) raw->Release();  // handed out along with a failure code
      break;
    }
    ComPtr<IUnknown> object = ComPtr<IUnknown>::Attach(raw);
    if (!object) continue;
    ComPtr<IWebBrowser2> browser;
    object.As(IID_IWebBrowser2, &browser);
    object.Reset();
    if (!browser) continue;  // a plug-in, not a frame
    ComPtr<IDispatch> frameDocument;
    if (FAILED(browser->get_Document(frameDocument.GetAddressOf())) || !frameDocument) continue;
    ComPtr<IHTMLDocument2> html;
    frameDocument.As(IID_IHTMLDocument2, &html);
    WalkDocument(html.Get(), walk);
  }
}

void WalkObjects(IHTMLDocument2* document, const MoviePage& page, Walk& walk) {
  ComPtr<IHTMLElementCollection> applets;
  if (FAILED(document->get_applets(applets.GetAddressOf())) || !applets) return;
  const BStr reference = BStr::Attach(AnsiToBstr(kObjectReference));
  const ParamNames params;
  ForEachItem(applets.Get(), [&](const ComPtr<IDispatch>& item) {
    ComPtr<IHTMLObjectElement> object;
    if (FAILED(item.As(IID_IHTMLObjectElement, &object)) || !object) return;
    BStr classid;
    if (FAILED(object->get_classid(classid.GetAddressOf()))) return;
    if (!NamesFlash(classid.Get())) return;
    ComPtr<IHTMLElement> element;
    if (FAILED(item.As(IID_IHTMLElement, &element)) || !element) return;
    walk.resolver.Add(page, ReadAttribute(element.Get(), reference).text, params.Read(element.Get()));
  });
}

void WalkEmbeds(IHTMLDocument2* document, const MoviePage& page, Walk& walk) {
  ComPtr<IHTMLElementCollection> embeds;
  if (FAILED(document->get_embeds(embeds.GetAddressOf())) || !embeds) return;
  const BStr srcName = BStr::Attach(AnsiToBstr(kEmbedReference));
  const BStr typeName = BStr::Attach(AnsiToBstr(kEmbedType));
  const ParamNames params;
  ForEachItem(embeds.Get(), [&](const ComPtr<IDispatch>& item) {
    ComPtr<IHTMLElement> element;
    if (FAILED(item.As(IID_IHTMLElement, &element)) || !element) return;
    Attribute src = ReadAttribute(element.Get(), srcName);
    if (!src.present) return;  // no src: not a movie, whatever its type
    const std::string& reference = src.text;
    std::string tail = reference.size() > 4 ? reference.substr(reference.size() - 4) : reference;
    bool flash = MbCompareNoCase(tail, kMovieSuffix) == 0;
    if (!flash) flash = MbCompareNoCase(ReadAttribute(element.Get(), typeName).text, kFlashMimeType) == 0;
    if (!flash) return;
    walk.resolver.Add(page, std::move(src.text), params.Read(element.Get()));
  });
}

int WalkDocument(IHTMLDocument2* document, Walk& walk) {
  if (!document) return 1;
  ComPtr<IOleContainer> container;
  if (FAILED(document->QueryInterface(IID_IOleContainer, container.AsVoidOut())) || !container)
    return 1;

  bool enumerated = false;
  WalkFrames(container.Get(), walk, &enumerated);
  if (!enumerated) return 1;
  container.Reset();

  BStr url;
  if (FAILED(document->get_URL(url.GetAddressOf()))) return 1;
  std::string address = BstrToAnsi(url.Get());
  std::string siteRoot, directory;
  if (!DerivePrefixes(address, &siteRoot, &directory)) return 1;
  MoviePage& kept = walk.pages.emplace_back(std::move(siteRoot), std::move(directory));
  kept.address = std::move(address);

  WalkObjects(document, kept, walk);
  WalkEmbeds(document, kept, walk);
  return 0;
}

}  // namespace

int ScanDocument(IHTMLDocument2* document, SWFFileList& list) {
  Walk walk;
  const int result = WalkDocument(document, walk);
  walk.resolver.Finish(list);
  return result;
}

}  // namespace trovex

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/com/com.h"
#include "platform/com/dom.h"

namespace trovex {
namespace {

// An object that counts its references and refuses every interface but IUnknown/IDispatch.
// Not ComStaticObject: that stops at zero, and these tests must see a Release too many (the
// count wraps).
class CountingObject : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT GetIDsOfNames(REFIID, OLECHAR**, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  ULONG refs = 0;
};

// ---- BSTR ---------------------------------------------------------------------------------

TEST(Bstr, LengthPrefixAndTerminator) {
  BSTR s = SysAllocString(u"abc");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(SysStringByteLen(s), 6u);
  std::uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
  EXPECT_EQ(prefix, 6u);  // the byte count sits just before the text
  EXPECT_EQ(s[3], u'\0');
  SysFreeString(s);
}

TEST(Bstr, AllocLenVariants) {
  struct Case {
    const char16_t* text;
    UINT len;
    std::u16string expected;
  };
  const Case cases[] = {
      {nullptr, 4, std::u16string(4, u'\0')},       // null text: zeroed
      {u"abcdef", 3, u"abc"},                        // cut, and terminated
      {u"a\0b", 3, std::u16string(u"a\0b", 3)},     // embedded NUL kept
      {u"", 0, u""},
  };
  for (const auto& c : cases) {
    BSTR s = SysAllocStringLen(c.text, c.len);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), c.len);
    EXPECT_EQ(BstrToU16(s), c.expected);
    EXPECT_EQ(s[c.len], u'\0');
    SysFreeString(s);
  }
}

TEST(Bstr, NullIsEmptyAndFreeable) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  EXPECT_EQ(BstrToU16(nullptr), u"");
  SysFreeString(nullptr);
}

TEST(Bstr, Utf8Conversion) {
  struct Case {
    std::string utf8;
    std::u16string expected;
  };
  const Case cases[] = {
      {"movie.swf", u"movie.swf"},
      {"", u""},
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},  // a NUL is kept, not an end
      {"http://h/\x7F~", u"http://h/\x7F~"},                  // the last ASCII byte
      {"\xE8\xA8\xB1\xE5\x8A\x9F", u"許功"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},            // surrogate pair
      {"a\xFF" "b", u"a\uFFFDb"},                      // invalid byte
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                   // overlong "/" is not a "/"
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},         // encoded surrogate
      {"\xE8\xA8", u"\uFFFD\uFFFD"},                   // cut short
  };
  for (const auto& c : cases) {
    BStr b = BStr::FromUtf8(c.utf8);
    EXPECT_EQ(BstrToU16(b.Get()), c.expected) << c.utf8;
    EXPECT_EQ(b.Get()[SysStringLen(b.Get())], u'\0') << c.utf8;
  }
}

// ---- GUIDs -----------------------------------------------------------------------------------

TEST(Guid, InterfaceIdsHaveThePublishedValues) {
  struct Case {
    const GUID* id;
    const char* text;
  };
  const Case cases[] = {
      {&IID_IUnknown, "{00000000-0000-0000-C000-000000000046}"},
      {&IID_IDispatch, "{00020400-0000-0000-C000-000000000046}"},
      {&IID_IEnumUnknown, "{00000100-0000-0000-C000-000000000046}"},
      {&IID_IOleContainer, "{0000011B-0000-0000-C000-000000000046}"},
      {&IID_IServiceProvider, "{6D5140C1-7436-11CE-8034-00AA006009FA}"},
      {&IID_IWebBrowser2, "{D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}"},
      {&IID_IHTMLWindow2, "{332C4427-26CB-11D0-B483-00C04FD90119}"},
      {&IID_IHTMLDocument2, "{332C4425-26CB-11D0-B483-00C04FD90119}"},
      {&IID_IHTMLElementCollection, "{3050F21F-98B5-11CF-BB82-00AA00BDCE0B}"},
      {&IID_IHTMLElement, "{3050F1FF-98B5-11CF-BB82-00AA00BDCE0B}"},
      {&IID_IHTMLObjectElement, "{3050F24F-98B5-11CF-BB82-00AA00BDCE0B}"},
      {&SID_SWebBrowserApp, "{0002DF05-0000-0000-C000-000000000046}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GuidToString(*c.id), c.text);
    GUID parsed;
    ASSERT_TRUE(GuidFromString(c.text, &parsed)) << c.text;
    EXPECT_EQ(parsed, *c.id) << c.text;
  }
}

TEST(Guid, ParsingAcceptsLowerCaseAndRejectsMalformedText) {
  GUID g;
  ASSERT_TRUE(GuidFromString("{d27cdb6e-ae6d-11cf-96b8-444553540000}", &g));
  EXPECT_EQ(GuidToString(g), "{D27CDB6E-AE6D-11CF-96B8-444553540000}");
  const char* bad[] = {
      "D27CDB6E-AE6D-11CF-96B8-444553540000",      // no braces
      "{D27CDB6E-AE6D-11CF-96B8-44455354000}",     // short
      "{D27CDB6E-AE6D-11CF-96B8-4445535400000}",   // long
      "{D27CDB6E-AE6D-11CF-96B8-44455354000G}",    // not hex
      "{D27CDB6EAAE6D-11CF-96B8-444553540000}",    // dash misplaced
      "{D27CDB6E-AE6D-11CF-96B8-444553540000)",
      "",
  };
  for (const char* text : bad) {
    GUID out = IID_IDispatch;
    EXPECT_FALSE(GuidFromString(text, &out)) << text;
    EXPECT_EQ(out, IID_IDispatch) << "untouched on failure: " << text;
  }
  EXPECT_FALSE(GuidFromString("{D27CDB6E-AE6D-11CF-96B8-444553540000}", nullptr));
}

// ---- VARIANT ---------------------------------------------------------------------------------

TEST(Variant, ClearReleasesWhatItOwns) {
  CountingObject obj;
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DISPATCH;
  v.pdispVal = &obj;
  obj.AddRef();
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(obj.refs, 0u);
  EXPECT_EQ(v.vt, VT_EMPTY);

  v.vt = VT_UNKNOWN;
  v.punkVal = &obj;
  obj.AddRef();
  VariantClear(&v);
  EXPECT_EQ(obj.refs, 0u);

  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"x");  // freed (LeakSanitizer would report it otherwise)
  VariantClear(&v);
  EXPECT_EQ(v.vt, VT_EMPTY);

  v.vt = VT_DISPATCH;
  v.pdispVal = nullptr;  // a null interface is fine
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(Variant, CopyIsDeep) {
  CountingObject obj;
  Variant src, dst;
  src.get().vt = VT_BSTR;
  src.get().bstrVal = SysAllocString(u"intro.swf");
  ASSERT_EQ(VariantCopy(dst.Ptr(), src.Ptr()), S_OK);
  EXPECT_EQ(dst.get().vt, VT_BSTR);
  EXPECT_NE(dst.get().bstrVal, src.get().bstrVal);
  EXPECT_EQ(BstrToU16(dst.get().bstrVal), u"intro.swf");

  // Copying over a variant releases what it held; the interface gains one reference.
  Variant held;
  held.get().vt = VT_DISPATCH;
  held.get().pdispVal = &obj;
  obj.AddRef();
  ASSERT_EQ(VariantCopy(dst.Ptr(), held.Ptr()), S_OK);
  EXPECT_EQ(obj.refs, 2u);
  VariantClear(dst.Ptr());
  EXPECT_EQ(obj.refs, 1u);
  ASSERT_EQ(VariantCopy(held.Ptr(), held.Ptr()), S_OK);  // onto itself: nothing changes
  EXPECT_EQ(obj.refs, 1u);
  VariantClear(held.Ptr());
  EXPECT_EQ(obj.refs, 0u);
}

TEST(Variant, WrapperClearsOnDestruction) {
  CountingObject obj;
  {
    Variant v;
    v.get().vt = VT_DISPATCH;
    v.get().pdispVal = &obj;
    obj.AddRef();
  }
  EXPECT_EQ(obj.refs, 0u);
}

// ---- ComPtr ----------------------------------------------------------------------------------

TEST(ComPtr, ReleasesOnEveryPath) {
  CountingObject obj;
  {
    ComPtr<IDispatch> a(&obj);  // AddRef
    EXPECT_EQ(obj.refs, 1u);
    ComPtr<IDispatch> b = a;  // copy: AddRef
    EXPECT_EQ(obj.refs, 2u);
    ComPtr<IDispatch> c = std::move(b);  // move: no change
    EXPECT_EQ(obj.refs, 2u);
    EXPECT_FALSE(b);
    c = nullptr;  // assignment releases the old one
    EXPECT_EQ(obj.refs, 1u);
  }
  EXPECT_EQ(obj.refs, 0u);

  obj.AddRef();
  { auto adopted = ComPtr<IDispatch>::Attach(&obj); }  // adopt: no AddRef, one Release
  EXPECT_EQ(obj.refs, 0u);

  // An out-parameter slot releases the previous reference first.
  ComPtr<IUnknown> p(&obj);
  IUnknown** slot = p.GetAddressOf();
  EXPECT_EQ(obj.refs, 0u);
  EXPECT_EQ(*slot, nullptr);

  // Detach hands the reference over.
  ComPtr<IDispatch> d(&obj);
  IDispatch* raw = d.Detach();
  EXPECT_EQ(obj.refs, 1u);
  raw->Release();

  // Early returns in a function still release.
  auto early = [&](bool bail) {
    ComPtr<IDispatch> local(&obj);
    if (bail) return 1;
    return 0;
  };
  early(true);
  early(false);
  EXPECT_EQ(obj.refs, 0u);
}

TEST(ComPtr, AsQueriesAndReleases) {
  CountingObject obj;
  {
    ComPtr<IDispatch> disp(&obj);
    ComPtr<IUnknown> unk;
    EXPECT_EQ(disp.As(IID_IUnknown, &unk), S_OK);
    EXPECT_EQ(obj.refs, 2u);
    ComPtr<IHTMLElement> elem;
    EXPECT_EQ(disp.As(IID_IHTMLElement, &elem), E_NOINTERFACE);
    EXPECT_FALSE(elem);
    EXPECT_EQ(obj.refs, 2u);
    ComPtr<IDispatch> empty;
    EXPECT_EQ(empty.As(IID_IUnknown, &unk), E_POINTER);
  }
  EXPECT_EQ(obj.refs, 0u);
}

}  // namespace
}  // namespace trovex

// The browser's document object model, as far as the system calls it. The browser program
// implements these over its parsed pages; tests implement them with small fakes.
#pragma once

#include "platform/com/com.h"

namespace trovex {

struct IEnumUnknown : IUnknown {
  // Delivers up to `count` objects (each with a reference the caller releases). S_OK when
  // all were delivered, S_FALSE when fewer (0 at the end).
  virtual HRESULT Next(ULONG count, IUnknown** objects, ULONG* fetched) = 0;

 protected:
  ~IEnumUnknown() = default;
};

constexpr DWORD OLECONTF_EMBEDDINGS = 1;

struct IOleContainer : IUnknown {
  virtual HRESULT EnumObjects(DWORD flags, IEnumUnknown** enumerator) = 0;

 protected:
  ~IOleContainer() = default;
};

struct IServiceProvider : IUnknown {
  virtual HRESULT QueryService(REFGUID service, REFIID riid, void** ppv) = 0;

 protected:
  ~IServiceProvider() = default;
};

struct IWebBrowser2 : IDispatch {
  virtual HRESULT get_Document(IDispatch** document) = 0;

 protected:
  ~IWebBrowser2() = default;
};

struct IHTMLDocument2;

struct IHTMLWindow2 : IDispatch {
  virtual HRESULT get_document(IHTMLDocument2** document) = 0;

 protected:
  ~IHTMLWindow2() = default;
};

struct IHTMLElementCollection : IDispatch {
  virtual HRESULT get_length(LONG* length) = 0;
  // The walker passes the index in both arguments as VT_I4.
  virtual HRESULT item(VARIANT name, VARIANT index, IDispatch** element) = 0;

 protected:
  ~IHTMLElementCollection() = default;
};

struct IHTMLDocument2 : IDispatch {
  virtual HRESULT get_URL(BSTR* url) = 0;
  virtual HRESULT get_applets(IHTMLElementCollection** collection) = 0;
  virtual HRESULT get_embeds(IHTMLElementCollection** collection) = 0;
  virtual HRESULT get_parentWindow(IHTMLWindow2** window) = 0;

 protected:
  ~IHTMLDocument2() = default;
};

struct IHTMLElement : IDispatch {
  // flags 0: names compared ignoring case. A missing attribute gives S_OK with VT_NULL.
  virtual HRESULT getAttribute(BSTR name, LONG flags, VARIANT* value) = 0;
  virtual HRESULT get_tagName(BSTR* tag) = 0;

 protected:
  ~IHTMLElement() = default;
};

struct IHTMLObjectElement : IDispatch {
  virtual HRESULT get_classid(BSTR* classid) = 0;

 protected:
  ~IHTMLObjectElement() = default;
};

extern const IID IID_IEnumUnknown;            // {00000100-0000-0000-C000-000000000046}
extern const IID IID_IOleContainer;           // {0000011B-0000-0000-C000-000000000046}
extern const IID IID_IServiceProvider;        // {6D5140C1-7436-11CE-8034-00AA006009FA}
extern const IID IID_IWebBrowser2;            // {D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}
extern const IID IID_IHTMLWindow2;            // {332C4427-26CB-11D0-B483-00C04FD90119}
extern const IID IID_IHTMLDocument2;          // {332C4425-26CB-11D0-B483-00C04FD90119}
extern const IID IID_IHTMLElementCollection;  // {3050F21F-98B5-11CF-BB82-00AA00BDCE0B}
extern const IID IID_IHTMLElement;            // {3050F1FF-98B5-11CF-BB82-00AA00BDCE0B}
extern const IID IID_IHTMLObjectElement;      // {3050F24F-98B5-11CF-BB82-00AA00BDCE0B}
extern const GUID SID_SWebBrowserApp;         // {0002DF05-0000-0000-C000-000000000046}

}  // namespace trovex

#include "module/internet_explorer.h"

#include <exception>
#include <string>

#include "framework/dialog.h"
#include "framework/message_box.h"
#include "platform/com/dom.h"
#include "platform/inet/cookie_jar.h"
#include "platform/text/ascii.h"
#include "platform/text/unicode.h"
#include "res/strings.h"
#include "scan/document_walker.h"
#include "save_dialog/dlg_save.h"

namespace trovex {

const CLSID CLSID_InternetExplorer{0xE19ADC6E, 0x3909, 0x43E4, {0x9A, 0x89, 0xB7, 0xB6, 0x76, 0x37, 0x7E, 0xE3}};
const IID DIID_IInternetExplorer{0x4FBE2BCC, 0xAF98, 0x4580, {0xA8, 0x9E, 0xF3, 0x4E, 0xCA, 0xF9, 0x14, 0xCE}};

std::atomic<long> CInternetExplorer::nObjects_{0};

namespace {

// The top-level document of the browser window that shows `document`; null when any step of
// the climb fails. Every interface taken on the way is released here.
ComPtr<IHTMLDocument2> TopLevelDocument(IDispatch* document) {
  ComPtr<IHTMLDocument2> doc;
  if (!document || FAILED(document->QueryInterface(IID_IHTMLDocument2, doc.AsVoidOut())) || !doc)
    return nullptr;
  ComPtr<IHTMLWindow2> window;
  if (FAILED(doc->get_parentWindow(window.GetAddressOf())) || !window) return nullptr;
  ComPtr<IServiceProvider> services;
  if (FAILED(window.As(IID_IServiceProvider, &services)) || !services) return nullptr;
  ComPtr<IWebBrowser2> browser;
  // Only the pointer tells: some browsers answer S_OK with nothing.
  services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, browser.AsVoidOut());
  if (!browser) return nullptr;
  ComPtr<IDispatch> topDispatch;
  if (FAILED(browser->get_Document(topDispatch.GetAddressOf())) || !topDispatch) return nullptr;
  ComPtr<IHTMLDocument2> top;
  if (FAILED(topDispatch.As(IID_IHTMLDocument2, &top))) return nullptr;
  return top;
}

}  // namespace

CInternetExplorer::CInternetExplorer(PlayerEngine* player) : player_(player) { ++nObjects_; }
CInternetExplorer::~CInternetExplorer() { --nObjects_; }

CInternetExplorer* CInternetExplorer::Create(PlayerEngine* player) { return new CInternetExplorer(player); }

long CInternetExplorer::GetSWFFile(IDispatch* document, const std::string& cookieJar) {
  inet::ScopedCookieJar jar(cookieJar);
  if (ComPtr<IHTMLDocument2> top = TopLevelDocument(document)) {
    CDlgSave dlg(DefaultDialogOwner(), player_);
    ScanDocument(top.Get(), dlg.fileList);
    top.Reset();
    if (dlg.fileList.GetCount() > 0) {
      dlg.DoModal();
      return 0;
    }
  }
  AppMessageBoxRes(DefaultDialogOwner(), IDS_NO_FLASH_ON_PAGE, MB_OK | MB_ICONINFORMATION);
  return 1;
}

HRESULT CInternetExplorer::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_IInternetExplorer) {
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT CInternetExplorer::GetIDsOfNames(REFIID, OLECHAR** names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  HRESULT hr = S_OK;
  const bool known = names[0] && AsciiEqualsNoCase(std::u16string_view(names[0]), "GetSWFFile");
  ids[0] = known ? DISPID_GETSWFFILE : DISPID_UNKNOWN;
  if (ids[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  // The method has no named parameters.
  for (UINT i = 1; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT CInternetExplorer::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  if (id != DISPID_GETSWFFILE) return DISP_E_MEMBERNOTFOUND;
  if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  if (!params) return E_INVALIDARG;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (params->cArgs < 1 || params->cArgs > 2 || !params->rgvarg) return DISP_E_BADPARAMCOUNT;
  // Arguments come last first: the jar, when given, is rgvarg[0].
  std::string cookieJar;
  if (params->cArgs == 2) {
    const VARIANT& jar = params->rgvarg[0];
    if (jar.vt == VT_BSTR) {
      cookieJar = Utf16ToUtf8(BstrToU16(jar.bstrVal));
    } else if (jar.vt != VT_EMPTY && jar.vt != VT_NULL) {
      if (argErr) *argErr = 0;
      return DISP_E_TYPEMISMATCH;
    }
  }
  const UINT documentIndex = params->cArgs - 1;
  const VARIANT& arg = params->rgvarg[documentIndex];
  ComPtr<IDispatch> document;
  switch (arg.vt) {
    case VT_DISPATCH:
      document = ComPtr<IDispatch>(arg.pdispVal);
      break;
    case VT_UNKNOWN:
      if (arg.punkVal && FAILED(arg.punkVal->QueryInterface(IID_IDispatch, document.AsVoidOut()))) {
        if (argErr) *argErr = documentIndex;
        return DISP_E_TYPEMISMATCH;
      }
      break;
    case VT_EMPTY:
    case VT_NULL:
      break;
    default:
      if (argErr) *argErr = documentIndex;
      return DISP_E_TYPEMISMATCH;
  }
  long value = 0;
  try {
    value = GetSWFFile(document.Get(), cookieJar);
  } catch (const std::exception& e) {
    // Nothing may leave through the dispatch boundary; the caller gets the reason instead.
    if (excepInfo) {
      *excepInfo = EXCEPINFO{};
      excepInfo->bstrSource = SysAllocStringUtf8(kInternetExplorerProgID);
      excepInfo->bstrDescription = SysAllocStringUtf8(e.what());
      excepInfo->scode = E_FAIL;
    }
    return DISP_E_EXCEPTION;
  }
  if (result) {
    VariantClear(result);
    result->vt = VT_I4;
    result->lVal = static_cast<LONG>(value);
  }
  return S_OK;
}

}  // namespace trovex

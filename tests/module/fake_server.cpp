// A small in-process server for tests: class {7E57C1A5-0000-4000-8000-000000000001} answers
// GetSWFFile(document) by appending the document's address to the file named by
// $TROVEX_FAKE_SERVER_LOG, and returns 7.
#include <cstdio>
#include <cstdlib>

#include "platform/com/activation.h"
#include "platform/com/dom.h"
#include "platform/com/ref_count.h"
#include "platform/text/unicode.h"

using namespace trovex;

namespace {

const CLSID kFakeClass{0x7E57C1A5, 0x0000, 0x4000, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
long g_objects = 0;

class Recorder final : public ComObject<IDispatch> {
 public:
  Recorder() { ++g_objects; }
  ~Recorder() override { --g_objects; }
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IDispatch*>(this);
    return S_OK;
  }
  HRESULT GetIDsOfNames(REFIID, OLECHAR** names, UINT count, LCID, DISPID* ids) override {
    if (count != 1) return DISP_E_UNKNOWNNAME;
    if (Utf16ToUtf8(names[0]) != "GetSWFFile") return DISP_E_UNKNOWNNAME;
    ids[0] = 1;
    return S_OK;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 UINT*) override {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    std::string line = "null";
    const VARIANT& arg = params->rgvarg[0];
    if (arg.vt == VT_DISPATCH && arg.pdispVal) {
      line = "not a document";
      IHTMLDocument2* document = nullptr;
      if (SUCCEEDED(arg.pdispVal->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&document)))) {
        BSTR url = nullptr;
        if (SUCCEEDED(document->get_URL(&url))) line = Utf16ToUtf8(BstrToU16(url));
        SysFreeString(url);
        document->Release();
      }
    }
    if (const char* log = std::getenv("TROVEX_FAKE_SERVER_LOG")) {
      if (FILE* f = std::fopen(log, "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
      }
    }
    if (result) {
      VariantInit(result);
      result->vt = VT_I4;
      result->lVal = 7;
    }
    return S_OK;
  }
};

class Factory final : public ComStaticObject<IClassFactory> {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* r = new Recorder;
    HRESULT hr = r->QueryInterface(riid, ppv);
    r->Release();
    return hr;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  *ppv = nullptr;
  if (clsid != kFakeClass) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, ppv);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }

#include "platform/com/automation_call.h"

#include "platform/text/unicode.h"

namespace trovex {

HRESULT CallGetSWFFile(IDispatch* object, IDispatch* document, long* result, std::string* error,
                       const std::string& cookieJar) {
  if (!object || !result) return E_POINTER;
  BStr name = BStr::FromUtf8("GetSWFFile");
  OLECHAR* names[] = {name.Get()};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = object->GetIDsOfNames(GUID_NULL, names, 1, 0, &id);
  if (FAILED(hr)) return hr;
  // Last argument first; each holds its own reference, so the callee may keep or drop it freely.
  static_assert(sizeof(Variant) == sizeof(VARIANT), "Variant arrays are passed as VARIANT arrays");
  Variant args[2];
  Variant& arg = cookieJar.empty() ? args[0] : args[1];
  if (document) document->AddRef();
  arg.get().vt = VT_DISPATCH;
  arg.get().pdispVal = document;
  if (!cookieJar.empty()) {
    args[0].get().vt = VT_BSTR;
    args[0].get().bstrVal = SysAllocStringUtf8(cookieJar);
  }
  DISPPARAMS params{args[0].Ptr(), nullptr, cookieJar.empty() ? 1u : 2u, 0};
  Variant value;
  EXCEPINFO info{};
  UINT argErr = 0;
  hr = object->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &params, value.Ptr(), &info, &argErr);
  if (error && info.bstrDescription) *error = Utf16ToUtf8(BstrToU16(info.bstrDescription));
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  if (FAILED(hr)) return hr;
  if (value.get().vt != VT_I4) return DISP_E_TYPEMISMATCH;
  *result = value.get().lVal;
  return S_OK;
}

}  // namespace trovex

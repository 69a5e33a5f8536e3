#include "platform/com/trovex_object.h"

#include "platform/com/activation.h"
#include "platform/com/automation_call.h"
#include "platform/text/unicode.h"

namespace trovex {

HRESULT GetSWFFileByProgId(IDispatch* document, long* result, GetSWFFileStep* step, std::string* failure,
                           const std::string& cookieJar) {
  CLSID clsid{};
  ComPtr<IDispatch> object;
  HRESULT hr = CLSIDFromProgID(Utf8ToUtf16(kTrovexProgID).c_str(), &clsid);
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.AsVoidOut());
  if (FAILED(hr)) {
    *step = GetSWFFileStep::kCreate;
    *failure = CoLastActivationError();
    return hr;
  }
  *result = 1;
  failure->clear();
  hr = CallGetSWFFile(object.Get(), document, result, failure, cookieJar);
  *step = FAILED(hr) ? GetSWFFileStep::kCall : GetSWFFileStep::kDone;
  return hr;
}

}  // namespace trovex

// The automation object the browser's script page creates: one method, GetSWFFile, which
// turns a document of the browser window into the Save dialog for the whole page.
#pragma once

#include <atomic>
#include <string>

#include "platform/com/com.h"
#include "platform/com/ref_count.h"
#include "platform/com/trovex_object.h"

namespace trovex {

class PlayerEngine;

// The COM class, its dispatch interface and its ProgID.
extern const CLSID CLSID_InternetExplorer;   // {E19ADC6E-3909-43E4-9A89-B7B676377EE3}
extern const IID DIID_IInternetExplorer;     // {4FBE2BCC-AF98-4580-A89E-F34ECAF914CE}
inline constexpr const char* kInternetExplorerProgID = kTrovexProgID;
inline constexpr const char* kInternetExplorerClassName = "CInternetExplorer";

constexpr DISPID DISPID_GETSWFFILE = 1;
constexpr HRESULT DISP_E_NONAMEDARGS = static_cast<HRESULT>(0x80020007u);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);

class CInternetExplorer final : public ComObject<IDispatch> {
 public:
  // A new object with one reference, which the caller owns. player: the warm preview player its
  // Save dialogs show (kept by the module's application object); none: their preview stays empty.
  static CInternetExplorer* Create(PlayerEngine* player = nullptr);
  // Objects alive in the process (the module stays loaded while any is).
  static long ObjectCount() { return nObjects_.load(); }

  // Shows the Save dialog for the top-level page of `document` (any document of the browser
  // window, a frame's too). 0 when the dialog was shown; 1 when the page has no movie or the
  // top-level document cannot be reached, after message 32000. `cookieJar`, when an absolute
  // path, is the jar this call's fetches use (a caller serving another browser passes its own).
  long GetSWFFile(IDispatch* document, const std::string& cookieJar = {});

  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  // "GetSWFFile" (any case) is DISPID 1; there are no named parameters.
  HRESULT GetIDsOfNames(REFIID riid, OLECHAR** names, UINT count, LCID lcid, DISPID* ids) override;
  // DISPID 1 as a method: the document, VT_DISPATCH (VT_EMPTY and VT_NULL pass a null
  // document), and optionally after it the cookie jar's path, VT_BSTR; result VT_I4.
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                 VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;

 private:
  explicit CInternetExplorer(PlayerEngine* player);
  ~CInternetExplorer() override;

  PlayerEngine* player_;
  static std::atomic<long> nObjects_;
};

}  // namespace trovex

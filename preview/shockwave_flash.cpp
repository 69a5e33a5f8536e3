#include "preview/shockwave_flash.h"

#include <wx/dcclient.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <algorithm>
#include <vector>

#include "framework/dialog.h"
#include "framework/wx_text.h"
#include "preview/player_engine.h"
#include "res/strings.h"

namespace trovex {

const CLSID CLSID_ShockwaveFlash = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

wxIMPLEMENT_DYNAMIC_CLASS(CShockwaveFlash, wxWindow);

namespace {

// Invokes one member with its arguments given in call order.
HRESULT InvokeHelper(IDispatch* disp, DISPID id, WORD flags, std::initializer_list<VARIANT> args) {
  std::vector<VARIANTARG> reversed(args.begin(), args.end());
  std::reverse(reversed.begin(), reversed.end());
  DISPID named = -3;  // DISPID_PROPERTYPUT
  DISPPARAMS params{reversed.data(), flags == DISPATCH_PROPERTYPUT ? &named : nullptr,
                    static_cast<UINT>(reversed.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
  return disp->Invoke(id, GUID_NULL, 0, flags, &params, nullptr, nullptr, nullptr);
}

}  // namespace

CShockwaveFlash* PreviewSetup::NewControl() const {
  wxObject* object = (controlClass ? controlClass : wxCLASSINFO(CShockwaveFlash))->CreateObject();
  auto* ctrl = dynamic_cast<CShockwaveFlash*>(object);
  if (!ctrl) {
    delete object;
    return nullptr;
  }
  ctrl->SetPlayer(engine);
  return ctrl;
}

void CShockwaveFlash::SetPlayer(PlayerEngine* engine) {
  engine_ = engine;
  engineAlive_ = engine ? engine->Lifetime() : std::weak_ptr<const void>();
}

CShockwaveFlash::~CShockwaveFlash() {
  // The shared player must leave before this window destroys its children.
  if (PlayerEngine* engine = Player()) engine->Detach(this);
}

BOOL CShockwaveFlash::Create(const char* pszWindowName, DWORD dwStyle, const wxRect& rect, wxWindow* pParentWnd,
                             UINT nID, const FlashProperties* persist, const char* /*pszLicKey*/) {
  if (!pParentWnd || !(dwStyle & WS_CHILD)) return FALSE;
  const long style = (dwStyle & WS_BORDER) ? wxBORDER_SIMPLE : wxBORDER_NONE;
  if (!wxWindow::Create(pParentWnd, static_cast<int>(nID), rect.GetPosition(), rect.GetSize(), style,
                        wxString::FromUTF8(pszWindowName ? pszWindowName : ""))) {
    return FALSE;
  }
  props_ = persist ? *persist : FlashProperties{};
  SetBackgroundColour(*wxWHITE);
  if (!(dwStyle & WS_VISIBLE)) Hide();
  PlayerEngine* engine = Player();
  if (!engine) {
    // No player was given: an empty area.
  } else if (engine->IsUnavailable()) {
    ShowUnavailable();
  } else {
    // The player lies over this window's client area; painting it would cover the player.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, [this](wxPaintEvent&) { wxPaintDC dc(this); });
    engine->Attach(this);
    if (!props_.strMovie.empty()) engine->LoadMovie(this, props_.strMovie, props_);
  }
  return TRUE;
}

void CShockwaveFlash::ShowUnavailable() {
  auto* text = new wxStaticText(this, wxID_ANY, ResStringToWx(IDS_TROVEX_PREVIEW_NO_WEB_ENGINE),
                                wxDefaultPosition, wxDefaultSize, wxALIGN_CENTRE_HORIZONTAL);
  text->SetFont(GetDialogFont());
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->AddStretchSpacer();
  sizer->Add(text, 0, wxALL | wxEXPAND, 8);
  sizer->AddStretchSpacer();
  SetSizer(sizer);
  Layout();
}

void CShockwaveFlash::SetRedraw(bool redraw) {
  if (!redraw && !frozen_) {
    Freeze();
    frozen_ = true;
  } else if (redraw && frozen_) {
    frozen_ = false;
    Thaw();
    Refresh();
  }
}

void CShockwaveFlash::Stop() { InvokeHelper(GetIDispatch(), DISPID_FLASH_STOP, DISPATCH_METHOD, {}); }

void CShockwaveFlash::SetMovie(const std::string& movie) {
  Variant arg;
  arg.get().vt = VT_BSTR;
  arg.get().bstrVal = AnsiToBstr(movie);
  InvokeHelper(GetIDispatch(), DISPID_FLASH_MOVIE, DISPATCH_PROPERTYPUT, {arg.get()});
}

void CShockwaveFlash::Zoom(long factor) {
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_I4;
  arg.lVal = static_cast<LONG>(factor);
  InvokeHelper(GetIDispatch(), DISPID_FLASH_ZOOM, DISPATCH_METHOD, {arg});
}

HRESULT CShockwaveFlash::GetIDsOfNames(REFIID, OLECHAR** names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    const std::u16string name = names[i] ? std::u16string(names[i]) : std::u16string();
    if (name == u"Stop") {
      ids[i] = DISPID_FLASH_STOP;
    } else if (name == u"Movie") {
      ids[i] = DISPID_FLASH_MOVIE;
    } else if (name == u"Zoom") {
      ids[i] = DISPID_FLASH_ZOOM;
    } else {
      ids[i] = DISPID_UNKNOWN;
      hr = DISP_E_UNKNOWNNAME;
    }
  }
  return hr;
}

HRESULT CShockwaveFlash::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                UINT*) {
  const UINT argc = params ? params->cArgs : 0;
  // Without a player the calls are answered and do nothing, as on a machine without the engine.
  PlayerEngine* engine = Player();
  switch (id) {
    case DISPID_FLASH_STOP:
      if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
      if (argc != 0) return DISP_E_BADPARAMCOUNT;
      if (engine) engine->Stop(this);
      return S_OK;
    case DISPID_FLASH_MOVIE:
      if (!(flags & DISPATCH_PROPERTYPUT)) return DISP_E_MEMBERNOTFOUND;
      if (argc != 1) return DISP_E_BADPARAMCOUNT;
      if (params->rgvarg[0].vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
      props_.strMovie = BstrToAnsi(params->rgvarg[0].bstrVal);
      if (engine) engine->LoadMovie(this, props_.strMovie, props_);
      return S_OK;
    case DISPID_FLASH_ZOOM:
      if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
      if (argc != 1) return DISP_E_BADPARAMCOUNT;
      if (params->rgvarg[0].vt != VT_I4) return DISP_E_TYPEMISMATCH;
      if (engine) engine->Zoom(this, params->rgvarg[0].lVal);
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace trovex
